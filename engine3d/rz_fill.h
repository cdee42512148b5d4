// Inside the rasteriser only: what the set-up, the edge scanners and the span fillers share.
// 32-bit arithmetic wraps as the machine's registers do: running values are kept in uint32_t
// and read back as int32_t for the arithmetic shifts, so no overflow is undefined.
#pragma once

#include "engine3d/rz.h"
#include "picture/pix.h"

#include <cstdint>

typedef void (*rz_span_op)(const rz_vertex* v);

// Pixels the depth buffer was made for (0 without one): the depth fillers refuse a screen
// that has grown beyond it.
extern int32_t rz_zbuf_pixels;

static inline int32_t rz_wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
static inline int32_t rz_add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
static inline int32_t rz_sub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
static inline int32_t rz_mul(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
static inline int32_t rz_shl(int32_t a, int s) { return static_cast<int32_t>(static_cast<uint32_t>(a) << s); }
// 32-bit division truncating toward zero; the one overflowing case (-2^31 / -1) wraps.
static inline int32_t rz_div(int32_t a, int32_t b) { return rz_wrap(static_cast<int64_t>(a) / b); }

// Double to integer for the perspective scanner and spans: pix_trunc (toward zero, saturating,
// NaN gives 0; only degenerate perspective spans get beyond the range).
static inline int32_t rz_trunc(double d) { return pix_trunc(d); }

// Integer part of a 16.16 screen x as a signed 16-bit number.
static inline int32_t rz_xint(int32_t x16) { return static_cast<int16_t>(static_cast<uint32_t>(x16) >> 16); }

// Texel index from a column and a row offset (row x 256, already wrapped to 0..65280). The
// column is not wrapped: overshoot runs into the neighbouring row and the spare rows. A column
// that would leave the 256 x 272 area wraps at 256 instead.
static inline int32_t rz_texel_guarded(int32_t col, int32_t row)
{
    const int32_t i = col + row;
    return static_cast<uint32_t>(i) < static_cast<uint32_t>(rz_tex_texels) ? i : (col & 255) + row;
}

// Whether a column running from c0 by dc per pixel over pixels 0..w stays where no guard is
// needed: the running value (column << shift) stays in 0 .. (4352 << shift) - 1 without
// wrapping, so every index of rows 0..255 lies inside the area.
static inline bool rz_cols_inside(int32_t c0, int32_t dc, int32_t w, int shift)
{
    const int64_t a = c0, b = a + static_cast<int64_t>(w) * dc;
    const int64_t hi = (int64_t{rz_tex_texels - 65280} << shift) - 1;
    return a >= 0 && b >= 0 && a <= hi && b <= hi;
}

// One span after clipping: edge row y, target row, drawn pixels xl .. xl + w (right to left),
// the row's width before clipping, and the pixels cut off at the right (0 if none), by which
// every running value is advanced.
struct rz_span {
    int32_t y, row, xl, w, wrow, skip;
};

// The common row walk: edge rows rz_ymax - 1 down to rz_ymin, each clipped to the screen.
// ZeroOne: a row of zero width draws one pixel (else it is skipped). Next: the span of edge
// row y lands in target row y + 1. Tight: the gouraud filler's clip, which also drops a span
// ending at column 0 when it starts left of the screen, or starting at the last column when it
// runs past the right.
template <bool ZeroOne, bool Next, bool Tight = false, class F>
static inline void rz_rows(F&& f)
{
    const int32_t last = rz_width - 1;
    for (int32_t y = rz_ymax - 1; y >= rz_ymin; y--) {
        int32_t xl = rz_xint(rz_edge_left[0][y]);
        const int32_t xr = rz_xint(rz_edge_right[0][y]);
        int32_t w = xr - xl;
        if (w < 0 || (w == 0 && !ZeroOne))
            continue;
        const int32_t wrow = w;
        if (xl < 0) {
            if (Tight ? xr <= 0 : xr < 0)
                continue;
            xl = 0;
            w = xr;
        }
        int32_t skip = 0;
        if (xr > last) {
            if (Tight ? xl > last - 1 : xl > last)
                continue;
            skip = xr - last;
            w = last - xl;
        }
        f(rz_span{y, Next ? y + 1 : y, xl, w, wrow, skip});
    }
}

// Polygon gradient of slot k, measured on the middle edge row: (left - right) / width, the
// width in 1/256 pixel (shift 8, 8.8 fillers) or whole pixels (shift 16, 16.16 fillers). A
// middle row of zero width measures nothing: the steps are 0, which keeps every running value
// at its row's start.
struct rz_grad {
    int32_t m;     // the middle edge row
    int32_t width; // its width in the filler's unit; 0 = no steps
    int32_t step(int k) const
    {
        return width == 0 ? 0 : rz_div(rz_sub(rz_edge_left[k][m], rz_edge_right[k][m]), width);
    }
};
static inline rz_grad rz_poly_grad(int shift)
{
    const int32_t m = (rz_ymin + rz_ymax) >> 1;
    return rz_grad{m, rz_sub(rz_edge_right[0][m], rz_edge_left[0][m]) >> shift};
}

// Bump work buffers are 640 x 480 with one zero entry before and after (the bump pass's
// diagonal neighbours of its first and last pixel).
constexpr int32_t rz_bump_entries = rz_max_width * rz_max_height;
