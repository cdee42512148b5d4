// The readers against lib3ds on real 3DS files written by others (Debian's assimp-testmodels) and
// on a file written by lib3ds itself: same objects, names (first 9 bytes), vertex and face
// counts, coordinates, the same keys (the camera evaluation hits them exactly) and the same
// camera objects; the file reader gives what the in-memory reader gives.
#include <gtest/gtest.h>

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/readers/ld_file_util.h"
#include "tests/engine3d/readers/ld_models.h"

namespace fs = std::filesystem;

namespace {

void compare_meshes(const std::string& file, const std::vector<uint8_t>& image, Lib3dsFile* f)
{
    ld_test_scene sc;
    ASSERT_EQ(ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), &sc.s), 0);
    sc_rewind(&sc.s);
    int objects = 0;
    for (Lib3dsMesh* m = f->meshes; m; m = m->next, objects++) {
        sc_object* o = sc_next(&sc.s);
        ASSERT_NE(o, nullptr) << file << " " << m->name;
        EXPECT_EQ(std::string(o->name), std::string(m->name).substr(0, 9)) << file;
        ASSERT_EQ(o->vertex_count, static_cast<int32_t>(m->points)) << file << " " << m->name;
        ASSERT_EQ(o->face_count, static_cast<int32_t>(m->faces)) << file << " " << m->name;
        EXPECT_EQ(o->uv != nullptr, m->texels != 0) << file << " " << m->name;
        for (uint32_t i = 0; i < m->points; i++)
            for (int j = 0; j < 3; j++)
                ASSERT_EQ(o->vertices[3 * i + j], ld_scaled(m->pointL[i].pos[j], 10.0)) << file << " vertex " << i;
        for (uint32_t i = 0; i < m->faces; i++) {
            // the reader's winding is reversed
            EXPECT_EQ(o->faces[4 * i], m->faceL[i].points[2]);
            EXPECT_EQ(o->faces[4 * i + 1], m->faceL[i].points[1]);
            EXPECT_EQ(o->faces[4 * i + 2], m->faceL[i].points[0]);
            EXPECT_EQ(o->faces[4 * i + 3], -1);
        }
        for (uint32_t i = 0; o->uv && i < m->texels; i++)
            for (int j = 0; j < 2; j++)
                ASSERT_EQ(o->uv[2 * i + j], static_cast<int32_t>(m->texelL[i][j] * 256.0 * 227.0)) << file;
    }
    EXPECT_EQ(sc_next(&sc.s), nullptr) << file << ": more objects than lib3ds has";
    EXPECT_EQ(sc.s.count, objects);
    ld_test_scene from_file;
    EXPECT_EQ(ld_3ds_meshes_file(file.c_str(), &from_file.s), 0);
    EXPECT_TRUE(from_file.values() == sc.values()) << file;
}

// Every camera object, by number, against lib3ds's camera of that name. lib3ds keeps the bank
// value as stored; the reader takes it in radians (x 512 / pi) like the roll keys.
int compare_cameras(const std::string& file, Lib3dsFile* f)
{
    int lib_cameras = 0;
    for (Lib3dsCamera* c = f->cameras; c; c = c->next)
        lib_cameras++;
    int n = 1;
    for (;; n++) {
        sc_scene s{};
        if (ld_3ds_camera_file(file.c_str(), n, &s))
            break;
        Lib3dsCamera* c = f->cameras;
        while (c && std::string(c->name).substr(0, 9) != s.name)
            c = c->next;
        EXPECT_NE(c, nullptr) << file << " camera " << n << " " << s.name;
        if (c) {
            EXPECT_EQ((std::vector<int32_t>{s.cam_x, s.cam_y, s.cam_z, s.target_x, s.target_y, s.target_z, s.roll}),
                      (std::vector<int32_t>{ld_scaled(c->position[0], 10), ld_scaled(c->position[1], 10),
                                            ld_scaled(c->position[2], 10), ld_scaled(c->target[0], 10),
                                            ld_scaled(c->target[1], 10), ld_scaled(c->target[2], 10),
                                            ld_scaled(c->roll, ld_roll_scale)}))
                << file << " " << s.name;
        }
        sc_release(&s);
    }
    EXPECT_EQ(n - 1, lib_cameras) << file;
    return lib_cameras;
}

