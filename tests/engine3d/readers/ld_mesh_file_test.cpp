// The packed and multi-object mesh files, the mesh file dispatcher, and every disk reader
// (picture files as textures too) closing its file on every path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/readers/ld_mesh_file.h"
#include "engine3d/readers/ld_multi_mesh.h"
#include "engine3d/readers/ld_object_file.h"
#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/engine3d/readers/ld_file_util.h"

namespace {

// A packed mesh: the corners of a cube (x 100), its 12 triangles, then 16 mapping bytes if asked.
ld_bytes packed_cube(bool uv)
{
    ld_bytes b;
    ld_put16(b, 8), ld_put16(b, 12);
    for (int i = 0; i < 24; i++)
        ld_put16(b, (i / 3 >> (i % 3)) & 1 ? 100 : 0xff9c);
    for (int v : {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1, 2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3})
        ld_put16(b, static_cast<uint32_t>(v));
    for (int i = 0; uv && i < 16; i++)
        b.push_back(static_cast<uint8_t>(i * 15));
    return b;
}

// A multi-object file: count, then per object index, 10-byte name, flags (1 or 8: a mesh, 2: u
// then v words per vertex, 4: normals), vertex and face counts, 32-bit vertices, the lists, faces.
struct multi_obj {
    uint16_t index;
    std::string name;
    uint16_t flags;
    std::vector<int32_t> xyz;
    std::vector<uint16_t> faces;  // a, b, c, d
    std::vector<int16_t> uv;      // all u, then all v
    int face_count = -1;          // as written, when not the list's own
};

ld_bytes multi_file(const std::vector<multi_obj>& objs, int count = -1)
{
    ld_bytes b;
    ld_put16(b, static_cast<uint32_t>(count >= 0 ? count : static_cast<int>(objs.size())));
    for (const multi_obj& o : objs) {
        ld_put16(b, o.index);
        b.insert(b.end(), o.name.begin(), o.name.begin() + std::min<size_t>(10, o.name.size())), b.resize(b.size() + 10 - std::min<size_t>(10, o.name.size()));
        ld_put16(b, o.flags), ld_put16(b, uint32_t(o.xyz.size() / 3));
        ld_put16(b, uint32_t(o.face_count >= 0 ? o.face_count : int(o.faces.size() / 4)));
        for (int32_t c : o.xyz)
            ld_put32(b, static_cast<uint32_t>(c));
        for (size_t i = 0; o.flags & 2 && i < o.uv.size(); i++)
            ld_put16(b, static_cast<uint16_t>(o.uv[i]));
        if (o.flags & 4)
            ld_put16(b, 126), b.resize(b.size() + 2 * o.xyz.size(), 0x77);
        for (uint16_t f : o.faces)
            ld_put16(b, f);
    }
    return b;
}

const multi_obj quad_and_tri = {0, "QuadAndTriangle", 1 | 2 | 4, {0, 0, 0, 1000, 0, 0, 1000, 1000, 0, 0, 1000, 0, 500, 500, -70000, 3, 4, 5},
                                {3, 4, 5, 5, 0, 1, 2, 3}, {0, 1, 2, 3, 4, -5, 10, 20, 30, 40, 50, 255}};
const multi_obj tri = {1, "Tri", 1, {0, 0, 0, 0, 10, 0, 0, 0, 10}, {0, 1, 2, 2}, {}};

std::pair<int, std::vector<ld_obj_values>> read_multi(const ld_bytes& bytes)
{
    ld_test_scene sc;
    const int r = ld_mesh_multi_file(ld_write_temp("multi", bytes).c_str(), &sc.s);
    return {r, sc.values()};
}

// An IFF "PBM " picture of 2 x 2 pixels, each row one literal run, palette 0 black, 1 (9, 8, 7).
const ld_bytes pbm_picture = {'F', 'O', 'R', 'M', 0, 0, 0, 60, 'P', 'B', 'M', ' ', 'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, 2, 0, 2,
                              0, 0, 0, 0, 8, 0, 1, 0, 0, 0, 1, 1, 0, 2, 0, 2, 'C', 'M', 'A', 'P', 0, 0, 0, 6, 0, 0, 0, 9, 8, 7,
                              'B', 'O', 'D', 'Y', 0, 0, 0, 6, 1, 0, 1, 1, 1, 0};

}  // namespace

