// Lighting shades and ranges, texture areas and the fixed-point tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine3d/fp_tables.h"
#include "engine3d/lt_light.h"
#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"

namespace {

// A one-face object whose three rotated normals are all n, standing at pos.
struct Lit {
    int32_t faces[4] = {0, 1, 2, -1};
    int32_t rot[9];
    sc_object o;
    Lit(int32_t nx, int32_t ny, int32_t nz, uint32_t mode, int32_t px = 0, int32_t py = 0, int32_t pz = 0)
    {
        std::memset(&o, 0, sizeof o);
        for (int i = 0; i < 3; i++) {
            rot[3 * i] = nx;
            rot[3 * i + 1] = ny;
            rot[3 * i + 2] = nz;
        }
        o.vertex_count = 3;
        o.face_count = 1;
        o.faces = faces;
        o.rot_normals = rot;
        o.mode = mode;
        o.pos_x = px, o.pos_y = py, o.pos_z = pz;
    }
};

struct LightReset : ::testing::Test {
    void SetUp() override
    {
        lt_set_light(900, 10000, -400);
        lt_set_range(0, 256);
    }
    void TearDown() override { SetUp(); }
};

}  // namespace

TEST_F(LightReset, ShadesStayInsideTheRange)
{
    EXPECT_EQ(lt_range[0], 0);
    EXPECT_EQ(lt_range[1], 65280);
    EXPECT_EQ(lt_range[2], 65536);
    // Light straight above the origin: l = object - light = (0, -10000, 0).
    lt_set_light(0, 10000, 0);
    struct Case {
        int32_t nx, ny, nz;
        uint32_t mode;
        int32_t first, count;
        int32_t shade;
    };
    const Case cases[] = {
        {0, -30976, 0, 1, 0, 256, 65280},      // along l: first + count, clamped to last
        {0, 30976, 0, 1, 0, 256, 0},           // against it: first
        {30976, 0, 0, 1, 0, 256, 0},           // across it: t = 0
        {0, -21904, 21904, 2, 0, 256, 46340},  // 45 degrees, gouraud: 65536 cos 45
        {0, -21904, 21904, 1, 0, 256, 46340},  // summed normals keep the angle
        {0, 0, 0, 1, 0, 256, 0},               // zero normal: first
        {0, -30976, 0, 1, 128, 1, 32768},      // a range of one entry: always that entry
        {0, 30976, 0, 1, 128, 1, 32768},
        {0, -30976, 0, 1, 1, 127, 32512},      // entries 1..127: 256 .. 32512
        {0, 30976, 0, 1, 1, 127, 256},
        {0, -21904, 21904, 1, 1, 127, 256 + 22989},  // 32512 cos 45
    };
    for (const Case& c : cases) {
        lt_set_range(c.first, c.count);
        Lit lit(c.nx, c.ny, c.nz, c.mode);
        EXPECT_EQ(lt_face_shade(&lit.o, 0), c.shade) << c.nx << "," << c.ny << "," << c.nz << " range " << c.first;
    }
    // An object standing exactly at the light gives the first entry.
    lt_set_range(10, 20);
    Lit at(0, -30976, 0, 1, 0, 10000, 0);
    EXPECT_EQ(lt_face_shade(&at.o, 0), 2560);
    // Negative arguments leave the range; slots outside the face array give the first entry.
    lt_set_range(-1, 5);
    lt_set_range(5, -1);
    EXPECT_EQ(lt_range[0], 2560);
    EXPECT_EQ(lt_range[2], 20 * 256);
    Lit lit(0, -30976, 0, 1);
    EXPECT_EQ(lt_face_shade(&lit.o, 2), 2560);
    EXPECT_EQ(lt_face_shade(&lit.o, -1), 2560);
}

