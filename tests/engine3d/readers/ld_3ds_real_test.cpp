// The 3DS readers on real files: the embedded scenes, and against lib3ds on files written by
// others (Debian's assimp-testmodels, installed or fetched once per build tree with apt-get
// download, never committed) and on a file lib3ds writes: same objects, names (first 9 bytes),
// counts, coordinates, keys (the camera evaluation hits them exactly) and camera objects; the
// file reader gives what the in-memory reader gives.
#include <gtest/gtest.h>

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "assets/emb.h"
#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/readers/ld_file_util.h"

namespace fs = std::filesystem;

namespace {

// The package's 3DS folder, or "" with the reason in *why.
std::string models_dir(std::string* why)
{
    const char* const sub = "usr/share/assimp/models/3DS";
    if (fs::exists(fs::path("/") / sub / "test1.3ds"))
        return std::string("/") + sub;
    const char* bin = getenv("ORV_BINARY_DIR");
    const fs::path root = fs::path(bin ? bin : ORV_BINARY_DIR) / "debfetch" / "assimp-testmodels";
    if (!fs::exists(root / sub / "test1.3ds")) {
        fs::create_directories(root);
        const std::string cmd = "cd '" + root.string() + "' && apt-get download assimp-testmodels >/dev/null 2>&1"
                                " && dpkg -x assimp-testmodels_*.deb . && rm -f assimp-testmodels_*.deb";
        if (system(cmd.c_str()) != 0 || !fs::exists(root / sub / "test1.3ds")) {
            *why = "assimp-testmodels is neither installed nor downloadable (apt-get download failed)";
            return "";
        }
    }
    return (root / sub).string();
}

// A lib3ds float as the reader stores it: times k (10 for lengths, 512 / pi for angles), truncated.
int32_t scaled(double v, double k = 10) { return static_cast<int32_t>(v * k); }
constexpr double roll_scale = 512.0 * 0.3183098861837907;

void compare_meshes(const std::string& file, const std::vector<uint8_t>& image, Lib3dsFile* f)
{
    ld_test_scene sc, from_file;
    ASSERT_EQ(ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), &sc.s), 0);
    std::vector<ld_obj_values> got = sc.values(), want;
    for (Lib3dsMesh* m = f->meshes; m; m = m->next) {
        ld_obj_values o{std::string(m->name).substr(0, 9), int32_t(m->points), int32_t(m->faces), 0, 0, {}, {}, {}, {}};
        for (uint32_t i = 0; i < m->points; i++)
            for (int j = 0; j < 3; j++)
                o.vertices.push_back(scaled(m->pointL[i].pos[j]));
        for (uint32_t i = 0; i < m->faces; i++)  // the reader's winding is reversed
            o.faces.insert(o.faces.end(), {m->faceL[i].points[2], m->faceL[i].points[1], m->faceL[i].points[0], -1});
        for (uint32_t i = 0; i < m->texels; i++)
            o.uv.insert(o.uv.end(), {scaled(m->texelL[i][0], 256.0 * 227.0), scaled(m->texelL[i][1], 256.0 * 227.0)});
        want.push_back(o);
    }
    ASSERT_EQ(got.size(), want.size()) << file;
    for (size_t i = 0; i < got.size(); i++) {  // what lib3ds does not compute
        want[i].radius = got[i].radius, want[i].mode = got[i].mode, want[i].normals = got[i].normals;
        EXPECT_TRUE(got[i] == want[i]) << file << " " << want[i].name;
    }
    EXPECT_EQ(ld_3ds_meshes_file(file.c_str(), &from_file.s), 0);
    EXPECT_TRUE(from_file.values() == got) << file;
}

