// Rasteriser: set-up, the two edge scanners, polygon bounds, the span fillers
// (which pixels of a small target change, and to what; the edge tables written by hand), and
// random polygons in every mode into buffers fenced by inaccessible pages: whatever the corners
// (words mostly within +-2^22, some anywhere), nothing is read outside the texture areas and
// nothing written outside the target and the depth buffer. A stray access faults at once, in
// every build; the slack below each buffer keeps a pattern that is checked. The sanitizer build
// covers the edge tables and bump buffers.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "engine3d/pal_shade.h"
#include "engine3d/rz.h"

namespace {

constexpr int32_t px(double p) { return static_cast<int32_t>(p * 256); }  // 24.8 / 8.8
constexpr int32_t fix16(double v) { return static_cast<int32_t>(v * 65536.0); }
rz_vertex vxy(double x, double y) { return rz_vertex{px(x), px(y), 0, 0, 0, 0, 0, 0}; }
constexpr int32_t mark = 0x5a5a5a5a;  // untouched edge table entries

void mark_tables() { std::fill_n(&rz_edge_right[0][0], rz_max_slots * rz_edge_rows, mark), std::fill_n(&rz_edge_left[0][0], rz_max_slots * rz_edge_rows, mark); }

// Edge row y: x on both sides (pixels), then slots 1.. raw.
void edge_row(int y, double xl, double xr, std::vector<int32_t> l, std::vector<int32_t> r)
{
    rz_edge_left[0][y] = fix16(xl), rz_edge_right[0][y] = fix16(xr);
    for (size_t i = 0; i < l.size(); i++)
        rz_edge_left[i + 1][y] = l[i], rz_edge_right[i + 1][y] = r[i];
}

// A screen with its own target (filled with `fill`), texture areas (texel = its index) and depth buffer.
template <class T> struct canvas {
    std::vector<T> px, tex1, tex2;
    canvas(int32_t w, int32_t h, T fill, int32_t ymin = 0, int32_t ymax = 1)
        : px(static_cast<size_t>(w * h), fill), tex1(rz_tex_texels), tex2(rz_tex_texels, 1)
    {
        std::iota(tex1.begin(), tex1.end(), T(0));
        EXPECT_EQ(rz_set_screen(w, h, sizeof(T) == 1 ? 8 : 32), 0);
        rz_target = px.data();
        rz_set_texture(tex1.data(), 1), rz_set_texture(tex2.data(), 2);
        EXPECT_EQ(rz_zbuffer(0) | rz_zbuffer(1), 0);
        std::fill_n(rz_zbuf, w * h, 0xffffffffu);
        rz_ymin = ymin, rz_ymax = ymax;
    }
    ~canvas() { rz_target = nullptr, rz_set_texture(nullptr, 1), rz_set_texture(nullptr, 2), rz_zbuffer(0); }
    T& at(int x, int y) { return px[static_cast<size_t>(y * rz_width + x)]; }
    int count(T v) const { return static_cast<int>(std::count(px.begin(), px.end(), v)); }
};

}  // namespace

TEST(RzSetup, ScreenSizesAndDepths)
{
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    const struct { int32_t w, h, bits, result, w_after, h_after, bits_after; } screens[] = {
        {640, 480, 8, 0, 640, 480, 8}, {1, 1, 32, 0, 1, 1, 32}, {641, 240, 8, 1, 1, 1, 32},
        {320, 0, 8, 1, 1, 1, 32}, {320, 240, 7, 1, 1, 1, 32}, {320, 240, 16, 0, 320, 240, 16}};
    for (const auto& r : screens) {
        EXPECT_EQ(rz_set_screen(r.w, r.h, r.bits), r.result) << r.w << "x" << r.h << "x" << r.bits;
        EXPECT_EQ((std::vector{rz_width, rz_height, rz_bits}), (std::vector{r.w_after, r.h_after, r.bits_after}));
    }
    EXPECT_EQ(rz_set_mode(4), 0);  // 16 bits is a 32-bit target
    EXPECT_EQ(rz_span_fn, &rz_span_tex32);
}

