// Palette shade tables: level rounding, shaded and blended palettes, quantised texels and the
// bump material.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine3d/pal_shade.h"

TEST(ShadePalette, RampModulatesTheBase)
{
    std::vector<uint8_t> base(768), ramp(768), out(768, 0xee);
    for (int c = 0; c < 16; c++) {
        base[3 * c] = 200;
        base[3 * c + 1] = 100;
        base[3 * c + 2] = 0;
    }
    // ramp colours 0, 4, 8, ...: level 0 black, level 1 white, the rest grey 128
    for (int i = 0; i < 256; i++)
        ramp[3 * i] = ramp[3 * i + 1] = ramp[3 * i + 2] = 128;
    std::memset(&ramp[0], 0, 3);
    std::memset(&ramp[12], 255, 3);
    pal_shade_ramp(base.data(), ramp.data(), out.data(), 16, 4);
    for (int e = 0; e < 256; e++)
        EXPECT_NE(out[3 * e + 2], 0xee) << "entry " << e << " not written";
    const uint8_t level0[3] = {99, 49, 0}, level1[3] = {199, 99, 0};
    EXPECT_EQ(std::memcmp(&out[3 * 5], level0, 3), 0);         // level 0, colour 5
    EXPECT_EQ(std::memcmp(&out[3 * (16 + 5)], level1, 3), 0);  // level 1, colour 5
    EXPECT_EQ(out[3 * (32 + 5)], (383 * 200) >> 9);            // level 2, grey 128

    // A blend at 0 % or 100 % does nothing; 25 % mixes a quarter of the ramp in.
    std::vector<uint8_t> kept = out;
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 0);
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 100);
    EXPECT_EQ(out, kept);
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 25);
    EXPECT_EQ(out[3 * (16 + 5)], (200 * 75 + 255 * 25) / 100);
    EXPECT_EQ(out[3 * 5 + 1], (100 * 75 + 0) / 100);

    // Level counts beyond 16 or steps past the ramp's end write nothing outside the palettes
    // (the sanitizer build checks) and leave the entries they cannot fill.
    std::vector<uint8_t> small(768, 0xee);
    pal_shade_ramp(base.data(), ramp.data(), small.data(), 128, 200);
    EXPECT_EQ(small[3 * 255], 0xee);
}

TEST(ShadePalette, QuantisedTexelsKeepTheirGroup)
{
    std::vector<uint8_t> tex(65536 + 1024);
    const uint8_t in[] = {0, 3, 4, 63, 200, 255};
    const uint8_t want[] = {0, 0, 16, 240, 32, 240};
    for (int i = 0; i < 65536; i++)
        tex[i] = in[i % 6];
    tex[65536] = 77;  // the spare rows stay
    pal_quantise_texels(tex.data(), 16, 4);
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(tex[i], want[i % 6]) << int(in[i % 6]);
    EXPECT_EQ(tex[65535], want[65535 % 6]);
    EXPECT_EQ(tex[65536], 77);
    pal_quantise_texels(tex.data(), 16, 0);  // divisor 0: nothing
    EXPECT_EQ(tex[2], 16);
}

TEST(BumpMaterial, PrepareAndRelease)
{
    std::vector<uint8_t> colour(65536), env(65536), palette(768);
    for (int i = 0; i < 65536; i++) {
        colour[i] = static_cast<uint8_t>(i & 63);
        env[i] = static_cast<uint8_t>(i >> 8);
    }
    for (int c = 0; c < 256; c++) {
        palette[3 * c] = static_cast<uint8_t>(c);
        palette[3 * c + 1] = 30;
        palette[3 * c + 2] = 0;
    }
    sc_object o;
    std::memset(&o, 0, sizeof o);
    EXPECT_EQ(pal_bump_prepare(&o, palette.data(), 16, 4), nullptr);  // no colour texture
    o.tex_a = colour.data();
    o.tex_b = env.data();
    EXPECT_EQ(pal_bump_prepare(&o, palette.data(), 16, 0), nullptr);
    const int32_t users = pal_bump_users;
    uint8_t* map = pal_bump_prepare(&o, palette.data(), 16, 4);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(o.tex_c, map);
    EXPECT_EQ(pal_bump_users, users + 1);
    EXPECT_EQ(map[63], (63 + 30) * 2 / 3);
    EXPECT_EQ(colour[63], 240);
    EXPECT_EQ(pal_bump_table[32767], 0);
    EXPECT_EQ(pal_bump_table[32768 + 0x1234], 0x12);
    EXPECT_EQ(pal_bump_table[32768 + 65536], 0);
    pal_bump_release(&o);
    EXPECT_EQ(o.tex_c, nullptr);
    EXPECT_EQ(pal_bump_users, users);
    pal_bump_release(&o);  // a second release frees nothing
    EXPECT_EQ(pal_bump_users, users);
}
