// One replay tick of a busy module, driving the mixer's channel operations: every cell holds a sample, a note and an effect that works
// on every tick (arpeggio, slides, portamento, vibrato, tremolo, volume slide, retrigger).
#include <benchmark/benchmark.h>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"
#include "tests/sound/pt_record.h"

namespace {

std::vector<uint8_t> bench_module(int channels)
{
    static const char* tags[] = {"M.K.", "12CH", "32CH"};
    pt_mk_module mk;
    mk.channels = channels;
    mk.tag = channels == 4 ? tags[0] : channels == 12 ? tags[1] : tags[2];
    mk.samples.assign(8, {64, 0, 48, 0, 32});
    mk.orders = {0, 1};
    mk.songlen = 2;
    static const int periods[] = {856, 428, 214, 320, 381, 570, 678, 160};
    static const pt_mk_cell effects[] = {{0, 0, 0, 0x47}, {0, 0, 1, 2},   {0, 0, 2, 3},
                                         {0, 0, 3, 8},    {0, 0, 4, 0x86}, {0, 0, 7, 0x64},
                                         {0, 0, 10, 0x21}, {0, 0, 14, 0x92}, {0, 0, 6, 0x01}};
    for (int p = 0; p < 2; p++)
        for (int r = 0; r < 64; r++)
            for (int c = 0; c < channels; c++) {
                pt_mk_cell cell = effects[(r + c) % 9];
                cell.sample = 1 + (r + c) % 8;
                cell.period = periods[(r * 3 + c) % 8];
                mk.cells.push_back({p, r, c, cell});
            }
    return mk.build();
}

void BM_pt_play(benchmark::State& state)
{
    int channels = int(state.range(0));
    std::vector<uint8_t> m = bench_module(channels);
    // the mixer's own operations, as every device installs them
    mix_init(32000);
    mix_bind();
    if (pt_start_sized(m.data(), uint32_t(m.size())) != 1) {
        state.SkipWithError(pt_errmsg);
        return;
    }
    for (auto _ : state)
        pt_play();
    state.SetItemsProcessed(state.iterations() * channels);
}

}  // namespace

BENCHMARK(BM_pt_play)->Arg(4)->Arg(12)->Arg(32);
