// Random polygons in every mode, at both target depths and many screen sizes, into fenced
// buffers: whatever the corners (words mostly within +-2^22, so that differences stay below
// 2^23, some anywhere), nothing is read outside the texture areas and nothing written outside the target and
// the depth buffer. A stray access faults on a fence page; the slack below each buffer is
// checked for its pattern. The sanitizer build runs this too (edge tables, bump buffers).
#include <gtest/gtest.h>

#include "engine3d/pal_shade.h"
#include "engine3d/rz.h"
#include "tests/engine3d/rz_guard.h"

#include <cstdint>
#include <random>
#include <vector>

namespace {

struct rz_random_words {
    std::mt19937 rng{20261206};

    int32_t range(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }
    // Mostly within +-2^22; now and then any 32-bit value at all, beyond what callers promise:
    // the arithmetic wraps as 32-bit words do, and the buffers must hold all the same.
    int32_t extreme() { return pick(8) ? range(-(1 << 22) + 1, (1 << 22) - 1) : range(INT32_MIN, INT32_MAX); }
    int pick(int n) { return range(0, n - 1); }

    int32_t coord(int32_t extent)
    {
        switch (pick(10)) {
        case 0: return extreme();
        case 1: case 2: case 3: return range(-2000 * 256, 2000 * 256);
        default: return range(-extent * 128, extent * 384); // around the screen
        }
    }
    int32_t texture()
    {
        switch (pick(8)) {
        case 0: case 1: return extreme();
        case 2: case 3: return range(-4096, 70000);
        default: return range(0, 65535);
        }
    }
    int32_t depth()
    {
        switch (pick(10)) {
        case 0: case 1: return range(-1000, 1000);
        case 2: case 3: case 4: return range(1, (1 << 22) - 1);
        default: return range(1, 100000);
        }
    }
    rz_vertex vertex(int32_t w, int32_t h)
    {
        return rz_vertex{coord(w), coord(h), texture(), texture(), texture(), texture(),
                         pick(4) ? range(0, 65535) : extreme(), depth()};
    }
};

struct rz_screen_case {
    int32_t w, h, polygons;
};

void rz_random_run(int32_t bits, const std::vector<uint32_t>& modes)
{
    const rz_screen_case screens[] = {{1, 1, 300}, {2, 3, 300}, {7, 5, 600}, {40, 30, 1500},
                                      {320, 240, 600}, {640, 480, 150}, {640, 1, 200}, {1, 480, 200}};
    const size_t texel = bits > 8 ? 4 : 1;
    rz_random_words r;

    // Texture areas exactly 256 x 272 texels between fences; random texels, some of them 0.
    rz_guarded tex1(static_cast<size_t>(rz_tex_texels) * texel), tex2(static_cast<size_t>(rz_tex_texels) * texel);
    for (size_t i = 0; i < tex1.size(); i++) {
        tex1.data()[i] = static_cast<uint8_t>(r.pick(4) ? r.range(0, 255) : 0);
        tex2.data()[i] = static_cast<uint8_t>(r.range(0, 255));
    }
    for (size_t i = 0; i < sizeof pal_bump_table; i++)
        pal_bump_table[i] = static_cast<uint8_t>(i * 7);

    for (const rz_screen_case& sc : screens) {
        ASSERT_EQ(rz_set_screen(sc.w, sc.h, bits), 0);
        const size_t pixels = static_cast<size_t>(sc.w) * static_cast<size_t>(sc.h);
        rz_guarded target(pixels * texel), depth(pixels * 4);
        rz_target = target.data();

        // A real depth buffer for the life of the screen, swapped for a fenced one while drawing.
        ASSERT_EQ(rz_zbuffer(1), 0);
        uint32_t* const own = rz_zbuf;

        for (const uint32_t mode : modes) {
            rz_set_mode(mode);
            for (int k = 0; k < sc.polygons; k++) {
                // Occasionally an empty slot, no depth buffer or a refilled depth buffer.
                const int slots = r.pick(40);
                rz_set_texture(slots == 0 ? nullptr : tex1.data(), 1);
                rz_set_texture(slots == 1 ? nullptr : tex2.data(), 2);
                rz_zbuf = r.pick(40) == 0 ? nullptr : depth.as<uint32_t>();
                if (r.pick(16) == 0)
                    std::memset(depth.data(), r.pick(2) ? 0xff : 0x00, depth.size());

                rz_vertex v[6];
                const int n = 1 + r.pick(6);
                for (int i = 0; i < n; i++)
                    v[i] = r.vertex(sc.w, sc.h);
                if (r.pick(4) == 0)
                    v[1].y = v[0].y; // horizontal edges
                rz_draw_poly(n, v);
                if (bits == 8 && r.pick(64) == 0)
                    rz_bump_pass8();
            }
            ASSERT_TRUE(target.slack_intact()) << "mode " << mode << " screen " << sc.w << "x" << sc.h;
            ASSERT_TRUE(depth.slack_intact()) << "mode " << mode << " screen " << sc.w << "x" << sc.h;
        }
        rz_zbuf = own;
        ASSERT_EQ(rz_zbuffer(0), 0);
        rz_target = nullptr;
    }
    EXPECT_TRUE(tex1.slack_intact());
    EXPECT_TRUE(tex2.slack_intact());
    rz_set_texture(nullptr, 1);
    rz_set_texture(nullptr, 2);
}

} // namespace

TEST(RasteriserRandom, EightBitModesStayInsideTheirBuffers)
{
    rz_random_run(8, {1, 2, 4, 6, 8, 12, 16, 36, 40, 68, 72, 100, 104, 140, 0, 32, 64, 96, 132, 255});
}

TEST(RasteriserRandom, ThirtyTwoBitModesStayInsideTheirBuffers)
{
    rz_random_run(32, {4, 8, 36, 40, 68, 72, 1, 6, 100, 140, 0});
}
