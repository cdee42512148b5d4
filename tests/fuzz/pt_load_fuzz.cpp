// Loads arbitrary bytes as a module and plays a few hundred ticks with the sync dispatcher:
// nothing may be read or written outside the bytes or the player's tables. Inputs are cut at
// 12 KB (a 32-channel pattern and some sample bytes), which keeps a run over 1000 inputs a second.
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/pt.h"
#include "sound/sd_device.h"
#include "sound/sync.h"

namespace {

uint32_t sink;

int fz_set_sample(int i, const int8_t* data, uint32_t length, uint32_t loop_start, uint32_t loop_end,
                  int looping)
{
    // touch the first and last byte the device would play
    if (i < 1 || i > 31 || loop_start > loop_end || loop_end > length)
        __builtin_trap();
    if (length > 0)
        sink += uint8_t(data[0]) + uint8_t(data[length - 1]) + uint32_t(looping);
    return 1;
}
void fz_int(int32_t v) { sink += uint32_t(v); }
void fz_instrument(int32_t s) { if (s < 0 || s > 31) __builtin_trap(); }
void fz_period(int32_t p) { if (p < 1) __builtin_trap(); }
void fz_callback() { sink++; }

const sync_record fz_records[2] = {{-1, -1, 1, 31, -1, -1, -1, -1, -1, -1, -1, -1, 3, 0, 1, -1, -1},
                                   {0, 3, -1, -1, -1, -1, 12, 12, 0, 64, 0, 127, 1, -1, -1, 0, 0}};
const sync_handler fz_handler = {fz_callback, 2, fz_records};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 12288) return 0;
    sd_device.set_sample = fz_set_sample;
    sd_device.set_channels = sd_device.select_channel = sd_device.set_volume = sd_device.set_pan = sd_device.set_offset = fz_int;
    sd_device.set_period = fz_period;
    sd_device.set_instrument = fz_instrument;
    if (sync_count == 0) sync_register(&fz_handler);
    // an exact-size copy, so that the sanitizer sees any read past the end
    std::vector<uint8_t> module(data, data + size);
    if (pt_start_sized(module.data(), uint32_t(size)) == 1)
        for (int t = 0; t < 600; t++) pt_play(), sync_dispatch();
    return 0;
}
