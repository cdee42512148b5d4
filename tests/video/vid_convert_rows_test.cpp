// Row converters over random pixels at every row length up to 64 pixels and full 320- and
// 640-pixel rows, against a pixel-at-a-time model: the blocked loops must give the same bytes at
// every length, in both output rows, and write nothing past them.
#include <gtest/gtest.h>

#include "video/vid_internal.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

uint32_t m555(uint32_t p) { return ((p >> 19 & 31) << 10) | ((p >> 11 & 31) << 5) | (p >> 3 & 31); }
uint32_t m565(uint32_t p) { return ((p >> 19 & 31) << 11) | ((p >> 10 & 63) << 5) | (p >> 3 & 31); }
uint8_t mred(uint32_t p) { return static_cast<uint8_t>((p >> 16 & 255) >> 2); }
uint8_t mgb(uint32_t p) { return static_cast<uint8_t>(128 + 16 * ((p & 255) >> 5) + ((p >> 8 & 255) >> 4)); }

void put(std::vector<uint8_t>& o, size_t at, uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; ++k) o[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// The expected two output rows (pitch bytes apart) of selector sel for n pixels.
void model(int sel, const uint32_t* s, int n, int pitch, std::vector<uint8_t>& o)
{
    for (int x = 0; x < n; ++x) {
        const uint32_t p = s[x];
        switch (sel) {
        case 0: o[x] = static_cast<uint8_t>(((p & 255) + (p >> 8 & 255) + (p >> 16 & 255)) >> 3); break;
        case 1: o[x] = mred(p); o[pitch + x] = mgb(p); break;
        case 2:
            o[2 * x] = o[pitch + 2 * x + 1] = mred(p);
            o[2 * x + 1] = o[pitch + 2 * x] = mgb(p);
            break;
        case 3: put(o, 2 * x, m555(p), 2); break;
        case 4: put(o, 4 * x, m555(p) * 0x10001u, 4); break;
        case 5: put(o, 2 * x, m565(p), 2); break;
        case 6: put(o, 4 * x, m565(p) * 0x10001u, 4); break;
        case 7: put(o, 3 * x, p, 3); break;
        case 8: put(o, 6 * x, p, 3); put(o, 6 * x + 3, p, 3); break;
        case 9: put(o, 4 * x, p, 4); break;
        case 10: put(o, 8 * x, p, 4); put(o, 8 * x + 4, p, 4); break;
        }
    }
}

const int kStep[11] = {1, 1, 1, 2, 1, 2, 1, 4, 2, 2, 2};
const int kBytesPerPixel[11] = {1, 1, 2, 2, 4, 2, 4, 3, 6, 4, 8};

} // namespace

TEST(RowConverters, EveryRowLengthMatchesThePixelModel)
{
    std::mt19937 rng(77);
    std::vector<uint32_t> src(640);
    vid_make_gb_table();
    for (int sel = 0; sel <= 10; ++sel) {
        ASSERT_EQ(vid_set_converter(sel), 0);
        std::vector<int> lengths;
        for (int n = kStep[sel]; n <= 64; n += kStep[sel]) lengths.push_back(n);
        lengths.insert(lengths.end(), {320, 640});
        for (const int n : lengths) {
            for (uint32_t& p : src) p = static_cast<uint32_t>(rng());
            const int pitch = n * kBytesPerPixel[sel] + 8;
            std::vector<uint8_t> got(2 * static_cast<size_t>(pitch) + 16, 0xcc), want = got;
            vid_convert_line(got.data(), src.data(), n, pitch);
            model(sel, src.data(), n, pitch, want);
            ASSERT_EQ(got, want) << "selector " << sel << " pixels " << n;
        }
    }
}
