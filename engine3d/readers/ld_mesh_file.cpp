// Packed mesh files: the size check decides, then the image is read whole and built by the
// engine's own packed-mesh builder.
#include "engine3d/readers/ld_mesh_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine3d/readers/ld_file.h"
#include "engine3d/sc_scene.h"

static int32_t ld_s16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

// True when every face index of the image names one of its n vertices.
static bool ld_indices_fit(const uint8_t* image, int32_t n, int32_t f)
{
    const uint8_t* p = image + 4 + 6 * static_cast<int64_t>(n);
    for (int32_t i = 0; i < 3 * f; i++, p += 2) {
        const int32_t v = ld_s16(p);
        if (v < 0 || v >= n)
            return false;
    }
    return true;
}

// Reads the packed image of the open file; the object, or null.
static sc_object* ld_packed(FILE* f)
{
    uint8_t head[4];
    if (ld_file_read(f, head, 4))
        return nullptr;
    const int32_t n = ld_s16(head), fc = ld_s16(head + 2);
    const int64_t size = ld_file_size(f);
    const int64_t base = 6 * (static_cast<int64_t>(n) + fc) + 4;
    if (size != base && size != base + 2 * static_cast<int64_t>(n))
        return nullptr;
    const int has_uv = size > base ? 1 : 0;
    sc_object* o = obj_alloc(n, fc, has_uv);
    if (!o)
        return nullptr;
    uint8_t* image = static_cast<uint8_t*>(malloc(static_cast<size_t>(size)));
    if (!image || ld_file_seek(f, 0) || ld_file_read(f, image, static_cast<size_t>(size)) ||
        !ld_indices_fit(image, n, fc) || !obj_from_packed(image, size, o, has_uv)) {
        free(image);
        obj_free(o);
        return nullptr;
    }
    free(image);
    return o;
}

sc_object* ld_mesh_bin_file(const char* path)
{
    FILE* f = ld_file_open(path);
    if (!f)
        return nullptr;
    sc_object* o = ld_packed(f);
    fclose(f);
    return o;
}
