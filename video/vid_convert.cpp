#include "video/vid_convert.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

vid_row_converter vid_converter = nullptr;
uint8_t vid_gb_table[65536];

// The converters are built twice on x86-64, for the SSE2 baseline and for AVX2, and the loader
// picks one for the machine: the wider vectors roughly halve the packing work.
#if defined(__x86_64__) && defined(__GNUC__)
#define CV_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define CV_LOOP
#endif

namespace {

// Unaligned-safe 32-bit store: output rows of the packed formats do not start on words.
inline void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// 0x00RRGGBB -> RGB555 / RGB565, each channel cut to its top bits.
inline uint32_t to555(uint32_t p) { return ((p >> 9) & 0x7c00) | ((p >> 6) & 0x03e0) | ((p >> 3) & 0x001f); }
inline uint32_t to565(uint32_t p) { return ((p >> 8) & 0xf800) | ((p >> 5) & 0x07e0) | ((p >> 3) & 0x001f); }

// (G << 8) | B is the pixel's low 16 bits; the red level is R >> 2 (0..63).
inline uint8_t red_level(uint32_t p) { return static_cast<uint8_t>((p >> 18) & 63); }
inline uint8_t gb_index(uint32_t p) { return vid_gb_table[p & 0xffff]; }

} // namespace

static void cv_gray8_plain(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    for (int32_t x = 0; x < count; ++x) {
        // B + R in the low and high halves plus G in the low half, then the halves added:
        // B + G + R is at most 765, so 0..95 after >> 3
        uint32_t p = src[x];
        uint32_t t = (p & 0x00ff00ff) + ((p >> 8) & 0xff);
        dst[x] = static_cast<uint8_t>(((t + (t >> 16)) & 0x3ff) >> 3);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The grey sum with byte multiply-adds: weights 1, 1, 1, 0 give B + G and R in 16-bit lanes, a
// second multiply-add by 1 their sum per pixel; 32 pixels narrow into one 32-byte store (the
// packs interleave the four vectors' halves, the permute puts the 4-byte groups in order).
__attribute__((target("avx2"))) static void cv_gray8_avx2(uint8_t* __restrict dst, const uint32_t* __restrict src,
                                              int32_t count, int32_t)
{
    const __m256i weights = _mm256_set1_epi32(0x00010101), ones = _mm256_set1_epi16(1);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int32_t x = 0;
    for (; x + 32 <= count; x += 32) {
        __m256i sum[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x + 8 * k));
            sum[k] = _mm256_srli_epi32(_mm256_madd_epi16(_mm256_maddubs_epi16(p, weights), ones), 3);
        }
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(sum[0], sum[1]),
                                                  _mm256_packus_epi32(sum[2], sum[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_permutevar8x32_epi32(bytes, order));
    }
    for (; x < count; ++x) {
        const uint32_t p = src[x];
        dst[x] = static_cast<uint8_t>(((p & 255) + (p >> 8 & 255) + (p >> 16 & 255)) >> 3);
    }
}

static vid_row_converter cv_pick_gray8()
{
    __builtin_cpu_init(); // may run before the library's own constructors
    return __builtin_cpu_supports("avx2") ? cv_gray8_avx2 : cv_gray8_plain;
}
#else
static vid_row_converter cv_pick_gray8() { return cv_gray8_plain; }
#endif

// The grey loop for this processor, chosen once at start-up (the plain one until then).
static vid_row_converter cv_gray8_loop = cv_gray8_plain;
[[maybe_unused]] static const bool cv_gray8_chosen = (cv_gray8_loop = cv_pick_gray8(), true);

void cv_gray8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch)
{
    cv_gray8_loop(dst, src, count, pitch);
}

// The colour-trick converters in two kinds of loop: the green/blue table lookups, one per pixel
// and scalar by nature, and the red levels and byte interleaving, which vectorise. A row is
// handled in chunks whose indices wait in a small buffer on the stack between the two.
constexpr int32_t cv_chunk = 64;

