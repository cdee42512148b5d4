// The 3DS file readers against the in-memory reader on the same bytes, written to files: chunk
// walks, meshes, camera paths, short files; the camera object; descriptors closed on every path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/emb.h"
#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/engine3d/readers/ld_file_util.h"

namespace {

ld_bytes tri_mesh(const std::string& name, const ld_bytes& extra = {})
{
    return ld_object(name, ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1.5f, 0, 0, 0, -0.15f, 0.19f}),
                                           ld_face_list({0, 1, 2, 7}), extra})));
}

ld_bytes keyframer(const ld_bytes& camera_tracks, const ld_bytes& target_tracks)
{
    return ld_chunk(0xB000, ld_cat({ld_kf_header(), ld_node(0xB004, "Camera01", target_tracks),
                                    ld_node(0xB003, "Camera01", camera_tracks), ld_segment(2, 30)}));
}

// A camera chunk: position, target, bank, lens.
ld_bytes camera_chunk(std::vector<float> v, size_t keep = 32)
{
    ld_bytes b;
    for (float f : v)
        ld_putf(b, f);
    b.resize(keep);
    return ld_chunk(0x4700, b);
}

ld_bytes light(const std::string& name) { return ld_object(name, ld_chunk(0x4600, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})); }

// A scene of several kinds: meshes with and without mapping, lists in another order, a light, a
// camera, a long name, materials before the objects, and a keyframer with spline keys.
ld_bytes rich_image()
{
    const ld_bytes mapped = ld_object(
        "Mapped", ld_mesh(ld_cat({ld_mapping(3, {0, 0, 1, 0.5f, -0.25f, 1}), ld_face_list({2, 1, 0, 0, 0, 1, 2, 0}),
                                  ld_vertex_list({1, 2, 3, -4, 5, 6, 7, -8, 9.75f})})));
    const ld_bytes cam = ld_object("Camera01", camera_chunk({1, 2, 3, 4, 5, 6, 0.5f, 35}));
    const ld_bytes kf = keyframer(ld_cat({ld_track(0xB020, {{0, {1, 2, 3}, 0x09, {0.5f, 0.25f}}, {30, {4, 5, 6}}}),
                                          ld_track(0xB024, {{0, {0.0f}}, {15, {10.0f}}})}),
                                  ld_track(0xB020, {{0, {0, 0, 12.5f}}}));
    return ld_main(ld_cat({ld_chunk(0x0002, {3, 0, 0, 0}),
                           ld_editor(ld_cat({ld_chunk(0xAFFF, {1, 2, 3}), tri_mesh("Pyramid"), light("Light01"),
                                             mapped, cam, tri_mesh("TenLetters")})),
                           kf}));
}

struct Read {
    int result;
    std::vector<ld_obj_values> objects;
};

Read meshes_mem(const ld_bytes& image)
{
    ld_test_scene sc;
    const int r = ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), &sc.s);
    return {r, sc.values()};
}

Read meshes_file(const std::string& path)
{
    ld_test_scene sc;
    const int r = ld_3ds_meshes_file(path.c_str(), &sc.s);
    return {r, sc.values()};
}

struct Path {
    int result;
    kf_camera_path p;
    std::vector<int32_t> pos, roll, target;
    Path(int r, const kf_camera_path& q) : result(r), p(q)
    {
        if (q.pos_keys)
            pos.assign(q.pos_keys, q.pos_keys + 4 * q.pos_count);
        if (q.roll_keys)
            roll.assign(q.roll_keys, q.roll_keys + 2 * q.roll_count);
        if (q.target_keys)
            target.assign(q.target_keys, q.target_keys + 4 * q.target_count);
        free(q.pos_keys);
        free(q.roll_keys);
        free(q.target_keys);
    }
};

// Both readers on a record pre-filled with a mark, so untouched fields show.
Path keys_mem(const ld_bytes& image)
{
    kf_camera_path p{-7, -7, -7, nullptr, -7, nullptr, -7, nullptr};
    const int r = ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", &p);
    return Path(r, p);
}

Path keys_file(const std::string& path)
{
    kf_camera_path p{-7, -7, -7, nullptr, -7, nullptr, -7, nullptr};
    const int r = ld_3ds_keys_file(path.c_str(), "Camera01", &p);
    return Path(r, p);
}

