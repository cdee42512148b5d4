#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "fx/fx_balls.h"
#include "tests/fx/fx_test_media.h"

namespace {

constexpr int W = 320, H = 240;

// Background pixels are 0x00b0nn, texture pixels 0xa000nn with nn = 1 + 51 x cell + texel row,
// foreground pixels 0xc000nn (index 5 on the left half of the picture, 6 on the right).
struct BallMedia {
    std::vector<uint8_t> bg, tex, fg;
    BallMedia()
    {
        std::vector<uint8_t> b(W * H), t(W * 100, 0), f(W * H, 0);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) b[y * W + x] = static_cast<uint8_t>((x + 2 * y) & 255);
        for (int y = 0; y < 51; y++)
            for (int x = 0; x < 204; x++) t[y * W + x] = static_cast<uint8_t>(1 + 51 * (x / 51) + y);
        for (int y = 70; y < 210; y++)
            for (int x = 0; x < W; x++)
                if (x % 7 == 0) f[y * W + x] = x < 160 ? 5 : 6;
        bg = fxt::make_pbm(W, H, b, fxt::make_palette([](int i) { return 0x00b000u | i; }));
        tex = fxt::make_pbm(W, 100, t, fxt::make_palette([](int i) { return 0xa00000u | i; }));
        fg = fxt::make_pbm(W, H, f, fxt::make_palette([](int i) { return 0xc00000u | i; }));
    }
    void init() const
    {
        fx_balls_init_from(bg.data(), static_cast<uint32_t>(bg.size()), tex.data(), static_cast<uint32_t>(tex.size()),
                           fg.data(), static_cast<uint32_t>(fg.size()));
    }
};

uint32_t bg_pixel(int y, int x) { return 0x00b000u | static_cast<uint32_t>((x + 2 * y) & 255); }
bool is_tex(uint32_t p) { return (p & 0xff0000) == 0xa00000; }
int tex_cell(uint32_t p) { return static_cast<int>((p & 0xff) - 1) / 51; }
int tex_row(uint32_t p) { return static_cast<int>((p & 0xff) - 1) % 51; }

// Must run first in this program: the depth records and the simulated time start at zero with
// the program, and no other test may have rendered before.
TEST(BallsFirstFrame, DrawsBallZeroAloneAtItsSeededPosition)
{
    // A seed whose ball 0 lies well inside the screen.
    double X = 0, Y = 0, Z = 1;
    unsigned seed = 1;
    for (;; seed++) {
        std::srand(seed);
        X = std::rand() % 200 - 100;
        Y = std::rand() % 300 - 200;
        Z = std::rand() % 100 + 110;
        const double sy = 70 * Y / Z + 120;
        if (sy > 40 && sy < 90) break;
    }
    std::srand(seed);
    BallMedia m;
    m.init();
    const uint32_t* f = fx_balls_render(0, 0);
    ASSERT_NE(f, nullptr);
    const int sx = static_cast<int>(70 * X / Z + 160), sy = static_cast<int>(70 * Y / Z + 120);
    const int r = static_cast<int>(70 * (X + 30) / Z - 70 * X / Z);
    const int shy = static_cast<int>(7000 / Z + 120);
    int drawn = 0;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const uint32_t p = f[y * W + x];
            if (!is_tex(p)) continue;
            drawn++;
            ASSERT_EQ(tex_cell(p), 0) << "only the even ball 0 is drawn";
            ASSERT_LE((x - sx) * (x - sx) + (y - sy) * (y - sy), (r + 1) * (r + 1)) << x << "," << y;
        }
    EXPECT_GT(drawn, 3 * r * r);
    // the centre row's texel row: (r + 1) steps of 3276800 / (2r + 1) in 16.16
    EXPECT_EQ(tex_row(f[sy * W + sx]), ((r + 1) * (3276800 / (2 * r + 1))) >> 16);
    // its shadow: the halved background on the floor line, one third as high as wide
    EXPECT_EQ(f[shy * W + sx + 1], (bg_pixel(shy, sx + 1) >> 1) & 0x7f7f7f);
    EXPECT_EQ(f[(shy + r / 3 + 1) * W + sx + 1], bg_pixel(shy + r / 3 + 1, sx + 1));
    // foreground over everything, left half of the picture
    EXPECT_EQ(f[(100 + 10) * W + 7], 0xc00005u);
    EXPECT_EQ(f[(100 + 10) * W + 8], bg_pixel(110, 8));
    fx_balls_free();
}

