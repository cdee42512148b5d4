// The 3DS readers on images built byte by byte: every image is read from memory and from a file
// and both must agree (one walker, two cursors); chunk walks and the positions they leave,
// meshes, cut files, camera paths, the camera object.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/engine3d/readers/ld_file_util.h"

namespace {

ld_bytes tri_mesh(const std::string& name, const ld_bytes& extra = {})
{
    return ld_object(name, ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1.5f, 0, 0, 0, -0.15f, 0.19f}), ld_face_list({0, 1, 2, 7}), extra})));
}

// The result and the objects' names of an image read from memory (sized) and from a file, which must agree.
std::pair<int, std::vector<std::string>> meshes(const ld_bytes& image, std::vector<ld_obj_values>* objects = nullptr)
{
    ld_test_scene m, f;
    std::pair<int, std::vector<std::string>> r = {ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), &m.s), {}};
    EXPECT_EQ(ld_3ds_meshes_file(ld_write_temp("meshes", image).c_str(), &f.s), r.first);
    EXPECT_EQ(m.values(), f.values());
    for (const ld_obj_values& o : m.values())
        r.second.push_back(o.name);
    if (objects)
        *objects = m.values();
    return r;
}

// A camera path read from memory and from a file (which must agree) as the result, the frames and
// the key arrays; the record is pre-filled with -7, so untouched fields show.
std::vector<std::vector<int32_t>> keys(const ld_bytes& image)
{
    std::vector<std::vector<int32_t>> got[2];
    for (int from_file = 0; from_file < 2; from_file++) {
        kf_camera_path q{-7, -7, -7, nullptr, -7, nullptr, -7, nullptr};
        const int r = from_file ? ld_3ds_keys_file(ld_write_temp("keys", image).c_str(), "Camera01", &q)
                                : ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", &q);
        got[from_file] = {{r, q.start_frame, q.end_frame, q.pos_count}, {}, {}, {}};
        int32_t* arrays[3] = {q.pos_keys, q.roll_keys, q.target_keys};
        const int32_t n[3] = {4 * q.pos_count, 2 * q.roll_count, 4 * q.target_count};
        for (int i = 0; i < 3; free(arrays[i++]))
            got[from_file][i + 1] = arrays[i] ? std::vector<int32_t>(arrays[i], arrays[i] + n[i]) : std::vector<int32_t>{};
    }
    EXPECT_EQ(got[0], got[1]);
    return got[0];
}

const std::vector<ld_key> pos_keys = {{0, {1.0f, -2.0f, 0.35f}}, {10, {-0.05f, 100.0f, 7.77f}}, {30, {1.0f, -2.0f, 0.35f}}};
const std::vector<ld_key> roll_keys = {{0, {0.0f}}, {5, {10.0f}}, {14, {360.0f}}, {15, {0.0f}}, {16, {-1.0f}}};
const std::vector<ld_key> target_keys = {{3, {0.0f, 0.0f, 12.5f}}};

ld_bytes camera_image(const ld_bytes& cam, const ld_bytes& target, bool header = true, bool segment = true)
{
    return ld_main(ld_cat({ld_editor(tri_mesh("Box")),
                           ld_chunk(0xB000, ld_cat({header ? ld_kf_header() : ld_bytes{}, ld_node(0xB002, "Object01", ld_track(0xB020, {{0, {5, 5, 5}}})),
                                                    ld_node(0xB004, "Camera01", target), ld_node(0xB003, "Camera01", cam),
                                                    segment ? ld_segment(0, 30) : ld_bytes{}}))}));
}

// A camera object: position, target, bank, lens (cut to `keep` bytes).
ld_bytes camera(const std::string& name, std::vector<float> v, size_t keep = 32)
{
    ld_bytes b;
    for (float f : v)
        ld_putf(b, f);
    b.resize(keep);
    return ld_object(name, ld_chunk(0x4700, b));
}

}  // namespace

