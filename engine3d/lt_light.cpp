// One point light and a shade range of palette entries.
#include "engine3d/lt_light.h"

#include <cmath>

int32_t lt_light[3] = {900, 10000, -400};
int32_t lt_range[3] = {0, 65280, 65536};

void lt_set_light(int32_t x, int32_t y, int32_t z)
{
    lt_light[0] = x;
    lt_light[1] = y;
    lt_light[2] = z;
}

void lt_set_range(int32_t first, int32_t count)
{
    if (first < 0 || count < 0)
        return;
    // 8.8 entries, formed wide: only entries below 2^23 are meaningful in a shade
    const int64_t f = first, c = count;
    lt_range[0] = static_cast<int32_t>(static_cast<uint32_t>(f * 256));
    lt_range[1] = static_cast<int32_t>(static_cast<uint32_t>((f + c - 1) * 256));
    lt_range[2] = static_cast<int32_t>(static_cast<uint32_t>(c * 256));
}

static int32_t wrap_add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t lt_face_shade(const sc_object* o, int32_t slot)
{
    const int32_t first = lt_range[0], last = lt_range[1];
    if (!o || !o->rot_normals || slot < 0 || slot + 2 >= 4 * o->face_count + (o->mode & 2 ? 2 : 0))
        return first;
    // Normal in camera space: the vertex's own for gouraud, else the sum over the face's first
    // three corners (32-bit sums).
    int32_t n[3] = {0, 0, 0};
    const int corners = (o->mode & 2) ? 1 : 3;
    for (int c = 0; c < corners; c++) {
        const int32_t v = o->faces[slot + c];
        if (v < 0 || v >= o->vertex_count)
            return first;
        for (int k = 0; k < 3; k++)
            n[k] = wrap_add(n[k], o->rot_normals[3 * v + k]);
    }
    // The object's origin stands for every face; the light vector is not rotated.
    const double l[3] = {static_cast<double>(o->pos_x) - lt_light[0],
                         static_cast<double>(o->pos_y) - lt_light[1],
                         static_cast<double>(o->pos_z) - lt_light[2]};
    const double nn = static_cast<double>(n[0]) * n[0] + static_cast<double>(n[1]) * n[1] +
                      static_cast<double>(n[2]) * n[2];
    const double ll = l[0] * l[0] + l[1] * l[1] + l[2] * l[2];
    const double d = std::sqrt(nn * ll);
    const double t = d != 0.0 ? (n[0] * l[0] + n[1] * l[1] + n[2] * l[2]) * lt_range[2] / d : 0.0;
    const double v = t + first;
    if (last <= first || v <= first)
        return first;
    if (v >= last)
        return last;
    return static_cast<int32_t>(v);
}