TEST(RzEdges, AffineScanClipsToTheScreenRows)
{
    ASSERT_EQ(rz_set_screen(320, 3, 8) | rz_set_mode(1), 0);
    mark_tables();  // bottom clip: from the last row, x recomputed along the edge
    rz_edge_affine(vxy(0, 0), vxy(10, 10));
    EXPECT_EQ(std::vector<int32_t>(rz_edge_right[0], rz_edge_right[0] + 4), (std::vector<int32_t>{0, 1 << 16, 2 << 16, mark}));
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    mark_tables();  // top clip: rows from 0 only, the values still walked from the bottom
    rz_edge_affine(vxy(0, -5), vxy(8, 3));
    for (int y = 0; y <= 3; y++)
        EXPECT_EQ(rz_edge_right[0][y], (5 + y) << 16) << y;
    mark_tables();  // wholly above or below the screen (or ending on row 0 from above): nothing
    const double ends[][2] = {{-9, -1}, {-9, 0.5}, {239, 300}, {250, 300}};
    for (const auto& e : ends)
        rz_edge_affine(vxy(0, e[0]), vxy(8, e[1]));
    EXPECT_EQ(std::count(rz_edge_right[0], rz_edge_right[0] + rz_edge_rows, mark), rz_edge_rows);
}

TEST(RzEdges, PerspectiveScanKeepsDistanceAndTrueCoordinates)
{
    // distance 1 at row 0 to 4 at row 4, tu1 0 to 100 texels: the true coordinate at screen
    // fraction t is 25t / (1 - 0.75t) texels
    rz_vertex a = vxy(10, 0), b = vxy(10, 4);
    a.depth = 256, b.depth = 1024, b.tu1 = px(100);
    const int32_t dist[] = {1, 1, 1, 2, 4}, u[] = {0, 504123, 1310720, 2808685, 6553600};
    for (int32_t h : {240, 3}) {  // on 3 rows clipped at the bottom: the walk starts at the last row
        ASSERT_EQ(rz_set_screen(320, h, 8) | rz_set_mode(68), 0);  // x, tu1, tv1, depth
        mark_tables();
        rz_edge_persp(a, b);
        for (int y = 0; y < std::min(h, 5); y++) {
            EXPECT_EQ(rz_edge_right[3][y], dist[y]) << h << " " << y;
            EXPECT_NEAR(rz_edge_right[1][y], u[y], h == 3) << h << " " << y;
        }
        EXPECT_EQ(rz_edge_right[3][std::min(h, 5)], mark);
    }
    // a corner at distance 0 (or behind): not scanned, its rows carry distance 0 so that no
    // filler draws them from older table contents
    ASSERT_EQ(rz_set_screen(320, 240, 8) | rz_set_mode(68), 0);
    mark_tables();
    b.depth = 0;
    rz_edge_persp(a, b);
    for (int y = 0; y <= 4; y++)
        EXPECT_EQ((std::vector{rz_edge_right[0][y], rz_edge_right[1][y], rz_edge_right[3][y]}), (std::vector{mark, mark, 0}));
    EXPECT_EQ(rz_edge_right[3][5], mark);
}