Lib3dsNode* first_node(Lib3dsFile* f, Lib3dsNodeTypes type)
{
    for (Lib3dsNode* n = f->nodes; n; n = n->next)
        if (n->type == type)
            return n;
    return nullptr;
}

// t that lands on frame `frame` of the path's segment.
double t_at(const kf_camera_path& p, int32_t frame)
{
    return (frame - p.start_frame) * 100.0 / (p.end_frame - p.start_frame);
}

void eval_at(const kf_camera_path& p, int32_t frame, int32_t out[7])
{
    sc_scene s{};
    ASSERT_EQ(kf_camera_eval(&s, &p, t_at(p, frame)), 0);
    const int32_t v[7] = {s.cam_x, s.cam_y, s.cam_z, s.roll, s.target_x, s.target_y, s.target_z};
    memcpy(out, v, sizeof v);
}

// Compares the path with lib3ds's camera and target nodes and evaluates it at every key frame.
void compare_path(const std::string& file, const std::vector<uint8_t>& image, Lib3dsFile* f)
{
    Lib3dsNode* cam = first_node(f, LIB3DS_CAMERA_NODE);
    Lib3dsNode* target = first_node(f, LIB3DS_TARGET_NODE);
    ASSERT_TRUE(cam && target) << file;
    kf_camera_path p{};
    ASSERT_EQ(ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", &p), 0) << file;
    EXPECT_EQ(p.start_frame, f->segment_from);
    EXPECT_EQ(p.end_frame, f->segment_to);
    int32_t got[7];
    // Position and target tracks: the keys, and the evaluation at each key frame (at `at`).
    const auto lin3 = [&](Lib3dsLin3Key* k, const int32_t* keys, int32_t count, int at) {
        int i = 0;
        for (; k; k = k->next, i++) {
            ASSERT_LT(i, count) << file;
            const int32_t want[4] = {k->tcb.frame, ld_scaled(k->value[0], 10), ld_scaled(k->value[1], 10), ld_scaled(k->value[2], 10)};
            EXPECT_EQ(std::vector<int32_t>(keys + 4 * i, keys + 4 * i + 4), std::vector<int32_t>(want, want + 4)) << file;
            eval_at(p, k->tcb.frame, got);
            EXPECT_EQ(std::vector<int32_t>(got + at, got + at + 3), std::vector<int32_t>(want + 1, want + 4)) << file << " frame " << k->tcb.frame;
        }
        EXPECT_EQ(count, i);
    };
    for (Lib3dsLin3Key* k = cam->data.camera.pos_track.keyL; k; k = k->next)
        ASSERT_EQ(k->tcb.flags, 0) << file;  // the reader's values assume plain keys here
    lin3(cam->data.camera.pos_track.keyL, p.pos_keys, p.pos_count, 0);
    lin3(target->data.target.pos_track.keyL, p.target_keys, p.target_count, 4);
    int i = 0;
    for (Lib3dsLin1Key* k = cam->data.camera.roll_track.keyL; k; k = k->next, i++) {
        ASSERT_LT(i, p.roll_count) << file;
        EXPECT_EQ(p.roll_keys[2 * i], k->tcb.frame) << file;
        EXPECT_EQ(p.roll_keys[2 * i + 1], ld_scaled(k->value, ld_roll_scale)) << file;
        eval_at(p, k->tcb.frame, got);
        EXPECT_EQ(got[3], ld_scaled(k->value, ld_roll_scale)) << file << " frame " << k->tcb.frame;
    }
    EXPECT_EQ(p.roll_count, i);
    free(p.pos_keys);
    free(p.roll_keys);
    free(p.target_keys);
}

}  // namespace

TEST(LdLib3ds, RealFilesGiveLib3dsMeshesAndCameraPaths)
{
    std::string why;
    const std::string dir = ld_models_dir(&why);
    if (dir.empty())
        GTEST_SKIP() << why;
    int files = 0, paths = 0, cameras = 0;
    for (const std::string& file : ld_model_files(dir)) {
        SCOPED_TRACE(file);
        Lib3dsFile* f = lib3ds_file_load(file.c_str());
        ASSERT_NE(f, nullptr);
        const std::vector<uint8_t> image = ld_slurp(file);
        compare_meshes(file, image, f);
        cameras += compare_cameras(file, f);
        if (first_node(f, LIB3DS_CAMERA_NODE)) {
            compare_path(file, image, f);
            paths++;
        } else {
            kf_camera_path p{};
            EXPECT_EQ(ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "", &p), 1);
            EXPECT_EQ(p.pos_keys, nullptr);
        }
        lib3ds_file_free(f);
        files++;
    }
    EXPECT_GE(files, 9);
    EXPECT_GE(paths, 3);  // the roll and target camera animations
    EXPECT_GE(cameras, 3);  // and their camera objects
}

