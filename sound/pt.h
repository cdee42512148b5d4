// Module player: the loader of 31-sample tracker modules (2 to 32 channels, four-character
// channel tag), the replay tick with its effects, and the song position.
//
// The loader rewrites the module's patterns in place (each cell becomes sample, note index,
// effect, parameter), so a module can be loaded once only and must stay in place while it plays:
// the device keeps pointers to its sample bytes.
#pragma once

#include <csignal>
#include <cstdint>

// ---- Loader -------------------------------------------------------------------------------

int pt_start(uint8_t* module);
// Loads a module built into the program and resets the replay: pt_row = pt_order = 0, then
// pt_takemod and, when it succeeds, pt_init. 1 on success, 0 on failure (message in pt_errmsg).
// The module's extent is taken from its own header; use pt_start_sized for bytes from outside.
// Main flow, once, after the sound menu and before the audio process starts.

int pt_start_sized(uint8_t* module, uint32_t size);
// As pt_start for a module of `size` bytes: nothing outside module[0 .. size-1] is ever read or
// written, whatever the bytes hold. The show passes the catalogue's size of the module.

void pt_init();
// Resets the replay state for a song start: order -1, row 63, tick 5, speed 6, tempo 125, so
// that the first pt_play moves to order 0, row 0. Draws the random waveform from rand().

int32_t pt_getpos();
// The song position pt_order x 100 + pt_row as left by the last tick: -37 before the first row
// is played (4294967259 read unsigned). Main flow; two unlocked reads.


struct pt_sample_info {
    uint16_t length;       // bytes (at most 65534: longer samples are cut, see pt_takemod)
    uint8_t finetune;      // 0..15: the row of pt_period_table (8..15 are -8..-1)
    uint16_t volume;       // 0..64
    uint16_t loop_start;   // bytes
    uint16_t loop_length;  // bytes; the sample loops when this is above 2
};

extern pt_sample_info pt_samples[32];
// Samples 1..31 of the loaded module (entry 0 stays zero: "no sample").
extern uint8_t pt_songlen;
// Number of order entries played (1..128; larger song lengths are read as 128).
extern int32_t pt_restart;
// Order index play continues at after the last (0..126).
extern uint8_t pt_orders[128];
// Pattern number per song position.
extern char pt_tag[5];
// The module's four-character tag and a terminating zero.
extern uint16_t pt_channels;
// Channel count N (2..32); 0 until a module is loaded. The replay does nothing while it is 0.
extern uint8_t* pt_patterns[128];
// The converted patterns inside the module (null past the last stored pattern).
extern const char* pt_errmsg;
// The loader's last error text; "" until a load fails.

extern const char pt_tags[22][5];
extern const int pt_tag_channels[22];
// The channel tags in search order, ended by "STOP" with 0 channels.

extern const uint16_t pt_period_table[16][85];
// Amiga periods by finetune row (0..7 = 0..+7, 8..15 = -8..-1) and note index 0..84 (12 notes
// an octave, 7 octaves, lowest first; 84 repeats 83). Largest 3628, smallest 27.

// ---- Replay -------------------------------------------------------------------------------

void pt_play();
// One replay tick: moves tick, row and order and drives the device table (select_channel, then
// set_instrument / set_period / set_volume / set_pan / set_offset per channel, channels in
// order). Runs inside a signal handler: no allocation, no floating point, no library calls but
// the device table's operations. Does nothing while pt_channels is 0.

struct pt_channel {
    int32_t note_period;  // period of the last note at its finetune: the tone portamento target
    int32_t porta_speed;  // last non-zero 3xx parameter
    int32_t sample;       // last sample number given on the channel (0: none yet)
    int32_t volume;       // 0..64, before tremolo
    int32_t note;         // last note index played (0..83), the base of arpeggio
    int32_t period;       // current period, changed by notes and slides
    int32_t finetune;     // 0..15
    int32_t vib_pos, vib_depth, vib_speed;     // position 0..63
    int32_t trem_pos, trem_depth, trem_speed;  // position 0..63; depth is twice the nibble
    int32_t loop_row, loop_count;              // pattern loop
    int32_t delay;        // pattern delay: rows still to wait before the next row
    int32_t pan;          // 0..255, last sent by a sample number or 8xx
    int32_t gliss;        // non-zero: tone portamento steps by semitones
};

extern pt_channel pt_chan[32];
// Per-channel replay state; channels 0..pt_channels-1 are used.

extern int32_t pt_speed;
// Ticks per row; 0 stops the song (every tick then repeats the row's tick-0 part).
extern int32_t pt_bpm;
// Tempo in beats per minute (32..255 once set by a module; 125 after pt_init).
extern int32_t pt_tick;
// Tick within the row, 0..pt_speed-1.
extern volatile sig_atomic_t pt_row;
// Current row 0..63 (for the rest of a row with a jump or break 63, after a loop jump the loop
// row minus one). Written by the replay only; main reads it through pt_getpos.
extern volatile sig_atomic_t pt_order;
// Current index into pt_orders (-1 before the first row). As pt_row.
extern int32_t pt_breakrow;
// The row the next pattern starts at: 0 unless a pattern break set it.
extern int32_t pt_pattern;
// Pattern number of the current order.
extern const uint8_t* pt_rowptr;
// First converted cell of the current row (N cells, channel 0 first); null before the first row.

extern const int16_t* pt_vib_wave;
extern const int16_t* pt_trem_wave;
// Waveforms of vibrato and tremolo, one selection each for all channels.
extern uint8_t pt_default_pan[32];
// Per channel 0..15: the pan a sample number sets is 16 times this. 7, 9, 9, 7 repeated at
// program start; E8x rewrites it and nothing resets it.

extern const int16_t pt_wave_sine[64];
extern const int16_t pt_wave_square[64];
extern int16_t pt_wave_ramp[64];
// 255 - 8 i, built by pt_init
extern int16_t pt_wave_random[64];
// -256..254, drawn from rand() by pt_init
extern const int16_t* const pt_waves[4];
// sine, ramp, square, random: the waveform numbers of E4x and E7x
