// The 3DS readers on images built byte by byte: every image is read from memory and from a file
// and both must give the same result (one walker, two cursors); chunk walks, meshes, cut files,
// camera paths, the camera object.
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
    return ld_object(name, ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1.5f, 0, 0, 0, -0.15f, 0.19f}),
                                           ld_face_list({0, 1, 2, 7}), extra})));
}

struct Read {
    int result;
    std::vector<ld_obj_values> objects;
};

// The meshes of an image, read from memory (sized) and from a file; both must agree.
Read meshes(const ld_bytes& image, const char* what = "")
{
    ld_test_scene m, f;
    const int rm = ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), &m.s);
    const int rf = ld_3ds_meshes_file(ld_write_temp("meshes", image).c_str(), &f.s);
    EXPECT_EQ(rm, rf) << what;
    EXPECT_EQ(m.values(), f.values()) << what;
    return {rm, m.values()};
}

std::vector<std::string> names(const Read& r)
{
    std::vector<std::string> out;
    for (const ld_obj_values& o : r.objects)
        out.push_back(o.name);
    return out;
}

// A read camera path as values; the record is pre-filled with a mark, so untouched fields show.
struct Path {
    int result;
    int32_t start, end, pos_count;
    std::vector<int32_t> pos, roll, target;
    bool operator==(const Path&) const = default;
};

template <class F> Path read_path(F read)
{
    kf_camera_path q{-7, -7, -7, nullptr, -7, nullptr, -7, nullptr};
    const int r = read(&q);
    const auto keys = [](int32_t* k, int32_t n, int per) {
        std::vector<int32_t> v = k ? std::vector<int32_t>(k, k + per * n) : std::vector<int32_t>{};
        free(k);
        return v;
    };
    return {r, q.start_frame, q.end_frame, q.pos_count, keys(q.pos_keys, q.pos_count, 4),
            keys(q.roll_keys, q.roll_count, 2), keys(q.target_keys, q.target_count, 4)};
}

Path keys(const ld_bytes& image, const char* what = "")
{
    const Path m = read_path([&](kf_camera_path* q) {
        return ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", q);
    });
    const std::string file = ld_write_temp("keys", image);
    const Path f = read_path([&](kf_camera_path* q) { return ld_3ds_keys_file(file.c_str(), "Camera01", q); });
    EXPECT_TRUE(m == f) << what;
    return m;
}

const std::vector<ld_key> pos_keys = {{0, {1.0f, -2.0f, 0.35f}}, {10, {-0.05f, 100.0f, 7.77f}},
                                      {30, {1.0f, -2.0f, 0.35f}}};
const std::vector<ld_key> roll_keys = {{0, {0.0f}}, {5, {10.0f}}, {14, {360.0f}}, {15, {0.0f}}, {16, {-1.0f}}};
const std::vector<ld_key> target_keys = {{3, {0.0f, 0.0f, 12.5f}}};

ld_bytes keyframer(const ld_bytes& camera_tracks, const ld_bytes& target_tracks, bool header = true,
                   bool segment = true)
{
    return ld_chunk(0xB000, ld_cat({header ? ld_kf_header() : ld_bytes{},
                                    ld_node(0xB002, "Object01", ld_track(0xB020, {{0, {5, 5, 5}}})),
                                    ld_node(0xB004, "Camera01", target_tracks),
                                    ld_node(0xB003, "Camera01", camera_tracks),
                                    segment ? ld_segment(0, 30) : ld_bytes{}}));
}

ld_bytes camera_image(const ld_bytes& kf) { return ld_main(ld_cat({ld_editor(tri_mesh("Box")), kf})); }

// A camera chunk: position, target, bank, lens (cut to `keep` bytes).
ld_bytes camera_chunk(std::vector<float> v, size_t keep = 32)
{
    ld_bytes b;
    for (float f : v)
        ld_putf(b, f);
    b.resize(keep);
    return ld_chunk(0x4700, b);
}

ld_bytes light(const std::string& name) { return ld_object(name, ld_chunk(0x4600, ld_bytes(12, 0))); }

}  // namespace