TEST(LdLib3ds, CameraPathWrittenByLib3ds)
{
    Lib3dsFile* f = lib3ds_file_new();
    ASSERT_NE(f, nullptr);
    f->segment_from = 10;
    f->segment_to = 210;
    f->frames = 210;
    Lib3dsMesh* mesh = lib3ds_mesh_new("PyramidLongName");
    ASSERT_TRUE(lib3ds_mesh_new_point_list(mesh, 4) && lib3ds_mesh_new_face_list(mesh, 2));
    const float pts[4][3] = {{0, 0, 0}, {1.5f, 0, 0}, {0, -2.25f, 0}, {0.125f, 0.5f, 3.75f}};
    for (int i = 0; i < 4; i++)
        memcpy(mesh->pointL[i].pos, pts[i], sizeof pts[i]);
    const Lib3dsWord tri[2][3] = {{0, 1, 2}, {1, 3, 2}};
    for (int i = 0; i < 2; i++)
        memcpy(mesh->faceL[i].points, tri[i], sizeof tri[i]);
    lib3ds_file_insert_mesh(f, mesh);

    Lib3dsNode* cam = lib3ds_node_new_camera();
    strcpy(cam->name, "Camera01");
    cam->node_id = 0;
    cam->parent_id = LIB3DS_NO_PARENT;
    const int frames[6] = {10, 17, 40, 41, 120, 210};
    for (int i = 0; i < 6; i++) {
        Lib3dsLin3Key* k = lib3ds_lin3_key_new();
        k->tcb.frame = frames[i];
        k->value[0] = -100.25f + 37.5f * i;
        k->value[1] = 12.0f * i * i;
        k->value[2] = (i % 2 ? -1.0f : 1.0f) * (3.3f + i);
        lib3ds_lin3_track_insert(&cam->data.camera.pos_track, k);
        Lib3dsLin1Key* r = lib3ds_lin1_key_new();
        r->tcb.frame = frames[5 - i] / 2 + 5 + i;  // 110, 66, 27, 28, 17, 15: inserted out of order
        r->value = 30.0f * i - 45.0f;
        lib3ds_lin1_track_insert(&cam->data.camera.roll_track, r);
    }
    lib3ds_file_insert_node(f, cam);
    Lib3dsNode* target = lib3ds_node_new_target();
    strcpy(target->name, "Camera01");
    target->node_id = 1;
    target->parent_id = LIB3DS_NO_PARENT;
    for (int i = 0; i < 3; i++) {
        Lib3dsLin3Key* k = lib3ds_lin3_key_new();
        k->tcb.frame = 10 + 100 * i;
        k->value[0] = 0.5f * i;
        k->value[1] = -8.0f;
        k->value[2] = 1000.0f - i;
        lib3ds_lin3_track_insert(&target->data.target.pos_track, k);
    }
    lib3ds_file_insert_node(f, target);
    const char* names[3] = {"Alpha", "BetaCameraLong", "Gamma"};
    for (int i = 0; i < 3; i++) {
        Lib3dsCamera* c = lib3ds_camera_new(names[i]);
        const float pos[3] = {1.25f * i, -3.5f, 100.0f + i}, at[3] = {0, 0.19f * i, -0.15f};
        memcpy(c->position, pos, sizeof pos);
        memcpy(c->target, at, sizeof at);
        c->roll = 0.75f * i - 0.5f;
        c->fov = 45;
        lib3ds_file_insert_camera(f, c);
    }

    const std::string path = testing::TempDir() + "/ld_lib3ds_camera_" + std::to_string(getpid()) + ".3ds";
    ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
    lib3ds_file_free(f);

    // read back by lib3ds, so both readers see the same file
    Lib3dsFile* g = lib3ds_file_load(path.c_str());
    ASSERT_NE(g, nullptr);
    const std::vector<uint8_t> image = ld_slurp(path);
    compare_meshes(path, image, g);
    compare_path(path, image, g);
    EXPECT_EQ(compare_cameras(path, g), 3);
    lib3ds_file_free(g);
    fs::remove(path);
}
