// Render pipeline: culling, the face list and its keys, the radix sorts and what the list
// hands to the rasteriser, drawn into real targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine3d/eng_render.h"
#include "engine3d/fl_face_list.h"
#include "engine3d/lt_light.h"
#include "engine3d/m3_view.h"
#include "engine3d/rz.h"
#include "engine3d/sc_transform.h"
#include "tests/engine3d/eng_meshes.h"

namespace {

// A live scene with a 320x240 8-bit target; the camera at the origin looks along +z.
struct Stage : ::testing::Test {
    sc_scene scene;
    std::vector<uint8_t> target = std::vector<uint8_t>(320 * 240, 0);

    void SetUp() override
    {
        ASSERT_EQ(sc_init(&scene), 0);
        ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
        rz_target = target.data();
        lt_set_range(0, 256);
        lt_set_light(900, 10000, -400);
    }
    void TearDown() override
    {
        sc_free_objects(&scene);
        sc_release(&scene);
        rz_target = nullptr;
    }
    int count(uint8_t value) const { return static_cast<int>(std::count(target.begin(), target.end(), value)); }
};

// A texture whose every texel is `value` (8-bit).
struct FlatTexture {
    tex_buffer t;
    explicit FlatTexture(uint8_t value) : t(tex_alloc(8)) { std::memset(t, value, tex_area_texels); }
    ~FlatTexture() { tex_free(t); }
};

// One triangle with hand-set work arrays, as if transformed: screen corners (pixels) and
// camera-space z per corner.
sc_object* hand_triangle(const int32_t px[3][2], const int32_t z[3], uint32_t mode)
{
    sc_object* o = obj_alloc(3, 1, 1);
    std::memset(o->vertices, 0, 9 * sizeof(int32_t));
    const int32_t f[4] = {0, 1, 2, -1};
    std::memcpy(o->faces, f, sizeof f);
    for (int i = 0; i < 3; i++) {
        o->scr_vertices[2 * i] = px[i][0] * 256;
        o->scr_vertices[2 * i + 1] = px[i][1] * 256;
        o->cam_vertices[3 * i] = o->cam_vertices[3 * i + 1] = 0;
        o->cam_vertices[3 * i + 2] = z[i];
        o->uv[2 * i] = o->uv[2 * i + 1] = 0;
    }
    o->mode = mode;
    o->radius = 10;
    return o;
}

// Clockwise on the screen (y down): a front face.
const int32_t cw[3][2] = {{100, 50}, {200, 150}, {100, 150}};
const int32_t ccw[3][2] = {{100, 50}, {100, 150}, {200, 150}};
const int32_t far_z[3] = {-1000, -1000, -1000};

// The face list's sort mode as the program starts, before anything resets it.
const int32_t initial_sort_mode = fl_sort_mode;

}  // namespace

TEST_F(Stage, EmptySceneDrawsNothing)
{
    EXPECT_EQ(sc_render(&scene), 0);
    EXPECT_EQ(fl_count, 0);
    EXPECT_EQ(count(0), 320 * 240);
    EXPECT_EQ(sc_render(nullptr), 1);
}

TEST_F(Stage, CullKeepsTheViewPyramidWidenedBySphere)
{
    sc_object* cube = eng_make_cube(57, false);
    EXPECT_EQ(cube->radius, 99);  // 1 + trunc(sqrt(3 x 57^2) = 98.7)
    cube->radius = 100;
    ASSERT_EQ(sc_add_object(&scene, cube), 0);
    struct Case {
        int32_t x, y, z;
        int32_t depth;
    };
    // camera space (x, -y, -z) of world (x, y, z); k = 23 x 100 >> 4 = 143
    const Case cases[] = {
        {509, 0, 1000, 1000},         // 3 (509 - 143) = 1098 <= 1100
        {510, 0, 1000, sc_culled},    // 1101
        {0, 418, 1000, 1000},         // (418 - 143) x 4 = 1100
        {0, -419, 1000, sc_culled},   // 1104
        {0, 0, -529, -529},           // behind: 3 (0 - 143) <= 100 - 529, k widens the apex
    };
    for (const Case& c : cases) {
        cube->pos_x = c.x, cube->pos_y = c.y, cube->pos_z = c.z;
        fl_count = 5;
        ASSERT_EQ(sc_cull(&scene), 0);
        EXPECT_EQ(cube->depth, c.depth) << c.x << "," << c.y << "," << c.z;
        EXPECT_EQ(fl_count, 0);
    }
}