TEST(RzPoly, BoundsClipAndReject)
{
    canvas<uint8_t> c(320, 240, 0);
    rz_set_mode(1);
    const auto row = [&](int y) { return static_cast<int>(std::count_if(&c.at(0, y), &c.at(0, y) + 320, [](uint8_t p) { return p != 0; })); };
    rz_vertex tri[3] = {{px(100), px(-300), 0, 0, 0, 0, 9, 0}, vxy(200, 100), vxy(50, 100)};
    rz_draw_poly(3, tri);  // from row 0 down: edge rows 0..99, flat rows 1..100
    EXPECT_EQ((std::vector<int>{rz_ymin, rz_ymax, row(0), row(1) > 0, row(100) > 0, row(101), c.at(100, 50)}),
              (std::vector<int>{0, 100, 0, 1, 1, 0, 9}));
    std::fill(c.px.begin(), c.px.end(), 0);
    const rz_vertex refused[][3] = {
        {vxy(10, 5), vxy(90, 5.5), vxy(40, 5.99)},    // one pixel row
        {vxy(10, 10), vxy(10, 60), vxy(80, 30)},      // counter-clockwise
        {vxy(-90, 10), vxy(-1, 20), vxy(-50, 40)}, {vxy(320, 10), vxy(400, 20), vxy(330, 40)},
        {vxy(10, -90), vxy(60, -30), vxy(20, -1)}, {vxy(10, 240), vxy(60, 260), vxy(20, 300)}};
    for (const auto& o : refused)
        rz_draw_poly(3, o);
    rz_draw_poly(0, tri), rz_draw_poly(-3, tri);
    EXPECT_EQ(c.count(0), 320 * 240);
    const rz_vertex quad[4] = {{px(10), px(10), 0, 0, 0, 0, 0x1203, 0}, vxy(20, 10), vxy(20, 20), vxy(10, 20)};
    rz_draw_poly(4, quad);  // low byte: colour 3; edge rows 10..19, columns 10..20: rows 11..20
    EXPECT_EQ((std::vector<int>{c.count(3), row(10), row(11), row(20)}), (std::vector{110, 0, 11, 11}));
    canvas<uint8_t> narrow(1, 8, 0);  // one pixel wide: clipped to the column, not refused
    const rz_vertex wide[3] = {{px(-5), 0, 0, 0, 0, 0, 9, 0}, vxy(5, 0), vxy(0, 6)};
    rz_set_mode(1), rz_draw_poly(3, wide);
    EXPECT_GT(narrow.count(9), 0);
}

TEST(RzSpan, RowWalkClipsBothEndsAndAdvancesFromTheRight)
{
    canvas<uint32_t> c(320, 4, 0xeeeeeeee);
    // left x -3.5, right 10.2: columns 10 down to 0 from the right edge's values; the row is
    // 3507/256 pixels wide, u falls a texel per pixel from 100, v is row 5
    edge_row(0, -3.5, 10.2, {fix16(100) - 256 * 3507, fix16(5)}, {fix16(100), fix16(5)});
    rz_span_tex32(nullptr);
    for (int x = 0; x <= 10; x++)
        EXPECT_EQ(c.at(x, 0), static_cast<uint32_t>(90 + x + 5 * 256)) << x;
    EXPECT_EQ(c.count(0xeeeeeeee), 320 * 4 - 11);
    std::fill(c.px.begin(), c.px.end(), 0xeeeeeeee);
    edge_row(0, 300.0, 400.0, {fix16(100), fix16(5)}, {fix16(200), fix16(5)});
    rz_span_tex32(nullptr);  // right x 400: from column 319, its values advanced by 81 steps
    EXPECT_EQ((std::vector{c.at(319, 0), c.at(300, 0), c.at(299, 0)}), (std::vector{119u + 5 * 256, 100u + 5 * 256, 0xeeeeeeeeu}));
}

