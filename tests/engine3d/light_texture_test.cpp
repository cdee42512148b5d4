// Lighting shades and ranges, texture areas and the fixed-point tables.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstring>

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
        {0, -21904, 21904, 2, 0, 256, 46340},  // 45 degrees, gouraud: 65536 cos 45
        {0, 0, 0, 1, 0, 256, 0},               // zero normal: first
        {0, -30976, 0, 1, 128, 1, 32768},      // a range of one entry: always that entry
        {0, -21904, 21904, 1, 1, 127, 256 + 22989},  // entries 1..127: 256 + 32512 cos 45
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

TEST(TextureArea, PlanarPictureStretchedIntoTexelsWithoutLeaks)
{
    // ILBM, 16 x 2, one plane, ByteRun1 rows of two literal bytes; palette 0 black, 1 (9, 8, 7)
    const uint8_t ilbm[] = {'F', 'O', 'R', 'M', 0, 0, 0, 60, 'I', 'L', 'B', 'M',
                            'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, 16, 0, 2, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 16, 0, 2,
                            'C', 'M', 'A', 'P', 0, 0, 0, 6, 0, 0, 0, 9, 8, 7,
                            'B', 'O', 'D', 'Y', 0, 0, 0, 6, 1, 0xF0, 0x0F, 1, 0x00, 0xFF};
    uint8_t palette[768] = {};
    tex_buffer t = tex_from_picture_n(ilbm, sizeof ilbm, palette);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(palette[3], 9);
    // texel (x, y) is pixel (x x 16 >> 8, y x 2 >> 8); the spare rows are clear
    const struct { int x, y, texel; } probes[] = {{0, 0, 1}, {63, 0, 1}, {64, 0, 0}, {255, 127, 1},
                                                   {0, 128, 0}, {127, 255, 0}, {128, 255, 1}, {0, 256, 0}};
    for (const auto& p : probes)
        EXPECT_EQ(t[p.y * 256 + p.x], p.texel) << p.x << "," << p.y;
    tex_free(t);
    EXPECT_EQ(tex_from_picture_n(ilbm, sizeof ilbm - 1, palette), nullptr);  // the body ends early
    // every buffer of the conversion goes back: the heap stays where it was
    for (int i = 0; i < 50; i++)
        tex_free(tex_from_picture_n(ilbm, sizeof ilbm, palette));
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 2000; i++)
        tex_free(tex_from_picture_n(ilbm, sizeof ilbm, palette));
    EXPECT_LT(mallinfo2().uordblks, before + 16384);
}

TEST(FixedPointTables, SquareRootPowerAndCosine)
{
    fp_sqrt_table_init();
    const int32_t sq[][2] = {{0, 0}, {2, 341}, {4095, 16381}};
    for (const auto& e : sq)
        EXPECT_EQ(fp_sqrt_table[e[0]], e[1]) << e[0];
    int32_t shift = 0;
    EXPECT_EQ(fp_sqrt_lookup(1 << 20, &shift), 4096);  // 2^20 -> 2^8 after two steps
    EXPECT_EQ(shift, 6);                                // 4096 x 2^6 = 1024 x 256
    shift = 0;
    EXPECT_EQ(fp_sqrt_lookup(100, &shift), fp_sqrt_table[100]);
    EXPECT_EQ(shift, 0);

    EXPECT_EQ(fp_pow(12345, 0), 16384);
    EXPECT_EQ(fp_pow(-2048, 3), -2048);
    EXPECT_EQ(fp_pow(-6400, 8), 582076);  // 16384 x 1.5625^8 = 582076.6

    fp_cos_table_init();
    EXPECT_EQ(fp_cos_table[256], 32767);
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
