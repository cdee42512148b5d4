// Span fillers: which pixels of a small target change, and to what. Most cases write the edge
// tables by hand and call the filler directly, as rz_draw_poly would after its edge scans.
#include <gtest/gtest.h>

#include "engine3d/pal_shade.h"
#include "engine3d/rz.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t fix16(double v) { return static_cast<int32_t>(v * 65536.0); }
constexpr int32_t px(double p) { return static_cast<int32_t>(p * 256); }

// One edge row: x on both sides (pixels) and slots 1.. raw.
void edge_row(int y, double xl, double xr, std::vector<int32_t> left, std::vector<int32_t> right)
{
    rz_edge_left[0][y] = fix16(xl);
    rz_edge_right[0][y] = fix16(xr);
    for (size_t i = 0; i < left.size(); i++)
        rz_edge_left[i + 1][y] = left[i];
    for (size_t i = 0; i < right.size(); i++)
        rz_edge_right[i + 1][y] = right[i];
}

// A screen with its own target (filled with `fill`), texture areas and depth buffer.
template <class T>
struct canvas {
    std::vector<T> px, tex1, tex2;
    explicit canvas(int32_t w, int32_t h, T fill)
        : px(static_cast<size_t>(w * h), fill), tex1(rz_tex_texels, 1), tex2(rz_tex_texels, 1)
    {
        EXPECT_EQ(rz_set_screen(w, h, sizeof(T) == 1 ? 8 : 32), 0);
        rz_target = px.data();
        rz_set_texture(tex1.data(), 1);
        rz_set_texture(tex2.data(), 2);
        rz_zbuffer(0);
        EXPECT_EQ(rz_zbuffer(1), 0);
    }
    ~canvas()
    {
        rz_target = nullptr;
        rz_set_texture(nullptr, 1);
        rz_set_texture(nullptr, 2);
        rz_zbuffer(0);
    }
    T& at(int x, int y) { return px[static_cast<size_t>(y * rz_width + x)]; }
    void zfill(uint32_t v) { std::fill(rz_zbuf, rz_zbuf + rz_width * rz_height, v); }
    uint32_t& z(int x, int y) { return rz_zbuf[y * rz_width + x]; }
    void rows(int32_t ymin, int32_t ymax)
    {
        rz_ymin = ymin;
        rz_ymax = ymax;
    }
};

} // namespace

TEST(SpanFill, RowWalkClipsBothEndsAndAdvancesFromTheRight)
{
    canvas<uint32_t> c(320, 4, 0xeeeeeeee);
    for (int32_t i = 0; i < rz_tex_texels; i++)
        c.tex1[static_cast<size_t>(i)] = static_cast<uint32_t>(i); // a texel is its own index
    c.rows(0, 1);

    // Left x -3.5, right x 10.2: columns 10 down to 0, from the right edge's values. The middle
    // row is 3507/256 pixels wide; u falls one texel per pixel from texel 100, v is row 5.
    edge_row(0, -3.5, 10.2, {fix16(100) - 256 * 3507, fix16(5)}, {fix16(100), fix16(5)});
    rz_span_tex32(nullptr);
    for (int x = 0; x <= 10; x++)
        EXPECT_EQ(c.at(x, 0), static_cast<uint32_t>(90 + x + 5 * 256)) << x;
    EXPECT_EQ(c.at(11, 0), 0xeeeeeeeeu);
    EXPECT_EQ(c.at(0, 1), 0xeeeeeeeeu);

    // Right x 400.0: drawing starts at column 319 with its values advanced by 81 steps.
    std::fill(c.px.begin(), c.px.end(), 0xeeeeeeee);
    edge_row(0, 300.0, 400.0, {fix16(100), fix16(5)}, {fix16(200), fix16(5)});
    rz_span_tex32(nullptr);
    EXPECT_EQ(c.at(319, 0), static_cast<uint32_t>(119 + 5 * 256));
    EXPECT_EQ(c.at(300, 0), static_cast<uint32_t>(100 + 5 * 256));
    EXPECT_EQ(c.at(299, 0), 0xeeeeeeeeu);
}

