// Scene list and object life (instances and borrow counts, radius, normals), the camera forms,
// the object transform and the projection, lighting, texture areas, palette shade tables, the
// spline and the keyframed camera.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine3d/fp_tables.h"
#include "engine3d/kf.h"
#include "engine3d/lt_light.h"
#include "engine3d/m3_view.h"
#include "engine3d/pal_shade.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "engine3d/sc_transform.h"
#include "engine3d/sp.h"
#include "engine3d/tex_buffer.h"
#include "tests/engine3d/eng_meshes.h"

namespace {

// Faces as given (the exporter's winding), vertex 0 at the origin, 1 on x, 2 on y.
sc_object* fan(const std::vector<int32_t>& faces)
{
    sc_object* o = obj_alloc(3, static_cast<int32_t>(faces.size() / 4), 0);
    const int32_t v[9] = {0, 0, 0, 100, 0, 0, 0, 100, 0};
    std::memcpy(o->vertices, v, sizeof v), std::copy(faces.begin(), faces.end(), o->faces);
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
        for (sc_object* o : inst)  // the geometry shared, the work arrays their own
            EXPECT_TRUE(o->vertices == mesh->vertices && o->faces == mesh->faces && o->normals == mesh->normals &&
                        o->cam_vertices != mesh->cam_vertices && o->rot_normals != mesh->rot_normals);
        EXPECT_EQ((std::vector{inst[0]->geom_borrow, inst[5]->geom_borrow, inst[9]->geom_borrow, inst[9]->normals_borrow, s.count}),
                  (std::vector{1, 2, 6, 6, 11}));
    }
    sc_free_objects(&s);
    EXPECT_TRUE(s.count == 0 && sc_next(&s) == nullptr);
    sc_release(&s);
}

}  // namespace

TEST(SceneList, WalksInstancesBorrowArraysFreedOnceAndTheLastSceneFreesTheDepthBuffer)
{
    sc_scene s;
    ASSERT_TRUE(sc_init(&s) == 0 && sc_next(&s) == nullptr);
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
    // a double free aborts; a leak fails the sanitizer build's leak check, and in this build
    // shows as heap growth once the allocator's caches are steady
    size_t before = 0;
    for (int i = 0; i < 2100; i++, before = i == 100 ? mallinfo2().uordblks : before)
        mesh_and_ten_instances(i == 0);
    EXPECT_LT(mallinfo2().uordblks, before + 16384);

    ASSERT_EQ(sc_live_scenes, 0);
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    sc_scene s1, s2, never{};
    ASSERT_EQ(sc_init(&s1) | sc_init(&s2) | rz_zbuffer(1), 0);
    sc_release(&s1);
    EXPECT_NE(rz_zbuf, nullptr);  // one scene still lives
    sc_release(&s2);
    EXPECT_EQ(rz_zbuf, nullptr);
    sc_release(&s1), sc_release(&never);  // a second release, or of a scene never set up, counts nothing down
    EXPECT_EQ(sc_live_scenes, 0);
}

TEST(ObjectLife, FinishReversesWindingMeasuresRadiusAndAveragesFifteenFacesPerNormal)
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
    EXPECT_TRUE(obj_alloc(3, 30001, 0) == nullptr && obj_alloc(-1, 1, 0) == nullptr);  // nor negative counts
    // after reversal (2, 1, 0) faces +z, (0, 1, 2) -z: fifteen of the first kind outvote five
    std::vector<int32_t> faces;
    for (int i = 0; i < 20; i++)
        faces.insert(faces.end(), {i < 15 ? 2 : 0, 1, i < 15 ? 0 : 2, -1});
    o = fan(faces);
    ASSERT_EQ(obj_finish(o), 0);
    EXPECT_EQ(std::vector<int32_t>(o->normals, o->normals + 9), (std::vector<int32_t>{0, 0, 30976, 0, 0, 30976, 0, 0, 30976}));
    obj_free(o);
    sc_object* bad = fan({2, 1, 0, -1, 0, 7, 1, -1, -5, 1, 2, 99});  // indices outside: no normal, never read
    ASSERT_EQ(obj_finish(bad), 0);
    EXPECT_EQ(bad->normals[3 * 2 + 2], 30976 / 2);
    // rotated normals already there are kept; an object with normals but none rotated gets them
    const int32_t* rot = bad->rot_normals;
    ASSERT_TRUE(obj_make_normals(bad) == 0 && bad->rot_normals == rot);
    std::free(bad->rot_normals);
    bad->rot_normals = nullptr;
    ASSERT_TRUE(obj_make_normals(bad) == 0 && bad->rot_normals && bad->normals[3 * 2 + 2] == 30976 / 2);
    obj_free(bad);
}

