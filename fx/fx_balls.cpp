// Bouncing balls.
#include "fx/fx_balls.h"
#include "fx/fx_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "picture/iff.h"
#include "picture/pix.h"

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h, N = 20;

// The simulation. World: X right, Y down (floor at Y = 100), Z away from the viewer; velocities
// in world units per substep.
double fx_balls_x[N], fx_balls_y[N], fx_balls_z[N];
double fx_balls_vx[N], fx_balls_vy[N], fx_balls_vz[N];
int32_t fx_balls_steps;   // time units simulated since program start; init leaves it

struct fx_balls_depth {
    double depth;   // the ball's Z
    int32_t ball;
};

constexpr double k1050 = 0.0009523809523809524;   // 1/1050
// Radii up to 100 look up r * r + 1 = 10001: the table covers every radius draw_ball accepts.
constexpr int sqrt_entries = 100 * 100 + 2;

uint8_t fx_balls_pairs[N][N];           // pair (i, j) handled in this substep
fx_balls_depth fx_balls_order[N];       // zero at program start: ball 0 at depth 0
uint8_t fx_balls_sqrt[sqrt_entries];

uint32_t* fx_balls_out;
uint32_t* fx_balls_bg;
uint32_t* fx_balls_tex;                 // 320 wide; four 51x51 textures in rows 0..50
uint32_t* fx_balls_fg;                  // rows 70..209 of the foreground picture
uint8_t* fx_balls_pic;                  // after init: the foreground's indices (its mask)

void fx_balls_seed()
{
    for (int i = 0; i < N; i++) {
        fx_balls_x[i] = std::rand() % 200 - 100;
        fx_balls_y[i] = std::rand() % 300 - 200;
        fx_balls_z[i] = std::rand() % 100 + 110;
        fx_balls_vy[i] = (std::rand() % 90 + 10) * k1050;
        fx_balls_vx[i] = (std::rand() % 200 - 100) * k1050;
        fx_balls_vz[i] = (std::rand() % 100 - 50) * k1050;
    }
}

void fx_balls_throw_in(int i)
{
    fx_balls_x[i] = std::rand() % 200 - 100;
    fx_balls_y[i] = std::rand() % 300 - 450;
    fx_balls_z[i] = std::rand() % 30 + 80;
    fx_balls_vy[i] = (std::rand() % 90 + 10) * k1050;
    fx_balls_vx[i] = (std::rand() % 300 - 150) * 0.002857142857142857;   // 3/1050
    fx_balls_vz[i] = (std::rand() % 50) * k1050;
}

// Exchanges the velocity components along the line of centres of two equal masses approaching
// each other.
void fx_balls_collide(int i, int j)
{
    const double dx = fx_balls_x[j] - fx_balls_x[i], dy = fx_balls_y[j] - fx_balls_y[i],
                 dz = fx_balls_z[j] - fx_balls_z[i];
    const double d2 = dx * dx + dy * dy + dz * dz;
    // Two balls at one point have no line of centres: leave their velocities (no NaN).
    if (d2 > 961 || d2 == 0) return;
    const double len = std::sqrt(d2);
    const double nx = dx / len, ny = dy / len, nz = dz / len;
    const double vjx = fx_balls_vx[j], vjy = fx_balls_vy[j], vjz = fx_balls_vz[j];   // before the first exchange
    const double p = fx_balls_vx[i] * nx + fx_balls_vy[i] * ny + fx_balls_vz[i] * nz;
    if (p >= 0) {
        fx_balls_vx[i] -= p * nx, fx_balls_vy[i] -= p * ny, fx_balls_vz[i] -= p * nz;
        fx_balls_vx[j] += p * nx, fx_balls_vy[j] += p * ny, fx_balls_vz[j] += p * nz;
    }
    const double mx = -nx, my = -ny, mz = -nz;
    const double q = vjx * mx + vjy * my + vjz * mz;
    if (q >= 0) {
        fx_balls_vx[j] -= q * mx, fx_balls_vy[j] -= q * my, fx_balls_vz[j] -= q * mz;
        fx_balls_vx[i] += q * mx, fx_balls_vy[i] += q * my, fx_balls_vz[i] += q * mz;
    }
}

