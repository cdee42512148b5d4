// Bouncing object.
#include "scenes/fx_bounce.h"
#include "scenes/scenes_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "engine3d/eng_render.h"
#include "engine3d/pal_shade.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/rz.h"
#include "picture/iff.h"
#include "scenes/fx_scene.h"

sc_scene fx_bounce_scene;
sc_object* fx_bounce_bouncer;
uint32_t* fx_bounce_bg[2];
uint8_t* fx_bounce_target;
uint32_t* fx_bounce_frame;
uint8_t fx_bounce_pal_env[pix_palette_bytes];
uint8_t fx_bounce_pal_tex[pix_palette_bytes];
uint8_t fx_bounce_palette[pix_palette_bytes];
tex_buffer fx_bounce_tex_env;
tex_buffer fx_bounce_tex_face;
tex_buffer fx_bounce_tex_back;

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h, pixels = W * H;
constexpr int shown_rows = 155;      // rows of the render laid over the background
constexpr int32_t rest_tick = 539;   // the bouncer rests and the second phase begins
constexpr int32_t levels = 16, step = 4;
constexpr uint32_t mode = rz_flag_double_sided | rz_flag_envmap | rz_flag_texture;   // 140

// Set once init has completed: render draws only then.
bool fx_bounce_ready;

// Both backgrounds, each decoded with its own palette (through fx_scene_palette) and expanded.
bool load_backgrounds(const fx_bounce_media& media)
{
    fx_bounce_bg[0] = static_cast<uint32_t*>(std::malloc(pixels * sizeof(uint32_t)));
    fx_bounce_bg[1] = static_cast<uint32_t*>(std::malloc(pixels * sizeof(uint32_t)));
    uint8_t* indices = static_cast<uint8_t*>(std::malloc(pixels));
    bool ok = fx_bounce_bg[0] && fx_bounce_bg[1] && indices;
    for (int k = 0; k < 2 && ok; k++) {
        std::memset(indices, 0, pixels);   // a smaller picture leaves colour 0 below it
        ok = iff_decode_fit(media.bg[k], media.bg_size[k], indices, pixels, fx_scene_palette) != 0;
        if (ok)
            pix_expand_palette(indices, fx_scene_palette, fx_bounce_bg[k], pixels);
    }
    std::free(indices);
    return ok;
}

// The environment texture, and the reverse and face textures quantised to 16 groups; the face
// texture's palette is the one the shaded palette is built from.
bool load_textures(const fx_bounce_media& media)
{
    fx_bounce_tex_env = tex_from_picture_n(media.env, media.env_size, fx_bounce_pal_env);
    if (!fx_bounce_tex_env)
        return false;
    fx_bounce_tex_back = tex_from_picture_n(media.back, media.back_size, fx_bounce_pal_tex);
    if (!fx_bounce_tex_back)
        return false;
    pal_quantise_texels(fx_bounce_tex_back, levels, step);
    fx_bounce_tex_face = tex_from_picture_n(media.face, media.face_size, fx_bounce_pal_tex);
    if (!fx_bounce_tex_face)
        return false;
    pal_shade_ramp(fx_bounce_pal_env, fx_bounce_pal_tex, fx_scene_palette, levels, step);
    pal_quantise_texels(fx_bounce_tex_face, levels, step);
    std::memcpy(fx_bounce_palette, fx_scene_palette, pix_palette_bytes);
    return true;
}

// Normals where missing, mode 140 with the three textures, x = 890; on the bouncer the texture
// v of vertices 12, 36, ..., 324 goes to 0 (where the object has them).
bool finish_objects()
{
    sc_rewind(&fx_bounce_scene);
    for (sc_object* o = sc_next(&fx_bounce_scene); o; o = sc_next(&fx_bounce_scene)) {
        if (!o->normals && obj_make_normals(o) != 0) {
            sc_rewind(&fx_bounce_scene);
            return false;
        }
        o->mode = mode;
        o->tex_back = fx_bounce_tex_back;
        o->tex_a = fx_bounce_tex_face;
        o->tex_b = fx_bounce_tex_env;
        o->pos_x = 890;
        if (o == fx_bounce_bouncer && o->uv)
            for (int i = 0; i < 14 && 12 + 24 * i < o->vertex_count; i++)
                o->uv[2 * (12 + 24 * i) + 1] = 0;   // 8.8 texel v
    }
    return true;
}

// The bouncer turns on all three axes and stands at the bounce height; the other object waits
// out of sight, then hops and spins.
void move_objects(int32_t t)
{
    const int32_t h = fx_bounce_height(t);
    sc_rewind(&fx_bounce_scene);
    for (sc_object* o = sc_next(&fx_bounce_scene); o; o = sc_next(&fx_bounce_scene)) {
        if (o == fx_bounce_bouncer) {
            const double a = 0.02454369260617026 * t;   // 2 pi / 256 per tick
            o->angle_y = pix_trunc(2.1 * t);                // 1024ths of a turn
            o->angle_z = pix_trunc(23 * std::sin(a));
            o->angle_x = pix_trunc(23 * std::cos(a) + 53);
            o->pos_y = h;
        } else if (t < rest_tick) {
            o->pos_y = 8000;
        } else {
            o->pos_y = pix_trunc(std::fabs(760 * std::sin(0.04908738521234052 * t)) + 1750);   // 2 pi / 128 per tick
            // angles wrap modulo 2^32, a multiple of the turn
            o->angle_y = t;
            o->angle_z = static_cast<int32_t>(3u * static_cast<uint32_t>(t));
        }
    }
}

