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
        {0, 0, 1000, 1000},
        {1000, 0, 1000, sc_culled},   // 3 (1000 - 143) > 1100
        {509, 0, 1000, 1000},         // 3 (509 - 143) = 1098 <= 1100
        {510, 0, 1000, sc_culled},    // 1101
        {0, 418, 1000, 1000},         // (418 - 143) x 4 = 1100
        {0, -419, 1000, sc_culled},   // 1104
        {0, 0, -529, -529},           // behind: 3 (0 - 143) <= 100 - 529, k widens the apex
        {0, 0, -530, sc_culled},
    };
    for (const Case& c : cases) {
        cube->pos_x = c.x, cube->pos_y = c.y, cube->pos_z = c.z;
        fl_count = 5;
        ASSERT_EQ(sc_cull(&scene), 0);
        EXPECT_EQ(cube->depth, c.depth) << c.x << "," << c.y << "," << c.z;
        EXPECT_EQ(fl_count, 0);
    }
    // The camera moves with the scene words; focal 128 narrows the vertical test to slope 1/2.
    scene.cam_x = 1000;
    scene.target_x = 1000;
    cube->pos_x = 1000, cube->pos_y = 0, cube->pos_z = 1000;
    ASSERT_EQ(sc_cull(&scene), 0);
    EXPECT_EQ(cube->depth, 1000);
    scene.focal = 128;
    cube->pos_y = 690;  // (690 - 143) x 2 = 1094 <= 1100
    ASSERT_EQ(sc_cull(&scene), 0);
    EXPECT_EQ(cube->depth, 1000);
}

TEST_F(Stage, CubeStraightAheadShowsItsNearSide)
{
    FlatTexture tex(9);
    sc_object* cube = eng_make_cube(100, true);
    ASSERT_EQ(sc_add_object(&scene, cube), 0);
    cube->pos_z = 1000;
    cube->mode = 4;
    cube->tex_a = tex.t;
    ASSERT_EQ(sc_render(&scene), 0);
    ASSERT_EQ(fl_count, 2);
    // The near side spans 1.5 x 320 x 100 / 900 = 53.3 pixels each way of the centre.
    EXPECT_EQ(target[120 * 320 + 160], 9);
    EXPECT_EQ(target[120 * 320 + 160 + 52], 9);
    EXPECT_EQ(target[120 * 320 + 160 + 55], 0);
    EXPECT_EQ(target[(120 - 52) * 320 + 160], 9);
    EXPECT_EQ(target[(120 - 55) * 320 + 160], 0);
    // The faces' keys are (-zs) >> 2 of the near side at camera z -900.
    EXPECT_EQ(fl_keys[0], 2700u >> 2);
    EXPECT_EQ(fl_objects[0], cube);
}