inline void cv_gb_lookup(uint8_t* __restrict out, const uint32_t* __restrict src, int32_t n)
{
    int32_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // eight lookups gathered into one 64-bit store, the first in the lowest byte
        for (; x + 8 <= n; x += 8) {
            uint64_t w = 0;
#pragma GCC unroll 8
            for (int k = 0; k < 8; ++k)
                w |= static_cast<uint64_t>(gb_index(src[x + k])) << (8 * k);
            std::memcpy(out + x, &w, 8);
        }
    }
    for (; x < n; ++x)
        out[x] = gb_index(src[x]);
}

CV_LOOP void cv_pair8(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t pitch)
{
    for (int32_t x = 0; x < count; ++x)
        dst[x] = red_level(src[x]);
    cv_gb_lookup(dst + pitch, src, count);
}

CV_LOOP void cv_checker8(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t pitch)
{
    uint8_t* below = dst + pitch;
    uint8_t gbs[cv_chunk];
    for (int32_t x0 = 0; x0 < count; x0 += cv_chunk) {
        const int32_t n = count - x0 < cv_chunk ? count - x0 : cv_chunk;
        cv_gb_lookup(gbs, src + x0, n);
        for (int32_t k = 0; k < n; ++k) {
            const uint32_t r = red_level(src[x0 + k]), gb = gbs[k];
            put16(dst + 2 * (x0 + k), static_cast<uint16_t>(r | gb << 8));     // r at 2x, gb at 2x + 1
            put16(below + 2 * (x0 + k), static_cast<uint16_t>(gb | r << 8));   // gb at 2x, r at 2x + 1
        }
    }
}

static void cv_rgb15_plain(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    // pixel x at bytes 2x, 2x + 1: the same bytes as two pixels per 32-bit store with the first
    // in the low half, in a form the compiler packs a whole vector at a time
    for (int32_t x = 0; x < count; ++x)
        put16(dst + 2 * x, static_cast<uint16_t>(to555(src[x])));
}

CV_LOOP void cv_rgb15_double(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    for (int32_t x = 0; x < count; ++x) {
        uint32_t v = to555(src[x]);
        put32(dst + 4 * x, v | v << 16);
    }
}

static void cv_rgb16_plain(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    // pixel x at bytes 2x, 2x + 1: the same bytes as two pixels per 32-bit store with the first
    // in the low half, in a form the compiler packs a whole vector at a time
    for (int32_t x = 0; x < count; ++x)
        put16(dst + 2 * x, static_cast<uint16_t>(to565(src[x])));
}

CV_LOOP void cv_rgb16_double(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    for (int32_t x = 0; x < count; ++x) {
        uint32_t v = to565(src[x]);
        put32(dst + 4 * x, v | v << 16);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// RGB555 / RGB565 eight pixels at a time in 32-bit lanes, then sixteen narrowed into one store
// (the values fit 16 bits, so the saturating pack keeps them; the permute undoes its lane
// interleave). What is left under sixteen pixels goes one at a time.
template <bool Is565>
__attribute__((target("avx2"))) static inline __m256i cv_16bit_x8(__m256i p)
{
    const int r = Is565 ? 8 : 9, g = Is565 ? 5 : 6;
    const __m256i rm = _mm256_set1_epi32(Is565 ? 0xf800 : 0x7c00), gm = _mm256_set1_epi32(Is565 ? 0x07e0 : 0x03e0);
    const __m256i bm = _mm256_set1_epi32(0x001f);
    return _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(p, r), rm),
                                           _mm256_and_si256(_mm256_srli_epi32(p, g), gm)),
                           _mm256_and_si256(_mm256_srli_epi32(p, 3), bm));
}

template <bool Is565>
__attribute__((target("avx2"))) static void cv_16bit_avx2(uint8_t* __restrict dst, const uint32_t* __restrict src,
                                                          int32_t count, int32_t)
{
    int32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m256i a = cv_16bit_x8<Is565>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x)));
        const __m256i b = cv_16bit_x8<Is565>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x + 8)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * x),
                            _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xd8));
    }
    for (; x < count; ++x)
        put16(dst + 2 * x, static_cast<uint16_t>(Is565 ? to565(src[x]) : to555(src[x])));
}

