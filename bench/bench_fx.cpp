// Per-frame cost of the transitions and the 2D effects, beside BM_memcpy_frame (a frame32 copy).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fx/tr_transition.h"

static void BM_crossfade32(benchmark::State& state)
{
    std::vector<uint32_t> a(tr_frame_pixels, 0x123456), b(tr_frame_pixels, 0xabcdef);
    int alpha = 0;
    for (auto _ : state) {
        // in place into b, as main calls it
        benchmark::DoNotOptimize(tr_crossfade32(alpha, a.data(), b.data(), b.data()));
        alpha = (alpha + 1) & 255;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * tr_frame_pixels * 4);
}
BENCHMARK(BM_crossfade32);

static void BM_maskwipe32(benchmark::State& state)
{
    std::vector<uint8_t> mask(tr_frame_pixels);
    for (int i = 0; i < tr_frame_pixels; i++) mask[i] = static_cast<uint8_t>(i * 13);
    std::vector<uint32_t> a(tr_frame_pixels, 0x123456), b(tr_frame_pixels, 0xabcdef);
    int thr = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tr_maskwipe32(thr, mask.data(), a.data(), b.data(), b.data()));
        thr = (thr + 1) & 255;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * tr_frame_pixels * 4);
}
BENCHMARK(BM_maskwipe32);