// Every camera object, by number, against lib3ds's camera of that name. lib3ds keeps the bank
// as stored; the reader takes it in radians like the roll keys.
int compare_cameras(const std::string& file, Lib3dsFile* f)
{
    int n = 1, lib_cameras = 0;
    for (Lib3dsCamera* c = f->cameras; c; c = c->next)
        lib_cameras++;
    for (sc_scene s{}; ld_3ds_camera_file(file.c_str(), n, &s) == 0; n++) {
        Lib3dsCamera* c = f->cameras;
        while (c && std::string(c->name).substr(0, 9) != s.name)
            c = c->next;
        EXPECT_NE(c, nullptr) << file << " camera " << n << " " << s.name;
        if (c) {
            EXPECT_EQ((std::vector{s.cam_x, s.cam_y, s.cam_z, s.target_x, s.target_y, s.target_z, s.roll}),
                      (std::vector{scaled(c->position[0]), scaled(c->position[1]), scaled(c->position[2]), scaled(c->target[0]),
                                   scaled(c->target[1]), scaled(c->target[2]), scaled(c->roll, roll_scale)})) << file << " " << s.name;
        }
        sc_release(&s);
    }
    EXPECT_EQ(n - 1, lib_cameras) << file;
    return lib_cameras;
}

Lib3dsNode* first_node(Lib3dsFile* f, Lib3dsNodeTypes type)
{
    Lib3dsNode* n = f->nodes;
    while (n && n->type != type)
        n = n->next;
    return n;
}

