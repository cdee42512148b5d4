// The packed and multi-object mesh files, the mesh file dispatcher, picture files as textures,
// and every disk reader closing its file on every path.
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
#include "picture/iff.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/engine3d/readers/ld_file_util.h"

namespace {

// A packed mesh: the corners of a cube (x 100) and its 12 triangles, with optional mapping bytes.
ld_bytes packed_cube(bool uv)
{
    ld_bytes b;
    ld_put16(b, 8);
    ld_put16(b, 12);
    for (int i = 0; i < 8; i++)
        for (int k = 0; k < 3; k++)
            ld_put16(b, static_cast<uint16_t>((i >> k) & 1 ? 100 : -100));
    const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                              {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
    for (const auto& f : faces)
        for (int v : f)
            ld_put16(b, static_cast<uint32_t>(v));
    if (uv)
        for (int i = 0; i < 16; i++)
            b.push_back(static_cast<uint8_t>(i * 15));
    return b;
}

struct multi_obj {
    uint16_t index;
    std::string name;  // up to 10 bytes
    uint16_t flags;
    std::vector<int32_t> xyz;
    std::vector<uint16_t> faces;  // a, b, c, d
    std::vector<int16_t> u, v;
    int vertex_count = -1, face_count = -1;  // counts as written, when not the lists' own
};

ld_bytes multi_file(const std::vector<multi_obj>& objs, int count = -1)
{
    ld_bytes b;
    ld_put16(b, static_cast<uint32_t>(count >= 0 ? count : static_cast<int>(objs.size())));
    for (const multi_obj& o : objs) {
        ld_put16(b, o.index);
        char name[10] = {};
        memcpy(name, o.name.data(), std::min<size_t>(10, o.name.size()));
        b.insert(b.end(), name, name + 10);
        ld_put16(b, o.flags);
        const uint32_t n = static_cast<uint32_t>(o.vertex_count >= 0 ? o.vertex_count : static_cast<int>(o.xyz.size() / 3));
        ld_put16(b, n);
        ld_put16(b, static_cast<uint32_t>(o.face_count >= 0 ? o.face_count : static_cast<int>(o.faces.size() / 4)));
        for (int32_t c : o.xyz)
            ld_put32(b, static_cast<uint32_t>(c));
        if (o.flags & 2) {
            for (int16_t u : o.u)
                ld_put16(b, static_cast<uint16_t>(u));
            for (int16_t v : o.v)
                ld_put16(b, static_cast<uint16_t>(v));
        }
        if (o.flags & 4) {
            ld_put16(b, 126);
            for (size_t i = 0; i < 3 * n; i++)
                ld_put16(b, 0x7777);
        }
        for (uint16_t f : o.faces)
            ld_put16(b, f);
    }
    return b;
}

const multi_obj quad_and_tri = {0, "QuadAndTriangle", 1 | 2 | 4,
                                {0, 0, 0, 1000, 0, 0, 1000, 1000, 0, 0, 1000, 0, 500, 500, -70000, 3, 4, 5},
                                {3, 4, 5, 5, 0, 1, 2, 3},
                                {0, 1, 2, 3, 4, -5},
                                {10, 20, 30, 40, 50, 255}};

struct Multi {
    int result;
    std::vector<ld_obj_values> objects;
};

Multi read_multi(const std::string& name, const ld_bytes& bytes)
{
    ld_test_scene sc;
    const int r = ld_mesh_multi_file(ld_write_temp(name, bytes).c_str(), &sc.s);
    return {r, sc.values()};
}

// An IFF "PBM " picture of w x h pixels, every row one literal run (w at most 128), the
// palette entry i = (i, 255 - i, i / 2).
ld_bytes pbm_picture(int w, int h, uint8_t (*pixel)(int, int))
{
    auto be32 = [](ld_bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); };
    ld_bytes body = {'P', 'B', 'M', ' ', 'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, uint8_t(w), 0, uint8_t(h),
                     0, 0, 0, 0, 8, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 'C', 'M', 'A', 'P', 0, 0, 3, 0};
    for (int i = 0; i < 256; i++)
        body.insert(body.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2)});
    ld_bytes rows;
    for (int y = 0; y < h; y++) {
        rows.push_back(static_cast<uint8_t>(w - 1));
        for (int x = 0; x < w; x++)
            rows.push_back(pixel(x, y));
    }
    body.insert(body.end(), {'B', 'O', 'D', 'Y'});
    be32(body, static_cast<uint32_t>(rows.size()));
    body.insert(body.end(), rows.begin(), rows.end());
    ld_bytes file = {'F', 'O', 'R', 'M'};
    be32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