TEST(ViewMaths, CameraFormsObjectTransformAndNormalRotation)
{
    sc_scene s;  // looking from the origin towards +z: one vertex (50, 0, 0) turned a quarter about y
    std::memset(&s, 0, sizeof s);  // onto the z axis, at world (0, 0, 1000), lies 1000 ahead
    s.target_z = 128, s.focal = 256;
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    sc_set_camera(&s);
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

TEST(Light, ShadesStayInsideTheRange)
{
    lt_set_range(0, 256);
    EXPECT_EQ(std::vector<int32_t>(lt_range, lt_range + 3), (std::vector<int32_t>{0, 65280, 65536}));
    lt_set_light(0, 10000, 0);  // straight above the origin: l = object - light = (0, -10000, 0)
    const auto shade = [](int32_t ny, int32_t nz, uint32_t mode, int32_t slot = 0, int32_t py = 0) {
        int32_t faces[4] = {0, 1, 2, -1}, rot[9] = {0, ny, nz, 0, ny, nz, 0, ny, nz};
        sc_object o{};
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
    // an object exactly at the light, slots outside the faces: the first; negative arguments leave the range
    lt_set_range(10, 20), lt_set_range(-1, 5), lt_set_range(5, -1);
    EXPECT_EQ((std::vector{shade(-30976, 0, 1, 0, 10000), shade(-30976, 0, 1, 2), shade(-30976, 0, 1, -1), lt_range[2]}),
              (std::vector{2560, 2560, 2560, 20 * 256}));
    lt_set_light(900, 10000, -400), lt_set_range(0, 256);
}

TEST(TextureArea, AlignedSpareRowsAndPlanarPicturesWithoutLeaks)
{
    for (const int bits : {8, 24, 32}) {
        tex_buffer t = tex_alloc(bits);
        ASSERT_TRUE(t && reinterpret_cast<uintptr_t>(t) % 1024 == 0);
        tex_free(static_cast<tex_buffer>(std::memset(t, 0xa5, size_t((bits + 7) / 8) * tex_area_texels)));  // all 272 rows
    }
    tex_free(nullptr);
    EXPECT_TRUE(tex_alloc(0) == nullptr && tex_alloc(64) == nullptr);
    // ILBM, 16 x 2, one plane, ByteRun1 rows of two literal bytes; palette 0 black, 1 (9, 8, 7)
    const uint8_t ilbm[] = {'F', 'O', 'R', 'M', 0, 0, 0, 60, 'I', 'L', 'B', 'M', 'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, 16,
                            0, 2, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 16, 0, 2, 'C', 'M', 'A', 'P', 0, 0, 0, 6, 0, 0,
                            0, 9, 8, 7, 'B', 'O', 'D', 'Y', 0, 0, 0, 6, 1, 0xF0, 0x0F, 1, 0x00, 0xFF};
    uint8_t palette[768] = {};
    tex_buffer t = tex_from_picture_n(ilbm, sizeof ilbm, palette);
    ASSERT_TRUE(t && palette[3] == 9);
    // texel (x, y) is pixel (x x 16 >> 8, y x 2 >> 8); the spare rows are clear
    EXPECT_EQ((std::vector<int>{t[0], t[63], t[64], t[127 * 256 + 255], t[128 * 256], t[255 * 256 + 127], t[255 * 256 + 128], t[256 * 256]}),
              (std::vector<int>{1, 1, 0, 1, 0, 0, 1, 0}));
    tex_free(t);
    EXPECT_EQ(tex_from_picture_n(ilbm, sizeof ilbm - 1, palette), nullptr);  // the body ends early
    size_t before = 0;  // every buffer of the conversion goes back: after a warm-up the heap stays
    for (int i = 0; i < 2050; i++, before = i == 50 ? mallinfo2().uordblks : before)
        tex_free(tex_from_picture_n(ilbm, sizeof ilbm, palette));
    EXPECT_LT(mallinfo2().uordblks, before + 16384);
}

TEST(FixedPointTables, SquareRootsPowersAndCosines)
{
    fp_sqrt_table_init();
    for (int k = 0; k < 64; k++) EXPECT_EQ(fp_sqrt_table[k * k], k * 256) << k;  // each run starts at k x k
    EXPECT_EQ(fp_sqrt_table[2], 256 + ((1 * (65536 / 3)) >> 8));
    EXPECT_EQ(fp_sqrt_table[4095], 63 * 256 + ((126 * (65536 / 127)) >> 8));
    int32_t shift = 0;
    EXPECT_EQ(fp_sqrt_lookup(4096 * 64, &shift), 8 * 256);  // 262144 -> 4096 -> 64
    EXPECT_EQ(shift, 6);
    shift = 0;
    EXPECT_EQ(fp_sqrt_lookup(262143, &shift), fp_sqrt_table[4095]);  // 262143 >> 6 = 4095
    EXPECT_EQ(shift, 3);
    EXPECT_EQ(fp_pow(4096, 5), 16384);
    EXPECT_EQ(fp_pow(2048, 2), 4096);
    EXPECT_EQ(fp_pow(12345, 0), 16384);
    fp_cos_table_init();
    EXPECT_EQ(fp_cos_table[256], 32767);  // cos 0
    for (int i = 0; i < 512; i++) {
        EXPECT_EQ(fp_cos_table[512 + i], -fp_cos_table[i]) << i;
        if (i <= 256) {
            EXPECT_EQ(fp_cos_table[1024 + i], fp_cos_table[i]) << i;
        }
    }
    EXPECT_NEAR(fp_cos_table[256 + 64], 32767 * std::cos(64 * 25 / 4096.0), 40);
}

TEST(ShadePalette, RampAndBlend)
{
    std::vector<uint8_t> base(768), ramp(768, 128), out(768, 0xee);
    for (int c = 0; c < 16; c++)
        base[3 * c] = 200, base[3 * c + 1] = 100;
    std::memset(&ramp[0], 0, 3), std::memset(&ramp[12], 255, 3);  // ramp colours 0, 4, 8...: black, white, grey 128...
    pal_shade_ramp(base.data(), ramp.data(), out.data(), 16, 4);  // colour 5 at levels 0, 1, 2
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xee), 0);
    EXPECT_EQ((std::vector<int>{out[15], out[16], out[17], out[63], out[64], out[65], out[111]}), (std::vector<int>{99, 49, 0, 199, 99, 0, (383 * 200) >> 9}));
    const std::vector<uint8_t> kept = out;  // a blend at 0 % or 100 % does nothing; 25 % mixes a quarter in
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 0), pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 100);
    EXPECT_EQ(out, kept);
    pal_blend(base.data(), ramp.data(), out.data(), 16, 4, 25);
    EXPECT_EQ((std::vector<int>{out[3 * 21], out[3 * 5 + 1]}), (std::vector<int>{(200 * 75 + 255 * 25) / 100, 75}));
    std::vector<uint8_t> small(768, 0xee);  // beyond 16 levels, steps past the ramp: nothing outside
    pal_shade_ramp(base.data(), ramp.data(), small.data(), 128, 200);
    EXPECT_EQ(small[3 * 255], 0xee);

}

