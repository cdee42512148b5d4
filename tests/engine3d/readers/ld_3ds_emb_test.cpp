// The reader on the embedded 3DS scenes: the catalogue's objects in order, and the lattice's
// camera path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "assets/emb.h"
#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/sc_scene.h"

namespace {

struct Obj {
    std::string name;
    int32_t vertices, faces;
    bool uv;
    bool operator==(const Obj&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Obj& b)
{
    return o << b.name << " " << b.vertices << "v " << b.faces << "f" << (b.uv ? " uv" : "");
}

struct Asset {
    const char* name;
    const uint8_t* bytes;
    const uint32_t* size;
    std::vector<Obj> objects;
};

std::vector<Obj> read_objects(const uint8_t* image, uint32_t size, bool sized, int* result)
{
    sc_scene s;
    EXPECT_EQ(sc_init(&s), 0);
    *result = sized ? ld_3ds_meshes_mem_n(image, size, &s) : ld_3ds_meshes_mem(image, &s);
    std::vector<Obj> out;
    sc_rewind(&s);
    while (sc_object* o = sc_next(&s))
        out.push_back({o->name, o->vertex_count, o->face_count, o->uv != nullptr});
    sc_free_objects(&s);
    sc_release(&s);
    return out;
}

}  // namespace

TEST(LdEmbedded, EverySceneYieldsTheCatalogueObjects)
{
    const Asset assets[] = {
        {"emb_3ds_bouncer", emb_3ds_bouncer, &emb_3ds_bouncer_size, {{"Object", 408, 812, true}}},
        {"emb_3ds_flyers", emb_3ds_flyers, &emb_3ds_flyers_size, {{"Object01", 130, 256, true}}},
        // a mesh, two lights and a camera: only the mesh
        {"emb_3ds_receivers", emb_3ds_receivers, &emb_3ds_receivers_size, {{"Object03", 270, 516, false}}},
        // "piikkipall" keeps its first nine characters
        {"emb_3ds_casters", emb_3ds_casters, &emb_3ds_casters_size, {{"piikkipal", 202, 400, true}}},
        {"emb_3ds_box", emb_3ds_box, &emb_3ds_box_size, {{"Object01", 8, 12, false}}},
        // the camera object before the cube is skipped
        {"emb_3ds_lattice", emb_3ds_lattice, &emb_3ds_lattice_size, {{"Object03", 24, 24, false}}},
        {"emb_3ds_orbit", emb_3ds_orbit, &emb_3ds_orbit_size,
         {{"Object01", 8, 12, false}, {"Object02", 130, 256, true}, {"Object03", 36, 72, false}}},
    };
    for (const Asset& a : assets) {
        for (bool sized : {true, false}) {
            int result = -1;
            EXPECT_EQ(read_objects(a.bytes, *a.size, sized, &result), a.objects) << a.name;
            EXPECT_EQ(result, 0) << a.name;
        }
    }
}

TEST(LdEmbedded, LatticeCameraPath)
{
    kf_camera_path p{};
    ASSERT_EQ(ld_3ds_keys_mem_n(emb_3ds_lattice, emb_3ds_lattice_size, "Camera01", &p), 0);
    EXPECT_EQ(p.start_frame, 0);
    EXPECT_EQ(p.end_frame, 30);
    ASSERT_EQ(p.pos_count, 17);
    ASSERT_EQ(p.roll_count, 31);
    ASSERT_EQ(p.target_count, 17);
    for (int32_t i = 0; i < 31; i++)
        EXPECT_EQ(p.roll_keys[2 * i], i);  // one roll key per frame
    EXPECT_EQ(p.pos_keys[16 * 4], 30);
    // 360 at frame 14 becomes 58670 with the 512/pi factor; frame 15 is 0
    EXPECT_EQ(p.roll_keys[2 * 14 + 1], 58670);
    EXPECT_EQ(p.roll_keys[2 * 15 + 1], 0);

    // t = 50 is frame 15, a key frame of every track: the keys come back exactly
    auto key_at = [](const int32_t* keys, int32_t count, int stride, int32_t frame) {
        for (int32_t i = 0; i < count; i++)
            if (keys[i * stride] == frame)
                return keys + i * stride;
        return static_cast<const int32_t*>(nullptr);
    };
    const int32_t* pos = key_at(p.pos_keys, p.pos_count, 4, 15);
    const int32_t* roll = key_at(p.roll_keys, p.roll_count, 2, 15);
    const int32_t* target = key_at(p.target_keys, p.target_count, 4, 15);
    ASSERT_TRUE(pos && roll && target);
    sc_scene s{};
    ASSERT_EQ(kf_camera_eval(&s, &p, 50.0), 0);
    EXPECT_EQ((std::vector<int32_t>{s.cam_x, s.cam_y, s.cam_z}), std::vector<int32_t>(pos + 1, pos + 4));
    EXPECT_EQ(s.roll, roll[1]);
    EXPECT_EQ((std::vector<int32_t>{s.target_x, s.target_y, s.target_z}), std::vector<int32_t>(target + 1, target + 4));
    free(p.pos_keys);
    free(p.roll_keys);
    free(p.target_keys);
}