uint8_t pattern(int x, int y) { return static_cast<uint8_t>(x * 3 + y * 7 + 1); }

}  // namespace

TEST(LdMeshBin, SizeDecidesMappingOrRefusal)
{
    // 8 vertices and 12 faces: 124 bytes without mapping, 140 with; anything else is refused
    const ld_bytes plain = packed_cube(false), mapped = packed_cube(true);
    ASSERT_EQ(plain.size(), 124u);
    ASSERT_EQ(mapped.size(), 140u);
    sc_object* o = ld_mesh_bin_file(ld_write_temp("cube", plain).c_str());
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->uv, nullptr);
    EXPECT_EQ((std::vector<int32_t>(o->faces, o->faces + 4)), (std::vector<int32_t>{3, 1, 0, -1}));  // reversed
    EXPECT_EQ((std::vector<int32_t>(o->vertices + 21, o->vertices + 24)), (std::vector<int32_t>{100, 100, 100}));
    obj_free(o);
    o = ld_mesh_bin_file(ld_write_temp("cube", mapped).c_str());
    ASSERT_NE(o, nullptr);
    ASSERT_NE(o->uv, nullptr);
    EXPECT_EQ((std::vector<int32_t>(o->uv, o->uv + 4)), (std::vector<int32_t>{0, 15 * 256, 30 * 256, 45 * 256}));
    obj_free(o);

    ld_bytes bad_index = plain;
    bad_index[4 + 48] = 8;  // the first face names vertex 8 of 8
    ld_bytes negative = plain;
    negative[0] = 0xfe;  // n = -2: 6 (-2 + 12) + 4 = 64 bytes
    negative[1] = 0xff;
    negative.resize(64);
    ld_bytes too_many = {0, 0, 0x31, 0x75};  // 30001 faces, no vertices, written in full
    too_many.resize(4 + 6 * 30001);
    const struct {
        const char* what;
        ld_bytes bytes;
    } refused[] = {{"125 bytes", ld_cat({plain, {0}})}, {"139 bytes", ld_bytes(mapped.begin(), mapped.end() - 1)},
                   {"3 bytes", {8, 0, 12}},
                   {"face index outside", bad_index}, {"negative count", negative}, {"more than 30000 faces", too_many}};
    for (const auto& c : refused)
        EXPECT_EQ(ld_mesh_bin_file(ld_write_temp("refused", c.bytes).c_str()), nullptr) << c.what;
    EXPECT_EQ(ld_mesh_bin_file(nullptr), nullptr);
}

TEST(LdMulti, ObjectsFacesMappingAndNames)
{
    multi_obj second = {1, "Tri", 8, {0, 0, 0, 0, 10, 0, 0, 0, 10}, {0, 1, 2, 2}, {}, {}};
    const Multi m = read_multi("multi", multi_file({quad_and_tri, second}));
    ASSERT_EQ(m.result, 0);
    ASSERT_EQ(m.objects.size(), 2u);
    const ld_obj_values& a = m.objects[0];
    EXPECT_EQ(a.name, "QuadAndTr");  // nine of the ten bytes
    EXPECT_EQ(a.vertices, quad_and_tri.xyz);  // unscaled
    // (3, 4, 5, 5) is a triangle, (0, 1, 2, 3) a quad; obj_finish reverses both
    EXPECT_EQ(a.faces, (std::vector<int32_t>{5, 4, 3, -1, 2, 1, 0, 3}));
    // u of every vertex first, then v; texels x 256
    EXPECT_EQ(a.uv, (std::vector<int32_t>{0, 2560, 256, 5120, 512, 7680, 768, 10240, 1024, 12800, -1280, 65280}));
    EXPECT_FALSE(m.objects[1].has_uv);
    EXPECT_EQ(m.objects[1].faces, (std::vector<int32_t>{2, 1, 0, -1}));
    // 32 bytes, one vertex at the 32-bit corners: its radius saturates (it once took seconds)
    const Multi far = read_multi("far", multi_file({{0, "Far", 1, {INT32_MIN, INT32_MAX, 0}, {}, {}, {}}}));
    ASSERT_EQ(far.objects.size(), 1u);
    EXPECT_EQ(far.objects[0].radius, INT32_MAX);
}

