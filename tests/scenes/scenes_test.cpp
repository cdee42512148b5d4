// Every 3D scene through its life: init with the show's assets, a few renders (drawn, not black,
// moving, the same frame for the same time, inside its buffers under the sanitizers), free, and
// nothing left on the heap; then each asset in turn cut short or swapped for bytes of another
// kind, which init must refuse and render must then leave alone.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <vector>

#include "assets/emb.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "picture/pix.h"
#include "scenes/fx_bounce.h"
#include "scenes/fx_lattice.h"
#include "scenes/fx_orbit.h"
#include "scenes/fx_shadow.h"
#include "scenes/fx_shatter.h"
#include "scenes/scenes_internal.h"

namespace {

constexpr int N = pix_frame_pixels;

// The shattering screen's source: a picture of stripes.
const std::vector<uint32_t> stripes = [] {
    std::vector<uint32_t> s(N);
    for (int i = 0; i < N; i++) s[i] = (i / 7) % 3 ? 0x3080c0u : 0xf0e0d0u;
    return s;
}();

// An asset of the show: bytes and size, replaced one at a time through its place in `Media`.
struct Asset {
    const uint8_t** data;
    uint32_t* size;
};

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

int lit(const std::vector<uint32_t>& f)
{
    return int(std::count_if(f.begin(), f.end(), [](uint32_t p) { return (p & 0xffffff) != 0; }));
}

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

}  // namespace
