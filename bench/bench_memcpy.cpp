// The physical limit that per-frame work is measured against: copying the same number of bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

static void BM_memcpy_frame(benchmark::State& state)
{
    const size_t bytes = static_cast<size_t>(state.range(0));
    // One allocation with the destination a few cache lines off the source's page offset: two
    // separate large vectors come from mmap at the same offset within a page, and at some sizes
    // (307200 bytes here) the copy then runs ten times slower from 4K aliasing, which says
    // nothing about the limit a converter or effect is measured against.
    std::vector<uint8_t> buf(2 * bytes + 8192, 0x5a);
    uint8_t* src = buf.data();
    uint8_t* dst = buf.data() + bytes + 4096 + 7 * 64;
    for (auto _ : state) {
        std::memcpy(dst, src, bytes);
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
// 76800 (8-bit 320x240), 153600 (16-bit), 307200 (a frame32), 614400, 1228800 (doubled outputs)
BENCHMARK(BM_memcpy_frame)->Arg(76800)->Arg(153600)->Arg(307200)->Arg(614400)->Arg(1228800);
// the packed 24-bit converters: 230400 and 460800
BENCHMARK(BM_memcpy_frame)->Arg(230400)->Arg(460800);