TEST(Ld3dsChunk, WalksAlikeInMemoryAndInAFile)
{
    const ld_bytes image = ld_cat({ld_chunk(0x0002, {1, 2, 3, 4}), ld_chunk(0x1111, {9, 9}), ld_chunk(0x2222, {})});
    ld_bytes bad_len = ld_cat({ld_chunk(0x0002, {}), ld_chunk(0x1111, {1, 2, 3})});
    bad_len[8] = 5;  // second chunk's length below 6
    ld_bytes past_end = ld_cat({ld_chunk(0x0002, {}), ld_chunk(0x1111, {1, 2, 3})});
    past_end[8] = 10;  // one byte past the end: found, what is read of it stays inside
    ld_bytes step_past = past_end;
    step_past[2] = 40;  // the first chunk runs past the end: the search stops there
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
        {"budget of exactly one chunk", image, 0, 0x1111, 11, 8, 16},
        {"missing: stops at the end", image, 0, 0x3333, 1000, 0, 24},
        {"start past the end", image, 30, 0x2222, 14, 0, 30},
        {"length below 6", bad_len, 0, 0x1111, 100, 0, 6},
        {"chunk past the end", past_end, 0, 0x1111, 100, 10, 12},
        {"stepping past the end", step_past, 0, 0x1111, 100, 0, 15},
    };
    for (const auto& c : cases) {
        FILE* f = fopen(ld_write_temp("chunks", c.bytes).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        fseek(f, c.start, SEEK_SET);
        EXPECT_EQ(ld_chunk_find_file(f, c.id, c.budget), c.length) << c.what;
        EXPECT_EQ(ftell(f), static_cast<long>(c.pos)) << c.what;
        fclose(f);
        ld_image_size = static_cast<uint32_t>(c.bytes.size());
        ld_read_pos = c.start;
        EXPECT_EQ(ld_chunk_find_mem(c.bytes.data(), c.id, c.budget), c.length) << c.what;
        EXPECT_EQ(ld_read_pos, c.pos) << c.what;
    }
    EXPECT_EQ(ld_chunk_find_file(nullptr, 0x1111, 100), 0u);
    EXPECT_EQ(ld_chunk_main_file(nullptr), 0u);
    int32_t count = 5;
    EXPECT_EQ(ld_3ds_track_file(nullptr, &count, 0, 100), nullptr);
    char name[9] = {'x'};
    ld_name_file(nullptr, name);
    EXPECT_EQ(name[0], 0);
}

TEST(Ld3dsChunk, NamesAndTheMainChunk)
{
    const ld_bytes image = ld_main(ld_cat({ld_text("Abcdefghij"), ld_text("Q")}));
    ld_image_size = static_cast<uint32_t>(image.size());
    ld_read_pos = 0;
    EXPECT_EQ(ld_chunk_main_mem(image.data()), image.size());
    char name[10];
    memset(name, 'x', sizeof name);
    ld_name_mem(image.data(), name);  // ten characters: nine kept, the tenth byte untouched
    EXPECT_EQ(std::string(name, 10), std::string("Abcdefghix"));
    EXPECT_EQ(ld_read_pos, 17u);  // the whole name and its NUL are consumed
    ld_image_size = 18;           // a name cut by the image's end stops there
    ld_name_mem(image.data(), name);
    EXPECT_EQ(std::string(name, 9), std::string("Q\0\0\0\0\0\0\0\0", 9));
    EXPECT_EQ(ld_read_pos, 18u);
    // a main chunk longer than the image is taken (the walks stop at the end); another id, or a
    // header cut short, is not
    ld_image_size = static_cast<uint32_t>(image.size() - 1);
    ld_read_pos = 0;
    EXPECT_EQ(ld_chunk_main_mem(image.data()), image.size());
    EXPECT_EQ(ld_read_pos, 6u);
    for (uint32_t size : {5u, 1u}) {
        ld_image_size = size;
        ld_read_pos = 0;
        EXPECT_EQ(ld_chunk_main_mem(image.data()), 0u) << size;
    }
    ld_image_size = static_cast<uint32_t>(image.size());
    ld_read_pos = 6;  // "Ab" is no main chunk
    EXPECT_EQ(ld_chunk_main_mem(image.data()), 0u);
    EXPECT_EQ(ld_read_pos, 8u);
}

