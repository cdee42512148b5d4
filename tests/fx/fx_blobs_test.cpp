#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "fx/fx_blobs.h"
#include "tests/fx/fx_test_media.h"

namespace {

constexpr int W = 320, H = 200;

bool in_disc(int r, int c) { return (r - 9.5) * (r - 9.5) + (c - 9.5) * (c - 9.5) <= 9.5 * 9.5; }
int disc_area()
{
    int n = 0;
    for (int r = 0; r < 20; r++)
        for (int c = 0; c < 20; c++) n += in_disc(r, c);
    return n;
}

// The stamp picture: a disc of index 7 in the 20x20 top-left cell, other non-zero indices
// elsewhere that the stamp never uses.
struct Blobs : ::testing::Test {
    static void SetUpTestSuite()
    {
        std::vector<uint8_t> idx(W * H, 0);
        for (int r = 0; r < 20; r++)
            for (int c = 0; c < 20; c++) idx[r * W + c] = in_disc(r, c) ? 7 : 0;
        for (int r = 0; r < H; r++) idx[r * W + 25] = 9;
        const auto pic = fxt::make_pbm(W, H, idx, fxt::make_palette([](int i) { return 0x010203u * i; }));
        fx_blobs_init_from(pic.data(), static_cast<uint32_t>(pic.size()));
    }
    std::vector<uint8_t> buf = std::vector<uint8_t>(W * (H + 2), 0);
    int mass() const { return std::accumulate(buf.begin(), buf.end(), 0); }
};

TEST_F(Blobs, StampClipsAtEveryEdgeAndSaturatesAt60)
{
    const int disc = disc_area();
    // centre -> bytes added: whole, clipped (first column lost), gone
    const struct {
        int x, y;
        int covered_c0, covered_c1, covered_r0, covered_r1;   // cell part that lands in the buffer
    } cases[] = {
        {10, 10, 0, 19, 0, 19},  {9, 10, 1, 19, 0, 19},  {310, 190, 0, 19, 0, 19}, {311, 190, 0, 18, 0, 19},
        {310, 191, 0, 19, 0, 18}, {-10, 50, 1, 0, 0, 0}, {330, 50, 1, 0, 0, 0},    {50, 208, 0, 19, 0, 1},
        {0, 0, 10, 19, 10, 19},
    };
    for (const auto& c : cases) {
        std::fill(buf.begin(), buf.end(), 0);
        fx_blobs_stamp(c.x, c.y, 1, buf.data());
        int want = 0;
        for (int r = c.covered_r0; r <= c.covered_r1; r++)
            for (int k = c.covered_c0; k <= c.covered_c1; k++) {
                want += in_disc(r, k);
                const int by = c.y - 10 + r, bx = c.x - 10 + k;
                ASSERT_EQ(buf[by * W + bx], in_disc(r, k) ? 1 : 0) << c.x << "," << c.y;
            }
        EXPECT_EQ(mass(), want) << "stamp at " << c.x << "," << c.y;
        EXPECT_TRUE(c.covered_c0 > c.covered_c1 || want > 0);
    }
    EXPECT_GT(disc, 250);
    // Palette kept; saturation on both paths; the two rows past the buffer are never written.
    EXPECT_EQ(fx_blobs_palette[3 * 5 + 2], 15);
    std::fill(buf.begin(), buf.end(), 59);
    for (int k = 0; k < 3; k++) {
        fx_blobs_stamp(100, 100, 1, buf.data());
        fx_blobs_stamp(5, 195, 1, buf.data());
    }
    EXPECT_EQ(buf[100 * W + 100], 60);
    EXPECT_EQ(buf[199 * W + 0], 60);
    EXPECT_EQ(buf[100 * W + 90], 59);    // column 0 of the cell lies outside the disc
    EXPECT_EQ(buf[200 * W + 0], 59);
}

TEST_F(Blobs, GrowStopsAt450)
{
    fx_blobs_size = 60;
    fx_blobs_grow(10);
    EXPECT_EQ(fx_blobs_size.load(), 70);
    for (int k = 0; k < 49; k++) fx_blobs_grow(10);
    EXPECT_EQ(fx_blobs_size.load(), 450);
    fx_blobs_size = 449;
    fx_blobs_grow(10);
    EXPECT_EQ(fx_blobs_size.load(), 459);
    fx_blobs_size = 60;
}

TEST_F(Blobs, RenderFadesUpwardsWithOneRandDrawAndDrawsSixSegments)
{
    // Find a seed whose first draw makes the fade step 30 at t = 0 (29 + sin 0 + rand mod 4).
    unsigned seed = 1;
    for (;; seed++) {
        std::srand(seed);
        if (std::rand() % 4 == 1) break;
    }
    std::srand(seed);
    std::rand();
    const int second = std::rand();

    fx_blobs_size = 60;
    buf[5 * W + 2] = 60;        // a lone spot in the corner, far from the ring
    std::vector<uint8_t> stamps_only(W * (H + 2), 0);
    std::srand(seed);
    fx_blobs_render(buf.data(), 0);
    EXPECT_EQ(std::rand(), second) << "render draws exactly one number";
    const int col2[] = {15, 15, 15, 0};             // rows 3..6 of column 2: table[60] = 60 * 30 / 120
    for (int r = 0; r < 4; r++) EXPECT_EQ(buf[(3 + r) * W + 2], col2[r]) << r;

    // With a clear buffer the fade keeps zeros and the chain adds 6 segments x 20 stamps.
    std::srand(seed);
    fx_blobs_render(stamps_only.data(), 0);
    const int disc = disc_area();
    const int total = std::accumulate(stamps_only.begin(), stamps_only.end(), 0);
    EXPECT_EQ(total, 120 * disc);
    for (int i = 0; i < W * H; i++) ASSERT_LE(stamps_only[i], 60);
}

TEST_F(Blobs, FadeStepTakesTheSineInDoublePrecision)
{
    // A seed whose first draw adds 0 to the step: step = trunc(29.0 + sin(ph3)).
    unsigned seed = 1;
    for (;; seed++) {
        std::srand(seed);
        if (std::rand() % 4 == 0) break;
    }
    // t -> step. At t = 11423 and 24716, ph3 lies so near pi/2 (mod 2 pi) that the sine is
    // 0.99999997 and 0.9999999988: rounded to a float it would be 1 and give 30.
    const struct {
        int32_t t;
        int step;
    } cases[] = {{0, 29}, {11, 29}, {32, 28}, {11423, 29}, {24716, 29}};
    for (const auto& c : cases) {
        // Column 2 holds 60 in rows 5 and 6: row 4 and row 5 sum to 120 (table[120] = step), rows
        // 3 and 6 to 60 (step / 2). The same render over an empty buffer gives the stamps alone.
        std::vector<uint8_t> probe(W * (H + 2), 0), empty(W * (H + 2), 0);
        probe[5 * W + 2] = probe[6 * W + 2] = 60;
        fx_blobs_size = 60;
        std::srand(seed);
        fx_blobs_render(probe.data(), c.t);
        std::srand(seed);
        fx_blobs_render(empty.data(), c.t);
        const int want[] = {c.step / 2, c.step, c.step, c.step / 2};
        for (int r = 0; r < 4; r++) {
            ASSERT_EQ(static_cast<int>(empty[(3 + r) * W + 2]), 0) << "no stamp reaches the probe, t " << c.t;
            EXPECT_EQ(static_cast<int>(probe[(3 + r) * W + 2]), want[r]) << "t " << c.t << " row " << 3 + r;
        }
    }
}

// The chain worked out from its formulas: ring slots, points, segment parameters and the
// Hermite segments, each stamp placed with fx_blobs_stamp.
struct ChainReference {
    static int slot(int i, int n)   // ring slot of point i, as j = slot mod n
    {
        if (i % 2 == 0) return (i + 1) % n;
        const int m = n - i;
        return (m % 2 == 0 ? m + 1 : m - 1) % n;
    }
    static void draw(int32_t t, int size, uint8_t* buf)
    {
        const float ph1 = static_cast<float>(0.021 * t), ph2 = static_cast<float>(0.123 * t);
        const double ph1d = ph1;
        const float R = static_cast<float>(50.0 * (1.5 + 0.25 * std::cos(1.6 * ph1d)));
        const float K = static_cast<float>(0.25 * size * (4 + 0.5 * std::sin(ph1d)));
        const int n = size / 10;
        std::vector<float> pts;
        for (int i = 0; i < n + 3; i++) {
            const double w = 6.283185307179586 * 10.0 * slot(i, n) / K;
            pts.push_back(static_cast<float>(160.0 + R * std::sin(ph1d + 0.5 * std::sin(0.9 * ph1d) + w)));
            pts.push_back(static_cast<float>(100.0 + 0.8 * R * std::cos(ph1d + 0.5 * std::sin(0.8 * ph1d) + w)));
        }
        const double rates[6] = {0.02345, 0.01324987, 0.0312978, 0.02348, 0.07872, 0.092978};
        for (int i = 0; i < n; i++) {
            const double p = i % 2 == 0 ? 1.4 * ph2 : ph2;
            float T[6];
            for (int k = 0; k < 6; k++) T[k] = static_cast<float>(3 * std::sin(rates[k] * p));
            const float a = 0.5f * (1 - T[0]) * (1 + T[1]) * (1 + T[2]), b = 0.5f * (1 - T[0]) * (1 - T[1]) * (1 - T[2]);
            const float e = 0.5f * (1 - T[3]) * (1 + T[4]) * (1 - T[5]), f = 0.5f * (1 - T[3]) * (1 - T[4]) * (1 + T[5]);
            float c[2][4];   // per axis: s^3, s^2, s, 1
            for (int k = 0; k < 2; k++) {
                const float* q = &pts[2 * i + k];
                const float m1 = a * (q[2] - q[0]) + b * (q[4] - q[2]), m2 = e * (q[4] - q[2]) + f * (q[6] - q[4]);
                c[k][0] = 2 * q[2] - 2 * q[4] + m1 + m2;
                c[k][1] = -3 * q[2] + 3 * q[4] - 2 * m1 - m2;
                c[k][2] = m1;
                c[k][3] = q[2];
            }
            float s = 0;
            for (int k = 0; k < 20; k++, s += 0.05f) {
                const float x = ((c[0][0] * s + c[0][1]) * s + c[0][2]) * s + c[0][3];
                const float y = ((c[1][0] * s + c[1][1]) * s + c[1][2]) * s + c[1][3];
                fx_blobs_stamp(static_cast<int32_t>(x), static_cast<int32_t>(y), 1, buf);
            }
        }
    }
};

TEST_F(Blobs, ChainFollowsTheRingSlotsAndSegmentFormulas)
{
    const int six[] = {1, 4, 3, 2, 5, 0, 1, -2, 3};   // n = 6: the chain zigzags across the ring
    for (int i = 0; i < 9; i++) EXPECT_EQ(ChainReference::slot(i, 6), six[i]) << i;
    // t, size. The ring span K takes the sine of the float phase in double precision; rounded to
    // a float first, K differs in its last bit at t = 36, 206, 223 and 779 with these sizes and
    // one stamp lands a pixel away.
    const int32_t cases[][2] = {{0, 60}, {36, 440}, {206, 360}, {223, 70}, {779, 210}, {1500, 450}};
    for (const auto& c : cases) {
        std::vector<uint8_t> got(W * (H + 2), 0), want(W * (H + 2), 0);
        fx_blobs_size = c[1];
        fx_blobs_render(got.data(), c[0]);
        ChainReference::draw(c[0], c[1], want.data());
        int diff = 0;
        for (int i = 0; i < W * H; i++) diff += got[i] != want[i];
        EXPECT_EQ(diff, 0) << "t " << c[0] << " size " << c[1];
    }
    fx_blobs_size = 60;
}

TEST_F(Blobs, FadeNeverExceeds40AndOutOfRangeCountersAreClamped)
{
    std::fill(buf.begin(), buf.end(), 255);   // bytes no render writes: sums up to 765
    fx_blobs_size = 0;
    fx_blobs_render(buf.data(), 100);
    fx_blobs_size = 5000;
    fx_blobs_render(buf.data(), 200);
    fx_blobs_size = -7;
    fx_blobs_render(buf.data(), 300);
    for (int i = 0; i < W * H; i++) ASSERT_LE(buf[i], 60);
    EXPECT_EQ(buf[W * H], 255);
    fx_blobs_size = 60;
}

}  // namespace