TEST(LdMulti, FailuresKeepTheObjectsBefore)
{
    multi_obj tri = {1, "Tri", 1, {0, 0, 0, 0, 10, 0, 0, 0, 10}, {0, 1, 2, 2}, {}, {}};
    multi_obj index0 = tri;
    index0.index = 0;
    multi_obj no_kind = tri;
    no_kind.flags = 2 | 4 | 16;
    no_kind.u = no_kind.v = {0, 0, 0};
    multi_obj quad_outside = tri;
    quad_outside.faces = {0, 1, 2, 3};
    multi_obj many_faces = tri;
    many_faces.face_count = 30001;
    const ld_bytes good = multi_file({quad_and_tri, tri});
    const struct {
        const char* what;
        ld_bytes bytes;
        size_t kept;
    } cases[] = {
        {"second object with index 0", multi_file({quad_and_tri, index0}), 1},
        {"flags without 1 or 8", multi_file({quad_and_tri, no_kind}), 1},
        {"quad corner outside", multi_file({quad_and_tri, quad_outside}), 1},
        {"more than 30000 faces", multi_file({quad_and_tri, many_faces}), 1},
        {"count beyond the objects", multi_file({quad_and_tri, tri}, 3), 2},
        {"cut in the last face", ld_bytes(good.begin(), good.end() - 1), 1},
        {"cut in the second header", ld_bytes(good.begin(), good.begin() + 2 + 18 + 6 * 12 + 6 * 4 + 2 + 6 * 6 + 2 * 8 + 5), 1},
        {"one byte", {1}, 0},
    };
    for (const auto& c : cases) {
        const Multi m = read_multi("multi_bad", c.bytes);
        EXPECT_EQ(m.result, 1) << c.what;
        EXPECT_EQ(m.objects.size(), c.kept) << c.what;
    }
    ld_test_scene sc;
    EXPECT_EQ(ld_mesh_multi_file((testing::TempDir() + "/ld_file_none").c_str(), &sc.s), 1);
    EXPECT_EQ(ld_mesh_multi_file(ld_write_temp("multi_ok", good).c_str(), nullptr), 1);  // no scene to append to
}

TEST(LdObjectFile, DispatchesPackedThen3dsThenMulti)
{
    const ld_bytes tds = ld_main(ld_editor(ld_object("Tri3ds", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 1, 0}),
                                                                                ld_face_list({0, 1, 2, 0})})))));
    ld_bytes broken_3ds = ld_main(ld_editor(ld_cat({
        ld_object("First", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}), ld_face_list({})}))),
        ld_object("Broken", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}), ld_face_list({0, 0, 5, 0})})))})));
    ld_bytes packed_plus = packed_cube(false);
    packed_plus.push_back(0);  // 125 bytes: no packed mesh, no 3DS, no multi-object file either
    const struct {
        const char* what;
        ld_bytes bytes;
        int result;
        std::vector<std::string> names;
    } cases[] = {
        {"packed mesh", packed_cube(true), 0, {""}},
        {"3DS", tds, 0, {"Tri3ds"}},
        {"multi-object", multi_file({quad_and_tri}), 0, {"QuadAndTr"}},
        // the 3DS reader's first object stays when it fails, and the multi reader fails too
        {"3DS failing part-way", broken_3ds, 1, {"First"}},
        {"none of them", packed_plus, 1, {}},
    };
    for (const auto& c : cases) {
        ld_test_scene sc;
        EXPECT_EQ(ld_object_file(ld_write_temp("any", c.bytes).c_str(), &sc.s), c.result) << c.what;
        std::vector<std::string> names;
        for (const auto& o : sc.values())
            names.push_back(o.name);
        EXPECT_EQ(names, c.names) << c.what;
    }
    // a packed mesh with no scene to take it is freed (the leak check of the sanitizer build)
    EXPECT_EQ(ld_object_file(ld_write_temp("any", packed_cube(false)).c_str(), nullptr), 1);
}

