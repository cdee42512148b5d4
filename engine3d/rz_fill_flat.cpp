// Untextured span fillers on 8-bit targets: one colour, or a gouraud shade.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"

#include <cstring>

void rz_span_flat8(const rz_vertex* v)
{
    if (!rz_target)
        return;
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const uint8_t colour = static_cast<uint8_t>(v[0].shade); // the first corner's low byte
    const int32_t pitch = rz_width;
    rz_rows<true, true>([&](const rz_span& s) {
        std::memset(target + s.row * pitch + s.xl, colour, static_cast<size_t>(s.w) + 1);
    });
}

void rz_span_gouraud8(const rz_vertex*)
{
    if (!rz_target)
        return;
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const int32_t pitch = rz_width;
    rz_rows<false, true, true>([&](const rz_span& s) {
        // 16.16 shade, its step measured on this row's whole width before clipping
        int32_t sh = rz_edge_right[1][s.y];
        const int32_t ds = rz_div(rz_sub(rz_edge_left[1][s.y], sh), s.wrow);
        sh = rz_add(sh, rz_mul(s.skip, ds));
        uint8_t* const p = target + s.row * pitch;
        for (int32_t x = s.xl + s.w; x >= s.xl; x--) {
            p[x] = static_cast<uint8_t>(sh >> 16);
            sh = rz_add(sh, ds);
        }
    });
}
