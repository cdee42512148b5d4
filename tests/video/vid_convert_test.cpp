// Row converters: output bytes for known pixels, the green/blue table and the selector.
#include <gtest/gtest.h>

#include "video/vid_convert.h"

#include <cstring>
#include <vector>

namespace {

// A row of pixels with a guard zone after the output so that overruns show.
struct Out {
    std::vector<uint8_t> bytes;
    explicit Out(size_t n) : bytes(n + 64, 0xcc) {}
    uint16_t u16(size_t i) const { uint16_t v; std::memcpy(&v, &bytes[i], 2); return v; }
    uint32_t u32(size_t i) const { uint32_t v; std::memcpy(&v, &bytes[i], 4); return v; }
    bool guard_intact(size_t from) const
    {
        for (size_t i = from; i < bytes.size(); ++i) if (bytes[i] != 0xcc) return false;
        return true;
    }
};

const uint32_t kPixels[4] = {0xffffff, 0x123456, 0xab000000u | 0x80ff01, 0x000000};

} // namespace

TEST(RowConverters, SixteenAndFifteenBitWords)
{
    struct { uint32_t in, rgb555, rgb565; } table[] = {
        {0xffffff, 0x7fff, 0xffff}, {0x123456, 0x08ca, 0x11aa}, {0x000000, 0, 0},
        {0xff0000, 0x7c00, 0xf800}, {0x00ff00, 0x03e0, 0x07e0}, {0x0000ff, 0x001f, 0x001f},
        {0xff808080, 0x4210, 0x8410},   // the top byte is ignored
    };
    for (auto& t : table) {
        uint32_t src[2] = {t.in, 0x0000ff};
        Out a(4), b(4), c(8), d(8);
        cv_rgb15(a.bytes.data(), src, 2, 0);
        cv_rgb16(b.bytes.data(), src, 2, 0);
        cv_rgb15_double(c.bytes.data(), src, 2, 0);
        cv_rgb16_double(d.bytes.data(), src, 2, 0);
        EXPECT_EQ(a.u32(0), t.rgb555 | 0x001fu << 16) << std::hex << t.in;   // first pixel in the low half
        EXPECT_EQ(b.u32(0), t.rgb565 | 0x001fu << 16) << std::hex << t.in;
        EXPECT_EQ(c.u32(0), t.rgb555 | t.rgb555 << 16);
        EXPECT_EQ(d.u32(0), t.rgb565 | t.rgb565 << 16);
        EXPECT_EQ(d.u32(4), 0x001f001fu);
        EXPECT_TRUE(a.guard_intact(4) && b.guard_intact(4) && c.guard_intact(8) && d.guard_intact(8));
    }
}

TEST(RowConverters, ThirtyTwoAndPacked24Bit)
{
    Out a(16), b(32), c(12), d(24);
    cv_rgb32(a.bytes.data(), kPixels, 4, 0);
    cv_rgb32_double(b.bytes.data(), kPixels, 4, 0);
    cv_rgb24(c.bytes.data(), kPixels, 4, 0);
    cv_rgb24_double(d.bytes.data(), kPixels, 4, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.u32(4 * i), kPixels[i]);   // top byte included
        EXPECT_EQ(b.u32(8 * i), kPixels[i]);
        EXPECT_EQ(b.u32(8 * i + 4), kPixels[i]);
    }
    const uint8_t packed[12] = {0xff, 0xff, 0xff, 0x56, 0x34, 0x12, 0x01, 0xff, 0x80, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(c.bytes.data(), packed, 12));
    const uint8_t doubled[24] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x56, 0x34, 0x12, 0x56, 0x34, 0x12,
                                 0x01, 0xff, 0x80, 0x01, 0xff, 0x80, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(d.bytes.data(), doubled, 24));
    EXPECT_TRUE(a.guard_intact(16) && b.guard_intact(32) && c.guard_intact(12) && d.guard_intact(24));
}

TEST(RowConverters, EightBitGreyPairAndChecker)
{
    vid_make_gb_table();
    EXPECT_EQ(vid_gb_table[(0x34 << 8) | 0x56], 163);   // 128 + 16 * (0x56 >> 5) + (0x34 >> 4)
    EXPECT_EQ(vid_gb_table[0xffff], 255);
    EXPECT_EQ(vid_gb_table[0], 128);
    for (int i = 0; i < 65536; i += 257)
        EXPECT_EQ(vid_gb_table[i], 128 + 16 * ((i & 255) >> 5) + (i >> 12));

    Out g(4);
    cv_gray8(g.bytes.data(), kPixels, 4, 0);
    const uint8_t grey[4] = {95, (0x12 + 0x34 + 0x56) >> 3, (0x80 + 0xff + 0x01) >> 3, 0};
    EXPECT_EQ(0, std::memcmp(g.bytes.data(), grey, 4));
    EXPECT_TRUE(g.guard_intact(4));

    const int pitch = 16;
    Out p(2 * pitch), c(2 * pitch);
    cv_pair8(p.bytes.data(), kPixels, 4, pitch);
    cv_checker8(c.bytes.data(), kPixels, 4, pitch);
    const uint8_t red[4] = {63, 0x12 >> 2, 0x80 >> 2, 0};
    const uint8_t gb[4] = {255, 163, static_cast<uint8_t>(128 + 16 * (0x01 >> 5) + (0xff >> 4)), 128};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(p.bytes[x], red[x]);
        EXPECT_EQ(p.bytes[pitch + x], gb[x]);
        EXPECT_EQ(c.bytes[2 * x], red[x]);               // main diagonal: red
        EXPECT_EQ(c.bytes[pitch + 2 * x + 1], red[x]);
        EXPECT_EQ(c.bytes[2 * x + 1], gb[x]);            // other diagonal: green/blue
        EXPECT_EQ(c.bytes[pitch + 2 * x], gb[x]);
    }
    for (int x = 8; x < pitch; ++x) EXPECT_EQ(c.bytes[x], 0xcc) << x;   // nothing past the row
    EXPECT_EQ(p.bytes[4], 0xcc);
}

TEST(RowConverters, PackLowBytesCountsSourceBytes)
{
    const uint32_t src[8] = {0x11223344, 0xaabbccdd, 0x01, 0xfffffffe, 5, 6, 7, 8};
    Out o(8);
    cv_pack8(o.bytes.data(), src, 32, 0);   // 32 source bytes: two steps
    EXPECT_EQ(o.u32(0), 0xfe01dd44u);
    EXPECT_EQ(o.u32(4), 0x08070605u);
    EXPECT_TRUE(o.guard_intact(8));
    Out none(0);
    cv_pack8(none.bytes.data(), src, 15, 0);   // less than one step writes nothing
    EXPECT_TRUE(none.guard_intact(0));
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

    uint32_t src[2] = {0x123456, 0xffffff};
    Out o(4);
    vid_set_converter(5);
    vid_convert_line(o.bytes.data(), src, 2, 0);
    EXPECT_EQ(o.u32(0), 0xffff11aau);
}
