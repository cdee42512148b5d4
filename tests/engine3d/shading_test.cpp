// Lighting shades and ranges, texture areas, the fixed-point tables and the palette shade
// tables (levels, blends, quantised texels, the bump material).
#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine3d/fp_tables.h"
#include "engine3d/lt_light.h"
#include "engine3d/pal_shade.h"
#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"

TEST(Light, ShadesStayInsideTheRange)
{
    lt_set_range(0, 256);
    EXPECT_EQ(std::vector<int32_t>(lt_range, lt_range + 3), (std::vector<int32_t>{0, 65280, 65536}));
    lt_set_light(0, 10000, 0);  // straight above the origin: l = object - light = (0, -10000, 0)
    const auto shade = [](int32_t ny, int32_t nz, uint32_t mode, int32_t slot = 0, int32_t py = 0) {
        int32_t faces[4] = {0, 1, 2, -1}, rot[9] = {0, ny, nz, 0, ny, nz, 0, ny, nz};
        sc_object o;
        std::memset(&o, 0, sizeof o);
        o.vertex_count = 3, o.face_count = 1, o.faces = faces, o.rot_normals = rot, o.mode = mode, o.pos_y = py;
        return lt_face_shade(&o, slot);
    };
    const int32_t cases[][6] = {  // normal y, z, mode, range first, count, shade
        {-30976, 0, 1, 0, 256, 65280},      // along l: first + count, clamped to the last
        {30976, 0, 1, 0, 256, 0},           // against it: the first
        {-21904, 21904, 2, 0, 256, 46340},  // 45 degrees, gouraud: 65536 cos 45
        {0, 0, 1, 0, 256, 0},               // zero normal: the first
        {-30976, 0, 1, 128, 1, 32768},      // a range of one entry: always that entry
        {-21904, 21904, 1, 1, 127, 256 + 22989}};  // entries 1..127: 256 + 32512 cos 45
    for (const auto& c : cases) {
        lt_set_range(c[3], c[4]);
        EXPECT_EQ(shade(c[0], c[1], static_cast<uint32_t>(c[2])), c[5]) << &c - cases;
    }
    lt_set_range(10, 20);
    EXPECT_EQ(shade(-30976, 0, 1, 0, 10000), 2560);  // an object exactly at the light: the first
    lt_set_range(-1, 5);  // negative arguments leave the range
    lt_set_range(5, -1);
    EXPECT_TRUE(lt_range[0] == 2560 && lt_range[2] == 20 * 256);
    EXPECT_EQ(shade(-30976, 0, 1, 2), 2560);  // slots outside the face array: the first
    EXPECT_EQ(shade(-30976, 0, 1, -1), 2560);
    lt_set_light(900, 10000, -400);
    lt_set_range(0, 256);
}

TEST(TextureArea, AlignedSpareRowsAndPlanarPicturesWithoutLeaks)
{
    for (const int bits : {8, 24, 32}) {
        tex_buffer t = tex_alloc(bits);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(t) % 1024, 0u);
        std::memset(t, 0xa5, static_cast<size_t>((bits + 7) / 8) * tex_area_texels);  // all 272 rows (sanitizer)
        tex_free(t);
    }
    tex_free(nullptr);
    EXPECT_TRUE(tex_alloc(0) == nullptr && tex_alloc(64) == nullptr);
    // ILBM, 16 x 2, one plane, ByteRun1 rows of two literal bytes; palette 0 black, 1 (9, 8, 7)
    const uint8_t ilbm[] = {'F', 'O', 'R', 'M', 0, 0, 0, 60, 'I', 'L', 'B', 'M', 'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, 16,
                            0, 2, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 16, 0, 2, 'C', 'M', 'A', 'P', 0, 0, 0, 6, 0, 0,
                            0, 9, 8, 7, 'B', 'O', 'D', 'Y', 0, 0, 0, 6, 1, 0xF0, 0x0F, 1, 0x00, 0xFF};
    uint8_t palette[768] = {};
    tex_buffer t = tex_from_picture_n(ilbm, sizeof ilbm, palette);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(palette[3], 9);
    // texel (x, y) is pixel (x x 16 >> 8, y x 2 >> 8); the spare rows are clear
    const int probes[][3] = {{0, 0, 1}, {63, 0, 1}, {64, 0, 0}, {255, 127, 1}, {0, 128, 0}, {127, 255, 0}, {128, 255, 1}, {0, 256, 0}};
    for (const auto& p : probes)
        EXPECT_EQ(t[p[1] * 256 + p[0]], p[2]) << p[0] << "," << p[1];
    tex_free(t);
    EXPECT_EQ(tex_from_picture_n(ilbm, sizeof ilbm - 1, palette), nullptr);  // the body ends early
    for (int i = 0; i < 50; i++)  // every buffer of the conversion goes back: the heap stays
        tex_free(tex_from_picture_n(ilbm, sizeof ilbm, palette));
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 2000; i++)
        tex_free(tex_from_picture_n(ilbm, sizeof ilbm, palette));
    EXPECT_LT(mallinfo2().uordblks, before + 16384);
}