TEST(LdTextureFile, PictureFilesBecomeTextures)
{
    // 128 x 100 pixels stretched over 256 x 256 texels: texel (255, 255) is pixel (127, 99)
    const ld_bytes pic = pbm_picture(128, 100, pattern);
    uint8_t palette[768] = {};
    tex_buffer t = ld_texture_file(ld_write_temp("pic.iff", pic).c_str(), palette);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(t) % 1024, 0u);
    int wrong = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            wrong += t[y * 256 + x] != pattern((x * 128) >> 8, (y * 100) >> 8);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ((std::vector<int>{palette[765], palette[766], palette[767]}), (std::vector<int>{255, 0, 127}));
    tex_free(t);

    // failures: null, the picture loader's message
    const struct {
        const char* what;
        std::string path;
        const char* msg;
    } failures[] = {{"missing file", testing::TempDir() + "/ld_file_no_picture", "File not found!"},
                    {"no picture", ld_write_temp("nopic", ld_text("not a picture at all")), "Invalid picture."},
                    {"cut body", ld_write_temp("cutpic", ld_bytes(pic.begin(), pic.end() - 200)), "Picture data ends early."}};
    for (const auto& c : failures) {
        EXPECT_EQ(ld_texture_file(c.path.c_str(), palette), nullptr) << c.what;
        EXPECT_STREQ(iff_msg, c.msg) << c.what;
    }
    EXPECT_EQ(ld_texture_file(nullptr, palette), nullptr);
    EXPECT_EQ(ld_texture_file(testing::TempDir().c_str(), palette), nullptr);  // a directory
    EXPECT_STREQ(iff_msg, "Disk error.");
}

TEST(LdFileDescriptors, EveryReaderClosesItsFileOnEveryPath)
{
    const ld_bytes tds = ld_main(ld_cat({ld_editor(ld_object("Cam", ld_chunk(0x4700, ld_bytes(32, 0)))),
                                         ld_chunk(0xB000, ld_kf_header())}));
    const std::vector<std::string> paths = {
        ld_write_temp("fd_packed", packed_cube(true)), ld_write_temp("fd_3ds", tds),
        ld_write_temp("fd_3ds_cut", ld_bytes(tds.begin(), tds.begin() + 20)),
        ld_write_temp("fd_multi", multi_file({quad_and_tri})), ld_write_temp("fd_pic", pbm_picture(8, 8, pattern)),
        ld_write_temp("fd_empty", {}), ld_write_temp("fd_text", ld_text("garbage garbage garbage")),
        testing::TempDir(), testing::TempDir() + "/ld_file_missing",
        testing::TempDir() + "/ld_file_fifo_" + std::to_string(getpid())};
    // a pipe without a writer: refused at once, never waited on
    unlink(paths.back().c_str());
    ASSERT_EQ(mkfifo(paths.back().c_str(), 0600), 0);
    const int before = ld_open_fds();
    for (const std::string& p : paths) {
        SCOPED_TRACE(p);
        ld_test_scene sc;
        ld_object_file(p.c_str(), &sc.s);
        EXPECT_EQ(ld_open_fds(), before);
        ld_3ds_meshes_file(p.c_str(), &sc.s);
        EXPECT_EQ(ld_open_fds(), before);
        ld_mesh_multi_file(p.c_str(), &sc.s);
        EXPECT_EQ(ld_open_fds(), before);
        obj_free(ld_mesh_bin_file(p.c_str()));
        EXPECT_EQ(ld_open_fds(), before);
        for (int n : {1, 2}) {
            sc_scene cam{};
            if (ld_3ds_camera_file(p.c_str(), n, &cam) == 0)
                sc_release(&cam);
            EXPECT_EQ(ld_open_fds(), before);
        }
        kf_camera_path path{};
        ld_3ds_keys_file(p.c_str(), "", &path);
        free(path.pos_keys);
        free(path.roll_keys);
        free(path.target_keys);
        EXPECT_EQ(ld_open_fds(), before);
        tex_free(ld_texture_file(p.c_str(), nullptr));
        EXPECT_EQ(ld_open_fds(), before);
    }
    unlink(paths.back().c_str());
}
