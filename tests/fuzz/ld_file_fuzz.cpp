// Fuzzes every disk reader on one file: the input is written to an in-memory file and read back
// through its /proc path. The 3DS file readers must give exactly what the in-memory reader gives
// on the same bytes, and no reader may leave a descriptor open.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/readers/ld_mesh_file.h"
#include "engine3d/readers/ld_multi_mesh.h"
#include "engine3d/readers/ld_object_file.h"
#include "engine3d/sc_scene.h"
#include "picture/iff.h"

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "file and memory readers differ: %s\n", what);
        abort();
    }
}

bool same_words(const int32_t* a, const int32_t* b, int64_t n)
{
    if (!a || !b)
        return a == b;
    return memcmp(a, b, static_cast<size_t>(n) * 4) == 0;
}

void compare_scenes(sc_scene* a, sc_scene* b)
{
    check(a->count == b->count, "object count");
    sc_rewind(a);
    sc_rewind(b);
    while (sc_object* x = sc_next(a)) {
        sc_object* y = sc_next(b);
        const int64_t n = x->vertex_count;
        check(y && n == y->vertex_count && x->face_count == y->face_count, "counts");
        check(memcmp(x->name, y->name, sizeof x->name) == 0 && x->radius == y->radius, "name or radius");
        check(same_words(x->vertices, y->vertices, 3 * n) && same_words(x->faces, y->faces, 4 * int64_t{x->face_count}),
              "vertices or faces");
        check(same_words(x->uv, y->uv, 2 * n) && same_words(x->normals, y->normals, 3 * n), "mapping or normals");
    }
}

void free_path(kf_camera_path* p)
{
    free(p->pos_keys);
    free(p->roll_keys);
    free(p->target_keys);
}

void compare_paths(const kf_camera_path& a, const kf_camera_path& b)
{
    check(a.start_frame == b.start_frame && a.end_frame == b.end_frame, "segment");
    check(a.pos_count == b.pos_count && a.roll_count == b.roll_count && a.target_count == b.target_count, "key counts");
    check(same_words(a.pos_keys, b.pos_keys, 4 * int64_t{a.pos_count}), "position keys");
    check(same_words(a.roll_keys, b.roll_keys, 2 * int64_t{a.roll_count}), "roll keys");
    check(same_words(a.target_keys, b.target_keys, 4 * int64_t{a.target_count}), "target keys");
}

// The lowest free descriptor: it moves when a reader leaves a file open.
int lowest_free_fd()
{
    const int fd = dup(0);
    if (fd >= 0)
        close(fd);
    return fd;
}

void run_3ds(const char* path, const uint8_t* data, uint32_t n)
{
    sc_scene a, b;
    if (sc_init(&a) || sc_init(&b))
        abort();
    check(ld_3ds_meshes_file(path, &a) == ld_3ds_meshes_mem_n(data, n, &b), "meshes result");
    compare_scenes(&a, &b);
    sc_free_objects(&a);
    sc_free_objects(&b);
    sc_release(&a);
    sc_release(&b);

    kf_camera_path p{}, q{};
    check(ld_3ds_keys_file(path, "Camera01", &p) == ld_3ds_keys_mem_n(data, n, "Camera01", &q), "keys result");
    compare_paths(p, q);
    free_path(&p);
    free_path(&q);

    for (int cam : {1, 2}) {
        sc_scene s;
        if (ld_3ds_camera_file(path, cam, &s) == 0)
            sc_release(&s);
    }
}

void run_meshes(const char* path)
{
    sc_object* o = ld_mesh_bin_file(path);
    if (o && (o->face_count < 0 || o->vertex_count < 0))
        abort();
    obj_free(o);
    sc_scene s;
    if (sc_init(&s))
        abort();
    ld_mesh_multi_file(path, &s);
    sc_free_objects(&s);
    ld_object_file(path, &s);
    sc_free_objects(&s);
    sc_release(&s);
    // Pictures that declare far more pixels than their bytes can hold are refused before anything of
    // their size is allocated: libFuzzer's malloc limit catches a regression here.
    uint8_t palette[768];
    tex_free(ld_texture_file(path, palette));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int fd = memfd_create("ld_file_fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || size > 1 << 16)
        return 0;
    const int free_fd = lowest_free_fd();
    if (ftruncate(fd, 0) || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    run_3ds(path.c_str(), data, static_cast<uint32_t>(size));
    run_meshes(path.c_str());
    if (lowest_free_fd() != free_fd) {
        fprintf(stderr, "a reader left a file open\n");
        abort();
    }
    return 0;
}
