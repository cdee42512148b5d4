// Sound test helpers (the benchmark uses them too): a recording device table, a module builder.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sound/pt.h"
#include "sound/sd_device.h"

struct pt_rec_sample { int i; const int8_t* data; uint32_t length, loop_start, loop_end; int looping; };

// What the device got: samples, set_channels arguments, and the calls as text, space separated:
// "c<ch>" select_channel, "v<vol>", "p<pan>", "i<sample>", "P<period>", "o<offset>".
struct pt_rec_state { std::vector<pt_rec_sample> samples; std::vector<int32_t> channels; std::string calls; };
inline pt_rec_state pt_rec;

template <char op> void pt_rec_put(int32_t v) { pt_rec.calls += (pt_rec.calls.empty() ? "" : " ") + (op + std::to_string(v)); }

inline void pt_rec_install() {
    pt_rec = {};
    sd_device.set_sample = [](int i, const int8_t* d, uint32_t len, uint32_t ls, uint32_t le, int lp) {
        return pt_rec.samples.push_back({i, d, len, ls, le, lp}), 1;
    };
    sd_device.set_channels = [](int32_t n) { pt_rec.channels.push_back(n); };
    sd_device.select_channel = pt_rec_put<'c'>, sd_device.set_volume = pt_rec_put<'v'>, sd_device.set_pan = pt_rec_put<'p'>;
    sd_device.set_instrument = pt_rec_put<'i'>, sd_device.set_period = pt_rec_put<'P'>, sd_device.set_offset = pt_rec_put<'o'>;
}

inline std::string pt_rec_tick() {  // one tick's calls
    pt_rec.calls.clear();
    return pt_play(), pt_rec.calls;
}

// A cell as a tracker stores it: sample number, Amiga period (0: none), effect, parameter.
struct pt_mk_cell { int sample = 0, period = 0, effect = 0, param = 0; };
struct pt_mk_sample { int length_words = 0, finetune = 0, volume = 64, loop_start_words = 0, loop_length_words = 1; };

// A module image: patterns of 64 rows, empty but for `cells`; sample s's bytes are s*4+k.
struct pt_mk_module {
    const char* tag = "M.K.";
    int channels = 4, songlen = 1, restart = 0;
    std::vector<int> orders{0};
    std::vector<pt_mk_sample> samples{};  // sample 1 first
    struct put { int pattern, row, channel; pt_mk_cell cell; };
    std::vector<put> cells{};

    std::vector<uint8_t> build() const {
        std::vector<uint8_t> m(1084 + size_t(256) * channels * (*std::max_element(orders.begin(), orders.end()) + 1), 0);
        for (size_t s = 0; s < samples.size(); s++) {
            const pt_mk_sample& sm = samples[s];
            const int v[] = {sm.length_words, sm.finetune << 8 | sm.volume, sm.loop_start_words, sm.loop_length_words};
            for (int k = 0; k < 8; k++) m[42 + 30 * s + k] = uint8_t(v[k / 2] >> (k & 1 ? 0 : 8));
            for (int k = 0; k < 2 * sm.length_words; k++) m.push_back(uint8_t((s + 1) * 4 + k));
        }
        m[950] = uint8_t(songlen), m[951] = uint8_t(restart);
        std::copy(orders.begin(), orders.end(), &m[952]), memcpy(&m[1080], tag, 4);
        for (const put& p : cells) {
            const pt_mk_cell& c = p.cell;
            const int v[] = {(c.sample & 0xf0) | ((c.period >> 8) & 15), c.period, ((c.sample & 15) << 4) | (c.effect & 15), c.param};
            std::copy(v, v + 4, &m[1084 + 256 * channels * p.pattern + 4 * (channels * p.row + p.channel)]);
        }
        return m;
    }
};

// Loads `m` (kept by the caller) with the recording device; pt_start_sized's result.
inline int pt_rec_load(std::vector<uint8_t>& m, size_t size = SIZE_MAX) {
    pt_rec_install(), pt_errmsg = "";
    return pt_start_sized(m.data(), uint32_t(std::min(size, m.size())));
}
