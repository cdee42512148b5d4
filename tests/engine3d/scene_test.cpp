// Scene list and object life (instances and borrow counts, radius, normals), the camera forms,
// the object transform and the projection.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine3d/m3_view.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "engine3d/sc_transform.h"
#include "tests/engine3d/eng_meshes.h"

namespace {

// Faces as given (the exporter's winding), vertex 0 at the origin, 1 on x, 2 on y.
sc_object* fan(const std::vector<int32_t>& faces)
{
    sc_object* o = obj_alloc(3, static_cast<int32_t>(faces.size() / 4), 0);
    const int32_t v[9] = {0, 0, 0, 100, 0, 0, 0, 100, 0};
    std::memcpy(o->vertices, v, sizeof v);
    std::copy(faces.begin(), faces.end(), o->faces);
    return o;
}

// A mesh and ten instances of it (half of them instances of instances) in one scene.
void mesh_and_ten_instances(bool check)
{
    sc_scene s;
    ASSERT_EQ(sc_init(&s), 0);
    sc_object *mesh = eng_make_cube(100, true), *from = mesh, *inst[10];
    ASSERT_EQ(sc_add_object(&s, mesh), 0);
    for (int i = 0; i < 10; i++)
        ASSERT_NE(inst[i] = from = sc_add_instance(&s, i < 5 ? mesh : from), nullptr);
    if (check) {
        for (sc_object* o : inst) {
            EXPECT_TRUE(o->vertices == mesh->vertices && o->faces == mesh->faces && o->normals == mesh->normals);
            EXPECT_TRUE(o->cam_vertices != mesh->cam_vertices && o->rot_normals != mesh->rot_normals);
        }
        EXPECT_EQ((std::vector{inst[0]->geom_borrow, inst[5]->geom_borrow, inst[9]->geom_borrow, inst[9]->normals_borrow, s.count}),
                  (std::vector{1, 2, 6, 6, 11}));
    }
    sc_free_objects(&s);
    if (check) {
        EXPECT_TRUE(s.count == 0 && sc_next(&s) == nullptr);
    }
    sc_release(&s);
}

}  // namespace

TEST(SceneList, NextWalksTheListAndStartsAgain)
{
    sc_scene s;
    ASSERT_EQ(sc_init(&s), 0);
    EXPECT_EQ(sc_next(&s), nullptr);
    sc_object *a = fan({0, 1, 2, -1}), *b = fan({0, 1, 2, -1});
    ASSERT_EQ(sc_add_object(&s, a) | sc_add_object(&s, b), 0);
    EXPECT_EQ((std::vector{sc_next(&s), sc_next(&s), sc_next(&s), sc_next(&s)}), (std::vector{a, b, (sc_object*)nullptr, a}));
    obj_free(a);  // listed: not freed; removal drops the reference and then it can be
    EXPECT_EQ(a->list_refs, 1);
    sc_remove_object(&s, a);
    EXPECT_EQ((std::vector{a->list_refs, s.count}), (std::vector{0, 1}));
    EXPECT_EQ(sc_next(&s), b);
    obj_free(a);
    EXPECT_EQ(sc_add_object(&s, nullptr), 1);
    sc_free_objects(&s);
    EXPECT_TRUE(s.count == 0 && sc_next(&s) == nullptr);
    sc_release(&s);
    EXPECT_EQ(sc_next(&s), nullptr);  // released: no list to walk
    EXPECT_EQ(sc_next(nullptr), nullptr);
}