TEST(SpanFill, ZeroWidthRowsAndTargetRowPerFiller)
{
    typedef void (*span)(const rz_vertex*);
    struct row { const char* name; span f; int bits; bool zero_one; int row_offset; };
    const row table[] = {
        {"flat8", rz_span_flat8, 8, true, 1},          {"gouraud8", rz_span_gouraud8, 8, false, 1},
        {"tex8", rz_span_tex8, 8, false, 0},           {"tex_z8", rz_span_tex_z8, 8, false, 1},
        {"texp8", rz_span_texp8, 8, false, 1},         {"texp_z8", rz_span_texp_z8, 8, false, 1},
        {"tex_shade8", rz_span_tex_shade8, 8, false, 1}, {"tex2_add8", rz_span_tex2_add8, 8, true, 1},
        {"tex2_mask8", rz_span_tex2_mask8, 8, false, 1}, {"bump_prep8", rz_span_bump_prep8, 8, true, 1},
        {"tex32", rz_span_tex32, 32, false, 0},        {"tex_z32", rz_span_tex_z32, 32, false, 1},
        {"texp32", rz_span_texp32, 32, false, 1},
    };
    const rz_vertex v0{0, 0, 0, 0, 0, 0, 7, 0}; // flat colour 7
    for (const row& r : table) {
        std::vector<uint32_t> changed; // y * 16 + x of every changed pixel
        const auto run = [&](auto& c, auto fill) {
            c.zfill(0xffffffff);
            std::memset(rz_bump_height, 0, rz_max_width * rz_max_height);
            c.rows(2, 4);
            // Edge row 3: both x in column 5 (zero width); edge row 2: columns 4 to 9.
            // Slot 1 (u or shade) 3.0, slots 2 to 4 1.0 (v, depth 1, second pair).
            const std::vector<int32_t> s = {fix16(3), fix16(1), 1, fix16(1)};
            edge_row(3, 5.25, 5.75, s, s);
            edge_row(2, 4.0, 9.0, s, s);
            r.f(&v0);
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 16; x++)
                    if (r.f == rz_span_bump_prep8 ? rz_bump_height[y * 16 + x] != 0 : c.at(x, y) != fill)
                        changed.push_back(static_cast<uint32_t>(y * 16 + x));
        };
        if (r.bits == 8) {
            canvas<uint8_t> c(16, 8, 0xee);
            run(c, uint8_t{0xee});
        } else {
            canvas<uint32_t> c(16, 8, 0xeeeeeeee);
            run(c, uint32_t{0xeeeeeeee});
        }
        std::vector<uint32_t> expect;
        for (int x = 4; x <= 9; x++)
            expect.push_back(static_cast<uint32_t>((2 + r.row_offset) * 16 + x));
        if (r.zero_one)
            expect.push_back(static_cast<uint32_t>((3 + r.row_offset) * 16 + 5));
        EXPECT_EQ(changed, expect) << r.name;
    }
}

TEST(SpanFill, AffineDepthTestKeepsNearerAndRefusesEqual)
{
    canvas<uint32_t> c(16, 4, 0);
    for (int32_t i = 0; i < rz_tex_texels; i++)
        c.tex1[static_cast<size_t>(i)] = static_cast<uint32_t>(i);
    c.zfill(0xffffffff);
    c.rows(0, 1);
    // z from 0x1000 at the right to 0x1f00 at the left: 256 per pixel; texel 7.
    edge_row(0, 0.0, 15.0, {fix16(7), 0, 0x1f00}, {fix16(7), 0, 0x1000});
    rz_span_tex_z32(nullptr);
    EXPECT_EQ(c.at(0, 1), 7u);
    EXPECT_EQ(c.z(0, 1), 0x1f00u);
    EXPECT_EQ(c.z(15, 1), 0x1000u);
    // The same polygon again: equal depths don't draw.
    std::fill(c.px.begin(), c.px.end(), 0);
    rz_span_tex_z32(nullptr);
    EXPECT_EQ(std::count(c.px.begin(), c.px.end(), 0u), 64);

    // No depth buffer, or one made for a smaller screen: nothing is drawn.
    rz_zbuffer(0);
    std::fill(c.px.begin(), c.px.end(), 0);
    rz_span_tex_z32(nullptr);
    ASSERT_EQ(rz_set_screen(8, 4, 32), 0);
    ASSERT_EQ(rz_zbuffer(1), 0);
    ASSERT_EQ(rz_set_screen(16, 4, 32), 0);
    rz_span_tex_z32(nullptr);
    EXPECT_EQ(std::count(c.px.begin(), c.px.end(), 0u), 64);
}

