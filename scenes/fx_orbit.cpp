// Orbiting objects.
#include "scenes/fx_orbit.h"
#include "scenes/scenes_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "engine3d/eng_render.h"
#include "engine3d/m3_view.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"
#include "picture/anim.h"
#include "picture/pix.h"
#include "scenes/fx_scene.h"

sc_scene fx_orbit_scene;
uint32_t* fx_orbit_border;
tex_buffer fx_orbit_tex[3];

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h;
constexpr int32_t anim_frames = 51;
constexpr int32_t clones = 10;
// Depth word of a coloured background pixel: distance 40000 (about the orbit centre's) x 256.
constexpr uint32_t behind_depth = 0x9c4000u;
constexpr uint32_t empty_depth = 0xffffffffu;

fx_orbit_media fx_orbit_media_now;
uint32_t* fx_orbit_zbuf;  // the depth buffer this init made (null: none of ours)
bool fx_orbit_ready;

// A 32-bit colouring of the 8-bit map through fx_scene_palette; the spare rows stay black.
tex_buffer fx_orbit_colour(const uint8_t* map)
{
    tex_buffer t = tex_alloc(32);
    if (!t)
        return nullptr;
    uint32_t* texels = reinterpret_cast<uint32_t*>(t);
    pix_expand_palette(map, fx_scene_palette, texels, 65536);
    std::memset(texels + 65536, 0, sizeof(uint32_t) * (tex_area_texels - 65536));
    return t;
}

// Exchanges bytes a and b of every palette entry.
void fx_orbit_swap(int a, int b)
{
    for (int i = 0; i < 256; i++) {
        uint8_t* e = fx_scene_palette + 3 * i;
        const uint8_t s = e[a];
        e[a] = e[b];
        e[b] = s;
    }
}

// Three colourings of the map: as stored (R, G, B), then (B, G, R), then (G, B, R).
int fx_orbit_textures(const fx_orbit_media* m)
{
    tex_buffer map = tex_from_picture_n(m->tex, m->tex_size, fx_scene_palette);
    if (!map)
        return 1;
    int result = 0;
    for (int k = 2; k >= 0 && result == 0; k--) {
        if (k == 1)
            fx_orbit_swap(0, 2);
        if (k == 0)
            fx_orbit_swap(0, 1);
        fx_orbit_tex[k] = fx_orbit_colour(map);
        if (!fx_orbit_tex[k])
            result = 1;
    }
    tex_free(map);
    return result;
}

// Ten clones of each of the (at most three) meshes the file held, each cloned from the one
// before; the clones go to the end of the list.
int fx_orbit_clone()
{
    const int32_t meshes = fx_orbit_scene.count < 3 ? fx_orbit_scene.count : 3;
    sc_rewind(&fx_orbit_scene);
    for (int32_t i = 0; i < meshes; i++) {
        sc_object* from = sc_next(&fx_orbit_scene);
        for (int32_t c = 0; c < clones && from; c++)
            from = sc_add_instance(&fx_orbit_scene, from);
        if (!from)
            return 1;
    }
    return 0;
}

// Every object: normals, environment mode, texture B = colouring k mod 3.
int fx_orbit_dress()
{
    sc_rewind(&fx_orbit_scene);
    int32_t k = 0;
    for (sc_object* o = sc_next(&fx_orbit_scene); o; o = sc_next(&fx_orbit_scene), k++) {
        if (!o->normals) {
            const int r = obj_make_normals(o);
            if (r != 0)
                return r;
        }
        o->mode = rz_flag_envmap;
        o->tex_b = fx_orbit_tex[k % 3];
    }
    return 0;
}

int fx_orbit_build(const fx_orbit_media* m)
{
    if (sc_init(&fx_orbit_scene) != 0)
        return 1;
    fx_orbit_scene.cam_y = -9000;
    fx_orbit_scene.cam_z = 40000;
    fx_orbit_border = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * pix_frame_pixels));
    if (!fx_orbit_border || fx_scene_load_picture(m->border, m->border_size, fx_orbit_border) != 0)
        return 1;
    if (fx_orbit_textures(m) != 0)
        return 1;
    if (ld_3ds_meshes_mem_n(m->scene, m->scene_size, &fx_orbit_scene) != 0)
        return 1;
    if (fx_orbit_clone() != 0)
        return 1;
    const int dressed = fx_orbit_dress();
    if (dressed != 0)
        return dressed;
    rz_set_screen(W, H, 32);
    const int z = rz_zbuffer(1);
    fx_orbit_zbuf = z == 0 ? rz_zbuf : nullptr;
    fx_orbit_ready = true;
    return z;
}

