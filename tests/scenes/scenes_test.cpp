// The 3D scenes: each through its life with the show's assets (drawn, moving, the same frame for
// the same time, inside its buffers, nothing left on the heap) and with each asset broken (refused,
// nothing drawn); then the exact rules a look at the frame cannot check.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "assets/emb.h"
#include "engine3d/sc_transform.h"
#include "scenes/fx_bounce.h"
#include "scenes/fx_lattice.h"
#include "scenes/fx_orbit.h"
#include "scenes/fx_scene.h"
#include "scenes/fx_shadow.h"
#include "scenes/fx_shatter.h"
#include "scenes/scenes_internal.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/picture/pic_build.h"

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h, N = pix_frame_pixels;

// The shattering screen's source: a picture of stripes.
const std::vector<uint32_t> stripes = [] {
    std::vector<uint32_t> s(N);
    for (int i = 0; i < N; i++) s[i] = (i / 7) % 3 ? 0x3080c0u : 0xf0e0d0u;
    return s;
}();

// An asset of the show: bytes and size, replaced one at a time through its place in `Media`.
struct Asset { const uint8_t** data; uint32_t* size; };

fx_orbit_media orbit_media = {emb_3ds_orbit, emb_3ds_orbit_size, emb_pic_orbit_tex, emb_pic_orbit_tex_size,
                              emb_pic_orbit_border, emb_pic_orbit_border_size, emb_anim_orbit, emb_anim_orbit_size};
fx_shadow_media shadow_media = {emb_3ds_box, emb_3ds_box_size, emb_3ds_receivers, emb_3ds_receivers_size,
                                emb_3ds_casters, emb_3ds_casters_size, emb_pic_shadow_bg, emb_pic_shadow_bg_size,
                                emb_pic_shadow_pal, emb_pic_shadow_pal_size};
fx_bounce_media bounce_media = {emb_3ds_bouncer, emb_3ds_bouncer_size, emb_3ds_flyers, emb_3ds_flyers_size,
                                {emb_pic_bounce_bg1, emb_pic_bounce_bg2}, {emb_pic_bounce_bg1_size, emb_pic_bounce_bg2_size},
                                emb_pic_lattice_tex, emb_pic_lattice_tex_size, emb_pic_bounce_tex0,
                                emb_pic_bounce_tex0_size, emb_pic_bounce_tex1, emb_pic_bounce_tex1_size};
fx_lattice_media lattice_media = {emb_3ds_lattice, emb_3ds_lattice_size, emb_3ds_box, emb_3ds_box_size,
                                  emb_pic_lattice_overlay, emb_pic_lattice_overlay_size, emb_pic_lattice_tex,
                                  emb_pic_lattice_tex_size};

struct Scene {
    const char* name;
    int (*init)();                       // with the assets in the media record below
    void (*render)(uint32_t* dst, int32_t t);
    void (*free)();
    std::vector<Asset> assets;           // the orbit's animation is read per frame, not at init
    int refused;                         // init's result for an asset it cannot use
};

const Scene scenes[] = {
    {"orbit", [] { return fx_orbit_init_from(&orbit_media); }, fx_orbit_render, fx_orbit_free,
     {{&orbit_media.scene, &orbit_media.scene_size}, {&orbit_media.tex, &orbit_media.tex_size},
      {&orbit_media.border, &orbit_media.border_size}}, 1},
    {"shadow", [] { return fx_shadow_init_from(&shadow_media); },
     [](uint32_t* d, int32_t t) { fx_shadow_render(d, t); }, fx_shadow_free,
     {{&shadow_media.box, &shadow_media.box_size}, {&shadow_media.receivers, &shadow_media.receivers_size},
      {&shadow_media.casters, &shadow_media.casters_size}, {&shadow_media.bg, &shadow_media.bg_size},
      {&shadow_media.pal, &shadow_media.pal_size}}, 1},
    {"bounce", [] { return fx_bounce_init_from(bounce_media); }, fx_bounce_render, fx_bounce_free,
     {{&bounce_media.bouncer, &bounce_media.bouncer_size}, {&bounce_media.flyers, &bounce_media.flyers_size},
      {&bounce_media.bg[0], &bounce_media.bg_size[0]}, {&bounce_media.bg[1], &bounce_media.bg_size[1]},
      {&bounce_media.env, &bounce_media.env_size}, {&bounce_media.face, &bounce_media.face_size},
      {&bounce_media.back, &bounce_media.back_size}}, -1},
    {"lattice", [] { return fx_lattice_init_from(lattice_media); }, fx_lattice_render, fx_lattice_free,
     {{&lattice_media.scene, &lattice_media.scene_size}, {&lattice_media.box, &lattice_media.box_size},
      {&lattice_media.overlay, &lattice_media.overlay_size}, {&lattice_media.texture, &lattice_media.texture_size}}, -1},
    {"shatter", fx_shatter_init, [](uint32_t* d, int32_t t) { fx_shatter_render(d, stripes.data(), t); },
     fx_shatter_free, {}, 0},
};

