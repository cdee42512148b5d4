// Multi-object mesh files: each object's record is sized from its header against what is left
// of the file, read whole, checked, and only then made into an object.
#include "engine3d/readers/ld_multi_mesh.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine3d/readers/ld_file.h"
#include "engine3d/sc_scene.h"

enum : uint32_t { ld_multi_uv = 2, ld_multi_normals = 4, ld_multi_kind = 1 | 8 };

// One object's header: index, 10 name bytes, flags, vertex and face counts.
struct ld_multi_head {
    uint32_t index;
    char name[10];
    uint32_t flags;
    int32_t n, m;
};

static uint32_t ld_u16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }

static int32_t ld_i16(const uint8_t* p) { return static_cast<int16_t>(ld_u16(p)); }

static int32_t ld_i32(const uint8_t* p)
{
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

static int ld_read_head(FILE* f, ld_multi_head* h)
{
    uint8_t b[18];
    if (ld_file_read(f, b, sizeof b))
        return 1;
    h->index = ld_u16(b);
    memcpy(h->name, b + 2, 10);
    h->flags = ld_u16(b + 12);
    h->n = static_cast<int32_t>(ld_u16(b + 14));
    h->m = static_cast<int32_t>(ld_u16(b + 16));
    return 0;
}

// Bytes of the object's data behind its header.
static int64_t ld_record_bytes(const ld_multi_head& h)
{
    const int64_t n = h.n;
    int64_t bytes = 12 * n + 8 * static_cast<int64_t>(h.m);
    if (h.flags & ld_multi_uv)
        bytes += 4 * n;
    if (h.flags & ld_multi_normals)
        bytes += 2 + 6 * n;
    return bytes;
}

// Offset of the faces in the record.
static int64_t ld_faces_at(const ld_multi_head& h)
{
    return ld_record_bytes(h) - 8 * static_cast<int64_t>(h.m);
}

// True when every face names vertices of the object: a, b, c, and d unless it repeats c.
static bool ld_faces_fit(const uint8_t* faces, const ld_multi_head& h)
{
    for (int32_t i = 0; i < h.m; i++, faces += 8) {
        const uint32_t c = ld_u16(faces + 4), d = ld_u16(faces + 6);
        if (ld_u16(faces) >= static_cast<uint32_t>(h.n) || ld_u16(faces + 2) >= static_cast<uint32_t>(h.n) ||
            c >= static_cast<uint32_t>(h.n) || (d != c && d >= static_cast<uint32_t>(h.n)))
            return false;
    }
    return true;
}

static void ld_fill(sc_object* o, const uint8_t* rec, const ld_multi_head& h)
{
    for (int32_t i = 0; i < 3 * h.n; i++)
        o->vertices[i] = ld_i32(rec + 4 * i);
    if (h.flags & ld_multi_uv) {
        // all u values in vertex order, then all v values; 8.8 texels
        const uint8_t* u = rec + 12 * static_cast<int64_t>(h.n);
        const uint8_t* v = u + 2 * static_cast<int64_t>(h.n);
        for (int32_t i = 0; i < h.n; i++) {
            o->uv[2 * i] = ld_i16(u + 2 * i) * 256;
            o->uv[2 * i + 1] = ld_i16(v + 2 * i) * 256;
        }
    }
    const uint8_t* faces = rec + ld_faces_at(h);
    for (int32_t i = 0; i < 4 * h.m; i += 4, faces += 8) {
        const uint32_t c = ld_u16(faces + 4), d = ld_u16(faces + 6);
        o->faces[i] = static_cast<int32_t>(ld_u16(faces));
        o->faces[i + 1] = static_cast<int32_t>(ld_u16(faces + 2));
        o->faces[i + 2] = static_cast<int32_t>(c);
        // a fourth corner that repeats the third makes a triangle
        o->faces[i + 3] = d == c ? -1 : static_cast<int32_t>(d);
    }
}

// Reads object number i at the file's position and appends it: 0, or 1 on failure.
static int ld_read_object(FILE* f, int64_t size, uint32_t i, sc_scene* scene)
{
    ld_multi_head h;
    if (ld_read_head(f, &h) || h.index != i || !(h.flags & ld_multi_kind) || h.m > obj_max_faces)
        return 1;
    // sized against the rest of the file before anything is allocated
    const int64_t bytes = ld_record_bytes(h), at = ld_file_pos(f);
    if (at < 0 || bytes > size - at)
        return 1;
    uint8_t* rec = static_cast<uint8_t*>(malloc(static_cast<size_t>(bytes) + 1));
    if (!rec || ld_file_read(f, rec, static_cast<size_t>(bytes)) || !ld_faces_fit(rec + ld_faces_at(h), h)) {
        free(rec);
        return 1;
    }
    sc_object* o = obj_alloc(h.n, h.m, (h.flags & ld_multi_uv) ? 1 : 0);
    if (!o || sc_add_object(scene, o)) {
        obj_free(o);
        free(rec);
        return 1;
    }
    ld_fill(o, rec, h);
    free(rec);
    const int finished = obj_finish(o);
    // obj_finish clears the first ten name bytes: at most 9 characters reach the object
    memcpy(o->name, h.name, 9);
    return finished ? 1 : 0;
}

static int ld_multi(FILE* f, sc_scene* scene)
{
    const int64_t size = ld_file_size(f);
    uint8_t b[2];
    if (size < 0 || ld_file_read(f, b, 2))
        return 1;
    const uint32_t count = ld_u16(b);
    for (uint32_t i = 0; i < count; i++)
        if (ld_read_object(f, size, i, scene))
            return 1;
    return 0;
}

int ld_mesh_multi_file(const char* path, sc_scene* scene)
{
    FILE* f = ld_file_open(path);
    if (!f)
        return 1;
    const int r = ld_multi(f, scene);
    fclose(f);
    return r;
}