TEST(TextureArea, AlignedWithSpareRowsAndFreedWhole)
{
    for (const int bits : {8, 24, 32}) {
        tex_buffer t = tex_alloc(bits);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(t) % 1024, 0u);
        // every byte of the 272 rows is addressable (the sanitizer build checks the bounds)
        const size_t bytes = static_cast<size_t>((bits + 7) / 8) * tex_area_texels;
        std::memset(t, 0xa5, bytes);
        EXPECT_EQ(t[bytes - 1], 0xa5);
        tex_free(t);
    }
    tex_free(nullptr);
    EXPECT_EQ(tex_alloc(0), nullptr);
    EXPECT_EQ(tex_alloc(64), nullptr);
}

TEST(FixedPointTables, SquareRootPowerAndCosine)
{
    fp_sqrt_table_init();
    const int32_t sq[][2] = {{0, 0}, {1, 256}, {2, 341}, {3, 426}, {4, 512}, {9, 768}, {4095, 16381}};
    for (const auto& e : sq)
        EXPECT_EQ(fp_sqrt_table[e[0]], e[1]) << e[0];
    for (int i = 1; i < 4096; i++)
        EXPECT_NEAR(fp_sqrt_table[i], 256.0 * std::sqrt(i), 90.0) << i;
    int32_t shift = 0;
    EXPECT_EQ(fp_sqrt_lookup(1 << 20, &shift), 4096);  // 2^20 -> 2^8 after two steps
    EXPECT_EQ(shift, 6);                                // 4096 x 2^6 = 1024 x 256
    shift = 0;
    EXPECT_EQ(fp_sqrt_lookup(100, &shift), fp_sqrt_table[100]);
    EXPECT_EQ(shift, 0);

    EXPECT_EQ(fp_pow(12345, 0), 16384);
    EXPECT_EQ(fp_pow(4096, 7), 16384);
    EXPECT_EQ(fp_pow(2048, 2), 4096);
    EXPECT_EQ(fp_pow(-2048, 3), -2048);
    EXPECT_EQ(fp_pow(-6400, 8), 582076);  // 16384 x 1.5625^8 = 582076.6

    fp_cos_table_init();
    EXPECT_EQ(fp_cos_table[256], 32767);
    EXPECT_EQ(fp_cos_table[768], -32767);
    EXPECT_EQ(fp_cos_table[1280], 32767);
    EXPECT_EQ(fp_cos_table[0], 271);  // cos(-1.5625) by the series to the eighth power
    for (int i = 0; i < 512; i++) {
        const double want = 32767.0 * std::cos((i - 256) * 25.0 / 4096.0);
        EXPECT_NEAR(fp_cos_table[i], want, 3.0) << i;
        EXPECT_EQ(fp_cos_table[512 + i], -fp_cos_table[i]);
        if (i <= 256) {
            EXPECT_EQ(fp_cos_table[1024 + i], fp_cos_table[i]);
        }
    }
}

namespace {

void put_be32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<uint8_t>(v >> s));
}

void put_chunk(std::vector<uint8_t>& b, const char* tag, const std::vector<uint8_t>& data)
{
    b.insert(b.end(), tag, tag + 4);
    put_be32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1)
        b.push_back(0);
}

// An IFF picture of w x h: chunky "PBM " with one index per pixel, or planar "ILBM" with the
// given planes; the body in ByteRun1 literal runs; palette entry c = (c, 255 - c, 7).
std::vector<uint8_t> iff_picture(int w, int h, int planes, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> bmhd = {uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h), 0, 0, 0, 0,
                                 uint8_t(planes), 0, 1, 0, 0, 0, 1, 1, uint8_t(w >> 8), uint8_t(w),
                                 uint8_t(h >> 8), uint8_t(h)};
    std::vector<uint8_t> cmap;
    for (int c = 0; c < 256; c++)
        cmap.insert(cmap.end(), {uint8_t(c), uint8_t(255 - c), 7});
    std::vector<uint8_t> packed;
    for (size_t i = 0; i < body.size(); i += 128) {
        const size_t n = std::min<size_t>(128, body.size() - i);
        packed.push_back(static_cast<uint8_t>(n - 1));
        packed.insert(packed.end(), body.begin() + static_cast<long>(i), body.begin() + static_cast<long>(i + n));
    }
    std::vector<uint8_t> inner = {'P', 'B', 'M', ' '};
    if (planes != 8 || body.size() != static_cast<size_t>(w * h))
        inner = {'I', 'L', 'B', 'M'};
    put_chunk(inner, "BMHD", bmhd);
    put_chunk(inner, "CMAP", cmap);
    put_chunk(inner, "BODY", packed);
    std::vector<uint8_t> file = {'F', 'O', 'R', 'M'};
    put_be32(file, static_cast<uint32_t>(inner.size()));
    file.insert(file.end(), inner.begin(), inner.end());
    return file;
}

