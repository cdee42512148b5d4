// Row converters over a whole 320x240 frame, to compare with BM_memcpy_frame of the same output
// size (selector: output bytes): 0: 76800; 1, 2: 153600 / 307200 (two 8-bit rows, the second
// doubled); 3, 5: 153600; 4, 6: 307200; 7: 230400; 8: 460800; 9: 307200; 10: 614400.
#include <benchmark/benchmark.h>

#include "video/vid_internal.h"

#include <cstdint>
#include <vector>

namespace {

const int64_t kOutBytes[11] = {76800, 153600, 307200, 153600, 307200, 153600, 307200, 230400, 460800, 307200, 614400};
// bytes per output row of a 320-pixel frame row, and rows advanced per frame row
const int kRowBytes[11] = {320, 320, 640, 640, 1280, 640, 1280, 960, 1920, 1280, 2560};
const int kRowsPerRow[11] = {1, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};

void BM_convert(benchmark::State& state)
{
    int sel = static_cast<int>(state.range(0));
    vid_set_converter(sel);
    std::vector<uint32_t> frame(320 * 240);
    // a picture-like frame: gradients with a little noise in the low bits
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            frame[y * 320 + x] = ((x + y) & 255) | ((x * 2 / 3 + (y * x * 2654435761u >> 29)) & 255) << 8 | (y & 255) << 16;
    int pitch = kRowBytes[sel];
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * kRowsPerRow[sel] * 240 + 64);
    for (auto _ : state) {
        for (int y = 0; y < 240; ++y)
            vid_convert_line(&out[static_cast<size_t>(y) * pitch * kRowsPerRow[sel]], &frame[320 * y], 320, pitch);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kOutBytes[sel]);
}

void BM_pack8(benchmark::State& state)
{
    std::vector<uint32_t> frame(320 * 240, 0x01020304);
    std::vector<uint8_t> out(76800);
    for (auto _ : state) {
        for (int y = 0; y < 240; ++y) cv_pack8(&out[320 * y], &frame[320 * y], 1280, 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 76800);
}

} // namespace

BENCHMARK(BM_convert)->DenseRange(0, 10);
BENCHMARK(BM_pack8);
