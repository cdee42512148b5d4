// Light beams.
#include "fx/fx_beams.h"
#include "fx/fx_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "picture/iff.h"
#include "picture/pix.h"

namespace {

// Built at init (entry row i, column j of the 512x512 polar tables; texture rows of 256
// columns) and per render (swirl).
uint8_t* fx_beams_distance;   // 512 x 512: distance from (255.5, 255.5), 255 beyond 255
uint8_t* fx_beams_angle;      // 512 x 512: direction, 256 steps a turn, counter-clockwise
uint8_t* fx_beams_texture;    // 512 x 256 streak brightness, rows 256.. are 0
uint32_t fx_beams_ramp[256];  // black through red to white
uint8_t fx_beams_swirl[256];  // direction -> texture column

constexpr int W = pix_frame_w, H = pix_frame_h, P = 512;
constexpr uint32_t opaque_flag = 0x0f000000u, outline_flag = 0xf0000000u;

uint32_t* fx_beams_logo;
uint32_t* fx_beams_out;
int32_t fx_beams_rowoff[256];   // distance -> texture row offset for this frame's pulse

void fx_beams_release()
{
    std::free(fx_beams_distance);
    std::free(fx_beams_angle);
    std::free(fx_beams_texture);
    std::free(fx_beams_logo);
    std::free(fx_beams_out);
    fx_beams_distance = fx_beams_angle = fx_beams_texture = nullptr;
    fx_beams_logo = fx_beams_out = nullptr;
}

void fx_beams_flag(const uint8_t* idx, uint32_t* logo)
{
    for (int p = 0; p < W * H; p++)
        if (idx[p] != 0) logo[p] |= opaque_flag;
    for (int y = 1; y < H - 1; y++)
        for (int x = 1; x < W - 1; x++) {
            const int p = y * W + x;
            if (idx[p] != 0 && (idx[p - 1] == 0 || idx[p + 1] == 0 || idx[p - W] == 0 || idx[p + W] == 0))
                logo[p] |= outline_flag;
        }
}

// Every entry is defined: beyond distance 255 the distance is 255 (a black texel for every
// pulse), so any logo may leave any pixel transparent.
void fx_beams_polar()
{
    for (int i = 0; i < P; i++)
        for (int j = 0; j < P; j++) {
            const double dy = 255.5 - i, dx = j - 255.5;
            const int32_t d = static_cast<int32_t>(std::sqrt(dx * dx + dy * dy));
            fx_beams_distance[i * P + j] = static_cast<uint8_t>(d <= 255 ? d : 255);
            // 128 / 3.141593 steps per radian; negative directions wrap modulo 256
            fx_beams_angle[i * P + j] = static_cast<uint8_t>(static_cast<int32_t>(40.74366093889311 * std::atan2(dy, dx)));
        }
}

// Groups of four columns: two bright streaks falling off linearly (one fall-off draw each) and
// two that run one row behind them.
void fx_beams_streaks()
{
    uint8_t* tex = fx_beams_texture;
    std::memset(tex, 0, P * 256);
    std::memset(tex, 255, 256);
    for (int g = 0; g < 256; g += 4) {
        const double f = (std::rand() % 20 + 230) * 0.00625;
        for (int r = 1; r < 256; r++) {
            const double v = 255.0 - (r - 1) * f;
            const uint8_t b = static_cast<uint8_t>(v > 0 ? static_cast<int32_t>(v) : 0);
            uint8_t* row = tex + r * 256;
            row[g] = row[g + 2] = b;
            row[g + 1] = row[g + 3] = tex[(r - 1) * 256 + g];
        }
    }
}

uint32_t fx_beams_blend(uint32_t p, uint32_t q) { return ((p >> 1) & 0x7f7f7f) + ((q >> 1) & 0x7f7f7f); }

void fx_beams_beams(uint32_t* out)
{
    const uint8_t* tex = fx_beams_texture;
    for (int y = 0; y < H; y++) {
        const uint8_t* dist = fx_beams_distance + (200 + y) * P + 148;
        const uint8_t* ang = fx_beams_angle + (200 + y) * P + 148;
        const uint32_t* logo = fx_beams_logo + y * W;
        uint32_t* row = out + y * W;
        for (int x = 0; x < W; x++) {
            const uint32_t L = logo[x];
            const uint32_t beam = fx_beams_ramp[tex[fx_beams_rowoff[dist[x]] + fx_beams_swirl[ang[x]]]];
            if (!(L & opaque_flag))
                row[x] = beam;
            else if (L & outline_flag)
                row[x] = fx_beams_blend(L, beam);
            else
                row[x] = L;
        }
    }
}

uint32_t fx_beams_add(uint32_t p, uint32_t c, uint32_t v)
{
    uint32_t out = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
        const uint32_t ch = ((p >> sh) & 255) + ((((c >> sh) & 255) * v) >> 8);
        out |= (ch > 255 ? 255 : ch) << sh;
    }
    return out;   // top byte 0
}

