// Test helper: plays a copy of a module through our player and software mixer, as the 16-bit
// stereo device does (32000 frames a second, master volume 64, rate / ((tempo x 2) / 5) frames
// a tick), and hands every tick's frames to a callback.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"

struct music_tick {
    long tick;             // replay ticks played so far, this one included
    int32_t pos;           // pt_getpos after the tick
    const int16_t* frames; // left/right pairs
    int count;             // frames this tick
};

// Renders `ticks` ticks of `module` (copied: the loader converts in place). Returns 0 when the
// module is refused, else 1.
template <typename F> int music_render(const uint8_t* module, uint32_t size, long ticks, F&& each)
{
    static std::vector<uint8_t> copy;
    copy.assign(module, module + size);
    mix_bind();
    mix_init(32000);
    mix_setmastervol(64);
    if (pt_start_sized(copy.data(), size) != 1)
        return 0;
    std::vector<int16_t> buf(2 * 10240);
    for (long t = 1; t <= ticks; t++) {
        pt_play();
        int n = mix_rate / ((pt_bpm * 2) / 5);
        mix_render_stereo(reinterpret_cast<uint8_t*>(buf.data()), n, 1);
        each(music_tick{t, pt_getpos(), buf.data(), n});
    }
    return 1;
}

// Writes 16-bit stereo frames as a WAV file; false when it cannot.
inline bool music_write_wav(const std::string& path, const std::vector<int16_t>& frames, int rate)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    auto u32 = [&](uint32_t v) { fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { fwrite(&v, 2, 1, f); };
    uint32_t bytes = uint32_t(frames.size() * 2);
    fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(uint32_t(rate));
    u32(uint32_t(rate * 4));
    u16(4);
    u16(16);
    fwrite("data", 1, 4, f);
    u32(bytes);
    bool ok = fwrite(frames.data(), 2, frames.size(), f) == frames.size();
    return fclose(f) == 0 && ok;
}
