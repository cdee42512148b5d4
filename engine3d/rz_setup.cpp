// Rasteriser state, set-up operations and the polygon entry.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"
#include "picture/pix.h"

#include <cstdlib>

int32_t rz_width = pix_frame_w;
int32_t rz_height = 200;
int32_t rz_bits = 8;
void* rz_target = nullptr;
uint32_t* rz_zbuf = nullptr;
int32_t rz_zbuf_pixels = 0;
const void* rz_tex1 = nullptr;
const void* rz_tex2 = nullptr;
uint32_t rz_mode = 0;

void (*rz_edge_fn)(rz_vertex a, rz_vertex b) = rz_edge_affine;
void (*rz_span_fn)(const rz_vertex* v) = rz_span_tex8;
int32_t rz_slots[rz_max_slots] = {0, 2, 3};
int32_t rz_nslots = 3;

// Words per mode bit: flat x; gouraud x, shade; texture x, tu1, tv1; environment x, tu2, tv2;
// bump x and both pairs; depth buffer and perspective the depth word; double-sided nothing.
const uint32_t rz_word_masks[8] = {0x01, 0x41, 0x0d, 0x31, 0x3d, 0x80, 0x80, 0x00};

int32_t rz_ymin, rz_ymax, rz_xmin, rz_xmax;
int32_t rz_edge_left[rz_max_slots][rz_edge_rows];
int32_t rz_edge_right[rz_max_slots][rz_edge_rows];

int rz_set_screen(int32_t width, int32_t height, int32_t bits)
{
    if (bits < 8 || width < 1 || height < 1 || width > rz_max_width || height > rz_max_height)
        return 1;
    rz_width = width;
    rz_height = height;
    rz_bits = bits;
    return 0;
}

int rz_zbuffer(int create)
{
    if (!create) {
        std::free(rz_zbuf);
        rz_zbuf = nullptr;
        rz_zbuf_pixels = 0;
        return 0;
    }
    if (rz_zbuf)
        return 1;
    const int32_t pixels = rz_width * rz_height;
    rz_zbuf = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(pixels), sizeof(uint32_t)));
    if (!rz_zbuf)
        return 1;
    rz_zbuf_pixels = pixels;
    return 0;
}

void rz_set_texture(const void* texture, int slot)
{
    if (slot == 1)
        rz_tex1 = texture;
    else if (slot == 2)
        rz_tex2 = texture;
}

// The filler for a whole mode value; null for a value the target depth doesn't know.
static rz_span_op rz_pick_filler(uint32_t flags)
{
    if (rz_bits > 8) {
        switch (flags) {
        case 4: case 8: return rz_span_tex32;
        case 36: case 40: return rz_span_tex_z32;
        case 68: case 72: return rz_span_texp32;
        default: return nullptr;
        }
    }
    switch (flags) {
    case 1: return rz_span_flat8;
    case 2: return rz_span_gouraud8;
    case 4: case 8: return rz_span_tex8;
    case 6: return rz_span_tex_shade8;
    case 12: return rz_span_tex2_add8;
    case 16: return rz_span_bump_prep8;
    case 36: case 40: return rz_span_tex_z8;
    case 68: case 72: return rz_span_texp8;
    case 100: case 104: return rz_span_texp_z8;
    case 140: return rz_span_tex2_mask8;
    default: return nullptr;
    }
}

int rz_set_mode(uint32_t flags)
{
    rz_edge_fn = (flags & rz_flag_perspective) ? rz_edge_persp : rz_edge_affine;

    rz_span_op span = rz_pick_filler(flags);
    const int result = span ? 0 : 1;
    if (!span)
        span = rz_bits > 8 ? rz_span_tex32 : rz_span_tex8;
    rz_span_fn = span;

    // The slot list is the union of the bits' words, ascending (double-sided adds none).
    uint32_t words = 0;
    for (int k = 0; k < 7; k++)
        if (flags & (1u << k))
            words |= rz_word_masks[k];
    rz_nslots = 0;
    for (int w = 0; w < 8; w++)
        if (words & (1u << w))
            rz_slots[rz_nslots++] = w;
    return result;
}

// Bounding box in whole pixels (floor of 24.8); false when the polygon lies wholly off the
// screen. The column bounds serve only this rejection: the fillers clip spans themselves.
static bool rz_bound(int n, const rz_vertex* v)
{
    int32_t x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y;
    for (int i = 1; i < n; i++) {
        if (v[i].x < x0) x0 = v[i].x;
        if (v[i].x > x1) x1 = v[i].x;
        if (v[i].y < y0) y0 = v[i].y;
        if (v[i].y > y1) y1 = v[i].y;
    }
    rz_xmin = x0 >> 8;
    rz_xmax = x1 >> 8;
    rz_ymin = y0 >> 8;
    rz_ymax = y1 >> 8;

    if (rz_ymin < 0) {
        if (rz_ymax < 0) return false;
        rz_ymin = 0;
    }
    if (rz_ymax > rz_height - 1) {
        if (rz_ymin > rz_height - 1) return false;
        rz_ymax = rz_height - 1;
    }
    if (rz_xmin < 0) {
        if (rz_xmax < 0) return false;
        rz_xmin = 0;
    }
    if (rz_xmax > rz_width - 1) {
        if (rz_xmin > rz_width - 1) return false;
        rz_xmax = rz_width - 1;
    }
    return true;
}

void rz_draw_poly(int n, const rz_vertex* v)
{
    if (n < 1 || !v || !rz_bound(n, v))
        return;
    for (int i = 0; i + 1 < n; i++)
        rz_edge_fn(v[i], v[i + 1]);
    rz_edge_fn(v[n - 1], v[0]);
    rz_span_fn(v);
}
