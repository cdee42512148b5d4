// Render pipeline: culling, the face list, its keys and sort modes, the radix sorts and what
// the list hands to the rasteriser, drawn into real targets. (Whole scenes: the scenes' tests.)
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

const int32_t initial_sort_mode = fl_sort_mode;  // as the program starts, before any reset

// A live scene with a 320x240 8-bit target; the camera at the origin looks along +z.
struct Stage : ::testing::Test {
    sc_scene scene;
    std::vector<uint8_t> target = std::vector<uint8_t>(320 * 240, 0);
    tex_buffer tex[2] = {tex_alloc(8), tex_alloc(8)};  // every texel 3, every texel 5
    void SetUp() override
    {
        ASSERT_EQ(sc_init(&scene) | rz_set_screen(320, 240, 8), 0);
        rz_target = target.data();
        lt_set_range(0, 256), lt_set_light(900, 10000, -400);
        std::memset(tex[0], 3, tex_area_texels), std::memset(tex[1], 5, tex_area_texels);
    }
    void TearDown() override
    {
        sc_free_objects(&scene), sc_release(&scene), fl_reset();
        tex_free(tex[0]), tex_free(tex[1]);
        rz_target = nullptr;
    }
    int count(uint8_t v) const { return static_cast<int>(std::count(target.begin(), target.end(), v)); }
};

// Clockwise on the screen (y down): a front face.
const int32_t cw[3][2] = {{100, 50}, {200, 150}, {100, 150}}, ccw[3][2] = {{100, 50}, {100, 150}, {200, 150}};

// `faces` copies of one triangle with hand-set work arrays, as if transformed: screen corners
// (pixels) and camera z per corner.
sc_object* hand_triangle(const int32_t (*px)[2] = cw, std::vector<int32_t> z = {-1000, -1000, -1000}, uint32_t mode = 4,
                         int faces = 1)
{
    sc_object* o = obj_alloc(3, faces, 1);
    std::memset(o->vertices, 0, 9 * sizeof(int32_t)), std::memset(o->uv, 0, 6 * sizeof(int32_t));
    for (int f = 0; f < faces; f++)
        o->faces[4 * f] = 0, o->faces[4 * f + 1] = 1, o->faces[4 * f + 2] = 2, o->faces[4 * f + 3] = -1;
    for (int i = 0; i < 3; i++) {
        o->scr_vertices[2 * i] = px[i][0] * 256, o->scr_vertices[2 * i + 1] = px[i][1] * 256;
        o->cam_vertices[3 * i] = o->cam_vertices[3 * i + 1] = 0, o->cam_vertices[3 * i + 2] = z[i];
    }
    o->mode = mode, o->radius = 10;
    return o;
}

}  // namespace

TEST_F(Stage, CullKeepsTheViewPyramidWidenedBySphere)
{
    EXPECT_TRUE(sc_render(&scene) == 0 && count(0) == 320 * 240 && sc_render(nullptr) == 1);  // empty: nothing
    sc_object* cube = eng_make_cube(57, false);
    EXPECT_EQ(cube->radius, 99);  // 1 + trunc(sqrt(3 x 57^2) = 98.7)
    cube->radius = 100;
    ASSERT_EQ(sc_add_object(&scene, cube), 0);
    // camera space (x, -y, -z) of world (x, y, z); k = 23 x 100 >> 4 = 143
    const int32_t cases[][4] = {
        {509, 0, 1000, 1000}, {510, 0, 1000, sc_culled},   // 3 (509 - 143) = 1098 <= 1100; 1101
        {0, 418, 1000, 1000}, {0, -419, 1000, sc_culled},  // (418 - 143) x 4 = 1100; 1104
        {0, 0, -529, -529}};                               // behind: 3 (0 - 143) <= 100 - 529
    for (const auto& c : cases) {
        cube->pos_x = c[0], cube->pos_y = c[1], cube->pos_z = c[2];
        fl_count = 5;
        ASSERT_EQ(sc_cull(&scene), 0);
        EXPECT_EQ((std::vector{cube->depth, fl_count}), (std::vector{c[3], 0})) << c[0] << "," << c[1] << "," << c[2];
    }
}

