// The drawing work of one pass of the busiest stages (everything but the wait for the tick and
// the presentation), against the 14.3 ms that a tick leaves at 70 frames a second.
#include <benchmark/benchmark.h>

#include "assets/emb.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "fx/fx_balls.h"
#include "fx/fx_beams.h"
#include "fx/fx_blobs.h"
#include "fx/fx_curtain.h"
#include "fx/fx_mirror.h"
#include "fx/tr_transition.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "scenes/fx_lattice.h"
#include "scenes/fx_orbit.h"
#include "scenes/fx_shadow.h"
#include "scenes/fx_shatter.h"

#include <cstring>

namespace {

void decode_b(const uint8_t* pic, uint32_t size) { iff_decode_n(pic, size, demo_pic_b, demo_pic_b); }

// Stage 4: the shadow scene, the curtain and the mask wipe between them.
void BM_StagePass4ShadowToCurtain(benchmark::State& state)
{
    fx_shadow_init();
    fx_curtain_init();
    decode_b(emb_wipe_3, emb_wipe_3_size);
    int32_t t = 0;
    for (auto _ : state) {
        fx_shadow_render(demo_frame_c, demo_shadow_time(t));
        uint32_t* f = fx_curtain_render(static_cast<uint32_t>(demo_curtain_time(t)));
        benchmark::DoNotOptimize(tr_maskwipe32(t & 255, demo_pic_b, demo_frame_c, f, f));
        ++t;
    }
    fx_curtain_free();
    fx_shadow_free();
}
BENCHMARK(BM_StagePass4ShadowToCurtain)->Unit(benchmark::kMillisecond);

// Stage 8: the picture expanded, the lattice flight and the wipe, with no wait between passes.
void BM_StagePass8LatticeToPicture(benchmark::State& state)
{
    fx_lattice_init();
    decode_b(emb_wipe_5, emb_wipe_5_size);
    iff_decode_n(emb_pic_shatter, emb_pic_shatter_size, demo_pic_a, demo_pal_a);
    int32_t t = 0;
    for (auto _ : state) {
        pix_expand_palette(demo_pic_a, demo_pal_a, demo_frame_d, 76800);
        fx_lattice_render(demo_frame_c, t);
        benchmark::DoNotOptimize(tr_maskwipe32(t & 255, demo_pic_b, demo_frame_c, demo_frame_d, demo_frame_d));
        ++t;
    }
    fx_lattice_free();
}
BENCHMARK(BM_StagePass8LatticeToPicture)->Unit(benchmark::kMillisecond);

// Stage 10: the beams with the picture breaking up over them.
void BM_StagePass10ShatterOverBeams(benchmark::State& state)
{
    fx_beams_init();
    fx_shatter_init();
    iff_decode_n(emb_pic_shatter, emb_pic_shatter_size, demo_pic_a, demo_pal_a);
    pix_expand_palette(demo_pic_a, demo_pal_a, demo_frame_d, 76800);
    int32_t t = 0;
    for (auto _ : state) {
        uint32_t* f = fx_beams_render(demo_beams_time(t));
        fx_shatter_render(f, demo_frame_d, demo_shatter_time(t % 600));
        benchmark::DoNotOptimize(f);
        ++t;
    }
    fx_shatter_free();
    fx_beams_free();
}
BENCHMARK(BM_StagePass10ShatterOverBeams)->Unit(benchmark::kMillisecond);

// Stage 18: the blob trails expanded, the orbiting objects and the cross-fade.
void BM_StagePass18BlobsToOrbit(benchmark::State& state)
{
    fx_blobs_init();
    fx_orbit_init();
    std::memset(demo_pic_a, 0, sizeof demo_pic_a);
    int32_t t = 0;
    for (auto _ : state) {
        fx_blobs_render(demo_pic_a + 6400, t);
        pix_expand_palette(demo_pic_a, fx_blobs_palette, demo_frame_c, 76800);
        fx_orbit_render(demo_frame_d, t);
        benchmark::DoNotOptimize(tr_crossfade32(t & 255, demo_frame_c, demo_frame_d, demo_frame_d));
        ++t;
    }
    fx_orbit_free();
}
BENCHMARK(BM_StagePass18BlobsToOrbit)->Unit(benchmark::kMillisecond);

// Stage 20: the orbiting objects, the balls and the wipe between them.
void BM_StagePass20OrbitToBalls(benchmark::State& state)
{
    fx_orbit_init();
    fx_balls_init();
    decode_b(emb_wipe_6, emb_wipe_6_size);
    int32_t t = 0;
    for (auto _ : state) {
        fx_orbit_render(demo_frame_d, t);
        uint32_t* f = fx_balls_render(demo_balls_time(t), 0);
        benchmark::DoNotOptimize(tr_maskwipe32(t & 255, demo_pic_b, demo_frame_d, f, f));
        ++t;
    }
    fx_balls_free();
    fx_orbit_free();
}
BENCHMARK(BM_StagePass20OrbitToBalls)->Unit(benchmark::kMillisecond);

} // namespace