TEST(SpanFill, PerspectiveIsExactEvery16PixelsAndLinearBetween)
{
    canvas<uint32_t> c(64, 4, 0xeeeeeeee);
    for (int32_t i = 0; i < rz_tex_texels; i++)
        c.tex1[static_cast<size_t>(i)] = static_cast<uint32_t>(i);
    c.rows(0, 1);
    // 40 pixels, distance 1 at the right to 4 at the left, u from 0 to 200 texels. The true
    // coordinate at fraction t = i / 39 from the right is 50t / (1 - 0.75t).
    edge_row(0, 0.0, 39.0, {fix16(200), 0, 4}, {0, 0, 1});
    rz_span_texp32(nullptr);
    const auto col = [&](int i) { return static_cast<int>(c.at(39 - i, 1) & 255); };
    const auto truth = [](int i) { double t = i / 39.0; return 50.0 * t / (1.0 - 0.75 * t); };
    for (int i : {0, 16, 32})
        EXPECT_EQ(col(i), static_cast<int>(std::floor(truth(i)))) << i;
    // Halfway between the exact pixels the coordinate is the mean of theirs, not the truth.
    EXPECT_EQ(col(8), static_cast<int>((truth(0) + truth(16)) / 2));
    EXPECT_EQ(col(24), static_cast<int>((truth(16) + truth(32)) / 2));
    EXPECT_NE(col(8), static_cast<int>(truth(8)));

    // A row with a distance of 0 or less at either end is skipped.
    std::fill(c.px.begin(), c.px.end(), 0xeeeeeeee);
    edge_row(0, 0.0, 39.0, {fix16(200), 0, 0}, {0, 0, 1});
    rz_span_texp32(nullptr);
    edge_row(0, 0.0, 39.0, {fix16(200), 0, 5}, {0, 0, -1});
    rz_span_texp32(nullptr);
    EXPECT_EQ(std::count(c.px.begin(), c.px.end(), 0xeeeeeeeeu), 256);
}

