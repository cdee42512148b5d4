// The 3D engine's per-frame costs: the face sort at the list's limit and whole frames of the
// lattice flight (374 instanced cubes and boxes, environment-mapped, 8-bit target), once with
// the show's embedded scene and camera path and once with meshes built in code.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "assets/emb.h"
#include "engine3d/fl_face_list.h"
#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/eng_render.h"
#include "engine3d/rz.h"
#include "tests/engine3d/eng_meshes.h"

static void BM_radix_sort(benchmark::State& state)
{
    const int32_t n = static_cast<int32_t>(state.range(0));
    std::vector<uint32_t> keys(n), work(4 * static_cast<size_t>(n));
    std::mt19937 rng(7);
    for (auto& k : keys)
        k = rng() & 0xffffff;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rs_sort_pairs(n, keys.data(), work.data(), 3));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_radix_sort)->Arg(30000);

namespace {

// 342 clones of `from` on a 7x7x7 grid of 8500 units around the origin, the centre left out.
void add_grid_clones(sc_scene* scene, sc_object* from)
{
    for (int x = 0; x < 7; x++)
        for (int y = 0; y < 7; y++)
            for (int z = 0; z < 7; z++) {
                if (x == 3 && y == 3 && z == 3)
                    continue;
                from = sc_add_instance(scene, from);
                from->pos_x = (x - 3) * 8500, from->pos_y = (y - 3) * 8500, from->pos_z = (z - 3) * 8500;
            }
}

// 30 clones of the moving box, the box itself stepped along x after each.
void add_box_clones(sc_scene* scene, sc_object* box)
{
    for (int i = 0; i < 30; i++) {
        sc_add_instance(scene, box);
        box->pos_x = (i - 35) * 1300;
    }
}

// The lattice: a cube and 342 clones on a 7x7x7 grid of 8500 units, a box and 30 clones
// tumbling among them, every object mode 8 with one of three environment textures.
struct Lattice {
    sc_scene scene;
    tex_buffer tex[3];
    std::vector<uint8_t> target = std::vector<uint8_t>(320 * 240);
    std::vector<sc_object*> movers;

    Lattice()
    {
        sc_init(&scene);
        for (int i = 0; i < 3; i++) {
            tex[i] = tex_alloc(8);
            for (int j = 0; j < tex_area_texels; j++)
                tex[i][j] = static_cast<uint8_t>(((j >> 3) ^ (j >> 11)) + 16 * i);
        }
        sc_object* from = eng_make_cube(2000, false);
        sc_add_object(&scene, from);
        add_grid_clones(&scene, from);
        sc_object* box = eng_make_box(700);
        sc_add_object(&scene, box);
        add_box_clones(&scene, box);
        sc_rewind(&scene);
        int n = 0;
        for (sc_object* o = sc_next(&scene); o; o = sc_next(&scene), n++) {
            o->mode = 8;
            o->tex_b = o->vertex_count < 24 ? tex[2] : tex[n & 1 ? 0 : 1];
            if (o->vertex_count < 24)
                movers.push_back(o);
        }
        rz_set_screen(320, 240, 8);
    }
    ~Lattice()
    {
        sc_free_objects(&scene);
        sc_release(&scene);
        for (tex_buffer t : tex)
            tex_free(t);
    }

    // One frame at tick t: the camera on a loop through the grid, the boxes on their paths.
    void frame(int t)
    {
        const double a = (t % 3000) * (2 * M_PI / 3000);
        scene.cam_x = static_cast<int32_t>(20000 * std::sin(a));
        scene.cam_y = static_cast<int32_t>(9000 * std::sin(2 * a));
        scene.cam_z = static_cast<int32_t>(20000 * std::cos(a));
        scene.target_x = static_cast<int32_t>(20000 * std::sin(a + 0.2));
        scene.target_y = 0;
        scene.target_z = static_cast<int32_t>(20000 * std::cos(a + 0.2));
        scene.roll = 0;
        for (size_t m = 0; m < movers.size(); m++) {
            sc_object* o = movers[m];
            o->angle_x = static_cast<int32_t>(3.1 * (t + 8 * static_cast<int>(m)));
            o->angle_y = static_cast<int32_t>(2.3 * t);
            const double b = t * 0.00390625 + 4.0 * static_cast<double>(m);
            o->pos_z = static_cast<int32_t>(std::sin(b) * o->pos_x);
            o->pos_y = static_cast<int32_t>(std::cos(b) * o->pos_z);
        }
        rz_target = target.data();
        sc_render(&scene);
        std::memset(target.data(), 0, target.size());
    }
};

}  // namespace

