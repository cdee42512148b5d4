#pragma once
// Meshes built in code for the engine's tests and benchmarks: an axis-aligned cube of 24
// vertices (four per side, as the 3DS exporter writes them) and a box of 8 shared corners.
#include <cstdint>

#include "engine3d/sc_scene.h"

// Side s as faces 2s and 2s + 1, the corners q[0..3] counter-clockwise seen from outside (the
// exporter's winding, which obj_finish reverses); the finished mesh, or nullptr when refused.
inline sc_object* eng_finish_mesh(sc_object* o, const int32_t (*q)[4])
{
    for (int s = 0; s < 6; s++)
        for (int t = 0; t < 2; t++) {
            int32_t* f = o->faces + 4 * (2 * s + t);
            f[0] = q[s][0], f[1] = q[s][1 + t], f[2] = q[s][2 + t], f[3] = -1;
        }
    if (obj_finish(o) == 0)
        return o;
    obj_free(o);
    return nullptr;
}

inline sc_object* eng_make_cube(int32_t half, bool with_uv)
{
    static const int axes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    static const int cu[4] = {-1, 1, 1, -1}, cv[4] = {-1, -1, 1, 1};
    sc_object* o = obj_alloc(24, 12, with_uv ? 1 : 0);
    int32_t q[6][4];
    for (int s = 0; o && s < 6; s++)
        for (int k = 0; k < 4; k++) {
            int32_t* p = o->vertices + 3 * (4 * s + k);
            p[axes[s][0]] = (s & 1 ? -1 : 1) * half, p[axes[s][1]] = cu[k] * half, p[axes[s][2]] = cv[k] * half;
            if (with_uv)
                o->uv[2 * (4 * s + k)] = cu[k] > 0 ? 255 * 256 : 0, o->uv[2 * (4 * s + k) + 1] = cv[k] > 0 ? 255 * 256 : 0;
            q[s][k] = 4 * s + k;
        }
    return o ? eng_finish_mesh(o, q) : nullptr;
}

inline sc_object* eng_make_box(int32_t half)
{
    static const int32_t sides[6][4] = {{1, 3, 7, 5}, {0, 4, 6, 2}, {2, 6, 7, 3}, {0, 1, 5, 4}, {4, 5, 7, 6}, {0, 2, 3, 1}};
    sc_object* o = obj_alloc(8, 12, 0);
    for (int i = 0; o && i < 24; i++)
        o->vertices[i] = (i / 3 >> (i % 3)) & 1 ? half : -half;
    return o ? eng_finish_mesh(o, sides) : nullptr;
}