TEST(LdMeshBin, SizeDecidesMappingOrRefusal)
{
    // 8 vertices and 12 faces: 124 bytes without mapping, 140 with; anything else is refused
    const ld_bytes plain = packed_cube(false), mapped = packed_cube(true);
    sc_object* o = ld_mesh_bin_file(ld_write_temp("cube", plain).c_str());
    ASSERT_TRUE(o && !o->uv);  // the faces reversed
    EXPECT_EQ((std::vector<int32_t>{o->faces[0], o->faces[1], o->faces[2], o->faces[3], o->vertices[18], o->vertices[23]}),
              (std::vector<int32_t>{3, 1, 0, -1, -100, 100}));
    obj_free(o);
    o = ld_mesh_bin_file(ld_write_temp("cube", mapped).c_str());
    ASSERT_TRUE(o && o->uv);
    EXPECT_EQ((std::vector<int32_t>(o->uv, o->uv + 4)), (std::vector<int32_t>{0, 15 * 256, 30 * 256, 45 * 256}));
    obj_free(o);
    // the first face naming vertex 8 of 8; n = -2 (6 (-2 + 12) + 4 = 64 bytes); 30001 faces, written in full
    ld_bytes bad_index = plain, negative = plain, too_many = {0, 0, 0x31, 0x75};
    bad_index[4 + 48] = 8, negative[0] = 0xfe, negative[1] = 0xff, negative.resize(64), too_many.resize(4 + 6 * 30001);
    for (const ld_bytes& b : {ld_cat({plain, {0}}), ld_bytes(mapped.begin(), mapped.end() - 1), ld_bytes{8, 0, 12}, bad_index, negative, too_many})
        EXPECT_EQ(ld_mesh_bin_file(ld_write_temp("refused", b).c_str()), nullptr) << b.size();
    EXPECT_EQ(ld_mesh_bin_file(nullptr), nullptr);
}

TEST(LdMulti, ObjectsFacesMappingNamesAndFailuresKeepingTheObjectsBefore)
{
    const auto [r, o] = read_multi(multi_file({quad_and_tri, tri}));
    ASSERT_EQ(r, 0);
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0].name, "QuadAndTr");  // nine of the ten bytes
    EXPECT_EQ(o[0].vertices, quad_and_tri.xyz);  // unscaled
    // (3, 4, 5, 5) is a triangle, (0, 1, 2, 3) a quad; obj_finish reverses both
    EXPECT_EQ(o[0].faces, (std::vector<int32_t>{5, 4, 3, -1, 2, 1, 0, 3}));
    // u of every vertex first, then v; texels x 256
    EXPECT_EQ(o[0].uv, (std::vector<int32_t>{0, 2560, 256, 5120, 512, 7680, 768, 10240, 1024, 12800, -1280, 65280}));
    EXPECT_TRUE(o[1].uv.empty() && o[1].faces == (std::vector<int32_t>{2, 1, 0, -1}));
    multi_obj index0 = tri, no_kind = tri, quad_outside = tri, many_faces = tri;
    index0.index = 0;
    no_kind.flags = 2 | 4 | 16, no_kind.uv = {0, 0, 0, 0, 0, 0};
    quad_outside.faces = {0, 1, 2, 3};
    many_faces.face_count = 30001;
    const ld_bytes good = multi_file({quad_and_tri, tri});
    const std::pair<ld_bytes, size_t> cases[] = {  // and the objects kept
        {multi_file({quad_and_tri, index0}), 1} /* second object with index 0 */, {multi_file({quad_and_tri, no_kind}), 1},
        {multi_file({quad_and_tri, quad_outside}), 1}, {multi_file({quad_and_tri, many_faces}), 1},
        {multi_file({quad_and_tri, tri}, 3), 2} /* count beyond the objects */, {ld_bytes(good.begin(), good.end() - 1), 1},
        {ld_bytes(good.begin(), good.begin() + 2 + 18 + 6 * 12 + 6 * 4 + 2 + 6 * 6 + 2 * 8 + 5), 1} /* cut in the second header */,
        {{1}, 0}};
    for (const auto& [bytes, kept] : cases) {
        const auto [r, o] = read_multi(bytes);
        EXPECT_EQ(r, 1) << &bytes - &cases[0].first;
        EXPECT_EQ(o.size(), kept) << &bytes - &cases[0].first;
    }
    ld_test_scene sc;
    EXPECT_EQ(ld_mesh_multi_file((testing::TempDir() + "/ld_file_none").c_str(), &sc.s), 1);
    EXPECT_EQ(ld_mesh_multi_file(ld_write_temp("multi_ok", good).c_str(), nullptr), 1);  // no scene to append to
}

