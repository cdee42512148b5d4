// A small tracker module built in code for the sound tests: one looping square-wave sample and
// one one-shot ramp, notes on every channel, at a chosen tempo and channel count.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

inline void sd_testmod_cell(std::vector<uint8_t>& m, int channels, int row, int ch, int sample,
                            int period, int effect, int param) {
    uint8_t* c = &m[1084 + (row * channels + ch) * 4];
    c[0] = (uint8_t)((sample & 0xF0) | ((period >> 8) & 0x0F));
    c[1] = (uint8_t)(period & 0xFF);
    c[2] = (uint8_t)(((sample & 0x0F) << 4) | (effect & 0x0F));
    c[3] = (uint8_t)param;
}

// channels: 4 ("M.K."), 6, 8 ("6CHN", "8CHN") or 12 ("12CH"); tempo 32..255 set on row 0.
inline std::vector<uint8_t> sd_testmod(int channels, int tempo) {
    const int sq_len = 64, ramp_len = 512;
    std::vector<uint8_t> m(1084 + 256 * channels + sq_len + ramp_len, 0);
    auto put16 = [&](int at, int v) {
        m[at] = (uint8_t)(v >> 8);
        m[at + 1] = (uint8_t)v;
    };
    // sample 1: square wave, looping over all of it; sample 2: ramp, played once
    put16(20 + 22, sq_len / 2);
    m[20 + 25] = 64;
    put16(20 + 26, 0);
    put16(20 + 28, sq_len / 2);
    put16(50 + 22, ramp_len / 2);
    m[50 + 25] = 48;
    put16(50 + 28, 1);
    m[950] = 1;  // song length: order 0 only, played again and again
    const char* tag = channels == 4 ? "M.K." : channels == 6 ? "6CHN" : channels == 8 ? "8CHN" : "12CH";
    std::memcpy(&m[1080], tag, 4);
    const int periods[] = {428, 339, 285, 214, 381, 320, 254, 226};
    for (int row = 0; row < 64; row++)
        for (int ch = 0; ch < channels; ch++)
            if ((row + ch) % 4 == 0)
                sd_testmod_cell(m, channels, row, ch, 1 + (row / 4 + ch) % 2, periods[(row / 4 + ch) % 8], 0, 0);
    sd_testmod_cell(m, channels, 0, channels - 1, 0, 0, 0xF, tempo);
    uint8_t* d = &m[1084 + 256 * channels];
    for (int i = 0; i < sq_len; i++) d[i] = (uint8_t)(i < sq_len / 2 ? 100 : -100);
    for (int i = 0; i < ramp_len; i++) d[sq_len + i] = (uint8_t)(int8_t)((i % 128) - 64);
    return m;
}
