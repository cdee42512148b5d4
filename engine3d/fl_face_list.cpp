// The face list: visible faces with depth keys, radix-sorted and drawn far to near.
#include "engine3d/fl_face_list.h"

#include <cstddef>
#include <cstring>

#include "engine3d/lt_light.h"
#include "engine3d/rz.h"

int32_t fl_count = 0;
uint32_t fl_keys[fl_max_faces];
int32_t fl_faces[fl_max_faces];
sc_object* fl_objects[fl_max_faces];
int32_t fl_sort_mode = 0;

static uint32_t fl_work[4 * fl_max_faces];  // two arrays of (key, index) pairs
static uint32_t rs_counts[1024];             // shared by the three sorts

// Screen corners beyond +-16384 pixels (24.8) would overflow the rasteriser's 16.16 edge
// steps, and depths beyond 2^22 its depth steps: such faces are left out.
constexpr int32_t screen_limit = 1 << 22;
constexpr int32_t depth_limit = 1 << 22;

void fl_reset()
{
    fl_count = 0;
    fl_sort_mode = 0;
}

// Whether every corner of face i names a vertex of the object, lies within the screen limit
// and (when a depth is drawn) within the depth limit. A fourth index below 0 ends a triangle.
static bool face_drawable(const sc_object* o, const int32_t* f, bool depth_used)
{
    for (int s = 0; s < 4; s++) {
        const int32_t v = f[s];
        if (v < 0 && s == 3)
            break;
        if (v < 0 || v >= o->vertex_count)
            return false;
        const int32_t* p = o->scr_vertices + 2 * v;
        if (p[0] <= -screen_limit || p[0] >= screen_limit || p[1] <= -screen_limit || p[1] >= screen_limit)
            return false;
        if (depth_used && o->cam_vertices[3 * v + 2] <= -depth_limit)
            return false;
    }
    return true;
}

static int32_t wrap_add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

static uint32_t face_key(int32_t zs, int32_t base)
{
    if (fl_sort_mode == 1) {
        const int32_t k = wrap_add(base, static_cast<int32_t>(0u - static_cast<uint32_t>(zs))) >> 5;
        return static_cast<uint32_t>(k < 0 ? 0 : k > 1023 ? 1023 : k);
    }
    const int32_t k = static_cast<int32_t>(0u - static_cast<uint32_t>(zs)) >> 2;
    return static_cast<uint32_t>(k < 0 ? 0 : k);
}

int32_t fl_add_object(sc_object* o)
{
    if (!o || !o->faces || !o->scr_vertices || !o->cam_vertices)
        return fl_count;
    const int32_t base = static_cast<int32_t>(3u * (static_cast<uint32_t>(o->radius) - static_cast<uint32_t>(o->depth)));
    const bool two_sided = (o->mode & 128) != 0;
    const bool depth_used = (o->mode & 64) != 0 || rz_zbuf != nullptr;
    const int32_t* scr = o->scr_vertices;
    const int32_t* cam = o->cam_vertices;
    for (int32_t i = 0; i < o->face_count; i++) {
        const int32_t* f = o->faces + 4 * i;
        if (!face_drawable(o, f, depth_used))
            continue;
        // whole pixels; clockwise on the screen (y down) is a front face
        const int32_t xa = scr[2 * f[0]] >> 8, ya = scr[2 * f[0] + 1] >> 8;
        const int32_t xb = scr[2 * f[1]] >> 8, yb = scr[2 * f[1] + 1] >> 8;
        const int32_t xc = scr[2 * f[2]] >> 8, yc = scr[2 * f[2] + 1] >> 8;
        const bool front = (xc - xb) * (yb - ya) <= (yc - yb) * (xb - xa);
        if (!front && !two_sided)
            continue;
        if (fl_count > fl_max_faces - 1)
            break;
        // camera space: -z is forward, so a sum of 0 or more lies behind (or is near-marked)
        const int32_t zs = wrap_add(wrap_add(cam[3 * f[0] + 2], cam[3 * f[1] + 2]), cam[3 * f[2] + 2]);
        if (zs >= 0)
            continue;
        fl_keys[fl_count] = face_key(zs, base);
        fl_faces[fl_count] = front ? 4 * i : ~(4 * i);
        fl_objects[fl_count] = o;
        fl_count++;
    }
    return fl_count;
}

