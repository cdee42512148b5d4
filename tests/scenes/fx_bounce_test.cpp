// Bouncing object, built from the embedded assets and rendered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "assets/emb.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/rz.h"
#include "picture/iff.h"
#include "scenes/fx_bounce.h"
#include "scenes/fx_scene.h"

namespace {

constexpr int W = 320, H = 240, N = W * H;

sc_object* flyer()
{
    sc_rewind(&fx_bounce_scene);
    sc_object* o = sc_next(&fx_bounce_scene);
    o = o ? sc_next(&fx_bounce_scene) : nullptr;
    sc_rewind(&fx_bounce_scene);
    return o;
}

// An embedded picture expanded through its own palette.
std::vector<uint32_t> picture(const uint8_t* data, uint32_t size)
{
    std::vector<uint8_t> idx(N);
    uint8_t pal[768];
    EXPECT_NE(iff_decode_fit(data, size, idx.data(), N, pal), 0);
    std::vector<uint32_t> out(N);
    pix_expand_palette(idx.data(), pal, out.data(), N);
    return out;
}

uint32_t colour(const uint8_t* pal, uint8_t i)
{
    return static_cast<uint32_t>(pal[3 * i] << 16 | pal[3 * i + 1] << 8 | pal[3 * i + 2]);
}

class Bounce : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(fx_bounce_init(), 0); }
    void TearDown() override { fx_bounce_free(); }
    std::vector<uint32_t> frame = std::vector<uint32_t>(N);
};

}  // namespace

// Four arcs of 155 ticks with falling peaks, cut at 538, then rest at 420.
TEST(BounceHeight, ArcsThenRest)
{
    const int32_t table[][2] = {{0, 8127},   {77, 419},  {155, 5910}, {386, 504},
                                {538, 526},  {539, 420}, {INT32_MAX, 420}};
    for (const auto& e : table)
        EXPECT_EQ(fx_bounce_height(e[0]), e[1]) << "t " << e[0];
    // far before the start the arcs' formula grows without bound; it stays a 32-bit value
    EXPECT_EQ(fx_bounce_height(INT32_MIN), INT32_MIN);    // and the scene takes such clocks
    ASSERT_EQ(fx_bounce_init(), 0);
    std::vector<uint32_t> frame(N);
    for (int32_t t : {INT32_MAX, INT32_MIN, -78}) {
        fx_bounce_render(frame.data(), t);
        EXPECT_EQ(fx_bounce_bouncer->pos_y, fx_bounce_height(t)) << t;
    }
    fx_bounce_free();
}

