// The in-memory 3DS reader on images built byte by byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine3d/readers/ld_3ds.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/readers/ld_build.h"
#include "tests/engine3d/readers/ld_file_util.h"

namespace {

using Scene = ld_test_scene;

int read_meshes(const ld_bytes& image, sc_scene* scene)
{
    return ld_3ds_meshes_mem_n(image.data(), static_cast<uint32_t>(image.size()), scene);
}

ld_bytes tri_mesh(const std::string& name, const ld_bytes& extra = {})
{
    return ld_object(name, ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 1, 0}),
                                           ld_face_list({0, 1, 2, 7}), extra})));
}

std::vector<std::string> names(Scene& sc)
{
    std::vector<std::string> out;
    for (sc_object* o : sc.objects())
        out.emplace_back(o->name);
    return out;
}

}  // namespace

TEST(LdChunk, NamesKeepNineBytesAndStopAtTheImageEnd)
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
    ld_image_size = static_cast<uint32_t>(image.size() - 1);  // a main chunk longer than the image
    ld_read_pos = 0;
    EXPECT_EQ(ld_chunk_main_mem(image.data()), 0u);
}

TEST(LdMeshes, ObjectsNamesAndConversions)
{
    const ld_bytes quad = ld_object(
        "LongName10", ld_mesh(ld_cat({
                          ld_chunk(0x4111, {0, 0}),  // vertex flags: skipped
                          ld_face_list({0, 1, 2, 0x0007, 2, 3, 0, 0x0003}),
                          ld_mapping(3, {1.0f, 0.0f, 0.5f, -0.25f, 0.0f, 1.0f, 2.0f, 0.001f}),
                          ld_vertex_list({-0.15f, 0.19f, 0.0f, 10.0f, -10.0f, 1.25f, 3.3f, 0.0f,
                                          -99.99f, 0.0f, 0.0f, 0.0f}),
                      })));
    const ld_bytes light = ld_object("Omni01", ld_chunk(0x4600, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const ld_bytes image = ld_main(ld_cat({ld_chunk(0x0002, {3, 0, 0, 0}),
                                           ld_editor(ld_cat({ld_chunk(0x3D3E, {3, 0, 0, 0}),
                                                             ld_chunk(0xAFFF, ld_bytes(40, 0)),
                                                             light, quad, tri_mesh("Tri")}))}));
    Scene sc;
    ASSERT_EQ(read_meshes(image, &sc.s), 0);
    ASSERT_EQ(sc.objects().size(), 2u);
    sc_object* o = sc.objects()[0];
    EXPECT_EQ(std::string(o->name), "LongName1");
    EXPECT_EQ(o->vertex_count, 4);
    EXPECT_EQ(o->face_count, 2);
    // coordinates x 10 truncated toward zero
    const std::vector<int32_t> v(o->vertices, o->vertices + 12);
    EXPECT_EQ(v, (std::vector<int32_t>{-1, 1, 0, 100, -100, 12, 32, 0, -999, 0, 0, 0}));
    // flags become -1, then the winding is reversed
    const std::vector<int32_t> f(o->faces, o->faces + 8);
    EXPECT_EQ(f, (std::vector<int32_t>{2, 1, 0, -1, 0, 3, 2, -1}));
    // one pair per vertex whatever the chunk's count says; x 256 x 227
    ASSERT_NE(o->uv, nullptr);
    const std::vector<int32_t> uv(o->uv, o->uv + 8);
    EXPECT_EQ(uv, (std::vector<int32_t>{58112, 0, 29056, -14528, 0, 58112, 116224, 58}));
    sc_object* t = sc.objects()[1];
    EXPECT_EQ(std::string(t->name), "Tri");
    EXPECT_EQ(t->uv, nullptr);
    EXPECT_EQ(t->mode, 1u);
    EXPECT_EQ(ld_3ds_meshes_mem(image.data(), &sc.s), 0);  // the size from the main chunk
    EXPECT_EQ(sc.objects().size(), 4u);
}

TEST(LdMeshes, ObjectLoopBudgetRunsPastTheEditor)
{
    // The loop takes only the objects' lengths from the editor's budget, so after the last
    // object the search walks on into the editor's following siblings while budget is left.
    Scene a;
    ASSERT_EQ(read_meshes(ld_main(ld_cat({ld_editor(tri_mesh("A")), tri_mesh("C")})), &a.s), 0);
    EXPECT_EQ(names(a), (std::vector<std::string>{"A", "C"}));
    // an editor that ends the image with budget left: the walk stops at the image's end, in a
    // buffer of exactly the image's size
    const ld_bytes last = ld_main(ld_editor(ld_cat({ld_chunk(0xAFFF, ld_bytes(100, 0)), tri_mesh("A")})));
    uint8_t* exact = static_cast<uint8_t*>(malloc(last.size()));
    memcpy(exact, last.data(), last.size());
    Scene d;
    EXPECT_EQ(ld_3ds_meshes_mem_n(exact, static_cast<uint32_t>(last.size()), &d.s), 0);
    EXPECT_EQ(ld_3ds_meshes_mem(exact, &d.s), 0);
    EXPECT_EQ(names(d), (std::vector<std::string>{"A", "A"}));
    free(exact);
}

TEST(LdMeshes, SkipsAndFailures)
{
    const ld_bytes verts = ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const ld_bytes faces = ld_face_list({0, 1, 2, 0});
    struct Case {
        const char* what;
        ld_bytes object;
        int result;
        size_t objects;  // including the good mesh before it
    };
    std::vector<float> many(3 * 10923, 1.0f);
    std::vector<uint16_t> many_faces(4 * 8192, 0);
    const Case cases[] = {
        {"no face list: skipped", ld_object("NoFaces", ld_mesh(verts)), 0, 1},
        {"empty object", ld_object("Empty", {}), 0, 1},
        {"face index past the vertices", ld_object("Bad", ld_mesh(ld_cat({verts, ld_face_list({0, 1, 3, 0})}))), 1, 1},
        {"face index negative", ld_object("Bad", ld_mesh(ld_cat({verts, ld_face_list({0, 0x8000, 1, 0})}))), 1, 1},
        {"vertex count beyond its chunk", ld_object("Bad", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0}, 2), faces}))), 1, 1},
        {"face count beyond its chunk", ld_object("Bad", ld_mesh(ld_cat({verts, ld_face_list({0, 1, 2, 0}, 2)}))), 1, 1},

        {"mapping shorter than the vertices", ld_object("Bad", ld_mesh(ld_cat({verts, faces, ld_mapping(3, {0, 0, 1, 1})}))), 1, 1},
        {"10923 vertices", ld_object("Big", ld_mesh(ld_cat({ld_vertex_list(many), faces}))), 1, 1},
        {"8192 faces", ld_object("Big", ld_mesh(ld_cat({verts, ld_face_list(many_faces)}))), 1, 1},
        {"coordinate beyond 32 bits", ld_object("Bad", ld_mesh(ld_cat({ld_vertex_list({0, 0, 0, 1, 0, 0, 0, 3e9f, 0}), faces}))), 1, 1},

    };
    for (const Case& c : cases) {
        Scene sc;
        const ld_bytes image = ld_main(ld_editor(ld_cat({tri_mesh("Good"), c.object, tri_mesh("After")})));
        const int result = read_meshes(image, &sc.s);
        EXPECT_EQ(result, c.result) << c.what;
        // a failure stops the reader; what was appended before stays
        EXPECT_EQ(sc.objects().size(), c.objects + (c.result ? 0 : 1)) << c.what;
    }
    {
        // 10922 vertices and 8191 faces are the most the reader takes
        Scene sc;
        std::vector<float> most(3 * 10922, 1.0f);
        std::vector<uint16_t> most_faces(4 * 8191, 0);
        ASSERT_EQ(read_meshes(ld_main(ld_editor(ld_object("Most", ld_mesh(ld_cat({ld_vertex_list(most), ld_face_list(most_faces)}))))), &sc.s), 0);
        ASSERT_EQ(sc.objects().size(), 1u);
        EXPECT_EQ(sc.objects()[0]->vertex_count, 10922);
        EXPECT_EQ(sc.objects()[0]->face_count, 8191);
    }
    Scene sc;
    const ld_bytes good = ld_main(ld_editor(tri_mesh("Good")));
    EXPECT_EQ(ld_3ds_meshes_mem_n(nullptr, 100, &sc.s), 1);
    EXPECT_EQ(read_meshes(ld_chunk(0x4D4C, ld_editor(tri_mesh("Good"))), &sc.s), 1);
    EXPECT_EQ(ld_3ds_meshes_mem_n(good.data(), static_cast<uint32_t>(good.size() - 1), &sc.s), 1);
    EXPECT_EQ(read_meshes(ld_main(ld_editor({})), &sc.s), 0);  // no named object: nothing, 0
    EXPECT_EQ(sc.objects().size(), 0u);
}