int lit(const std::vector<uint32_t>& f) { return int(std::count_if(f.begin(), f.end(), [](uint32_t p) { return p & 0xffffff; })); }

class Scenes : public testing::TestWithParam<Scene> {};

TEST_P(Scenes, InitRenderFree)
{
    const Scene& s = GetParam();
    const int32_t live = sc_live_scenes;
    ASSERT_EQ(s.init(), 0);
    std::vector<uint32_t> last;
    for (int32_t t : {0, 90, 300, 600}) {
        std::vector<uint32_t> f(N, 0), again(N, 0);
        s.render(f.data(), t);
        EXPECT_GT(lit(f), N / 8) << "t " << t;
        EXPECT_NE(f, last) << "t " << t << " shows the frame before";
        s.render(again.data(), t);
        EXPECT_EQ(f, again) << "the frame follows from t alone, t " << t;
        last = f;
    }
    // another screen set in between, and odd times, stay inside the buffers
    rz_set_screen(640, 480, 8);
    std::vector<uint32_t> f(N);
    for (int32_t t : {-1, 100000, INT32_MAX, INT32_MIN}) s.render(f.data(), t);
    s.free();
    EXPECT_TRUE(rz_target == nullptr || rz_target == f.data()) << "the rasteriser keeps no freed target";
    s.free();
    EXPECT_EQ(sc_live_scenes, live);
    const size_t held = mallinfo2().uordblks + mallinfo2().hblkhd;   // 0 under the sanitizers
    ASSERT_EQ(s.init(), 0);
    ASSERT_EQ(s.init(), 0) << "a second init releases the first";
    s.render(f.data(), 5);
    s.free();
    EXPECT_EQ(sc_live_scenes, live);
    EXPECT_LT(mallinfo2().uordblks + mallinfo2().hblkhd, held + 4096) << "init, render and free leak";
}