TEST_F(Bounce, InitSetsObjectsTexturesAndPalettes)
{
    ASSERT_EQ(fx_bounce_scene.count, 2);
    sc_object* bouncer = fx_bounce_bouncer;
    sc_object* other = flyer();
    ASSERT_NE(bouncer, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(bouncer->vertex_count, 408);
    EXPECT_EQ(other->vertex_count, 130);
    for (sc_object* o : {bouncer, other}) {
        EXPECT_EQ(o->tex_a, fx_bounce_tex_face);
        EXPECT_EQ(o->tex_back, fx_bounce_tex_back);
        EXPECT_EQ(o->tex_b, fx_bounce_tex_env);
    }
    EXPECT_EQ(fx_bounce_scene.cam_z, 16000);
    EXPECT_EQ(fx_bounce_scene.target_y, 1000);

    // the texture v of every 24th vertex from 12 on goes to 0, nothing else changes
    sc_scene fresh;
    ASSERT_EQ(sc_init(&fresh), 0);
    ASSERT_EQ(ld_3ds_meshes_mem_n(emb_3ds_bouncer, emb_3ds_bouncer_size, &fresh), 0);
    sc_rewind(&fresh);
    const sc_object* orig = sc_next(&fresh);
    ASSERT_NE(orig, nullptr);
    ASSERT_NE(bouncer->uv, nullptr);
    int cleared = 0;
    for (int v = 0; v < bouncer->vertex_count; v++) {
        const bool on = v >= 12 && v <= 324 && (v - 12) % 24 == 0;
        EXPECT_EQ(bouncer->uv[2 * v], orig->uv[2 * v]) << v;
        EXPECT_EQ(bouncer->uv[2 * v + 1], on ? 0 : orig->uv[2 * v + 1]) << v;
        cleared += on && orig->uv[2 * v + 1] != 0;
    }
    EXPECT_GT(cleared, 0);
    sc_free_objects(&fresh);
    sc_release(&fresh);

    // the shaded palette (level x 16 + colour) is kept in a copy
    EXPECT_EQ(std::memcmp(fx_bounce_palette, fx_scene_palette, 768), 0);

    // both picture textures are quantised into 16 groups: low nibble 0
    int face_or = 0, back_or = 0;
    for (int i = 0; i < 65536; i++) {
        ASSERT_EQ((fx_bounce_tex_face[i] | fx_bounce_tex_back[i]) & 15, 0) << i;
        face_or |= fx_bounce_tex_face[i], back_or |= fx_bounce_tex_back[i];
    }
    EXPECT_TRUE(face_or && back_or);

    EXPECT_EQ(std::vector<uint32_t>(fx_bounce_bg[0], fx_bounce_bg[0] + N),
              picture(emb_pic_bounce_bg1, emb_pic_bounce_bg1_size));
    EXPECT_EQ(std::vector<uint32_t>(fx_bounce_bg[1], fx_bounce_bg[1] + N),
              picture(emb_pic_bounce_bg2, emb_pic_bounce_bg2_size));
}

// The objects' motion at the switch and around it.
TEST_F(Bounce, ObjectsMoveByPhase)
{
    struct Case {
        int32_t t, h, ay, az, ax, fly_y, fly_ay, fly_az;
    };
    const Case cases[] = {
        {100, 3109, 210, 14, 35, 8000, 0, 0},
        {538, 526, 1129, 13, 71, 8000, 0, 0},
        {539, 420, 1131, 14, 71, 2487, 539, 1617},
        {700, 420, 1470, -22, 50, 1898, 700, 2100},
    };
    sc_object* other = flyer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        fx_bounce_render(frame.data(), c.t);
        EXPECT_EQ(fx_bounce_bouncer->pos_y, c.h);
        EXPECT_EQ(fx_bounce_bouncer->angle_y, c.ay);
        EXPECT_EQ(fx_bounce_bouncer->angle_z, c.az);
        EXPECT_EQ(fx_bounce_bouncer->angle_x, c.ax);
        EXPECT_EQ(other->pos_y, c.fly_y);
        EXPECT_EQ(other->angle_y, c.fly_ay);
        EXPECT_EQ(other->angle_z, c.fly_az);
    }
}

// The render's non-zero pixels of rows 0..154 over the background of the phase; below, the
// background alone, even where the render has pixels.
TEST_F(Bounce, ComposesTheTopRowsOverTheBackground)
{
    int hidden_max = 0;
    for (int32_t t : {78, 538, 539}) {
        SCOPED_TRACE(t);
        fx_bounce_render(frame.data(), t);
        const uint32_t* bg = fx_bounce_bg[t <= 538 ? 0 : 1];
        int shown = 0, hidden = 0;
        for (int i = 0; i < N; i++) {
            const uint8_t p = fx_bounce_target[i];
            if (i < 155 * W && p != 0) {
                ASSERT_EQ(frame[i], colour(fx_bounce_palette, p)) << i;
                shown++;
            } else {
                ASSERT_EQ(frame[i], bg[i]) << i;
                hidden += p != 0;
            }
        }
        EXPECT_GT(shown, 1000);
        hidden_max = std::max(hidden_max, hidden);
    }
    // the rule was exercised: the ball's foot dips below row 154 where it touches the floor
    EXPECT_GT(hidden_max, 0);
    int differ = 0;
    for (int i = 155 * W; i < N; i++)
        differ += fx_bounce_bg[0][i] != fx_bounce_bg[1][i];
    EXPECT_GT(differ, 0);
}

// Frames change with time and stay in the 320x240 target whatever screen was set before.
TEST_F(Bounce, FramesChangeWithinTheirBuffers)
{
    std::vector<uint32_t> other(N);
    fx_bounce_render(frame.data(), 100);   // on its way up in the second arc, in view
    rz_set_screen(640, 480, 8);   // as if another scene had run
    rz_target = nullptr;
    fx_bounce_render(other.data(), 101);
    EXPECT_EQ(rz_width, 320);
    EXPECT_EQ(rz_height, 240);
    EXPECT_EQ(rz_target, fx_bounce_target);
    int differ = 0;
    for (int i = 0; i < N; i++)
        differ += frame[i] != other[i];
    EXPECT_GT(differ, 100);
}

