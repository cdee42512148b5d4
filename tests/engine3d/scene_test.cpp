// Scene list and object life: iteration, instances and borrow counts, closing, normals,
// packed meshes and centring.
#include <gtest/gtest.h>

#include <malloc.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/eng_meshes.h"

static sc_object* make_triangle()
{
    sc_object* o = obj_alloc(3, 1, 0);
    const int32_t v[9] = {0, 0, 0, 100, 0, 0, 0, 100, 0};
    std::memcpy(o->vertices, v, sizeof v);
    const int32_t f[4] = {0, 1, 2, -1};
    std::memcpy(o->faces, f, sizeof f);
    return o;
}

TEST(SceneList, NextWalksTheListAndStartsAgain)
{
    sc_scene s;
    ASSERT_EQ(sc_init(&s), 0);
    EXPECT_EQ(sc_next(&s), nullptr);
    sc_object* a = make_triangle();
    sc_object* b = make_triangle();
    ASSERT_EQ(sc_add_object(&s, a), 0);
    ASSERT_EQ(sc_add_object(&s, b), 0);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(sc_next(&s), a);
    EXPECT_EQ(sc_next(&s), b);
    EXPECT_EQ(sc_next(&s), nullptr);
    EXPECT_EQ(sc_next(&s), a);

    // A listed object is not freed; removal drops the reference and then it can be.
    EXPECT_EQ(a->list_refs, 1);
    obj_free(a);
    EXPECT_EQ(a->list_refs, 1);
    sc_remove_object(&s, a);
    EXPECT_EQ(a->list_refs, 0);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(sc_next(&s), b);
    obj_free(a);

    EXPECT_EQ(sc_add_object(&s, nullptr), 1);
    sc_free_objects(&s);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(sc_next(&s), nullptr);
    sc_release(&s);
    EXPECT_EQ(sc_next(&s), nullptr);  // released: no list to walk
    EXPECT_EQ(sc_next(nullptr), nullptr);
}

// A mesh and ten instances of it (half of them instances of instances) in one scene.
static void mesh_and_ten_instances(bool check)
{
    sc_scene s;
    ASSERT_EQ(sc_init(&s), 0);
    sc_object* mesh = eng_make_cube(100, true);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(sc_add_object(&s, mesh), 0);
    sc_object* from = mesh;
    sc_object* inst[10];
    for (int i = 0; i < 10; i++) {
        sc_object* o = sc_add_instance(&s, i < 5 ? mesh : from);
        ASSERT_NE(o, nullptr);
        inst[i] = o;
        from = o;
    }
    if (check) {
        for (sc_object* o : inst) {
            EXPECT_TRUE(o->vertices == mesh->vertices && o->faces == mesh->faces && o->normals == mesh->normals);
            EXPECT_TRUE(o->cam_vertices != mesh->cam_vertices && o->rot_normals != mesh->rot_normals);
        }
        EXPECT_EQ(inst[0]->geom_borrow, 1);
        EXPECT_EQ(inst[5]->geom_borrow, 2);  // an instance of an instance
        EXPECT_EQ(inst[9]->geom_borrow, 6);
        EXPECT_EQ(inst[9]->normals_borrow, 6);
        EXPECT_EQ(s.count, 11);
    }
    sc_free_objects(&s);
    if (check) {
        EXPECT_EQ(s.count, 0);
        EXPECT_EQ(sc_next(&s), nullptr);
    }
    sc_release(&s);
}

TEST(SceneList, MeshAndTenInstancesFreeEveryArrayOnce)
{
    // A double free aborts and a leak fails the sanitizer build's leak check. In the normal
    // build a leak shows as heap growth: after a warm-up the allocator's caches are steady, and
    // 2000 more scenes must not hold on to even one array each (32 bytes or more).
    mesh_and_ten_instances(true);
    for (int i = 0; i < 100; i++)
        mesh_and_ten_instances(false);
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 2000; i++)
        mesh_and_ten_instances(false);
    EXPECT_LT(mallinfo2().uordblks, before + 16384);
}

