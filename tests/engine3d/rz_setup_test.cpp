// Rasteriser set-up, mode table, polygon bounds and the two edge scanners.
#include <gtest/gtest.h>

#include "engine3d/rz.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t px(double p) { return static_cast<int32_t>(p * 256); } // 24.8 / 8.8

rz_vertex vxy(double x, double y) { return rz_vertex{px(x), px(y), 0, 0, 0, 0, 0, 0}; }

// Fills both edge tables with a sentinel so that untouched entries show.
constexpr int32_t sentinel = 0x5a5a5a5a;
void fill_tables()
{
    for (int s = 0; s < rz_max_slots; s++)
        for (int y = 0; y < rz_edge_rows; y++)
            rz_edge_left[s][y] = rz_edge_right[s][y] = sentinel;
}

} // namespace

TEST(RasteriserSetup, ScreenSizesAndDepths)
{
    struct row { int32_t w, h, bits, result, w_after, h_after, bits_after; };
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    const row table[] = {
        {640, 480, 8, 0, 640, 480, 8},  {1, 1, 32, 0, 1, 1, 32},      {641, 240, 8, 1, 1, 1, 32},
        {320, 0, 8, 1, 1, 1, 32},       {320, 240, 7, 1, 1, 1, 32},   {320, 240, 16, 0, 320, 240, 16},
    };
    for (const row& r : table) {
        EXPECT_EQ(rz_set_screen(r.w, r.h, r.bits), r.result) << r.w << "x" << r.h << "x" << r.bits;
        EXPECT_EQ(rz_width, r.w_after);
        EXPECT_EQ(rz_height, r.h_after);
        EXPECT_EQ(rz_bits, r.bits_after);
    }
    // 16 bits is a 32-bit target: mode 4 takes the u32 filler.
    EXPECT_EQ(rz_set_mode(4), 0);
    EXPECT_EQ(rz_span_fn, &rz_span_tex32);
}

TEST(RasteriserSetup, ModeTableChoosesScannerFillerAndSlots)
{
    typedef void (*span)(const rz_vertex*);
    struct row { int32_t bits; uint32_t mode; int result; span filler; bool persp; std::vector<int32_t> slots; };
    const row table[] = {
        {8, 1, 0, rz_span_flat8, false, {0}},
        {8, 2, 0, rz_span_gouraud8, false, {0, 6}},
        {8, 8, 0, rz_span_tex8, false, {0, 4, 5}},
        {8, 16, 0, rz_span_bump_prep8, false, {0, 2, 3, 4, 5}},
        {8, 140, 0, rz_span_tex2_mask8, false, {0, 2, 3, 4, 5}},
        {8, 104, 0, rz_span_texp_z8, true, {0, 4, 5, 7}},
        // Unknown values: the mode-4/8 filler, result 1, the slots of their bits all the same.
        {8, 132, 1, rz_span_tex8, false, {0, 2, 3}},
        {8, 0, 1, rz_span_tex8, false, {}},
        {8, 255, 1, rz_span_tex8, true, {0, 2, 3, 4, 5, 6, 7}},
        {32, 40, 0, rz_span_tex_z32, false, {0, 4, 5, 7}},
        {32, 68, 0, rz_span_texp32, true, {0, 2, 3, 7}},
        {32, 1, 1, rz_span_tex32, false, {0}},
        {32, 100, 1, rz_span_tex32, true, {0, 2, 3, 7}},
    };
    for (const row& r : table) {
        ASSERT_EQ(rz_set_screen(320, 240, r.bits), 0);
        EXPECT_EQ(rz_set_mode(r.mode), r.result) << "mode " << r.mode << " bits " << r.bits;
        EXPECT_EQ(rz_span_fn, r.filler) << "mode " << r.mode << " bits " << r.bits;
        EXPECT_EQ(rz_edge_fn, r.persp ? &rz_edge_persp : &rz_edge_affine) << "mode " << r.mode;
        EXPECT_EQ(std::vector<int32_t>(rz_slots, rz_slots + rz_nslots), r.slots) << "mode " << r.mode;
    }
}

TEST(RasteriserEdges, AffineScanClipsToTheScreenRows)
{
    ASSERT_EQ(rz_set_screen(320, 3, 8), 0);
    rz_set_mode(1);

    // Bottom clip: the walk starts at the last screen row, its x recomputed along the edge.
    fill_tables();
    rz_edge_affine(vxy(0, 0), vxy(10, 10));
    EXPECT_EQ(rz_edge_right[0][2], 2 << 16);
    EXPECT_EQ(rz_edge_right[0][1], 1 << 16);
    EXPECT_EQ(rz_edge_right[0][0], 0);
    EXPECT_EQ(rz_edge_right[0][3], sentinel);

    // Top clip: rows from 0 only, the values still walked from the bottom.
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    fill_tables();
    rz_edge_affine(vxy(0, -5), vxy(8, 3));
    for (int y = 0; y <= 3; y++)
        EXPECT_EQ(rz_edge_right[0][y], (5 + y) << 16) << y;

    // Edges wholly above or below the screen (or ending on row 0 from above) write nothing.
    fill_tables();
    rz_edge_affine(vxy(0, -9), vxy(8, -1));
    rz_edge_affine(vxy(0, -9), vxy(8, 0.5));
    rz_edge_affine(vxy(0, 239), vxy(8, 300));
    rz_edge_affine(vxy(0, 250), vxy(8, 300));
    for (int y = 0; y < rz_edge_rows; y++)
        ASSERT_EQ(rz_edge_right[0][y], sentinel) << y;
}