TEST(LdObjectFile, DispatchesPackedThen3dsThenMulti)
{
    const auto tds = [](const std::string& name, const std::vector<uint16_t>& faces, const ld_bytes& before = {}) {
        return ld_main(ld_editor(ld_cat({before, ld_object(name, ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 1, 0}), ld_face_list(faces)})))})));
    };
    const struct { ld_bytes bytes; int result; std::vector<std::string> names; } cases[] = {
        {packed_cube(true), 0, {""}}, {tds("Tri3ds", {0, 1, 2, 0}), 0, {"Tri3ds"}}, {multi_file({quad_and_tri}), 0, {"QuadAndTr"}},
        // the 3DS reader's first object stays when it fails, and the multi reader fails too
        {tds("Broken", {0, 0, 5, 0}, ld_object("First", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}), ld_face_list({})})))), 1, {"First"}},
        {ld_cat({packed_cube(false), {0}}), 1, {}}};  // 125 bytes: no packed mesh, no 3DS, no multi-object file
    for (const auto& c : cases) {
        ld_test_scene sc;
        EXPECT_EQ(ld_object_file(ld_write_temp("any", c.bytes).c_str(), &sc.s), c.result) << &c - cases;
        std::vector<std::string> names;
        for (const auto& o : sc.values())
            names.push_back(o.name);
        EXPECT_EQ(names, c.names) << &c - cases;
    }
    // a packed mesh with no scene to take it is freed (the leak check of the sanitizer build)
    EXPECT_EQ(ld_object_file(ld_write_temp("any", packed_cube(false)).c_str(), nullptr), 1);
}

TEST(LdFileDescriptors, EveryReaderClosesItsFileOnEveryPath)
{
    const ld_bytes tds = ld_main(ld_cat({ld_editor(ld_object("Cam", ld_chunk(0x4700, ld_bytes(32, 0)))), ld_chunk(0xB000, ld_kf_header())}));
    const std::string fifo = testing::TempDir() + "/ld_file_fifo_" + std::to_string(getpid());
    const std::vector<std::string> paths = {
        ld_write_temp("fd_packed", packed_cube(true)), ld_write_temp("fd_3ds", tds), ld_write_temp("fd_3ds_cut", ld_bytes(tds.begin(), tds.begin() + 20)),
        ld_write_temp("fd_multi", multi_file({quad_and_tri})), ld_write_temp("fd_pic", pbm_picture), ld_write_temp("fd_empty", {}),
        ld_write_temp("fd_text", ld_text("garbage garbage garbage")), testing::TempDir(), testing::TempDir() + "/ld_file_missing", fifo};
    unlink(fifo.c_str());  // a pipe without a writer: refused at once, never waited on
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int before = ld_open_fds();
    for (const std::string& p : paths) {
        ld_test_scene sc;
        sc_scene cam[2] = {};
        kf_camera_path path{};
        ld_object_file(p.c_str(), &sc.s), ld_3ds_meshes_file(p.c_str(), &sc.s), ld_mesh_multi_file(p.c_str(), &sc.s);
        obj_free(ld_mesh_bin_file(p.c_str()));
        for (int n : {1, 2})
            if (ld_3ds_camera_file(p.c_str(), n, &cam[n - 1]) == 0)
                sc_release(&cam[n - 1]);
        ld_3ds_keys_file(p.c_str(), "", &path);
        free(path.pos_keys), free(path.roll_keys), free(path.target_keys);
        tex_buffer t = ld_texture_file(p.c_str(), nullptr);
        EXPECT_EQ(t != nullptr, p.find("fd_pic") != std::string::npos) << p;
        tex_free(t);
        EXPECT_EQ(ld_open_fds(), before) << p;
    }
    unlink(fifo.c_str());
}