TEST(Ld3dsChunk, WalksAlikeInMemoryAndInAFileAndLeaveTheirPositions)
{
    const ld_bytes image = ld_cat({ld_chunk(0x0002, {1, 2, 3, 4}), ld_chunk(0x1111, {9, 9}), ld_chunk(0x2222, {})});
    // the second chunk's length below 6; one byte past the end (found, what is read of it stays
    // inside); and the first chunk running past the end too (the search stops there)
    ld_bytes bad_len = ld_cat({ld_chunk(0x0002, {}), ld_chunk(0x1111, {1, 2, 3})}), past_end = bad_len, step_past;
    bad_len[8] = 5, past_end[8] = 10, step_past = past_end, step_past[2] = 40;
    const struct { const ld_bytes& bytes; uint32_t start; uint16_t id; int32_t budget; uint32_t length, pos; } cases[] = {
        {image, 0, 0x1111, 100, 8, 16}, {image, 0, 0x1111, 10, 0, 10} /* budget spent by the first */,
        {image, 0, 0x1111, 11, 8, 16} /* budget of exactly one chunk */, {image, 0, 0x3333, 1000, 0, 24} /* missing */,
        {image, 30, 0x2222, 14, 0, 30} /* start past the end */, {bad_len, 0, 0x1111, 100, 0, 6},
        {past_end, 0, 0x1111, 100, 10, 12}, {step_past, 0, 0x1111, 100, 0, 15}};
    for (const auto& c : cases) {
        FILE* f = fopen(ld_write_temp("chunks", c.bytes).c_str(), "rb");
        ASSERT_TRUE(f && fseek(f, c.start, SEEK_SET) == 0);
        EXPECT_EQ((std::vector<long>{ld_chunk_find_file(f, c.id, c.budget), ftell(f)}), (std::vector<long>{c.length, c.pos})) << &c - cases;
        fclose(f);
        ld_image_size = static_cast<uint32_t>(c.bytes.size()), ld_read_pos = c.start;
        EXPECT_EQ((std::vector<uint32_t>{ld_chunk_find_mem(c.bytes.data(), c.id, c.budget), ld_read_pos}), (std::vector<uint32_t>{c.length, c.pos})) << &c - cases;
    }
    int32_t count = 5;  // no file: nothing
    char name[10] = {'x'};
    ld_name_file(nullptr, name);
    EXPECT_TRUE(ld_chunk_find_file(nullptr, 0x1111, 100) == 0 && ld_chunk_main_file(nullptr) == 0 &&
                ld_3ds_track_file(nullptr, &count, 0, 100) == nullptr && name[0] == 0);
}

TEST(Ld3dsMeshes, ObjectsNamesAndConversions)
{
    const ld_bytes quad = ld_object("LongName10", ld_mesh(ld_cat({
        ld_chunk(0x4111, {0, 0}),  // vertex flags: skipped
        ld_face_list({0, 1, 2, 0x0007, 2, 3, 0, 0x0003}), ld_mapping(3, {1.0f, 0.0f, 0.5f, -0.25f, 0.0f, 1.0f, 2.0f, 0.001f}),
        ld_vertex_list({-0.15f, 0.19f, 0.0f, 10.0f, -10.0f, 1.25f, 3.3f, 0.0f, -99.99f, 0.0f, 0.0f, 0.0f})})));
    const ld_bytes image = ld_main(ld_cat({ld_chunk(0x0002, {3, 0, 0, 0}), ld_editor(ld_cat({
        ld_chunk(0x3D3E, {3, 0, 0, 0}), ld_chunk(0xAFFF, ld_bytes(40, 0)), ld_object("Omni01", ld_chunk(0x4600, ld_bytes(12, 0))),
        quad, tri_mesh("Tri")}))}));
    std::vector<ld_obj_values> o;
    EXPECT_EQ(meshes(image, &o), std::pair(0, std::vector<std::string>{"LongName1", "Tri"}));  // the light has no mesh
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0].vertices, (std::vector<int32_t>{-1, 1, 0, 100, -100, 12, 32, 0, -999, 0, 0, 0}));  // x 10, truncated
    EXPECT_EQ(o[0].faces, (std::vector<int32_t>{2, 1, 0, -1, 0, 3, 2, -1}));  // flags become -1, the winding reversed
    // one pair per vertex whatever the chunk's count says; x 256 x 227
    EXPECT_EQ(o[0].uv, (std::vector<int32_t>{58112, 0, 29056, -14528, 0, 58112, 116224, 58}));
    EXPECT_TRUE(o[1].uv.empty() && o[1].mode == 1u);
    ld_test_scene sc;  // the size from the main chunk
    EXPECT_TRUE(ld_3ds_meshes_mem(image.data(), &sc.s) == 0 && sc.values() == o);
    // three squares of 2.1e9: the radius saturates, at once
    meshes(ld_main(ld_editor(ld_object("Far", ld_mesh(ld_cat({ld_vertex_list({2.1e8f, 2.1e8f, 2.1e8f}), ld_face_list({})}))))), &o);
    EXPECT_EQ(o.at(0).radius, INT32_MAX);
    // only the objects' lengths come from the editor's budget: the walk goes on into its siblings
    EXPECT_EQ(meshes(ld_main(ld_cat({ld_editor(tri_mesh("A")), tri_mesh("C")}))).second, (std::vector<std::string>{"A", "C"}));
}

