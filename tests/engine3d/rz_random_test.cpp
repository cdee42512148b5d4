// Random polygons in every mode, at both target depths and many screen sizes, into buffers
// fenced by inaccessible pages: whatever the corners (words mostly within +-2^22, some anywhere),
// nothing is read outside the texture areas and nothing written outside the target and the depth
// buffer. A stray access faults at once, in every build; the slack below each buffer keeps a
// pattern that is checked. The sanitizer build covers the edge tables and bump buffers.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine3d/pal_shade.h"
#include "engine3d/rz.h"

namespace {

struct fenced {  // `size` bytes whose end touches the upper fence page
    size_t size, len;
    uint8_t *map, *data;
    explicit fenced(size_t bytes) : size(bytes)
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE)), pages = (bytes + page - 1) / page;
        len = (pages + 2) * page;
        map = static_cast<uint8_t*>(mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(map, MAP_FAILED);
        EXPECT_EQ(mprotect(map, page, PROT_NONE) | mprotect(map + len - page, page, PROT_NONE), 0);
        data = map + page + pages * page - bytes;
        std::memset(map + page, 0xa5, static_cast<size_t>(data - map - page));
    }
    ~fenced() { munmap(map, len); }
    bool slack_intact() const
    {
        for (const uint8_t* p = map + sysconf(_SC_PAGESIZE); p < data; p++)
            if (*p != 0xa5)
                return false;
        return true;
    }
};

std::mt19937 rng{20261206};
int32_t range(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }
int pick(int n) { return range(0, n - 1); }
// Mostly within +-2^22, now and then any 32-bit word: the arithmetic wraps, the buffers hold.
int32_t extreme() { return pick(8) ? range(-(1 << 22) + 1, (1 << 22) - 1) : range(INT32_MIN, INT32_MAX); }
int32_t coord(int32_t extent)
{
    const int k = pick(10);
    return k == 0 ? extreme() : k < 4 ? range(-2000 * 256, 2000 * 256) : range(-extent * 128, extent * 384);
}
int32_t texture()
{
    const int k = pick(8);
    return k < 2 ? extreme() : k < 4 ? range(-4096, 70000) : range(0, 65535);
}
int32_t depth()
{
    const int k = pick(10);
    return k < 2 ? range(-1000, 1000) : k < 5 ? range(1, (1 << 22) - 1) : range(1, 100000);
}

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
                rz_set_texture(slots == 0 ? nullptr : tex1.data, 1);
                rz_set_texture(slots == 1 ? nullptr : tex2.data, 2);
                rz_zbuf = pick(40) == 0 ? nullptr : reinterpret_cast<uint32_t*>(zbuf.data);
                if (pick(16) == 0)
                    std::memset(zbuf.data, pick(2) ? 0xff : 0x00, zbuf.size);
                rz_vertex v[6];
                const int n = 1 + pick(6);
                for (int i = 0; i < n; i++)
                    v[i] = rz_vertex{coord(sc.w), coord(sc.h), texture(), texture(), texture(), texture(),
                                     pick(4) ? range(0, 65535) : extreme(), depth()};
                if (pick(4) == 0)
                    v[1].y = v[0].y;  // horizontal edges
                rz_draw_poly(n, v);
                if (bits == 8 && pick(64) == 0)
                    rz_bump_pass8();
            }
            ASSERT_TRUE(target.slack_intact() && zbuf.slack_intact()) << "mode " << mode << " " << sc.w << "x" << sc.h;
        }
        rz_zbuf = own;
        ASSERT_EQ(rz_zbuffer(0), 0);
        rz_target = nullptr;
    }
    EXPECT_TRUE(tex1.slack_intact() && tex2.slack_intact());
    rz_set_texture(nullptr, 1), rz_set_texture(nullptr, 2);
}

}  // namespace

TEST(RzRandom, EightBitModesStayInsideTheirBuffers)
{
    random_run(8, {1, 2, 4, 6, 8, 12, 16, 36, 40, 68, 72, 100, 104, 140, 0, 32, 64, 96, 132, 255});
}

TEST(RzRandom, ThirtyTwoBitModesStayInsideTheirBuffers) { random_run(32, {4, 8, 36, 40, 68, 72, 1, 6, 100, 140, 0}); }
