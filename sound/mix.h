// The software mixer: up to 32 channels of signed 8-bit samples, each stepped at a 32.32
// fixed-point rate from a tracker period, scaled through a volume table, summed in 32-bit
// accumulators and converted to the device's format. The player reaches it only through the
// device table (sd_device); the audio process calls one renderer per tick.
//
// Two banks: the device operations write the register bank mix_regs; every render first latches
// each record into the voice bank mix_voices, which it mixes and whose positions it advances.
// Everything here runs inside the signal handler that plays the replay tick: no allocation, no
// locks, no library calls in the render.
#pragma once

#include <cstdint>

struct mix_channel {
    const int8_t* data;   // the sample's bytes
    int32_t sample;       // sample number last given to set_instrument
    int32_t volume;       // 0..64
    uint32_t pos_frac;    // fraction of the position, 1/2^32 of a byte
    uint32_t pos;         // integer part of the position: index into data
    uint32_t step_frac;   // fraction of the advance per output frame; low 8 bits always 0
    uint32_t step;        // integer part of the advance per output frame
    uint32_t loop_start;  // byte offset where the loop begins
    uint32_t loop_end;    // byte offset where the loop wraps (exclusive)
    int32_t looping;      // 1 loop, 0 play once
    uint32_t length;      // sample length in bytes; 0 means no sample
    int32_t pan;          // 0 (full left) .. 255 (full right)
    int32_t new_step;     // 1 when step/step_frac were set since the last latch
    int32_t retrigger;    // 1 when pos/pos_frac were set since the last latch
};

constexpr uint32_t mix_clock = 3546836;  // the period clock: frames per second x period
constexpr int mix_acc_size = 20480;      // accumulators: frames in mono, twice the frames in stereo

extern mix_channel mix_regs[32];
// register bank: written by the device operations (replay tick)
extern mix_channel mix_voices[32];
// voice bank: latched from mix_regs and mixed by the renderers, which own its positions
extern int mix_curchan;
// the channel that the channel operations act on (0..31)
extern int mix_rate;
// output frames per second: 44100 until mix_init (21700 or 32000)
extern int mix_master;
// master volume 0..252: 63 until set (the menu sets 64)
extern int mix_channels;
// channels mixed, 0..32: 4 until the loader sets the module's count
extern int32_t mix_voltab[256][256];
// volume table: [v][s] = v x (s as a signed byte); built by mix_init, zero before
extern int32_t mix_acc[mix_acc_size];
// accumulators of the last render: one per frame in mono, left/right pairs in stereo

// Device operations, placed into sd_device by mix_bind. The channel operations act on the
// current channel and test none of their arguments (channel 0..31, sample 0..31, period >= 1).
int mix_setsample(int i, const int8_t* data, uint32_t length, uint32_t loop_start,
                  uint32_t loop_end, int looping);
// mix_sample[i] = the five values unchanged; returns 1
void mix_selchannel(int32_t c);
// current channel = c
void mix_setinstrument(int32_t s);
// data, length and loop fields from mix_sample[s]; position, step, volume, pan untouched
void mix_setperiod(int32_t period);
// step from the period at mix_rate (24-bit fraction); new_step = 1. A period below 1 gives
// step 0, so the channel holds its place.
void mix_setvolume(int32_t v);
// volume = v
void mix_setpan(int32_t p);
// pan = p
void mix_setoffset(int32_t o);
// o > loop_end (unsigned) ends looping; o < length (unsigned) restarts the channel at byte o
void mix_setmastervol(int32_t v);
// mix_master = v, at most 252
void mix_setchannels(int32_t n);
// mix_channels = n

void mix_bind();
// stores the nine operations above into their sd_device slots; every device initialiser calls it
void mix_init(int rate);
// the device's start: sets mix_rate, resets both banks and the sample table, builds mix_voltab

void mix_render_mono(uint8_t* out, int n, int is16);
// renders n frames: n bytes of unsigned 8-bit (is16 = 0) or n signed 16-bit little-endian
// values (is16 = 1). Audio process only (signal handler): no allocation, no floating point.
void mix_render_stereo(uint8_t* out, int n, int is16);
// renders n frames of left/right pairs: 2n bytes (is16 = 0) or 4n bytes (is16 = 1).