TEST(SpanFill, AffineAndPerspectiveAgreeAtConstantDepth)
{
    // Random clockwise triangles at distance 1, planar mapping: the perspective filler (one row
    // lower) shows the affine filler's texels, within one texel (their steps are measured on
    // different widths).
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(0.0, 63.0), grad(-0.5, 0.5), off(90.0, 110.0);
    int pixels = 0, same = 0;
    for (int k = 0; k < 40; k++) {
        const double ux = grad(rng), uy = grad(rng), vx = grad(rng), vy = grad(rng), u0 = off(rng), v0 = off(rng);
        rz_vertex t[3];
        for (rz_vertex& v : t) {
            const double x = pos(rng), y = pos(rng);
            v = rz_vertex{px(x), px(y), px(u0 + ux * x + uy * y), px(v0 + vx * x + vy * y), 0, 0, 0, 256};
        }
        const int64_t cross = int64_t{t[1].x - t[0].x} * (t[2].y - t[0].y) - int64_t{t[1].y - t[0].y} * (t[2].x - t[0].x);
        if (cross < 0)
            std::swap(t[1], t[2]); // clockwise on the screen (y down)
        canvas<uint32_t> a(64, 64, 0xeeeeeeee), p(64, 64, 0xeeeeeeee);
        for (int32_t i = 0; i < rz_tex_texels; i++)
            a.tex1[static_cast<size_t>(i)] = static_cast<uint32_t>(i);
        rz_set_texture(a.tex1.data(), 1);
        rz_target = a.px.data();
        rz_set_mode(4);
        rz_draw_poly(3, t);
        rz_target = p.px.data();
        rz_set_mode(68);
        rz_draw_poly(3, t);
        for (int y = 0; y < 63; y++)
            for (int x = 0; x < 64; x++) {
                const uint32_t ta = a.at(x, y), tp = p.at(x, y + 1);
                ASSERT_EQ(ta == 0xeeeeeeee, tp == 0xeeeeeeee) << k << ": " << x << "," << y;
                if (ta == 0xeeeeeeee)
                    continue;
                pixels++;
                same += ta == tp;
                EXPECT_LE(std::abs(static_cast<int>(ta & 255) - static_cast<int>(tp & 255)), 1) << k << ": " << x << "," << y;
                EXPECT_LE(std::abs(static_cast<int>(ta >> 8) - static_cast<int>(tp >> 8)), 1) << k << ": " << x << "," << y;
            }
        for (int x = 0; x < 64; x++)
            EXPECT_EQ(p.at(x, 0), 0xeeeeeeeeu);
    }
    EXPECT_GT(pixels, 10000);
    EXPECT_GT(same, pixels * 8 / 10);
}

namespace {

// Rows of a flat-filled 8-bit target: [first, last] drawn column per row, or {1, 0} for none.
std::vector<std::pair<int, int>> flat_spans(const rz_vertex* v, int n, int w, int h)
{
    std::vector<uint8_t> t(static_cast<size_t>(w * h), 0);
    rz_target = t.data();
    rz_vertex c[4];
    std::copy(v, v + n, c);
    c[0].shade = 1;
    rz_draw_poly(n, c);
    rz_target = nullptr;
    std::vector<std::pair<int, int>> rows(static_cast<size_t>(h), {1, 0});
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (t[static_cast<size_t>(y * w + x)]) {
                auto& r = rows[static_cast<size_t>(y)];
                if (r.first > r.second)
                    r = {x, x};
                else
                    r.second = x;
                EXPECT_EQ(r.second, x) << "gap inside one span";
            }
    return rows;
}

} // namespace

TEST(SpanFill, TrianglesSharingAnEdgeLeaveNoGap)
{
    ASSERT_EQ(rz_set_screen(128, 96, 8), 0);
    rz_set_mode(1);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> turn(0.0, 6.283185307179586), frac(0.0, 1.0);
    for (int k = 0; k < 200; k++) {
        // A convex quad on a circle, corners clockwise on the screen; split along A-C.
        double a[4];
        for (double& t : a)
            t = turn(rng);
        std::sort(a, a + 4);
        const double cx = 64 + 20 * frac(rng), cy = 48 + 10 * frac(rng), rad = 10 + 30 * frac(rng);
        rz_vertex q[4];
        for (int i = 0; i < 4; i++)
            q[i] = rz_vertex{px(cx + rad * std::cos(a[i])), px(cy + rad * std::sin(a[i])), 0, 0, 0, 0, 0, 0};
        const rz_vertex t1[3] = {q[0], q[1], q[2]}, t2[3] = {q[0], q[2], q[3]};
        const auto s1 = flat_spans(t1, 3, 128, 96), s2 = flat_spans(t2, 3, 128, 96);
        // Target rows strictly inside the diagonal (edge row + 1): there both triangles take x
        // from the same scan of A-C, so their spans meet in exactly one column.
        const int ya = q[0].y >> 8, yc = q[2].y >> 8;
        for (int y = std::min(ya, yc) + 2; y <= std::max(ya, yc); y++) {
            const auto& r1 = s1[static_cast<size_t>(y)];
            const auto& r2 = s2[static_cast<size_t>(y)];
            if (r1.first > r1.second || r2.first > r2.second)
                continue;
            EXPECT_EQ(std::max(r1.first, r2.first), std::min(r1.second, r2.second)) << k << " row " << y;
        }
    }

    // A horizontal shared edge: the upper triangle ends and the lower begins on one row, so
    // their rows neither overlap nor leave a row out.
    for (int k = 0; k < 100; k++) {
        const double y0 = 5 + 30 * frac(rng), ym = 40 + 10 * frac(rng), y1 = 60 + 30 * frac(rng);
        const double xl = 5 + 40 * frac(rng), xr = 80 + 40 * frac(rng);
        const rz_vertex b{px(xr), px(ym), 0, 0, 0, 0, 0, 0}, cc{px(xl), px(ym), 0, 0, 0, 0, 0, 0};
        const rz_vertex up[3] = {{px(60 + 10 * frac(rng)), px(y0), 0, 0, 0, 0, 0, 0}, b, cc};
        const rz_vertex down[3] = {cc, b, {px(60 + 10 * frac(rng)), px(y1), 0, 0, 0, 0, 0, 0}};
        const auto su = flat_spans(up, 3, 128, 96), sd = flat_spans(down, 3, 128, 96);
        int last_up = -1, first_down = 96;
        for (int y = 0; y < 96; y++) {
            const bool u = su[static_cast<size_t>(y)].first <= su[static_cast<size_t>(y)].second;
            const bool d = sd[static_cast<size_t>(y)].first <= sd[static_cast<size_t>(y)].second;
            EXPECT_FALSE(u && d) << k << " row " << y;
            if (u) last_up = y;
            if (d && first_down == 96) first_down = y;
        }
        EXPECT_EQ(first_down, last_up + 1) << k;
    }
}