uint8_t pixel_at(int x, int y)
{
    return static_cast<uint8_t>(x * 7 + y * 13);
}

std::vector<uint8_t> chunky(int w, int h)
{
    std::vector<uint8_t> p(static_cast<size_t>(w * h));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p[y * w + x] = pixel_at(x, y);
    return p;
}

}  // namespace

TEST(TextureArea, PicturesResampleToTheTopLeftOrStretch)
{
    struct Case {
        int w, h;
        int texel_x, texel_y, pic_x, pic_y;
    };
    const Case cases[] = {
        {256, 256, 17, 200, 17, 200},   // texel for texel
        {320, 240, 255, 255, 255, 239},  // left 256 columns; rows (y x 240) >> 8
        {320, 240, 10, 1, 10, 0},
        {320, 240, 10, 2, 10, 1},
        {100, 50, 255, 255, 99, 49},     // stretched both ways
        {100, 50, 128, 128, 50, 25},
        {400, 300, 255, 255, 255, 255},  // larger: the top-left 256x256 unscaled
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = iff_picture(c.w, c.h, 8, chunky(c.w, c.h));
        uint8_t palette[768] = {};
        tex_buffer t = tex_from_picture_n(file.data(), file.size(), palette);
        ASSERT_NE(t, nullptr) << c.w << "x" << c.h;
        EXPECT_EQ(t[c.texel_y * 256 + c.texel_x], pixel_at(c.pic_x, c.pic_y)) << c.w << "x" << c.h;
        EXPECT_EQ(t[256 * 256 + 5], 0);  // spare rows cleared
        EXPECT_EQ(palette[3 * 10 + 1], 245);
        tex_free(t);
        tex_buffer u = tex_from_picture(file.data(), nullptr);  // unsized, palette not wanted
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u[c.texel_y * 256 + c.texel_x], pixel_at(c.pic_x, c.pic_y));
        tex_free(u);
    }
    // A planar picture: 16x2, two planes; plane 0 is the low bit.
    const std::vector<uint8_t> planar = {0xff, 0x00, 0x0f, 0x0f, 0x00, 0xff, 0xff, 0xff};
    const std::vector<uint8_t> file = iff_picture(16, 2, 2, planar);
    tex_buffer t = tex_from_picture_n(file.data(), file.size(), nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0], 1);            // row 0, column 0: plane 0 set, plane 1 clear
    EXPECT_EQ(t[255], 2);          // column 15: plane 1 only
    EXPECT_EQ(t[255 * 256], 2);        // row 1, column 0: plane 1 only
    EXPECT_EQ(t[255 * 256 + 255], 3);  // row 1, column 15: both planes
    tex_free(t);
    // Broken pictures give null and keep nothing (the sanitizer build checks for leaks).
    std::vector<uint8_t> cut = iff_picture(64, 64, 8, chunky(64, 64));
    cut.resize(cut.size() - 100);
    EXPECT_EQ(tex_from_picture_n(cut.data(), cut.size(), nullptr), nullptr);
    const uint8_t junk[16] = {'F', 'O', 'R', 'M', 0, 0, 0, 8, 'J', 'U', 'N', 'K'};
    EXPECT_EQ(tex_from_picture(junk, nullptr), nullptr);
    std::vector<uint8_t> empty = iff_picture(0, 0, 8, {});
    EXPECT_EQ(tex_from_picture_n(empty.data(), empty.size(), nullptr), nullptr);
}