void fx_balls_substep()
{
    std::memset(fx_balls_pairs, 0, sizeof fx_balls_pairs);
    for (int i = 0; i < N; i++) {
        fx_balls_x[i] += fx_balls_vx[i];
        fx_balls_y[i] += fx_balls_vy[i];
        fx_balls_vy[i] += 0.00857142857142857;   // gravity, 9/1050
        fx_balls_z[i] += fx_balls_vz[i];
    }
    for (int i = 0; i < N; i++) {
        if (fx_balls_y[i] + 30 >= 100) {
            fx_balls_vy[i] = -0.93 * fx_balls_vy[i];
            fx_balls_y[i] += fx_balls_vy[i];
        }
        if (fx_balls_x[i] - 30 < -200) fx_balls_vx[i] = -fx_balls_vx[i];
        if (fx_balls_x[i] + 30 > 500) fx_balls_throw_in(i);
        if (fx_balls_z[i] + 30 > 250 || fx_balls_z[i] - 30 < 40) fx_balls_vz[i] = -fx_balls_vz[i];
        for (int j = 0; j < N; j++) {
            if (j == i || fx_balls_pairs[i][j] || fx_balls_pairs[j][i]) continue;
            fx_balls_pairs[i][j] = 1;
            fx_balls_collide(i, j);
        }
        fx_balls_order[i].depth = fx_balls_z[i];
        fx_balls_order[i].ball = i;
    }
}

void fx_balls_build_sqrt()
{
    int n = 0;
    fx_balls_sqrt[n++] = 0;
    for (int v = 1; n < sqrt_entries; v++)
        for (int k = 0; k < 2 * v + 1 && n < sqrt_entries; k++) fx_balls_sqrt[n++] = static_cast<uint8_t>(v);
}

void fx_balls_draw_foreground(uint32_t* out, int32_t variant)
{
    const int s = variant ? 160 : 0;
    for (int y = 0; y < 140; y++) {
        const uint8_t* mask = fx_balls_pic + (70 + y) * W + s;
        const uint32_t* src = fx_balls_fg + y * W + s;
        uint32_t* dst = out + (100 + y) * W;
        for (int x = 0; x < 120; x++)
            if (mask[x] != 0) dst[x] = src[x];
    }
}

void fx_balls_release()
{
    std::free(fx_balls_out);
    std::free(fx_balls_tex);
    std::free(fx_balls_fg);
    std::free(fx_balls_pic);
    std::free(fx_balls_bg);
    fx_balls_out = fx_balls_tex = fx_balls_fg = fx_balls_bg = nullptr;
    fx_balls_pic = nullptr;
}

}  // namespace

// qsort order: (b.depth - a.depth) truncated toward zero, so the farthest sorts first and
// depths less than 1 apart compare equal.
static int fx_balls_cmp_depth(const void* a, const void* b)
{
    const double d = static_cast<const fx_balls_depth*>(b)->depth - static_cast<const fx_balls_depth*>(a)->depth;
    return pix_trunc(d);
}

void fx_balls_draw_ball(int32_t x, int32_t y, int32_t r, uint32_t flags, uint32_t* dst)
{
    if (r < 1 || r > 100) return;
    // A centre more than r off the frame draws nothing; this also keeps x +- r and y +- r inside
    // 32 bits for the saturated positions of a ball that has flown off (pix_trunc).
    if (x < -r || x > W - 1 + r || y < -r || y > H - 1 + r) return;
    const int32_t R2 = r * r;
    const int32_t sv = 3276800 / (2 * r + 1);   // 16.16 texture rows per screen row (50 rows in all)
    const bool shadow = (flags >> 24) != 0;
    const int32_t rows = shadow ? r / 3 : r;
    flags &= 0xffffff;
    const int32_t c = ((flags & 1) ? 51 : 0) + ((flags & 2) ? 102 : 0);
    int32_t v = 0;   // 16.16 texture row
    for (int32_t dy = -rows; dy <= rows; dy++) {
        const int32_t row = y + dy;
        v += sv;   // also for rows that are skipped, so a clipped ball keeps its texels
        if (row < 0 || row > H - 1) continue;
        const int32_t e = shadow ? 9 * dy * dy : dy * dy;
        const int32_t h = fx_balls_sqrt[R2 - e + 1];
        const int32_t x0 = x - h > 0 ? x - h : 0, x1 = x + h < W - 1 ? x + h : W - 1;
        if (x1 < 0 || x0 > W - 1) continue;
        uint32_t* out = dst + row * W;
        if (shadow) {
            // darken the background, not what is drawn: overlapping shadows darken once
            const uint32_t* bg = fx_balls_bg + row * W;
            for (int32_t k = x0; k <= x1; k++) out[k] = (bg[k] >> 1) & 0x7f7f7f;
            continue;
        }
        int32_t u = (51 * (r - (x - x0) + 1)) / (2 * r + 1) * 65536;   // 16.16 texture column
        const int32_t du = 3276800 / (2 * r + 1);
        const uint32_t* tex = fx_balls_tex + (v >> 16) * W + c;
        for (int32_t k = x0; k <= x1; k++, u += du) out[k] = tex[u >> 16];
    }
}