TEST(FixedPointTables, SquareRootPowerAndCosine)
{
    fp_sqrt_table_init();
    fp_cos_table_init();
    int32_t shift = 0;  // 2^20 -> 2^8 after two steps: 4096 x 2^6 = 1024 x 256
    EXPECT_EQ((std::vector{fp_sqrt_table[2], fp_sqrt_table[4095], fp_sqrt_lookup(1 << 20, &shift), shift}), (std::vector{341, 16381, 4096, 6}));
    EXPECT_EQ((std::vector{fp_pow(12345, 0), fp_pow(-2048, 3), fp_pow(-6400, 8), fp_cos_table[256], fp_cos_table[0]}),
              (std::vector{16384, -2048, 582076, 32767, 271}));  // cos(-1.5625) by the series to the eighth power
    for (int i = 0; i < 512; i++) {
        EXPECT_NEAR(fp_cos_table[i], 32767.0 * std::cos((i - 256) * 25.0 / 4096.0), 3.0) << i;
        EXPECT_TRUE(fp_cos_table[512 + i] == -fp_cos_table[i] && (i > 256 || fp_cos_table[1024 + i] == fp_cos_table[i])) << i;
    }
}

TEST(ShadePalette, RampBlendAndQuantisedTexels)
{
    std::vector<uint8_t> base(768), ramp(768, 128), out(768, 0xee);
    for (int c = 0; c < 16; c++)
        base[3 * c] = 200, base[3 * c + 1] = 100;
    std::memset(&ramp[0], 0, 3);  // ramp colours 0, 4, 8...: level 0 black, 1 white, the rest grey 128
    std::memset(&ramp[12], 255, 3);
    pal_shade_ramp(base.data(), ramp.data(), out.data(), 16, 4);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xee), 0);
    EXPECT_EQ(std::vector<uint8_t>(&out[3 * 5], &out[3 * 5 + 3]), (std::vector<uint8_t>{99, 49, 0}));  // level 0, colour 5
    EXPECT_EQ(std::vector<uint8_t>(&out[3 * 21], &out[3 * 21 + 3]), (std::vector<uint8_t>{199, 99, 0}));
    EXPECT_EQ(out[3 * (32 + 5)], (383 * 200) >> 9);  // level 2, grey 128
    const std::vector<uint8_t> kept = out;  // a blend at 0 % or 100 % does nothing; 25 % mixes a quarter in
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 0);
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 100);
    EXPECT_EQ(out, kept);
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 25);
    EXPECT_EQ((std::vector<int>{out[3 * 21], out[3 * 5 + 1]}), (std::vector<int>{(200 * 75 + 255 * 25) / 100, 75}));
    std::vector<uint8_t> small(768, 0xee);  // beyond 16 levels, steps past the ramp: nothing outside
    pal_shade_ramp(base.data(), ramp.data(), small.data(), 128, 200);
    EXPECT_EQ(small[3 * 255], 0xee);

    std::vector<uint8_t> tex(65536 + 1024);
    const uint8_t in[] = {0, 3, 4, 63, 200, 255}, want[] = {0, 0, 16, 240, 32, 240};
    for (int i = 0; i < 65536; i++)
        tex[i] = in[i % 6];
    tex[65536] = 77;  // the spare rows stay
    pal_quantise_texels(tex.data(), 16, 4);
    for (int i : {0, 1, 2, 3, 4, 5, 65535})
        EXPECT_EQ(tex[i], want[i % 6]) << i;
    EXPECT_EQ(tex[65536], 77);
    pal_quantise_texels(tex.data(), 16, 0);  // divisor 0: nothing
    EXPECT_EQ(tex[2], 16);
}

TEST(ShadePalette, BumpMaterialPrepareAndRelease)
{
    std::vector<uint8_t> colour(65536), env(65536), palette(768);
    for (int i = 0; i < 65536; i++)
        colour[i] = static_cast<uint8_t>(i & 63), env[i] = static_cast<uint8_t>(i >> 8);
    for (int c = 0; c < 256; c++)
        palette[3 * c] = static_cast<uint8_t>(c), palette[3 * c + 1] = 30;
    sc_object o;
    std::memset(&o, 0, sizeof o);
    EXPECT_EQ(pal_bump_prepare(&o, palette.data(), 16, 4), nullptr);  // no colour texture
    o.tex_a = colour.data(), o.tex_b = env.data();
    EXPECT_EQ(pal_bump_prepare(&o, palette.data(), 16, 0), nullptr);
    const int32_t users = pal_bump_users;
    uint8_t* map = pal_bump_prepare(&o, palette.data(), 16, 4);
    ASSERT_NE(map, nullptr);
    EXPECT_TRUE(o.tex_c == map && pal_bump_users == users + 1);
    EXPECT_EQ((std::vector<int>{map[63], colour[63], pal_bump_table[32767], pal_bump_table[32768 + 0x1234], pal_bump_table[32768 + 65536]}),
              (std::vector<int>{(63 + 30) * 2 / 3, 240, 0, 0x12, 0}));
    pal_bump_release(&o);
    pal_bump_release(&o);  // a second release frees nothing
    EXPECT_TRUE(o.tex_c == nullptr && pal_bump_users == users);
}