static bool cv_have_avx2()
{
    __builtin_cpu_init(); // may run before the library's own constructors
    return __builtin_cpu_supports("avx2");
}
static vid_row_converter cv_pick_rgb15() { return cv_have_avx2() ? cv_16bit_avx2<false> : cv_rgb15_plain; }
static vid_row_converter cv_pick_rgb16() { return cv_have_avx2() ? cv_16bit_avx2<true> : cv_rgb16_plain; }
#else
static vid_row_converter cv_pick_rgb15() { return cv_rgb15_plain; }
static vid_row_converter cv_pick_rgb16() { return cv_rgb16_plain; }
#endif

// The 16-bit loops for this processor, chosen once at start-up (the plain ones until then).
static vid_row_converter cv_rgb15_loop = cv_rgb15_plain, cv_rgb16_loop = cv_rgb16_plain;
[[maybe_unused]] static const bool cv_16bit_chosen =
    (cv_rgb15_loop = cv_pick_rgb15(), cv_rgb16_loop = cv_pick_rgb16(), true);

void cv_rgb15(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch)
{
    cv_rgb15_loop(dst, src, count, pitch);
}

void cv_rgb16(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch)
{
    cv_rgb16_loop(dst, src, count, pitch);
}

CV_LOOP void cv_rgb24(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    // the frame's bytes are B, G, R, top in memory: keep the first three of every pixel, which
    // the compiler turns into shuffles and whole-vector stores (four pixels per 12 bytes)
    const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
    for (int32_t x = 0; x < count; ++x) {
        dst[3 * x] = s[4 * x];
        dst[3 * x + 1] = s[4 * x + 1];
        dst[3 * x + 2] = s[4 * x + 2];
    }
}

CV_LOOP void cv_rgb24_double(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    // B, G, R of every pixel twice (6 bytes), as cv_rgb24 reading the frame's bytes
    const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
    for (int32_t x = 0; x < count; ++x) {
        dst[6 * x] = dst[6 * x + 3] = s[4 * x];
        dst[6 * x + 1] = dst[6 * x + 4] = s[4 * x + 1];
        dst[6 * x + 2] = dst[6 * x + 5] = s[4 * x + 2];
    }
}

CV_LOOP void cv_rgb32(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    std::memcpy(dst, src, static_cast<size_t>(count) * 4);
}

CV_LOOP void cv_rgb32_double(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    for (int32_t x = 0; x < count; ++x) {
        put32(dst + 8 * x, src[x]);
        put32(dst + 8 * x + 4, src[x]);
    }
}

CV_LOOP void cv_pack8(uint8_t* __restrict dst, const uint32_t* __restrict src, int32_t count, int32_t)
{
    // count is a number of source bytes: four words (16 bytes) give one output word
    if constexpr (std::endian::native == std::endian::little) {
        // the word's first byte in memory is the first source word's: the low bytes in order,
        // which the compiler narrows a whole vector at a time
        const int32_t n = count / 16 * 4;
        for (int32_t i = 0; i < n; ++i)
            dst[i] = static_cast<uint8_t>(src[i]);
    } else {
        for (int32_t step = 0; step < count / 16; ++step, src += 4)
            put32(dst + 4 * step, (src[0] & 255) | (src[1] & 255) << 8 | (src[2] & 255) << 16 | src[3] << 24);
    }
}

void vid_make_gb_table()
{
    // index (G << 8) | B: blue level B >> 5 picks a row of 16, green level G >> 4 the column
    for (uint32_t i = 0; i < 65536; ++i)
        vid_gb_table[i] = static_cast<uint8_t>(128 + 16 * ((i & 255) >> 5) + (i >> 12));
}

// by selector; defined after the converters (a multiversioned function must not be used first)
static const vid_row_converter converters[11] = {
    cv_gray8, cv_pair8, cv_checker8, cv_rgb15, cv_rgb15_double, cv_rgb16,
    cv_rgb16_double, cv_rgb24, cv_rgb24_double, cv_rgb32, cv_rgb32_double,
};

int vid_set_converter(int selector)
{
    if (static_cast<unsigned>(selector) > 10)
        return 1;
    vid_converter = converters[selector];
    if (selector == 1 || selector == 2)
        vid_make_gb_table();
    return 0;
}

void vid_convert_line(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch)
{
    vid_converter(dst, src, count, pitch);
}