namespace {

const std::vector<ld_key> pos_keys = {{0, {1.0f, -2.0f, 0.35f}}, {10, {-0.05f, 100.0f, 7.77f}},
                                      {30, {1.0f, -2.0f, 0.35f}}};
const std::vector<ld_key> roll_keys = {{0, {0.0f}}, {5, {10.0f}}, {14, {360.0f}}, {15, {0.0f}},
                                       {16, {-1.0f}}};
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

ld_bytes camera_image(const ld_bytes& kf)
{
    return ld_main(ld_cat({ld_editor(tri_mesh("Box")), kf}));
}

int read_keys(const ld_bytes& image, kf_camera_path* path)
{
    return ld_3ds_keys_mem_n(image.data(), static_cast<uint32_t>(image.size()), "Camera01", path);
}

void free_path(kf_camera_path* p)
{
    free(p->pos_keys);
    free(p->roll_keys);
    free(p->target_keys);
}

}  // namespace

TEST(LdKeys, CameraPathFieldByField)
{
    const ld_bytes image = camera_image(keyframer(
        ld_cat({ld_track(0xB023, {{0, {45.0f}}}), ld_track(0xB024, roll_keys), ld_track(0xB020, pos_keys)}),
        ld_track(0xB020, target_keys)));
    kf_camera_path p{};
    ASSERT_EQ(read_keys(image, &p), 0);
    EXPECT_EQ(p.start_frame, 0);
    EXPECT_EQ(p.end_frame, 30);
    ASSERT_EQ(p.pos_count, 3);
    EXPECT_EQ(std::vector<int32_t>(p.pos_keys, p.pos_keys + 12),
              (std::vector<int32_t>{0, 10, -20, 3, 10, 0, 1000, 77, 30, 10, -20, 3}));
    // radians x 512 x 1/pi: 10 -> 1629, 360 -> 58670
    ASSERT_EQ(p.roll_count, 5);
    EXPECT_EQ(std::vector<int32_t>(p.roll_keys, p.roll_keys + 10),
              (std::vector<int32_t>{0, 0, 5, 1629, 14, 58670, 15, 0, 16, -162}));
    ASSERT_EQ(p.target_count, 1);
    EXPECT_EQ(std::vector<int32_t>(p.target_keys, p.target_keys + 4), (std::vector<int32_t>{3, 0, 0, 125}));
    free_path(&p);
    EXPECT_EQ(ld_3ds_keys_mem(image.data(), nullptr, &p), 0);  // the size from the main chunk
    EXPECT_EQ(p.roll_count, 5);
    free_path(&p);
}