TEST(Ld3dsMeshes, ObjectsNamesAndConversions)
{
    const ld_bytes quad = ld_object(
        "LongName10", ld_mesh(ld_cat({
                          ld_chunk(0x4111, {0, 0}),  // vertex flags: skipped
                          ld_face_list({0, 1, 2, 0x0007, 2, 3, 0, 0x0003}),
                          ld_mapping(3, {1.0f, 0.0f, 0.5f, -0.25f, 0.0f, 1.0f, 2.0f, 0.001f}),
                          ld_vertex_list({-0.15f, 0.19f, 0.0f, 10.0f, -10.0f, 1.25f, 3.3f, 0.0f,
                                          -99.99f, 0.0f, 0.0f, 0.0f}),
                      })));
    const ld_bytes image = ld_main(ld_cat({ld_chunk(0x0002, {3, 0, 0, 0}),
                                           ld_editor(ld_cat({ld_chunk(0x3D3E, {3, 0, 0, 0}),
                                                             ld_chunk(0xAFFF, ld_bytes(40, 0)), light("Omni01"),
                                                             quad, tri_mesh("Tri")}))}));
    const Read r = meshes(image);
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(r.objects.size(), 2u);  // the light has no mesh
    const ld_obj_values& o = r.objects[0];
    EXPECT_EQ(o.name, "LongName1");
    EXPECT_EQ(o.vertices, (std::vector<int32_t>{-1, 1, 0, 100, -100, 12, 32, 0, -999, 0, 0, 0}));
    // flags become -1, then the winding is reversed
    EXPECT_EQ(o.faces, (std::vector<int32_t>{2, 1, 0, -1, 0, 3, 2, -1}));
    // one pair per vertex whatever the chunk's count says; x 256 x 227
    EXPECT_EQ(o.uv, (std::vector<int32_t>{58112, 0, 29056, -14528, 0, 58112, 116224, 58}));
    EXPECT_EQ(meshes(ld_main(ld_editor(ld_object("Far", ld_mesh(ld_cat({ld_vertex_list({2.1e8f, 2.1e8f, 2.1e8f}), ld_face_list({})}))))))
                  .objects.at(0).radius, INT32_MAX);  // three squares of 2.1e9: saturated, at once
    EXPECT_EQ(r.objects[1].name, "Tri");
    EXPECT_FALSE(r.objects[1].has_uv);
    EXPECT_EQ(r.objects[1].mode, 1u);
    ld_test_scene sc;
    EXPECT_EQ(ld_3ds_meshes_mem(image.data(), &sc.s), 0);  // the size from the main chunk
    EXPECT_EQ(sc.values(), r.objects);
}

TEST(Ld3dsMeshes, ObjectLoopBudgetRunsPastTheEditor)
{
    // only the objects' lengths are taken from the editor's budget: after the last object the
    // search walks on into the editor's following siblings while budget is left
    EXPECT_EQ(names(meshes(ld_main(ld_cat({ld_editor(tri_mesh("A")), tri_mesh("C")})))),
              (std::vector<std::string>{"A", "C"}));
    // an editor that ends the image with budget left: the walk stops at the image's end, in a
    // buffer of exactly the image's size
    const ld_bytes last = ld_main(ld_editor(ld_cat({ld_chunk(0xAFFF, ld_bytes(100, 0)), tri_mesh("A")})));
    uint8_t* exact = static_cast<uint8_t*>(malloc(last.size()));
    memcpy(exact, last.data(), last.size());
    ld_test_scene d;
    EXPECT_EQ(ld_3ds_meshes_mem(exact, &d.s), 0);
    EXPECT_EQ(d.values().size(), 1u);
    free(exact);
}

TEST(Ld3dsMeshes, CutImagesKeepTheObjectsBeforeTheCut)
{
    // First's mapping list ends the second image: nothing of it may be read past the end
    const ld_bytes first = tri_mesh("First", ld_mapping(3, {0, 1, 0.5f, 0.5f, 1, 0}));
    const ld_bytes whole = ld_main(ld_cat({ld_editor(ld_cat({first, tri_mesh("Second")})), ld_chunk(0xB000, ld_kf_header())}));
    // cut right after the first object: main and editor lengths still claim the rest
    const ld_bytes cut(whole.begin(), whole.begin() + 12 + static_cast<long>(first.size()));
    Read r = meshes(cut, "cut after First");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(names(r), (std::vector<std::string>{"First"}));
    // a main chunk 40 bytes longer than the image
    ld_bytes longer = ld_main(ld_editor(first));
    longer[2] += 40;
    r = meshes(longer, "main 40 too long");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(names(r), (std::vector<std::string>{"First"}));
    // cut inside the second object's vertex list: its face list lies beyond the cut, so the
    // object has none and is skipped
    const ld_bytes mid(whole.begin(), whole.begin() + 12 + static_cast<long>(first.size()) + 30);
    r = meshes(mid, "cut inside Second");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(names(r), (std::vector<std::string>{"First"}));
    // every cut, and every header byte bent: both readers agree and stay inside their bytes
    for (size_t n = 0; n <= whole.size(); n++)
        meshes(ld_bytes(whole.begin(), whole.begin() + static_cast<long>(n)), "cut");
    for (size_t at = 0; at < 40; at++) {
        ld_bytes bent = whole;
        bent[at] ^= 0x5a;
        meshes(bent, "bent");
    }
}