void expect_same_path(const Path& a, const Path& b, const std::string& what)
{
    const auto all = [](const Path& x) {
        return std::vector<int32_t>{x.result, x.p.start_frame, x.p.end_frame, x.p.pos_count, x.p.roll_count, x.p.target_count};
    };
    EXPECT_EQ(all(a), all(b)) << what;
    EXPECT_TRUE(a.pos == b.pos && a.roll == b.roll && a.target == b.target) << what;
}

// Both readers agree on the image written to a file.
void expect_agree(const std::string& name, const ld_bytes& image)
{
    const std::string path = ld_write_temp(name, image);
    const Read m = meshes_mem(image), f = meshes_file(path);
    EXPECT_EQ(m.result, f.result) << name;
    EXPECT_EQ(m.objects, f.objects) << name;
    expect_same_path(keys_mem(image), keys_file(path), name);
}

}  // namespace

TEST(LdFileChunk, WalksLikeTheMemoryTwin)
{
    const ld_bytes image = ld_cat({ld_chunk(0x0002, {1, 2, 3, 4}), ld_chunk(0x1111, {9, 9}), ld_chunk(0x2222, {})});
    ld_bytes bad_len = ld_cat({ld_chunk(0x0002, {}), ld_chunk(0x1111, {1, 2, 3})});
    bad_len[8] = 5;  // second chunk's length below 6
    ld_bytes past_end = ld_cat({ld_chunk(0x0002, {}), ld_chunk(0x1111, {1, 2, 3})});
    past_end[8] = 10;  // one byte past the end
    const struct {
        const char* what;
        const ld_bytes& bytes;
        uint32_t start;
        uint16_t id;
        int32_t budget;
        uint32_t length, pos;  // expected: result and position afterwards
    } cases[] = {
        {"found", image, 0, 0x1111, 100, 8, 16},
        {"budget spent by the first chunk", image, 0, 0x1111, 10, 0, 10},
        {"missing: stops at the end", image, 0, 0x3333, 1000, 0, 24},
        {"start past the end", image, 30, 0x2222, 14, 0, 30},
        {"length below 6", bad_len, 0, 0x1111, 100, 0, 6},
        {"chunk past the end", past_end, 0, 0x1111, 100, 0, 6},
    };
    for (const auto& c : cases) {
        const std::string path = ld_write_temp("chunks", c.bytes);
        FILE* f = fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        fseek(f, c.start, SEEK_SET);
        EXPECT_EQ(ld_chunk_find_file(f, c.id, c.budget), c.length) << c.what;
        EXPECT_EQ(ftell(f), static_cast<long>(c.pos)) << c.what;
        fclose(f);
        // the memory twin on the same bytes
        ld_image_size = static_cast<uint32_t>(c.bytes.size());
        ld_read_pos = c.start;
        EXPECT_EQ(ld_chunk_find_mem(c.bytes.data(), c.id, c.budget), c.length) << c.what;
        EXPECT_EQ(ld_read_pos, c.pos) << c.what;
    }
}

