// The show's sound steps on their own: the sound menu, a module built in code, the audio process
// for a given time, then the stop. Prints what it saw; used by the end-to-end tests.
//   sd_showtool <milliseconds> [tempo] [channels]
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"
#include "sound/tmr.h"
#include "tests/sound/sd_testmod.h"

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    double ms = std::atof(argv[1]);
    int tempo = argc > 2 ? std::atoi(argv[2]) : 125;
    int channels = argc > 3 ? std::atoi(argv[3]) : 4;
    if (!sd_menu()) {
        std::printf("Sound device failure. Exiting.\n");
        return 1;
    }
    static std::vector<uint8_t> module = sd_testmod(channels, tempo);
    pt_start_sized(module.data(), (uint32_t)module.size());
    sd_fork(70);
    double start = now_ms();
    while (now_ms() - start < ms) {
        timespec t = {0, 5000000};
        nanosleep(&t, nullptr);  // SIGCHLD cuts it short: the loop goes on
    }
    std::printf("pos %d ticks %d\n", (int)pt_getpos(), tmr_getcount());
    std::fflush(stdout);
    sd_stop();
    return 0;
}