TEST_F(Stage, FaceListTakesSafeFacesInFrontAndSwitchesSortMode)
{
    // the list starts with frame keys, (-zs) >> 2; a lone object drawn by fl_draw_object gets
    // object-relative keys, (3 x (radius - depth) - zs) >> 5, and leaves that mode on
    sc_object* o = hand_triangle();
    fl_count = 0;
    fl_sort_mode = initial_sort_mode;
    fl_add_object(o);
    EXPECT_EQ(fl_keys[0], 750u);
    fl_draw_object(o);
    EXPECT_TRUE(fl_sort_mode == 1 && fl_keys[0] == (30u + 3000u) >> 5);
    fl_add_object(o);
    EXPECT_EQ(fl_keys[1], 94u);
    fl_reset(), obj_free(o);
    EXPECT_EQ(fl_sort_mode, 0);
    const int32_t n = m3_near_mark;
    const struct { const int32_t (*px)[2]; std::vector<int32_t> z; uint32_t mode; int added; } cases[] = {
        {cw, {-1000, -1000, -1000}, 4, 1}, {cw, {0, 0, 0}, 4, 0},  // sum 0: not in front
        {cw, {n, -16777216, -16777216}, 4, 0},                    // a near point: the sum is 0
        {ccw, {-1000, -1000, -1000}, 4, 0},                       // back face, one-sided
        {ccw, {-1000, -1000, -1000}, 4 | 128, 1}};                // double-sided: face number complemented
    for (const auto& c : cases) {
        sc_object* t = hand_triangle(c.px, c.z, c.mode);
        EXPECT_EQ((fl_reset(), fl_add_object(t)), c.added) << &c - cases;
        if (c.added) {
            EXPECT_TRUE(fl_faces[0] == (c.mode & 128 ? ~0 : 0) && fl_keys[0] == 750 && fl_objects[0] == t);
        }
        obj_free(t);
    }
    sc_object* t = hand_triangle();  // what the rasteriser cannot draw safely is refused:
    fl_reset();
    const int32_t bad[][3] = {{1, 3, 1}, {3, 3, -1}, {-1, 1 << 22, 100 * 256}};  // no such vertex, no fourth corner,
    for (const auto& b : bad) {                                                  // 16384 pixels (beyond the steps)
        (b[0] < 0 ? t->scr_vertices[0] : t->faces[b[0]]) = b[1];
        EXPECT_EQ(fl_add_object(t), 0);
        (b[0] < 0 ? t->scr_vertices[0] : t->faces[b[0]]) = b[2];
    }
    EXPECT_EQ(fl_add_object(t), 1);
    obj_free(t);
    sc_object* ten = hand_triangle(cw, {-1000, -1000, -1000}, 4, 10);  // room for 30000 faces
    fl_reset();
    fl_count = 29999;
    EXPECT_TRUE(fl_add_object(ten) == 30000 && fl_faces[29999] == 0 && fl_add_object(ten) == 30000);
    obj_free(ten);
}

TEST_F(Stage, EqualKeysDrawInReverseAndTheModeCacheFollowsEffects)
{
    sc_object *a = hand_triangle(), *b = hand_triangle();
    a->tex_a = tex[0], b->tex_a = tex[1];
    for (int order = 0; order < 2; order++) {  // the face added later is drawn first: the earlier ends on top
        fl_reset();
        fl_add_object(order ? b : a), fl_add_object(order ? a : b);
        fl_flush();
        EXPECT_TRUE(count(order ? 5 : 3) > 4000 && count(order ? 3 : 5) == 0) << order;
    }
    EXPECT_EQ(rz_mode, 4u);
    rz_set_mode(1);  // an effect draws flat polygons of its own between two frames
    std::fill(target.begin(), target.end(), 0);
    fl_flush();
    EXPECT_GT(count(5), 4000);
    obj_free(a), obj_free(b);
}

TEST(RadixSort, EqualsAStableSortOnTheLowBits)
{
    const auto stable = [](const std::vector<uint32_t>& keys, uint32_t mask) {  // pairs (key, index)
        std::vector<uint32_t> idx(keys.size()), pairs;
        for (size_t i = 0; i < idx.size(); i++)
            idx[i] = static_cast<uint32_t>(i);
        std::stable_sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) { return (keys[a] & mask) < (keys[b] & mask); });
        for (uint32_t i : idx)
            pairs.insert(pairs.end(), {keys[i], i});
        return pairs;
    };
    std::mt19937 rng(1234);
    for (const int n : {0, 1, 7, 1000, 30000}) {
        std::vector<uint32_t> keys(n), work(4 * static_cast<size_t>(n) + 4), dst(2 * static_cast<size_t>(n) + 2);
        for (auto& k : keys)
            k = rng() & (n > 100 ? 0xffffffffu : 0x03000003u);  // small sets: many ties
        // refused pass counts first: what they counted must not reach the next sort
        EXPECT_TRUE(!rs_sort_pairs(n, keys.data(), work.data(), 0) && !rs_sort_pairs(n, keys.data(), work.data(), 5));
        for (int passes = 1; passes <= 4; passes++) {
            const uint32_t* got = rs_sort_pairs(n, keys.data(), work.data(), passes);
            ASSERT_EQ(got, work.data() + (passes % 2 ? 2 * n : 0));
            EXPECT_EQ(std::vector<uint32_t>(got, got + 2 * n), stable(keys, 0xffffffffu >> (32 - 8 * passes))) << n << " " << passes;
        }
        rs_sort10(n, keys.data(), dst.data());
        EXPECT_EQ(std::vector<uint32_t>(dst.begin(), dst.begin() + 2 * n), stable(keys, 1023)) << n;
    }
}