TEST(RzSpan, ZeroWidthRowsTargetRowPerFillerAndTheDepthTestKeepingNearer)
{
    // edge row 2 spans columns 4..9, edge row 3 is zero wide in column 5; slot 1 (u or shade)
    // 3.0, slots 2..4 1.0 (v, depth 1, second pair). Changed pixels: row 2 + offset, and
    // column 5 of row 3 + offset for the fillers that draw zero-width rows.
    const struct { void (*f)(const rz_vertex*); int bits; bool zero_one; int offset; } fillers[] = {
        {rz_span_flat8, 8, true, 1}, {rz_span_gouraud8, 8, false, 1}, {rz_span_tex8, 8, false, 0},
        {rz_span_tex_z8, 8, false, 1}, {rz_span_texp8, 8, false, 1}, {rz_span_texp_z8, 8, false, 1},
        {rz_span_tex_shade8, 8, false, 1}, {rz_span_tex2_add8, 8, true, 1}, {rz_span_tex2_mask8, 8, false, 1},
        {rz_span_bump_prep8, 8, true, 1}, {rz_span_tex32, 32, false, 0}, {rz_span_tex_z32, 32, false, 1},
        {rz_span_texp32, 32, false, 1}};
    const rz_vertex v0{0, 0, 0, 0, 0, 0, 7, 0};  // flat colour 7
    for (const auto& r : fillers) {
        std::vector<int> changed, want;
        const auto run = [&](auto& c, auto fill) {
            std::memset(rz_bump_height, 0, rz_max_width * rz_max_height);
            const std::vector<int32_t> s = {fix16(3), fix16(1), 1, fix16(1)};
            edge_row(3, 5.25, 5.75, s, s), edge_row(2, 4.0, 9.0, s, s);
            r.f(&v0);
            for (int i = 0; i < 128; i++)
                if (r.f == rz_span_bump_prep8 ? rz_bump_height[i] != 0 : c.at(i % 16, i / 16) != fill)
                    changed.push_back(i);
        };
        if (r.bits == 8) {
            canvas<uint8_t> c(16, 8, 0xee, 2, 4);
            run(c, uint8_t{0xee});
        } else {
            canvas<uint32_t> c(16, 8, 0xeeeeeeee, 2, 4);
            run(c, 0xeeeeeeeeu);
        }
        for (int x = 4; x <= 9; x++)
            want.push_back((2 + r.offset) * 16 + x);
        if (r.zero_one)
            want.push_back((3 + r.offset) * 16 + 5);
        EXPECT_EQ(changed, want) << &r - fillers;
    }
    canvas<uint32_t> c(16, 4, 0);
    edge_row(0, 0.0, 15.0, {fix16(7), 0, 0x1f00}, {fix16(7), 0, 0x1000});  // z 256 per pixel; texel 7
    rz_span_tex_z32(nullptr);
    EXPECT_EQ((std::vector{c.at(0, 1), rz_zbuf[16], rz_zbuf[31]}), (std::vector{7u, 0x1f00u, 0x1000u}));
    std::fill(c.px.begin(), c.px.end(), 0), rz_span_tex_z32(nullptr);  // the same again: equal depths don't draw
    rz_zbuffer(0), rz_span_tex_z32(nullptr);  // no depth buffer, or one made for a smaller screen: nothing
    ASSERT_EQ(rz_set_screen(8, 4, 32) | rz_zbuffer(1) | rz_set_screen(16, 4, 32), 0);
    rz_span_tex_z32(nullptr);
    EXPECT_EQ(c.count(0), 64);
}

TEST(RzSpan, PerspectiveIsExactEvery16PixelsAndLinearBetween)
{
    canvas<uint32_t> c(64, 4, 0xeeeeeeee);
    // 40 pixels, distance 1 at the right to 4 at the left, u 0 to 200 texels: the true
    // coordinate at t = i / 39 from the right is 50t / (1 - 0.75t)
    edge_row(0, 0.0, 39.0, {fix16(200), 0, 4}, {0, 0, 1});
    rz_span_texp32(nullptr);
    const auto col = [&](int i) { return static_cast<int>(c.at(39 - i, 1) & 255); };
    const auto truth = [](int i) { double t = i / 39.0; return 50.0 * t / (1.0 - 0.75 * t); };
    // exact at 0, 16, 32; between them the mean, not the truth
    EXPECT_EQ((std::vector{col(0), col(16), col(32), col(8), col(24), int(col(8) != int(truth(8)))}),
              (std::vector{0, int(truth(16)), int(truth(32)), int((truth(0) + truth(16)) / 2), int((truth(16) + truth(32)) / 2), 1}));
    std::fill(c.px.begin(), c.px.end(), 0xeeeeeeee);  // a distance of 0 or less at either end: skipped
    for (auto [l, r] : {std::pair{0, 1}, std::pair{5, -1}})
        edge_row(0, 0.0, 39.0, {fix16(200), 0, l}, {0, 0, r}), rz_span_texp32(nullptr);
    EXPECT_EQ(c.count(0xeeeeeeee), 256);
}