TEST(BumpPass, TableIndexAndNeighboursStayInside)
{
    canvas<uint8_t> c(3, 3, 0xee);
    std::memset(rz_bump_height - 1, 0, rz_max_width * rz_max_height + 2);
    std::memset(pal_bump_table, 0, sizeof pal_bump_table);
    pal_bump_table[0] = 0x07;
    pal_bump_table[sizeof pal_bump_table - 1] = 0x0f;
    // Centre pixel 4: neighbours 0 (ul), 2 (ur), 6 (dl), 8 (dr).
    const auto centre = [&](int ul, int ur, int dl, int dr, int env) {
        rz_bump_height[0] = static_cast<uint8_t>(ul);
        rz_bump_height[2] = static_cast<uint8_t>(ur);
        rz_bump_height[6] = static_cast<uint8_t>(dl);
        rz_bump_height[8] = static_cast<uint8_t>(dr);
        rz_bump_env[4] = static_cast<uint16_t>(env);
        rz_bump_colour[4] = 0x10;
        c.at(1, 1) = 0xee;
        rz_bump_pass8();
        return c.at(1, 1);
    };
    EXPECT_EQ(centre(255, 255, 1, 1, 65535), 0x1f); // past the table's end: its last entry
    EXPECT_EQ(centre(1, 1, 255, 255, 0), 0x17);     // below its start: its first entry
    EXPECT_EQ(centre(1, 1, 1, 0, 0), 0xee);         // a zero neighbour leaves the pixel
    // Pixel 3 looks one entry before the buffer and pixel 5 past the screen: zeros there.
    EXPECT_EQ(c.at(0, 1), 0xee);
    EXPECT_EQ(c.at(2, 1), 0xee);

    // On a 640 x 480 screen the last pixel's lower-right neighbour is one past the buffer.
    canvas<uint8_t> big(640, 480, 0xee);
    std::memset(rz_bump_height, 1, rz_max_width * rz_max_height);
    std::memset(rz_bump_colour, 0x10, rz_max_width * rz_max_height);
    std::memset(rz_bump_env, 0, rz_max_width * rz_max_height * 2);
    rz_bump_pass8();
    EXPECT_EQ(big.at(639, 478), 0xee);
    EXPECT_EQ(big.at(638, 478), 0x10);
    EXPECT_EQ(big.at(0, 1), 0xee);
}
