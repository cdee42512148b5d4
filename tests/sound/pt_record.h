// Test helpers for the module player: a recording device table and a builder of small modules.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sound/pt.h"
#include "sound/sd_device.h"

// One set_sample call as the device received it.
struct pt_rec_sample {
    int i;
    const int8_t* data;
    uint32_t length, loop_start, loop_end;
    int looping;
};

// Everything the recording device saw. Replay calls are text: "c<ch>" select_channel,
// "v<vol>", "p<pan>", "i<sample>", "P<period>", "o<offset>", separated by spaces.
struct pt_rec_state {
    std::vector<pt_rec_sample> samples;
    std::vector<int32_t> channels;  // set_channels arguments
    std::string calls;
};

inline pt_rec_state pt_rec;

inline void pt_rec_put(char op, int32_t v)
{
    if (!pt_rec.calls.empty())
        pt_rec.calls += ' ';
    pt_rec.calls += op;
    pt_rec.calls += std::to_string(v);
}

// Installs the recording operations in sd_device and forgets earlier calls.
inline void pt_rec_install()
{
    pt_rec = {};
    sd_device.set_sample = [](int i, const int8_t* d, uint32_t len, uint32_t ls, uint32_t le,
                              int looping) {
        pt_rec.samples.push_back({i, d, len, ls, le, looping});
        return 1;
    };
    sd_device.set_channels = [](int32_t n) { pt_rec.channels.push_back(n); };
    sd_device.select_channel = [](int32_t c) { pt_rec_put('c', c); };
    sd_device.set_volume = [](int32_t v) { pt_rec_put('v', v); };
    sd_device.set_pan = [](int32_t v) { pt_rec_put('p', v); };
    sd_device.set_instrument = [](int32_t v) { pt_rec_put('i', v); };
    sd_device.set_period = [](int32_t v) { pt_rec_put('P', v); };
    sd_device.set_offset = [](int32_t v) { pt_rec_put('o', v); };
}

// Plays one tick and returns the calls it made.
inline std::string pt_rec_tick()
{
    pt_rec.calls.clear();
    pt_play();
    return pt_rec.calls;
}

// A cell as a tracker stores it: sample number, Amiga period (0: none), effect, parameter.
struct pt_mk_cell {
    int sample = 0;
    int period = 0;
    int effect = 0;
    int param = 0;
};

struct pt_mk_sample {
    int length_words = 0;
    int finetune = 0;
    int volume = 64;
    int loop_start_words = 0;
    int loop_length_words = 1;
};

// Builds a module image: the tag, song length, restart byte, orders (the rest 0), samples
// (the rest empty), and patterns of 64 rows x channels cells, given as (pattern, row, channel,
// cell) entries on an otherwise empty pattern set. Sample data bytes are s*4+k (mod 256).
struct pt_mk_module {
    const char* tag = "M.K.";
    int channels = 4;
    int songlen = 1;
    int restart = 0;
    std::vector<int> orders{0};
    std::vector<pt_mk_sample> samples;  // sample 1 first
    struct put {
        int pattern, row, channel;
        pt_mk_cell cell;
    };
    std::vector<put> cells;

    std::vector<uint8_t> build() const
    {
        int npat = 1;
        for (int o : orders)
            npat = o + 1 > npat ? o + 1 : npat;
        std::vector<uint8_t> m(1084 + size_t(256) * channels * npat, 0);
        for (size_t s = 0; s < samples.size() && s < 31; s++) {
            uint8_t* h = &m[20 + 30 * s];
            const pt_mk_sample& sm = samples[s];
            h[22] = uint8_t(sm.length_words >> 8);
            h[23] = uint8_t(sm.length_words);
            h[24] = uint8_t(sm.finetune);
            h[25] = uint8_t(sm.volume);
            h[26] = uint8_t(sm.loop_start_words >> 8);
            h[27] = uint8_t(sm.loop_start_words);
            h[28] = uint8_t(sm.loop_length_words >> 8);
            h[29] = uint8_t(sm.loop_length_words);
        }
        m[950] = uint8_t(songlen);
        m[951] = uint8_t(restart);
        for (size_t i = 0; i < orders.size() && i < 128; i++)
            m[952 + i] = uint8_t(orders[i]);
        memcpy(&m[1080], tag, 4);
        for (const put& p : cells) {
            uint8_t* c = &m[1084 + 256 * channels * p.pattern + 4 * (channels * p.row + p.channel)];
            c[0] = uint8_t((p.cell.sample & 0xf0) | ((p.cell.period >> 8) & 15));
            c[1] = uint8_t(p.cell.period);
            c[2] = uint8_t(((p.cell.sample & 15) << 4) | (p.cell.effect & 15));
            c[3] = uint8_t(p.cell.param);
        }
        for (size_t s = 0; s < samples.size(); s++)
            for (int k = 0; k < 2 * samples[s].length_words; k++)
                m.push_back(uint8_t((s + 1) * 4 + k));
        return m;
    }
};
