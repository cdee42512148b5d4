// Camera flight through the lattice, built from the embedded assets and rendered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/emb.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/rz.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "scenes/fx_lattice.h"
#include "scenes/fx_scene.h"

namespace {

constexpr int W = 320, H = 240, N = W * H;

// Every object in list order.
std::vector<sc_object*> objects(sc_scene* scene)
{
    std::vector<sc_object*> list;
    sc_rewind(scene);
    for (sc_object* o = sc_next(scene); o; o = sc_next(scene)) list.push_back(o);
    return list;
}

// The key of a (frame, x, y, z) track at the given frame.
const int32_t* key_at(const int32_t* keys, int32_t count, int32_t frame)
{
    for (int32_t i = 0; i < count; i++)
        if (keys[4 * i] == frame)
            return keys + 4 * i;
    return nullptr;
}

class Lattice : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(fx_lattice_init(), 0); }
    void TearDown() override { fx_lattice_free(); }
    std::vector<uint32_t> frame = std::vector<uint32_t>(N);
};

}  // namespace

TEST_F(Lattice, InitBuildsTheGridTheBoxesAndTheirTextures)
{
    const std::vector<sc_object*> list = objects(&fx_lattice_scene);
    ASSERT_EQ(list.size(), 374u);
    ASSERT_EQ(fx_lattice_scene.count, 374);
    sc_object* cube = list[0];
    EXPECT_EQ(cube->vertex_count, 24);
    EXPECT_EQ(cube->face_count, 24);
    EXPECT_EQ(cube->pos_x | cube->pos_y | cube->pos_z, 0);
    EXPECT_EQ(cube->tex_b, fx_lattice_tex[1]);

    // the clones on the grid, x outermost, leaving out the centre the cube fills; shared geometry
    const int clones[][4] = {{1, 0, 0, 0}, {171, 3, 3, 2}, {172, 3, 3, 4}, {342, 6, 6, 6}};   // n, x, y, z
    for (const auto& c : clones) {
        const sc_object* o = list[size_t(c[0])];
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(o->pos_x, (c[1] - 3) * 8500);
        EXPECT_EQ(o->pos_y, (c[2] - 3) * 8500);
        EXPECT_EQ(o->pos_z, (c[3] - 3) * 8500);
        EXPECT_EQ(o->vertices, cube->vertices);
        EXPECT_NE(o->geom_borrow, 0);
        EXPECT_EQ(o->tex_b, fx_lattice_tex[c[0] % 2 ? 0 : 1]);
    }
    // the box ends at -7800; each clone has the x the box had when it was made
    const int32_t box_x[][2] = {{0, -7800}, {1, 0}, {2, -45500}, {3, -44200}, {30, -9100}};
    for (const auto& b : box_x) {
        const sc_object* o = list[343 + b[0]];
        SCOPED_TRACE(b[0]);
        EXPECT_EQ(o->vertex_count, 8);
        EXPECT_EQ(o->pos_x, b[1]);
        EXPECT_EQ(o->tex_b, fx_lattice_tex[2]);
        EXPECT_EQ(o->mode, 8u);
    }

    // entries 1 and 2 are entry 0 shifted by 16 and 32 palette places, bytes wrapping
    for (int i = 0; i < 65536; i++) {
        ASSERT_EQ(fx_lattice_tex[1][i], static_cast<uint8_t>(fx_lattice_tex[0][i] + 16)) << i;
        ASSERT_EQ(fx_lattice_tex[2][i], static_cast<uint8_t>(fx_lattice_tex[0][i] + 32)) << i;
    }
    for (int i = 65536; i < tex_area_texels; i++)
        ASSERT_EQ(fx_lattice_tex[1][i] | fx_lattice_tex[2][i], 0) << "slack texel " << i;

    // the shared palette ends as the texture's; the overlay was expanded with its own
    uint8_t tex_palette[768], overlay_palette[768];
    tex_buffer probe = tex_from_picture_n(emb_pic_lattice_tex, emb_pic_lattice_tex_size, tex_palette);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(std::memcmp(probe, fx_lattice_tex[0], tex_area_texels), 0);
    tex_free(probe);
    EXPECT_EQ(std::memcmp(fx_scene_palette, tex_palette, 768), 0);
    std::vector<uint8_t> idx(N);
    std::vector<uint32_t> expanded(N);
    ASSERT_NE(iff_decode_fit(emb_pic_lattice_overlay, emb_pic_lattice_overlay_size, idx.data(), N,
                            overlay_palette), 0);
    EXPECT_NE(std::memcmp(overlay_palette, tex_palette, 768), 0);
    EXPECT_EQ(std::memcmp(idx.data(), fx_lattice_overlay8, N), 0);
    pix_expand_palette(idx.data(), overlay_palette, expanded.data(), N);
    EXPECT_EQ(std::memcmp(expanded.data(), fx_lattice_overlay, N * 4), 0);

    EXPECT_EQ(fx_lattice_path.pos_count, 17);
    EXPECT_EQ(fx_lattice_path.target_count, 17);
}