TEST_P(Scenes, BrokenAssetsRefusedAndNothingDrawn)
{
    const Scene& s = GetParam();
    const int32_t live = sc_live_scenes;
    const std::vector<uint8_t> other(emb_anim_curtain, emb_anim_curtain + 3000);
    for (size_t k = 0; k < s.assets.size(); k++) {
        const uint8_t* data = *s.assets[k].data;
        const uint32_t size = *s.assets[k].size;
        for (const auto& [d, n] : {std::pair{data, size / 2}, {other.data(), uint32_t(other.size())}}) {
            SCOPED_TRACE(testing::Message() << "asset " << k << (d == data ? " cut short" : " of another kind"));
            *s.assets[k].data = d;
            *s.assets[k].size = n;
            EXPECT_EQ(s.init(), s.refused);
            std::vector<uint32_t> f(N, 0x123456);
            s.render(f.data(), 100);
            for (int i = 0; i < N; i++) ASSERT_TRUE(f[i] == 0x123456u || f[i] == 0) << i;
            s.free();
            s.free();
            EXPECT_EQ(sc_live_scenes, live);
            *s.assets[k].data = data;
            *s.assets[k].size = size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, Scenes, testing::ValuesIn(scenes),
                         [](const testing::TestParamInfo<Scene>& i) { return std::string(i.param.name); });

template <class F> pic::bytes picture(F at, uint32_t (*colour)(int)) { return pic::pbm(W, H, at, colour); }
pic::bytes plain(uint32_t colour) { return pic::pbm(W, H, [](int, int) { return 1; }, [=](int) { return colour; }); }

// The height: top of the first arc; touching down between arcs (just below 420); the smallest
// arc cut at 538; rest from 539. The render: only rows 0..154 over the background of its phase.
TEST(Bounce, HeightAndRender)
{
    const int32_t cases[][2] = {{0, 8127}, {78, 419}, {155, 5910}, {538, 526}, {539, 420}, {100000, 420}};
    for (const auto& c : cases) EXPECT_EQ(fx_bounce_height(c[0]), c[1]) << "t " << c[0];
    const auto bg1 = plain(0x102030u), bg2 = plain(0x405060u);
    fx_bounce_media m = {emb_3ds_bouncer, emb_3ds_bouncer_size, emb_3ds_flyers, emb_3ds_flyers_size,
                         {bg1.data(), bg2.data()}, {uint32_t(bg1.size()), uint32_t(bg2.size())}, emb_pic_lattice_tex,
                         emb_pic_lattice_tex_size, emb_pic_bounce_tex0, emb_pic_bounce_tex0_size, emb_pic_bounce_tex1,
                         emb_pic_bounce_tex1_size};
    ASSERT_EQ(fx_bounce_init_from(m), 0);
    std::vector<uint32_t> f(N);
    for (int32_t t : {70, 538, 539, 700}) {
        fx_bounce_render(f.data(), t);
        const uint32_t bg = t <= 538 ? 0x102030u : 0x405060u;
        for (int i = 155 * W; i < N; i++) ASSERT_EQ(f[i], bg) << "t " << t << " pixel " << i;
        EXPECT_GT(std::count_if(f.begin(), f.end(), [&](uint32_t p) { return p != bg; }), 500) << "t " << t;
    }
    fx_bounce_free();
}

// Border: index 0 and index 5 are black (holes), every other index 0x000100 x index + 0x40.
uint32_t border_colour(int i) { return i == 0 || i == 5 ? 0u : 0x000100u * static_cast<uint32_t>(i) + 0x40u; }
int border_index(int y, int x)
{
    switch (y) {
    case 1: return 7;                      // rows 0..2 never take the border
    case 5: return x ? 7 : 0;              // column 0 a hole: nothing from the left
    case 10: return x == 10 ? 5 : 8;       // a black colour that is not index 0 stops the row too
    case 100: return x >= 300 ? 9 : 0;     // right side above row 200: never copied
    case 210: return x <= 4 ? 10 : x >= 315 ? 11 : 0;
    case 220: return 12;                   // no hole: the whole row
    default: return 0;
    }
}

TEST(Orbit, BackgroundFrameBorderAndDepthMask)
{
    // one mesh "Tiny" of a single triangle a tenth of a unit wide: its eleven objects cover at
    // most a pixel each
    const ld_bytes scene = ld_main(ld_editor(ld_object(
        "Tiny", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 0.01f, 0, 0, 0, 0.01f, 0}), ld_face_list({0, 1, 2, 0})})))));
    const auto border = picture(border_index, border_colour);
    const auto anim = pic::plain_anim(51);
    const fx_orbit_media m = {scene.data(),  uint32_t(scene.size()),  emb_pic_orbit_tex, emb_pic_orbit_tex_size,
                              border.data(), uint32_t(border.size()), anim.data(),       uint32_t(anim.size())};
    EXPECT_EQ(fx_orbit_init_from(nullptr), 1);
    ASSERT_EQ(fx_orbit_init_from(&m), 0);
    std::vector<uint32_t> dst(N, 0x123456u);
    const int32_t times[][2] = {{152, 50}, {153, 0}, {3, 1}, {-3, 50}, {0, 0}};   // frame (t / 3) mod 51
    for (const auto& tf : times) {
        fx_orbit_render(dst.data(), tf[0]);
        EXPECT_EQ(dst[50 * W + 5], pic::plain_colour(tf[1])) << tf[0];
    }
    const uint32_t bg = pic::plain_colour(0);
    const uint32_t table[][3] = {{0, 100, 0},   {238, 100, 0},  {239, 0, 0},    {1, 0, 0x123456}, {1, 5, bg},
                                 {5, 0, 0x123456}, {5, 1, bg},   {10, 9, border_colour(8)}, {10, 10, bg},
                                 {10, 11, bg},  {100, 319, bg}, {210, 4, border_colour(10)}, {210, 5, bg},
                                 {210, 315, border_colour(11)}, {210, 314, bg}, {220, 0, border_colour(12)},
                                 {220, 319, border_colour(12)}};   // y, x -> pixel
    for (const auto& e : table) EXPECT_EQ(dst[e[0] * W + e[1]], e[2]) << e[0] << "," << e[1];
    // the depth mask: coloured background at distance 40000, black free for everything
    ASSERT_TRUE(rz_zbuf && rz_zbuf[7] == 0xffffffffu && rz_zbuf[50 * W + 5] == 0x9c4000u);
    fx_orbit_free();
}