TEST(Ld3dsMeshes, SkipsAndFailures)
{
    const ld_bytes verts = ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const ld_bytes faces = ld_face_list({0, 1, 2, 0});
    const auto obj = [](const ld_bytes& lists) { return ld_object("X", ld_mesh(lists)); };
    const std::vector<float> many(3 * 10923, 1.0f), most(3 * 10922, 1.0f);
    const std::vector<uint16_t> many_faces(4 * 8192, 0), most_faces(4 * 8191, 0);
    const struct {
        const char* what;
        ld_bytes object;
        int result;  // and the objects: Good, this one when taken, After when the reader goes on
        size_t objects;
    } cases[] = {
        {"no face list: skipped", obj(verts), 0, 2},
        {"no vertex list: skipped", obj(faces), 0, 2},
        {"empty object", ld_object("Empty", {}), 0, 2},
        {"10922 vertices and 8191 faces", obj(ld_cat({ld_vertex_list(most), ld_face_list(most_faces)})), 0, 3},
        {"face index past the vertices", obj(ld_cat({verts, ld_face_list({0, 1, 3, 0})})), 1, 1},
        {"face index negative", obj(ld_cat({verts, ld_face_list({0, 0x8000, 1, 0})})), 1, 1},
        {"vertex count beyond its chunk", obj(ld_cat({ld_vertex_list({0, 0, 0}, 2), faces})), 1, 1},
        {"face count beyond its chunk", obj(ld_cat({verts, ld_face_list({0, 1, 2, 0}, 2)})), 1, 1},
        {"list without its count", obj(ld_cat({verts, faces, ld_chunk(0x4140, {1})})), 1, 1},
        {"mapping shorter than the vertices", obj(ld_cat({verts, faces, ld_mapping(3, {0, 0, 1, 1})})), 1, 1},
        {"10923 vertices", obj(ld_cat({ld_vertex_list(many), faces})), 1, 1},
        {"8192 faces", obj(ld_cat({verts, ld_face_list(many_faces)})), 1, 1},
        {"coordinate beyond 32 bits", obj(ld_cat({ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 3e9f, 0}), faces})), 1, 1},
        {"mapping beyond 32 bits", obj(ld_cat({verts, faces, ld_mapping(3, {0, 0, 1, 1, 0, 1e6f})})), 1, 1},
    };
    for (const auto& c : cases) {
        const Read r = meshes(ld_main(ld_editor(ld_cat({tri_mesh("Good"), c.object, tri_mesh("After")}))), c.what);
        EXPECT_EQ(r.result, c.result) << c.what;
        EXPECT_EQ(r.objects.size(), c.objects) << c.what;  // a failure keeps what came before
    }
    ld_test_scene sc;
    EXPECT_EQ(ld_3ds_meshes_mem_n(nullptr, 100, &sc.s), 1);
    EXPECT_EQ(meshes(ld_chunk(0x4D4C, ld_editor(tri_mesh("Good")))).result, 1);  // no main chunk
    EXPECT_EQ(meshes(ld_main(tri_mesh("Good"))).result, 1);                       // no editor
    EXPECT_EQ(meshes(ld_main(ld_editor({}))).result, 0);  // no named object: nothing, 0
    EXPECT_EQ(ld_3ds_meshes_file(testing::TempDir().c_str(), &sc.s), 1);  // a directory
    EXPECT_EQ(ld_3ds_meshes_file(nullptr, &sc.s), 1);
}

