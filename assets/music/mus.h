// The show's music generator: synthesises the 28 samples, writes the song's 24 patterns and its
// order list, and stores both as a 12-channel tracker module (tag "12CH"). Deterministic: no
// clock, no std::rand; the same bytes on every build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int mus_channels = 12;
constexpr int mus_patterns = 24;
constexpr int mus_no_note = -1;

// The player's clock constant: a sample played at period P runs at mus_clock / P bytes a second.
constexpr double mus_clock = 3546836.0;

extern const uint16_t mus_period_row0[85];
// Periods of finetune 0 by note index 0..84; the notes stored in the patterns use this row.
extern const uint16_t mus_period_row13[85];
// Periods of finetune -3 (header value 13) by note index.

uint16_t mus_period(int finetune, int index);
// Period of note `index` at finetune 0 or 13 (the two the music uses).

struct mus_sample {
    std::string name;           // at most 22 characters
    std::vector<int8_t> data;   // even length, at most 65534 bytes, data[0] == 0
    uint8_t finetune = 0;       // 0 or 13
    uint8_t volume = 64;        // 0..64
    uint32_t loop_start = 0;    // bytes, even
    uint32_t loop_length = 0;   // bytes, even; 0 = plays once
};

void mus_make_samples(std::vector<mus_sample>& samples);
// Fills samples[1..31] (index 0 unused; 2, 16 and 18 stay empty).

struct mus_cell {
    uint8_t sample = 0;     // 0 = none
    int8_t note = mus_no_note;  // note index 0..83, or mus_no_note
    uint8_t effect = 0;     // 0..15
    uint8_t param = 0;
};

struct mus_pattern {
    mus_cell cell[64][mus_channels];
};

void mus_compose(std::vector<mus_pattern>& patterns, std::vector<uint8_t>& orders,
                 const std::vector<mus_sample>& samples);
// Writes the 24 patterns and the 26-entry order list (the samples give the default volumes).

std::vector<uint8_t> mus_write_module(const char* title, const std::vector<mus_sample>& samples,
                                      const std::vector<mus_pattern>& patterns,
                                      const std::vector<uint8_t>& orders, uint8_t restart);
// The module's bytes: title, 31 sample headers, song length, restart, 128 orders, "12CH",
// patterns (periods from mus_period_row0), sample data.
