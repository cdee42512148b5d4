// Mirror wave.
#include "fx/fx_mirror.h"
#include "fx/fx_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "picture/iff.h"
#include "picture/pix.h"

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h;
constexpr uint32_t edge_flag = 0xf0000000u, inside_flag = 0x0f000000u;

uint8_t* fx_mirror_pic;       // after init: the overlay's indices (its mask, 0 transparent)
uint32_t* fx_mirror_bg;
uint32_t* fx_mirror_main;     // the main picture with its flags
uint32_t* fx_mirror_drop;     // the bouncing overlay
uint32_t* fx_mirror_out;
// Both survive init: the zoom keeps counting across a new init.
int32_t fx_mirror_zoom;
int32_t fx_mirror_last;

void fx_mirror_release()
{
    std::free(fx_mirror_pic);
    std::free(fx_mirror_bg);
    std::free(fx_mirror_main);
    std::free(fx_mirror_drop);
    std::free(fx_mirror_out);
    fx_mirror_pic = nullptr;
    fx_mirror_bg = fx_mirror_main = fx_mirror_drop = fx_mirror_out = nullptr;
}

// Rows 1..238 as linear indices: the left neighbour of column 0 is the last pixel of the row
// above. Every pixel there gets exactly one flag, whatever its own index.
void fx_mirror_flag(const uint8_t* idx, uint32_t* px)
{
    for (int p = W; p < W * (H - 1); p++) {
        const bool edge = idx[p - 1] == 0 || idx[p + 1] == 0 || idx[p + W] == 0 || idx[p - W] == 0;
        px[p] |= edge ? edge_flag : inside_flag;
    }
}

// The overlay hangs in place every 60 ticks and is lifted along a parabola in between.
void fx_mirror_overlay(uint32_t* out, int32_t t)
{
    const int32_t d = t % 60 - 30;
    const int32_t r0 = 180 - d * d / 5;
    for (int32_t k = 0; r0 + k <= H - 1; k++) {
        const uint8_t* mask = fx_mirror_pic + (r0 + k) * W;
        const uint32_t* src = fx_mirror_drop + (r0 + k) * W;
        uint32_t* dst = out + k * W;
        for (int x = 0; x < W; x++)
            if (mask[x] != 0) dst[x] = src[x] | inside_flag;
    }
}

// The left copy and the mirrored copy, written alternately along each row: inside pixels of the
// left copy overwrite everything, its outline only fills empty pixels; the mirrored copy never
// overwrites an inside pixel of either copy or of the overlay. Black pixels are never drawn.
void fx_mirror_copies(uint32_t* out, int32_t t)
{
    const int32_t top = 40 - static_cast<int32_t>(20 * std::sin(t / 30.0));   // 20..60
    const int32_t x0 = static_cast<int32_t>(40 * std::sin(t / 20.0) + 80);     // 40..120
    int32_t n = 1;   // source row
    for (int32_t y = top + 1; y < H; y++, n++) {
        if (x0 > W - 1) continue;
        const uint32_t* src = fx_mirror_main + n * W + x0;
        uint32_t* row = out + y * W;
        for (int32_t k = 0; k <= W - 1 - x0; k++) {
            const uint32_t s = src[k];
            if ((s & 0xffffff) == 0) continue;
            if (!(s & edge_flag) || (row[k] >> 24) == 0) row[k] = s;
            if (((row[W - 1 - k] >> 24) & 0x0f) == 0) row[W - 1 - k] = s;
        }
    }
}

void fx_mirror_step_zoom(int32_t t, uint32_t reset)
{
    if (reset != 0) {
        fx_mirror_zoom = 0;
    } else {
        // Held at 0..29 also when time runs backwards: the window must stay inside the picture.
        const int64_t z = static_cast<int64_t>(fx_mirror_zoom) + (static_cast<int64_t>(t) - fx_mirror_last);
        fx_mirror_zoom = static_cast<int32_t>(z > 29 ? 29 : (z < 0 ? 0 : z));
    }
    fx_mirror_last = t;
}

