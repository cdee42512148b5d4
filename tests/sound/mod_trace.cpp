// mod_trace FILE [TICKS]: loads a module file into our player with a recording device table
// and prints one line per replay tick:
//   <tick count> <tick in row> <order> <row> <speed> <tempo> <mark>
// order and row are those of the row being played (as the replay reads them before any effect
// of the row moves them); mark is R when the tick starts a row, D for the extra tick-0 of a
// pattern delay (no channel played), - otherwise. Exit status 2 when the module is refused.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sound/pt.h"
#include "sound/sd_device.h"

namespace {

int32_t seen_order, seen_row;
bool seen;

int tr_set_sample(int, const int8_t*, uint32_t, uint32_t, uint32_t, int) { return 1; }
void tr_ignore(int32_t) {}
void tr_select(int32_t c)
{
    // channel 0 comes first, before any effect of the row can move order or row
    if (c == 0) {
        seen = true;
        seen_order = pt_order;
        seen_row = pt_row;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: mod_trace FILE [TICKS]\n");
        return 1;
    }
    long ticks = argc > 2 ? strtol(argv[2], nullptr, 10) : 20000;
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> module;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        module.insert(module.end(), buf, buf + n);
    fclose(f);

    sd_device.set_sample = tr_set_sample;
    sd_device.set_channels = tr_ignore;
    sd_device.select_channel = tr_select;
    sd_device.set_volume = tr_ignore;
    sd_device.set_pan = tr_ignore;
    sd_device.set_instrument = tr_ignore;
    sd_device.set_period = tr_ignore;
    sd_device.set_offset = tr_ignore;
    if (pt_start_sized(module.data(), uint32_t(module.size())) != 1) {
        printf("refused: %s\n", pt_errmsg);
        return 2;
    }
    for (long i = 0; i < ticks; i++) {
        bool moving = pt_speed != 0;
        seen = false;
        pt_play();
        char mark = '-';
        if (!seen) {
            seen_order = pt_order;
            seen_row = pt_row;
            mark = pt_tick == 0 ? 'D' : '-';
        } else if (pt_tick == 0 && moving) {
            mark = 'R';
        }
        printf("%ld %d %d %d %d %d %c\n", i, pt_tick, seen_order, seen_row, pt_speed, pt_bpm, mark);
    }
    return 0;
}
