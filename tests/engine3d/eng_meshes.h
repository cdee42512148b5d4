#pragma once
// Meshes built in code for the engine's tests and benchmarks: an axis-aligned cube of 24
// vertices (four per side, as the 3DS exporter writes them) and a box of 8 shared corners.
#include <cstdint>

#include "engine3d/sc_scene.h"

// Side s of a mesh as its faces 2s and 2s + 1: the corners q[0..3] as two triangles.
inline void eng_put_side(sc_object* o, int s, const int32_t q[4])
{
    const int32_t tri[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
    for (int t = 0; t < 2; t++) {
        int32_t* f = o->faces + 4 * (2 * s + t);
        f[0] = tri[t][0];
        f[1] = tri[t][1];
        f[2] = tri[t][2];
        f[3] = -1;
    }
}

// The finished mesh, or nullptr (and the mesh freed) when obj_finish refuses it.
inline sc_object* eng_finish_mesh(sc_object* o)
{
    if (obj_finish(o) != 0) {
        obj_free(o);
        return nullptr;
    }
    return o;
}

// Side corners counter-clockwise seen from outside (u x v = outward normal); the faces come
// in the exporter's winding, which obj_finish reverses.
inline sc_object* eng_make_cube(int32_t half, bool with_uv)
{
    static const int axes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    static const int sign[6] = {1, -1, 1, -1, 1, -1};
    sc_object* o = obj_alloc(24, 12, with_uv ? 1 : 0);
    if (!o)
        return nullptr;
    static const int cu[4] = {-1, 1, 1, -1}, cv[4] = {-1, -1, 1, 1};
    for (int s = 0; s < 6; s++) {
        const int a = axes[s][0], u = axes[s][1], v = axes[s][2];
        for (int k = 0; k < 4; k++) {
            int32_t* p = o->vertices + 3 * (4 * s + k);
            p[a] = sign[s] * half;
            p[u] = cu[k] * half;
            p[v] = cv[k] * half;
            if (with_uv) {
                o->uv[2 * (4 * s + k)] = cu[k] > 0 ? 255 * 256 : 0;
                o->uv[2 * (4 * s + k) + 1] = cv[k] > 0 ? 255 * 256 : 0;
            }
        }
        const int32_t b = 4 * s;
        const int32_t q[4] = {b, b + 1, b + 2, b + 3};
        eng_put_side(o, s, q);
    }
    return eng_finish_mesh(o);
}

inline sc_object* eng_make_box(int32_t half)
{
    sc_object* o = obj_alloc(8, 12, 0);
    if (!o)
        return nullptr;
    for (int i = 0; i < 8; i++) {
        o->vertices[3 * i] = (i & 1) ? half : -half;
        o->vertices[3 * i + 1] = (i & 2) ? half : -half;
        o->vertices[3 * i + 2] = (i & 4) ? half : -half;
    }
    // Each side as two triangles, counter-clockwise seen from outside.
    static const int32_t sides[6][4] = {{1, 3, 7, 5}, {0, 4, 6, 2}, {2, 6, 7, 3},
                                        {0, 1, 5, 4}, {4, 5, 7, 6}, {0, 2, 3, 1}};
    for (int s = 0; s < 6; s++)
        eng_put_side(o, s, sides[s]);
    return eng_finish_mesh(o);
}