// Every object's place on the ring at time t.
void fx_orbit_place(int32_t t)
{
    const double r = 2500.0 * std::sin(0.02 * t + 76800.0) + 9400.0;
    const int32_t n = fx_orbit_scene.count;
    int32_t k = 0;
    for (sc_node* node = *fx_orbit_scene.head; node; node = node->next, k++) {
        sc_object* o = node->object;
        // formed in 64 bits: (k + 2) t leaves 32 bits after about a year of clock
        const int64_t q = static_cast<int64_t>(k + 2) * t / n;
        o->angle_x = m3_trunc(3.1 * static_cast<double>(q));
        o->angle_y = m3_trunc(2.3 * t);
        const double a = t * 0.0078125 + k;
        o->pos_z = m3_trunc(r * std::sin(a));
        o->pos_x = m3_trunc(r * std::cos(a));
        o->pos_y = m3_trunc(900.0 * std::cos(t * 0.03125 + 4.4 * k));
    }
}

// Objects draw over black background everywhere, over coloured background only when nearer
// than the orbit's centre.
void fx_orbit_depth_mask(const uint32_t* __restrict dst, uint32_t* __restrict z)
{
    for (int i = 0; i < pix_frame_pixels; i++) {
        // all ones under a coloured pixel: a select without a branch, so the loop vectorises
        const uint32_t coloured = 0u - static_cast<uint32_t>(dst[i] != 0);
        z[i] = empty_depth ^ (coloured & (empty_depth ^ behind_depth));
    }
}

// The border: from the left on rows 3..239 and from the right on rows 200..239, each row up to
// the border's first black pixel.
void fx_orbit_frame(uint32_t* dst)
{
    for (int y = 3; y < H; y++) {
        const uint32_t* b = fx_orbit_border + y * W;
        uint32_t* d = dst + y * W;
        for (int x = 0; x < W && b[x] != 0; x++)
            d[x] = b[x];
    }
    for (int y = 200; y < H; y++) {
        const uint32_t* b = fx_orbit_border + y * W;
        uint32_t* d = dst + y * W;
        for (int x = W - 1; x >= 1 && b[x] != 0; x--)
            d[x] = b[x];
    }
}

}  // namespace

int fx_orbit_init()
{
    const fx_orbit_media m{emb_3ds_orbit,       emb_3ds_orbit_size,      emb_pic_orbit_tex, emb_pic_orbit_tex_size,
                           emb_pic_orbit_border, emb_pic_orbit_border_size, emb_anim_orbit,   emb_anim_orbit_size};
    return fx_orbit_init_from(&m);
}

int fx_orbit_init_from(const fx_orbit_media* media)
{
    fx_orbit_free();
    if (!media)
        return 1;
    fx_orbit_media_now = *media;
    return fx_orbit_build(media);
}

void fx_orbit_render(uint32_t* dst, int32_t t)
{
    if (!fx_orbit_ready || !dst)
        return;
    // the frame number wraps into 0..50 for any clock value
    const int32_t f = (t / 3) % anim_frames;
    anim_blit_frame_n(static_cast<uint32_t>(f < 0 ? f + anim_frames : f), fx_orbit_media_now.anim,
                      fx_orbit_media_now.anim_size, dst);
    // the animation leaves these rows partly unwritten
    std::memset(dst, 0, sizeof(uint32_t) * W);
    std::memset(dst + 238 * W, 0, sizeof(uint32_t) * 2 * W);
    // dst is a 320x240 frame: never draw into it at another screen size
    if (rz_width != W || rz_height != H || rz_bits <= 8)
        rz_set_screen(W, H, 32);
    rz_target = dst;
    if (rz_zbuf && rz_zbuf == fx_orbit_zbuf)
        fx_orbit_depth_mask(dst, rz_zbuf);
    fx_orbit_place(t);
    sc_render(&fx_orbit_scene);
    fx_orbit_frame(dst);
}

void fx_orbit_free()
{
    fx_orbit_ready = false;
    fx_orbit_zbuf = nullptr;
    for (tex_buffer& t : fx_orbit_tex) {
        // no slot keeps pointing at a released texture
        if (t && rz_tex1 == t)
            rz_set_texture(nullptr, 1);
        if (t && rz_tex2 == t)
            rz_set_texture(nullptr, 2);
        tex_free(t);
        t = nullptr;
    }
    std::free(fx_orbit_border);
    fx_orbit_border = nullptr;
    sc_free_objects(&fx_orbit_scene);
    sc_release(&fx_orbit_scene);
}
