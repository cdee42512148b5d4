// Any sequence of the player's mixer operations and renders, with samples of exactly their
// length and loop points of any value, stays inside the sample bytes and the buffers. Inputs are
// cut at 512 bytes and renders at 16384 frames an input, which keeps a run over 1000 inputs a
// second.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "sound/mix.h"
#include "sound/sd_device.h"

static uint32_t take32(const uint8_t*& p, const uint8_t* end) {
    uint32_t v = 0;
    for (int i = 0; i < 4 && p < end; i++) v |= (uint32_t)*p++ << (8 * i);
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 512) return 0;
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    mix_init(*p++ & 1 ? 32000 : 21700);
    mix_setmastervol(64);
    // every sample stays alive for the whole input, as a module does while it plays
    std::vector<std::unique_ptr<int8_t[]>> samples;
    static uint8_t out[4 * 2048];
    int frames_left = 16384;
    while (p < end) {
        uint8_t op = *p++;
        uint32_t v = take32(p, end);
        switch (op % 11) {
        case 0: {  // a sample of exactly v % 3000 bytes, loop points from the input
            uint32_t n = v % 3000;
            samples.emplace_back(new int8_t[n ? n : 1]);
            std::memset(samples.back().get(), (int8_t)(v >> 16), n ? n : 1);
            uint32_t ls = take32(p, end), le = take32(p, end);
            mix_setsample(1 + (op >> 4) % 3, samples.back().get(), n, ls % 4000, le % 4000, (op >> 6) & 1);
            break;
        }
        case 1: mix_selchannel((int32_t)v); break;
        case 2: mix_setinstrument((int32_t)(v % 40)); break;
        case 3: mix_setperiod((int32_t)v); break;
        case 4: mix_setvolume((int32_t)(v % 80)); break;
        case 5: mix_setpan((int32_t)v); break;
        case 6: mix_setoffset((int32_t)v); break;
        case 7: mix_setmastervol((int32_t)v); break;
        case 8: mix_setchannels((int32_t)(v % 40)); break;
        case 9:
        case 10: {
            int n = 1 + (int)(v % 2048);
            if ((frames_left -= n) < 0) return 0;
            (op % 11 == 9 ? mix_render_stereo : mix_render_mono)(out, n, (v >> 16) & 1);
            break;
        }
        }
    }
    return 0;
}
