#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "fx/fx_beams.h"
#include "tests/fx/fx_test_media.h"

namespace {

constexpr int W = 320, H = 240, P = 512;

// Logo: a filled block of index 9 (colour 0x2468ac) at rows 150..199, columns 200..299 (outside
// both glow rectangles) and another at rows 100..119, columns 40..59 (inside the first one);
// everything else transparent.
struct Beams : ::testing::Test {
    unsigned seed = 4242;
    void SetUp() override
    {
        std::vector<uint8_t> idx(W * H, 0);
        for (int y = 150; y < 200; y++)
            for (int x = 200; x < 300; x++) idx[y * W + x] = 9;
        for (int y = 100; y < 120; y++)
            for (int x = 40; x < 60; x++) idx[y * W + x] = 9;
        const auto pic = fxt::make_pbm(W, H, idx, fxt::make_palette([](int i) { return i == 9 ? 0x2468acu : 0u; }));
        std::srand(seed);
        fx_beams_init_from(pic.data(), static_cast<uint32_t>(pic.size()));
    }
    void TearDown() override { fx_beams_free(); }
};

uint32_t blend(uint32_t p, uint32_t q) { return ((p >> 1) & 0x7f7f7f) + ((q >> 1) & 0x7f7f7f); }

bool in_glow(int y, int x)
{
    return (y >= 65 && y <= 164 && x >= 32 && x <= 141) || (y >= 45 && y <= 144 && x >= 70 && x <= 179);
}

// The beam colour of screen pixel (x, y) for pulse s, from the tables.
uint32_t beam(int y, int x, int s)
{
    const int e = (200 + y) * P + 148 + x;
    const int row = fx_beams_distance[e] + s;
    return fx_beams_ramp[fx_beams_texture[(row > 0 ? row : 0) * 256 + fx_beams_swirl[fx_beams_angle[e]]]];
}

TEST_F(Beams, PolarTablesAreDefinedEverywhere)
{
    // entry (row, column) -> distance, angle
    // (the factor 128 / 3.141593 is a hair under 128 / pi, so exact eighths of a turn truncate
    // one step lower: 3/8 turn is 95, -1/8 turn is -31, that is 225; beyond 255 the distance is 255)
    const struct {
        int i, j, d, a;
    } cases[] = {{255, 255, 0, 95}, {256, 256, 0, 225}, {255, 511, 255, 0}, {0, 255, 255, 64},
                 {511, 255, 255, 192}, {100, 400, 212, 33}};
    for (const auto& c : cases) {
        EXPECT_EQ(fx_beams_distance[c.i * P + c.j], c.d) << c.i << "," << c.j;
        EXPECT_EQ(fx_beams_angle[c.i * P + c.j], c.a) << c.i << "," << c.j;
    }
    EXPECT_EQ(fx_beams_ramp[0], 0u);
    EXPECT_EQ(fx_beams_ramp[16], 0x100101u);
    EXPECT_EQ(fx_beams_ramp[255], 0xfffefeu);
}

TEST_F(Beams, StreakTextureDrawsSixtyFourNumbersAndRunsOut)
{
    std::srand(seed);
    for (int k = 0; k < 64; k++) std::rand();
    const int after = std::rand();
    fx_beams_free();
    SetUp();
    EXPECT_EQ(std::rand(), after) << "init draws exactly 64 numbers";
    for (int c = 0; c < 256; c++) {
        EXPECT_EQ(fx_beams_texture[c], 255);
        ASSERT_EQ(fx_beams_texture[179 * 256 + c], 0) << "every fall-off has run out by row 179";
        ASSERT_EQ(fx_beams_texture[511 * 256 + c], 0);
    }
}

TEST_F(Beams, SwirlPulseFlagsAndGlowAtChosenTimes)
{
    for (double T : {0.0, 31.41592653589793, 1000.0}) {
        const uint32_t* f = fx_beams_render(T);
        ASSERT_NE(f, nullptr);
        for (int i = 0; i < 256; i++) {   // the swirl turns against T and shifts with T / 15
            const double v = std::floor(50 * std::sin(0.1 * i - 0.1 * T) + 30 * std::cos(0.05 * i + T / 15));
            ASSERT_EQ(fx_beams_swirl[i], (static_cast<int>(v) % 256 + 256) % 256) << T << " " << i;
        }
        const int s = static_cast<int>(10 + 30 * std::cos(0.1 * T));
        std::vector<uint32_t> want(W * H);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const bool logo = (y >= 150 && y < 200 && x >= 200 && x < 300) || (y >= 100 && y < 120 && x >= 40 && x < 60);
                const bool outline = logo && (y == 150 || y == 199 || x == 200 || x == 299 || y == 100 || y == 119 ||
                                              x == 40 || x == 59);
                want[y * W + x] = !logo ? beam(y, x, s) : outline ? blend(0x2468ac, beam(y, x, s)) : 0x0f2468acu;
            }
        // The glow: texel v at row 4d + s2 of the entry 147 rows below and 210 columns right of
        // the pixel, ramp[v] scaled by v / 256 added to (32 + k, y) and to (70 + k, y - 20).
        const int s2 = static_cast<int>(60 - 60 * std::cos(0.1 * T));
        auto add = [](uint32_t p, uint32_t c, uint32_t v) {
            uint32_t out = 0;
            for (int sh = 0; sh < 24; sh += 8) {
                const uint32_t ch = ((p >> sh) & 255) + ((((c >> sh) & 255) * v) >> 8);
                out |= std::min(ch, 255u) << sh;
            }
            return out;
        };
        for (int y = 65; y <= 164; y++)
            for (int k = 0; k < 110; k++) {
                const int e = (y + 147) * P + 210 + k;
                const uint32_t v = fx_beams_texture[(4 * fx_beams_distance[e] + s2) * 256 + fx_beams_swirl[fx_beams_angle[e]]];
                want[y * W + 32 + k] = add(want[y * W + 32 + k], fx_beams_ramp[v], v);
                want[(y - 20) * W + 70 + k] = add(want[(y - 20) * W + 70 + k], fx_beams_ramp[v], v);
            }
        int lit_glow = 0;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                ASSERT_EQ(f[y * W + x], want[y * W + x]) << T << " " << y << "," << x;
                if (in_glow(y, x)) {
                    ASSERT_EQ(f[y * W + x] >> 24, 0u) << "glow clears the flags " << y << "," << x;
                    lit_glow += f[y * W + x] != beam(y, x, s);
                }
            }
        EXPECT_GT(lit_glow, 0) << "the glow adds light at " << T;
        // far corner, beyond distance 255: black for every pulse
        EXPECT_EQ(f[239 * W + 319], 0u);
    }
    // At T = 10 pi the pulse is -20: pixels nearer than 20 read texture row 0 (full brightness).
    const uint32_t* f = fx_beams_render(31.41592653589793);
    EXPECT_EQ(f[40 * W + 107], 0xfffefeu);
    // Inside the first glow rectangle the inner block loses its flag and gains light.
    const uint32_t q = f[110 * W + 50];
    EXPECT_EQ(q >> 24, 0u);
    EXPECT_GE(q & 0xff, 0xacu);
}

TEST(BeamsNoInit, RenderWithoutTablesGivesNull)
{
    fx_beams_free();
    EXPECT_EQ(fx_beams_render(0), nullptr);
}

}  // namespace
