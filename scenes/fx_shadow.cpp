// Shadow scene.
#include "scenes/fx_shadow.h"
#include "scenes/scenes_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "engine3d/eng_render.h"
#include "engine3d/fl_face_list.h"
#include "engine3d/lt_light.h"
#include "engine3d/m3_view.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/rz.h"
#include "engine3d/sc_transform.h"
#include "scenes/fx_scene.h"

sc_scene fx_shadow_scene;
sc_scene fx_shadow_light_scene;
sc_object* fx_shadow_marker;
tex_buffer fx_shadow_map;
uint32_t* fx_shadow_bg;
uint8_t* fx_shadow_colour;
uint8_t* fx_shadow_mask;

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h;
constexpr int32_t map_bytes = 65536;
constexpr int32_t wall_z = -10000;      // the wall plane behind the objects
constexpr int32_t light_z = 80000;
constexpr char receiver_mark = '$';
constexpr uint8_t shadow_index = 128;    // shadow-map texel in shadow; also the dimmed half

bool fx_shadow_ready;

uint8_t* fx_shadow_plane() { return fx_shadow_map + fx_shadow_map_offset; }

bool fx_shadow_is_receiver(const sc_object* o) { return o->name[0] == receiver_mark; }

// Every object of a scene's list, in order, without touching its iterator.
template <class F> void fx_shadow_each(sc_scene* s, F&& f)
{
    for (sc_node* node = s->head ? *s->head : nullptr; node; node = node->next)
        f(node->object);
}

// Entries 128..255: entries 0..127 with each byte divided by 3, the colours in shadow.
void fx_shadow_dim_palette()
{
    for (int i = 0; i < 128 * 3; i++)
        fx_scene_palette[128 * 3 + i] = static_cast<uint8_t>(fx_scene_palette[i] / 3);
}

int fx_shadow_pictures(const fx_shadow_media* m)
{
    fx_shadow_bg = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * pix_frame_pixels));
    if (!fx_shadow_bg || fx_scene_load_picture(m->bg, m->bg_size, fx_shadow_bg) != 0)
        return 1;
    std::memset(fx_shadow_bg, 0, sizeof(uint32_t) * W);
    if (fx_scene_load_picture(m->pal, m->pal_size, nullptr) != 0)
        return 1;
    fx_shadow_dim_palette();
    fx_shadow_map = tex_alloc(24);
    if (!fx_shadow_map)
        return 1;
    std::memset(fx_shadow_map, 0, 3 * static_cast<size_t>(tex_area_texels));
    return 0;
}

// Normals, texture coordinates, the shadow map as texture A, the common height; all but the
// marker also go into the light's scene.
int fx_shadow_dress(sc_object* o)
{
    if (!o->normals) {
        const int r = obj_make_normals(o);
        if (r != 0)
            return r;
    }
    if (!o->uv) {
        // freed with the object's geometry, which it owns
        o->uv = static_cast<int32_t*>(std::calloc(2 * static_cast<size_t>(o->vertex_count > 0 ? o->vertex_count : 1),
                                                  sizeof(int32_t)));
        if (!o->uv)
            return 1;
    }
    o->tex_a = fx_shadow_plane();
    o->pos_y = -2000;
    if (o != fx_shadow_marker && sc_add_object(&fx_shadow_light_scene, o) != 0)
        return 1;
    return 0;
}

int fx_shadow_objects(const fx_shadow_media* m)
{
    if (ld_3ds_meshes_mem_n(m->box, m->box_size, &fx_shadow_scene) != 0)
        return 1;
    sc_rewind(&fx_shadow_scene);
    fx_shadow_marker = sc_next(&fx_shadow_scene);
    if (ld_3ds_meshes_mem_n(m->receivers, m->receivers_size, &fx_shadow_scene) != 0)
        return 1;
    fx_shadow_each(&fx_shadow_scene, [](sc_object* o) {
        if (o != fx_shadow_marker)
            o->name[0] = receiver_mark;
    });
    if (ld_3ds_meshes_mem_n(m->casters, m->casters_size, &fx_shadow_scene) != 0)
        return 1;
    for (sc_node* node = *fx_shadow_scene.head; node; node = node->next) {
        const int r = fx_shadow_dress(node->object);
        if (r != 0)
            return r;
    }
    return 0;
}

