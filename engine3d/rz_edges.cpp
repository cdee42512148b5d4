// Edge scanners: one polygon edge into the left or right edge table, row by row.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"

#include <cstring>

static_assert(sizeof(rz_vertex) == 8 * sizeof(int32_t), "rz_vertex is eight packed words");

// An edge from a lower corner to a higher one (larger y first) rises: it is a left edge of a
// clockwise polygon. Everything else, horizontal edges too, goes right.
struct rz_edge {
    int32_t top[8], bottom[8]; // the corners' words
    int32_t ty, by;            // whole rows (floor of 24.8)
    int32_t (*table)[rz_edge_rows];
};

static rz_edge rz_edge_begin(const rz_vertex& a, const rz_vertex& b)
{
    rz_edge e;
    const bool rising = a.y > b.y;
    std::memcpy(e.top, rising ? &b : &a, sizeof e.top);
    std::memcpy(e.bottom, rising ? &a : &b, sizeof e.bottom);
    e.table = rising ? rz_edge_left : rz_edge_right;
    e.ty = e.top[1] >> 8;
    e.by = e.bottom[1] >> 8;
    return e;
}

void rz_edge_affine(rz_vertex a, rz_vertex b)
{
    rz_edge e = rz_edge_begin(a, b);
    const int32_t dy = e.by - e.ty;
    if (dy == 0)
        return; // a horizontal edge adds nothing

    const int32_t n = rz_nslots;
    int32_t step[rz_max_slots];
    for (int32_t i = 0; i < n; i++) {
        const int w = rz_slots[i];
        // 16.16 per row: an 8.8 (or 24.8) difference shifted into 16.16
        step[i] = rz_div(rz_shl(rz_sub(e.bottom[w], e.top[w]), 8), dy);
    }

    // Bottom clip: the walk starts at the last screen row, its values taken along the edge.
    if (e.by > rz_height - 1) {
        if (e.ty > rz_height - 2)
            return;
        for (int32_t i = 0; i < n; i++) {
            const int w = rz_slots[i];
            e.bottom[w] = rz_add(e.top[w], rz_mul(rz_height - 1 - e.ty, step[i]) >> 8);
        }
        e.by = rz_height - 1;
    }
    // Top clip: the walk runs from the bottom, so the top values need no recomputing.
    if (e.ty < 0) {
        if (e.by <= 0)
            return;
        e.ty = 0;
    }

    for (int32_t i = 0; i < n; i++) {
        int32_t* col = e.table[i];
        int32_t value = rz_shl(e.bottom[rz_slots[i]], 8);
        const int32_t s = step[i];
        for (int32_t y = e.by; y >= e.ty; y--) {
            col[y] = value;
            value = rz_sub(value, s);
        }
    }
}

// An edge that can't be scanned in perspective leaves distance 0 in the depth slot of its rows,
// so the filler skips them rather than draw what an earlier polygon left in the tables.
static void rz_edge_persp_reject(const rz_edge& e, int32_t depth_slot)
{
    const int32_t lo = e.ty < 0 ? 0 : e.ty;
    const int32_t hi = e.by > rz_height - 1 ? rz_height - 1 : e.by;
    for (int32_t y = lo; y <= hi; y++)
        e.table[depth_slot][y] = 0;
}

void rz_edge_persp(rz_vertex a, rz_vertex b)
{
    rz_edge e = rz_edge_begin(a, b);
    const int32_t dy = e.by - e.ty;
    if (dy == 0 || rz_nslots < 1)
        return;

    const int32_t last = rz_nslots - 1; // the depth slot; slot 0 is x, between them texture words
    const int32_t td = e.top[7], bd = e.bottom[7];
    if ((td < bd ? td : bd) <= 0) {
        rz_edge_persp_reject(e, last);
        return;
    }

    // x stays linear on the screen: 16.16 pixels.
    int32_t xv = rz_shl(e.bottom[0], 8);
    const int32_t xstep = rz_div(rz_shl(rz_sub(e.bottom[0], e.top[0]), 8), dy);
    // 2^24 / depth (depth is distance x 256) and word / depth are linear on the screen.
    double q = 16777216.0 / bd;
    const double qstep = (q - 16777216.0 / td) / dy;
    double av[rz_max_slots], astep[rz_max_slots];
    for (int32_t i = 1; i < last; i++) {
        const int w = rz_slots[i];
        av[i] = 65536.0 * e.bottom[w] / bd;
        astep[i] = (av[i] - 65536.0 * e.top[w] / td) / dy;
    }

    if (e.by > rz_height - 1) {
        if (e.ty > rz_height - 2)
            return;
        const int32_t k = rz_height - 1 - e.by; // negative: rows moved up the edge
        xv = rz_add(xv, rz_mul(k, xstep));
        for (int32_t i = 1; i < last; i++)
            av[i] += k * astep[i];
        q += k * qstep;
        e.by = rz_height - 1;
    }
    if (e.ty < 0)
        e.ty = 0;

    for (int32_t y = e.by; y >= e.ty; y--) {
        e.table[0][y] = xv;
        e.table[last][y] = rz_trunc(65536.0 / q); // the plain camera distance
        for (int32_t i = 1; i < last; i++) {
            e.table[i][y] = rz_trunc((av[i] / q) * 65536.0); // 16.16 texels
            av[i] -= astep[i];
        }
        xv = rz_sub(xv, xstep);
        q -= qstep;
    }
}