TEST(SceneList, ReleaseOfLastSceneFreesTheDepthBuffer)
{
    ASSERT_EQ(sc_live_scenes, 0);
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    sc_scene a, b;
    ASSERT_EQ(sc_init(&a), 0);
    ASSERT_EQ(sc_init(&b), 0);
    ASSERT_EQ(rz_zbuffer(1), 0);
    sc_release(&a);
    EXPECT_NE(rz_zbuf, nullptr);  // one scene still lives
    sc_release(&b);
    EXPECT_EQ(rz_zbuf, nullptr);
    EXPECT_EQ(sc_live_scenes, 0);
    ASSERT_EQ(sc_init(&a), 0);
    EXPECT_EQ(rz_zbuf, nullptr);
    sc_release(&a);
    // a second release, or one of a scene never set up, does not count a scene down again
    sc_release(&a);
    sc_scene never{};
    sc_release(&never);
    EXPECT_EQ(sc_live_scenes, 0);
}

TEST(ObjectLife, FinishReversesWindingAndMeasuresRadius)
{
    sc_object* o = obj_alloc(4, 2, 0);
    ASSERT_NE(o, nullptr);
    const int32_t v[12] = {3, 4, 0, 0, 0, 0, 1, 1, 0, -2, 0, 0};
    std::memcpy(o->vertices, v, sizeof v);
    const int32_t f[8] = {0, 1, 2, -1, 0, 1, 2, 3};
    std::memcpy(o->faces, f, sizeof f);
    ASSERT_EQ(obj_finish(o), 0);
    const int32_t want[8] = {2, 1, 0, -1, 2, 1, 0, 3};
    EXPECT_EQ(std::memcmp(o->faces, want, sizeof want), 0);
    EXPECT_EQ(o->radius, 6);  // 1 + sqrt(25)
    obj_free(o);

    // 1 + the exact integer root of the largest squared length, for any 32-bit coordinates,
    // saturating at INT32_MAX; these once wrapped and stalled the root's loop for seconds
    const struct {
        int32_t x, y, z, radius;
    } radii[] = {
        {0, 0, 0, 1},
        {-46341, 0, 0, 46342},                      // x*x just above 2^31
        {2100000000, 0, 0, 2100000001},
        {1518500249, 1518500248, 0, 2147483646},    // sum just below 2^62
        {2100000000, 2100000000, 2100000000, INT32_MAX},  // a 3DS vertex near 2.1e8, x 10
        {INT32_MIN, INT32_MAX, 0, INT32_MAX},       // sum 2^63 - 2^32 + 1
        {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MAX},  // 3 x 2^62
    };
    for (const auto& r : radii) {
        sc_object* one = obj_alloc(1, 0, 0);
        one->vertices[0] = r.x, one->vertices[1] = r.y, one->vertices[2] = r.z;
        ASSERT_EQ(obj_finish(one), 0);
        EXPECT_EQ(one->radius, r.radius) << r.x << " " << r.y << " " << r.z;
        obj_free(one);
    }

    // 30000 faces are allowed, one more is not; negative counts are refused.
    sc_object* big = obj_alloc(3, 30000, 1);
    EXPECT_NE(big, nullptr);
    obj_free(big);
    EXPECT_EQ(obj_alloc(3, 30001, 0), nullptr);
    EXPECT_EQ(obj_alloc(-1, 1, 0), nullptr);
}

// A vertex fan: vertex 0 at the origin, 1 on x, 2 on y; faces listed in the exporter's winding.
static sc_object* make_fan(const std::vector<std::array<int32_t, 4>>& faces, int32_t extra)
{
    sc_object* o = obj_alloc(3 + extra, static_cast<int32_t>(faces.size()), 0);
    std::memset(o->vertices, 0, sizeof(int32_t) * 3 * (3 + extra));
    o->vertices[3] = 100;
    o->vertices[7] = 100;
    for (int32_t e = 0; e < extra; e++)
        o->vertices[3 * (3 + e)] = 200 + 100 * e;  // on the x axis: collinear with 0 and 1
    for (size_t i = 0; i < faces.size(); i++)
        std::memcpy(o->faces + 4 * i, faces[i].data(), 4 * sizeof(int32_t));
    return o;
}

