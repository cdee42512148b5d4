// The 2D effects: each through its life with the show's media (drawn, moving, inside its buffers,
// nothing left on the heap) and with broken media (refused without a crash); then the exact rules
// a look at the frame cannot check, and the transitions' weights and threshold.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "assets/emb.h"
#include "fx/fx_balls.h"
#include "fx/fx_beams.h"
#include "fx/fx_blobs.h"
#include "fx/fx_curtain.h"
#include "fx/fx_internal.h"
#include "fx/fx_mirror.h"
#include "fx/tr_transition.h"
#include "picture/pix.h"
#include "tests/picture/pic_build.h"

namespace {

constexpr int W = pix_frame_w, H = pix_frame_h, N = pix_frame_pixels;

// The blobs draw indices into a buffer of main's (two spare rows below); shown through their palette.
std::vector<uint8_t> blob_buf(W * 202);
std::vector<uint32_t> blob_frame(N);
const uint32_t* blobs_render(int32_t t)
{
    fx_blobs_render(blob_buf.data(), t);
    pix_expand_palette(blob_buf.data(), fx_blobs_palette, blob_frame.data(), W * 200);
    return blob_frame.data();
}

struct Effect {
    const char* name;
    void (*init)();
    void (*init_from)(const uint8_t* pic, uint32_t size);   // every picture (and container) replaced
    const uint32_t* (*render)(int32_t t);
    void (*free)();                                         // null: the effect has none
    int min_lit;                                            // non-black pixels at least, good media
    bool top_bytes_zero;                                    // no flags left in the frame
};

// The balls' time never runs back: it starts past where the rules below leave it.
const Effect effects[] = {
    {"curtain", [] { ASSERT_EQ(fx_curtain_init(), 0); },
     [](const uint8_t* p, uint32_t n) { ASSERT_EQ(fx_curtain_init_from(p, n, p, n), 0); },
     [](int32_t t) -> const uint32_t* { return fx_curtain_render(static_cast<uint32_t>(t)); }, fx_curtain_free,
     N / 2, true},
    {"balls", fx_balls_init, [](const uint8_t* p, uint32_t n) { fx_balls_init_from(p, n, p, n, p, n); },
     [](int32_t t) -> const uint32_t* { return fx_balls_render(t + 100, t & 1); }, fx_balls_free, N / 2, true},
    {"mirror", fx_mirror_init, [](const uint8_t* p, uint32_t n) { fx_mirror_init_from(p, n, p, n, p, n); },
     [](int32_t t) -> const uint32_t* { return fx_mirror_render(t, t < 300); }, fx_mirror_free, N / 2, true},
    {"beams", fx_beams_init, fx_beams_init_from,
     [](int32_t t) -> const uint32_t* { return fx_beams_render(0.25 * t); }, fx_beams_free, N / 4, false},
    {"blobs", fx_blobs_init, fx_blobs_init_from, blobs_render, nullptr, 500, true},
};

int lit(const uint32_t* f) { return int(std::count_if(f, f + N, [](uint32_t p) { return (p & 0xffffff) != 0; })); }

class Effects : public testing::TestWithParam<Effect> {};

TEST_P(Effects, InitRenderFree)
{
    const Effect& e = GetParam();
    testing::internal::CaptureStdout();
    e.init();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the show's pictures decode";
    std::vector<uint32_t> last;
    for (int32_t t : {0, 40, 520, 1000}) {
        const uint32_t* f = e.render(t);
        ASSERT_NE(f, nullptr) << t;
        EXPECT_GE(lit(f), e.min_lit) << "t " << t;
        EXPECT_TRUE(!e.top_bytes_zero || std::all_of(f, f + N, [](uint32_t p) { return p >> 24 == 0; })) << t;
        std::vector<uint32_t> now(f, f + N);
        EXPECT_NE(now, last) << "t " << t << " shows the frame before";
        last = now;
    }
    if (e.free) {
        e.free();
        EXPECT_EQ(e.render(5), nullptr) << "render after free";
        e.free();
        const size_t held = mallinfo2().uordblks + mallinfo2().hblkhd;   // 0 under the sanitizers
        e.init();
        e.render(5);
        e.free();
        EXPECT_LT(mallinfo2().uordblks + mallinfo2().hblkhd, held + 4096) << "init, render and free leak";
    }
}

TEST_P(Effects, BrokenMediaRefusedWithoutACrash)
{
    const Effect& e = GetParam();
    // a picture cut inside its body, one cut inside its header, bytes that are no picture at all
    const std::pair<const uint8_t*, uint32_t> broken[] = {
        {emb_pic_curtain, emb_pic_curtain_size / 2}, {emb_pic_curtain, 30}, {emb_anim_curtain, 4000}};
    for (const auto& [data, size] : broken) {
        const std::vector<uint8_t> media(data, data + size);   // exact size: the sanitizers watch the end
        testing::internal::CaptureStdout();
        e.init_from(media.data(), size);
        const std::string said = testing::internal::GetCapturedStdout();
        if (!e.free) { EXPECT_NE(said, "") << "the blobs name the decoder's complaint"; }
        for (int32_t t : {0, 600}) {
            const uint32_t* f = e.render(t);
            ASSERT_TRUE(f && lit(f) < N) << "the refused picture shows black somewhere, t " << t;
        }
        if (e.free) e.free();
    }
    // The blobs keep the last stamp they were given: restore the show's.
    if (!e.free) e.init();
}

INSTANTIATE_TEST_SUITE_P(All, Effects, testing::ValuesIn(effects),
                         [](const testing::TestParamInfo<Effect>& i) { return std::string(i.param.name); });

uint32_t blend(uint32_t p, uint32_t q) { return ((p >> 1) & 0x7f7f7f) + ((q >> 1) & 0x7f7f7f); }

// Every loop level, each into a third buffer and in place over either input: the crossfade's
// truncated weights (colour bytes through every (a, b) pair, the output's top byte kept) and
// the mask wipe (a where the mask is above the clamped threshold).
TEST(Transitions, EveryLoopLevel)
{
    std::vector<uint32_t> a(N), b(N);
    std::vector<uint8_t> mask(N);
    for (int i = 0; i < N; i++) {
        mask[i] = uint8_t(i * 7);
        for (int c = 0; c < 3; c++) {
            const int k = (3 * i + c) & 0xffff;
            a[i] |= 0x5a000000u | uint32_t(k & 0xff) << (8 * c);
            b[i] |= 0xa5000000u | uint32_t(k >> 8) << (8 * c);
        }
    }
    auto fade = [](int alpha, uint32_t pa, uint32_t pb, uint32_t top) {
        uint32_t out = top & 0xff000000u;
        for (int c = 0; c < 24; c += 8)
            out |= uint32_t(int(pa >> c & 255) * (255 - alpha) / 255 + int(pb >> c & 255) * alpha / 255) << c;
        return out;
    };
    const int best = tr_select_loops(-1);
    for (int level = 0; level <= best; level++) {
        ASSERT_EQ(tr_select_loops(level), level);
        for (int alpha = -5; alpha <= 300; alpha += (level == best ? 1 : 7)) {
            const int used = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
            std::vector<uint32_t> dst(N, 0x77000000u), in_a = a, in_b = b;
            ASSERT_EQ(tr_crossfade32(alpha, a.data(), b.data(), dst.data()), dst.data());
            tr_crossfade32(alpha, in_a.data(), b.data(), in_a.data());
            tr_crossfade32(alpha, a.data(), in_b.data(), in_b.data());
            for (int i = 0; i < N; i++)
                if (dst[i] != fade(used, a[i], b[i], 0x77000000u) || in_a[i] != fade(used, a[i], b[i], a[i]) ||
                    in_b[i] != fade(used, a[i], b[i], b[i]))
                    FAIL() << "level " << level << " alpha " << alpha << " pixel " << i;
        }
        for (const auto& c : {std::pair{-1, 0}, {0, 0}, {128, 128}, {254, 254}, {255, 255}, {1000, 255}}) {
            std::vector<uint32_t> dst(N), in_a = a, in_b = b;   // threshold given, threshold used
            ASSERT_EQ(tr_maskwipe32(c.first, mask.data(), a.data(), b.data(), dst.data()), dst.data());
            tr_maskwipe32(c.first, mask.data(), in_a.data(), b.data(), in_a.data());
            tr_maskwipe32(c.first, mask.data(), a.data(), in_b.data(), in_b.data());
            for (int i = 0; i < N; i++) {
                const uint32_t want = mask[i] > c.second ? a[i] : b[i];
                if (dst[i] != want || in_a[i] != want || in_b[i] != want)
                    FAIL() << "level " << level << " threshold " << c.first << " pixel " << i;
            }
        }
    }
}

TEST(Curtain, FrameOrderHorizonSeamAndPicture)
{
    // picture pixel (y, x) = pic_px(y, x); animation frame k in pic::plain_colour(k)
    auto pic_px = [](int y, int x) { return 0x00c000u | uint32_t((3 * x + y) & 255); };
    const auto pic = pic::pbm(W, H, [](int y, int x) { return (3 * x + y) & 255; }, [](int i) { return 0x00c000u | i; });
    const auto anim = pic::plain_anim(20);
    ASSERT_EQ(fx_curtain_init_from(pic.data(), uint32_t(pic.size()), anim.data(), uint32_t(anim.size())), 0);
    // forwards, then backwards, each end frame twice; row 10 lies above every horizon
    const uint32_t order[][2] = {{0, 0}, {19, 19}, {20, 19}, {21, 18}, {39, 0}, {40, 0}, {41, 1}, {4000000019u, 19}};
    for (const auto& o : order) EXPECT_EQ(fx_curtain_render(o[0])[10 * W + 10], pic::plain_colour(o[1])) << o[0];
    // t, column -> horizon row. t = 0: 10 sin(x/10) + 20 cos(x/20) + 160, 180 at the centre; at
    // t = 71 the centre lies below the frame; at t = 59, y 238.7 gives 238 and 239.1 gives 240.
    const int cases[][3] = {{0, 0, 159},   {0, 160, 180},  {0, 319, 156},  {24, 160, 54},   {71, 160, 240},
                            {71, 319, 151}, {59, 128, 238}, {59, 129, 240}, {1000, 160, 214}};
    int32_t rows[W];
    for (const auto& [t, x, h] : cases) {
        fx_curtain_horizon(uint32_t(t), rows);
        ASSERT_EQ(rows[x], h) << "t " << t << " column " << x;
        const uint32_t* f = fx_curtain_render(uint32_t(t));
        const uint32_t anim_px = pic::plain_colour(t / 20 % 2 == 0 ? t % 20 : 19 - t % 20);
        if (x >= 2 && h >= 2 && h <= 237) { EXPECT_EQ(f[h * W + x], anim_px) << t; }
        if (x >= 2 && h >= 2 && h <= 236) { EXPECT_EQ(f[(h + 1) * W + x], blend(anim_px, pic_px(h + 1, x))) << t; }
        if (h + 2 <= 239) { EXPECT_EQ(f[239 * W + x], pic_px(239, x)) << t; }
        if (h == 240) { EXPECT_EQ(f[239 * W + x], 0u) << "row 239 above the horizon is black, t " << t; }
    }
    fx_curtain_free();
}

TEST(Beams, OutlinesBlendHalfAndHalfInsidesKeepTheirFlag)
{
    // transparent logo: the beams alone; then a block of colour 0x2468ac at rows 150..199,
    // columns 200..299, outside both glow rectangles
    const auto clear = pic::pbm(W, H, [](int, int) { return 0; }, [](int) { return 0u; });
    const auto block = pic::pbm(W, H, [](int y, int x) { return y >= 150 && y < 200 && x >= 200 && x < 300 ? 9 : 0; },
                               [](int i) { return i == 9 ? 0x2468acu : 0u; });
    for (double T : {0.0, 31.4, 1000.0}) {
        std::srand(7);   // the same streaks for both
        fx_beams_init_from(clear.data(), uint32_t(clear.size()));
        const std::vector<uint32_t> beams(fx_beams_render(T), fx_beams_render(T) + N);
        std::srand(7);
        fx_beams_init_from(block.data(), uint32_t(block.size()));
        const uint32_t* f = fx_beams_render(T);
        for (int y = 140; y < 210; y++)
            for (int x = 190; x < 310; x++) {
                const bool in = y >= 150 && y < 200 && x >= 200 && x < 300;
                const bool edge = in && (y == 150 || y == 199 || x == 200 || x == 299);
                const int p = y * W + x;
                ASSERT_EQ(f[p], !in ? beams[p] : edge ? blend(0x2468ac, beams[p]) : 0x0f2468acu) << T << " " << y << "," << x;
            }
    }
    fx_beams_free();
}

TEST(Beams, GlowLightsItsCentresAndClearsTheFlags)
{
    // an opaque black logo over the whole frame: only the glow shows. At T = 0 its light centre
    // (distance 0, texture row 0) falls on (77, 108) of the first rectangle and (115, 88) of the
    // second; the corners lie beyond every streak.
    const auto black = pic::pbm(W, H, [](int, int) { return 1; }, [](int) { return 0u; });
    fx_beams_init_from(black.data(), uint32_t(black.size()));
    const uint32_t* f = fx_beams_render(0.0);
    EXPECT_TRUE(f[108 * W + 77] >> 16 >= 0xfe && f[88 * W + 115] >> 16 >= 0xfe);
    EXPECT_EQ(std::vector<uint32_t>({f[65 * W + 32], f[164 * W + 141], f[200 * W + 200], f[64 * W + 32]}),
              std::vector<uint32_t>({0, 0, 0x0f000000u, 0x0f000000u}));
    fx_beams_free();
}

// The stamp picture: a disc of index 7 in the 20x20 top-left cell, other indices elsewhere that
// the stamp never uses.
bool in_disc(int r, int c) { return (r - 9.5) * (r - 9.5) + (c - 9.5) * (c - 9.5) <= 9.5 * 9.5; }
struct Blobs : testing::Test {
    static void SetUpTestSuite()
    {
        const auto pic = pic::pbm(W, 200, [](int r, int c) { return r < 20 && c < 20 ? (in_disc(r, c) ? 7 : 0) : c == 25 ? 9 : 0; },
                                 [](int i) { return 0x010203u * i; });
        fx_blobs_init_from(pic.data(), uint32_t(pic.size()));
    }
    std::vector<uint8_t> buf = std::vector<uint8_t>(W * 202, 0);
    int mass() const { return std::accumulate(buf.begin(), buf.end(), 0); }
};

TEST_F(Blobs, StampClipsAtEveryEdgeAndSaturatesAt60)
{
    // centre -> the part of the cell that lands: first and last column, first and last row
    const int cases[][6] = {{10, 10, 0, 19, 0, 19}, {9, 10, 1, 19, 0, 19},  {310, 190, 0, 19, 0, 19},
                            {311, 190, 0, 18, 0, 19}, {310, 191, 0, 19, 0, 18}, {-10, 50, 1, 0, 0, 0},
                            {330, 50, 1, 0, 0, 0}, {50, 208, 0, 19, 0, 1},   {0, 0, 10, 19, 10, 19}};
    for (const auto& [x, y, c0, c1, r0, r1] : cases) {
        std::fill(buf.begin(), buf.end(), 0);
        fx_blobs_stamp(x, y, 1, buf.data());
        int want = 0;
        for (int r = r0; r <= r1; r++)
            for (int k = c0; k <= c1; k++) {
                want += in_disc(r, k);
                ASSERT_EQ(buf[(y - 10 + r) * W + x - 10 + k], in_disc(r, k) ? 1 : 0) << x << "," << y;
            }
        EXPECT_EQ(mass(), want) << "stamp at " << x << "," << y;
    }
    EXPECT_EQ(fx_blobs_palette[3 * 5 + 2], 15);
    std::fill(buf.begin(), buf.end(), 59);
    for (int k = 0; k < 3; k++) {   // both paths saturate; the two spare rows are never written
        fx_blobs_stamp(100, 100, 1, buf.data());
        fx_blobs_stamp(5, 195, 1, buf.data());
    }
    EXPECT_EQ(std::vector<int>({buf[100 * W + 100], buf[199 * W], buf[100 * W + 90], buf[200 * W]}),
              std::vector<int>({60, 60, 59, 59}));
}

TEST_F(Blobs, SizeCounterFadeAndSegments)
{
    // the size counter grows by 10 and stops at 450: start -> after 60 grows (or one)
    for (const auto& c : {std::pair{60, 450}, {449, 459}}) {
        fx_blobs_size = c.first;
        for (int k = 0; k < (c.first == 60 ? 60 : 1); k++) fx_blobs_grow(10);
        EXPECT_EQ(fx_blobs_size.load(), c.second);
    }
    // the fade climbs one row; sixty ticks draw six segments of twenty stamps. A seed whose one
    // draw makes the fade step 30 at t = 0 (29 + sin 0 + rand mod 4):
    unsigned seed = 1;
    while ((std::srand(seed), std::rand() % 4 != 1)) seed++;
    const int second = (std::srand(seed), std::rand(), std::rand());
    fx_blobs_size = 60;
    buf[5 * W + 2] = 60;   // a lone spot far from the ring: it and the two bytes above become 15
    std::srand(seed);
    fx_blobs_render(buf.data(), 0);
    EXPECT_EQ(std::rand(), second) << "render draws exactly one number";
    EXPECT_EQ(std::vector<int>({buf[3 * W + 2], buf[4 * W + 2], buf[5 * W + 2], buf[6 * W + 2]}),
              std::vector<int>({15, 15, 15, 0}));
    // over an empty buffer at t = 0, no stamp clipped or saturated: 120 whole discs
    std::vector<uint8_t> empty(W * 202, 0);
    fx_blobs_render(empty.data(), 0);
    int disc = 0;
    for (int i = 0; i < 400; i++) disc += in_disc(i / 20, i % 20);
    EXPECT_EQ(std::accumulate(empty.begin(), empty.end(), 0), 120 * disc);
    // out-of-range counters are clamped; bytes above 60 never index past the fade table
    std::fill(buf.begin(), buf.end(), 255);
    for (int size : {0, -7, 5000}) {
        fx_blobs_size = size;
        fx_blobs_render(buf.data(), 100);
    }
    for (int i = 0; i < W * 200; i++) ASSERT_LE(buf[i], 60);
    EXPECT_EQ(buf[W * 200], 255);
    fx_blobs_size = 60;
}

struct Balls : testing::Test {
    // background 0x808080, every texel 0xa0a0a0, foreground transparent
    std::vector<uint8_t> bg = pic::pbm(W, H, [](int, int) { return 1; }, [](int) { return 0x808080u; });
    std::vector<uint8_t> tex = pic::pbm(W, 100, [](int, int) { return 1; }, [](int) { return 0xa0a0a0u; });
    std::vector<uint8_t> fg = pic::pbm(W, H, [](int, int) { return 0; }, [](int) { return 0u; });
    void SetUp() override
    {
        fx_balls_init_from(bg.data(), uint32_t(bg.size()), tex.data(), uint32_t(tex.size()), fg.data(), uint32_t(fg.size()));
    }
    void TearDown() override { fx_balls_free(); }
};

TEST_F(Balls, RadiusLimitsShadowRowsAndFarCentres)
{
    std::vector<uint32_t> dst(N);
    auto rows_drawn = [&](int y0, int y1) {   // rows y0..y1 hold something, the others nothing
        for (int y = 0; y < H; y++) {
            bool any = false;
            for (int x = 0; x < W; x++) any |= dst[y * W + x] != 0;
            if (any != (y >= y0 && y <= y1)) return false;
        }
        return true;
    };
    // x, y, radius, flags -> rows drawn (none: y0 > y1)
    constexpr int64_t S = 0xff00003c, M = INT32_MAX, m = INT32_MIN;   // S: the shadow flags
    const int64_t cases[][6] = {{160, 120, 0, 0, 1, 0},     {160, 120, 101, 0, 1, 0},   {160, 120, -3, 0, 1, 0},
                                {160, 120, 100, 0, 20, 220}, {160, 120, 1, 0, 119, 121}, {160, 120, 101, S, 1, 0},
                                {160, 120, 2, S, 120, 120}, {160, 120, 100, S, 87, 153}, {-3, 50, 20, 1, 31, 69},
                                {160, -5, 10, 0, 0, 5},     {M, 120, 100, 0, 1, 0},     {m, m, 100, S, 1, 0},
                                {160, M, 50, 0, 1, 0},      {-100, 120, 100, 0, 119, 121}};
    for (const auto& [x, y, r, flags, y0, y1] : cases) {
        std::fill(dst.begin(), dst.end(), 0);
        fx_balls_draw_ball(int32_t(x), int32_t(y), int32_t(r), uint32_t(flags), dst.data());
        EXPECT_TRUE(rows_drawn(int(y0), int(y1))) << x << "," << y << " r " << r << " flags " << flags;
        for (uint32_t p : dst) ASSERT_TRUE(p == 0 || p == (flags >> 24 ? 0x404040u : 0xa0a0a0u));
    }
}

// The first render in this program: before any substep the depth records are zero, so ball 0
// alone is drawn (twenty times) where its seeding put it, its shadow on the floor below.
TEST_F(Balls, FirstFrameDrawsBallZeroAtItsSeededPlace)
{
    unsigned seed = 0;
    double X, Y, Z;
    do {   // a seed that puts ball 0 well above its shadow
        std::srand(++seed);
        X = std::rand() % 200 - 100, Y = std::rand() % 300 - 200, Z = std::rand() % 100 + 110;
    } while (70 * Y / Z + 120 <= 40 || 70 * Y / Z + 40 >= 7000 / Z);
    std::srand(seed);
    SetUp();
    const uint32_t* f = fx_balls_render(0, 0);
    const int x = int(70 * X / Z + 160), y = int(70 * Y / Z + 120), r = int(70 * (X + 30) / Z - 70 * X / Z);
    const int floor_y = int(7000 / Z + 120);
    EXPECT_NEAR(std::count(f, f + N, 0xa0a0a0u), 3.14159 * r * r, 2.5 * r) << "one disc of radius " << r;
    EXPECT_TRUE(f[y * W + x] == 0xa0a0a0u && f[y * W + x + r + 1] == 0x808080u && f[(y - r - 1) * W + x] == 0x808080u);
    EXPECT_EQ(f[floor_y * W + x + r], 0x404040u) << "the shadow, r wide";
    EXPECT_EQ(f[(floor_y + r / 3 + 1) * W + x], 0x808080u) << "and r / 3 high";
}

TEST_F(Balls, TimeRunsForwardOnly)
{
    const uint32_t* f = fx_balls_render(40, 0);
    const std::vector<uint32_t> at40(f, f + N);
    EXPECT_TRUE(std::equal(at40.begin(), at40.end(), fx_balls_render(40, 0))) << "no substep at the counter";
    EXPECT_TRUE(std::equal(at40.begin(), at40.end(), fx_balls_render(10, 0))) << "nor before it";
    EXPECT_FALSE(std::equal(at40.begin(), at40.end(), fx_balls_render(41, 0)));
}

}  // namespace
