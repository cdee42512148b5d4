#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "assets/emb.h"
#include "engine3d/m3_view.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "picture/iff.h"
#include "scenes/fx_orbit.h"
#include "scenes/fx_scene.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/fx/fx_test_media.h"

namespace {

constexpr int W = 320, H = 240, N = W * H;

fx_orbit_media embedded()
{
    return {emb_3ds_orbit,        emb_3ds_orbit_size,        emb_pic_orbit_tex, emb_pic_orbit_tex_size,
            emb_pic_orbit_border, emb_pic_orbit_border_size, emb_anim_orbit,    emb_anim_orbit_size};
}

// One mesh "Tiny" of a single triangle a tenth of a unit wide: its eleven objects cover at
// most a pixel each.
ld_bytes tiny_scene()
{
    const ld_bytes mesh = ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 0.01f, 0, 0, 0, 0.01f, 0}), ld_face_list({0, 1, 2, 0})}));
    return ld_main(ld_editor(ld_object("Tiny", mesh)));
}

// Border: index 0 and index 5 are black (holes), every other index 0x000100 x index + 0x40.
uint32_t border_colour(int i) { return i == 0 || i == 5 ? 0u : 0x000100u * static_cast<uint32_t>(i) + 0x40u; }

std::vector<uint8_t> border_indices()
{
    std::vector<uint8_t> b(N, 0);
    auto row = [&](int y, int x0, int x1, uint8_t v) {
        for (int x = x0; x <= x1; x++) b[y * W + x] = v;
    };
    row(1, 0, W - 1, 7);        // rows 0..2 never take the border
    row(5, 1, W - 1, 7);        // column 0 a hole: nothing from the left
    row(10, 0, W - 1, 8);
    b[10 * W + 10] = 5;         // a black colour that is not index 0 stops the row too
    row(100, 300, W - 1, 9);    // right side above row 200: never copied
    row(210, 0, 4, 10);
    row(210, 315, W - 1, 11);   // both ends copied up to the hole between them
    row(220, 0, W - 1, 12);     // no hole: the whole row
    return b;
}

struct OrbitMedia : ::testing::Test {
    ld_bytes scene = tiny_scene();
    std::vector<uint8_t> border = fxt::make_pbm(W, H, border_indices(), fxt::make_palette(border_colour));
    std::vector<uint8_t> anim = fxt::make_anim(51);
    fx_orbit_media media{};
    std::vector<uint32_t> dst = std::vector<uint32_t>(N, 0x123456u);

    void SetUp() override
    {
        media = embedded();
        media.scene = scene.data();
        media.scene_size = static_cast<uint32_t>(scene.size());
        media.border = border.data();
        media.border_size = static_cast<uint32_t>(border.size());
        media.anim = anim.data();
        media.anim_size = static_cast<uint32_t>(anim.size());
    }
    void TearDown() override { fx_orbit_free(); }
};

// The test animation's frame k has colour (k << 16) | (k + 1) everywhere it draws.
uint32_t anim_colour(int k) { return static_cast<uint32_t>(k) << 16 | static_cast<uint32_t>(k + 1); }

TEST_F(OrbitMedia, BackgroundFrameBorderAndDepthMask)
{
    ASSERT_EQ(fx_orbit_init_from(&media), 0);
    EXPECT_EQ(fx_orbit_scene.count, 11);  // one mesh and ten clones
    // frame (t / 3) mod 51: t = 152 is frame 50, t = 153 frame 0 again, t = 3 frame 1
    const int32_t times[][2] = {{152, 50}, {153, 0}, {3, 1}, {0, 0}};
    for (const auto& tf : times) {
        fx_orbit_render(dst.data(), tf[0]);
        EXPECT_EQ(dst[50 * W + 5], anim_colour(tf[1])) << tf[0];
        EXPECT_EQ(dst[239 * W + 300], 0u) << tf[0];
    }
    // rows 0, 238, 239 cleared, then the border from the left (rows 3..239) and from the right
    // (rows 200..239) up to the first black pixel
    const uint32_t bg = anim_colour(0);
    struct { int y, x; uint32_t want; } table[] = {
        {0, 100, 0},      {238, 100, 0},    {239, 0, 0},
        {1, 0, 0x123456}, {1, 5, bg},       {5, 0, 0x123456}, {5, 1, bg},  // column 0, odd rows: not drawn
        {10, 9, border_colour(8)},  {10, 10, bg}, {10, 11, bg},  {100, 319, bg},
        {210, 4, border_colour(10)}, {210, 5, bg}, {210, 315, border_colour(11)}, {210, 314, bg},
        {220, 0, border_colour(12)}, {220, 319, border_colour(12)},
    };
    for (const auto& e : table) EXPECT_EQ(dst[e.y * W + e.x], e.want) << e.y << "," << e.x;
    // the depth mask: coloured background at distance 40000, black free for everything
    ASSERT_NE(rz_zbuf, nullptr);
    EXPECT_EQ(rz_zbuf[0 * W + 7], 0xffffffffu);
    EXPECT_EQ(rz_zbuf[238 * W + 7], 0xffffffffu);
    EXPECT_EQ(rz_zbuf[50 * W + 5], 0x9c4000u);
    EXPECT_EQ(rz_target, dst.data());
}