TEST(Ld3dsMeshes, CutImagesKeepTheObjectsBeforeTheCut)
{
    // First's mapping list ends the first cut: nothing of it may be read past the end
    const ld_bytes first = tri_mesh("First", ld_mapping(3, {0, 1, 0.5f, 0.5f, 1, 0}));
    const ld_bytes whole = ld_main(ld_cat({ld_editor(ld_cat({first, tri_mesh("Second")})), ld_chunk(0xB000, ld_kf_header())}));
    const auto cut = [&](size_t n) { return ld_bytes(whole.begin(), whole.begin() + static_cast<long>(n)); };
    ld_bytes longer = ld_main(ld_editor(first));
    longer[2] += 40;  // a main chunk 40 bytes longer than the image
    // cut right after First (main and editor still claim the rest), and inside Second's vertex
    // list (its face list lies beyond: it has none and is skipped)
    for (const ld_bytes& image : {cut(12 + first.size()), longer, cut(12 + first.size() + 30)})
        EXPECT_EQ(meshes(image), std::pair(0, std::vector<std::string>{"First"}));
    for (size_t n = 0; n <= whole.size(); n++)  // every cut and every header byte bent: both agree, inside
        meshes(cut(n));
    for (size_t at = 0; at < 40; at++) {
        ld_bytes bent = whole;
        bent[at] ^= 0x5a;
        meshes(bent);
    }
}

TEST(Ld3dsMeshes, SkipsAndFailuresKeepWhatCameBefore)
{
    const ld_bytes verts = ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 1, 0}), faces = ld_face_list({0, 1, 2, 0});
    const auto obj = [](std::initializer_list<ld_bytes> lists) { return ld_object("X", ld_mesh(ld_cat(lists))); };
    const std::vector<float> many(3 * 10923, 1.0f), most(3 * 10922, 1.0f);
    const std::vector<uint16_t> many_faces(4 * 8192, 0), most_faces(4 * 8191, 0);
    const struct { ld_bytes object; int result; size_t objects; } cases[] = {  // of Good, this one, After
        {obj({verts}), 0, 2} /* no face list: skipped */, {ld_object("Empty", {}), 0, 2},
        {obj({ld_vertex_list(most), ld_face_list(most_faces)}), 0, 3},
        {obj({verts, ld_face_list({0, 1, 3, 0})}), 1, 1} /* index past the vertices */,
        {obj({verts, ld_face_list({0, 0x8000, 1, 0})}), 1, 1} /* negative */,
        {obj({ld_vertex_list({0, 0, 0}, 2), faces}), 1, 1} /* vertex count beyond its chunk */,
        {obj({verts, faces, ld_chunk(0x4140, {1})}), 1, 1} /* list without its count */,
        {obj({verts, faces, ld_mapping(3, {0, 0, 1, 1})}), 1, 1} /* mapping shorter than the vertices */,
        {obj({ld_vertex_list(many), faces}), 1, 1} /* 10923 vertices */, {obj({verts, ld_face_list(many_faces)}), 1, 1},
        {obj({ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 3e9f, 0}), faces}), 1, 1} /* coordinate beyond 32 bits */};
    for (const auto& c : cases) {
        const auto r = meshes(ld_main(ld_editor(ld_cat({tri_mesh("Good"), c.object, tri_mesh("After")}))));
        EXPECT_EQ(r.first, c.result) << &c - cases;
        EXPECT_EQ(r.second.size(), c.objects) << &c - cases;
    }
    ld_test_scene sc;  // no main chunk, no editor: 1; no named object: nothing, 0; a directory, no path: 1
    EXPECT_EQ((std::vector{ld_3ds_meshes_mem_n(nullptr, 100, &sc.s), meshes(ld_chunk(0x4D4C, ld_editor(tri_mesh("Good")))).first,
                           meshes(ld_main(tri_mesh("Good"))).first, meshes(ld_main(ld_editor({}))).first,
                           ld_3ds_meshes_file(testing::TempDir().c_str(), &sc.s), ld_3ds_meshes_file(nullptr, &sc.s)}),
              (std::vector{1, 1, 1, 0, 1, 1}));
}

