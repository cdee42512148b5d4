// Perspective-correct span fillers: u / z, v / z and 1 / z run linearly along the span; the
// true coordinates are taken every 16 pixels and stepped linearly in between.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"

#include <bit>

// Per-row set-up shared by the three fillers. Z: the float depth test, which steps 1 / z per
// pixel. Returns false when the row is skipped (a distance of 0 or less at either end).
struct rz_persp_row {
    double a, b, q;    // u / z, v / z (16.16 texels per unit of distance), 1 / z
    double da, db, dq; // per 16 pixels (dq per pixel with the depth test)
    int32_t us, vs;    // the next segment's start, 16.16 texels
};

template <bool Z>
static inline bool rz_persp_begin(const rz_span& s, rz_persp_row& r)
{
    const int32_t zl = rz_edge_left[3][s.y], zr = rz_edge_right[3][s.y];
    if ((zl < zr ? zl : zr) <= 0)
        return false;
    const int32_t ru = rz_edge_right[1][s.y], rv = rz_edge_right[2][s.y];
    r.a = static_cast<double>(ru / zr);
    r.b = static_cast<double>(rv / zr);
    r.q = 1.0 / zr;
    r.da = (static_cast<double>(rz_edge_left[1][s.y] / zl) - r.a) / s.wrow;
    r.db = (static_cast<double>(rz_edge_left[2][s.y] / zl) - r.b) / s.wrow;
    r.dq = (1.0 / zl - r.q) / s.wrow;
    r.us = ru;
    r.vs = rv;
    if (s.skip) {
        r.a += s.skip * r.da;
        r.b += s.skip * r.db;
        r.q += s.skip * r.dq;
        r.us = rz_trunc(r.a / r.q);
        r.vs = rz_trunc(r.b / r.q);
    }
    r.da *= 16.0;
    r.db *= 16.0;
    if (!Z)
        r.dq *= 16.0;
    return true;
}

// The segment of 16 pixels starting here: the running coordinates become the exact start, and
// the per-pixel steps reach the exact coordinates 16 pixels on.
template <bool Z>
static inline void rz_persp_segment(rz_persp_row& r, int32_t& u, int32_t& v, int32_t& su, int32_t& sv)
{
    u = r.us;
    v = r.vs;
    r.a += r.da;
    r.b += r.db;
    double qn;
    if (Z) {
        qn = r.q + 16.0 * r.dq;
    } else {
        r.q += r.dq;
        qn = r.q;
    }
    r.us = rz_trunc(r.a / qn);
    r.vs = rz_trunc(r.b / qn);
    su = rz_sub(r.us, u) >> 4;
    sv = rz_sub(r.vs, v) >> 4;
}

static inline int32_t rz_texel1616(int32_t u, int32_t v) { return rz_texel_guarded(u >> 16, (v >> 8) & 0xff00); }

template <class T>
static void rz_texp(const T* tex, T* target)
{
    const int32_t pitch = rz_width;
    rz_rows<false, true>([&](const rz_span& s) {
        rz_persp_row r;
        if (!rz_persp_begin<false>(s, r))
            return;
        T* const p = target + s.row * pitch;
        int32_t u = 0, v = 0, su = 0, sv = 0;
        for (int32_t i = 0, x = s.xl + s.w; x >= s.xl; i++, x--) {
            if ((i & 15) == 0)
                rz_persp_segment<false>(r, u, v, su, sv);
            p[x] = tex[rz_texel1616(u, v)];
            u = rz_add(u, su);
            v = rz_add(v, sv);
        }
    });
}

void rz_span_texp8(const rz_vertex*)
{
    if (rz_target && rz_tex1)
        rz_texp(static_cast<const uint8_t*>(rz_tex1), static_cast<uint8_t*>(rz_target));
}

void rz_span_texp32(const rz_vertex*)
{
    if (rz_target && rz_tex1)
        rz_texp(static_cast<const uint32_t*>(rz_tex1), static_cast<uint32_t*>(rz_target));
}

// The depth buffer holds single-precision 1 / distance: larger is nearer; 0.0 (a cleared
// buffer) and a NaN pattern let everything through.
void rz_span_texp_z8(const rz_vertex*)
{
    if (!rz_target || !rz_tex1 || !rz_zbuf || rz_width * rz_height > rz_zbuf_pixels)
        return;
    const uint8_t* const tex = static_cast<const uint8_t*>(rz_tex1);
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const int32_t pitch = rz_width;
    rz_rows<false, true>([&](const rz_span& s) {
        rz_persp_row r;
        if (!rz_persp_begin<true>(s, r))
            return;
        uint8_t* const p = target + s.row * pitch;
        uint32_t* const zb = rz_zbuf + s.row * pitch;
        int32_t u = 0, v = 0, su = 0, sv = 0;
        for (int32_t i = 0, x = s.xl + s.w; x >= s.xl; i++, x--) {
            if ((i & 15) == 0)
                rz_persp_segment<true>(r, u, v, su, sv);
            const float stored = std::bit_cast<float>(zb[x]);
            if (r.q > stored || stored != stored) {
                zb[x] = std::bit_cast<uint32_t>(static_cast<float>(r.q));
                p[x] = tex[rz_texel1616(u, v)];
            }
            u = rz_add(u, su);
            v = rz_add(v, sv);
            r.q += r.dq;
        }
    });
}