static void BM_sc_render_grid(benchmark::State& state)
{
    Lattice lattice;
    int t = 0;
    int64_t faces = 0;
    for (auto _ : state) {
        lattice.frame(t);
        faces += fl_count;
        t += 7;
    }
    state.counters["faces_per_frame"] = benchmark::Counter(static_cast<double>(faces) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_sc_render_grid)->Unit(benchmark::kMicrosecond);

namespace {

// The show's lattice: the cube of the embedded lattice scene and 342 clones, the embedded box
// and 30 clones, the scene's camera path, and the lattice texture with its two shifted copies.
struct ShowLattice {
    sc_scene scene;
    kf_camera_path path = {};
    tex_buffer tex[3] = {};
    std::vector<uint8_t> target = std::vector<uint8_t>(320 * 240);
    std::vector<sc_object*> movers;
    bool ok = false;

    ShowLattice()
    {
        sc_init(&scene);
        uint8_t palette[768];
        tex[0] = tex_from_picture_n(emb_pic_lattice_tex, emb_pic_lattice_tex_size, palette);
        tex[1] = tex_alloc(8);
        tex[2] = tex_alloc(8);
        if (!tex[0] || !tex[1] || !tex[2])
            return;
        for (int i = 0; i < 65536; i++) {
            tex[1][i] = static_cast<uint8_t>(tex[0][i] + 16);
            tex[2][i] = static_cast<uint8_t>(tex[0][i] + 32);
        }
        if (ld_3ds_keys_mem_n(emb_3ds_lattice, emb_3ds_lattice_size, "Camera01", &path) != 0 ||
            ld_3ds_meshes_mem_n(emb_3ds_lattice, emb_3ds_lattice_size, &scene) != 0)
            return;
        sc_rewind(&scene);
        sc_object* from = sc_next(&scene);
        add_grid_clones(&scene, from);
        if (ld_3ds_meshes_mem_n(emb_3ds_box, emb_3ds_box_size, &scene) != 0)
            return;
        sc_object* box = nullptr;
        sc_rewind(&scene);
        for (sc_object* o = sc_next(&scene); o && !box; o = sc_next(&scene))
            if (o->vertex_count < 24)
                box = o;
        add_box_clones(&scene, box);
        sc_rewind(&scene);
        int n = 0;
        for (sc_object* o = sc_next(&scene); o; o = sc_next(&scene), n++) {
            if (!o->normals && obj_make_normals(o) != 0)
                return;
            o->mode = 8;
            o->tex_b = o->vertex_count < 24 ? tex[2] : tex[n & 1 ? 0 : 1];
            if (o->vertex_count < 24)
                movers.push_back(o);
        }
        rz_set_screen(320, 240, 8);
        ok = scene.count == 374;
    }
    ~ShowLattice()
    {
        sc_free_objects(&scene);
        sc_release(&scene);
        for (tex_buffer t : tex)
            tex_free(t);
        std::free(path.pos_keys);
        std::free(path.roll_keys);
        std::free(path.target_keys);
    }

    void frame(int t)
    {
        rz_target = target.data();
        kf_camera_eval(&scene, &path, (t % 3000) * 0.03333333333333333);
        scene.roll = 0;
        scene.cam_x *= -3, scene.cam_y *= -3, scene.cam_z *= -3;
        for (size_t m = 0; m < movers.size(); m++) {
            sc_object* o = movers[m];
            o->angle_x = static_cast<int32_t>(3.1 * (t + 8 * static_cast<int>(m)));
            o->angle_y = static_cast<int32_t>(2.3 * t);
            const double a = t * 0.00390625 + 4.0 * static_cast<double>(m);
            o->pos_z = static_cast<int32_t>(std::sin(a) * o->pos_x);
            o->pos_y = static_cast<int32_t>(std::cos(a) * o->pos_z);
        }
        sc_render(&scene);
        std::memset(target.data(), 0, target.size());
    }
};

}  // namespace

static void BM_sc_render_lattice(benchmark::State& state)
{
    ShowLattice lattice;
    if (!lattice.ok) {
        state.SkipWithError("the embedded lattice scene did not load");
        return;
    }
    int t = 0;
    int64_t faces = 0;
    for (auto _ : state) {
        lattice.frame(t);
        faces += fl_count;
        t = (t + 7) % 3000;  // the whole flight, a frame every 7 ticks
    }
    state.counters["faces_per_frame"] = benchmark::Counter(static_cast<double>(faces) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_sc_render_lattice)->Unit(benchmark::kMicrosecond);