namespace {

struct Path {
    std::vector<int32_t> pos, roll, target;
    kf_camera_path p{};
    Path(int32_t start, int32_t end, std::vector<int32_t> pk, std::vector<int32_t> rk, std::vector<int32_t> tk)
        : pos(pk), roll(rk), target(tk), p{start, end, int32_t(pk.size() / 4), pos.data(), int32_t(rk.size() / 2), roll.data(), int32_t(tk.size() / 4), target.data()} {}
};

// Five keys on frames 0, 10, 20, 30, 40; roll one key per 10 frames; a one-key target.
Path sample()
{
    return Path(0, 40, {0, 100, -200, 300, 10, 110, -190, 310, 20, 150, -100, 0, 30, 150, -100, 0, 40, -7, 8, 9},
                {0, 0, 10, 256, 20, 512, 30, 0, 40, -1000}, {5, 1, 2, 3});
}

// The result, then camera x, y, z, roll, target x, y, z (0x11111111 where untouched).
std::vector<int32_t> eval(const kf_camera_path& p, double t)
{
    sc_scene s;
    memset(&s, 0x11, sizeof s);
    const int r = kf_camera_eval(&s, &p, t);
    return {r, s.cam_x, s.cam_y, s.cam_z, s.roll, s.target_x, s.target_y, s.target_z};
}

const int32_t u = 0x11111111;

}  // namespace

