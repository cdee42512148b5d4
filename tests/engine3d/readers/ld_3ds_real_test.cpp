// The 3DS readers against lib3ds on files written by others (Debian's assimp-testmodels,
// installed or fetched once per build tree with apt-get download, never committed): same
// objects, names (first 9 bytes), counts, coordinates and keys (the camera evaluation hits them
// exactly); the file reader gives what the in-memory reader gives.
#include <gtest/gtest.h>

#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    const fs::path root = fs::path(getenv("ORV_BINARY_DIR") ? getenv("ORV_BINARY_DIR") : ORV_BINARY_DIR) / "debfetch" / "assimp-testmodels";
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
        for (uint32_t i = 0; i < 3 * m->points; i++)
            o.vertices.push_back(scaled(m->pointL[i / 3].pos[i % 3]));
        for (uint32_t i = 0; i < m->faces; i++)  // the reader's winding is reversed
            o.faces.insert(o.faces.end(), {m->faceL[i].points[2], m->faceL[i].points[1], m->faceL[i].points[0], -1});
        for (uint32_t i = 0; i < m->texels; i++)
            o.uv.insert(o.uv.end(), {scaled(m->texelL[i][0], 256.0 * 227.0), scaled(m->texelL[i][1], 256.0 * 227.0)});
        want.push_back(o);
    }
    ASSERT_EQ(got.size(), want.size()) << file;
    for (size_t i = 0; i < got.size(); i++) {  // what lib3ds does not compute taken as it is
        want[i].radius = got[i].radius, want[i].mode = got[i].mode, want[i].normals = got[i].normals;
        EXPECT_TRUE(got[i] == want[i]) << file << " " << want[i].name;
    }
    EXPECT_TRUE(ld_3ds_meshes_file(file.c_str(), &from_file.s) == 0 && from_file.values() == got) << file;
}

Lib3dsNode* first_node(Lib3dsFile* f, Lib3dsNodeTypes type)
{
    Lib3dsNode* n = f->nodes;
    for (; n && n->type != type; n = n->next) {}
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
    std::vector<int32_t> want[3], evals[3];  // position, roll, target: frame and values per key
    const auto key = [&](int track, int32_t frame, std::vector<int32_t> values) {
        sc_scene s{};
        EXPECT_EQ(kf_camera_eval(&s, &p, (frame - p.start_frame) * 100.0 / (p.end_frame - p.start_frame)), 0);
        const int32_t v[7] = {s.cam_x, s.cam_y, s.cam_z, s.roll, s.target_x, s.target_y, s.target_z}, at = track ? track + 2 : 0;
        want[track].push_back(frame), evals[track].push_back(frame);
        want[track].insert(want[track].end(), values.begin(), values.end());
        evals[track].insert(evals[track].end(), v + at, v + at + values.size());
    };
    for (Lib3dsLin3Key* k = cam->data.camera.pos_track.keyL; k; k = k->next) {
        ASSERT_EQ(k->tcb.flags, 0) << file;  // the reader's values assume plain keys here
        key(0, k->tcb.frame, {scaled(k->value[0]), scaled(k->value[1]), scaled(k->value[2])});
    }
    for (Lib3dsLin1Key* k = cam->data.camera.roll_track.keyL; k; k = k->next)
        key(1, k->tcb.frame, {scaled(k->value, roll_scale)});
    for (Lib3dsLin3Key* k = target->data.target.pos_track.keyL; k; k = k->next)
        key(2, k->tcb.frame, {scaled(k->value[0]), scaled(k->value[1]), scaled(k->value[2])});
    EXPECT_EQ(std::vector<int32_t>(p.pos_keys, p.pos_keys + 4 * p.pos_count), want[0]) << file;
    EXPECT_EQ(std::vector<int32_t>(p.roll_keys, p.roll_keys + 2 * p.roll_count), want[1]) << file;
    EXPECT_EQ(std::vector<int32_t>(p.target_keys, p.target_keys + 4 * p.target_count), want[2]) << file;
    EXPECT_TRUE(evals[0] == want[0] && evals[1] == want[1] && evals[2] == want[2]) << file;
    free(p.pos_keys), free(p.roll_keys), free(p.target_keys);
}


}  // namespace

TEST(LdLib3ds, RealFilesGiveLib3dsMeshesAndCameraPaths)
{
    std::string why;
    const std::string dir = models_dir(&why);
    if (dir.empty())
        GTEST_SKIP() << why;
    int files = 0, paths = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string file = e.path().string(), ext = e.path().extension().string();
        if (ext != ".3ds" && ext != ".3DS")
            continue;
        Lib3dsFile* f = lib3ds_file_load(file.c_str());
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
        ASSERT_NE(f, nullptr) << file;
        compare_meshes(file, image, f);
        kf_camera_path p{};
        if (first_node(f, LIB3DS_CAMERA_NODE))
            compare_path(file, image, f), paths++;
        else
            EXPECT_TRUE(ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "", &p) == 1 && !p.pos_keys) << file;
        lib3ds_file_free(f), files++;
    }
    EXPECT_TRUE(files >= 9 && paths >= 3) << files << " files, " << paths << " camera paths";  // the roll and target animations
}