// One pass of the path every 3000 ticks: the camera stands at minus three times the path's
// position, the target as evaluated, the roll 0.
TEST_F(Lattice, CameraRunsThePathEvery3000Ticks)
{
    const kf_camera_path& p = fx_lattice_path;
    ASSERT_EQ(p.start_frame, 0);
    ASSERT_EQ(p.end_frame, 30);
    const int32_t* first = key_at(p.pos_keys, p.pos_count, 0);
    const int32_t* first_target = key_at(p.target_keys, p.target_count, 0);
    const int32_t* mid = key_at(p.pos_keys, p.pos_count, 15);   // 50 % of frames 0..30
    const int32_t* mid_target = key_at(p.target_keys, p.target_count, 15);
    ASSERT_TRUE(first && first_target && mid && mid_target);
    struct Case {
        int32_t t;
        const int32_t* pos;
        const int32_t* target;
    };
    const Case cases[] = {{0, first, first_target}, {6000, first, first_target},
                          {4500, mid, mid_target}, {-1500, mid, mid_target}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        fx_lattice_scene.roll = 77;
        fx_lattice_render(frame.data(), c.t);
        EXPECT_EQ(fx_lattice_scene.cam_x, -3 * c.pos[1]);
        EXPECT_EQ(fx_lattice_scene.cam_y, -3 * c.pos[2]);
        EXPECT_EQ(fx_lattice_scene.cam_z, -3 * c.pos[3]);
        EXPECT_EQ(fx_lattice_scene.target_x, c.target[1]);
        EXPECT_EQ(fx_lattice_scene.target_y, c.target[2]);
        EXPECT_EQ(fx_lattice_scene.target_z, c.target[3]);
        EXPECT_EQ(fx_lattice_scene.roll, 0);
    }

    // t = 2999 lies at 99.97 % of the path, just before its end (which is its start)
    sc_scene at;
    ASSERT_EQ(sc_init(&at), 0);
    ASSERT_EQ(kf_camera_eval(&at, &p, 2999 * 0.03333333333333333), 0);
    fx_lattice_render(frame.data(), 2999);
    EXPECT_EQ(fx_lattice_scene.cam_x, -3 * at.cam_x);
    EXPECT_EQ(fx_lattice_scene.cam_y, -3 * at.cam_y);
    EXPECT_EQ(fx_lattice_scene.cam_z, -3 * at.cam_z);
    EXPECT_EQ(fx_lattice_scene.target_x, at.target_x);
    EXPECT_NE(fx_lattice_scene.cam_x, -3 * first[1]);
    EXPECT_LT(std::abs(fx_lattice_scene.cam_x + 3 * first[1]), 200);
    sc_release(&at);
    // clocks far from the show's keep the camera on its path
    for (int32_t t : {INT32_MAX, INT32_MIN, -1}) {
        fx_lattice_render(frame.data(), t);
        EXPECT_EQ(fx_lattice_scene.roll, 0) << t;
        EXPECT_LT(std::abs(fx_lattice_scene.cam_x), 3 * 8500) << t;
    }
}

// Each row of the overlay is laid from column 319 leftwards up to its first index 0; column 0
// never. Marked pixels carry a top byte that expansion never writes.
TEST_F(Lattice, OverlayLaidFromTheRightEdgeUpToItsFirstGap)
{
    const uint32_t mark = 0x01000000;
    auto row8 = [](int y) { return fx_lattice_overlay8 + y * W; };
    for (int y : {10, 20, 30}) {
        std::memset(row8(y), 5, W);
        for (int x = 0; x < W; x++)
            fx_lattice_overlay[y * W + x] = mark | static_cast<uint32_t>(x);
    }
    row8(10)[319] = 0;   // nothing laid
    row8(30)[299] = 0;   // columns 300..319 laid
    fx_lattice_render(frame.data(), 40);
    for (int x = 0; x < W; x++) {
        SCOPED_TRACE(x);
        EXPECT_EQ(frame[10 * W + x] & mark, 0u);
        if (x >= 1) {
            EXPECT_EQ(frame[20 * W + x], mark | static_cast<uint32_t>(x));
        } else {
            EXPECT_EQ(frame[20 * W + x] & mark, 0u);
        }
        EXPECT_EQ(frame[30 * W + x] & mark, x >= 300 ? mark : 0u);
    }
    // the embedded overlay: every laid pixel is the overlay's, the rest the render's
    for (int y = 40; y < H; y++) {
        int x = W - 1;
        for (; x >= 1 && fx_lattice_overlay8[y * W + x] != 0; x--)
            ASSERT_EQ(frame[y * W + x], fx_lattice_overlay[y * W + x]) << y << "," << x;
    }
}

