#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fx/tr_transition.h"

namespace {

constexpr int N = tr_frame_pixels;

// Frames whose colour bytes run through every (a byte, b byte) pair: the 65536 pairs fill the
// three colour bytes of the first 21846 pixels and repeat after that; the top bytes carry flags.
void pair_frames(std::vector<uint32_t>& a, std::vector<uint32_t>& b)
{
    a.assign(N, 0);
    b.assign(N, 0);
    for (int i = 0; i < N; i++) {
        uint32_t pa = 0x5a000000u, pb = 0xa5000000u;
        for (int c = 0; c < 3; c++) {
            const int k = (3 * i + c) & 0xffff;
            pa |= static_cast<uint32_t>(k & 0xff) << (8 * c);
            pb |= static_cast<uint32_t>(k >> 8) << (8 * c);
        }
        a[i] = pa;
        b[i] = pb;
    }
}

// The weights the cross-fade is defined by: wa[x] + wb[y] for each colour byte.
uint32_t expected_fade(int alpha, uint32_t pa, uint32_t pb, uint32_t old_dst)
{
    uint32_t out = old_dst & 0xff000000u;
    for (int c = 0; c < 3; c++) {
        const int x = (pa >> (8 * c)) & 0xff, y = (pb >> (8 * c)) & 0xff;
        out |= static_cast<uint32_t>(x * (255 - alpha) / 255 + y * alpha / 255) << (8 * c);
    }
    return out;
}

TEST(Crossfade, AlphaClampsAndEndsAreExact)
{
    std::vector<uint32_t> a, b, dst(N);
    pair_frames(a, b);
    const struct {
        int alpha;
        bool gives_a;
    } cases[] = {{INT32_MIN, true}, {0, true}, {255, false}, {INT32_MAX, false}};
    for (const auto& c : cases) {
        std::fill(dst.begin(), dst.end(), 0x77000000u);
        tr_crossfade32(c.alpha, a.data(), b.data(), dst.data());
        const std::vector<uint32_t>& src = c.gives_a ? a : b;
        for (int i = 0; i < N; i++) {
            ASSERT_EQ(dst[i], (src[i] & 0xffffffu) | 0x77000000u) << "alpha " << c.alpha << " pixel " << i;
        }
    }
    // Mid-way a pixel mixed with itself may come out one step darker: 100 with 100 at 128 is 99.
    std::vector<uint32_t> g(N, 0x646464u), out(N, 0);
    tr_crossfade32(128, g.data(), g.data(), out.data());
    EXPECT_EQ(out[0], 0x636363u);
    EXPECT_EQ(out[N - 1], 0x636363u);
}

// Every loop the processor can run (plain C++, 128-bit, 256-bit vectors) gives the weight-table
// bytes for every alpha and byte pair, in place as well; the mask wipe picks the same words.
TEST(Crossfade, EveryLoopVariantMatchesTheWeightTables)
{
    std::vector<uint32_t> a, b;
    pair_frames(a, b);
    std::vector<uint8_t> mask(N);
    for (int i = 0; i < N; i++) mask[i] = static_cast<uint8_t>(i * 13 + (i >> 7));
    const int best = tr_select_loops(-1);
    for (int level = 0; level <= best; level++) {
        ASSERT_EQ(tr_select_loops(level), level);
        std::vector<uint32_t> dst(N), in_a, in_b;
        for (int alpha = 0; alpha < 256; alpha += (level == best ? 1 : 3)) {
            for (int i = 0; i < N; i++) dst[i] = 0xc3000000u ^ static_cast<uint32_t>(i << 8);
            in_a = a, in_b = b;
            tr_crossfade32(alpha, a.data(), b.data(), dst.data());
            tr_crossfade32(alpha, in_a.data(), b.data(), in_a.data());   // in place: that frame's top bytes stay
            tr_crossfade32(alpha, a.data(), in_b.data(), in_b.data());
            for (int i = 0; i < N; i++) {
                const uint32_t want = expected_fade(alpha, a[i], b[i], 0xc3000000u ^ static_cast<uint32_t>(i << 8));
                if (dst[i] != want || in_a[i] != expected_fade(alpha, a[i], b[i], a[i]) ||
                    in_b[i] != expected_fade(alpha, a[i], b[i], b[i]))
                    FAIL() << "level " << level << " alpha " << alpha << " pixel " << i;
            }
        }
        tr_maskwipe32(100, mask.data(), a.data(), b.data(), dst.data());
        for (int i = 0; i < N; i++) ASSERT_EQ(dst[i], mask[i] > 100 ? a[i] : b[i]) << level << " " << i;
    }
    EXPECT_EQ(tr_select_loops(99), best);
}

TEST(MaskWipe, ThresholdClampsAndPicksWholeWords)
{
    std::vector<uint8_t> mask(N);
    std::vector<uint32_t> a(N), b(N), dst(N);
    for (int i = 0; i < N; i++) {
        mask[i] = static_cast<uint8_t>(i * 7);
        a[i] = 0xf0000000u | static_cast<uint32_t>(i);
        b[i] = 0x0f000000u | static_cast<uint32_t>(i * 3);
    }
    // threshold given -> threshold used after the clamp
    const int cases[][2] = {{INT32_MIN, 0}, {0, 0}, {128, 128}, {255, 255}, {INT32_MAX, 255}};
    for (const auto& c : cases) {
        std::fill(dst.begin(), dst.end(), 0xdeadbeefu);
        ASSERT_EQ(tr_maskwipe32(c[0], mask.data(), a.data(), b.data(), dst.data()), dst.data());
        for (int i = 0; i < N; i++) {
            ASSERT_EQ(dst[i], mask[i] > c[1] ? a[i] : b[i]) << "threshold " << c[0] << " pixel " << i;
        }
    }
    // A mask value of 255 shows a until the threshold reaches 255; a value of 0 shows b from 0 on.
    std::vector<uint8_t> m2(N, 255);
    m2[1] = 0;
    tr_maskwipe32(254, m2.data(), a.data(), b.data(), dst.data());
    EXPECT_EQ(dst[0], a[0]);
    EXPECT_EQ(dst[1], b[1]);
    tr_maskwipe32(255, m2.data(), a.data(), b.data(), dst.data());
    EXPECT_EQ(dst[0], b[0]);
    // In place, into either frame, gives what a separate destination gets.
    tr_maskwipe32(50, mask.data(), a.data(), b.data(), dst.data());
    std::vector<uint32_t> into_a = a, into_b = b;
    tr_maskwipe32(50, mask.data(), into_a.data(), b.data(), into_a.data());
    tr_maskwipe32(50, mask.data(), a.data(), into_b.data(), into_b.data());
    EXPECT_EQ(into_a, dst);
    EXPECT_EQ(into_b, dst);
}

}  // namespace