TEST_F(Stage, FaceListTakesFacesInFrontOnly)
{
    struct Case {
        const int32_t (*px)[2];
        int32_t z[3];
        uint32_t mode;
        int32_t added;  // face number as stored, or 1 for none
        uint32_t key;
    };
    const int32_t n = m3_near_mark;
    const Case cases[] = {
        {cw, {-1000, -1000, -1000}, 4, 0, 750},
        {cw, {0, 0, 0}, 4, 1, 0},                      // sum 0: not in front
        {cw, {n, -16777216, -16777216}, 4, 1, 0},      // near point: the sum is 0
        {ccw, {-1000, -1000, -1000}, 4, 1, 0},         // back face of a one-sided object
        {ccw, {-1000, -1000, -1000}, 4 | 128, ~0, 750},  // double-sided: complemented
    };
    for (const Case& c : cases) {
        sc_object* o = hand_triangle(c.px, c.z, c.mode);
        fl_reset();
        const int32_t got = fl_add_object(o);
        if (c.added == 1) {
            EXPECT_EQ(got, 0) << c.z[0] << "," << c.z[1] << "," << c.z[2];
        } else {
            EXPECT_EQ(got, 1) << c.z[0] << "," << c.z[1] << "," << c.z[2];
            EXPECT_EQ(fl_faces[0], c.added);
            EXPECT_EQ(fl_keys[0], c.key);
            EXPECT_EQ(fl_objects[0], o);
        }
        obj_free(o);
    }
    // the list starts with frame keys, (-zs) >> 2; a lone object drawn by fl_draw_object gets
    // object-relative keys, (3 x (radius - depth) - zs) >> 5, and leaves that mode on
    sc_object* o = hand_triangle(cw, far_z, 4);
    fl_count = 0;
    fl_sort_mode = initial_sort_mode;
    fl_add_object(o);
    EXPECT_EQ(fl_keys[0], 750u);
    fl_draw_object(o);
    EXPECT_EQ(fl_sort_mode, 1);
    EXPECT_EQ(fl_keys[0], (30u + 3000u) >> 5);
    fl_add_object(o);
    EXPECT_EQ(fl_keys[1], 94u);
    obj_free(o);
    fl_reset();
    EXPECT_EQ(fl_sort_mode, 0);
}

TEST_F(Stage, FaceListRefusesWhatItCannotDrawSafely)
{
    sc_object* o = hand_triangle(cw, far_z, 4);
    o->faces[1] = 3;  // no such vertex
    fl_reset();
    EXPECT_EQ(fl_add_object(o), 0);
    o->faces[1] = 1;
    o->faces[3] = 3;  // a fourth corner that does not exist
    EXPECT_EQ(fl_add_object(o), 0);
    o->faces[3] = -1;
    o->scr_vertices[0] = 1 << 22;  // 16384 pixels: beyond the rasteriser's step range
    EXPECT_EQ(fl_add_object(o), 0);
    o->scr_vertices[0] = 100 * 256;
    EXPECT_EQ(fl_add_object(o), 1);
    obj_free(o);
    fl_reset();
}

TEST_F(Stage, FaceListHoldsThirtyThousandFaces)
{
    sc_object* o = obj_alloc(3, 10, 0);
    for (int i = 0; i < 10; i++) {
        const int32_t f[4] = {0, 1, 2, -1};
        std::memcpy(o->faces + 4 * i, f, sizeof f);
    }
    for (int i = 0; i < 3; i++) {
        o->scr_vertices[2 * i] = cw[i][0] * 256;
        o->scr_vertices[2 * i + 1] = cw[i][1] * 256;
        o->cam_vertices[3 * i + 2] = -1000;
    }
    o->mode = 4;
    fl_reset();
    fl_count = 29999;
    EXPECT_EQ(fl_add_object(o), 30000);
    EXPECT_EQ(fl_faces[29999], 0);
    EXPECT_EQ(fl_add_object(o), 30000);
    fl_reset();
    obj_free(o);
}

TEST_F(Stage, FarFacesDrawFirstAndEqualKeysInReverse)
{
    FlatTexture red(3), blue(5);
    sc_object* a = hand_triangle(cw, far_z, 4);
    sc_object* b = hand_triangle(cw, far_z, 4);
    a->tex_a = red.t;
    b->tex_a = blue.t;
    // equal keys: the face added later is drawn first, so the earlier one ends on top
    fl_reset();
    fl_add_object(a);
    fl_add_object(b);
    fl_flush();
    EXPECT_GT(count(3), 4000);
    EXPECT_EQ(count(5), 0);
    fl_reset();
    fl_add_object(b);
    fl_add_object(a);
    fl_flush();
    EXPECT_EQ(count(3), 0);
    EXPECT_GT(count(5), 4000);
    obj_free(a);
    obj_free(b);
    fl_reset();
}

