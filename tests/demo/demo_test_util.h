// What the show's tests share: a sound device that makes no sound, and a picture as the frame
// the show would display it in.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "picture/iff.h"
#include "picture/pix.h"
#include "sound/sd_device.h"

// Points the player's device calls at ones that take them and do nothing; safe inside a
// signal handler.
inline void demo_test_silent_player_calls()
{
    sd_device.set_sample = [](int, const int8_t*, uint32_t, uint32_t, uint32_t, int) { return 1; };
    sd_device.set_channels = [](int32_t) {};
    sd_device.select_channel = [](int32_t) {};
    sd_device.set_volume = [](int32_t) {};
    sd_device.set_pan = [](int32_t) {};
    sd_device.set_instrument = [](int32_t) {};
    sd_device.set_period = [](int32_t) {};
    sd_device.set_offset = [](int32_t) {};
}

// A 320x240 picture decoded and expanded through its own palette into a frame32.
inline std::vector<uint32_t> demo_test_picture_frame(const uint8_t* pic, uint32_t size)
{
    std::vector<uint8_t> px(76800), pal(768);
    EXPECT_EQ(iff_decode_n(pic, size, px.data(), pal.data()), -1) << iff_msg;
    std::vector<uint32_t> f(76800);
    pix_expand_palette(px.data(), pal.data(), f.data(), 76800);
    return f;
}
