// Palette expansion, the one float-to-int rule, and the diagonal doubling of animation frames.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "picture/anim.h"
#include "picture/pix.h"
#include "tests/picture/pic_build.h"

TEST(PixExpand, FourPixelsAStepNothingBelowFour)
{
    const pic::bytes pal = pic::palette([](int i) { return i == 1 ? 0x123456u : i == 255 ? 0xff8001u : 0u; });
    std::vector<uint8_t> src(pix_frame_pixels + 4);
    for (size_t i = 0; i < src.size(); i++) src[i] = uint8_t(i % 3 == 0 ? 1 : i % 3 == 1 ? 255 : 0);
    const int32_t cases[][2] = {{4, 4}, {7, 4}, {pix_frame_pixels + 1, pix_frame_pixels}, {3, 0}, {-8, 0}};
    for (const auto& c : cases) {   // count -> pixels written
        std::vector<uint32_t> dst(src.size(), 0xdeadbeef);
        pix_expand_palette(src.data(), pal.data(), dst.data(), c[0]);
        for (int i = 0; i < int(dst.size()); i++) {
            const uint32_t want = i >= c[1] ? 0xdeadbeefu : i % 3 == 0 ? 0x123456u : i % 3 == 1 ? 0xff8001u : 0u;
            ASSERT_EQ(dst[i], want) << "count " << c[0] << " pixel " << i;
        }
    }
}

TEST(PixTrunc, TowardZeroSaturatingNanZero)
{
    const struct {
        double v;
        int32_t want;
    } cases[] = {{2.9, 2}, {-2.9, -2}, {2147483646.5, 2147483646}, {2147483647.0, INT32_MAX}, {1e300, INT32_MAX},
                 {-2147483648.0, INT32_MIN}, {-2147483648.5, INT32_MIN}, {-1e300, INT32_MIN}, {std::nan(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(pix_trunc(c.v), c.want) << c.v;
}

TEST(AnimBlit, DiagonalDoubling)
{
    // frame k's pixel (i, j) has index i + j + k
    const auto c = pic::anim(3, [](uint32_t k, int i, int j) { return i + j + int(k); });
    std::vector<uint32_t> dst(pix_frame_pixels, 0);
    ASSERT_EQ(anim_blit_frame(2, c.data(), dst.data()), dst.data());
    auto px = [&](int r, int col) { return dst[pix_frame_w * r + col]; };
    auto src = [&](int i, int j) { return pic::frame_colour(2, uint32_t(i + j + 2)); };
    // every 2x2 cell: the source pixel top-left and bottom-right, the one above top-right and
    // the one to the left bottom-left
    for (int i = 1; i < 119; i++)
        for (int j = 1; j < 160; j++)
            ASSERT_TRUE(px(2 * i, 2 * j) == src(i, j) && px(2 * i + 1, 2 * j + 1) == src(i, j) &&
                        px(2 * i, 2 * j + 1) == src(i - 1, j) && px(2 * i + 1, 2 * j) == src(i, j - 1))
                << i << "," << j;
    // row 0 odd columns, row 239 and row 238's even columns 2..318 keep what dst held; the last
    // column's right-hand write runs into column 0 of the next row, where row 238 keeps it
    for (int col = 0; col < pix_frame_w; col++) {
        ASSERT_EQ(px(0, col), col % 2 == 0 ? src(0, col / 2) : 0u) << col;
        ASSERT_EQ(px(239, col), 0u);
        if (col >= 2 && col % 2 == 0) { ASSERT_EQ(px(238, col), 0u) << col; }
    }
    EXPECT_EQ(px(238, 0), src(118, 159));
    EXPECT_EQ(px(2, 0), src(1, 0));
}

TEST(AnimBlit, FramesOutsideTheContainerAreRefused)
{
    const auto c = pic::plain_anim(3);
    std::vector<uint32_t> dst(pix_frame_pixels, 7);
    EXPECT_EQ(anim_frame_count(c.data()), 3u);
    EXPECT_TRUE(!anim_blit_frame(3, c.data(), dst.data()) && !anim_blit_frame(0xffffffffu, c.data(), dst.data()));
    EXPECT_EQ(dst, std::vector<uint32_t>(pix_frame_pixels, 7));
    EXPECT_TRUE(anim_blit_frame(2, c.data(), dst.data()) == dst.data() && dst[0] == pic::plain_colour(2));
    // an offset past the end; a frame the given size cuts; an offset table the data cannot hold
    auto bad = c;
    bad[4 + 4 + 3] = 0x7f;
    EXPECT_EQ(anim_blit_frame(1, bad.data(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(1, bad.data(), bad.size(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(0, c.data(), c.size() - 1, dst.data()), dst.data());
    EXPECT_EQ(anim_blit_frame_n(2, c.data(), c.size() - 1, dst.data()), nullptr);
    const uint8_t huge[] = {0xff, 0xff, 0xff, 0x7f, 8, 0, 0, 0};
    EXPECT_TRUE(!anim_blit_frame_n(5, huge, sizeof huge, dst.data()) && !anim_blit_frame_n(0, huge, 3, dst.data()));
}
