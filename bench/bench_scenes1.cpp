// Per-frame cost of the orbiting objects, the shattering screen and the shadow scene with their
// embedded media, one frame a step at advancing times.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "assets/emb.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "scenes/fx_orbit.h"
#include "scenes/fx_shadow.h"
#include "scenes/fx_shatter.h"

static void BM_fx_orbit_render(benchmark::State& state)
{
    std::vector<uint32_t> dst(320 * 240);
    fx_orbit_init();
    int32_t t = 0;
    for (auto _ : state) {
        fx_orbit_render(dst.data(), t++);
        benchmark::ClobberMemory();
    }
    fx_orbit_free();
}
BENCHMARK(BM_fx_orbit_render);

// The stage's own picture as the source; t = 10 x ticks, so the arg's range covers the
// gathering (0..1023) and the turning disc (1024 on).
static void BM_fx_shatter_render(benchmark::State& state)
{
    std::vector<uint8_t> idx(320 * 240);
    uint8_t pal[768];
    std::vector<uint32_t> src(320 * 240), dst(320 * 240);
    if (iff_decode_n(emb_pic_shatter, emb_pic_shatter_size, idx.data(), pal) == -1)
        pix_expand_palette(idx.data(), pal, src.data(), 320 * 240);
    fx_shatter_init();
    const int32_t base = static_cast<int32_t>(state.range(0));
    int32_t k = 0;
    for (auto _ : state) {
        fx_shatter_render(dst.data(), src.data(), base + 10 * (k++ & 63));
        benchmark::ClobberMemory();
    }
    fx_shatter_free();
}
BENCHMARK(BM_fx_shatter_render)->Arg(0)->Arg(1200);

static void BM_fx_shadow_render(benchmark::State& state)
{
    std::vector<uint32_t> dst(320 * 240);
    fx_shadow_init();
    double t = 300;
    for (auto _ : state) {
        fx_shadow_render(dst.data(), t);
        t += 1;
        benchmark::ClobberMemory();
    }
    fx_shadow_free();
}
BENCHMARK(BM_fx_shadow_render);