TEST(Balls, DrawBallRadiusLimitsShadowRowsAndClippedTexels)
{
    BallMedia m;
    m.init();
    std::vector<uint32_t> dst(W * H);
    auto changed = [&](int y0, int y1) {   // rows y0..y1 hold something; the rest stays 0
        for (int y = 0; y < H; y++) {
            bool any = false;
            for (int x = 0; x < W; x++) any |= dst[y * W + x] != 0;
            if (any != (y >= y0 && y <= y1)) return false;
        }
        return true;
    };
    // radius -> rows drawn (ball at row 120)
    const struct {
        int r;
        uint32_t flags;
        int y0, y1;
    } cases[] = {{0, 0, 1, 0},          {101, 0, 1, 0},          {-3, 0, 1, 0},
                 {100, 0, 20, 220},     {1, 0, 119, 121},        {101, 0xff00003c, 1, 0},
                 {2, 0xff00003c, 120, 120}, {3, 0xff00003c, 119, 121}, {100, 0xff00003c, 87, 153}};
    for (const auto& c : cases) {
        std::fill(dst.begin(), dst.end(), 0);
        fx_balls_draw_ball(160, 120, c.r, c.flags, dst.data());
        EXPECT_TRUE(changed(c.y0, c.y1)) << "r " << c.r << " flags " << c.flags;
    }
    // A shadow of radius 2: 2 x sqrt(5) + 1 = 5 halved background pixels.
    std::fill(dst.begin(), dst.end(), 0);
    fx_balls_draw_ball(160, 120, 2, 0xff00003c, dst.data());
    for (int x = 156; x <= 164; x++)
        EXPECT_EQ(dst[120 * W + x], x >= 158 && x <= 162 ? (bg_pixel(120, x) >> 1) & 0x7f7f7f : 0u) << x;
    // Rows above the screen still advance the texture: ball at y = -5, r = 10, row 0 is its 16th
    // row, texel row (16 x 3276800 / 21) >> 16 = 38. Cells by flags: 0, 1, 2 (variant), 3.
    for (uint32_t flags = 0; flags < 4; flags++) {
        std::fill(dst.begin(), dst.end(), 0);
        fx_balls_draw_ball(100, -5, 10, flags, dst.data());
        EXPECT_EQ(tex_row(dst[100]), 38);
        EXPECT_EQ(tex_cell(dst[100]), static_cast<int>(flags));
        EXPECT_EQ(tex_row(dst[4 * W + 100]), 47);   // 20 steps
        EXPECT_EQ(tex_row(dst[5 * W + 100]), 49);   // the last row, 21 steps
        EXPECT_EQ(dst[6 * W + 100], 0u);
    }
    // Half off the left and right edges: clipped, nothing wraps into other rows.
    std::fill(dst.begin(), dst.end(), 0);
    fx_balls_draw_ball(-3, 50, 20, 1, dst.data());
    fx_balls_draw_ball(322, 50, 20, 1, dst.data());
    EXPECT_TRUE(changed(31, 69));   // rows 30 and 70 are one pixel wide, off screen
    EXPECT_EQ(tex_cell(dst[50 * W + 0]), 1);
    EXPECT_EQ(tex_cell(dst[50 * W + 17]), 1);
    EXPECT_EQ(dst[50 * W + 18], 0u);
    fx_balls_free();
}

TEST(Balls, TimeRunsForwardOnlyAndVariantSwitchesTexturesAndForeground)
{
    BallMedia m;
    std::srand(5);
    m.init();
    std::vector<uint32_t> at40(fx_balls_render(40, 0), fx_balls_render(40, 0) + W * H);
    const uint32_t* again = fx_balls_render(40, 0);
    EXPECT_TRUE(std::equal(at40.begin(), at40.end(), again)) << "a t at the counter runs no substep";
    again = fx_balls_render(10, 0);
    EXPECT_TRUE(std::equal(at40.begin(), at40.end(), again)) << "nor does an earlier t";
    int seen[4] = {};
    for (int t = 41; t < 400; t += 7) {
        const uint32_t* f = fx_balls_render(t, t > 200);
        for (int i = 0; i < W * H; i++) {
            if (!is_tex(f[i])) continue;
            seen[tex_cell(f[i])]++;
            ASSERT_EQ(tex_cell(f[i]) >= 2, t > 200) << "the variant picks cells 2 and 3, t " << t;
        }
        if (t > 200) {
            EXPECT_EQ(f[110 * W + 1], 0xc00006u);   // the right half: picture column 161
        }
    }
    for (int c = 0; c < 4; c++) EXPECT_GT(seen[c], 0) << "texture cell " << c;
    fx_balls_free();
    EXPECT_EQ(fx_balls_render(500, 0), nullptr);
}

