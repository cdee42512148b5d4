// The 3DS file reader on the largest embedded scene, written to a temporary file once.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_emb.h"
#include "engine3d/readers/ld_3ds_file.h"
#include "engine3d/sc_scene.h"

static void BM_ld_3ds_meshes_file(benchmark::State& state)
{
    const bench_bytes largest = bench_largest_3ds();
    const char* tmp = getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/orv_bench_3ds_XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0 || write(fd, largest.bytes, largest.size) != static_cast<ssize_t>(largest.size)) {
        state.SkipWithError("cannot write the temporary file");
        return;
    }
    close(fd);
    sc_scene scene;
    sc_init(&scene);
    for (auto _ : state) {
        // opening, walking, reading and finishing the objects (normals), and freeing them
        if (ld_3ds_meshes_file(path.c_str(), &scene))
            state.SkipWithError("reader failed");
        sc_free_objects(&scene);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * largest.size);
    sc_release(&scene);
    unlink(path.c_str());
}
BENCHMARK(BM_ld_3ds_meshes_file);
