// Row converters: output bytes for known pixels, the green/blue table and the selector. (Every
// layout at every row length against a pixel model: vid_convert_rows_test.)
#include <gtest/gtest.h>

#include "video/vid_internal.h"

#include <cstring>
#include <vector>

namespace {

// White, 0x123456, a pixel with flags in its top byte, black.
const uint32_t kPixels[4] = {0xffffff, 0x123456, 0xab80ff01u, 0x000000};

// Converts kPixels with `cv` into a zeroed row followed by a 0xcc guard; true when the first
// `bytes` bytes are `want` and nothing after them was written.
bool converts_to(vid_row_converter cv, std::vector<uint8_t> want, int pitch = 0)
{
    const size_t n = want.size();
    std::vector<uint8_t> out(n + 64, 0xcc);
    cv(out.data(), kPixels, 4, pitch);
    if (pitch) {   // 8-bit pair and checker: two rows of 8 bytes, pitch apart, nothing between
        for (size_t i = 0; i < n; ++i)
            if (out[i % 8 + (i / 8) * static_cast<size_t>(pitch)] != want[i]) return false;
        for (int i = 8; i < pitch; ++i)
            if (out[static_cast<size_t>(i)] != 0xcc) return false;
        return true;
    }
    for (size_t i = n; i < out.size(); ++i)
        if (out[i] != 0xcc) return false;
    out.resize(n);
    return out == want;
}

} // namespace

TEST(RowConverters, KnownPixelsGiveTheirBytes)
{
    vid_make_gb_table();
    EXPECT_EQ(vid_gb_table[(0x34 << 8) | 0x56], 163);   // 128 + 16 * (0x56 >> 5) + (0x34 >> 4)
    EXPECT_EQ(vid_gb_table[0xffff], 255);
    EXPECT_EQ(vid_gb_table[0], 128);
    // grey: sum of the three bytes / 8; 15 and 16 bits in the low half first; the top byte only at 32
    EXPECT_TRUE(converts_to(cv_gray8, {95, (0x12 + 0x34 + 0x56) >> 3, (0x80 + 0xff + 0x01) >> 3, 0}));
    EXPECT_TRUE(converts_to(cv_rgb15, {0xff, 0x7f, 0xca, 0x08, 0xe0, 0x43, 0, 0}));
    EXPECT_TRUE(converts_to(cv_rgb16, {0xff, 0xff, 0xaa, 0x11, 0xe0, 0x87, 0, 0}));
    EXPECT_TRUE(converts_to(cv_rgb16_double, {0xff, 0xff, 0xff, 0xff, 0xaa, 0x11, 0xaa, 0x11,
                                              0xe0, 0x87, 0xe0, 0x87, 0, 0, 0, 0}));
    EXPECT_TRUE(converts_to(cv_rgb24, {0xff, 0xff, 0xff, 0x56, 0x34, 0x12, 0x01, 0xff, 0x80, 0, 0, 0}));
    EXPECT_TRUE(converts_to(cv_rgb32, {0xff, 0xff, 0xff, 0, 0x56, 0x34, 0x12, 0, 0x01, 0xff, 0x80, 0xab, 0, 0, 0, 0}));
    EXPECT_TRUE(converts_to(cv_rgb32_double, {0xff, 0xff, 0xff, 0, 0xff, 0xff, 0xff, 0, 0x56, 0x34, 0x12, 0, 0x56, 0x34, 0x12, 0,
                                              0x01, 0xff, 0x80, 0xab, 0x01, 0xff, 0x80, 0xab, 0, 0, 0, 0, 0, 0, 0, 0}));
    // 8 bits: red / 4 above the green/blue entry (pair), or on the two diagonals (checker)
    const uint8_t gb2 = 128 + 16 * (0x01 >> 5) + (0xff >> 4);
    EXPECT_TRUE(converts_to(cv_pair8, {63, 0x12 >> 2, 0x80 >> 2, 0, 0xcc, 0xcc, 0xcc, 0xcc,
                                       255, 163, gb2, 128, 0xcc, 0xcc, 0xcc, 0xcc}, 16));
    EXPECT_TRUE(converts_to(cv_checker8, {63, 255, 0x12 >> 2, 163, 0x80 >> 2, gb2, 0, 128,
                                          255, 63, 163, 0x12 >> 2, gb2, 0x80 >> 2, 128, 0}, 16));
}

TEST(RowConverters, PackLowBytesCountsSourceBytes)
{
    const uint32_t src[8] = {0x11223344, 0xaabbccdd, 0x01, 0xfffffffe, 5, 6, 7, 8};
    std::vector<uint8_t> out(16, 0xcc);
    cv_pack8(out.data(), src, 32, 0);   // 32 source bytes: two steps
    EXPECT_EQ(out, (std::vector<uint8_t>{0x44, 0xdd, 0x01, 0xfe, 5, 6, 7, 8, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc}));
    std::vector<uint8_t> none(16, 0xcc);
    cv_pack8(none.data(), src, 15, 0);   // less than one step writes nothing
    EXPECT_EQ(none, std::vector<uint8_t>(16, 0xcc));
}

TEST(RowConverters, SelectorPicksConverterAndRefusesOthers)
{
    const vid_row_converter expected[11] = {cv_gray8, cv_pair8, cv_checker8, cv_rgb15, cv_rgb15_double, cv_rgb16,
                                            cv_rgb16_double, cv_rgb24, cv_rgb24_double, cv_rgb32, cv_rgb32_double};
    for (int s = 0; s < 11; ++s) {
        std::memset(vid_gb_table, 0, sizeof vid_gb_table);
        EXPECT_EQ(vid_set_converter(s), 0);
        EXPECT_EQ(vid_converter, expected[s]) << s;
        EXPECT_EQ(vid_gb_table[0xffff], (s == 1 || s == 2) ? 255 : 0) << "table built only for 1 and 2";
    }
    EXPECT_EQ(vid_set_converter(11), 1);
    EXPECT_EQ(vid_set_converter(-1), 1);
    EXPECT_EQ(vid_converter, cv_rgb32_double);
}