TEST(RzBump, TableIndexAndNeighboursStayInside)
{
    canvas<uint8_t> c(3, 3, 0xee);
    std::memset(rz_bump_height - 1, 0, rz_max_width * rz_max_height + 2), std::memset(pal_bump_table, 0, sizeof pal_bump_table);
    pal_bump_table[0] = 0x07, pal_bump_table[sizeof pal_bump_table - 1] = 0x0f;
    const auto centre = [&](int ul, int ur, int dl, int dr, int env) {  // pixel 4; neighbours 0, 2, 6, 8
        rz_bump_height[0] = uint8_t(ul), rz_bump_height[2] = uint8_t(ur), rz_bump_height[6] = uint8_t(dl), rz_bump_height[8] = uint8_t(dr);
        rz_bump_env[4] = uint16_t(env), rz_bump_colour[4] = 0x10, c.at(1, 1) = 0xee, rz_bump_pass8();
        return c.at(1, 1);
    };
    // past the table's end: its last entry; below its start: its first; a zero neighbour leaves
    // the pixel; pixel 3 looks one before the buffer and pixel 5 past the screen: zeros there
    EXPECT_EQ((std::vector{centre(255, 255, 1, 1, 65535), centre(1, 1, 255, 255, 0), centre(1, 1, 1, 0, 0), c.at(0, 1), c.at(2, 1)}),
              (std::vector<uint8_t>{0x1f, 0x17, 0xee, 0xee, 0xee}));
    canvas<uint8_t> big(640, 480, 0xee);  // the last pixel's lower-right neighbour is one past the buffer
    std::memset(rz_bump_height, 1, rz_max_width * rz_max_height), std::memset(rz_bump_colour, 0x10, rz_max_width * rz_max_height);
    std::memset(rz_bump_env, 0, rz_max_width * rz_max_height * 2), rz_bump_pass8();
    EXPECT_EQ((std::vector{big.at(639, 478), big.at(638, 478), big.at(0, 1)}), (std::vector<uint8_t>{0xee, 0x10, 0xee}));
}

namespace {

struct fenced {  // `size` bytes whose end touches the upper fence page
    size_t size, len;
    uint8_t *map, *data;
    explicit fenced(size_t bytes) : size(bytes)
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE)), pages = (bytes + page - 1) / page;
        map = static_cast<uint8_t*>(mmap(nullptr, len = (pages + 2) * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_TRUE(map != MAP_FAILED && (mprotect(map, page, PROT_NONE) | mprotect(map + len - page, page, PROT_NONE)) == 0);
        data = map + page + pages * page - bytes;
        std::memset(map + page, 0xa5, static_cast<size_t>(data - map - page));
    }
    ~fenced() { munmap(map, len); }
    bool slack_intact() const { return std::all_of(map + sysconf(_SC_PAGESIZE), data, [](uint8_t b) { return b == 0xa5; }); }
};

std::mt19937 rng{20261206};
int32_t range(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }
int pick(int n) { return range(0, n - 1); }
// Mostly within +-2^22, now and then any 32-bit word: the arithmetic wraps, the buffers hold.
int32_t extreme() { return pick(8) ? range(-(1 << 22) + 1, (1 << 22) - 1) : range(INT32_MIN, INT32_MAX); }
int32_t coord(int32_t extent, int k) { return k == 0 ? extreme() : k < 4 ? range(-2000 * 256, 2000 * 256) : range(-extent * 128, extent * 384); }
int32_t texture(int k) { return k < 2 ? extreme() : k < 4 ? range(-4096, 70000) : range(0, 65535); }
int32_t depth(int k) { return k < 2 ? range(-1000, 1000) : k < 5 ? range(1, (1 << 22) - 1) : range(1, 100000); }