TEST(Ld3dsKeys, CameraPathFieldByFieldAndRefusedTracksWriteNoFrames)
{
    using V = std::vector<int32_t>;
    const ld_bytes image = camera_image(ld_cat({ld_track(0xB023, {{0, {45.0f}}}), ld_track(0xB024, roll_keys), ld_track(0xB020, pos_keys)}),
                                        ld_track(0xB020, target_keys));
    // roll in radians x 512 / pi: 10 -> 1629, 360 -> 58670
    EXPECT_EQ(keys(image), (std::vector<V>{{0, 0, 30, 3}, {0, 10, -20, 3, 10, 0, 1000, 77, 30, 10, -20, 3},
                                           {0, 0, 5, 1629, 14, 58670, 15, 0, 16, -162}, {3, 0, 0, 125}}));
    kf_camera_path q{};  // the size from the main chunk
    EXPECT_TRUE(ld_3ds_keys_mem(image.data(), nullptr, &q) == 0 && q.roll_count == 5);
    free(q.pos_keys), free(q.roll_keys), free(q.target_keys);
    // tension and ease-to on one key, all five on another: those floats are not values
    const std::vector<ld_key> spline = {{0, {1, 2, 3}, 0x09, {0.5f, 0.25f}}, {7, {4, 5, 6}, 0x1F, {9, 9, 9, 9, 9}}};
    const auto s = keys(camera_image(ld_cat({ld_track(0xB020, spline), ld_track(0xB024, {{0, {1.0f}, 0x04, {0.1f}}})}), ld_track(0xB020, target_keys)));
    EXPECT_TRUE(s[1] == (V{0, 10, 20, 30, 7, 40, 50, 60}) && s[2] == (V{0, 162}));
    const ld_bytes cam = ld_cat({ld_track(0xB020, pos_keys), ld_track(0xB024, roll_keys)}), target = ld_track(0xB020, target_keys);
    const auto with_roll = [&](const ld_bytes& roll) { return camera_image(ld_cat({ld_track(0xB020, pos_keys), roll}), target); };
    const ld_bytes full = camera_image(cam, target), cut_segment(full.begin(), full.end() - 4);
    const struct { ld_bytes image; bool pos, roll, target; } cases[] = {  // which arrays are left in the record
        {with_roll(ld_track(0xB024, {{0, {1}, 0x20}})), true, false, false} /* unknown key flag */,
        {with_roll(ld_track(0xB024, roll_keys, 6)), true, false, false} /* keys past the track's end */, {with_roll({}), true, false, false},
        {camera_image(ld_cat({ld_track(0xB020, pos_keys, 0x8001), ld_track(0xB024, roll_keys)}), target), false, false, false},
        {ld_main(ld_cat({ld_editor(tri_mesh("Box")), ld_chunk(0xB000, ld_cat({ld_kf_header(), ld_node(0xB003, "C", cam), ld_segment(0, 30)}))})),
         true, true, false} /* no target node */,
        {camera_image(cam, ld_track(0xB020, {{0, {0, 3e9f, 0}}})), true, true, false} /* value beyond 32 bits */,
        {camera_image(cam, target, true, false), true, true, true} /* no segment */, {cut_segment, true, true, true}};  // nor its frames
    for (const auto& c : cases) {
        const auto p = keys(c.image);
        EXPECT_EQ((std::vector{p[0][0], p[0][1], int(!p[1].empty()), int(!p[2].empty()), int(!p[3].empty())}),
                  (std::vector{1, -7, int(c.pos), int(c.roll), int(c.target)})) << &c - cases;
    }
    // without a keyframer, or its header, the record stays as it was
    for (const ld_bytes& image : {ld_main(ld_editor(tri_mesh("Box"))), camera_image(cam, target, false)})
        EXPECT_EQ(keys(image), (std::vector<std::vector<int32_t>>{{1, -7, -7, -7}, {}, {}, {}}));
    kf_camera_path p{};
    EXPECT_TRUE(ld_3ds_keys_mem_n(nullptr, 10, "", &p) == 1 && ld_3ds_keys_file(ld_write_temp("nopath", camera_image(cam, target)).c_str(), "", nullptr) == 1);
}

