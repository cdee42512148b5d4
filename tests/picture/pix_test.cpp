// Palette expansion and the diagonal doubling of animation frames.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "picture/anim.h"
#include "picture/pix.h"

TEST(PixExpand, PaletteEntriesAndCounts)
{
    uint8_t pal[768] = {};
    pal[3] = 0x12, pal[4] = 0x34, pal[5] = 0x56;
    pal[765] = 0xff, pal[766] = 0x80, pal[767] = 0x01;
    std::vector<uint8_t> src(76804);
    for (size_t i = 0; i < src.size(); i++)
        src[i] = uint8_t(i % 3 == 0 ? 1 : (i % 3 == 1 ? 255 : 0));
    struct row {
        int32_t count;
        int written;
    } rows[] = {{4, 4}, {7, 4}, {76801, 76800}, {3, 0}, {-8, 0}};
    for (const row& r : rows) {
        std::vector<uint32_t> dst(76804, 0xdeadbeef);
        pix_expand_palette(src.data(), pal, dst.data(), r.count);
        for (int i = 0; i < 76804; i++) {
            uint32_t want = i >= r.written ? 0xdeadbeefu : (i % 3 == 0 ? 0x123456u : (i % 3 == 1 ? 0xff8001u : 0u));
            ASSERT_EQ(dst[size_t(i)], want) << "count " << r.count << " pixel " << i;
        }
    }
}

namespace {

// A container of `n` frames; frame k's pixel (i, j) has index (i + j + k) & 0xff except 0 at
// (0, 0) and palette entry c = (c, 255 - c, k).
std::vector<uint8_t> container(uint32_t n)
{
    std::vector<uint8_t> c(4 + 4 * n + anim_frame_bytes * n);
    auto le32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            c[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    le32(0, n);
    for (uint32_t k = 0; k < n; k++) {
        const size_t off = 4 + 4 * n + size_t(k) * anim_frame_bytes;
        le32(4 + 4 * k, uint32_t(off));
        for (int e = 0; e < 256; e++) {
            c[off + 3 * size_t(e)] = uint8_t(e);
            c[off + 3 * size_t(e) + 1] = uint8_t(255 - e);
            c[off + 3 * size_t(e) + 2] = uint8_t(k);
        }
        for (int i = 0; i < 120; i++)
            for (int j = 0; j < 160; j++)
                c[off + 768 + size_t(160 * i + j)] = uint8_t((i + j + int(k)) & 0xff);
    }
    return c;
}

uint32_t colour(int idx, uint32_t k) { return (uint32_t(idx & 0xff) << 16) | (uint32_t(255 - (idx & 0xff)) << 8) | k; }

}  // namespace

TEST(AnimBlit, DiagonalDoubling)
{
    const std::vector<uint8_t> c = container(3);
    std::vector<uint32_t> dst(76800, 0);
    ASSERT_EQ(anim_blit_frame(2, c.data(), dst.data()), dst.data());
    auto px = [&](int r, int col) { return dst[size_t(320 * r + col)]; };
    auto src = [&](int i, int j) { return colour(i + j + 2, 2); };
    // every 2x2 cell: source at top-left and bottom-right, the pixel above at top-right and the
    // pixel to the left at bottom-left
    for (int i = 1; i < 119; i++)
        for (int j = 1; j < 160; j++) {
            ASSERT_EQ(px(2 * i, 2 * j), src(i, j)) << i << "," << j;
            ASSERT_EQ(px(2 * i + 1, 2 * j + 1), src(i, j));
            ASSERT_EQ(px(2 * i, 2 * j + 1), src(i - 1, j));
            ASSERT_EQ(px(2 * i + 1, 2 * j), src(i, j - 1));
        }
    // row 0: source row 0 at even columns, untouched (0) at odd ones; row 239 untouched
    for (int col = 0; col < 320; col++) {
        ASSERT_EQ(px(0, col), col % 2 == 0 ? src(0, col / 2) : 0u) << col;
        ASSERT_EQ(px(239, col), 0u);
    }
    // the last column's right-hand write runs into column 0 of the next row; row 238 keeps it
    EXPECT_EQ(px(238, 0), src(118, 159));
    EXPECT_EQ(px(2, 0), src(1, 0));  // overwritten by the next source row
    // row 238 at even columns 2..318 is not written
    for (int col = 2; col <= 318; col += 2)
        ASSERT_EQ(px(238, col), 0u);
}

TEST(AnimBlit, FrameIndexAndBounds)
{
    const std::vector<uint8_t> c = container(3);
    std::vector<uint32_t> dst(76800, 7);
    EXPECT_EQ(anim_blit_frame(3, c.data(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame(0xffffffffu, c.data(), dst.data()), nullptr);
    for (uint32_t v : dst)
        ASSERT_EQ(v, 7u);
    EXPECT_EQ(anim_frame_count(c.data()), 3u);
    EXPECT_EQ(anim_blit_frame(2, c.data(), dst.data()), dst.data());
    EXPECT_EQ(dst[0], colour(2, 2));

    // an offset that puts the frame past the container's end is refused, and so is a count
    // whose offset table the data cannot hold
    std::vector<uint8_t> bad = c;
    bad[4 + 4 + 3] = 0x7f;  // frame 1's offset: far out
    EXPECT_EQ(anim_blit_frame(1, bad.data(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(1, bad.data(), bad.size(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(0, c.data(), c.size() - 1, dst.data()), dst.data());
    EXPECT_EQ(anim_blit_frame_n(2, c.data(), c.size() - 1, dst.data()), nullptr);
    std::vector<uint8_t> huge = {0xff, 0xff, 0xff, 0x7f, 8, 0, 0, 0};
    EXPECT_EQ(anim_blit_frame_n(5, huge.data(), huge.size(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(0, huge.data(), 3, dst.data()), nullptr);
}