int fx_shadow_build(const fx_shadow_media* m)
{
    if (sc_init(&fx_shadow_scene) != 0 || sc_init(&fx_shadow_light_scene) != 0)
        return 1;
    fx_shadow_scene.cam_z = 74000;
    int r = fx_shadow_pictures(m);
    if (r == 0)
        r = fx_shadow_objects(m);
    if (r != 0)
        return r;
    fx_shadow_colour = static_cast<uint8_t*>(std::calloc(pix_frame_pixels, 1));
    fx_shadow_mask = static_cast<uint8_t*>(std::calloc(pix_frame_pixels, 1));
    if (!fx_shadow_colour || !fx_shadow_mask)
        return 1;
    rz_target = fx_shadow_colour;
    r = rz_set_screen(W, H, 8);
    fx_shadow_ready = r == 0;
    return r;
}

// The light on its ellipse (2 pi / 740 per tick): the light scene's camera, the marker, the
// lighting.
void fx_shadow_light(double t)
{
    const double a = 0.00849079095564809 * t;
    const int32_t lx = m3_trunc(12000.0 * std::sin(a) + 13000.0);
    const int32_t ly = m3_trunc(10000.0 * std::cos(a) + 11000.0);
    sc_scene& ls = fx_shadow_light_scene;
    ls.cam_x = lx;
    ls.cam_y = ly;
    ls.cam_z = light_z;
    ls.target_x = ls.target_y = ls.target_z = 0;
    if (fx_shadow_marker) {
        fx_shadow_marker->pos_x = lx;
        fx_shadow_marker->pos_y = ly;
        fx_shadow_marker->pos_z = light_z;
    }
    lt_set_light(lx, ly, light_z);
}

// Receivers slide down into place over the first 128 ticks and turn; casters swing in from
// the lower left over the first 256 ticks, then wander periodically; casters and marker spin.
void fx_shadow_motion(double t)
{
    fx_shadow_each(&fx_shadow_scene, [t](sc_object* o) {
        if (fx_shadow_is_receiver(o)) {
            o->angle_z = m3_trunc(0.8 * t);
            o->angle_y = m3_trunc(110.0 * std::cos(0.015707963267948967 * t));
            o->pos_y = t < 128 ? m3_trunc(400.0 * (127.0 - t) - 2000.0) : -2000;
            o->pos_z = 1000;
            return;
        }
        if (o != fx_shadow_marker) {
            o->pos_x = m3_trunc(1600.0 * std::cos(0.02026833970057931 * t) + 6000.0);
            o->pos_y = m3_trunc(1800.0 * std::cos(0.021666156231653744 * t) + 4000.0);
            o->pos_z = m3_trunc(5000.0 * std::cos(0.023271056693257727 * t) + 32000.0);
            if (t < 256) {
                const double s = (255.0 - t) * 200.0;
                o->pos_y = m3_trunc(o->pos_y - s);
                o->pos_x = m3_trunc(o->pos_x - s);
            }
        }
        o->angle_z = m3_trunc(0.8 * t);
        o->angle_x = m3_trunc(1.1 * t);
        o->angle_y = 80;
    });
}

// A cull that runs out of memory leaves the old depth words; the list is emptied all the same.
void fx_shadow_cull(sc_scene* s)
{
    if (sc_cull(s) != 0)
        fl_reset();
}

