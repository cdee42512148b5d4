// Shattering screen.
#include "scenes/fx_shatter.h"
#include "scenes/scenes_internal.h"

#include <cmath>
#include <cstring>

#include "engine3d/m3_view.h"
#include "picture/pix.h"

rz_vertex fx_shatter_tris[fx_shatter_count][3];
tex_buffer fx_shatter_tex;

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h;
constexpr double point_angle = 0.01227184630308513;  // 2 pi / 512: radians per border point
constexpr double lobe_angle = 0.19634954084936207;   // pi / 16: sixteen lobes round the circle

rz_vertex fx_shatter_work[3];

// Border point p (0..511) in pixels and texels: top edge left to right, right edge down,
// bottom edge right to left, left edge up; 128 points each, corners twice.
rz_vertex fx_shatter_point(int32_t p)
{
    const int32_t j = p & 127, back = 127 - j;
    rz_vertex v{};
    switch (p >> 7) {
    case 0: v = {319 * j / 127, 0, 253 * j / 127, 2, 0, 0, 0, 0}; break;
    case 1: v = {319, 239 * j / 127, 253, 239 * j / 127, 0, 0, 0, 0}; break;
    case 2: v = {319 * back / 127, 239, 253 * back / 127, 239, 0, 0, 0, 0}; break;
    default: v = {0, 239 * back / 127, 0, 237 * back / 127 + 2, 0, 0, 0, 0}; break;
    }
    return v;
}

rz_vertex fx_shatter_scaled(rz_vertex v)
{
    v.x <<= 8;   // 24.8 pixels
    v.y <<= 8;
    v.tu1 <<= 8; // 8.8 texels
    v.tv1 <<= 8;
    return v;
}

// The lobed radius of point k at time t: 110 until t = 512, then the lobes grow until 1024.
double fx_shatter_radius(int32_t k, int32_t t)
{
    if (t < 512)
        return 110.0;
    const double lobe = 10.0 * std::sin(lobe_angle * k);
    if (t < 1024)
        return 110.0 + lobe * (t - 511) / 512.0;
    return 110.0 + lobe;
}

// Phases 1 and 2: the border point moves t/1024 of the way to its place on the circle.
void fx_shatter_gather(rz_vertex* v, int32_t k, int32_t t)
{
    const double r = fx_shatter_radius(k, t);
    const double cx = 160.0 - r * std::cos(point_angle * k);
    const double cy = 120.0 - r * std::sin(point_angle * k);
    const int32_t px = v->x / 256, py = v->y / 256;
    v->x = m3_trunc(v->x - (px - cx) * t * 0.25);
    v->y = m3_trunc(v->y - (py - cy) * t * 0.25);
}

// Phase 3: the disc turns by a tenth of a point per unit of t while its centre slides left,
// slowly at first (sine ease over 128 steps of 10), then by 160 / 1024 pixel per unit.
void fx_shatter_turn(rz_vertex out[3], int32_t i, int32_t t)
{
    const int32_t d = t - 1024;
    const double b = i - 0.1 * d;
    const int32_t m = d / 10;
    const double s = m <= 128 ? std::sin(point_angle * m) : 1.0;
    const double cx = 160.0 * (1.0 - s * d / 1024.0);
    const double r0 = fx_shatter_radius(i, t), r1 = fx_shatter_radius(i + 1, t);
    out[0].x = m3_trunc(256.0 * (cx - r0 * std::cos(point_angle * b)));
    out[0].y = m3_trunc(256.0 * (120.0 - r0 * std::sin(point_angle * b)));
    out[1].x = m3_trunc(256.0 * (cx - r1 * std::cos(point_angle * (b + 1))));
    out[1].y = m3_trunc(256.0 * (120.0 - r1 * std::sin(point_angle * (b + 1))));
    out[2].x = m3_trunc(256.0 * cx);
}

// Texel (c, r) = source pixel (320 (256 r + c)) >> 8, that is column floor(1.25 c) of row r.
void fx_shatter_sample(const uint32_t* src)
{
    uint32_t* tex = reinterpret_cast<uint32_t*>(fx_shatter_tex);
    for (int r = 0; r < H; r++) {
        const uint32_t* row = src + r * W;
        uint32_t* out = tex + r * 256;
        // (320 c) >> 8 for c = 4j + k is 5j + k (k < 4): four pixels of every five
        for (int j = 0; j < 64; j++)
            for (int k = 0; k < 4; k++)
                out[4 * j + k] = row[5 * j + k];
    }
}

}  // namespace

int fx_shatter_init()
{
    fx_shatter_free();
    for (int32_t i = 0; i < fx_shatter_count; i++) {
        fx_shatter_tris[i][0] = fx_shatter_scaled(fx_shatter_point(i));
        fx_shatter_tris[i][1] = fx_shatter_scaled(fx_shatter_point((i + 1) % fx_shatter_count));
        fx_shatter_tris[i][2] = fx_shatter_scaled(rz_vertex{160, 120, 128, 128, 0, 0, 0, 0});
    }
    fx_shatter_tex = tex_alloc(32);
    rz_set_screen(W, H, 32);
    if (!fx_shatter_tex)
        return 1;
    // rows 240..255 and the spare rows are never sampled from the source: keep them defined
    std::memset(fx_shatter_tex, 0, sizeof(uint32_t) * tex_area_texels);
    rz_set_texture(fx_shatter_tex, 1);
    return rz_set_mode(rz_flag_texture);
}

void fx_shatter_triangle(int32_t i, int32_t t, rz_vertex out[3])
{
    if (i < 0 || i >= fx_shatter_count) {
        out[0] = out[1] = out[2] = rz_vertex{};
        return;
    }
    for (int v = 0; v < 3; v++)
        out[v] = fx_shatter_tris[i][v];
    if (t >= 1024) {
        fx_shatter_turn(out, i, t);
        return;
    }
    // k1 is not wrapped: the last triangle's second point is point 512 (the angle of point 0)
    fx_shatter_gather(&out[0], i, t);
    fx_shatter_gather(&out[1], i + 1, t);
}

void fx_shatter_render(uint32_t* dst, const uint32_t* src, int32_t t)
{
    if (!fx_shatter_tex || !dst || !src)
        return;
    if (rz_width != W || rz_height != H || rz_bits <= 8)
        rz_set_screen(W, H, 32);
    rz_set_texture(fx_shatter_tex, 1);
    rz_set_mode(rz_flag_texture);
    rz_target = dst;
    fx_shatter_sample(src);
    for (int32_t i = 0; i < fx_shatter_count; i++) {
        fx_shatter_triangle(i, t, fx_shatter_work);
        rz_draw_poly(3, fx_shatter_work);
    }
}

void fx_shatter_free()
{
    // no slot keeps pointing at the released texture
    if (fx_shatter_tex && rz_tex1 == fx_shatter_tex)
        rz_set_texture(nullptr, 1);
    tex_free(fx_shatter_tex);
    fx_shatter_tex = nullptr;
}
