// Renders a whole module file through the player and the mixer as the 16-bit stereo device would
// (32000 Hz, one tick at a time), to raw signed 16-bit little-endian stereo.
//   mix_modrender <module> <output file> [max seconds]
// The song ends when the speed becomes 0, when play moves to an order already played (the
// restart, or a jump back), or after max seconds (default 600). Prints "ticks <n> frames <n>".
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    double max_s = argc > 3 ? std::atof(argv[3]) : 600.0;
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::perror(argv[1]);
        return 2;
    }
    std::vector<uint8_t> module;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) module.insert(module.end(), buf, buf + n);
    std::fclose(in);
    FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 2;
    }
    sd_nosound_init();  // the table's mixer slots, without opening a device
    mix_init(32000);
    sd_device.set_master(64);
    if (!pt_start_sized(module.data(), (uint32_t)module.size())) {
        std::fprintf(stderr, "%s\n", pt_errmsg);
        return 1;
    }
    std::vector<bool> seen(128, false);
    long ticks = 0, frames = 0;
    int32_t order = -1;
    while (frames < max_s * 32000) {
        pt_play();
        if (pt_order != order) {
            order = pt_order;
            if (order < 0 || order > 127 || seen[order]) break;
            seen[order] = true;
        }
        if (pt_speed == 0) break;
        int len = sd_ticklen(2, pt_bpm);
        mix_render_stereo(sd_buffer, len / 4, 1);
        if (std::fwrite(sd_buffer, 1, len, out) != (size_t)len) return 2;
        ticks++;
        frames += len / 4;
    }
    if (std::fclose(out) != 0) return 2;
    std::printf("ticks %ld frames %ld\n", ticks, frames);
    return 0;
}