// Turns byte counts (2 per pair) into bucket ends and moves the pairs from the last to the
// first, each into the top free place of its bucket: a stable counting pass.
static void scatter_pass(int32_t n, int shift, uint32_t* counts, const uint32_t* src, uint32_t* dst)
{
    for (int b = 1; b < 256; b++)
        counts[b] += counts[b - 1];
    for (int32_t i = n - 1; i >= 0; i--) {
        // the pair moves as one 64-bit word
        uint64_t pair;
        std::memcpy(&pair, src + 2 * i, sizeof pair);
        const uint32_t at = counts[(static_cast<uint32_t>(pair) >> shift) & 255] -= 2;
        std::memcpy(dst + at, &pair, sizeof pair);
    }
}

uint32_t* rs_byte_pass(int32_t n, int p, const uint32_t* src, uint32_t* dst)
{
    const int shift = 8 * (p & 3);
    for (int b = 0; b < 256; b++)
        rs_counts[b] = 0;
    for (int32_t i = 0; i < n; i++)
        rs_counts[(src[2 * i] >> shift) & 255] += 2;
    scatter_pass(n, shift, rs_counts, src, dst);
    return dst;
}

uint32_t* rs_sort_pairs(int32_t n, const uint32_t* keys, uint32_t* work, int passes)
{
    if (n < 0)
        n = 0;
    const bool valid = passes >= 1 && passes <= 4;
    // The counts of every pass's byte are taken while the pairs are built: a pass's counts do
    // not depend on the order the pairs are in, so this equals counting before each pass.
    for (int b = 0; b < 1024; b++)
        rs_counts[b] = 0;
    for (int32_t i = 0; i < n; i++) {
        const uint32_t key = keys[i];
        work[2 * i] = key;
        work[2 * i + 1] = static_cast<uint32_t>(i);
        rs_counts[key & 255] += 2;
        rs_counts[256 + ((key >> 8) & 255)] += 2;
        rs_counts[512 + ((key >> 16) & 255)] += 2;
        rs_counts[768 + (key >> 24)] += 2;
    }
    if (!valid)
        return nullptr;
    uint32_t* a = work;
    uint32_t* b = work + 2 * static_cast<size_t>(n);
    for (int p = 0; p < passes; p++) {
        scatter_pass(n, 8 * p, rs_counts + 256 * p, a, b);
        uint32_t* t = a;
        a = b;
        b = t;
    }
    return a;
}

uint32_t* rs_sort10(int32_t n, const uint32_t* keys, uint32_t* dst)
{
    for (int b = 0; b < 1024; b++)
        rs_counts[b] = 0;
    for (int32_t i = 0; i < n; i++)
        rs_counts[keys[i] & 1023] += 2;
    for (int b = 1; b < 1024; b++)
        rs_counts[b] += rs_counts[b - 1];
    for (int32_t i = n - 1; i >= 0; i--) {
        const uint32_t at = rs_counts[keys[i] & 1023] -= 2;
        dst[at] = keys[i];
        dst[at + 1] = static_cast<uint32_t>(i);
    }
    return dst;
}

// Binds the object's textures to the rasteriser's slots for the mode's texture kind.
static void bind_textures(const sc_object* o, uint32_t t)
{
    switch (t) {
    case 4:
    case 6:
        rz_set_texture(o->tex_a, 1);
        break;
    case 8:
        rz_set_texture(o->tex_b, 1);
        break;
    case 12:
        rz_set_texture(o->tex_b, 2);
        rz_set_texture(o->tex_a, 1);
        break;
    case 16:
        rz_set_texture(o->tex_a, 2);
        rz_set_texture(o->tex_c, 1);
        break;
    default:
        break;
    }
}