TEST(BounceLifecycle, FreeReleasesEverythingAndInitRunsAgain)
{
    std::vector<uint32_t> a(N, 0x123456), b(N);
    const int32_t live = sc_live_scenes;
    fx_bounce_render(a.data(), 5);   // never set up: a black frame
    for (uint32_t p : a)
        ASSERT_EQ(p, 0u);
    fx_bounce_free();
    EXPECT_EQ(sc_live_scenes, live);

    ASSERT_EQ(fx_bounce_init(), 0);
    ASSERT_EQ(fx_bounce_init(), 0);   // a second init releases the first
    EXPECT_EQ(sc_live_scenes, live + 1);
    EXPECT_EQ(fx_bounce_scene.count, 2);
    fx_bounce_render(a.data(), 600);
    fx_bounce_free();
    EXPECT_EQ(sc_live_scenes, live);
    EXPECT_TRUE(!fx_bounce_bouncer && !fx_bounce_bg[0] && !fx_bounce_target && !fx_bounce_frame &&
                !fx_bounce_tex_face && !rz_target);
    fx_bounce_free();

    ASSERT_EQ(fx_bounce_init(), 0);
    fx_bounce_render(b.data(), 600);
    EXPECT_EQ(a, b);
    fx_bounce_free();
    std::fill(b.begin(), b.end(), 1u);
    fx_bounce_render(b.data(), 600);
    for (uint32_t p : b)
        ASSERT_EQ(p, 0u);
}

// Assets that cannot serve end init with -1; what it made is released by free, and the render
// in between only clears its frame.
TEST(BounceLifecycle, UnusableAssetsFailInitSafely)
{
    const fx_bounce_media good = {
        emb_3ds_bouncer, emb_3ds_bouncer_size, emb_3ds_flyers, emb_3ds_flyers_size,
        {emb_pic_bounce_bg1, emb_pic_bounce_bg2}, {emb_pic_bounce_bg1_size, emb_pic_bounce_bg2_size},
        emb_pic_lattice_tex, emb_pic_lattice_tex_size, emb_pic_bounce_tex0, emb_pic_bounce_tex0_size,
        emb_pic_bounce_tex1, emb_pic_bounce_tex1_size};
    struct Case {
        const char* what;
        fx_bounce_media media;
    };
    std::vector<Case> cases;
    auto with = [&](const char* what, auto change) {
        fx_bounce_media m = good;
        change(m);
        cases.push_back({what, m});
    };
    with("bouncer cut short", [](fx_bounce_media& m) { m.bouncer_size = 100; });
    with("no bouncer mesh", [](fx_bounce_media& m) { m.bouncer = emb_pic_bounce_tex0, m.bouncer_size = emb_pic_bounce_tex0_size; });
    with("first background not a picture", [](fx_bounce_media& m) { m.bg[0] = emb_3ds_box, m.bg_size[0] = emb_3ds_box_size; });
    with("second background of 320x256", [](fx_bounce_media& m) { m.bg[1] = emb_wipe_5, m.bg_size[1] = emb_wipe_5_size; });
    with("reverse texture cut short", [](fx_bounce_media& m) { m.back_size = 50; });

    const int32_t live = sc_live_scenes;
    std::vector<uint32_t> frame(N);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fx_bounce_init_from(c.media), -1);
        std::fill(frame.begin(), frame.end(), 7u);
        fx_bounce_render(frame.data(), 100);
        EXPECT_EQ(std::count(frame.begin(), frame.end(), 0u), N);
        fx_bounce_free();
        EXPECT_EQ(sc_live_scenes, live);
        EXPECT_TRUE(!fx_bounce_tex_env && !fx_bounce_bg[0]);
    }
    ASSERT_EQ(fx_bounce_init_from(good), 0);
    fx_bounce_render(frame.data(), 100);
    EXPECT_EQ(std::count(frame.begin(), frame.end(), 0u), 0);
    fx_bounce_free();
}