// The casters, flat in colour 128, into the 256x256 map seen from the light; the receivers
// take their light-view screen points (24.8, i.e. 8.8 texels of the map) as coordinates.
void fx_shadow_map_pass()
{
    fx_shadow_cull(&fx_shadow_light_scene);
    fx_shadow_each(&fx_shadow_light_scene, [](sc_object* o) {
        if (o->depth == sc_culled)
            return;
        o->mode = rz_flag_flat;
        obj_rotate(o);
        sc_transform_object(&fx_shadow_light_scene, o);
        if (!fx_shadow_is_receiver(o)) {
            fl_add_object(o);
            return;
        }
        std::memcpy(o->uv, o->scr_vertices, sizeof(int32_t) * 2 * static_cast<size_t>(o->vertex_count));
    });
    fl_flush();
}

// Every object the light saw, flattened onto the wall, in colour 1 into the mask. The list
// still holds the map pass's casters, which would only draw the same faces again: it starts
// empty.
void fx_shadow_mask_pass()
{
    fl_reset();
    fx_shadow_each(&fx_shadow_scene, [](sc_object* o) {
        if (o->depth == sc_culled)
            return;
        o->mode = rz_flag_flat;
        obj_rotate(o);
        fx_shadow_project_wall(&fx_shadow_scene, o);
        if (o != fx_shadow_marker)
            fl_add_object(o);
    });
    fl_flush();
}

// The viewer's picture: receivers textured with the map plus gouraud (a shadowed pixel lands
// in the dimmed entries 128..255), casters and marker gouraud.
void fx_shadow_colour_pass()
{
    fx_shadow_cull(&fx_shadow_scene);
    fx_shadow_each(&fx_shadow_scene, [](sc_object* o) {
        if (o->depth == sc_culled)
            return;
        o->mode = fx_shadow_is_receiver(o) ? rz_flag_texture | rz_flag_gouraud : rz_flag_gouraud;
        obj_rotate(o);
        sc_transform_object(&fx_shadow_scene, o);
        fl_add_object(o);
    });
    fl_flush();
}

// Objects over the wall; where none was drawn (index 0), the wall, halved where its shadow
// falls; the palette expanded as pix_expand_palette would. Both work buffers are left zero for
// the next frame. Eight pixels at a time: most groups are all lit wall or all object.
void fx_shadow_compose(uint32_t* dst)
{
    uint32_t pal[256];
    for (int k = 0; k < 256; k++) {
        const uint8_t* e = fx_scene_palette + 3 * k;
        pal[k] = static_cast<uint32_t>(e[0]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[2];
    }
    uint8_t* c = fx_shadow_colour;
    uint8_t* m = fx_shadow_mask;
    const uint32_t* bg = fx_shadow_bg;
    constexpr int group = 8;
    for (int i = 0; i < pix_frame_pixels; i += group) {
        uint64_t cg, mg;
        std::memcpy(&cg, c + i, group);
        std::memcpy(&mg, m + i, group);
        if (mg == 0) {
            std::memcpy(dst + i, bg + i, sizeof(uint32_t) * group);
        } else {
            for (int k = i; k < i + group; k++)
                dst[k] = m[k] == 0 ? bg[k] : (bg[k] >> 1) & 0x7f7f7f7fu;
            std::memset(m + i, 0, group);
        }
        if (cg != 0) {
            for (int k = i; k < i + group; k++)
                if (c[k] != 0)
                    dst[k] = pal[c[k]];
            std::memset(c + i, 0, group);
        }
    }
}

}  // namespace

int fx_shadow_init()
{
    const fx_shadow_media m{emb_3ds_box,       emb_3ds_box_size,       emb_3ds_receivers,
                            emb_3ds_receivers_size, emb_3ds_casters,   emb_3ds_casters_size,
                            emb_pic_shadow_bg, emb_pic_shadow_bg_size, emb_pic_shadow_pal,
                            emb_pic_shadow_pal_size};
    return fx_shadow_init_from(&m);
}

int fx_shadow_init_from(const fx_shadow_media* media)
{
    fx_shadow_free();
    return media ? fx_shadow_build(media) : 1;
}

