// Per-frame cost of the transitions and the 2D effects, beside BM_memcpy_frame (a frame32 copy).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fx/fx_balls.h"
#include "fx/fx_beams.h"
#include "fx/fx_blobs.h"
#include "fx/fx_curtain.h"
#include "fx/fx_mirror.h"
#include "fx/tr_transition.h"
#include "picture/pix.h"

static void BM_crossfade32(benchmark::State& state)
{
    std::vector<uint32_t> a(pix_frame_pixels, 0x123456), b(pix_frame_pixels, 0xabcdef);
    int alpha = 0;
    for (auto _ : state) {
        // in place into b, as main calls it
        benchmark::DoNotOptimize(tr_crossfade32(alpha, a.data(), b.data(), b.data()));
        alpha = (alpha + 1) & 255;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * pix_frame_pixels * 4);
}
BENCHMARK(BM_crossfade32);

static void BM_maskwipe32(benchmark::State& state)
{
    std::vector<uint8_t> mask(pix_frame_pixels);
    for (int i = 0; i < pix_frame_pixels; i++) mask[i] = static_cast<uint8_t>(i * 13);
    std::vector<uint32_t> a(pix_frame_pixels, 0x123456), b(pix_frame_pixels, 0xabcdef);
    int thr = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tr_maskwipe32(thr, mask.data(), a.data(), b.data(), b.data()));
        thr = (thr + 1) & 255;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * pix_frame_pixels * 4);
}
BENCHMARK(BM_maskwipe32);

// The effects with their embedded media, one frame a step at advancing times.
static void BM_fx_curtain_render(benchmark::State& state)
{
    fx_curtain_init();
    uint32_t t = 0;
    for (auto _ : state) benchmark::DoNotOptimize(fx_curtain_render(t++));
    fx_curtain_free();
}
BENCHMARK(BM_fx_curtain_render);

static void BM_fx_balls_render(benchmark::State& state)
{
    fx_balls_init();
    int32_t t = 0;
    // one time unit (4 ticks, 7 substeps) every fourth frame, as at 70 frames a second
    for (auto _ : state) benchmark::DoNotOptimize(fx_balls_render(t++ / 4, 0));
    fx_balls_free();
}
BENCHMARK(BM_fx_balls_render);

static void BM_fx_mirror_render(benchmark::State& state)
{
    fx_mirror_init();
    int32_t t = 500;   // with the overlay from 511 on
    for (auto _ : state) benchmark::DoNotOptimize(fx_mirror_render(t++, 0));
    fx_mirror_free();
}
BENCHMARK(BM_fx_mirror_render);

static void BM_fx_beams_render(benchmark::State& state)
{
    fx_beams_init();
    double c = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fx_beams_render(0.25 * c));
        c += 1;
    }
    fx_beams_free();
}
BENCHMARK(BM_fx_beams_render);

// The blob render plus the expansion of the 320x240 slot through its palette, as main does.
static void BM_fx_blobs_render(benchmark::State& state)
{
    fx_blobs_init();
    fx_blobs_size = 450;   // the longest chain
    std::vector<uint8_t> slot(pix_frame_pixels, 0);
    std::vector<uint32_t> frame(pix_frame_pixels);
    int32_t t = 0;
    for (auto _ : state) {
        fx_blobs_render(slot.data() + 6400, t++);
        pix_expand_palette(slot.data(), fx_blobs_palette, frame.data(), pix_frame_pixels);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    fx_blobs_size = 60;
}
BENCHMARK(BM_fx_blobs_render);