// Every pixel leaves with top byte 0: background where nothing was drawn, the 50% blend on an
// outline, the colour inside.
void fx_mirror_compose(uint32_t* out)
{
    const uint32_t zx = static_cast<uint32_t>(6 * fx_mirror_zoom / 5 % 40), zy = static_cast<uint32_t>(fx_mirror_zoom % 40);
    const uint32_t wx = 200 + zx, wy = 120 + zy;
    const uint32_t du = wx * 65536 / W, dv = wy * 65536 / 200;   // 16.16 steps; 200 rows, not 240
    const uint32_t ustart = (160 - wx / 2) * 65536, vstart = (120 - wy / 2) * 65536;
    for (int y = 0; y < H; y++) {
        const uint32_t* bg = fx_mirror_bg + ((vstart + y * dv) >> 16) * W;
        uint32_t* row = out + y * W;
        uint32_t u = ustart;
        for (int x = 0; x < W; x++, u += du) {
            const uint32_t p = row[x], b = bg[u >> 16];
            if ((p >> 24) == 0)
                row[x] = b;
            else if (p & edge_flag)
                row[x] = ((p >> 1) & 0x7f7f7f) + ((b >> 1) & 0x7f7f7f);
            else
                row[x] = p & 0xffffff;
        }
    }
}

}  // namespace

void fx_mirror_init_from(const uint8_t* main_pic, uint32_t main_size, const uint8_t* bg, uint32_t bg_size,
                         const uint8_t* drop, uint32_t drop_size)
{
    fx_mirror_release();
    fx_mirror_pic = static_cast<uint8_t*>(std::calloc(W * H, 1));
    fx_mirror_bg = static_cast<uint32_t*>(std::calloc(W * H, 4));
    fx_mirror_main = static_cast<uint32_t*>(std::calloc(W * H, 4));
    fx_mirror_drop = static_cast<uint32_t*>(std::calloc(W * H, 4));
    fx_mirror_out = static_cast<uint32_t*>(std::calloc(W * H, 4));   // top bytes 0 before the first render
    if (!fx_mirror_pic || !fx_mirror_bg || !fx_mirror_main || !fx_mirror_drop || !fx_mirror_out) {
        fx_mirror_release();
        return;
    }
    uint8_t palette[pix_palette_bytes] = {};
    iff_decode_fit(main_pic, main_size, fx_mirror_pic, W * H, palette);
    pix_expand_palette(fx_mirror_pic, palette, fx_mirror_main, W * H);
    fx_mirror_flag(fx_mirror_pic, fx_mirror_main);
    std::memset(fx_mirror_pic, 0, W * H);
    iff_decode_fit(bg, bg_size, fx_mirror_pic, W * H, palette);
    pix_expand_palette(fx_mirror_pic, palette, fx_mirror_bg, W * H);
    std::memset(fx_mirror_pic, 0, W * H);
    iff_decode_fit(drop, drop_size, fx_mirror_pic, W * H, palette);
    pix_expand_palette(fx_mirror_pic, palette, fx_mirror_drop, W * H);
}

void fx_mirror_init()
{
    fx_mirror_init_from(emb_pic_mirror_main, emb_pic_mirror_main_size, emb_pic_mirror_bg, emb_pic_mirror_bg_size,
                        emb_pic_mirror_drop, emb_pic_mirror_drop_size);
}

uint32_t* fx_mirror_render(int32_t t, uint32_t reset)
{
    uint32_t* out = fx_mirror_out;
    if (out == nullptr) return nullptr;
    if (t > 510) fx_mirror_overlay(out, t);
    fx_mirror_copies(out, t);
    fx_mirror_step_zoom(t, reset);
    fx_mirror_compose(out);
    return out;
}

void fx_mirror_free() { fx_mirror_release(); }
