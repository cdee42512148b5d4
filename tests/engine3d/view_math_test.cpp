// View-matrix maths, camera forms and the projection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine3d/m3_view.h"
#include "engine3d/rz.h"
#include "engine3d/sc_transform.h"

static void expect_rows(const double want[9], double tol = 1e-12)
{
    for (int i = 0; i < 9; i++)
        EXPECT_NEAR(m3_view[i], want[i], tol) << "M" << i;
}

TEST(ViewMaths, MatricesAtChosenAngles)
{
    m3_matrix_euler(0, 0, 0);
    const double id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    expect_rows(id);
    m3_matrix_euler(0, 0, 256 + 1024 * 5);  // angles are not reduced, any turn count works
    const double qz[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    expect_rows(qz, 1e-9);

    // Looking along +z with roll 0: rows (1, 0, 0), (0, -1, 0), (0, 0, -1) exactly.
    m3_matrix_look_dir(0, 0, 128, 0);
    const double look[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    expect_rows(look, 0);
    // A direction of length 0 gives row 2 = (1, 0, 0).
    m3_matrix_look_dir(0, 0, 0, 0);
    EXPECT_EQ(m3_view[6], 1.0);
    EXPECT_EQ(m3_view[7], 0.0);
    EXPECT_EQ(m3_view[8], 0.0);

    double tiny[3] = {0.0005, 0, 0.0005};
    m3_normalize(tiny);
    EXPECT_EQ(tiny[0], 1.0);
    EXPECT_EQ(tiny[2], 0.0);
    double nan3[3] = {NAN, 0, 0};
    m3_normalize(nan3);  // a NaN length takes the multiplying branch
    EXPECT_TRUE(std::isnan(nan3[0]));

    const double a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    double b[9] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    m3_mat_mul(a, b, b);  // out may be an input
    EXPECT_EQ(b[0], 30.0);
    EXPECT_EQ(b[8], 90.0);
}

TEST(ViewMaths, ProjectionMarksNearPoints)
{
    struct Case {
        int32_t x, y, z;
        int32_t sx, sy, z_after;
    };
    // 320x240, focal 256: 480 pixels per unit of x / d and y / d, centre (160, 120)
    const Case cases[] = {
        {100, 50, -200, 102400, 0, -200},
        {0, 0, -11, 40960, 30720, -11},
        {1, 1, -10, 40960 + 12288, 30720 - 12288, m3_near_mark},
        {0, 0, 100, 40960, 30720, m3_near_mark},
    };
    for (const Case& c : cases) {
        int32_t cam[3] = {c.x, c.y, c.z}, scr[2];
        m3_project_points(1, cam, scr, 320, 240, 256);
        EXPECT_EQ(scr[0], c.sx) << c.x << "," << c.y << "," << c.z;
        EXPECT_EQ(scr[1], c.sy) << c.x << "," << c.y << "," << c.z;
        EXPECT_EQ(cam[2], c.z_after);
    }
    // focal scales only the vertical: 128 halves it
    int32_t cam[3] = {100, 100, -200}, scr[2];
    m3_project_points(1, cam, scr, 320, 240, 128);
    EXPECT_EQ(scr[0], 102400);
    EXPECT_EQ(scr[1], 0);
    // huge coordinates saturate instead of wrapping
    int32_t far[3] = {INT32_MAX, INT32_MIN, -10};
    m3_project_points(1, far, scr, 320, 240, 256);
    EXPECT_EQ(scr[0], INT32_MAX);
    EXPECT_EQ(scr[1], INT32_MAX);
}

TEST(ViewMaths, CameraFormsAndObjectTransform)
{
    sc_scene s;
    std::memset(&s, 0, sizeof s);
    s.target_z = 128;
    s.focal = 256;
    // look-at from the origin towards +z maps world (1, 2, -3) to camera (1, -2, 3)
    sc_set_camera(&s);
    int32_t p[3] = {1, 2, -3};
    m3_rotate_points(1, p, p);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[1], -2);
    EXPECT_EQ(p[2], 3);
    // Euler camera: any mode but 0 and 2
    s.cam_mode = 7;
    s.angle_x = 256;
    sc_set_camera(&s);
    const double qx[9] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
    expect_rows(qx);

    // A one-vertex object at world (0, 0, 1000) seen from (0, 0, 0) towards +z lies 1000 ahead.
    ASSERT_EQ(rz_set_screen(320, 240, 8), 0);
    s.cam_mode = 0;
    s.angle_x = 0;
    sc_object o;
    std::memset(&o, 0, sizeof o);
    int32_t v[3] = {50, 0, 0}, cam[3], scr[2];
    o.vertex_count = 1;
    o.vertices = v;
    o.cam_vertices = cam;
    o.scr_vertices = scr;
    o.pos_z = 1000;
    o.angle_y = 256;  // a quarter turn about y moves (50, 0, 0) onto the z axis
    obj_rotate(&o);
    sc_transform_object(&s, &o);
    EXPECT_EQ(cam[0], 0);
    EXPECT_EQ(cam[1], 0);
    EXPECT_EQ(std::abs(cam[2] + 1000), 50);
    EXPECT_EQ(scr[0], 40960);
    EXPECT_EQ(scr[1], 30720);
}

TEST(ViewMaths, NormalsRotateOnlyForModesThatReadThem)
{
    // flat, gouraud, environment map and bump read rotated normals; texture alone does not
    for (uint32_t mode : {1u, 2u, 4u, 8u, 16u, 0u}) {
        sc_object* o = obj_alloc(3, 1, 0);
        const int32_t v[9] = {0, 0, 0, 100, 0, 0, 0, 100, 0}, f[4] = {0, 1, 2, -1};
        std::memcpy(o->vertices, v, sizeof v);
        std::memcpy(o->faces, f, sizeof f);
        ASSERT_EQ(obj_finish(o), 0);
        o->mode = mode;
        o->angle_y = 256;  // a quarter turn about y takes the normal (0, 0, -n) onto the x axis
        std::memset(o->rot_normals, 0, 9 * sizeof(int32_t));
        obj_rotate(o);
        const bool rotated = o->rot_normals[0] != 0;
        EXPECT_EQ(rotated, (mode & 27) != 0) << mode;
        obj_free(o);
    }
}