void fx_shadow_project_wall(sc_scene* scene, sc_object* object)
{
    if (!scene || !object)
        return;
    const int32_t n = object->vertex_count;
    int32_t* v = object->cam_vertices;
    m3_translate_points(n, v, object->pos_x, object->pos_y, object->pos_z);
    const int32_t lx = fx_shadow_light_scene.cam_x, ly = fx_shadow_light_scene.cam_y;
    const int32_t lz = fx_shadow_light_scene.cam_z;
    const double k_top = static_cast<double>(lz) - wall_z;
    for (int32_t i = 0; i < n; i++) {
        int32_t* p = v + 3 * i;
        // along the ray from the light to the wall; a point at or behind the light's depth is
        // taken one unit in front of it
        int64_t gap = static_cast<int64_t>(lz) - p[2];
        if (gap < 1)
            gap = 1;
        const double k = k_top / static_cast<double>(gap);
        p[0] = m3_trunc(k * (static_cast<double>(p[0]) - lx) + lx);
        p[1] = m3_trunc(k * (static_cast<double>(p[1]) - ly) + ly);
    }
    m3_translate_points(n, v, static_cast<int32_t>(0u - static_cast<uint32_t>(scene->cam_x)),
                        static_cast<int32_t>(0u - static_cast<uint32_t>(scene->cam_y)),
                        static_cast<int32_t>(0u - static_cast<uint32_t>(scene->cam_z)));
    // one depth for every point: the wall's distance from the camera; no camera rotation
    double d = 10000.0 + scene->cam_z;
    if (d < 1.0)
        d = 1.0;
    const double w = rz_width, h = rz_height, focal = scene->focal;
    int32_t* s = object->scr_vertices;
    for (int32_t i = 0; i < n; i++) {
        s[2 * i] = m3_trunc(384.0 * w * v[3 * i] / d + 128.0 * w);            // 24.8 screen x
        s[2 * i + 1] = m3_trunc(128.0 * h - 2.0 * h * focal * v[3 * i + 1] / d);  // 24.8 screen y
    }
}

void fx_shadow_render(uint32_t* dst, double t)
{
    if (!fx_shadow_ready || !dst)
        return;
    fx_shadow_light(t);
    std::memset(fx_shadow_plane(), 0, map_bytes);
    rz_target = fx_shadow_plane();
    rz_set_screen(256, 256, 8);
    lt_set_range(shadow_index, 1);
    fx_shadow_motion(t);
    fx_shadow_map_pass();
    rz_set_screen(W, H, 8);
    rz_target = fx_shadow_mask;
    lt_set_range(1, 1);
    fx_shadow_mask_pass();
    rz_target = fx_shadow_colour;
    lt_set_range(1, 127);
    fx_shadow_colour_pass();
    fx_shadow_compose(dst);
}

void fx_shadow_free()
{
    fx_shadow_ready = false;
    // the rasteriser keeps no pointer into what goes now
    if (fx_shadow_map && rz_tex1 == fx_shadow_plane())
        rz_set_texture(nullptr, 1);
    if (fx_shadow_map && rz_tex2 == fx_shadow_plane())
        rz_set_texture(nullptr, 2);
    if (rz_target && (rz_target == fx_shadow_colour || rz_target == fx_shadow_mask ||
                      (fx_shadow_map && rz_target == fx_shadow_plane())))
        rz_target = nullptr;
    tex_free(fx_shadow_map);
    fx_shadow_map = nullptr;
    std::free(fx_shadow_colour);
    std::free(fx_shadow_mask);
    std::free(fx_shadow_bg);
    fx_shadow_colour = fx_shadow_mask = nullptr;
    fx_shadow_bg = nullptr;
    sc_free_objects(&fx_shadow_scene);
    sc_free_objects(&fx_shadow_light_scene);
    sc_release(&fx_shadow_scene);
    sc_release(&fx_shadow_light_scene);
    fx_shadow_marker = nullptr;
}