void random_run(int32_t bits, const std::vector<uint32_t>& modes)
{
    const struct { int32_t w, h, polygons; } screens[] = {{1, 1, 300}, {2, 3, 300}, {7, 5, 600}, {40, 30, 1500},
                                                          {320, 240, 600}, {640, 480, 150}, {640, 1, 200}, {1, 480, 200}};
    rng.seed(20261206);
    const size_t texel = bits > 8 ? 4 : 1;
    fenced tex1(rz_tex_texels * texel), tex2(rz_tex_texels * texel);  // random texels, some 0
    for (size_t i = 0; i < tex1.size; i++)
        tex1.data[i] = static_cast<uint8_t>(pick(4) ? range(0, 255) : 0), tex2.data[i] = static_cast<uint8_t>(range(0, 255));
    for (size_t i = 0; i < sizeof pal_bump_table; i++)
        pal_bump_table[i] = static_cast<uint8_t>(i * 7);
    for (const auto& sc : screens) {
        ASSERT_EQ(rz_set_screen(sc.w, sc.h, bits), 0);
        const size_t pixels = static_cast<size_t>(sc.w) * static_cast<size_t>(sc.h);
        fenced target(pixels * texel), zbuf(pixels * 4);
        rz_target = target.data;
        ASSERT_EQ(rz_zbuffer(1), 0);  // the real one for the screen's life, a fenced one while drawing
        uint32_t* const own = rz_zbuf;
        for (const uint32_t mode : modes) {
            rz_set_mode(mode);
            for (int k = 0; k < sc.polygons; k++) {
                const int slots = pick(40);  // now and then an empty slot, no or a refilled depth buffer
                rz_set_texture(slots == 0 ? nullptr : tex1.data, 1), rz_set_texture(slots == 1 ? nullptr : tex2.data, 2);
                rz_zbuf = pick(40) == 0 ? nullptr : reinterpret_cast<uint32_t*>(zbuf.data);
                if (pick(16) == 0)
                    std::memset(zbuf.data, pick(2) ? 0xff : 0x00, zbuf.size);
                rz_vertex v[6];
                const int n = 1 + pick(6);
                for (int i = 0; i < n; i++)
                    v[i] = rz_vertex{coord(sc.w, pick(10)), coord(sc.h, pick(10)), texture(pick(8)), texture(pick(8)), texture(pick(8)),
                                     texture(pick(8)), pick(4) ? range(0, 65535) : extreme(), depth(pick(10))};
                if (pick(4) == 0)
                    v[1].y = v[0].y;  // horizontal edges
                rz_draw_poly(n, v);
                if (bits == 8 && pick(64) == 0)
                    rz_bump_pass8();
            }
            ASSERT_TRUE(target.slack_intact() && zbuf.slack_intact()) << "mode " << mode << " " << sc.w << "x" << sc.h;
        }
        rz_zbuf = own, rz_target = nullptr;
        ASSERT_EQ(rz_zbuffer(0), 0);
    }
    EXPECT_TRUE(tex1.slack_intact() && tex2.slack_intact());
    rz_set_texture(nullptr, 1), rz_set_texture(nullptr, 2);
}

}  // namespace

TEST(RzRandom, EveryModeAtBothDepthsStaysInsideItsBuffers)
{
    random_run(8, {1, 2, 4, 6, 8, 12, 16, 36, 40, 68, 72, 100, 104, 140, 0, 32, 64, 96, 132, 255});
    random_run(32, {4, 8, 36, 40, 68, 72, 1, 6, 100, 140, 0});
}
