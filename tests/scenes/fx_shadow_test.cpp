#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "assets/emb.h"
#include "engine3d/fl_face_list.h"
#include "engine3d/lt_light.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "engine3d/sc_transform.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "scenes/fx_scene.h"
#include "scenes/fx_shadow.h"

namespace {

constexpr int W = 320, H = 240, N = W * H;

fx_shadow_media embedded()
{
    return {emb_3ds_box,       emb_3ds_box_size,       emb_3ds_receivers,  emb_3ds_receivers_size, emb_3ds_casters,
            emb_3ds_casters_size, emb_pic_shadow_bg, emb_pic_shadow_bg_size, emb_pic_shadow_pal, emb_pic_shadow_pal_size};
}

std::vector<sc_object*> objects(sc_scene* s)
{
    std::vector<sc_object*> v;
    for (sc_node* n = s->head ? *s->head : nullptr; n; n = n->next) v.push_back(n->object);
    return v;
}

struct Shadow : ::testing::Test {
    void SetUp() override { ASSERT_EQ(fx_shadow_init(), 0); }
    void TearDown() override { fx_shadow_free(); }
};

TEST_F(Shadow, InitSetsRolesPaletteAndBuffers)
{
    const auto all = objects(&fx_shadow_scene), lit = objects(&fx_shadow_light_scene);
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(fx_shadow_marker, all[0]);
    EXPECT_STREQ(all[0]->name, "Object01");
    // the light's scene: every object but the marker, in the same order
    ASSERT_EQ(lit.size(), all.size() - 1);
    for (size_t k = 1; k < all.size(); k++) EXPECT_EQ(lit[k - 1], all[k]);
    int receivers = 0, casters = 0;
    for (sc_object* o : all) {
        EXPECT_EQ(o->tex_a, fx_shadow_map + fx_shadow_map_offset);
        EXPECT_EQ(o->pos_y, -2000);
        receivers += o->name[0] == '$';
        casters += o != fx_shadow_marker && o->name[0] != '$';
    }
    EXPECT_EQ(receivers + 10 * casters, 11);  // "Object03" marked, "piikkipall" with 9 bytes kept
    EXPECT_STREQ(all[1]->name, "$bject03");
    EXPECT_STREQ(all[2]->name, "piikkipal");
    EXPECT_EQ(fx_shadow_scene.cam_z, 74000);
    // palette: 0..127 from the palette picture, 128 + i its thirds
    std::vector<uint8_t> idx(N);
    uint8_t pal[768];
    ASSERT_EQ(iff_decode_n(emb_pic_shadow_pal, emb_pic_shadow_pal_size, nullptr, nullptr), -1);
    ASSERT_EQ(iff_decode_n(emb_pic_shadow_pal, emb_pic_shadow_pal_size, idx.data(), pal), -1);
    for (int i = 0; i < 384; i++)
        ASSERT_TRUE(fx_scene_palette[i] == pal[i] && fx_scene_palette[384 + i] == pal[i] / 3) << i;
    // the wall: expanded through its own palette, first row black
    uint8_t bpal[768];
    ASSERT_EQ(iff_decode_n(emb_pic_shadow_bg, emb_pic_shadow_bg_size, idx.data(), bpal), -1);
    std::vector<uint32_t> bg(N);
    pix_expand_palette(idx.data(), bpal, bg.data(), N);
    for (int i = 0; i < W; i++) ASSERT_EQ(fx_shadow_bg[i], 0u) << i;
    for (int i = W; i < N; i++) ASSERT_EQ(fx_shadow_bg[i], bg[i]) << i;
    // map area and buffers zero, rasteriser left at the colour pass
    for (int i = 0; i < 3 * tex_area_texels; i++) ASSERT_EQ(fx_shadow_map[i], 0) << i;
    for (int i = 0; i < N; i++) ASSERT_EQ(fx_shadow_colour[i] | fx_shadow_mask[i], 0) << i;
    EXPECT_EQ(rz_target, fx_shadow_colour);
}

TEST_F(Shadow, MotionOfLightReceiversAndCasters)
{
    std::vector<uint32_t> dst(N);
    const auto all = objects(&fx_shadow_scene);
    sc_object* receiver = all[1];
    sc_object* caster = all[2];
    // t = 0: light (13000, 21000, 80000); receivers slid up to 48800; casters shifted by 51000
    fx_shadow_render(dst.data(), 0);
    EXPECT_EQ(fx_shadow_marker->pos_x, 13000);
    EXPECT_EQ(fx_shadow_marker->pos_y, 21000);
    EXPECT_EQ(fx_shadow_marker->pos_z, 80000);
    EXPECT_EQ(fx_shadow_light_scene.cam_x, 13000);
    EXPECT_EQ(fx_shadow_light_scene.cam_z, 80000);
    EXPECT_EQ(lt_light[0], 13000);
    EXPECT_EQ(receiver->pos_y, 48800);
    EXPECT_EQ(receiver->pos_z, 1000);
    EXPECT_EQ(caster->pos_x, 7600 - 51000);
    EXPECT_EQ(caster->pos_y, 5800 - 51000);
    EXPECT_EQ(caster->pos_z, 37000);
    // the ends of the entry moves: receivers slide until 128, casters shift until 255
    struct { double t; int32_t receiver_y; bool shifted; } table[] = {
        {1, 48400, true}, {127, -2000, true}, {255, -2000, false}, {1000.5, -2000, false}};
    for (const auto& e : table) {
        const double t = e.t;
        fx_shadow_render(dst.data(), t);
        EXPECT_EQ(receiver->pos_y, e.receiver_y) << t;
        const int32_t x = static_cast<int32_t>(1600 * std::cos(0.02026833970057931 * t) + 6000);
        EXPECT_EQ(caster->pos_x, e.shifted ? static_cast<int32_t>(x - (255 - t) * 200) : x) << t;
        EXPECT_EQ(caster->angle_y, 80) << t;
    }
    // the modes of the last pass, and the rasteriser as the render leaves it
    EXPECT_EQ(receiver->mode, 6u);
    EXPECT_EQ(caster->mode, 2u);
    EXPECT_EQ(rz_target, fx_shadow_colour);
}

TEST_F(Shadow, WallProjectionFromTheLight)
{
    // one triangle at the origin of object space, the object at world (1000, 500, 40000)
    sc_object* o = obj_alloc(3, 1, 0);
    ASSERT_NE(o, nullptr);
    const int32_t verts[9] = {0, 0, 0, 100, 0, 0, 0, 200, 79990};
    std::memcpy(o->vertices, verts, sizeof verts);
    const int32_t face[4] = {0, 1, 2, -1};
    std::memcpy(o->faces, face, sizeof face);
    ASSERT_EQ(obj_finish(o), 0);
    o->pos_x = 1000;
    o->pos_y = 500;
    o->pos_z = 40000;
    fx_shadow_light_scene.cam_x = 0;
    fx_shadow_light_scene.cam_y = 0;
    fx_shadow_light_scene.cam_z = 80000;
    obj_rotate(o);
    fx_shadow_project_wall(&fx_shadow_scene, o);
    // k = 90000 / 40000 = 2.25; camera space (2250, 1125, 40000 - 74000); depth 84000
    EXPECT_EQ(o->cam_vertices[0], 2250);
    EXPECT_EQ(o->cam_vertices[1], 1125);
    EXPECT_EQ(o->cam_vertices[2], -34000);
    EXPECT_EQ(o->scr_vertices[0], 44251);
    EXPECT_EQ(o->scr_vertices[1], 29074);
    // (1100, 500, 40000): x = 2.25 x 1100 = 2475
    EXPECT_EQ(o->cam_vertices[3], 2475);
    // a point beyond the light's depth (z 119990 >= 80000) is taken one unit in front: k = 90000
    EXPECT_EQ(o->cam_vertices[6], static_cast<int32_t>(90000.0 * 1000));
    EXPECT_EQ(o->cam_vertices[7], static_cast<int32_t>(90000.0 * 700));
    EXPECT_EQ(o->cam_vertices[8], 119990 - 74000);
    obj_free(o);
}

// Pixels by what they show: the wall, the wall halved, or an object colour of the palette.
struct Census {
    int wall = 0, shadowed_wall = 0, lit = 0, dimmed = 0, other = 0;
};

Census census(const std::vector<uint32_t>& f)
{
    std::set<uint32_t> lit, dim;
    for (int c = 1; c < 128; c++) lit.insert(uint32_t(fx_scene_palette[3 * c]) << 16 | fx_scene_palette[3 * c + 1] << 8 | fx_scene_palette[3 * c + 2]);
    for (int c = 129; c < 256; c++) dim.insert(uint32_t(fx_scene_palette[3 * c]) << 16 | fx_scene_palette[3 * c + 1] << 8 | fx_scene_palette[3 * c + 2]);
    Census s;
    for (int i = W; i < N; i++) {
        const uint32_t bg = fx_shadow_bg[i];
        if (f[i] == bg) s.wall++;
        else if (f[i] == ((bg >> 1) & 0x7f7f7f)) s.shadowed_wall++;
        else if (lit.count(f[i])) s.lit++;
        else if (dim.count(f[i])) s.dimmed++;
        else s.other++;
    }
    return s;
}

TEST_F(Shadow, FramesShowWallShadowAndShadowedReceivers)
{
    std::vector<uint32_t> f(N, 0xdeadbeef), g(N);
    fx_shadow_render(f.data(), 900);
    // the map holds only lit (0) and shadow (128) texels; the casters cover some of it; the
    // bytes round the map stay 0
    int shadow_texels = 0;
    for (int i = 0; i < 3 * tex_area_texels; i++) {
        const uint8_t v = fx_shadow_map[i];
        const bool in_map = i >= fx_shadow_map_offset && i < fx_shadow_map_offset + 65536;
        ASSERT_TRUE(v == 0 || (in_map && v == 128)) << i;
        shadow_texels += v == 128;
    }
    EXPECT_GT(shadow_texels, 1000);
    const Census s = census(f);
    EXPECT_GT(s.wall, 10000);
    EXPECT_GT(s.shadowed_wall, 1000);
    EXPECT_GT(s.lit, 10000);
    EXPECT_GT(s.dimmed, 200);  // receivers in the casters' shadow
    EXPECT_EQ(s.other, 0);
    for (int i = 0; i < W; i++) EXPECT_EQ(f[i] >> 24, 0u);
    // the work buffers are empty again, frames depend on t alone and change with it
    for (int i = 0; i < N; i++) ASSERT_EQ(fx_shadow_colour[i] | fx_shadow_mask[i], 0) << i;
    fx_shadow_render(g.data(), 901);
    EXPECT_NE(f, g);
    fx_shadow_render(g.data(), 900);
    EXPECT_EQ(f, g);
    // odd times stay inside the buffers
    for (double t : {-1e9, -1.0, 1e12, 1e300, -1e300, std::nan("")}) fx_shadow_render(g.data(), t);
}

TEST(ShadowLife, FailuresAndCyclesLeaveNothing)
{
    const int live = sc_live_scenes;
    std::vector<uint32_t> f(N, 0x123456);
    const uint8_t junk[32] = {0x4d, 0x4d, 0xff};
    for (int which = 0; which < 5; which++) {
        fx_shadow_media m = embedded();
        const uint8_t** p[] = {&m.box, &m.receivers, &m.casters, &m.bg, &m.pal};
        uint32_t* n[] = {&m.box_size, &m.receivers_size, &m.casters_size, &m.bg_size, &m.pal_size};
        *p[which] = junk;
        *n[which] = sizeof junk;
        EXPECT_EQ(fx_shadow_init_from(&m), 1) << which;
        fx_shadow_render(f.data(), 10);
        EXPECT_EQ(f[5000], 0x123456u) << which;  // nothing drawn
        fx_shadow_free();
        fx_shadow_free();
        EXPECT_EQ(sc_live_scenes, live) << which;
    }
    for (int cycle = 0; cycle < 2; cycle++) {
        ASSERT_EQ(fx_shadow_init(), 0);
        ASSERT_EQ(fx_shadow_init(), 0);  // a second init frees the first
        fx_shadow_render(f.data(), 50.0 * cycle);
        fx_shadow_free();
        EXPECT_EQ(sc_live_scenes, live);
        EXPECT_EQ(rz_target, nullptr);
        EXPECT_EQ(rz_tex1, nullptr);
    }
}

}  // namespace
