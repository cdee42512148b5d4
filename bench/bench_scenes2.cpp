// Whole frames of the lattice flight and the bouncing object, built from the embedded assets:
// camera path, 374 objects, palette expansion and overlay; two textured objects over the
// background. The clock advances 7 ticks a frame, as at 10 frames a second of the demo clock,
// so the benchmark walks through many camera positions and both phases of the bounce.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine3d/fl_face_list.h"
#include "scenes/fx_bounce.h"
#include "scenes/fx_lattice.h"

static void BM_fx_lattice_render(benchmark::State& state)
{
    if (fx_lattice_init() != 0) {
        state.SkipWithError("fx_lattice_init failed");
        fx_lattice_free();
        return;
    }
    std::vector<uint32_t> frame(320 * 240);
    int32_t t = 0;
    int64_t faces = 0;
    for (auto _ : state) {
        fx_lattice_render(frame.data(), t);
        benchmark::DoNotOptimize(frame.data());
        faces += fl_count;
        t += 7;
    }
    state.counters["faces_per_frame"] = benchmark::Counter(static_cast<double>(faces) / static_cast<double>(state.iterations()));
    fx_lattice_free();
}
BENCHMARK(BM_fx_lattice_render)->Unit(benchmark::kMicrosecond);

static void BM_fx_bounce_render(benchmark::State& state)
{
    if (fx_bounce_init() != 0) {
        state.SkipWithError("fx_bounce_init failed");
        fx_bounce_free();
        return;
    }
    std::vector<uint32_t> frame(320 * 240);
    int32_t t = 0;
    for (auto _ : state) {
        fx_bounce_render(frame.data(), t);
        benchmark::DoNotOptimize(frame.data());
        t = (t + 7) % 1400;   // both phases: the bounces and the rest
    }
    fx_bounce_free();
}
BENCHMARK(BM_fx_bounce_render)->Unit(benchmark::kMicrosecond);
