// Two-texture span fillers on 8-bit targets (modes 12 and 140) and the bump preparation
// (mode 16). All coordinates 8.8 with polygon gradients.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"

// The four 8.8 polygon gradients: tu1, tv1, tu2, tv2 (slots 1 to 4).
struct rz_steps4 {
    int32_t d[4];
};
static rz_steps4 rz_grad4()
{
    const rz_grad g = rz_poly_grad(8);
    return rz_steps4{{g.step(1), g.step(2), g.step(3), g.step(4)}};
}

// A second 8.8 pair held in the upper 16 bits of a word: it wraps at 256 texels by itself.
static inline int32_t rz_high88(int32_t edge) { return static_cast<int32_t>(static_cast<uint32_t>(edge) << 8 & 0xffff0000u); }
static inline int32_t rz_tex2_index(int32_t u2, int32_t v2)
{
    return static_cast<int32_t>((static_cast<uint32_t>(u2) >> 24) + ((static_cast<uint32_t>(v2) >> 16) & 0xff00u));
}

template <bool Guard>
static inline void rz_tex2add_run(uint8_t* p, const uint8_t* t1, const uint8_t* t2, int32_t xl, int32_t w,
                                  int32_t u1, int32_t v1, int32_t u2, int32_t v2, const int32_t* d)
{
    for (int32_t x = xl + w; x >= xl; x--) {
        const int32_t col = u1 >> 8, row = v1 & 0xff00;
        const int32_t i1 = Guard ? rz_texel_guarded(col, row) : col + row;
        p[x] = static_cast<uint8_t>(t1[i1] + t2[rz_tex2_index(u2, v2)]);
        u1 = rz_add(u1, d[0]);
        v1 = rz_add(v1, d[1]);
        u2 = rz_add(u2, d[2]);
        v2 = rz_add(v2, d[3]);
    }
}

void rz_span_tex2_add8(const rz_vertex*)
{
    if (!rz_target || !rz_tex1 || !rz_tex2)
        return;
    const uint8_t* const t1 = static_cast<const uint8_t*>(rz_tex1);
    const uint8_t* const t2 = static_cast<const uint8_t*>(rz_tex2);
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const rz_steps4 g = rz_grad4();
    // the second pair's steps move its upper-16-bit 8.8 words
    const int32_t d[4] = {g.d[0], g.d[1], rz_shl(g.d[2], 16), rz_shl(g.d[3], 16)};
    const int32_t pitch = rz_width;
    rz_rows<true, true>([&](const rz_span& s) {
        const int32_t u1 = rz_add(rz_edge_right[1][s.y] >> 8, rz_mul(s.skip, d[0]));
        const int32_t v1 = rz_add(rz_edge_right[2][s.y] >> 8, rz_mul(s.skip, d[1]));
        const int32_t u2 = rz_add(rz_high88(rz_edge_right[3][s.y]), rz_mul(s.skip, d[2]));
        const int32_t v2 = rz_add(rz_high88(rz_edge_right[4][s.y]), rz_mul(s.skip, d[3]));
        uint8_t* const p = target + s.row * pitch;
        if (rz_cols_inside(u1, d[0], s.w, 8))
            rz_tex2add_run<false>(p, t1, t2, s.xl, s.w, u1, v1, u2, v2, d);
        else
            rz_tex2add_run<true>(p, t1, t2, s.xl, s.w, u1, v1, u2, v2, d);
    });
}

// Both pairs in one word per coordinate: the first pair's 8.8 in the low half, the second's in
// the high half; a carry from the low half into the high one is part of the look. Both
// addresses wrap at 256, so no coordinate can leave the texture.
void rz_span_tex2_mask8(const rz_vertex*)
{
    if (!rz_target || !rz_tex1 || !rz_tex2)
        return;
    const uint8_t* const t1 = static_cast<const uint8_t*>(rz_tex1);
    const uint8_t* const t2 = static_cast<const uint8_t*>(rz_tex2);
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const rz_steps4 g = rz_grad4();
    const int32_t du = rz_add(g.d[0], rz_shl(g.d[2], 16));
    const int32_t dv = rz_add(g.d[1], rz_shl(g.d[3], 16));
    const int32_t pitch = rz_width;
    rz_rows<false, true>([&](const rz_span& s) {
        int32_t u = rz_add(rz_edge_right[1][s.y] >> 8, rz_high88(rz_edge_right[3][s.y]));
        int32_t v = rz_add(rz_edge_right[2][s.y] >> 8, rz_high88(rz_edge_right[4][s.y]));
        u = rz_add(u, rz_mul(s.skip, du));
        v = rz_add(v, rz_mul(s.skip, dv));
        uint8_t* const p = target + s.row * pitch;
        for (int32_t x = s.xl + s.w; x >= s.xl; x--) {
            const uint8_t texel = t1[((u >> 8) & 255) + (v & 0xff00)];
            if (texel)
                p[x] = static_cast<uint8_t>(texel + t2[rz_tex2_index(u, v)]);
            u = rz_add(u, du);
            v = rz_add(v, dv);
        }
    });
}

template <bool Guard>
static inline void rz_bumpprep_run(int32_t i0, const uint8_t* t1, const uint8_t* t2, int32_t xl,
                                   int32_t w, int32_t u1, int32_t v1, int32_t u2, int32_t v2,
                                   const int32_t* d)
{
    for (int32_t x = xl + w; x >= xl; x--) {
        const int32_t col = u1 >> 8, row = v1 & 0xff00;
        const int32_t a1 = Guard ? rz_texel_guarded(col, row) : col + row;
        rz_bump_height[i0 + x] = t1[a1];
        rz_bump_colour[i0 + x] = t2[a1];
        rz_bump_env[i0 + x] = static_cast<uint16_t>((v2 & 0xff00) + (u2 >> 8));
        u1 = rz_add(u1, d[0]);
        v1 = rz_add(v1, d[1]);
        u2 = rz_add(u2, d[2]);
        v2 = rz_add(v2, d[3]);
    }
}

// Mode 16: heights (slot 1) and colours (slot 2) at the first pair's texel, and the second
// pair's environment-map index, into the bump work buffers; the target is left alone.
void rz_span_bump_prep8(const rz_vertex*)
{
    if (!rz_tex1 || !rz_tex2)
        return;
    const uint8_t* const t1 = static_cast<const uint8_t*>(rz_tex1);
    const uint8_t* const t2 = static_cast<const uint8_t*>(rz_tex2);
    const rz_steps4 g = rz_grad4();
    const int32_t pitch = rz_width;
    rz_rows<true, true>([&](const rz_span& s) {
        const int32_t u1 = rz_add(rz_edge_right[1][s.y] >> 8, rz_mul(s.skip, g.d[0]));
        const int32_t v1 = rz_add(rz_edge_right[2][s.y] >> 8, rz_mul(s.skip, g.d[1]));
        const int32_t u2 = rz_add(rz_edge_right[3][s.y] >> 8, rz_mul(s.skip, g.d[2]));
        const int32_t v2 = rz_add(rz_edge_right[4][s.y] >> 8, rz_mul(s.skip, g.d[3]));
        const int32_t i0 = s.row * pitch;
        if (rz_cols_inside(u1, g.d[0], s.w, 8))
            rz_bumpprep_run<false>(i0, t1, t2, s.xl, s.w, u1, v1, u2, v2, g.d);
        else
            rz_bumpprep_run<true>(i0, t1, t2, s.xl, s.w, u1, v1, u2, v2, g.d);
    });
}