TEST_F(OrbitMedia, RefusedMediaLeaveNothingToDraw)
{
    const int live = sc_live_scenes;
    // an image that is not a 3DS file, and a border that is not a picture
    const uint8_t junk[64] = {1, 2, 3};
    fx_orbit_media bad = media;
    bad.scene = junk;
    bad.scene_size = sizeof junk;
    EXPECT_EQ(fx_orbit_init_from(&bad), 1);
    fx_orbit_render(dst.data(), 10);
    EXPECT_EQ(dst[1000], 0x123456u);  // nothing drawn
    fx_orbit_free();
    EXPECT_EQ(sc_live_scenes, live);
    bad = media;
    bad.border = junk;
    bad.border_size = sizeof junk;
    EXPECT_EQ(fx_orbit_init_from(&bad), 1);
    fx_orbit_render(dst.data(), 10);
    EXPECT_EQ(dst[1000], 0x123456u);
    fx_orbit_free();
    fx_orbit_free();  // twice is harmless
    EXPECT_EQ(sc_live_scenes, live);
    EXPECT_EQ(rz_zbuf, nullptr);
    // a depth buffer made by someone else (here 16x16) is reported and never filled by the
    // render, which would overrun it
    rz_set_screen(16, 16, 32);
    ASSERT_EQ(rz_zbuffer(1), 0);
    uint32_t* other = rz_zbuf;
    EXPECT_EQ(fx_orbit_init_from(&media), 1);
    fx_orbit_render(dst.data(), 10);
    EXPECT_EQ(rz_zbuf, other);
    EXPECT_EQ(dst[50 * W + 5], anim_colour(3));
    fx_orbit_free();
    EXPECT_EQ(rz_zbuf, nullptr);  // the last scene's release took it
}

// Three colourings of the 8-bit map: (G, B, R) for entry 0, (B, G, R) for 1, (R, G, B) for 2.
TEST(Orbit, EmbeddedSceneObjectsAndTextures)
{
    ASSERT_EQ(fx_orbit_init(), 0);
    ASSERT_EQ(fx_orbit_scene.count, 33);
    EXPECT_EQ(fx_orbit_scene.cam_y, -9000);
    EXPECT_EQ(rz_bits, 32);
    const char* names[3] = {"Object01", "Object02", "Object03"};
    std::vector<sc_object*> objs;
    sc_rewind(&fx_orbit_scene);
    for (sc_object* o = sc_next(&fx_orbit_scene); o; o = sc_next(&fx_orbit_scene)) objs.push_back(o);
    for (size_t k = 0; k < objs.size(); k++) {
        // the meshes, then ten clones of each, sharing the mesh's geometry
        const size_t mesh = k < 3 ? k : (k - 3) / 10;
        EXPECT_STREQ(objs[k]->name, names[mesh]) << k;
        EXPECT_EQ(objs[k]->vertices, objs[mesh]->vertices) << k;
        EXPECT_EQ(objs[k]->tex_b, fx_orbit_tex[k % 3]) << k;
    }
    // the textures against the map decoded here
    std::vector<uint8_t> idx(256 * 256);
    uint8_t pal[768];
    ASSERT_EQ(iff_decode_n(emb_pic_orbit_tex, emb_pic_orbit_tex_size, idx.data(), pal), -1);
    for (int i : {0, 32896, 65535}) {
        const uint8_t* e = pal + 3 * idx[i];
        const uint32_t r = e[0], g = e[1], b = e[2];
        const uint32_t* t0 = reinterpret_cast<const uint32_t*>(fx_orbit_tex[0]);
        const uint32_t* t1 = reinterpret_cast<const uint32_t*>(fx_orbit_tex[1]);
        const uint32_t* t2 = reinterpret_cast<const uint32_t*>(fx_orbit_tex[2]);
        EXPECT_EQ(t2[i], r << 16 | g << 8 | b) << i;
        EXPECT_EQ(t1[i], b << 16 | g << 8 | r) << i;
        EXPECT_EQ(t0[i], g << 16 | b << 8 | r) << i;
    }
    for (int c = 0; c < 256; c++)
        ASSERT_TRUE(fx_scene_palette[3 * c] == pal[3 * c + 1] && fx_scene_palette[3 * c + 1] == pal[3 * c + 2] &&
                    fx_scene_palette[3 * c + 2] == pal[3 * c]) << c;
    fx_orbit_free();
}

TEST(Orbit, EmbeddedFramesMoveAndCyclesLeakNothing)
{
    const int live = sc_live_scenes;
    std::vector<uint32_t> f0(N), f1(N);
    for (int cycle = 0; cycle < 2; cycle++) {
        ASSERT_EQ(fx_orbit_init(), 0);
        fx_orbit_render(f0.data(), 1000);
        fx_orbit_render(f1.data(), 1010);
        EXPECT_NE(f0, f1);
        fx_orbit_render(f1.data(), 1000);
        EXPECT_EQ(f0, f1);  // a frame depends on t alone
        // odd clock values stay safe
        for (int32_t t : {-1, -500, 0x7fffffff, INT32_MIN}) fx_orbit_render(f1.data(), t);
        fx_orbit_free();
        EXPECT_EQ(sc_live_scenes, live);
        EXPECT_EQ(rz_zbuf, nullptr);
        EXPECT_EQ(rz_tex1, nullptr);
    }
}

}  // namespace
