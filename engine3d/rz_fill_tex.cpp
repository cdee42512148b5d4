// Affine one-texture span fillers: plain (8.8), with the affine depth test (16.16), and with a
// gouraud shade level added (16.16). Texture steps are measured once per polygon.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"

template <bool Guard>
static inline int32_t rz_texel(int32_t col, int32_t row)
{
    return Guard ? rz_texel_guarded(col, row) : col + row;
}

// 8.8 running coordinates; the span of edge row y lands in target row y.
template <bool Guard, class T>
static inline void rz_tex88_run(T* p, const T* tex, int32_t xl, int32_t w, int32_t u, int32_t v,
                                int32_t du, int32_t dv)
{
    for (int32_t x = xl + w; x >= xl; x--) {
        p[x] = tex[rz_texel<Guard>(u >> 8, v & 0xff00)];
        u = rz_add(u, du);
        v = rz_add(v, dv);
    }
}

template <class T>
static void rz_tex88(const T* tex, T* target)
{
    const rz_grad g = rz_poly_grad(8);
    const int32_t du = g.step(1), dv = g.step(2); // texels x 256 per pixel
    const int32_t pitch = rz_width;
    rz_rows<false, false>([&](const rz_span& s) {
        const int32_t u = rz_add(rz_edge_right[1][s.y] >> 8, rz_mul(s.skip, du));
        const int32_t v = rz_add(rz_edge_right[2][s.y] >> 8, rz_mul(s.skip, dv));
        T* const p = target + s.row * pitch;
        if (rz_cols_inside(u, du, s.w, 8))
            rz_tex88_run<false>(p, tex, s.xl, s.w, u, v, du, dv);
        else
            rz_tex88_run<true>(p, tex, s.xl, s.w, u, v, du, dv);
    });
}

void rz_span_tex8(const rz_vertex*)
{
    if (rz_target && rz_tex1)
        rz_tex88(static_cast<const uint8_t*>(rz_tex1), static_cast<uint8_t*>(rz_target));
}

void rz_span_tex32(const rz_vertex*)
{
    if (rz_target && rz_tex1)
        rz_tex88(static_cast<const uint32_t*>(rz_tex1), static_cast<uint32_t*>(rz_target));
}

// Whether the depth buffer covers the screen.
static inline bool rz_zbuf_fits() { return rz_zbuf && rz_width * rz_height <= rz_zbuf_pixels; }

// 16.16 coordinates and depth (distance x 256); a pixel is drawn, and its depth kept, only where
// the buffer holds a larger (farther) value, compared unsigned; equal depths don't draw.
template <bool Guard, class T>
static inline void rz_texz_run(T* p, uint32_t* zb, const T* tex, int32_t xl, int32_t w, int32_t u,
                               int32_t v, int32_t z, int32_t du, int32_t dv, int32_t dz)
{
    for (int32_t x = xl + w; x >= xl; x--) {
        if (zb[x] > static_cast<uint32_t>(z)) {
            zb[x] = static_cast<uint32_t>(z);
            p[x] = tex[rz_texel<Guard>(u >> 16, (v >> 8) & 0xff00)];
        }
        u = rz_add(u, du);
        v = rz_add(v, dv);
        z = rz_add(z, dz);
    }
}

template <class T>
static void rz_texz(const T* tex, T* target)
{
    const rz_grad g = rz_poly_grad(16);
    const int32_t du = g.step(1), dv = g.step(2), dz = g.step(3);
    const int32_t pitch = rz_width;
    rz_rows<false, true>([&](const rz_span& s) {
        const int32_t u = rz_add(rz_edge_right[1][s.y], rz_mul(s.skip, du));
        const int32_t v = rz_add(rz_edge_right[2][s.y], rz_mul(s.skip, dv));
        const int32_t z = rz_add(rz_edge_right[3][s.y], rz_mul(s.skip, dz));
        T* const p = target + s.row * pitch;
        uint32_t* const zb = rz_zbuf + s.row * pitch;
        if (rz_cols_inside(u, du, s.w, 16))
            rz_texz_run<false>(p, zb, tex, s.xl, s.w, u, v, z, du, dv, dz);
        else
            rz_texz_run<true>(p, zb, tex, s.xl, s.w, u, v, z, du, dv, dz);
    });
}

void rz_span_tex_z8(const rz_vertex*)
{
    if (rz_target && rz_tex1 && rz_zbuf_fits())
        rz_texz(static_cast<const uint8_t*>(rz_tex1), static_cast<uint8_t*>(rz_target));
}

void rz_span_tex_z32(const rz_vertex*)
{
    if (rz_target && rz_tex1 && rz_zbuf_fits())
        rz_texz(static_cast<const uint32_t*>(rz_tex1), static_cast<uint32_t*>(rz_target));
}

// 16.16 coordinates; the shade level (slot 3) is stepped per row and added to the texel, which
// picks a level inside the texel's colour group.
template <bool Guard>
static inline void rz_texshade_run(uint8_t* p, const uint8_t* tex, int32_t xl, int32_t w, int32_t u,
                                   int32_t v, int32_t sh, int32_t du, int32_t dv, int32_t ds)
{
    for (int32_t x = xl + w; x >= xl; x--) {
        p[x] = static_cast<uint8_t>(tex[rz_texel<Guard>(u >> 16, (v >> 8) & 0xff00)] + (sh >> 16));
        u = rz_add(u, du);
        v = rz_add(v, dv);
        sh = rz_add(sh, ds);
    }
}

void rz_span_tex_shade8(const rz_vertex*)
{
    if (!rz_target || !rz_tex1)
        return;
    const uint8_t* const tex = static_cast<const uint8_t*>(rz_tex1);
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const rz_grad g = rz_poly_grad(16);
    const int32_t du = g.step(1), dv = g.step(2);
    const int32_t pitch = rz_width;
    rz_rows<false, true>([&](const rz_span& s) {
        const int32_t u = rz_add(rz_edge_right[1][s.y], rz_mul(s.skip, du));
        const int32_t v = rz_add(rz_edge_right[2][s.y], rz_mul(s.skip, dv));
        const int32_t sr = rz_edge_right[3][s.y];
        const int32_t ds = rz_div(rz_sub(rz_edge_left[3][s.y], sr), s.wrow);
        const int32_t sh = rz_add(sr, rz_mul(s.skip, ds));
        uint8_t* const p = target + s.row * pitch;
        if (rz_cols_inside(u, du, s.w, 16))
            rz_texshade_run<false>(p, tex, s.xl, s.w, u, v, sh, du, dv, ds);
        else
            rz_texshade_run<true>(p, tex, s.xl, s.w, u, v, sh, du, dv, ds);
    });
}
