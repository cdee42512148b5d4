// The 3DS file readers on real files written by others (Debian's assimp-testmodels) and by
// lib3ds: the same meshes and camera paths as the in-memory reader on the same bytes, and the
// meshes and camera objects that lib3ds reads.
#include <gtest/gtest.h>

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>

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

std::vector<int32_t> keys(const int32_t* k, int32_t count, int per)
{
    return k ? std::vector<int32_t>(k, k + count * per) : std::vector<int32_t>{};
}

void free_path(kf_camera_path* p)
{
    free(p->pos_keys);
    free(p->roll_keys);
    free(p->target_keys);
}

// The file reader against the in-memory reader on the file's bytes, and against lib3ds.
void compare_meshes(const std::string& file, Lib3dsFile* f)
{
    const std::vector<uint8_t> image = ld_slurp(file);
    ld_test_scene from_file, from_mem;
    ASSERT_EQ(ld_3ds_meshes_file(file.c_str(), &from_file.s), 0);
    ASSERT_EQ(ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), &from_mem.s), 0);
    const std::vector<ld_obj_values> objects = from_file.values();
    EXPECT_TRUE(objects == from_mem.values());
    // the in-memory reader is compared value by value with lib3ds elsewhere: here the objects
    size_t i = 0;
    for (Lib3dsMesh* m = f->meshes; m; m = m->next, i++) {
        ASSERT_LT(i, objects.size()) << m->name;
        EXPECT_EQ(objects[i].name, std::string(m->name).substr(0, 9));
        EXPECT_EQ(objects[i].vertex_count, static_cast<int32_t>(m->points));
        EXPECT_EQ(objects[i].face_count, static_cast<int32_t>(m->faces));
    }
    EXPECT_EQ(i, objects.size());
}

void compare_paths(const std::string& file)
{
    const std::vector<uint8_t> image = ld_slurp(file);
    kf_camera_path a{}, b{};
    const int ra = ld_3ds_keys_file(file.c_str(), "Camera01", &a);
    const int rb = ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", &b);
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(a.start_frame, b.start_frame);
    EXPECT_EQ(a.end_frame, b.end_frame);
    EXPECT_EQ(keys(a.pos_keys, a.pos_count, 4), keys(b.pos_keys, b.pos_count, 4));
    EXPECT_EQ(keys(a.roll_keys, a.roll_count, 2), keys(b.roll_keys, b.roll_count, 2));
    EXPECT_EQ(keys(a.target_keys, a.target_count, 4), keys(b.target_keys, b.target_count, 4));
    free_path(&a);
    free_path(&b);
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
        Lib3dsCamera* c = nullptr;
        for (Lib3dsCamera* q = f->cameras; q && !c; q = q->next)
            if (std::string(q->name).substr(0, 9) == s.name)
                c = q;
        EXPECT_NE(c, nullptr) << file << " camera " << n << " " << s.name;
        if (c) {
            EXPECT_EQ((std::vector<int32_t>{s.cam_x, s.cam_y, s.cam_z, s.target_x, s.target_y, s.target_z}),
                      (std::vector<int32_t>{ld_scaled(c->position[0], 10), ld_scaled(c->position[1], 10), ld_scaled(c->position[2], 10),
                                            ld_scaled(c->target[0], 10), ld_scaled(c->target[1], 10), ld_scaled(c->target[2], 10)}))
                << file << " " << s.name;
            EXPECT_EQ(s.roll, ld_scaled(c->roll, ld_roll_scale)) << file;
        }
        sc_release(&s);
    }
    EXPECT_EQ(n - 1, lib_cameras) << file;
    return lib_cameras;
}

}  // namespace

TEST(LdFileLib3ds, RealFilesReadAsInMemoryAndAsLib3dsReadsThem)
{
    std::string why;
    const std::string dir = ld_models_dir(&why);
    if (dir.empty())
        GTEST_SKIP() << why;
    int files = 0, cameras = 0;
    for (const std::string& file : ld_model_files(dir)) {
        SCOPED_TRACE(file);
        Lib3dsFile* f = lib3ds_file_load(file.c_str());
        ASSERT_NE(f, nullptr);
        compare_meshes(file, f);
        compare_paths(file);
        cameras += compare_cameras(file, f);
        lib3ds_file_free(f);
        files++;
    }
    EXPECT_GE(files, 9);
    EXPECT_GE(cameras, 3);  // the camera animation files hold camera objects
}

TEST(LdFileLib3ds, CameraObjectsWrittenByLib3ds)
{
    Lib3dsFile* f = lib3ds_file_new();
    ASSERT_NE(f, nullptr);
    Lib3dsMesh* mesh = lib3ds_mesh_new("Tri");
    ASSERT_TRUE(lib3ds_mesh_new_point_list(mesh, 3) && lib3ds_mesh_new_face_list(mesh, 1));
    const float pts[3][3] = {{0, 0, 0}, {1.5f, 0, 0}, {0, -2.25f, 0.125f}};
    for (int i = 0; i < 3; i++)
        memcpy(mesh->pointL[i].pos, pts[i], sizeof pts[i]);
    const Lib3dsWord tri[3] = {0, 1, 2};
    memcpy(mesh->faceL[0].points, tri, sizeof tri);
    lib3ds_file_insert_mesh(f, mesh);
    const char* names[3] = {"Alpha", "BetaCameraLong", "Gamma"};
    for (int i = 0; i < 3; i++) {
        Lib3dsCamera* c = lib3ds_camera_new(names[i]);
        const float pos[3] = {1.25f * i, -3.5f, 100.0f + i}, target[3] = {0, 0.19f * i, -0.15f};
        memcpy(c->position, pos, sizeof pos);
        memcpy(c->target, target, sizeof target);
        c->roll = 0.75f * i - 0.5f;
        c->fov = 45;
        lib3ds_file_insert_camera(f, c);
    }
    const std::string path = testing::TempDir() + "/ld_file_lib3ds_cameras.3ds";
    ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
    lib3ds_file_free(f);

    Lib3dsFile* g = lib3ds_file_load(path.c_str());
    ASSERT_NE(g, nullptr);
    compare_meshes(path, g);
    EXPECT_EQ(compare_cameras(path, g), 3);
    lib3ds_file_free(g);
    fs::remove(path);
}