TEST(LdKeys, SplineFieldsAreSteppedOver)
{
    // tension and ease-to on the first key, all five on the second: those floats are not values
    std::vector<ld_key> keys = {{0, {1, 2, 3}, 0x09, {0.5f, 0.25f}},
                                {7, {4, 5, 6}, 0x1F, {9, 9, 9, 9, 9}},
                                {9, {7, 8, 9}}};
    const ld_bytes image = camera_image(keyframer(
        ld_cat({ld_track(0xB020, keys), ld_track(0xB024, {{0, {1.0f}, 0x04, {0.1f}}})}),
        ld_track(0xB020, target_keys)));
    kf_camera_path p{};
    ASSERT_EQ(read_keys(image, &p), 0);
    ASSERT_EQ(p.pos_count, 3);
    EXPECT_EQ(std::vector<int32_t>(p.pos_keys, p.pos_keys + 12),
              (std::vector<int32_t>{0, 10, 20, 30, 7, 40, 50, 60, 9, 70, 80, 90}));
    ASSERT_EQ(p.roll_count, 1);
    EXPECT_EQ(p.roll_keys[1], 162);
    free_path(&p);
}

TEST(LdKeys, RefusedTracksAndFailures)
{
    const ld_bytes good_cam = ld_cat({ld_track(0xB020, pos_keys), ld_track(0xB024, roll_keys)});
    const ld_bytes good_target = ld_track(0xB020, target_keys);
    struct Case {
        const char* what;
        ld_bytes image;
        bool pos, roll, target;  // which arrays are left in the record
    };
    ld_bytes cut_track = ld_track(0xB024, roll_keys, 6);
    const Case cases[] = {
        {"unknown key flag", camera_image(keyframer(ld_cat({ld_track(0xB020, pos_keys), ld_track(0xB024, {{0, {1}, 0x20}})}), good_target)), true, false, false},

        {"keys past the track's end", camera_image(keyframer(ld_cat({ld_track(0xB020, pos_keys), cut_track}), good_target)), true, false, false},
        {"negative key count", camera_image(keyframer(ld_cat({ld_track(0xB020, pos_keys, 0x8001), ld_track(0xB024, roll_keys)}), good_target)), false, false, false},

        {"no target node", camera_image(ld_chunk(0xB000, ld_cat({ld_kf_header(), ld_node(0xB003, "C", good_cam), ld_segment(0, 30)}))), true, true, false},
        {"value beyond 32 bits", camera_image(keyframer(good_cam, ld_track(0xB020, {{0, {0, 3e9f, 0}}}))), true, true, false},
        {"no segment", camera_image(keyframer(good_cam, good_target, true, false)), true, true, true},
    };
    for (const Case& c : cases) {
        kf_camera_path p{};
        p.start_frame = 77;
        p.end_frame = 78;
        EXPECT_EQ(read_keys(c.image, &p), 1) << c.what;
        EXPECT_EQ(p.pos_keys != nullptr, c.pos) << c.what;
        EXPECT_EQ(p.roll_keys != nullptr, c.roll) << c.what;
        EXPECT_EQ(p.target_keys != nullptr, c.target) << c.what;
        EXPECT_EQ(p.start_frame, 77) << c.what;  // the frames are written only on success
        EXPECT_EQ(p.end_frame, 78) << c.what;
        free_path(&p);
    }
    // without a keyframer, or its header, the record stays as it was
    for (const ld_bytes& image : {ld_main(ld_editor(tri_mesh("Box"))),
                                  camera_image(keyframer(good_cam, good_target, false))}) {
        kf_camera_path p;
        memset(&p, 0x5a, sizeof p);
        kf_camera_path before = p;
        EXPECT_EQ(read_keys(image, &p), 1);
        EXPECT_EQ(memcmp(&p, &before, sizeof p), 0);
    }
    kf_camera_path p{};
    EXPECT_EQ(ld_3ds_keys_mem_n(nullptr, 10, "", &p), 1);
}
