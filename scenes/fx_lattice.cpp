// Camera flight through the lattice.
#include "scenes/fx_lattice.h"
#include "scenes/scenes_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "engine3d/eng_render.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/rz.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "scenes/fx_scene.h"

sc_scene fx_lattice_scene;
kf_camera_path fx_lattice_path;
uint32_t* fx_lattice_overlay;
uint8_t* fx_lattice_overlay8;
tex_buffer fx_lattice_tex[3];
uint8_t* fx_lattice_target;

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h, pixels = W * H;
constexpr int32_t cell = 8500;        // lattice spacing, world units
constexpr int32_t cube_vertices = 24; // objects with fewer vertices are the moving boxes
constexpr int32_t period = 3000;      // ticks per pass of the camera path

// Set once init has completed: render draws only then.
bool fx_lattice_ready;

// Three times a camera word, mirrored through the origin; held inside 32 bits.
int32_t minus3(int32_t v)
{
    const int64_t r = -3 * static_cast<int64_t>(v);
    return r > INT32_MAX ? INT32_MAX : (r < INT32_MIN ? INT32_MIN : static_cast<int32_t>(r));
}

// The overlay's indices and its frame, expanded through its own palette (left in
// fx_scene_palette until the texture's palette replaces it).
bool load_overlay(const fx_lattice_media& media)
{
    fx_lattice_overlay = static_cast<uint32_t*>(std::malloc(pixels * sizeof(uint32_t)));
    // zero-filled: a smaller picture leaves the rest transparent
    fx_lattice_overlay8 = static_cast<uint8_t*>(std::calloc(pixels, 1));
    if (!fx_lattice_overlay || !fx_lattice_overlay8)
        return false;
    if (iff_decode_fit(media.overlay, media.overlay_size, fx_lattice_overlay8, pixels, fx_scene_palette) == 0)
        return false;
    pix_expand_palette(fx_lattice_overlay8, fx_scene_palette, fx_lattice_overlay, pixels);
    return true;
}

// The lattice texture and its two copies shifted by 16 and 32 palette entries.
bool load_textures(const fx_lattice_media& media)
{
    fx_lattice_tex[0] = tex_from_picture_n(media.texture, media.texture_size, fx_scene_palette);
    if (!fx_lattice_tex[0])
        return false;
    fx_lattice_tex[1] = tex_alloc(8);
    fx_lattice_tex[2] = tex_alloc(8);
    if (!fx_lattice_tex[1] || !fx_lattice_tex[2])
        return false;
    const uint8_t* src = fx_lattice_tex[0];
    for (int i = 0; i < 65536; i++) {
        fx_lattice_tex[1][i] = static_cast<uint8_t>(src[i] + 16);
        fx_lattice_tex[2][i] = static_cast<uint8_t>(src[i] + 32);
    }
    // the slack rows past the texture stay zero, as in the picture texture
    std::memset(fx_lattice_tex[1] + 65536, 0, tex_area_texels - 65536);
    std::memset(fx_lattice_tex[2] + 65536, 0, tex_area_texels - 65536);
    return true;
}

// The cube of the lattice scene and 342 clones on the 7x7x7 grid, each clone made from the one
// before; the cube itself fills the centre cell.
bool build_lattice(const fx_lattice_media& media)
{
    if (ld_3ds_meshes_mem_n(media.scene, media.scene_size, &fx_lattice_scene) != 0)
        return false;
    sc_rewind(&fx_lattice_scene);
    sc_object* from = sc_next(&fx_lattice_scene);
    if (!from)
        return false;
    for (int x = 0; x < 7; x++)
        for (int y = 0; y < 7; y++)
            for (int z = 0; z < 7; z++) {
                if (x == 3 && y == 3 && z == 3)
                    continue;
                from = sc_add_instance(&fx_lattice_scene, from);
                if (!from)
                    return false;
                from->pos_x = (x - 3) * cell;
                from->pos_y = (y - 3) * cell;
                from->pos_z = (z - 3) * cell;
            }
    return true;
}

// The box and 30 clones. Each clone copies the box's x at its making, then the box moves on:
// the clones stand at 0, -45500, -44200, ..., -9100 and the box ends at -7800.
bool build_boxes(const fx_lattice_media& media)
{
    if (ld_3ds_meshes_mem_n(media.box, media.box_size, &fx_lattice_scene) != 0)
        return false;
    sc_object* box = nullptr;
    sc_rewind(&fx_lattice_scene);
    for (sc_object* o = sc_next(&fx_lattice_scene); o && !box; o = sc_next(&fx_lattice_scene))
        if (o->vertex_count < cube_vertices)
            box = o;
    sc_rewind(&fx_lattice_scene);
    if (!box)
        return false;
    for (int i = 0; i < 30; i++) {
        if (!sc_add_instance(&fx_lattice_scene, box))
            return false;
        box->pos_x = (i - 35) * 1300;
    }
    return true;
}