// Frames change with time, the target is left clear, and a render after some other screen size
// was set still draws only inside the 320x240 target.
TEST_F(Lattice, FramesChangeWithinTheirBuffers)
{
    std::vector<uint32_t> other(N);
    fx_lattice_render(frame.data(), 0);
    for (int i = 0; i < N; i++)
        ASSERT_EQ(fx_lattice_target[i], 0);
    rz_set_screen(640, 480, 32);   // as if another scene had run
    fx_lattice_render(other.data(), 100);
    EXPECT_EQ(rz_width, 320);
    EXPECT_EQ(rz_height, 240);
    EXPECT_EQ(rz_bits, 8);
    EXPECT_EQ(rz_target, fx_lattice_target);
    int differ = 0;
    for (int i = 0; i < N; i++)
        differ += frame[i] != other[i];
    EXPECT_GT(differ, N / 10);
    // the cubes cover much of the view in many colours
    std::vector<uint32_t> colours(frame);
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 64);
}

TEST(LatticeLifecycle, FreeReleasesEverythingAndInitRunsAgain)
{
    std::vector<uint32_t> a(N, 0x123456), b(N);
    const int32_t live = sc_live_scenes;
    fx_lattice_render(a.data(), 5);   // never set up: a black frame
    for (uint32_t p : a)
        ASSERT_EQ(p, 0u);
    fx_lattice_free();                // nothing to free
    EXPECT_EQ(sc_live_scenes, live);

    ASSERT_EQ(fx_lattice_init(), 0);
    ASSERT_EQ(fx_lattice_init(), 0);  // a second init releases the first
    EXPECT_EQ(sc_live_scenes, live + 1);
    EXPECT_EQ(fx_lattice_scene.count, 374);
    fx_lattice_render(a.data(), 777);
    fx_lattice_free();
    EXPECT_EQ(sc_live_scenes, live);
    EXPECT_TRUE(!fx_lattice_target && !fx_lattice_overlay && !fx_lattice_overlay8 && !fx_lattice_tex[0] &&
                !fx_lattice_path.pos_keys && !rz_target);
    fx_lattice_free();
    EXPECT_EQ(sc_live_scenes, live);

    ASSERT_EQ(fx_lattice_init(), 0);
    fx_lattice_render(b.data(), 777);
    EXPECT_EQ(a, b);
    fx_lattice_free();
    std::fill(b.begin(), b.end(), 1u);
    fx_lattice_render(b.data(), 777);   // after free: black again
    for (uint32_t p : b)
        ASSERT_EQ(p, 0u);
}

// Assets that cannot serve end init with -1; what it made is released by free, and the render
// in between only clears its frame.
TEST(LatticeLifecycle, UnusableAssetsFailInitSafely)
{
    const fx_lattice_media good = {emb_3ds_lattice, emb_3ds_lattice_size, emb_3ds_box, emb_3ds_box_size,
                                   emb_pic_lattice_overlay, emb_pic_lattice_overlay_size,
                                   emb_pic_lattice_tex, emb_pic_lattice_tex_size};
    struct Case {
        const char* what;
        fx_lattice_media media;
    };
    std::vector<Case> cases;
    auto with = [&](const char* what, auto change) {
        fx_lattice_media m = good;
        change(m);
        cases.push_back({what, m});
    };
    with("scene without a camera path", [](fx_lattice_media& m) { m.scene = emb_3ds_box, m.scene_size = emb_3ds_box_size; });
    with("scene cut short", [](fx_lattice_media& m) { m.scene_size = 100; });
    with("overlay not a picture", [](fx_lattice_media& m) { m.overlay = emb_3ds_box, m.overlay_size = emb_3ds_box_size; });
    with("overlay of 320x256", [](fx_lattice_media& m) { m.overlay = emb_wipe_5, m.overlay_size = emb_wipe_5_size; });
    with("texture cut short", [](fx_lattice_media& m) { m.texture_size = 200; });
    with("no mesh below 24 vertices", [](fx_lattice_media& m) { m.box = emb_3ds_bouncer, m.box_size = emb_3ds_bouncer_size; });

    const int32_t live = sc_live_scenes;
    std::vector<uint32_t> frame(N);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fx_lattice_init_from(c.media), -1);
        std::fill(frame.begin(), frame.end(), 7u);
        fx_lattice_render(frame.data(), 100);
        EXPECT_EQ(std::count(frame.begin(), frame.end(), 0u), N);
        fx_lattice_free();
        EXPECT_EQ(sc_live_scenes, live);
        EXPECT_EQ(fx_lattice_tex[0], nullptr);
    }
    ASSERT_EQ(fx_lattice_init_from(good), 0);
    fx_lattice_render(frame.data(), 100);
    EXPECT_LT(std::count(frame.begin(), frame.end(), 0u), N / 2);
    fx_lattice_free();
}