TEST(SceneList, InstancesFreeEveryArrayOnceAndTheLastSceneTheDepthBuffer)
{
    // a double free aborts; a leak fails the sanitizer build's leak check, and in this build
    // shows as heap growth once the allocator's caches are steady
    mesh_and_ten_instances(true);
    for (int i = 0; i < 100; i++)
        mesh_and_ten_instances(false);
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 2000; i++)
        mesh_and_ten_instances(false);
    EXPECT_LT(mallinfo2().uordblks, before + 16384);

    ASSERT_EQ(sc_live_scenes, 0);
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    sc_scene a, b, never{};
    ASSERT_EQ(sc_init(&a) | sc_init(&b) | rz_zbuffer(1), 0);
    sc_release(&a);
    EXPECT_NE(rz_zbuf, nullptr);  // one scene still lives
    sc_release(&b);
    EXPECT_EQ(rz_zbuf, nullptr);
    sc_release(&a);  // a second release, or one of a scene never set up, counts nothing down
    sc_release(&never);
    EXPECT_EQ(sc_live_scenes, 0);
}

TEST(ObjectLife, FinishReversesWindingAndMeasuresRadius)
{
    sc_object* o = obj_alloc(4, 2, 0);
    const int32_t v[12] = {3, 4, 0, 0, 0, 0, 1, 1, 0, -2, 0, 0}, f[8] = {0, 1, 2, -1, 0, 1, 2, 3};
    std::memcpy(o->vertices, v, sizeof v);
    std::memcpy(o->faces, f, sizeof f);
    ASSERT_EQ(obj_finish(o), 0);
    EXPECT_EQ(std::vector<int32_t>(o->faces, o->faces + 8), (std::vector<int32_t>{2, 1, 0, -1, 2, 1, 0, 3}));
    EXPECT_EQ(o->radius, 6);  // 1 + sqrt(25)
    obj_free(o);
    // 1 + the exact integer root of the largest squared length, for any 32-bit coordinates,
    // saturating at INT32_MAX; these once wrapped and stalled the root's loop for seconds
    const int32_t radii[][4] = {
        {0, 0, 0, 1}, {-46341, 0, 0, 46342} /* x*x just above 2^31 */, {2100000000, 0, 0, 2100000001},
        {1518500249, 1518500248, 0, 2147483646} /* sum just below 2^62 */,
        {2100000000, 2100000000, 2100000000, INT32_MAX}, {INT32_MIN, INT32_MAX, 0, INT32_MAX},
        {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MAX}};
    for (const auto& r : radii) {
        sc_object* one = obj_alloc(1, 0, 0);
        std::memcpy(one->vertices, r, 3 * sizeof(int32_t));
        ASSERT_EQ(obj_finish(one), 0);
        EXPECT_EQ(one->radius, r[3]) << r[0] << " " << r[1] << " " << r[2];
        obj_free(one);
    }
    obj_free(obj_alloc(3, 30000, 1));  // 30000 faces are allowed, one more is not
    EXPECT_EQ(obj_alloc(3, 30001, 0), nullptr);
    EXPECT_EQ(obj_alloc(-1, 1, 0), nullptr);
}

TEST(ObjectLife, VertexNormalsAverageTheFirstFifteenFaces)
{
    // after reversal (2, 1, 0) faces +z, (0, 1, 2) -z: fifteen of the first kind outvote five
    std::vector<int32_t> faces;
    for (int i = 0; i < 20; i++)
        faces.insert(faces.end(), {i < 15 ? 2 : 0, 1, i < 15 ? 0 : 2, -1});
    sc_object* o = fan(faces);
    ASSERT_EQ(obj_finish(o), 0);
    EXPECT_EQ(std::vector<int32_t>(o->normals, o->normals + 9), (std::vector<int32_t>{0, 0, 30976, 0, 0, 30976, 0, 0, 30976}));
    obj_free(o);
    sc_object* bad = fan({2, 1, 0, -1, 0, 7, 1, -1, -5, 1, 2, 99});  // indices outside: no normal, never read
    ASSERT_EQ(obj_finish(bad), 0);
    EXPECT_EQ(bad->normals[3 * 2 + 2], 30976 / 2);
    // rotated normals already there are kept; an object with normals but none rotated gets them
    const int32_t* rot = bad->rot_normals;
    ASSERT_EQ(obj_make_normals(bad), 0);
    EXPECT_EQ(bad->rot_normals, rot);
    std::free(bad->rot_normals);
    bad->rot_normals = nullptr;
    ASSERT_EQ(obj_make_normals(bad), 0);
    ASSERT_NE(bad->rot_normals, nullptr);
    EXPECT_EQ(bad->normals[3 * 2 + 2], 30976 / 2);
    obj_free(bad);
}

