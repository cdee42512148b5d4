// The sound device table: every sound operation of the player goes through it. One of the three
// device initialisers fills it once at the menu; it is then unchanged for the life of the process.
#pragma once

#include <cstdint>

struct sd_device_table {
    int (*set_sample)(int i, const int8_t* data, uint32_t length, uint32_t loop_start,
                      uint32_t loop_end, int looping);
    // stores sample i (1..31) unchanged into mix_sample; returns 1 (0, storing nothing, for an
    // i outside 0..31). Called by the module loader.
    void (*stop)();
    // stops the device's output (empty in every device). sd_stop.
    void (*hook2)();
    // unused slot (empty in every device)
    void (*set_period)(int32_t period);
    // the current channel's period (Amiga period units). Replay tick.
    void (*set_channels)(int32_t n);
    // number of channels mixed, 0..32. Module loader.
    void (*close)();
    // closes fd (the dsp devices) or nothing. sd_stop.
    void (*set_offset)(int32_t offset);
    // restarts the current channel at a byte offset into its sample. Replay tick.
    void (*select_channel)(int32_t c);
    // the channel that the next set_* calls act on. Replay tick.
    void (*set_pan)(int32_t pan);
    // 0 (left) .. 255 (right), current channel. Replay tick.
    void (*start)();
    // starts the mixer at the device's rate (dsp devices) or nothing. sd_menu.
    void (*set_instrument)(int32_t s);
    // the current channel's sample 0..31 (0: none). Replay tick.
    void (*play)();
    // empty in every device. sd_menu.
    int fd = -1;
    // the /dev/dsp descriptor of the two dsp devices; unset (-1) for the no-sound device
    void (*set_master)(int32_t v);
    // master volume 0..252 (higher is cut to 252); the menu sets 64
    void (*set_volume)(int32_t v);
    // the current channel's volume 0..64. Replay tick.
};

extern sd_device_table sd_device;
// The table itself. Filled by sd_nosound_init, sd_dsp8_init or sd_dsp16_init; tests install
// recording operations of their own.

struct mix_sample_entry {
    const int8_t* data;   // first byte of the sample, in the module image (not copied)
    uint32_t length;      // bytes
    uint32_t loop_start;  // byte offset where the loop begins
    uint32_t loop_end;    // exclusive end of the loop: playing wraps back to loop_start here
    int32_t looping;      // 1 when the sample loops, 0 when it plays once
};

extern mix_sample_entry mix_sample[32];
// The sample table that follows the device table, indexed by sample number (the loader fills
// 1..31). Cleared by mix_init.

extern int sd_devnum;
// chosen device: 0 none, 1 /dev/dsp 8-bit mono, 2 /dev/dsp 16-bit stereo; 0 until the menu
extern const char* sd_devname;
// name of the installed device; "" until an initialiser succeeds
extern const char* sd_errtext;
// message of an initialiser that failed; "" until then

int sd_menu();
// Asks for the device on standard output/input (one word; its first character decides),
// installs and starts it with master volume 64, and empties the sync registry. 1 on success,
// 0 for a wrong answer, end of input or a device that cannot be opened. Main flow, once, first.

int sd_nosound_init();
// No sound: mixer operations only, nothing opened, fd left unset; always 1.
int sd_dsp8_init();
// /dev/dsp as unsigned 8-bit mono at 21700 Hz (2 fragments of 2048 bytes). 1, or 0 with
// sd_errtext set when the device cannot be opened (then no slot is changed).
int sd_dsp16_init();
// /dev/dsp as signed 16-bit little-endian stereo at 32000 Hz (2 fragments of 8192 bytes).
// 1, or 0 with sd_errtext set.

void sd_setmastervol_f(double x);
// set_master with 63 x, truncated toward zero.