TEST(Lattice, CameraLoopsEvery3000TicksAndOverlayLaysFromTheRightUpToItsFirstGap)
{
    // overlay rows: 10 starts with a gap at column 319, 30 has one at 299, 20 none
    auto at = [](int y, int x) { return y == 10 ? (x == 319 ? 0 : 5) : y == 30 ? (x == 299 ? 0 : 5) : y == 20 ? 5 : 0; };
    const auto overlay = picture(at, [](int i) { return i == 5 ? 0xfe01fdu : 0u; });
    const fx_lattice_media m = {emb_3ds_lattice, emb_3ds_lattice_size, emb_3ds_box, emb_3ds_box_size,
                                overlay.data(),  uint32_t(overlay.size()), emb_pic_lattice_tex, emb_pic_lattice_tex_size};
    ASSERT_EQ(fx_lattice_init_from(m), 0);
    std::vector<uint32_t> a(N), b(N);
    fx_lattice_render(a.data(), 40);
    fx_lattice_render(b.data(), 3040);
    EXPECT_EQ(a, b);
    for (int x = 0; x < W; x++) {
        EXPECT_NE(a[10 * W + x], 0xfe01fdu) << x;
        EXPECT_EQ(a[20 * W + x] == 0xfe01fdu, x >= 1) << x;
        EXPECT_EQ(a[30 * W + x] == 0xfe01fdu, x >= 300) << x;
    }
    fx_lattice_free();
}

TEST(Shatter, FanPhasesAndTheWholePictureAtTimeZero)
{
    ASSERT_EQ(fx_shatter_init(), 0);
    rz_vertex v[3];
    // t = 0: in place; border point 128 + j of the right edge at (319, 239 j / 127)
    fx_shatter_triangle(128, 0, v);
    EXPECT_TRUE(v[0].x == 319 << 8 && v[1].y == 1 << 8 && v[2].x == 160 << 8);
    // phase 1 halfway (t = 512): every border point on the circle of radius 110, so (0, 0) moved
    // halfway to (160 - 110, 120); phase 3 starts with the centre at x 160, leaves the screen
    // first at t = 2087
    fx_shatter_triangle(0, 512, v);
    EXPECT_TRUE(v[0].x >> 8 == 25 && v[0].y >> 8 == 60);
    for (int32_t t : {1024, 2086, 2087}) {
        fx_shatter_triangle(0, t, v);
        EXPECT_TRUE(t == 1024 ? v[2].x == 160 << 8 : (v[2].x < 0) == (t == 2087)) << t;
    }
    // the picture drawn whole at t = 0 (the bottom row of a polygon's box is not drawn)
    std::vector<uint32_t> src(N, 0x123456u), dst(N, 0xff000000u);
    fx_shatter_render(dst.data(), src.data(), 0);
    for (int i = 0; i < (H - 1) * W; i++) ASSERT_EQ(dst[i], 0x123456u) << i;
    fx_shatter_free();
}

TEST(Shadow, DimmedPaletteWallProjectionAndFreeLeavesOtherTargets)
{
    EXPECT_EQ(fx_shadow_init_from(nullptr), 1);
    ASSERT_EQ(fx_shadow_init(), 0);
    for (int i = 0; i < 384; i++) ASSERT_EQ(fx_scene_palette[384 + i], fx_scene_palette[i] / 3) << i;   // in shadow
    // one triangle at the origin of object space, the object at world (1000, 500, 40000), the
    // light at (0, 0, 80000): k = 90000 / 40000 = 2.25; camera space (2250, 1125, -34000),
    // depth 84000
    sc_object* o = obj_alloc(3, 1, 0);
    ASSERT_NE(o, nullptr);
    const int32_t verts[9] = {0, 0, 0, 100, 0, 0, 0, 200, 79990}, face[4] = {0, 1, 2, -1};
    std::memcpy(o->vertices, verts, sizeof verts);
    std::memcpy(o->faces, face, sizeof face);
    ASSERT_EQ(obj_finish(o), 0);
    o->pos_x = 1000, o->pos_y = 500, o->pos_z = 40000;
    fx_shadow_light_scene.cam_x = fx_shadow_light_scene.cam_y = 0;
    fx_shadow_light_scene.cam_z = 80000;
    obj_rotate(o);
    fx_shadow_project_wall(&fx_shadow_scene, o);
    // a point beyond the light's depth is taken one unit in front of it: k = 90000
    const int32_t *c = o->cam_vertices, *sv = o->scr_vertices;
    EXPECT_EQ(std::vector<int32_t>({c[0], c[1], c[2], c[3], c[6], c[7], sv[0], sv[1]}),
              std::vector<int32_t>({2250, 1125, -34000, 2475, 90000 * 1000, 90000 * 700, 44251, 29074}));
    obj_free(o);
    // free clears the rasteriser's pointers into its own buffers, and only those
    std::vector<uint8_t> mine(N);
    rz_target = mine.data();
    fx_shadow_free();
    EXPECT_EQ(rz_target, mine.data());
}

}  // namespace
