// The 3DS reader on the largest embedded scene, and the keyframed camera on the lattice path.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "assets/emb.h"
#include "bench/bench_emb.h"
#include "engine3d/kf.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/sc_scene.h"

static void BM_ld_3ds_meshes_mem(benchmark::State& state)
{
    const bench_bytes largest = bench_largest_3ds();
    sc_scene scene;
    sc_init(&scene);
    for (auto _ : state) {
        // reading includes obj_finish (winding, radius, normals); freeing is timed too
        if (ld_3ds_meshes_mem_n(largest.bytes, largest.size, &scene))
            state.SkipWithError("reader failed");
        sc_free_objects(&scene);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * largest.size);
    sc_release(&scene);
}
BENCHMARK(BM_ld_3ds_meshes_mem);

static void BM_kf_camera_eval(benchmark::State& state)
{
    kf_camera_path path{};
    if (ld_3ds_keys_mem_n(emb_3ds_lattice, emb_3ds_lattice_size, "Camera01", &path)) {
        state.SkipWithError("no lattice path");
        return;
    }
    sc_scene scene{};
    double t = 0;
    for (auto _ : state) {
        kf_camera_eval(&scene, &path, t);
        benchmark::DoNotOptimize(scene.cam_x);
        t += 0.37;
        if (t >= 100)
            t -= 100;
    }
    free(path.pos_keys);
    free(path.roll_keys);
    free(path.target_keys);
}
BENCHMARK(BM_kf_camera_eval);
