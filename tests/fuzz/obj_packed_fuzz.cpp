// Arbitrary packed meshes, modes and cameras through the whole pipeline: the object is built,
// finished (normals), instanced, culled, transformed, listed and drawn into small 8- and 32-bit
// targets. Nothing may read or write outside its arrays.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine3d/eng_render.h"
#include "engine3d/fl_face_list.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "engine3d/sc_transform.h"

namespace {

int32_t word(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

// Modes the rasteriser knows, by target depth, and some it does not.
const uint32_t modes8[] = {1, 2, 4, 6, 8, 12, 16, 68, 72, 140, 132, 136, 4 | 128, 8 | 128, 3};
const uint32_t modes32[] = {4, 8, 68, 72, 4 | 128, 8 | 128, 6};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 36 bytes of set-up: flags, mode, object angles and position, camera and target.
    // at most 4 KiB: some 670 faces, each drawn twice into 64 x 48 targets
    if (size < 40 || size > 4096)
        return 0;
    const uint8_t flags = data[0];
    const bool wide = flags & 1, zbuf = flags & 2, has_uv = flags & 4;
    const uint32_t mode = wide ? modes32[data[1] % (sizeof modes32 / sizeof *modes32)]
                               : modes8[data[1] % (sizeof modes8 / sizeof *modes8)];
    const uint8_t* mesh = data + 36;
    sc_object* o = obj_from_packed(mesh, static_cast<int64_t>(size - 36), nullptr, has_uv);
    if (!o)
        return 0;
    static std::vector<uint32_t> pixels(64 * 48);
    static tex_buffer tex[2] = {tex_alloc(32), tex_alloc(32)};
    for (tex_buffer t : tex)
        std::memset(t, data[2], 4 * tex_area_texels);

    sc_scene scene;
    sc_init(&scene);
    rz_set_screen(64, 48, wide ? 32 : 8);
    rz_target = pixels.data();
    if (zbuf) {
        rz_zbuffer(1);
        std::memset(rz_zbuf, 0xff, 64 * 48 * 4);
    }
    sc_add_object(&scene, o);
    o->mode = mode;
    o->tex_a = o->tex_b = o->tex_c = o->tex_back = tex[0];
    o->angle_x = word(data + 4), o->angle_y = word(data + 8) % 4096;
    o->pos_x = word(data + 12) >> (data[3] & 31), o->pos_y = word(data + 16) >> 8, o->pos_z = word(data + 20) >> 4;
    sc_object* copy = sc_add_instance(&scene, o);
    if (copy) {
        copy->pos_z += 500;
        copy->tex_a = copy->tex_b = tex[1];
    }
    scene.cam_x = word(data + 24) >> (data[3] >> 5);
    scene.target_x = word(data + 28) >> 12;
    scene.target_y = word(data + 32) >> 12;
    scene.roll = data[2];
    sc_render(&scene);
    if (flags & 8) {
        obj_rotate(o);
        sc_transform_object(&scene, o);
        fl_draw_object(o);
    }
    sc_free_objects(&scene);
    sc_release(&scene);  // the last scene: the depth buffer goes too
    return 0;
}