// The path against lib3ds's camera and target nodes, evaluated at every key frame: camera x, y,
// z, roll, target x, y, z there are the keys.
void compare_path(const std::string& file, const std::vector<uint8_t>& image, Lib3dsFile* f)
{
    Lib3dsNode *cam = first_node(f, LIB3DS_CAMERA_NODE), *target = first_node(f, LIB3DS_TARGET_NODE);
    ASSERT_TRUE(cam && target) << file;
    kf_camera_path p{};
    ASSERT_EQ(ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", &p), 0) << file;
    EXPECT_EQ(std::pair(p.start_frame, p.end_frame), std::pair(f->segment_from, f->segment_to)) << file;
    const auto eval_at = [&](int32_t frame, int at, int n) {
        sc_scene s{};
        EXPECT_EQ(kf_camera_eval(&s, &p, (frame - p.start_frame) * 100.0 / (p.end_frame - p.start_frame)), 0);
        const int32_t v[7] = {s.cam_x, s.cam_y, s.cam_z, s.roll, s.target_x, s.target_y, s.target_z};
        return std::vector<int32_t>(v + at, v + at + n);
    };
    std::vector<int32_t> want[3], evals[3];  // position, roll, target: frame and values per key
    for (Lib3dsLin3Key* k = cam->data.camera.pos_track.keyL; k; k = k->next) {
        ASSERT_EQ(k->tcb.flags, 0) << file;  // the reader's values assume plain keys here
        want[0].insert(want[0].end(), {k->tcb.frame, scaled(k->value[0]), scaled(k->value[1]), scaled(k->value[2])});
        const auto e = eval_at(k->tcb.frame, 0, 3);
        evals[0].insert(evals[0].end(), {k->tcb.frame, e[0], e[1], e[2]});
    }
    for (Lib3dsLin1Key* k = cam->data.camera.roll_track.keyL; k; k = k->next) {
        want[1].insert(want[1].end(), {k->tcb.frame, scaled(k->value, roll_scale)});
        evals[1].insert(evals[1].end(), {k->tcb.frame, eval_at(k->tcb.frame, 3, 1)[0]});
    }
    for (Lib3dsLin3Key* k = target->data.target.pos_track.keyL; k; k = k->next) {
        want[2].insert(want[2].end(), {k->tcb.frame, scaled(k->value[0]), scaled(k->value[1]), scaled(k->value[2])});
        const auto e = eval_at(k->tcb.frame, 4, 3);
        evals[2].insert(evals[2].end(), {k->tcb.frame, e[0], e[1], e[2]});
    }
    EXPECT_EQ(std::vector<int32_t>(p.pos_keys, p.pos_keys + 4 * p.pos_count), want[0]) << file;
    EXPECT_EQ(std::vector<int32_t>(p.roll_keys, p.roll_keys + 2 * p.roll_count), want[1]) << file;
    EXPECT_EQ(std::vector<int32_t>(p.target_keys, p.target_keys + 4 * p.target_count), want[2]) << file;
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(evals[i], want[i]) << file << " track " << i;
    free(p.pos_keys), free(p.roll_keys), free(p.target_keys);
}

std::vector<uint8_t> slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(LdEmbedded, EverySceneYieldsTheCatalogueObjects)
{
    using Objs = std::vector<std::tuple<std::string, int32_t, int32_t, bool>>;  // name, vertices, faces, mapping
    const struct { const uint8_t* bytes; const uint32_t* size; Objs objects; } assets[] = {
        {emb_3ds_bouncer, &emb_3ds_bouncer_size, {{"Object", 408, 812, true}}},
        {emb_3ds_flyers, &emb_3ds_flyers_size, {{"Object01", 130, 256, true}}},
        {emb_3ds_receivers, &emb_3ds_receivers_size, {{"Object03", 270, 516, false}}},  // a mesh, two lights, a camera
        {emb_3ds_casters, &emb_3ds_casters_size, {{"piikkipal", 202, 400, true}}},      // "piikkipall", nine kept
        {emb_3ds_box, &emb_3ds_box_size, {{"Object01", 8, 12, false}}},
        {emb_3ds_lattice, &emb_3ds_lattice_size, {{"Object03", 24, 24, false}}},  // the camera object first is skipped
        {emb_3ds_orbit, &emb_3ds_orbit_size, {{"Object01", 8, 12, false}, {"Object02", 130, 256, true}, {"Object03", 36, 72, false}}}};
    for (const auto& a : assets)
        for (bool sized : {true, false}) {  // sized, and sized by the main chunk alone
            ld_test_scene sc;
            EXPECT_EQ(sized ? ld_3ds_meshes_mem_n(a.bytes, *a.size, &sc.s) : ld_3ds_meshes_mem(a.bytes, &sc.s), 0);
            Objs got;
            for (const ld_obj_values& o : sc.values())
                got.emplace_back(o.name, o.vertex_count, o.face_count, !o.uv.empty());
            EXPECT_EQ(got, a.objects) << &a - assets;
        }
    kf_camera_path p{};  // the lattice's camera: one roll key per frame, 360 at frame 14 is 58670
    ASSERT_EQ(ld_3ds_keys_mem_n(emb_3ds_lattice, emb_3ds_lattice_size, "Camera01", &p), 0);
    EXPECT_EQ((std::vector{p.start_frame, p.end_frame, p.pos_count, p.roll_count, p.target_count, p.pos_keys[16 * 4],
                           p.roll_keys[2 * 30], p.roll_keys[2 * 14 + 1], p.roll_keys[2 * 15 + 1]}),
              (std::vector{0, 30, 17, 31, 17, 30, 30, 58670, 0}));
    free(p.pos_keys), free(p.roll_keys), free(p.target_keys);
}

TEST(LdLib3ds, RealFilesGiveLib3dsMeshesAndCameraPaths)
{
    std::string why;
    const std::string dir = models_dir(&why);
    if (dir.empty())
        GTEST_SKIP() << why;
    int files = 0, paths = 0, cameras = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string file = e.path().string(), ext = e.path().extension().string();
        if (ext != ".3ds" && ext != ".3DS")
            continue;
        Lib3dsFile* f = lib3ds_file_load(file.c_str());
        ASSERT_NE(f, nullptr) << file;
        const std::vector<uint8_t> image = slurp(file);
        compare_meshes(file, image, f);
        cameras += compare_cameras(file, f);
        kf_camera_path p{};
        if (first_node(f, LIB3DS_CAMERA_NODE))
            compare_path(file, image, f), paths++;
        else
            EXPECT_TRUE(ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "", &p) == 1 && !p.pos_keys) << file;
        lib3ds_file_free(f);
        files++;
    }
    EXPECT_GE(files, 9);
    EXPECT_GE(paths, 3);    // the roll and target camera animations
    EXPECT_GE(cameras, 3);  // and their camera objects
}