// Environment coordinates (8.8) from the camera-space normal, centred in the map; mirrored
// for a back face.
static void env_coords(const sc_object* o, int32_t v, bool back, rz_vertex* r)
{
    const int32_t* n = o->rot_normals ? o->rot_normals + 3 * v : nullptr;
    const int32_t nx = n ? n[0] : 0, ny = n ? n[1] : 0;
    r->tu2 = back ? 32768 - nx : nx + 32768;
    r->tv2 = back ? ny + 32768 : 32768 - ny;
}

static void tex_coords(const sc_object* o, int32_t v, rz_vertex* r)
{
    r->tu1 = o->uv ? o->uv[2 * v] : 0;
    r->tv1 = o->uv ? o->uv[2 * v + 1] : 0;
}

// Fills the rasteriser corners of one face; returns their count (3 or 4).
static int face_vertices(const sc_object* o, int32_t f, bool back, uint32_t mode, rz_vertex* r)
{
    static const int back_order[4] = {2, 1, 0, 3};
    const uint32_t t = mode & 31;
    int k = 0;
    for (; k < 4; k++) {
        const int s = back ? back_order[k] : k;
        const int32_t v = o->faces[f + s];
        if (v < 0)
            break;
        rz_vertex* c = r + k;
        c->x = o->scr_vertices[2 * v];
        c->y = o->scr_vertices[2 * v + 1];
        if (t == 2 || t == 6)
            c->shade = lt_face_shade(o, f + s);
        if (t == 4 || t == 6 || t == 12 || t == 16)
            tex_coords(o, v, c);
        if (t == 8 || t == 12 || t == 16)
            env_coords(o, v, back, c);
        const int32_t z = o->cam_vertices[3 * v + 2];
        if (mode & 64)
            c->depth = static_cast<int32_t>((0u - static_cast<uint32_t>(z)) << 8);
        else if (rz_zbuf)
            c->depth = -z;
    }
    return k;
}

// Draws the sorted pairs from the last (farthest; among equal keys the later added) to the first.
static void draw_sorted(const uint32_t* pairs, int32_t n)
{
    rz_vertex r[4] = {};
    const uint32_t depth_flag = rz_zbuf ? 32u : 0u;
    // Effects may have set a mode of their own since the last list was drawn: the cache is
    // trusted only within one drawing, so the first face always sets its mode.
    rz_mode = 0;
    for (int32_t j = n - 1; j >= 0; j--) {
        const uint32_t idx = pairs[2 * j + 1];
        const sc_object* o = fl_objects[idx];
        int32_t f = fl_faces[idx];
        const uint32_t mode = o->mode | depth_flag;
        if (mode != rz_mode) {
            rz_mode = mode;
            rz_set_mode(mode);
        }
        bind_textures(o, mode & 31);
        const bool back = (o->mode & 128) && f < 0;
        if (back) {
            f = ~f;
            rz_set_texture(o->tex_back, 1);
        }
        const int count = face_vertices(o, f, back, mode, r);
        if (o->mode == 1)
            r[0].shade = lt_face_shade(o, f) >> 8;  // the face's colour index
        rz_draw_poly(count, r);
    }
}

void fl_flush()
{
    const uint32_t* sorted = rs_sort_pairs(fl_count, fl_keys, fl_work, 3);
    draw_sorted(sorted, fl_count);
}

void fl_draw_object(sc_object* o)
{
    fl_reset();
    fl_sort_mode = 1;
    fl_add_object(o);
    const uint32_t* sorted = rs_sort10(fl_count, fl_keys, fl_work);
    draw_sorted(sorted, fl_count);
}