TEST(RasteriserEdges, PerspectiveScanKeepsDistanceAndTrueCoordinates)
{
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    rz_set_mode(68); // x, tu1, tv1, depth
    fill_tables();
    // From distance 1 at row 0 to distance 4 at row 4; tu1 from 0 to 100 texels. The true
    // perspective coordinate at screen fraction t is 25t / (1 - 0.75t) texels.
    rz_vertex a = vxy(10, 0), b = vxy(10, 4);
    a.depth = 256;
    b.depth = 1024;
    b.tu1 = px(100);
    rz_edge_persp(a, b);
    const int32_t dist[] = {1, 1, 1, 2, 4};
    const int32_t u[] = {0, 504123, 1310720, 2808685, 6553600};
    for (int y = 0; y <= 4; y++) {
        EXPECT_EQ(rz_edge_right[3][y], dist[y]) << y;
        EXPECT_EQ(rz_edge_right[1][y], u[y]) << y;
    }

    // Clipped at the bottom of a 3-row screen: the rows kept carry the same values, the walk
    // starting where the edge crosses the last row.
    ASSERT_EQ(rz_set_screen(320, 3, 8), 0);
    rz_set_mode(68);
    fill_tables();
    rz_edge_persp(a, b);
    for (int y = 0; y <= 2; y++) {
        EXPECT_EQ(rz_edge_right[3][y], dist[y]) << y;
        EXPECT_NEAR(rz_edge_right[1][y], u[y], 1) << y;
    }
    EXPECT_EQ(rz_edge_right[3][3], sentinel);
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    rz_set_mode(68);

    // A corner at distance 0 (or behind): the edge is not scanned, and its rows carry
    // distance 0 so that no filler draws them from older table contents.
    fill_tables();
    b.depth = 0;
    rz_edge_persp(a, b);
    for (int y = 0; y <= 4; y++) {
        EXPECT_EQ(rz_edge_right[0][y], sentinel) << y;
        EXPECT_EQ(rz_edge_right[1][y], sentinel) << y;
        EXPECT_EQ(rz_edge_right[3][y], 0) << y;
    }
    EXPECT_EQ(rz_edge_right[3][5], sentinel);
}

namespace {

struct poly_target {
    std::vector<uint8_t> px;
    explicit poly_target(int32_t w, int32_t h) : px(static_cast<size_t>(w * h), 0)
    {
        EXPECT_EQ(rz_set_screen(w, h, 8), 0);
        rz_target = px.data();
        rz_set_mode(1);
    }
    ~poly_target() { rz_target = nullptr; }
    int rows_drawn(int y) const
    {
        int n = 0;
        for (int x = 0; x < rz_width; x++)
            n += px[static_cast<size_t>(y * rz_width + x)] != 0;
        return n;
    }
    int total() const
    {
        int n = 0;
        for (uint8_t p : px)
            n += p != 0;
        return n;
    }
};

} // namespace

TEST(RasteriserPoly, BoundsClipAndReject)
{
    poly_target t(320, 240);
    // Drawn from row 0 down: edge rows 0..99, so flat rows 1..100.
    rz_vertex tri[3] = {vxy(100, -300), vxy(200, 100), vxy(50, 100)};
    tri[0].shade = 9;
    rz_draw_poly(3, tri);
    EXPECT_EQ(rz_ymin, 0);
    EXPECT_EQ(rz_ymax, 100);
    EXPECT_EQ(t.rows_drawn(0), 0);
    EXPECT_GT(t.rows_drawn(1), 0);
    EXPECT_GT(t.rows_drawn(100), 0);
    EXPECT_EQ(t.rows_drawn(101), 0);
    EXPECT_EQ(t.px[static_cast<size_t>(50 * 320 + 100)], 9);

    std::fill(t.px.begin(), t.px.end(), 0);
    const rz_vertex sliver[3] = {vxy(10, 5), vxy(90, 5.5), vxy(40, 5.99)};
    rz_draw_poly(3, sliver); // all corners in one pixel row
    const rz_vertex ccw[3] = {vxy(10, 10), vxy(10, 60), vxy(80, 30)};
    rz_draw_poly(3, ccw); // counter-clockwise: no row of positive width
    const rz_vertex off[4][3] = {
        {vxy(-90, 10), vxy(-1, 20), vxy(-50, 40)}, {vxy(320, 10), vxy(400, 20), vxy(330, 40)},
        {vxy(10, -90), vxy(60, -30), vxy(20, -1)}, {vxy(10, 240), vxy(60, 260), vxy(20, 300)}};
    for (const auto& o : off)
        rz_draw_poly(3, o);
    rz_draw_poly(0, tri);
    rz_draw_poly(-3, tri);
    EXPECT_EQ(t.total(), 0);

    // A clockwise quad fills its box but the top row.
    rz_vertex quad[4] = {vxy(10, 10), vxy(20, 10), vxy(20, 20), vxy(10, 20)};
    quad[0].shade = 0x1203; // low byte: colour 3
    rz_draw_poly(4, quad);
    EXPECT_EQ(t.px[static_cast<size_t>(15 * 320 + 15)], 3);
    EXPECT_EQ(t.total(), 11 * 10); // edge rows 10..19, columns 10..20 inclusive, rows 11..20
    EXPECT_EQ(t.rows_drawn(10), 0);
    EXPECT_EQ(t.rows_drawn(11), 11);
    EXPECT_EQ(t.rows_drawn(20), 11);

    // On a screen one pixel wide a polygon over both sides is clipped to its column, not refused.
    poly_target narrow(1, 8);
    rz_vertex wide[3] = {vxy(-5, 0), vxy(5, 0), vxy(0, 6)};
    wide[0].shade = 9;
    rz_draw_poly(3, wide);
    EXPECT_GT(narrow.total(), 0);
}
