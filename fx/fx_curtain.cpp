// Wave curtain.
#include "fx/fx_curtain.h"
#include "fx/fx_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "picture/iff.h"
#include "picture/anim.h"
#include "picture/pix.h"

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h;
constexpr size_t frame_bytes = pix_frame_bytes;

uint32_t* fx_curtain_out;     // what render draws and returns
uint32_t* fx_curtain_pic;     // the still picture, expanded once
const uint8_t* fx_curtain_anim;
uint32_t fx_curtain_anim_size;
int32_t fx_curtain_rows[W];   // horizon row per column, rebuilt by every render

uint32_t fx_curtain_blend(uint32_t p, uint32_t q) { return ((p >> 1) & 0x7f7f7f) + ((q >> 1) & 0x7f7f7f); }

// Forwards through the n frames, then backwards, each end frame shown twice in a row.
uint32_t fx_curtain_frame(uint32_t t, uint32_t n)
{
    const uint32_t q = t / n, r = t % n;
    return (q & 1) == 0 ? r : n - 1 - r;
}

// Rows 0, 1, 238, 239 and columns 0, 1: the pixels the doubled animation does not rewrite.
void fx_curtain_clear_border(uint32_t* out)
{
    std::memset(out, 0, 2 * W * 4);
    std::memset(out + 238 * W, 0, 2 * W * 4);
    for (int y = 0; y < H; y++) {
        out[y * W] = 0;
        out[y * W + 1] = 0;
    }
}

void fx_curtain_below(uint32_t* out, const uint32_t* pic, const int32_t* rows)
{
    for (int c = 0; c < W; c++) {
        const int h = rows[c];
        if (h + 1 <= H - 1) out[(h + 1) * W + c] = fx_curtain_blend(out[(h + 1) * W + c], pic[(h + 1) * W + c]);
        for (int y = h + 2; y < H; y++) out[y * W + c] = pic[y * W + c];
    }
}

}  // namespace

void fx_curtain_horizon(uint32_t t, int32_t* rows)
{
    // The time runs signed here; main never passes a negative one.
    const double T = static_cast<int32_t>(t) / 15.0;
    const double a = 100.0 * std::sin(T);
    const double k = a / 25600.0;
    for (int x = -160; x < 160; x++) {
        const double y = k * x * x - a + 10.0 * std::sin(x / 10.0 + 2.3 * T) + 20.0 * std::cos(x / 20.0 - T) + 160.0;
        int32_t h;
        if (y < 0)
            h = 0;
        else if (y > 239.0)
            h = H;   // a y between 239.0 and 240.0 gives 240 too
        else
            h = static_cast<int32_t>(y);
        rows[x + 160] = h;
    }
}

int32_t fx_curtain_init_from(const uint8_t* pic, uint32_t pic_size, const uint8_t* anim, uint32_t anim_size)
{
    fx_curtain_anim = anim;
    fx_curtain_anim_size = anim_size;
    fx_curtain_out = static_cast<uint32_t*>(std::malloc(frame_bytes));
    fx_curtain_pic = static_cast<uint32_t*>(std::malloc(frame_bytes));
    // Zero-filled, so a picture that does not decode expands to colour 0.
    uint8_t* tmp = static_cast<uint8_t*>(std::calloc(W * H, 1));
    if (fx_curtain_out == nullptr || fx_curtain_pic == nullptr || tmp == nullptr) {
        std::free(tmp);
        return -1;
    }
    std::memset(fx_curtain_out, 0, frame_bytes);
    uint8_t palette[pix_palette_bytes] = {};
    iff_decode_fit(pic, pic_size, tmp, W * H, palette);
    pix_expand_palette(tmp, palette, fx_curtain_pic, W * H);
    std::free(tmp);
    return 0;
}

int32_t fx_curtain_init()
{
    return fx_curtain_init_from(emb_pic_curtain, emb_pic_curtain_size, emb_anim_curtain, emb_anim_curtain_size);
}

uint32_t* fx_curtain_render(uint32_t t)
{
    uint32_t* out = fx_curtain_out;
    if (out == nullptr || fx_curtain_pic == nullptr) return nullptr;   // init did not complete
    fx_curtain_clear_border(out);
    const uint32_t n = fx_curtain_anim_size >= 4 ? anim_frame_count(fx_curtain_anim) : 0;
    // An empty container has no frame to show (and no count to divide by); the blit itself
    // refuses frames that lie outside the container.
    if (n != 0) anim_blit_frame_n(fx_curtain_frame(t, n), fx_curtain_anim, fx_curtain_anim_size, out);
    fx_curtain_horizon(t, fx_curtain_rows);
    fx_curtain_below(out, fx_curtain_pic, fx_curtain_rows);
    return out;
}

void fx_curtain_free()
{
    std::free(fx_curtain_out);
    std::free(fx_curtain_pic);
    fx_curtain_out = nullptr;
    fx_curtain_pic = nullptr;
}