TEST(Ld3dsKeys, CameraPathFieldByField)
{
    // tension and ease-to on one key, all five on another: those floats are not values
    const std::vector<ld_key> spline = {{0, {1, 2, 3}, 0x09, {0.5f, 0.25f}}, {7, {4, 5, 6}, 0x1F, {9, 9, 9, 9, 9}}};
    const ld_bytes image = camera_image(keyframer(
        ld_cat({ld_track(0xB023, {{0, {45.0f}}}), ld_track(0xB024, roll_keys), ld_track(0xB020, pos_keys)}),
        ld_track(0xB020, target_keys)));
    const Path p = keys(image);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.start, 0);
    EXPECT_EQ(p.end, 30);
    EXPECT_EQ(p.pos, (std::vector<int32_t>{0, 10, -20, 3, 10, 0, 1000, 77, 30, 10, -20, 3}));
    // radians x 512 x 1/pi: 10 -> 1629, 360 -> 58670
    EXPECT_EQ(p.roll, (std::vector<int32_t>{0, 0, 5, 1629, 14, 58670, 15, 0, 16, -162}));
    EXPECT_EQ(p.target, (std::vector<int32_t>{3, 0, 0, 125}));
    kf_camera_path q{};
    EXPECT_EQ(ld_3ds_keys_mem(image.data(), nullptr, &q), 0);  // the size from the main chunk
    EXPECT_EQ(q.roll_count, 5);
    free(q.pos_keys), free(q.roll_keys), free(q.target_keys);

    const Path s = keys(camera_image(keyframer(
        ld_cat({ld_track(0xB020, spline), ld_track(0xB024, {{0, {1.0f}, 0x04, {0.1f}}})}), ld_track(0xB020, target_keys))));
    ASSERT_EQ(s.result, 0);
    EXPECT_EQ(s.pos, (std::vector<int32_t>{0, 10, 20, 30, 7, 40, 50, 60}));
    EXPECT_EQ(s.roll, (std::vector<int32_t>{0, 162}));
}

TEST(Ld3dsKeys, RefusedTracksAndFailures)
{
    const ld_bytes good_cam = ld_cat({ld_track(0xB020, pos_keys), ld_track(0xB024, roll_keys)});
    const ld_bytes good_target = ld_track(0xB020, target_keys);
    const auto with_roll = [&](const ld_bytes& roll) {
        return camera_image(keyframer(ld_cat({ld_track(0xB020, pos_keys), roll}), good_target));
    };
    const struct {
        const char* what;
        ld_bytes image;
        bool pos, roll, target;  // which arrays are left in the record
    } cases[] = {
        {"unknown key flag", with_roll(ld_track(0xB024, {{0, {1}, 0x20}})), true, false, false},
        {"keys past the track's end", with_roll(ld_track(0xB024, roll_keys, 6)), true, false, false},
        {"no keys", with_roll(ld_track(0xB024, {}, 0)), true, false, false},
        {"no roll track", with_roll({}), true, false, false},
        {"negative key count", camera_image(keyframer(ld_cat({ld_track(0xB020, pos_keys, 0x8001), ld_track(0xB024, roll_keys)}), good_target)), false, false, false},
        {"no target node", camera_image(ld_chunk(0xB000, ld_cat({ld_kf_header(), ld_node(0xB003, "C", good_cam), ld_segment(0, 30)}))), true, true, false},
        {"value beyond 32 bits", camera_image(keyframer(good_cam, ld_track(0xB020, {{0, {0, 3e9f, 0}}}))), true, true, false},
        {"no segment", camera_image(keyframer(good_cam, good_target, true, false)), true, true, true},
        {"segment cut short", ld_bytes(), true, true, true},
    };
    for (const auto& c0 : cases) {
        ld_bytes image = c0.image;
        if (image.empty()) {  // the segment's frames beyond the image's end
            image = camera_image(keyframer(good_cam, good_target));
            image.resize(image.size() - 4);
        }
        const Path p = keys(image, c0.what);
        EXPECT_EQ(p.result, 1) << c0.what;
        EXPECT_EQ(!p.pos.empty(), c0.pos) << c0.what;
        EXPECT_EQ(!p.roll.empty(), c0.roll) << c0.what;
        EXPECT_EQ(!p.target.empty(), c0.target) << c0.what;
        EXPECT_EQ(p.start, -7) << c0.what;  // the frames are written only on success
    }
    // without a keyframer, or its header, the record stays as it was
    for (const ld_bytes& image : {ld_main(ld_editor(tri_mesh("Box"))), camera_image(keyframer(good_cam, good_target, false))}) {
        const Path p = keys(image);
        EXPECT_EQ(p.result, 1);
        EXPECT_EQ(p.pos_count, -7);
        EXPECT_TRUE(p.pos.empty());
    }
    kf_camera_path p{};
    EXPECT_EQ(ld_3ds_keys_mem_n(nullptr, 10, "", &p), 1);
    EXPECT_EQ(ld_3ds_keys_file(ld_write_temp("nopath", camera_image(keyframer(good_cam, good_target))).c_str(), "", nullptr), 1);
}

