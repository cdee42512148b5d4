// Rasteriser: one full 320x240 screen of textured triangles per iteration, with each filler.
// The mesh is a 16 x 12 grid of 20-pixel cells, its inner corners moved a little, each cell
// two clockwise triangles: 384 triangles, 76800 pixels, about what one 3D frame of the show
// draws. The depth modes refill the depth buffer every iteration, as a frame does.
#include <benchmark/benchmark.h>

#include "engine3d/pal_shade.h"
#include "engine3d/rz.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int grid_w = 16, grid_h = 12, cell = 20;

std::vector<rz_vertex> bench_mesh()
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> jitter(-6 * 256, 6 * 256);
    std::vector<rz_vertex> corner((grid_w + 1) * (grid_h + 1));
    for (int j = 0; j <= grid_h; j++)
        for (int i = 0; i <= grid_w; i++) {
            const bool inner = i > 0 && j > 0 && i < grid_w && j < grid_h;
            const int32_t x = i * cell * 256 + (inner ? jitter(rng) : 0);
            const int32_t y = j * cell * 256 + (inner ? jitter(rng) : 0);
            // texture pairs across the whole 256x256 area; depth 100..300 (x 256 in the
            // perspective modes); shade levels 0..15
            corner[j * (grid_w + 1) + i] = rz_vertex{x, y, i * 16 * 256, j * 21 * 256, (grid_w - i) * 16 * 256,
                                                     j * 21 * 256, ((i + j) & 15) * 256, 100 + 10 * (i + j)};
        }
    std::vector<rz_vertex> tris;
    for (int j = 0; j < grid_h; j++)
        for (int i = 0; i < grid_w; i++) {
            const rz_vertex& a = corner[j * (grid_w + 1) + i];
            const rz_vertex& b = corner[j * (grid_w + 1) + i + 1];
            const rz_vertex& c = corner[(j + 1) * (grid_w + 1) + i + 1];
            const rz_vertex& d = corner[(j + 1) * (grid_w + 1) + i];
            tris.insert(tris.end(), {a, b, c, a, c, d});
        }
    return tris;
}

void BM_rz_fill(benchmark::State& state, uint32_t mode, int32_t bits)
{
    std::vector<rz_vertex> tris = bench_mesh();
    const bool persp = (mode & rz_flag_perspective) != 0;
    for (rz_vertex& v : tris)
        v.depth = persp ? v.depth << 8 : v.depth;
    const size_t texel = bits > 8 ? 4 : 1;
    std::vector<uint8_t> target(320 * 240 * texel);
    std::vector<uint8_t> tex1(static_cast<size_t>(rz_tex_texels) * texel + 1024);
    std::vector<uint8_t> tex2(tex1.size());
    std::mt19937 rng(5);
    for (size_t i = 0; i < tex1.size(); i++) {
        tex1[i] = static_cast<uint8_t>(1 + rng() % 255);
        tex2[i] = static_cast<uint8_t>(rng());
    }
    std::memset(pal_bump_table + 32768, 7, 65536);

    rz_set_screen(320, 240, bits);
    rz_zbuffer(0);
    rz_zbuffer(1);
    rz_target = target.data();
    rz_set_texture(tex1.data(), 1);
    rz_set_texture(tex2.data(), 2);
    if (rz_set_mode(mode) != 0) {
        state.SkipWithError("mode unknown to the rasteriser");
        return;
    }
    const uint32_t depth_fill = mode >= 100 ? 0u : 0xffffffffu; // float 0.0 / farthest
    for (auto _ : state) {
        if (mode & rz_flag_depth)
            std::fill(rz_zbuf, rz_zbuf + 320 * 240, depth_fill);
        for (size_t k = 0; k < tris.size(); k += 3)
            rz_draw_poly(3, &tris[k]);
        if (mode == 16)
            rz_bump_pass8();
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 320 * 240);
    state.counters["triangles"] = static_cast<double>(tris.size() / 3);
    rz_target = nullptr;
    rz_set_texture(nullptr, 1);
    rz_set_texture(nullptr, 2);
    rz_zbuffer(0);
}

} // namespace

BENCHMARK_CAPTURE(BM_rz_fill, flat8, 1u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, gouraud8, 2u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, tex8, 4u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, tex_shade8, 6u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, tex2_add8, 12u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, tex2_mask8, 140u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, bump_prep8_and_pass, 16u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, tex_z8, 36u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, texp8, 68u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, texp_z8, 100u, 8);
BENCHMARK_CAPTURE(BM_rz_fill, tex32, 4u, 32);
BENCHMARK_CAPTURE(BM_rz_fill, tex_z32, 40u, 32);
BENCHMARK_CAPTURE(BM_rz_fill, texp32, 68u, 32);