// Normals where missing, mode 8 (environment map through texture B) and the textures: the
// boxes take entry 2, the cubes entries 0 and 1 alternately by list place.
bool finish_objects()
{
    sc_rewind(&fx_lattice_scene);
    int n = 0;
    for (sc_object* o = sc_next(&fx_lattice_scene); o; o = sc_next(&fx_lattice_scene), n++) {
        if (!o->normals && obj_make_normals(o) != 0) {
            sc_rewind(&fx_lattice_scene);
            return false;
        }
        o->mode = rz_flag_envmap;
        o->tex_b = o->vertex_count < cube_vertices ? fx_lattice_tex[2] : fx_lattice_tex[n & 1 ? 0 : 1];
    }
    return true;
}

// Every moving box turns and runs a figure-of-eight in its own plane x = const; the one at
// x = 0 only turns.
void move_boxes(int32_t t)
{
    sc_rewind(&fx_lattice_scene);
    int m = 0;
    for (sc_object* o = sc_next(&fx_lattice_scene); o; o = sc_next(&fx_lattice_scene)) {
        if (o->vertex_count >= cube_vertices)
            continue;
        o->angle_x = pix_trunc(3.1 * (static_cast<double>(t) + 8.0 * m));   // 1024ths of a turn
        o->angle_y = pix_trunc(2.3 * t);
        const double a = t * 0.00390625 + 4.0 * m;
        o->pos_z = pix_trunc(std::sin(a) * o->pos_x);
        o->pos_y = pix_trunc(std::cos(a) * o->pos_z);
        m++;
    }
}

// The overlay from the right edge leftwards, each row up to its first transparent pixel;
// column 0 is never laid.
void lay_overlay(uint32_t* dst)
{
    for (int y = 0; y < H; y++) {
        const uint8_t* mask = fx_lattice_overlay8 + y * W;
        const uint32_t* src = fx_lattice_overlay + y * W;
        uint32_t* row = dst + y * W;
        for (int x = W - 1; x >= 1 && mask[x] != 0; x--)
            row[x] = src[x];
    }
}

}  // namespace

int fx_lattice_init()
{
    const fx_lattice_media embedded = {
        emb_3ds_lattice, emb_3ds_lattice_size, emb_3ds_box, emb_3ds_box_size,
        emb_pic_lattice_overlay, emb_pic_lattice_overlay_size, emb_pic_lattice_tex, emb_pic_lattice_tex_size};
    return fx_lattice_init_from(embedded);
}

int fx_lattice_init_from(const fx_lattice_media& media)
{
    fx_lattice_free();
    if (sc_init(&fx_lattice_scene) != 0)
        return -1;
    // the reader takes the first camera whatever the name
    if (ld_3ds_keys_mem_n(media.scene, media.scene_size, "Camera01", &fx_lattice_path) != 0)
        return -1;
    if (!load_overlay(media) || !load_textures(media) || !build_lattice(media) || !build_boxes(media) ||
        !finish_objects())
        return -1;
    rz_set_screen(W, H, 8);
    fx_lattice_target = static_cast<uint8_t*>(std::calloc(pixels, 1));
    if (!fx_lattice_target)
        return -1;
    rz_target = fx_lattice_target;
    fx_lattice_ready = true;
    return 0;
}

void fx_lattice_render(uint32_t* dst, int32_t t)
{
    if (!fx_scene_begin(dst, fx_lattice_ready, fx_lattice_target))
        return;
    // one pass of the path every 3000 ticks; the remainder taken upward for negative t
    int32_t r = t % period;
    if (r < 0)
        r += period;
    if (kf_camera_eval(&fx_lattice_scene, &fx_lattice_path, r * 0.03333333333333333) == 0) {
        // the path is stored at a third of the lattice's scale, mirrored; its roll is unused
        fx_lattice_scene.roll = 0;
        fx_lattice_scene.cam_x = minus3(fx_lattice_scene.cam_x);
        fx_lattice_scene.cam_y = minus3(fx_lattice_scene.cam_y);
        fx_lattice_scene.cam_z = minus3(fx_lattice_scene.cam_z);
    }
    move_boxes(t);
    sc_render(&fx_lattice_scene);
    pix_expand_palette(fx_lattice_target, fx_scene_palette, dst, pixels);
    std::memset(fx_lattice_target, 0, pixels);
    lay_overlay(dst);
}

void fx_lattice_free()
{
    fx_lattice_ready = false;
    if (rz_target == fx_lattice_target)
        rz_target = nullptr;   // no drawing into the freed target
    tex_free(fx_lattice_tex[1]);
    tex_free(fx_lattice_tex[0]);
    tex_free(fx_lattice_tex[2]);
    fx_lattice_tex[0] = fx_lattice_tex[1] = fx_lattice_tex[2] = nullptr;
    std::free(fx_lattice_target);
    std::free(fx_lattice_overlay);
    std::free(fx_lattice_overlay8);
    fx_lattice_target = nullptr;
    fx_lattice_overlay = nullptr;
    fx_lattice_overlay8 = nullptr;
    sc_free_objects(&fx_lattice_scene);
    sc_release(&fx_lattice_scene);
    std::free(fx_lattice_path.pos_keys);
    std::free(fx_lattice_path.roll_keys);
    std::free(fx_lattice_path.target_keys);
    fx_lattice_path = kf_camera_path{};
}