// Pairs (key, index) by a stable sort on the masked key: what every radix sort must give.
static std::vector<uint32_t> stable_pairs(const std::vector<uint32_t>& keys, uint32_t mask)
{
    std::vector<uint32_t> idx(keys.size());
    for (size_t i = 0; i < idx.size(); i++)
        idx[i] = static_cast<uint32_t>(i);
    std::stable_sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) { return (keys[a] & mask) < (keys[b] & mask); });
    std::vector<uint32_t> pairs;
    for (uint32_t i : idx) {
        pairs.push_back(keys[i]);
        pairs.push_back(i);
    }
    return pairs;
}

TEST(RadixSort, EqualsAStableSortOnTheLowBits)
{
    std::mt19937 rng(1234);
    for (const int n : {0, 1, 7, 1000, 30000}) {
        std::vector<uint32_t> keys(n);
        for (auto& k : keys)
            k = rng() & (n > 100 ? 0xffffffffu : 0x03000003u);  // small sets: many ties
        std::vector<uint32_t> work(4 * static_cast<size_t>(n) + 4);
        const uint32_t masks[5] = {0, 0xff, 0xffff, 0xffffff, 0xffffffff};
        // refused pass counts first: what they counted must not reach the next sort
        EXPECT_EQ(rs_sort_pairs(n, keys.data(), work.data(), 0), nullptr);
        EXPECT_EQ(rs_sort_pairs(n, keys.data(), work.data(), 5), nullptr);
        for (int passes = 1; passes <= 4; passes++) {
            const uint32_t* got = rs_sort_pairs(n, keys.data(), work.data(), passes);
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(got, work.data() + (passes % 2 ? 2 * n : 0));
            const std::vector<uint32_t> want = stable_pairs(keys, masks[passes]);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), got)) << "n " << n << " passes " << passes;
        }
        std::vector<uint32_t> dst(2 * static_cast<size_t>(n) + 2);
        rs_sort10(n, keys.data(), dst.data());
        const std::vector<uint32_t> want10 = stable_pairs(keys, 1023);
        EXPECT_TRUE(std::equal(want10.begin(), want10.end(), dst.data())) << "n " << n;
    }
    // keys above 0xffffff are ordered by their low 24 bits only
    const std::vector<uint32_t> keys = {0x01000005, 0x00000004, 0xff000004, 0x00ffffff};
    std::vector<uint32_t> work(16);
    const uint32_t* got = rs_sort_pairs(4, keys.data(), work.data(), 3);
    const uint32_t order[4] = {1, 2, 0, 3};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(got[2 * i + 1], order[i]);
}

TEST_F(Stage, LatticeFlightStaysInsideItsArrays)
{
    // Cubes all round the camera, some crossing the near distance and some behind: every
    // frame from a range of camera positions draws only inside the target (checked by the
    // sanitizer build) and draws something.
    FlatTexture tex(9);
    sc_object* cube = eng_make_cube(2000, true);
    ASSERT_EQ(sc_add_object(&scene, cube), 0);
    cube->mode = 8;
    cube->tex_b = tex.t;
    for (int x = -2; x <= 2; x++)
        for (int y = -2; y <= 2; y++)
            for (int z = -2; z <= 2; z++) {
                sc_object* o = sc_add_instance(&scene, cube);
                ASSERT_NE(o, nullptr);
                o->pos_x = x * 8500, o->pos_y = y * 8500, o->pos_z = z * 8500;
                o->mode = (x + y + z) & 1 ? 8 : 4 | 128;
                o->tex_a = o->tex_b = o->tex_back = tex.t;
            }
    int drawn_frames = 0;
    for (int t = 0; t < 60; t++) {
        scene.cam_x = -20000 + 700 * t;
        scene.cam_y = 3000 - 100 * t;
        scene.cam_z = 5 * t;
        scene.target_x = scene.cam_x + 1000;
        scene.target_y = 0;
        scene.target_z = 0;
        scene.roll = 13 * t;
        std::fill(target.begin(), target.end(), 0);
        ASSERT_EQ(sc_render(&scene), 0);
        drawn_frames += count(9) > 0;
    }
    EXPECT_GT(drawn_frames, 50);
}

TEST_F(Stage, ModeSetByAnEffectDoesNotFoolTheModeCache)
{
    FlatTexture red(3);
    sc_object* a = hand_triangle(cw, far_z, 4);
    a->tex_a = red.t;
    fl_reset();
    fl_add_object(a);
    fl_flush();
    EXPECT_EQ(rz_mode, 4u);
    // an effect draws flat polygons of its own between two frames of the scene
    rz_set_mode(1);
    std::fill(target.begin(), target.end(), 0);
    fl_flush();
    EXPECT_GT(count(3), 4000);
    obj_free(a);
    fl_reset();
}
