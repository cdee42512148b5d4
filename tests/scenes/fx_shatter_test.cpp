#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine3d/rz.h"
#include "scenes/fx_shatter.h"

namespace {

constexpr int W = 320, H = 240, N = W * H;

struct Shatter : ::testing::Test {
    void SetUp() override { ASSERT_EQ(fx_shatter_init(), 0); }
    void TearDown() override { fx_shatter_free(); }
};

rz_vertex v8(int x, int y, int u, int v) { return {x << 8, y << 8, u << 8, v << 8, 0, 0, 0, 0}; }

void expect_vertex(const rz_vertex& got, const rz_vertex& want, const char* what)
{
    EXPECT_EQ(got.x, want.x) << what;
    EXPECT_EQ(got.y, want.y) << what;
    EXPECT_EQ(got.tu1, want.tu1) << what;
    EXPECT_EQ(got.tv1, want.tv1) << what;
    EXPECT_EQ(got.tu2 | got.tv2 | got.shade | got.depth, 0) << what;
}

TEST_F(Shatter, FanFromTheBorderToTheCentre)
{
    // border points by their place on the four edges (pixels, texels)
    struct { int tri, vert; rz_vertex want; } table[] = {
        {0, 0, v8(0, 0, 0, 2)},          {0, 1, v8(2, 0, 1, 2)},           {0, 2, v8(160, 120, 128, 128)},
        {127, 1, v8(319, 0, 253, 0)},    {128, 1, v8(319, 1, 253, 1)},     {255, 1, v8(319, 239, 253, 239)},
        {256, 1, v8(316, 239, 251, 239)}, {383, 1, v8(0, 239, 0, 239)},    {384, 1, v8(0, 237, 0, 237)},
        {511, 1, v8(0, 0, 0, 2)},
    };
    for (const auto& e : table) {
        const std::string what = std::to_string(e.tri) + "." + std::to_string(e.vert);
        expect_vertex(fx_shatter_tris[e.tri][e.vert], e.want, what.c_str());
    }
    // each triangle's second point is the next one's first
    for (int i = 0; i < fx_shatter_count; i++) {
        const rz_vertex& a = fx_shatter_tris[i][1];
        const rz_vertex& b = fx_shatter_tris[(i + 1) % fx_shatter_count][0];
        ASSERT_EQ(a.x, b.x) << i;
        ASSERT_EQ(a.tv1, b.tv1) << i;
    }
    EXPECT_EQ(rz_tex1, fx_shatter_tex);
}

TEST_F(Shatter, PhasesOfTheMotion)
{
    rz_vertex t0[3], a[3], b[3];
    // t = 0: every triangle in place
    for (int i = 0; i < fx_shatter_count; i++) {
        fx_shatter_triangle(i, 0, t0);
        for (int v = 0; v < 3; v++) expect_vertex(t0[v], fx_shatter_tris[i][v], "t=0");
    }
    // phase 1, t = 256: a quarter of the way from (0, 0) to (50, 120) for point 0
    fx_shatter_triangle(0, 256, a);
    EXPECT_EQ(a[0].x, 3200);   // 0 - (0 - 50) x 64
    EXPECT_EQ(a[0].y, 7680);
    EXPECT_EQ(a[2].x, 160 << 8);
    // t = 1023 and 1024 nearly agree (phase 2 ends where phase 3 starts), for every point
    for (int i = 0; i < fx_shatter_count; i++) {
        fx_shatter_triangle(i, 1023, a);
        fx_shatter_triangle(i, 1024, b);
        for (int v = 0; v < 2; v++) {
            ASSERT_LE(std::abs(a[v].x - b[v].x), 200) << i;  // within a pixel
            ASSERT_LE(std::abs(a[v].y - b[v].y), 200) << i;
        }
        ASSERT_EQ(b[2].x, 160 << 8);
        ASSERT_EQ(b[2].y, 120 << 8);
    }
    fx_shatter_triangle(0, 1024, b);
    EXPECT_EQ(b[0].x, 50 << 8);  // radius 110 (sin 0), angle 0
    EXPECT_EQ(b[0].y, 120 << 8);
    // the centre slides left: first below 0 at t = 2087; from t = 2304 (m = 128) at full speed
    fx_shatter_triangle(0, 2086, a);
    fx_shatter_triangle(0, 2087, b);
    EXPECT_GE(a[2].x, 0);
    EXPECT_LT(b[2].x, 0);
    for (int32_t t : {2304, 3000}) {
        fx_shatter_triangle(5, t, a);
        EXPECT_EQ(a[2].x, static_cast<int32_t>(256.0 * 160.0 * (1.0 - (t - 1024) / 1024.0))) << t;
        EXPECT_EQ(a[2].y, 120 << 8);
        EXPECT_EQ(a[0].tu1, fx_shatter_tris[5][0].tu1);  // texture coordinates never change
    }
}

// Source pixel (x, y) = y << 12 | x: a drawn pixel names the source pixel it came from.
std::vector<uint32_t> coded_source()
{
    std::vector<uint32_t> s(N);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) s[y * W + x] = static_cast<uint32_t>(y << 12 | x);
    return s;
}

