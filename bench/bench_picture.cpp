// Picture work measured beside the plain copy of a frame (BM_memcpy_frame): decoding a stored
// 320x240 picture, expanding 76800 indices through a palette, and one doubled animation frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "assets/emb.h"
#include "picture/anim.h"
#include "picture/iff.h"
#include "picture/pix.h"

static void BM_iff_decode(benchmark::State& state)
{
    std::vector<uint8_t> px(76800), pal(768);
    for (auto _ : state) {
        if (iff_decode_n(emb_pic_title, emb_pic_title_size, px.data(), pal.data()) != -1)
            state.SkipWithError(iff_msg);
        benchmark::DoNotOptimize(px.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 76800);
}
BENCHMARK(BM_iff_decode);

static void BM_expand_palette(benchmark::State& state)
{
    std::vector<uint8_t> px(76800), pal(768);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = uint8_t(i * 2654435761u >> 24);
    for (size_t i = 0; i < pal.size(); i++)
        pal[i] = uint8_t(i);
    std::vector<uint32_t> frame(76800);
    for (auto _ : state) {
        pix_expand_palette(px.data(), pal.data(), frame.data(), 76800);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 307200);
}
BENCHMARK(BM_expand_palette);

static void BM_anim_blit(benchmark::State& state)
{
    std::vector<uint32_t> frame(76800);
    uint32_t k = 0;
    for (auto _ : state) {
        anim_blit_frame(k, emb_anim_orbit, frame.data());
        k = (k + 1) % 51;
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 307200);
}
BENCHMARK(BM_anim_blit);