// The background, with the render's non-zero pixels over its top 155 rows.
void compose(uint32_t* __restrict dst, int32_t t)
{
    const uint32_t* __restrict bg = fx_bounce_bg[t < rest_tick ? 0 : 1];
    const uint8_t* __restrict idx = fx_bounce_target;
    const uint32_t* __restrict px = fx_bounce_frame;
    // a mask rather than a branch: the loop vectorises
    for (int i = 0; i < W * shown_rows; i++) {
        const uint32_t keep = idx[i] != 0 ? ~0u : 0u;
        dst[i] = (px[i] & keep) | (bg[i] & ~keep);
    }
    std::memcpy(dst + W * shown_rows, bg + W * shown_rows, (pixels - W * shown_rows) * sizeof(uint32_t));
}

}  // namespace

int32_t fx_bounce_height(int32_t t)
{
    if (t >= rest_tick)
        return 420;
    // within each bounce of 155 ticks b runs from -77 to 77; q counts the bounces (64 bits:
    // no overflow for the most negative t)
    const int64_t u = static_cast<int64_t>(t) + 77;
    const double q = static_cast<double>(u / 155), b = static_cast<double>(u % 155 - 77);
    // the last factor is 1 / 539: the peaks fall linearly to nothing at the rest tick
    return pix_trunc((7707 - 1.3 * b * b) * (539 - 155 * q) * 0.0018552875695732839 + 420);
}

int fx_bounce_init()
{
    const fx_bounce_media embedded = {
        emb_3ds_bouncer, emb_3ds_bouncer_size, emb_3ds_flyers, emb_3ds_flyers_size,
        {emb_pic_bounce_bg1, emb_pic_bounce_bg2}, {emb_pic_bounce_bg1_size, emb_pic_bounce_bg2_size},
        emb_pic_lattice_tex, emb_pic_lattice_tex_size, emb_pic_bounce_tex0, emb_pic_bounce_tex0_size,
        emb_pic_bounce_tex1, emb_pic_bounce_tex1_size};
    return fx_bounce_init_from(embedded);
}

int fx_bounce_init_from(const fx_bounce_media& media)
{
    fx_bounce_free();
    if (sc_init(&fx_bounce_scene) != 0)
        return -1;
    fx_bounce_scene.cam_z = 16000;
    fx_bounce_scene.target_y = 1000;
    rz_set_screen(W, H, 8);
    if (ld_3ds_meshes_mem_n(media.bouncer, media.bouncer_size, &fx_bounce_scene) != 0)
        return -1;
    sc_rewind(&fx_bounce_scene);
    fx_bounce_bouncer = sc_next(&fx_bounce_scene);
    sc_rewind(&fx_bounce_scene);
    if (!fx_bounce_bouncer ||
        ld_3ds_meshes_mem_n(media.flyers, media.flyers_size, &fx_bounce_scene) != 0)
        return -1;
    if (!load_backgrounds(media) || !load_textures(media) || !finish_objects())
        return -1;
    fx_bounce_target = static_cast<uint8_t*>(std::calloc(pixels, 1));
    fx_bounce_frame = static_cast<uint32_t*>(std::malloc(pixels * sizeof(uint32_t)));
    if (!fx_bounce_target || !fx_bounce_frame)
        return -1;
    rz_target = fx_bounce_target;
    fx_bounce_ready = true;
    return 0;
}

void fx_bounce_render(uint32_t* dst, int32_t t)
{
    if (!fx_scene_begin(dst, fx_bounce_ready, fx_bounce_target))
        return;
    move_objects(t);
    std::memset(fx_bounce_target, 0, pixels);
    sc_render(&fx_bounce_scene);
    pix_expand_palette(fx_bounce_target, fx_bounce_palette, fx_bounce_frame, pixels);
    compose(dst, t);
}

void fx_bounce_free()
{
    fx_bounce_ready = false;
    if (rz_target != nullptr && rz_target == fx_bounce_target)
        rz_target = nullptr;   // no drawing into the freed target
    sc_free_objects(&fx_bounce_scene);
    sc_release(&fx_bounce_scene);
    fx_bounce_bouncer = nullptr;
    std::free(fx_bounce_bg[0]);
    std::free(fx_bounce_bg[1]);
    std::free(fx_bounce_target);
    std::free(fx_bounce_frame);
    fx_bounce_bg[0] = fx_bounce_bg[1] = nullptr;
    fx_bounce_target = nullptr;
    fx_bounce_frame = nullptr;
    tex_free(fx_bounce_tex_env);
    tex_free(fx_bounce_tex_back);
    tex_free(fx_bounce_tex_face);
    fx_bounce_tex_env = fx_bounce_tex_back = fx_bounce_tex_face = nullptr;
}