TEST(Ld3dsKeys, TrackReaderReturnsToWhereItBegan)
{
    const ld_bytes kf = ld_cat({ld_node(0xB004, "T", ld_track(0xB020, target_keys)),
                                ld_node(0xB003, "C", ld_cat({ld_track(0xB024, roll_keys), ld_track(0xB020, pos_keys)}))});
    FILE* f = fopen(ld_write_temp("kf", kf).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    const int32_t budget = static_cast<int32_t>(kf.size());
    int32_t count = -1;
    int32_t* k = ld_3ds_track_file(f, &count, 1, budget);
    EXPECT_TRUE(k && count == 5 && ftell(f) == 0);
    free(k);
    count = -1;  // no track 3; the budget ends before the camera; count written only once a track is found
    EXPECT_TRUE(!ld_3ds_track_file(f, &count, 3, budget) && !ld_3ds_track_file(f, &count, 0, 10) && count == -1);
    fseek(f, 5, SEEK_SET);  // inside a header: garbage
    EXPECT_TRUE(!ld_3ds_track_file(f, &count, 0, budget) && ftell(f) == 5);
    fclose(f);
    ld_image_size = static_cast<uint32_t>(kf.size()), ld_read_pos = 0;
    k = ld_3ds_track_mem(kf.data(), &count, 2, budget);
    ASSERT_NE(k, nullptr);
    EXPECT_TRUE(std::vector<int32_t>(k, k + 4) == (std::vector<int32_t>{3, 0, 0, 125}) && ld_read_pos == 0);
    free(k);
}

TEST(Ld3dsCamera, CameraObjectByNumber)
{
    // a mesh, a camera, a light and a second camera
    const std::string path = ld_write_temp("cameras", ld_main(ld_editor(ld_cat({tri_mesh("Box"), camera("Camera01", {1.25f, -2, 3, 4, 5, -6.09f, 0.5f, 35}),
        ld_object("Light01", ld_chunk(0x4600, ld_bytes(12, 0))), camera("SecondCamera", {-100, 0.19f, -0.15f, 7, 8, 9, 10.0f, 50})}))));
    const int live = sc_live_scenes;
    const struct { int n; std::vector<int32_t> values; const char* name; } cams[] = {  // camera, target, roll
        {1, {12, -20, 30, 40, 50, -60, 81}, "Camera01"}, {2, {-1000, 1, -1, 70, 80, 90, 1629}, "SecondCam"}};
    for (const auto& c : cams) {
        sc_scene s;
        ASSERT_EQ(ld_3ds_camera_file(path.c_str(), c.n, static_cast<sc_scene*>(memset(&s, 0x55, sizeof s))), 0) << c.n;
        EXPECT_EQ((std::vector<int32_t>{s.cam_x, s.cam_y, s.cam_z, s.target_x, s.target_y, s.target_z, s.roll}), c.values);
        EXPECT_TRUE(sc_live_scenes == live + 1 && std::string(s.name) == c.name) << c.n;
        sc_release(&s);
    }
    // fewer cameras than asked, none asked for, a chunk too short for the seven values, a value
    // beyond 32 bits: 1, and no scene left set up; the bank needs 28 bytes, the lens may be missing
    sc_scene s{};
    EXPECT_TRUE(ld_3ds_camera_file(path.c_str(), 3, &s) == 1 && ld_3ds_camera_file(path.c_str(), 0, &s) == 1);
    const std::pair<ld_bytes, int> one[] = {{camera("Cam", {1, 2, 3, 4, 5, 6, 0.5f}, 27), 1}, {camera("Cam", {1, 2, 3, 4, 5, 3e9f, 0, 0}), 1},
                                            {camera("Cam", {0, 0, 0, 1, 1, 1, 1}, 28), 0}};
    for (const auto& [object, result] : one)
        EXPECT_EQ(ld_3ds_camera_file(ld_write_temp("cam", ld_main(ld_editor(object))).c_str(), 1, &s), result);
    EXPECT_EQ(s.roll, 162);
    sc_release(&s);
    EXPECT_EQ(sc_live_scenes, live);
}