TEST(LdFile3ds, MeshesAndPathsAgreeWithTheMemoryReader)
{
    const ld_bytes rich = rich_image();
    const Read r = meshes_file(ld_write_temp("rich", rich));
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(r.objects.size(), 3u);  // the light and the camera have no mesh
    EXPECT_EQ(r.objects[0].vertices, (std::vector<int32_t>{0, 0, 0, 15, 0, 0, 0, -1, 1}));
    EXPECT_EQ(r.objects[1].uv, (std::vector<int32_t>{0, 0, 58112, 29056, -14528, 58112}));
    EXPECT_EQ(r.objects[2].name, "TenLetter");  // nine characters reach the object
    expect_agree("rich", rich);

    const struct {
        const char* name;
        const uint8_t* bytes;
        const uint32_t* size;
    } embedded[] = {{"bouncer", emb_3ds_bouncer, &emb_3ds_bouncer_size}, {"flyers", emb_3ds_flyers, &emb_3ds_flyers_size},
                    {"receivers", emb_3ds_receivers, &emb_3ds_receivers_size},
                    {"casters", emb_3ds_casters, &emb_3ds_casters_size}, {"box", emb_3ds_box, &emb_3ds_box_size},
                    {"lattice", emb_3ds_lattice, &emb_3ds_lattice_size}, {"orbit", emb_3ds_orbit, &emb_3ds_orbit_size}};
    for (const auto& e : embedded)
        expect_agree(e.name, ld_bytes(e.bytes, e.bytes + *e.size));
    const Path lattice = keys_file(ld_write_temp("lattice", ld_bytes(emb_3ds_lattice, emb_3ds_lattice + emb_3ds_lattice_size)));
    EXPECT_EQ(lattice.result, 0);
    EXPECT_EQ(lattice.p.pos_count, 17);
    EXPECT_EQ(lattice.p.roll_count, 31);
    EXPECT_EQ(lattice.p.target_count, 17);
    EXPECT_EQ(lattice.p.end_frame, 30);

    // broken and odd images: the same results, the same objects
    ld_bytes huge_count = ld_main(ld_editor(ld_object("Big", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}, 10923), ld_face_list({})})))));
    const struct {
        const char* name;
        ld_bytes image;
    } odd[] = {
        {"count past the chunk", ld_main(ld_editor(ld_object("Cut", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}, 2), ld_face_list({})})))))},
        {"too many vertices", huge_count},
        {"face index outside", ld_main(ld_editor(ld_object("Bad", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}), ld_face_list({0, 0, 1, 0})})))))},
        {"value beyond 32 bits", ld_main(ld_editor(ld_object("Far", ld_mesh(ld_cat({ld_vertex_list({3e9f, 0, 0}), ld_face_list({})})))))},
        {"not 3DS", ld_text("hello, world")},
        {"empty", {}},
    };
    for (const auto& c : odd)
        expect_agree(c.name, c.image);
}

TEST(LdFile3ds, ShortFilesFailCleanlyAsInMemory)
{
    // every cut of the scene, each byte flipped in its header area: both readers agree
    const ld_bytes rich = rich_image();
    for (size_t cut = 0; cut <= rich.size(); cut += cut < 64 ? 1 : 7) {
        const ld_bytes part(rich.begin(), rich.begin() + static_cast<long>(cut));
        SCOPED_TRACE(cut);
        expect_agree("cut", part);
    }
    for (size_t at = 0; at < 40; at++) {
        ld_bytes bent = rich;
        bent[at] ^= 0x5a;
        SCOPED_TRACE(at);
        expect_agree("bent", bent);
    }
    EXPECT_EQ(meshes_file(testing::TempDir() + "/ld_file_does_not_exist").result, 1);
    EXPECT_EQ(meshes_file(testing::TempDir()).result, 1);  // a directory opens, but is no file
    EXPECT_EQ(ld_3ds_meshes_file(nullptr, nullptr), 1);
}

TEST(LdFile3ds, KeysAndTrackReader)
{
    const std::vector<ld_key> pos = {{0, {1.0f, -2.0f, 0.35f}}, {10, {-0.05f, 100.0f, 7.77f}}};
    const std::vector<ld_key> roll = {{0, {0.0f}}, {5, {10.0f}}, {14, {360.0f}}};
    const ld_bytes kf_body = ld_cat({ld_node(0xB004, "T", ld_track(0xB020, {{3, {0, 0, 12.5f}}})),
                                     ld_node(0xB003, "C", ld_cat({ld_track(0xB024, roll), ld_track(0xB020, pos)}))});
    const ld_bytes image = ld_main(ld_cat({ld_editor(tri_mesh("Box")),
                                           ld_chunk(0xB000, ld_cat({ld_kf_header(), kf_body, ld_segment(4, 44)}))}));
    const Path p = keys_file(ld_write_temp("keys", image));
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.p.start_frame, 4);
    EXPECT_EQ(p.roll, (std::vector<int32_t>{0, 0, 5, 1629, 14, 58670}));  // 512 / pi per radian

    // the track reader on an open file: found from the position, and back there afterwards
    FILE* f = fopen(ld_write_temp("kf", kf_body).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    const int32_t budget = static_cast<int32_t>(kf_body.size());
    int32_t count = -1;
    int32_t* keys = ld_3ds_track_file(f, &count, 1, budget);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ftell(f), 0);
    free(keys);
    count = -1;
    EXPECT_EQ(ld_3ds_track_file(f, &count, 3, budget), nullptr);
    EXPECT_EQ(ld_3ds_track_file(f, &count, 0, 10), nullptr);  // the budget ends before the camera
    EXPECT_EQ(count, -1);  // written only once a track is found
    fseek(f, 5, SEEK_SET);
    EXPECT_EQ(ld_3ds_track_file(f, &count, 0, budget), nullptr);  // inside a header: garbage
    EXPECT_EQ(ftell(f), 5);
    fclose(f);

    // without a keyframer the record stays as it was
    const Path none = keys_file(ld_write_temp("nokf", ld_main(ld_editor(tri_mesh("Box")))));
    EXPECT_EQ(none.result, 1);
    EXPECT_EQ(none.p.start_frame, -7);
    EXPECT_EQ(none.p.pos_count, -7);
    EXPECT_EQ(ld_3ds_keys_file(ld_write_temp("nokf", image).c_str(), "", nullptr), 1);
}

