#include <gtest/gtest.h>

#include <vector>

#include "fx/fx_mirror.h"
#include "tests/fx/fx_test_media.h"

namespace {

constexpr int W = 320, H = 240;

// Main picture (palette i -> 0x00ii40, index 4 black): rectangle A of index 3 at rows 50..100,
// columns 100..139 with a black index-4 pixel at (70, 120); rectangle B at rows 120..140, columns
// 150..249 whose index runs 10 + (column - 150). Background: index (x + y) mod 256, palette
// i -> 0x500000 + i.
// Overlay: index 7 at rows 0..9 and 8 at rows 180..189, columns 0..9; palette 0xe00000 + i.
uint32_t main_colour(int i) { return i == 4 || i == 0 ? 0u : static_cast<uint32_t>(i << 8 | 0x40); }
uint32_t bg_colour(int y, int x) { return 0x500000u | static_cast<uint32_t>((x + y) & 255); }

struct Mirror : ::testing::Test {
    void SetUp() override
    {
        std::vector<uint8_t> m(W * H, 0), b(W * H), d(W * H, 0);
        for (int y = 50; y <= 100; y++)
            for (int x = 100; x <= 139; x++) m[y * W + x] = 3;
        m[70 * W + 120] = 4;
        for (int y = 120; y <= 140; y++)
            for (int x = 150; x <= 249; x++) m[y * W + x] = static_cast<uint8_t>(10 + x - 150);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) b[y * W + x] = static_cast<uint8_t>((x + y) & 255);
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 10; x++) {
                d[y * W + x] = 7;
                d[(180 + y) * W + x] = 8;
            }
        const auto mp = fxt::make_pbm(W, H, m, fxt::make_palette(main_colour));
        const auto bp = fxt::make_pbm(W, H, b, fxt::make_palette([](int i) { return 0x500000u | i; }));
        const auto dp = fxt::make_pbm(W, H, d, fxt::make_palette([](int i) { return 0xe00000u | i; }));
        fx_mirror_init_from(mp.data(), static_cast<uint32_t>(mp.size()), bp.data(), static_cast<uint32_t>(bp.size()),
                            dp.data(), static_cast<uint32_t>(dp.size()));
    }
    void TearDown() override { fx_mirror_free(); }
};

uint32_t blend(uint32_t p, uint32_t q) { return ((p >> 1) & 0x7f7f7f) + ((q >> 1) & 0x7f7f7f); }

// The background seen through the window of a zoom value: 200 + 6z/5 columns wide, 16.16 steps
// over 320 columns and 200 rows.
uint32_t window_pixel(int zoom, int y, int x)
{
    const uint32_t wx = 200 + (6 * zoom / 5) % 40, wy = 120 + zoom % 40;
    const uint32_t u = (160 - wx / 2) * 65536 + x * (wx * 65536 / 320);
    const uint32_t v = (120 - wy / 2) * 65536 + y * (wy * 65536 / 200);
    return bg_colour(static_cast<int>(v >> 16), static_cast<int>(u >> 16));
}

TEST_F(Mirror, CopiesOutlinesAndOverlapAtTimeZero)
{
    // t = 0: top row 40 (drawing from row 41 with source row 1), x0 = 80.
    const uint32_t* f = fx_mirror_render(0, 1);
    ASSERT_NE(f, nullptr);
    auto bg = [](int y, int x) { return window_pixel(0, y, x); };
    // output pixel -> expected: inside and outline of the left and mirrored copies of A
    EXPECT_EQ(f[95 * W + 30], main_colour(3));                           // source (55, 110)
    EXPECT_EQ(f[95 * W + 289], main_colour(3));                          // mirrored
    EXPECT_EQ(f[90 * W + 30], blend(main_colour(3), bg(90, 30)));        // top outline row 50
    EXPECT_EQ(f[95 * W + 20], blend(main_colour(3), bg(95, 20)));        // left outline column 100
    EXPECT_EQ(f[110 * W + 40], bg(110, 40));                             // the black pixel is not drawn
    EXPECT_EQ(f[110 * W + 279], bg(110, 279));
    EXPECT_EQ(f[89 * W + 30], bg(89, 30));                               // outside the picture
    // B overlaps itself in columns 150..169 (row 170 = source row 130): the left copy's inside
    // wins everywhere; at 169 its outline finds the mirrored inside already there, at 150 the
    // mirrored outline finds the left inside.
    for (int c = 151; c <= 168; c++) EXPECT_EQ(f[170 * W + c], main_colour(c - 60)) << c;
    EXPECT_EQ(f[170 * W + 169], main_colour(90));
    EXPECT_EQ(f[170 * W + 150], main_colour(90));
    EXPECT_EQ(f[170 * W + 170], main_colour(89));                        // mirrored only
    EXPECT_EQ(f[170 * W + 149], main_colour(149 - 60));                  // left only
    // Rows 0..40 never show the picture here, and every top byte is 0.
    for (int i = 0; i < W * H; i++) ASSERT_EQ(f[i] >> 24, 0u) << i;
    for (int y = 0; y <= 40; y++)
        for (int x = 0; x < W; x++) ASSERT_EQ(f[y * W + x], bg(y, x)) << y << "," << x;
}

TEST_F(Mirror, OverlayRowsFollowTheParabola)
{
    // t -> output row 0 shows overlay source row r0 = 180 - ((t mod 60) - 30)^2 / 5
    const struct {
        int32_t t;
        bool shown;
        uint32_t at_row0;   // overlay colour at (0, 0), if shown
    } cases[] = {{510, false, 0}, {511, true, 0xe00008}, {540, true, 0xe00007}, {600, true, 0xe00007}};
    for (const auto& c : cases) {
        const uint32_t* f = fx_mirror_render(c.t, 1);
        if (c.shown)
            EXPECT_EQ(f[5 * W + 5], c.at_row0) << c.t;
        else
            EXPECT_EQ(f[5 * W + 5], window_pixel(0, 5, 5)) << c.t;
        EXPECT_EQ(f[12 * W + 5], window_pixel(0, 12, 5)) << c.t;
    }
}

TEST_F(Mirror, ZoomResetsCapsAndSurvivesInit)
{
    auto row0_zoom = [](const uint32_t* f) {   // which zoom value row 0 shows
        for (int z = 0; z <= 29; z++) {
            bool same = true;
            for (int x = 0; x < W && same; x++) same = f[x] == window_pixel(z, 0, x);
            if (same) return z;
        }
        return -1;
    };
    EXPECT_EQ(row0_zoom(fx_mirror_render(0, 1)), 0);
    EXPECT_EQ(row0_zoom(fx_mirror_render(10, 1)), 0);     // a reset every render keeps zoom 0
    EXPECT_EQ(row0_zoom(fx_mirror_render(17, 0)), 7);
    EXPECT_EQ(row0_zoom(fx_mirror_render(117, 0)), 29);   // a gap of 100 ticks jumps to the cap
    EXPECT_EQ(row0_zoom(fx_mirror_render(150, 1)), 0);
    EXPECT_EQ(row0_zoom(fx_mirror_render(140, 0)), 0);    // time running back holds at 0
    EXPECT_EQ(row0_zoom(fx_mirror_render(143, 0)), 3);
    SetUp();                                              // a new init keeps zoom 3 and last 143
    EXPECT_EQ(row0_zoom(fx_mirror_render(145, 0)), 5);
}

TEST(MirrorNoInit, RenderWithoutFramesGivesNull)
{
    fx_mirror_free();
    EXPECT_EQ(fx_mirror_render(0, 0), nullptr);
    fx_mirror_free();
}

}  // namespace
