// Row converters: the bytes of known pixels (the edge values), every row length against the same
// converter step by step (the blocked loops must agree and write nothing past the row), the byte
// packer and the selector.
#include <gtest/gtest.h>

#include "video/vid_internal.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

// White, 0x123456, a pixel with flags in its top byte, black.
const uint32_t kPixels[4] = {0xffffff, 0x123456, 0xab80ff01u, 0x000000};

// Converts kPixels with `cv` into a row of 0xcc; true when the first bytes are `want` and nothing
// after them was written. With a pitch (the 8-bit pair and checker) `want` is two rows of 8.
bool converts_to(vid_row_converter cv, std::vector<uint8_t> want, int pitch = 0)
{
    std::vector<uint8_t> out(want.size() + 64, 0xcc), rows;
    cv(out.data(), kPixels, 4, pitch);
    auto untouched = [&](size_t from) { return std::all_of(out.begin() + from, out.end(), [](uint8_t b) { return b == 0xcc; }); };
    if (!pitch) return std::equal(want.begin(), want.end(), out.begin()) && untouched(want.size());
    rows.assign(out.begin(), out.begin() + 8);
    rows.insert(rows.end(), out.begin() + pitch, out.begin() + pitch + 8);
    std::fill(out.begin() + pitch, out.begin() + pitch + 8, 0xcc);
    return rows == want && untouched(8);
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
    // 8 bits: red / 4 above the green/blue entry (pair), or on the two diagonals (checker)
    const uint8_t gb2 = 128 + 16 * (0x01 >> 5) + (0xff >> 4);
    EXPECT_TRUE(converts_to(cv_pair8, {63, 0x12 >> 2, 0x80 >> 2, 0, 0xcc, 0xcc, 0xcc, 0xcc,
                                       255, 163, gb2, 128, 0xcc, 0xcc, 0xcc, 0xcc}, 16));
    EXPECT_TRUE(converts_to(cv_checker8, {63, 255, 0x12 >> 2, 163, 0x80 >> 2, gb2, 0, 128,
                                          255, 63, 163, 0x12 >> 2, gb2, 0x80 >> 2, 128, 0}, 16));
    // the packer counts source bytes: 32 give two words of low bytes; under 16 give nothing
    const uint32_t src[8] = {0x11223344, 0xaabbccdd, 0x01, 0xfffffffe, 5, 6, 7, 8};
    std::vector<uint8_t> out(12, 0xcc);
    cv_pack8(out.data(), src, 32, 0);
    cv_pack8(out.data() + 8, src, 15, 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x44, 0xdd, 0x01, 0xfe, 5, 6, 7, 8, 0xcc, 0xcc, 0xcc, 0xcc}));
}

// Each selector's converter (the green/blue table built for 1 and 2 only), and its blocked loops
// against itself called one step at a time: the same bytes at every row length, in both rows.
TEST(RowConverters, SelectorAndEveryRowLength)
{
    const vid_row_converter expected[11] = {cv_gray8, cv_pair8, cv_checker8, cv_rgb15, cv_rgb15_double, cv_rgb16,
                                            cv_rgb16_double, cv_rgb24, cv_rgb24_double, cv_rgb32, cv_rgb32_double};
    const int step[11] = {1, 1, 1, 2, 1, 2, 1, 4, 2, 2, 2}, bytes[11] = {1, 1, 2, 2, 4, 2, 4, 3, 6, 4, 8};
    std::mt19937 rng(77);
    std::vector<uint32_t> src(640);
    for (int sel = 0; sel <= 10; ++sel) {
        std::memset(vid_gb_table, 0, sizeof vid_gb_table);
        ASSERT_EQ(vid_set_converter(sel), 0);
        EXPECT_EQ(vid_converter, expected[sel]) << sel;
        EXPECT_EQ(vid_gb_table[0xffff], (sel == 1 || sel == 2) ? 255 : 0) << sel;
        std::vector<int> lengths = {320, 640};
        for (int n = step[sel]; n <= 80; n += step[sel]) lengths.push_back(n);
        for (const int n : lengths) {
            for (uint32_t& p : src) p = static_cast<uint32_t>(rng());
            const int pitch = n * bytes[sel] + 8;
            std::vector<uint8_t> got(2 * static_cast<size_t>(pitch) + 16, 0xcc), want = got;
            vid_convert_line(got.data(), src.data(), n, pitch);
            for (int x = 0; x < n; x += step[sel]) vid_convert_line(&want[x * bytes[sel]], &src[x], step[sel], pitch);
            ASSERT_EQ(got, want) << "selector " << sel << " pixels " << n;
        }
    }
    EXPECT_EQ(vid_set_converter(11), 1);
    EXPECT_EQ(vid_set_converter(-1), 1);
    EXPECT_EQ(vid_converter, cv_rgb32_double);
}