// 100 rows of 110 pixels, added twice: at (32 + k, y) and at (70 + k, y - 20). The rectangle lies
// within distance 85 of the light's centre, so the row 4d + s2 stays below 512.
void fx_beams_glow(uint32_t* out, int32_t s2)
{
    const uint8_t* tex = fx_beams_texture;
    for (int y = 65; y < 165; y++) {
        const uint8_t* dist = fx_beams_distance + (y + 147) * P + 210;
        const uint8_t* ang = fx_beams_angle + (y + 147) * P + 210;
        uint32_t* p1 = out + y * W + 32;
        uint32_t* p2 = out + (y - 20) * W + 70;
        for (int k = 0; k < 110; k++) {
            const uint32_t v = tex[(4 * dist[k] + s2) * 256 + fx_beams_swirl[ang[k]]];
            const uint32_t c = fx_beams_ramp[v];
            p1[k] = fx_beams_add(p1[k], c, v);
            p2[k] = fx_beams_add(p2[k], c, v);
        }
    }
}

}  // namespace

void fx_beams_init_from(const uint8_t* logo, uint32_t logo_size)
{
    fx_beams_release();
    fx_beams_distance = static_cast<uint8_t*>(std::calloc(P * P, 1));
    fx_beams_angle = static_cast<uint8_t*>(std::calloc(P * P, 1));
    fx_beams_texture = static_cast<uint8_t*>(std::calloc(P * 256, 1));
    fx_beams_logo = static_cast<uint32_t*>(std::calloc(W * H, 4));
    fx_beams_out = static_cast<uint32_t*>(std::calloc(W * H, 4));
    if (!fx_beams_distance || !fx_beams_angle || !fx_beams_texture || !fx_beams_logo || !fx_beams_out) {
        fx_beams_release();
        return;
    }
    // The distance table holds the logo's indices and the angle table its palette until the
    // polar tables are built.
    iff_decode_fit(logo, logo_size, fx_beams_distance, P * P, fx_beams_angle);
    pix_expand_palette(fx_beams_distance, fx_beams_angle, fx_beams_logo, W * H);
    fx_beams_flag(fx_beams_distance, fx_beams_logo);
    fx_beams_polar();
    fx_beams_streaks();
    for (uint32_t i = 0; i < 256; i++) fx_beams_ramp[i] = (i << 16) | ((i * i >> 8) * 0x101);
}

void fx_beams_init() { fx_beams_init_from(emb_pic_beams_logo, emb_pic_beams_logo_size); }

uint32_t* fx_beams_render(double T)
{
    uint32_t* out = fx_beams_out;
    if (out == nullptr) return nullptr;
    for (int i = 0; i < 256; i++)   // the added 256 keeps the value positive: truncation floors
        fx_beams_swirl[i] = static_cast<uint8_t>(
            static_cast<int32_t>(256 + 50 * std::sin(0.1 * i - 0.1 * T) + 30 * std::cos(0.05 * i + T / 15)));
    const int32_t s = static_cast<int32_t>(10 + 30 * std::cos(0.1 * T));   // -20..40
    for (int d = 0; d < 256; d++) fx_beams_rowoff[d] = (d + s > 0 ? d + s : 0) * 256;   // rows from 0 on
    fx_beams_beams(out);
    fx_beams_glow(out, static_cast<int32_t>(60 - 60 * std::cos(0.1 * T)));   // 0..120
    return out;
}

void fx_beams_free() { fx_beams_release(); }
