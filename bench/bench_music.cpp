// One audio tick of the show's own music at its densest (orders 15 to 18, the loudest part):
// a replay tick and the 16-bit stereo render of its 457 frames, as the audio process does it.
#include <benchmark/benchmark.h>

#include <vector>

#include "assets/emb.h"
#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"

static std::vector<uint8_t> music_copy;

// Loads a fresh copy of the module and plays it silently up to order 15.
static bool music_to_climax()
{
    music_copy.assign(emb_module, emb_module + emb_module_size);
    mix_bind();
    mix_init(32000);
    mix_setmastervol(64);
    if (pt_start_sized(music_copy.data(), uint32_t(music_copy.size())) != 1)
        return false;
    while (pt_order < 15)
        pt_play();
    return true;
}

static void BM_music_tick(benchmark::State& state)
{
    if (!music_to_climax()) {
        state.SkipWithError("module refused");
        return;
    }
    static int16_t out[2 * 10240];
    for (auto _ : state) {
        pt_play();
        mix_render_stereo(reinterpret_cast<uint8_t*>(out), mix_rate / ((pt_bpm * 2) / 5), 1);
        benchmark::DoNotOptimize(out[0]);
        if (pt_order > 18) {
            state.PauseTiming();
            music_to_climax();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_music_tick);