// Places ball 0 and ball 1 on the X axis and every other ball far above, apart, at rest.
void isolate_pair(double x0, double v0, double x1, double v1)
{
    for (int i = 0; i < fx_balls_count; i++) {
        fx_balls_x[i] = 0;
        fx_balls_y[i] = -3000.0 - 100.0 * i;
        fx_balls_z[i] = 150;
        fx_balls_vx[i] = fx_balls_vy[i] = fx_balls_vz[i] = 0;
    }
    fx_balls_x[0] = x0, fx_balls_y[0] = 0, fx_balls_vx[0] = v0;
    fx_balls_x[1] = x1, fx_balls_y[1] = 0, fx_balls_vx[1] = v1;
}

TEST(BallsPhysics, SeedAndThrowInTakeTheirNumbersInOrder)
{
    const double k = 0.0009523809523809524;   // 1/1050
    std::srand(31);
    std::vector<int> r(121);
    for (int& v : r) v = std::rand();
    std::srand(31);
    BallMedia m;
    m.init();
    EXPECT_EQ(std::rand(), r[120]) << "init draws exactly 120 numbers";
    // per ball: X, Y, Z, then VY, VX, VZ
    for (int i = 0; i < fx_balls_count; i++) {
        const int* q = &r[6 * i];
        EXPECT_EQ(fx_balls_x[i], q[0] % 200 - 100) << i;
        EXPECT_EQ(fx_balls_y[i], q[1] % 300 - 200) << i;
        EXPECT_EQ(fx_balls_z[i], q[2] % 100 + 110) << i;
        EXPECT_EQ(fx_balls_vy[i], (q[3] % 90 + 10) * k) << i;
        EXPECT_EQ(fx_balls_vx[i], (q[4] % 200 - 100) * k) << i;
        EXPECT_EQ(fx_balls_vz[i], (q[5] % 100 - 50) * k) << i;
    }
    // Ball 5 leaves on the right in the first substep and is thrown in with six new numbers;
    // the six substeps after that only move it (the others hang far above, at rest).
    isolate_pair(0, 0, 0, 0);
    fx_balls_x[1] = 300;
    fx_balls_x[5] = 480, fx_balls_y[5] = 0;
    std::srand(8);
    for (int j = 0; j < 7; j++) r[j] = std::rand();
    std::srand(8);
    fx_balls_render(fx_balls_steps + 1, 0);
    EXPECT_EQ(std::rand(), r[6]) << "one throw-in, six numbers";
    const double g = 0.00857142857142857, x0 = r[0] % 200 - 100, y0 = r[1] % 300 - 450, z0 = r[2] % 30 + 80;
    const double vy = (r[3] % 90 + 10) * k, vx = (r[4] % 300 - 150) * 0.002857142857142857, vz = (r[5] % 50) * k;
    EXPECT_NEAR(fx_balls_x[5], x0 + 6 * vx, 1e-9);
    EXPECT_NEAR(fx_balls_y[5], y0 + 6 * vy + 15 * g, 1e-9);
    EXPECT_NEAR(fx_balls_z[5], z0 + 6 * vz, 1e-9);
    EXPECT_NEAR(fx_balls_vy[5], vy + 6 * g, 1e-9);
    EXPECT_DOUBLE_EQ(fx_balls_vx[5], vx);
    EXPECT_DOUBLE_EQ(fx_balls_vz[5], vz);
    fx_balls_free();
}

TEST(BallsPhysics, CoincidentBallsStayFinite)
{
    BallMedia m;
    m.init();
    // Two balls at one point have no line of centres: velocities stay as they are, no NaN.
    isolate_pair(40, 0.1, 40, 0.1);
    fx_balls_render(fx_balls_steps + 1, 0);
    for (int i = 0; i < 2; i++) {
        EXPECT_TRUE(std::isfinite(fx_balls_vy[i]) && std::isfinite(fx_balls_vz[i]));
        EXPECT_DOUBLE_EQ(fx_balls_vx[i], 0.1);
    }
    fx_balls_free();
}

}  // namespace
