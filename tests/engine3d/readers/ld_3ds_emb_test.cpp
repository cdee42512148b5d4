// The in-memory reader on the embedded 3DS scenes: the catalogue's objects in order, and the
// lattice's camera path evaluated by the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "assets/emb.h"
#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/sc_scene.h"
#include "tests/engine3d/readers/ld_file_util.h"

TEST(LdEmbedded, EverySceneYieldsTheCatalogueObjects)
{
    // name, vertices, faces, mapping per object
    using Objs = std::vector<std::tuple<std::string, int32_t, int32_t, bool>>;
    const struct {
        const char* name;
        const uint8_t* bytes;
        const uint32_t* size;
        Objs objects;
    } assets[] = {
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
    for (const auto& a : assets) {
        // sized, and sized by the main chunk alone
        for (bool sized : {true, false}) {
            ld_test_scene sc;
            EXPECT_EQ(sized ? ld_3ds_meshes_mem_n(a.bytes, *a.size, &sc.s) : ld_3ds_meshes_mem(a.bytes, &sc.s), 0) << a.name;
            Objs got;
            for (const ld_obj_values& o : sc.values())
                got.emplace_back(o.name, o.vertex_count, o.face_count, o.has_uv);
            EXPECT_EQ(got, a.objects) << a.name;
        }
    }
}

TEST(LdEmbedded, LatticeCameraPath)
{
    kf_camera_path p{};
    ASSERT_EQ(ld_3ds_keys_mem_n(emb_3ds_lattice, emb_3ds_lattice_size, "Camera01", &p), 0);
    EXPECT_EQ(std::vector<int32_t>({p.start_frame, p.end_frame, p.pos_count, p.roll_count, p.target_count}),
              std::vector<int32_t>({0, 30, 17, 31, 17}));
    for (int32_t i = 0; i < 31; i++)
        EXPECT_EQ(p.roll_keys[2 * i], i);  // one roll key per frame
    EXPECT_EQ(p.pos_keys[16 * 4], 30);
    // 360 at frame 14 becomes 58670 with the 512/pi factor; frame 15 is 0
    EXPECT_EQ(p.roll_keys[2 * 14 + 1], 58670);
    EXPECT_EQ(p.roll_keys[2 * 15 + 1], 0);
    // t = 50 is frame 15, a key frame of every track: the keys come back exactly
    const auto key_at = [](const int32_t* keys, int32_t count, int stride) {
        for (int32_t i = 0; i < count; i++)
            if (keys[i * stride] == 15)
                return std::vector<int32_t>(keys + i * stride + 1, keys + i * stride + stride);
        return std::vector<int32_t>{};
    };
    sc_scene s{};
    ASSERT_EQ(kf_camera_eval(&s, &p, 50.0), 0);
    EXPECT_EQ(std::vector<int32_t>({s.cam_x, s.cam_y, s.cam_z}), key_at(p.pos_keys, p.pos_count, 4));
    EXPECT_EQ(std::vector<int32_t>({s.roll}), key_at(p.roll_keys, p.roll_count, 2));
    EXPECT_EQ(std::vector<int32_t>({s.target_x, s.target_y, s.target_z}), key_at(p.target_keys, p.target_count, 4));
    free(p.pos_keys);
    free(p.roll_keys);
    free(p.target_keys);
}