void fx_balls_init_from(const uint8_t* bg, uint32_t bg_size, const uint8_t* tex, uint32_t tex_size,
                        const uint8_t* fg, uint32_t fg_size)
{
    fx_balls_seed();
    fx_balls_release();
    fx_balls_out = static_cast<uint32_t*>(std::calloc(W * H, 4));
    fx_balls_tex = static_cast<uint32_t*>(std::calloc(44800, 4));
    fx_balls_fg = static_cast<uint32_t*>(std::calloc(51200, 4));
    fx_balls_bg = static_cast<uint32_t*>(std::calloc(W * H, 4));
    fx_balls_pic = static_cast<uint8_t*>(std::calloc(W * H + 1, 1));
    if (!fx_balls_out || !fx_balls_tex || !fx_balls_fg || !fx_balls_bg || !fx_balls_pic) {
        fx_balls_release();
        return;
    }
    uint8_t palette[pix_palette_bytes] = {};
    iff_decode_fit(bg, bg_size, fx_balls_pic, W * H + 1, palette);
    pix_expand_palette(fx_balls_pic, palette, fx_balls_bg, W * H);
    std::memset(fx_balls_pic, 0, W * H + 1);
    iff_decode_fit(tex, tex_size, fx_balls_pic, W * H + 1, palette);
    pix_expand_palette(fx_balls_pic, palette, fx_balls_tex, 32000);
    std::memset(fx_balls_pic, 0, W * H + 1);
    iff_decode_fit(fg, fg_size, fx_balls_pic, W * H + 1, palette);
    pix_expand_palette(fx_balls_pic + 70 * W, palette, fx_balls_fg, 44800);
    fx_balls_build_sqrt();
}

void fx_balls_init()
{
    fx_balls_init_from(emb_pic_ball_bg, emb_pic_ball_bg_size, emb_pic_ball_tex, emb_pic_ball_tex_size,
                       emb_pic_ball_fg, emb_pic_ball_fg_size);
}

uint32_t* fx_balls_render(int32_t t, int32_t variant)
{
    uint32_t* out = fx_balls_out;
    if (out == nullptr) return nullptr;
    std::memcpy(out, fx_balls_bg, W * H * 4);
    for (; fx_balls_steps < t; fx_balls_steps++)
        for (int k = 0; k < 7; k++) fx_balls_substep();
    std::qsort(fx_balls_order, N, sizeof fx_balls_order[0], fx_balls_cmp_depth);
    for (const fx_balls_depth& d : fx_balls_order) {   // the floor Y = 100 projected
        const int i = d.ball;
        const double X = fx_balls_x[i], Z = fx_balls_z[i];
        const int32_t r = pix_trunc(70 * (X + 30) / Z - 70 * X / Z);
        fx_balls_draw_ball(pix_trunc(70 * X / Z + 160), pix_trunc(7000 / Z + 120), r, 0xff00003c, out);
    }
    for (const fx_balls_depth& d : fx_balls_order) {
        const int i = d.ball;
        const double X = fx_balls_x[i], Y = fx_balls_y[i], Z = fx_balls_z[i];
        const int32_t r = pix_trunc(70 * (X + 30) / Z - 70 * X / Z);
        const uint32_t flags = static_cast<uint32_t>(i & 1) + (variant ? 2 : 0);
        fx_balls_draw_ball(pix_trunc(70 * X / Z + 160), pix_trunc(70 * Y / Z + 120), r, flags, out);
    }
    fx_balls_draw_foreground(out, variant);
    return out;
}

void fx_balls_free() { fx_balls_release(); }