TEST(LdLib3ds, CameraPathWrittenByLib3ds)
{
    Lib3dsFile* f = lib3ds_file_new();
    f->segment_from = 10, f->segment_to = 210, f->frames = 210;
    Lib3dsMesh* mesh = lib3ds_mesh_new("PyramidLongName");
    ASSERT_TRUE(lib3ds_mesh_new_point_list(mesh, 4) && lib3ds_mesh_new_face_list(mesh, 2));
    const float pts[4][3] = {{0, 0, 0}, {1.5f, 0, 0}, {0, -2.25f, 0}, {0.125f, 0.5f, 3.75f}};
    const Lib3dsWord tri[2][3] = {{0, 1, 2}, {1, 3, 2}};
    for (int i = 0; i < 4; i++)
        memcpy(mesh->pointL[i].pos, pts[i], sizeof pts[i]);
    for (int i = 0; i < 2; i++)
        memcpy(mesh->faceL[i].points, tri[i], sizeof tri[i]);
    lib3ds_file_insert_mesh(f, mesh);
    Lib3dsNode *cam = lib3ds_node_new_camera(), *target = lib3ds_node_new_target();
    strcpy(cam->name, "Camera01"), strcpy(target->name, "Camera01");
    cam->node_id = 0, target->node_id = 1, cam->parent_id = target->parent_id = LIB3DS_NO_PARENT;
    const int frames[6] = {10, 17, 40, 41, 120, 210};
    for (int i = 0; i < 6; i++) {
        Lib3dsLin3Key* k = lib3ds_lin3_key_new();
        k->tcb.frame = frames[i];
        k->value[0] = -100.25f + 37.5f * i, k->value[1] = 12.0f * i * i, k->value[2] = (i % 2 ? -1.0f : 1.0f) * (3.3f + i);
        lib3ds_lin3_track_insert(&cam->data.camera.pos_track, k);
        Lib3dsLin1Key* r = lib3ds_lin1_key_new();
        r->tcb.frame = frames[5 - i] / 2 + 5 + i;  // 110, 66, 27, 28, 17, 15: inserted out of order
        r->value = 30.0f * i - 45.0f;
        lib3ds_lin1_track_insert(&cam->data.camera.roll_track, r);
        if (i < 3) {
            Lib3dsLin3Key* t = lib3ds_lin3_key_new();
            t->tcb.frame = 10 + 100 * i, t->value[0] = 0.5f * i, t->value[1] = -8.0f, t->value[2] = 1000.0f - i;
            lib3ds_lin3_track_insert(&target->data.target.pos_track, t);
        }
    }
    lib3ds_file_insert_node(f, cam);
    lib3ds_file_insert_node(f, target);
    const char* names[3] = {"Alpha", "BetaCameraLong", "Gamma"};
    for (int i = 0; i < 3; i++) {
        Lib3dsCamera* c = lib3ds_camera_new(names[i]);
        const float pos[3] = {1.25f * i, -3.5f, 100.0f + i}, at[3] = {0, 0.19f * i, -0.15f};
        memcpy(c->position, pos, sizeof pos), memcpy(c->target, at, sizeof at);
        c->roll = 0.75f * i - 0.5f, c->fov = 45;
        lib3ds_file_insert_camera(f, c);
    }
    const std::string path = ld_write_temp("lib3ds.3ds", {});
    ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
    lib3ds_file_free(f);
    Lib3dsFile* g = lib3ds_file_load(path.c_str());  // read back by lib3ds, so both readers see one file
    ASSERT_NE(g, nullptr);
    const std::vector<uint8_t> image = slurp(path);
    compare_meshes(path, image, g);
    compare_path(path, image, g);
    EXPECT_EQ(compare_cameras(path, g), 3);
    lib3ds_file_free(g);
}
