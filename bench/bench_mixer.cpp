// The mixer's render of one tick with every channel busy: looping samples at different pitches
// and pans, as the replay leaves them mid-song.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "sound/mix.h"
#include "sound/sd_device.h"

namespace {

std::vector<int8_t> bench_sample_bytes() {
    std::vector<int8_t> b(8192);
    uint32_t x = 12345;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = (int8_t)(x >> 24);
    }
    return b;
}

void bench_setup(int rate, int channels, const std::vector<int8_t>& bytes) {
    mix_init(rate);
    mix_setchannels(channels);
    mix_setmastervol(64);
    mix_setsample(1, bytes.data(), (uint32_t)bytes.size(), 1000, (uint32_t)bytes.size(), 1);
    for (int c = 0; c < channels; c++) {
        mix_selchannel(c);
        mix_setinstrument(1);
        mix_setperiod(113 + 37 * c);
        mix_setvolume(20 + c);
        mix_setpan((c * 67) & 255);
    }
}

void BM_mix_render_stereo(benchmark::State& state) {
    auto bytes = bench_sample_bytes();
    bench_setup(32000, (int)state.range(0), bytes);
    std::vector<uint8_t> out(4 * 640);
    for (auto _ : state) {
        mix_render_stereo(out.data(), 640, 1);  // one tick at 125 BPM, 32000 Hz 16-bit
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 640);  // frames
}

void BM_mix_render_mono(benchmark::State& state) {
    auto bytes = bench_sample_bytes();
    bench_setup(21700, (int)state.range(0), bytes);
    std::vector<uint8_t> out(434);
    for (auto _ : state) {
        mix_render_mono(out.data(), 434, 0);  // one tick at 125 BPM, 21700 Hz 8-bit
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 434);
}

}  // namespace

BENCHMARK(BM_mix_render_stereo)->Arg(4)->Arg(12)->Arg(32);
BENCHMARK(BM_mix_render_mono)->Arg(4)->Arg(12)->Arg(32);