TEST(ViewMaths, ProjectionMarksNearPointsAndSaturates)
{
    // 320x240, focal 256: 480 pixels per unit of x / d (y / d scaled by focal), centre (160, 120)
    const int32_t cases[][7] = {{100, 50, -200, 102400, 0, -200, 256}, {0, 0, -11, 40960, 30720, -11, 256},
                                {1, 1, -10, 40960 + 12288, 30720 - 12288, m3_near_mark, 256},
                                {0, 0, 100, 40960, 30720, m3_near_mark, 256}, {100, 100, -200, 102400, 0, -200, 128},
                                {INT32_MAX, INT32_MIN, -10, INT32_MAX, INT32_MAX, m3_near_mark, 256}};
    for (const auto& c : cases) {
        int32_t cam[3] = {c[0], c[1], c[2]}, scr[2];
        m3_project_points(1, cam, scr, 320, 240, c[6]);
        EXPECT_EQ((std::vector{scr[0], scr[1], cam[2]}), (std::vector{c[3], c[4], c[5]})) << c[0] << "," << c[1] << "," << c[2];
    }
}

TEST(ViewMaths, CameraFormsObjectTransformAndNormalRotation)
{
    sc_scene s;
    std::memset(&s, 0, sizeof s);
    s.target_z = 128, s.focal = 256;
    sc_set_camera(&s);  // look-at from the origin towards +z: world (1, 2, -3) is camera (1, -2, 3)
    int32_t p[3] = {1, 2, -3};
    m3_rotate_points(1, p, p);
    EXPECT_EQ(std::vector<int32_t>(p, p + 3), (std::vector<int32_t>{1, -2, 3}));
    s.cam_mode = 7, s.angle_x = 256;  // Euler camera: any mode but 0 and 2
    sc_set_camera(&s);
    p[0] = 0, p[1] = 1000, p[2] = 0;  // a quarter turn about x
    m3_rotate_points(1, p, p);
    EXPECT_EQ(std::vector<int32_t>(p, p + 3), (std::vector<int32_t>{0, 0, 1000}));
    // one vertex (50, 0, 0) turned a quarter about y onto the z axis, at world (0, 0, 1000)
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    s.cam_mode = 0, s.angle_x = 0;
    sc_object o;
    std::memset(&o, 0, sizeof o);
    int32_t v[3] = {50, 0, 0}, cam[3], scr[2];
    o.vertex_count = 1, o.vertices = v, o.cam_vertices = cam, o.scr_vertices = scr, o.pos_z = 1000, o.angle_y = 256;
    obj_rotate(&o);
    sc_transform_object(&s, &o);
    EXPECT_EQ((std::vector{cam[0], cam[1], std::abs(cam[2] + 1000), scr[0], scr[1]}), (std::vector{0, 0, 50, 40960, 30720}));
    // flat, gouraud, environment map and bump read rotated normals; texture alone does not
    sc_object* t = fan({0, 1, 2, -1});
    ASSERT_EQ(obj_finish(t), 0);
    for (uint32_t mode : {1u, 2u, 4u, 8u, 16u, 0u}) {
        t->mode = mode, t->angle_y = 256;  // takes the normal (0, 0, -n) onto the x axis
        std::memset(t->rot_normals, 0, 9 * sizeof(int32_t));
        obj_rotate(t);
        EXPECT_EQ(t->rot_normals[0] != 0, (mode & 27) != 0) << mode;
    }
    obj_free(t);
}
