#include <gtest/gtest.h>

#include <vector>

#include "fx/fx_curtain.h"
#include "tests/fx/fx_test_media.h"

namespace {

constexpr int W = 320, H = 240;

// The still picture: index (3x + y) mod 256 through palette i -> 0x00c000 + i.
uint32_t pic_pixel(int y, int x) { return 0x00c000u | static_cast<uint32_t>((3 * x + y) & 255); }

struct CurtainFixture : ::testing::Test {
    std::vector<uint8_t> pic, anim;
    void SetUp() override
    {
        std::vector<uint8_t> idx(W * H);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) idx[y * W + x] = static_cast<uint8_t>((3 * x + y) & 255);
        pic = fxt::make_pbm(W, H, idx, fxt::make_palette([](int i) { return 0x00c000u | i; }));
        anim = fxt::make_anim(20);
        ASSERT_EQ(fx_curtain_init_from(pic.data(), static_cast<uint32_t>(pic.size()), anim.data(),
                                       static_cast<uint32_t>(anim.size())),
                  0);
    }
    void TearDown() override { fx_curtain_free(); }
};

uint32_t anim_pixel(uint32_t frame) { return (frame << 16) | (frame + 1); }
uint32_t blend(uint32_t p, uint32_t q) { return ((p >> 1) & 0x7f7f7f) + ((q >> 1) & 0x7f7f7f); }

TEST_F(CurtainFixture, FramesRunForwardsThenBackwardsWithEachEndShownTwice)
{
    const uint32_t order[][2] = {{0, 0},  {19, 19}, {20, 19}, {21, 18}, {39, 0},
                                 {40, 0}, {41, 1},   {60, 19}, {4000000019u, 19}};
    for (const auto& o : order) {
        const uint32_t* f = fx_curtain_render(o[0]);
        // row 10 lies above every horizon (the highest is near row 30)
        EXPECT_EQ(f[10 * W + 10], anim_pixel(o[1])) << "t " << o[0];
    }
}

TEST_F(CurtainFixture, HorizonValuesAndTheirLimits)
{
    // t -> {column, row}: t = 0 is 10 sin(x/10) + 20 cos(x/20) + 160, 180 at the centre; at t = 71
    // the centre lies below the frame (y 250.5 gives 240); at t = 59, y 238.7 gives 238 and 239.1
    // gives 240, not 239.
    const struct {
        uint32_t t;
        int col, row;
    } cases[] = {{0, 0, 159},    {0, 160, 180},  {0, 319, 156},  {24, 160, 54},  {71, 160, 240},
                 {71, 319, 151}, {59, 128, 238}, {59, 129, 240}, {1000, 160, 214}};
    int32_t rows[W];
    for (const auto& c : cases) {
        fx_curtain_horizon(c.t, rows);
        EXPECT_EQ(rows[c.col], c.row) << "t " << c.t << " column " << c.col;
    }
}

TEST_F(CurtainFixture, ColumnsShowAnimationSeamAndPicture)
{
    // Pixels the doubled blit writes: source (i, j), rows 0..118, lands on (2i, 2j), (2i+1, 2j+1),
    // (2i+1, 2j+2) and (2i+2, 2j+1), as linear positions (column 320 runs into the next row).
    std::vector<bool> reached(W * H, false);
    for (int i = 0; i < 119; i++)
        for (int j = 0; j < 160; j++)
            for (int d : {0, 321, 322, 641}) reached[640 * i + 2 * j + d] = true;
    for (uint32_t t : {0u, 59u, 71u}) {
        int32_t rows[W];
        fx_curtain_horizon(t, rows);
        const uint32_t frame = (t / 20) % 2 == 0 ? t % 20 : 19 - t % 20;
        const uint32_t* f = fx_curtain_render(t);
        for (int c = 0; c < W; c++) {
            const int h = rows[c];
            for (int y = 0; y < H; y++) {
                // the border the doubled animation does not reach stays black
                const uint32_t anim = reached[y * W + c] ? anim_pixel(frame) : 0;
                uint32_t want;
                if (y <= h)
                    want = anim;
                else if (y == h + 1)
                    want = blend(anim, pic_pixel(y, c));
                else
                    want = pic_pixel(y, c);
                ASSERT_EQ(f[y * W + c], want) << "t " << t << " row " << y << " column " << c << " h " << h;
            }
        }
    }
}

TEST(Curtain, RenderAfterFreeGivesNullAndFreeTwiceIsSafe)
{
    fx_curtain_free();
    fx_curtain_free();
    EXPECT_EQ(fx_curtain_render(5), nullptr);
}

}  // namespace