TEST(Ld3dsKeys, TrackReaderReturnsToWhereItBegan)
{
    const ld_bytes kf_body = ld_cat({ld_node(0xB004, "T", ld_track(0xB020, target_keys)),
                                     ld_node(0xB003, "C", ld_cat({ld_track(0xB024, roll_keys), ld_track(0xB020, pos_keys)}))});
    FILE* f = fopen(ld_write_temp("kf", kf_body).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    const int32_t budget = static_cast<int32_t>(kf_body.size());
    int32_t count = -1;
    int32_t* k = ld_3ds_track_file(f, &count, 1, budget);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(ftell(f), 0);
    free(k);
    count = -1;
    EXPECT_EQ(ld_3ds_track_file(f, &count, 3, budget), nullptr);
    EXPECT_EQ(ld_3ds_track_file(f, &count, 0, 10), nullptr);  // the budget ends before the camera
    EXPECT_EQ(count, -1);  // written only once a track is found
    fseek(f, 5, SEEK_SET);
    EXPECT_EQ(ld_3ds_track_file(f, &count, 0, budget), nullptr);  // inside a header: garbage
    EXPECT_EQ(ftell(f), 5);
    fclose(f);
    ld_image_size = static_cast<uint32_t>(kf_body.size());
    ld_read_pos = 0;
    k = ld_3ds_track_mem(kf_body.data(), &count, 2, budget);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(std::vector<int32_t>(k, k + 4), (std::vector<int32_t>{3, 0, 0, 125}));
    EXPECT_EQ(ld_read_pos, 0u);
    free(k);
}

TEST(Ld3dsCamera, CameraObjectByNumber)
{
    // a mesh, a camera, a light and a second camera
    const std::string path = ld_write_temp("cameras", ld_main(ld_editor(ld_cat({
        tri_mesh("Box"), ld_object("Camera01", camera_chunk({1.25f, -2, 3, 4, 5, -6.09f, 0.5f, 35})),
        light("Light01"), ld_object("SecondCamera", camera_chunk({-100, 0.19f, -0.15f, 7, 8, 9, 10.0f, 50}))}))));
    const int live = sc_live_scenes;
    const struct {
        int n;
        std::vector<int32_t> values;  // camera, target, roll
        const char* name;
    } cams[] = {{1, {12, -20, 30, 40, 50, -60, 81}, "Camera01"}, {2, {-1000, 1, -1, 70, 80, 90, 1629}, "SecondCam"}};
    for (const auto& c : cams) {
        sc_scene s;
        memset(&s, 0x55, sizeof s);
        ASSERT_EQ(ld_3ds_camera_file(path.c_str(), c.n, &s), 0) << c.n;
        EXPECT_EQ(sc_live_scenes, live + 1);
        EXPECT_EQ((std::vector<int32_t>{s.cam_x, s.cam_y, s.cam_z, s.target_x, s.target_y, s.target_z, s.roll}), c.values);
        EXPECT_EQ(std::string(s.name), c.name);
        sc_release(&s);
    }
    // fewer cameras than asked, none asked for, a camera chunk too short for its seven values,
    // a value beyond 32 bits: 1, and no scene left set up
    sc_scene s{};
    EXPECT_EQ(ld_3ds_camera_file(path.c_str(), 3, &s), 1);
    EXPECT_EQ(ld_3ds_camera_file(path.c_str(), 0, &s), 1);
    for (const ld_bytes& bad : {camera_chunk({1, 2, 3, 4, 5, 6, 0.5f}, 27), camera_chunk({1, 2, 3, 4, 5, 3e9f, 0, 0})})
        EXPECT_EQ(ld_3ds_camera_file(ld_write_temp("badcam", ld_main(ld_editor(ld_object("Cam", bad)))).c_str(), 1, &s), 1);
    EXPECT_EQ(sc_live_scenes, live);
    // the bank needs only 28 bytes: the lens may be missing
    ASSERT_EQ(ld_3ds_camera_file(ld_write_temp("lensless", ld_main(ld_editor(ld_object("Cam", camera_chunk({0, 0, 0, 1, 1, 1, 1}, 28))))).c_str(), 1, &s), 0);
    EXPECT_EQ(s.roll, 162);
    sc_release(&s);
}