TEST(KfCamera, CatmullRomRoundedToFloatRangeChecksKeysBetweenAndPastThem)
{
    const float cases[][6] = {{0, 10, 20, 40, 0, 10}, {0, 10, 20, 40, 1, 20},  // through P1 and P2
                              {0, 10, 20, 40, 0.25f, 12.265625f}, {0, 10, 20, 40, 2, 50},  // beyond P2 it extrapolates
                              // P1 = 2^23 + 1: a = 1.5 P1 and b = -2.5 P1 round in float, so s = 1 gives 1, not P2 = 0
                              {0, 8388609.0f, 0, 0, 1, 1}};
    for (const auto& c : cases) {
        float out = -1;
        sp_tcb_segment(&c[0], &c[1], &c[2], &c[3], &out, c[4], 1);
        EXPECT_EQ(out, c[5]) << &c - cases;
    }
    Path a = sample();
    const std::vector<int32_t> refused = {1, u, u, u, u, u, u, u};  // the scene left alone
    for (double t : {-0.1, 100.5, static_cast<double>(NAN)})
        EXPECT_EQ(eval(a.p, t), refused) << t;
    Path empty = sample();
    empty.p.end_frame = empty.p.start_frame;
    EXPECT_EQ(eval(empty.p, 50), refused);
    for (int track = 0; track < 3; track++) {  // a track without keys is refused rather than read
        Path b = sample(), c = sample();
        (track == 0 ? b.p.pos_count : track == 1 ? b.p.roll_count : b.p.target_count) = 0;
        (track == 0 ? c.p.pos_keys : track == 1 ? c.p.roll_keys : c.p.target_keys) = nullptr;
        EXPECT_TRUE(eval(b.p, 50) == refused && eval(c.p, 50) == refused) << track;
    }
    EXPECT_EQ(kf_camera_eval(nullptr, &a.p, 5), 1);
    Path wide = sample();  // frames far apart do not overflow the segment's length
    wide.p.start_frame = INT32_MIN, wide.p.end_frame = INT32_MAX;
    EXPECT_EQ(eval(wide.p, 50), (std::vector<int32_t>{0, 100, -200, 300, 0, 1, 2, 3}));  // frame -0.5: the first key
    Path early = sample();  // key frames give the keys (also against lib3ds's files)
    EXPECT_EQ(eval(a.p, 0), (std::vector<int32_t>{0, 100, -200, 300, 0, 1, 2, 3}));  // s = 0 with P1 = P2 = k0
    EXPECT_EQ(eval(a.p, 100), (std::vector<int32_t>{0, -7, 8, 9, -1000, 1, 2, 3}));  // t = 100 is end_frame
    early.p.start_frame = -20;  // a frame before the first key gives the first key
    EXPECT_EQ(eval(early.p, 0), eval(a.p, 0));
    // frame 5, halfway from key 0 to key 1, window (k0, k0, k1, k2): 102.5 and -200.625 truncate
    EXPECT_TRUE(eval(a.p, 12.5)[1] == 102 && eval(a.p, 12.5)[2] == -200);
    // a two-key track uses (k0, k0, k1, k1): roll -1 to 0 at s = 0.3 is -0.742 -> 0, at s = 0.5 too
    Path two(0, 10, {0, 0, 0, 0, 10, 10, 10, 10}, {0, -1, 10, 0}, {0, 0, 0, 0});
    EXPECT_TRUE(eval(two.p, 30)[4] == 0 && eval(two.p, 50)[4] == 0 && eval(two.p, 50)[1] == 5);
    // keys on 0 and 10 of 0..20: s = 2 on the last segment, 0.5 (200 + 300 x 4 - 200 x 8) = -100;
    // wild keys saturate instead of wrapping
    EXPECT_EQ(eval(Path(0, 20, {0, 0, 0, 0, 10, 100, 0, 0}, {0, 0}, {0, 0, 0, 0}).p, 100)[1], -100);
    Path w(0, 20, {0, 0, 0, 0, 10, INT32_MAX, INT32_MIN, 0}, {0, 0}, {0, 0, 0, 0});
    EXPECT_TRUE(eval(w.p, 100)[1] == INT32_MIN && eval(w.p, 100)[2] == INT32_MAX);
}