TEST_F(Shatter, TimeZeroDrawsThePictureWhole)
{
    const auto src = coded_source();
    std::vector<uint32_t> dst(N, 0xff000000u);
    fx_shatter_render(dst.data(), src.data(), 0);
    // the texture: texel (c, r) = source (floor(1.25 c), r)
    const uint32_t* tex = reinterpret_cast<const uint32_t*>(fx_shatter_tex);
    for (int r : {0, 1, 120, 239})
        for (int c : {0, 3, 4, 5, 255}) EXPECT_EQ(tex[r * 256 + c], src[r * W + (5 * c) / 4]) << r << "," << c;
    // rows 0..238 are covered (the bottom row of a polygon's box is not drawn), each pixel
    // showing a source pixel near it: the centre's texel row is 128 for screen row 120, so the
    // middle is pulled by up to 8 rows
    int far = 0;
    for (int y = 0; y < H - 1; y++)
        for (int x = 0; x < W; x++) {
            const uint32_t p = dst[y * W + x];
            ASSERT_EQ(p >> 24, 0u) << y << "," << x;
            const int sy = static_cast<int>(p >> 12), sx = static_cast<int>(p & 0xfff);
            far += std::abs(sy - y) > 9 || std::abs(sx - x) > 4;
        }
    EXPECT_LT(far, 20);  // a few seam pixels of the thinnest triangles may stray
    EXPECT_EQ(rz_target, dst.data());
}

TEST_F(Shatter, DiscSlidesAwayAndFramesStaySafe)
{
    const auto src = coded_source();
    std::vector<uint32_t> a(N, 0xff000000u), b(N, 0xff000000u);
    fx_shatter_render(a.data(), src.data(), 700);
    fx_shatter_render(b.data(), src.data(), 1500);
    EXPECT_NE(a, b);
    // at t = 700 the disc (radius about 110) sits at the centre and the corners are uncovered
    EXPECT_EQ(a[120 * W + 160] >> 24, 0u);
    EXPECT_EQ(a[5 * W + 5], 0xff000000u);
    EXPECT_EQ(a[230 * W + 310], 0xff000000u);
    // far into phase 3 the disc has left the screen: nothing drawn
    std::vector<uint32_t> c(N, 0xff000000u);
    fx_shatter_render(c.data(), src.data(), 4000);
    for (int i = 0; i < N; i++) ASSERT_EQ(c[i], 0xff000000u) << i;
    // any t, and another screen set in between, stay inside the frames
    rz_set_screen(640, 480, 8);
    for (int32_t t : {-5000, -1, 511, 512, 1023, 2087, 100000, INT32_MAX, INT32_MIN})
        fx_shatter_render(c.data(), src.data(), t);
    EXPECT_EQ(rz_width, 320);
    EXPECT_EQ(rz_bits, 32);
}

TEST(ShatterLife, InitFreeCycles)
{
    const auto src = coded_source();
    std::vector<uint32_t> dst(N, 0);
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(fx_shatter_init(), 0);
        EXPECT_EQ(fx_shatter_init(), 0);  // a second init frees the first texture
        fx_shatter_render(dst.data(), src.data(), 10 * k);
        fx_shatter_free();
        EXPECT_EQ(fx_shatter_tex, nullptr);
        EXPECT_EQ(rz_tex1, nullptr);
        fx_shatter_free();
    }
    // without a texture the render draws nothing
    std::vector<uint32_t> before = dst;
    fx_shatter_render(dst.data(), src.data(), 0);
    EXPECT_EQ(dst, before);
}

}  // namespace
