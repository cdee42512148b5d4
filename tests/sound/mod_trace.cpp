// mod_trace FILE [TICKS]: loads a module file into our player with an inert device table and
// prints one line per replay tick:
//   <tick count> <tick in row> <order> <row> <speed> <tempo> <mark>
// order and row are those of the row being played (as the replay reads them before any effect
// of the row moves them); mark is R when the tick starts a row, D for the extra tick-0 of a
// pattern delay (no channel played), - otherwise.
// mod_trace --render FILE OUT: renders the song as the 16-bit stereo device would (32000 Hz, one
// tick at a time) to raw signed 16-bit little-endian stereo, until the speed becomes 0 or play
// moves to an order already played, or after 600 s.
// Exit status 2 when the module is refused.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"

namespace {

int32_t seen_order, seen_row;
bool seen;

void tr_select(int32_t c)
{
    mix_selchannel(c);
    if (c == 0) {  // channel 0 comes first, before any effect of the row can move order or row
        seen = true;
        seen_order = pt_order;
        seen_row = pt_row;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    bool render = argc > 1 && std::strcmp(argv[1], "--render") == 0;
    if (argc < 2 + render)
        return 1;
    FILE* f = std::fopen(argv[1 + render], "rb");
    if (!f)
        return 1;
    std::vector<uint8_t> module;
    for (int c; (c = std::fgetc(f)) != EOF;)
        module.push_back(uint8_t(c));
    std::fclose(f);
    sd_nosound_init();  // the mixer's operations, without opening a device
    mix_init(32000);
    sd_device.set_master(64);
    sd_device.select_channel = tr_select;
    if (pt_start_sized(module.data(), uint32_t(module.size())) != 1) {
        std::printf("refused: %s\n", pt_errmsg);
        return 2;
    }
    if (render) {
        FILE* out = std::fopen(argv[3], "wb");
        std::vector<bool> played(128, false);
        int32_t order = -1;
        for (long frames = 0; out && frames < 600L * 32000;) {
            pt_play();
            if (pt_order != order && (order = pt_order, played[order & 127]))
                break;
            played[order & 127] = true;
            if (pt_speed == 0)
                break;
            int len = sd_ticklen(2, pt_bpm);
            mix_render_stereo(sd_buffer, len / 4, 1);
            std::fwrite(sd_buffer, 1, len, out);
            frames += len / 4;
        }
        return out && std::fclose(out) == 0 ? 0 : 1;
    }
    long ticks = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 20000;
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
        std::printf("%ld %d %d %d %d %d %c\n", i, pt_tick, seen_order, seen_row, pt_speed, pt_bpm, mark);
    }
    return 0;
}