TEST(ObjectLife, NormalsWithoutRotatedNormalsGetThemBack)
{
    sc_object* o = make_triangle();
    ASSERT_EQ(obj_finish(o), 0);
    // rotated normals already there are kept, not made again
    const int32_t* rot = o->rot_normals;
    ASSERT_EQ(obj_make_normals(o), 0);
    EXPECT_EQ(o->rot_normals, rot);
    // an object with normals but no rotated normals gets them
    std::free(o->rot_normals);
    o->rot_normals = nullptr;
    ASSERT_EQ(obj_make_normals(o), 0);
    ASSERT_NE(o->rot_normals, nullptr);
    ASSERT_NE(o->normals, nullptr);
    EXPECT_EQ(o->normals[2], -30976);
    obj_free(o);
}

TEST(ObjectLife, VertexNormalsAverageTheFirstFifteenFaces)
{
    // After reversal (2, 1, 0) becomes (0, 1, 2): normal +z; (0, 1, 2) becomes -z.
    std::vector<std::array<int32_t, 4>> faces(15, {2, 1, 0, -1});
    for (int i = 0; i < 5; i++)
        faces.push_back({0, 1, 2, -1});
    sc_object* o = make_fan(faces, 0);
    ASSERT_EQ(obj_finish(o), 0);
    for (int v = 0; v < 3; v++) {
        EXPECT_EQ(o->normals[3 * v], 0);
        EXPECT_EQ(o->normals[3 * v + 1], 0);
        EXPECT_EQ(o->normals[3 * v + 2], 30976) << "vertex " << v;
    }
    obj_free(o);

    // Indices outside the vertex array give no normal and are never read.
    sc_object* bad = make_fan({{2, 1, 0, -1}, {0, 7, 1, -1}, {-5, 1, 2, 99}}, 0);
    ASSERT_EQ(obj_finish(bad), 0);
    EXPECT_EQ(bad->normals[3 * 2 + 2], 30976 / 2);
    obj_free(bad);
}

static void put16(std::vector<uint8_t>& b, int v)
{
    b.push_back(static_cast<uint8_t>(v & 255));
    b.push_back(static_cast<uint8_t>((v >> 8) & 255));
}

TEST(ObjectLife, PackedMeshBuildsAFinishedObject)
{
    std::vector<uint8_t> img;
    put16(img, 3);
    put16(img, 1);
    for (int v : {-1, 2, -32768, 100, 0, 0, 0, 100, 0})
        put16(img, v);
    for (int v : {0, 1, 2})
        put16(img, v);
    for (int v : {0, 255, 1, 2, 128, 64})
        img.push_back(static_cast<uint8_t>(v));
    ASSERT_EQ(obj_packed_size(img.data(), 1), static_cast<int64_t>(img.size()));
    sc_object* o = obj_from_packed(img.data(), static_cast<int64_t>(img.size()), nullptr, 1);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->vertices[0], -1);
    EXPECT_EQ(o->vertices[2], -32768);
    const int32_t want_faces[4] = {2, 1, 0, -1};
    EXPECT_EQ(std::memcmp(o->faces, want_faces, sizeof want_faces), 0);
    const int32_t want_uv[6] = {0, 255 * 256, 256, 512, 128 * 256, 64 * 256};
    EXPECT_EQ(std::memcmp(o->uv, want_uv, sizeof want_uv), 0);
    obj_free(o);

    // Too short for its counts, too many faces, or a given object without room: refused.
    EXPECT_EQ(obj_from_packed(img.data(), static_cast<int64_t>(img.size()) - 1, nullptr, 1), nullptr);
    EXPECT_EQ(obj_from_packed(img.data(), 3, nullptr, 0), nullptr);
    std::vector<uint8_t> many;
    put16(many, 0);
    put16(many, 30001);
    many.resize(4 + 6 * 30001);
    EXPECT_EQ(obj_from_packed(many.data(), static_cast<int64_t>(many.size()), nullptr, 0), nullptr);
    sc_object* small = obj_alloc(2, 1, 0);
    EXPECT_EQ(obj_from_packed(img.data(), static_cast<int64_t>(img.size()), small, 0), nullptr);
    obj_free(small);
}