TEST(LdFile3ds, CameraObjectByNumber)
{
    // a mesh, a camera, a light and a second camera
    const ld_bytes image = ld_main(ld_cat({ld_editor(ld_cat({
        tri_mesh("Box"), ld_object("Camera01", camera_chunk({1.25f, -2, 3, 4, 5, -6.09f, 0.5f, 35})),
        light("Light01"), ld_object("SecondCamera", camera_chunk({-100, 0.19f, -0.15f, 7, 8, 9, 10.0f, 50}))}))}));
    const std::string path = ld_write_temp("cameras", image);
    const int live = sc_live_scenes;
    const struct {
        int n;
        int32_t cam[3], target[3], roll;
        const char* name;
    } cams[] = {{1, {12, -20, 30}, {40, 50, -60}, 81, "Camera01"},
                {2, {-1000, 1, -1}, {70, 80, 90}, 1629, "SecondCam"}};
    for (const auto& c : cams) {
        sc_scene s;
        memset(&s, 0x55, sizeof s);
        ASSERT_EQ(ld_3ds_camera_file(path.c_str(), c.n, &s), 0) << c.n;
        EXPECT_EQ(sc_live_scenes, live + 1);
        EXPECT_EQ((std::vector<int32_t>{s.cam_x, s.cam_y, s.cam_z}), std::vector<int32_t>(c.cam, c.cam + 3));
        EXPECT_EQ((std::vector<int32_t>{s.target_x, s.target_y, s.target_z}), std::vector<int32_t>(c.target, c.target + 3));
        EXPECT_EQ(s.roll, c.roll);
        EXPECT_EQ(std::string(s.name), c.name);
        sc_release(&s);
    }
    EXPECT_EQ(sc_live_scenes, live);

    // fewer cameras than asked, or none asked for: 1, and no scene left set up
    sc_scene s{};
    EXPECT_EQ(ld_3ds_camera_file(path.c_str(), 3, &s), 1);
    EXPECT_EQ(ld_3ds_camera_file(path.c_str(), 0, &s), 1);
    EXPECT_EQ(sc_live_scenes, live);
    // a camera chunk too short for its seven values, or a value beyond 32 bits
    for (const ld_bytes& bad : {camera_chunk({1, 2, 3, 4, 5, 6, 0.5f}, 27), camera_chunk({1, 2, 3, 4, 5, 3e9f, 0, 0})}) {
        const std::string p = ld_write_temp("badcam", ld_main(ld_editor(ld_object("Cam", bad))));
        EXPECT_EQ(ld_3ds_camera_file(p.c_str(), 1, &s), 1);
        EXPECT_EQ(sc_live_scenes, live);
    }
    // the bank needs only 28 bytes: the lens may be missing
    const std::string lensless = ld_write_temp("lensless", ld_main(ld_editor(ld_object("Cam", camera_chunk({0, 0, 0, 1, 1, 1, 1}, 28)))));
    ASSERT_EQ(ld_3ds_camera_file(lensless.c_str(), 1, &s), 0);
    EXPECT_EQ(s.roll, 162);
    sc_release(&s);
    EXPECT_EQ(sc_live_scenes, live);
}
