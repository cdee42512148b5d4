// Frame transitions: weighted cross-fade and mask wipe over whole 320x240 frames.
#include "fx/tr_transition.h"
#include "fx/fx_internal.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

typedef uint32_t tr_u32x8 __attribute__((vector_size(32)));
typedef uint8_t tr_u8x8 __attribute__((vector_size(8)));
typedef int8_t tr_i8x8 __attribute__((vector_size(8)));
typedef int32_t tr_i32x8 __attribute__((vector_size(32)));

int32_t tr_clamp(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// floor(x * w / 255) for a colour byte x and a weight w in 0..254 is (x * tr_weight(w)) >> 16
// exactly: the 0.16 fraction overshoots w / 255 by less than 2^-16, which over x <= 255 adds less
// than 1/255 and so never reaches the next whole quotient. A weight of 255 (alpha 0 or 255) would
// need 65536: those two ends copy one frame instead (tr_pick).
inline uint16_t tr_weight(int32_t w) { return static_cast<uint16_t>((w * 65536 + 254) / 255); }

// Plain C++ for any processor: the same products and shifts byte by byte.
void tr_crossfade_plain(int32_t alpha, const uint32_t* a, const uint32_t* b, uint32_t* dst)
{
    const uint32_t ma = tr_weight(255 - alpha), mb = tr_weight(alpha);
    for (int i = 0; i < pix_frame_pixels; i++) {
        const uint32_t pa = a[i], pb = b[i];
        uint32_t out = dst[i] & 0xff000000u;
        for (int c = 0; c < 24; c += 8)
            out |= (((pa >> c & 255) * ma >> 16) + ((pb >> c & 255) * mb >> 16)) << c;
        dst[i] = out;
    }
}

// One end of the fade: the colour bytes of src, the top byte dst held.
void tr_pick(const uint32_t* src, uint32_t* dst)
{
    for (int i = 0; i < pix_frame_pixels; i++)
        dst[i] = (src[i] & 0x00ffffffu) | (dst[i] & 0xff000000u);
}

inline __attribute__((always_inline)) void tr_maskwipe_body(int32_t threshold, const uint8_t* mask8,
                                                            const uint32_t* a, const uint32_t* b,
                                                            uint32_t* dst)
{
    const tr_u8x8 thr = (tr_u8x8){} + static_cast<uint8_t>(threshold);
    for (int i = 0; i < pix_frame_pixels; i += 8) {
        tr_u8x8 m8;
        tr_u32x8 va, vb;
        std::memcpy(&m8, mask8 + i, sizeof m8);
        std::memcpy(&va, a + i, sizeof va);
        std::memcpy(&vb, b + i, sizeof vb);
        // all-ones bytes where the mask is above the threshold, widened by sign extension
        const tr_i8x8 above = reinterpret_cast<tr_i8x8>(m8 > thr);
        const tr_u32x8 take_a = reinterpret_cast<tr_u32x8>(__builtin_convertvector(above, tr_i32x8));
        const tr_u32x8 out = (va & take_a) | (vb & ~take_a);
        std::memcpy(dst + i, &out, sizeof out);
    }
}

void tr_maskwipe_plain(int32_t threshold, const uint8_t* mask8, const uint32_t* a, const uint32_t* b,
                       uint32_t* dst)
{
    tr_maskwipe_body(threshold, mask8, a, b, dst);
}

typedef void (*tr_crossfade_fn)(int32_t, const uint32_t*, const uint32_t*, uint32_t*);
typedef void (*tr_maskwipe_fn)(int32_t, const uint8_t*, const uint32_t*, const uint32_t*, uint32_t*);

#if defined(__x86_64__) || defined(__i386__)
// Two pixels' bytes as 16-bit lanes: the low byte mask gives blue and red, the green mask green
// in the high byte of the low lane (the top byte masked off). A high product of the green lane
// is floor(G * m / 256); masked to its high byte it is floor(G * m / 65536) << 8, the green
// result in place. All three inputs are loaded before the store, so dst may be a or b.
__attribute__((target("sse2"))) void tr_crossfade_sse2(int32_t alpha, const uint32_t* a,
                                                       const uint32_t* b, uint32_t* dst)
{
    const __m128i ma = _mm_set1_epi16(static_cast<short>(tr_weight(255 - alpha)));
    const __m128i mb = _mm_set1_epi16(static_cast<short>(tr_weight(alpha)));
    const __m128i low = _mm_set1_epi32(0x00ff00ff), green = _mm_set1_epi32(0x0000ff00);
    const __m128i top = _mm_set1_epi32(static_cast<int>(0xff000000u));
    for (int i = 0; i < pix_frame_pixels; i += 4) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i br = _mm_add_epi16(_mm_mulhi_epu16(_mm_and_si128(va, low), ma),
                                         _mm_mulhi_epu16(_mm_and_si128(vb, low), mb));
        const __m128i g = _mm_add_epi16(_mm_and_si128(_mm_mulhi_epu16(_mm_and_si128(va, green), ma), green),
                                        _mm_and_si128(_mm_mulhi_epu16(_mm_and_si128(vb, green), mb), green));
        const __m128i out = _mm_or_si128(_mm_or_si128(br, g), _mm_and_si128(vd, top));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
}

// The same eight pixels at a time.
__attribute__((target("avx2"))) void tr_crossfade_avx2(int32_t alpha, const uint32_t* a,
                                                       const uint32_t* b, uint32_t* dst)
{
    const __m256i ma = _mm256_set1_epi16(static_cast<short>(tr_weight(255 - alpha)));
    const __m256i mb = _mm256_set1_epi16(static_cast<short>(tr_weight(alpha)));
    const __m256i low = _mm256_set1_epi32(0x00ff00ff), green = _mm256_set1_epi32(0x0000ff00);
    const __m256i top = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    for (int i = 0; i < pix_frame_pixels; i += 8) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        const __m256i vd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        const __m256i br = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_and_si256(va, low), ma),
                                            _mm256_mulhi_epu16(_mm256_and_si256(vb, low), mb));
        const __m256i g =
            _mm256_add_epi16(_mm256_and_si256(_mm256_mulhi_epu16(_mm256_and_si256(va, green), ma), green),
                             _mm256_and_si256(_mm256_mulhi_epu16(_mm256_and_si256(vb, green), mb), green));
        const __m256i out = _mm256_or_si256(_mm256_or_si256(br, g), _mm256_and_si256(vd, top));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
}

__attribute__((target("avx2"))) void tr_maskwipe_avx2(int32_t threshold, const uint8_t* mask8,
                                                      const uint32_t* a, const uint32_t* b, uint32_t* dst)
{
    tr_maskwipe_body(threshold, mask8, a, b, dst);
}

int tr_machine_level()
{
    __builtin_cpu_init();   // may run before the library's own constructors
    return __builtin_cpu_supports("avx2") ? 2 : (__builtin_cpu_supports("sse2") ? 1 : 0);
}
#else
const tr_crossfade_fn tr_crossfade_sse2 = tr_crossfade_plain;
const tr_crossfade_fn tr_crossfade_avx2 = tr_crossfade_plain;
const tr_maskwipe_fn tr_maskwipe_avx2 = tr_maskwipe_plain;
int tr_machine_level() { return 0; }
#endif

const int tr_best_level = tr_machine_level();
const tr_crossfade_fn tr_crossfade_loops[3] = {tr_crossfade_plain, tr_crossfade_sse2, tr_crossfade_avx2};
const tr_maskwipe_fn tr_maskwipe_loops[3] = {tr_maskwipe_plain, tr_maskwipe_plain, tr_maskwipe_avx2};
tr_crossfade_fn tr_crossfade_loop = tr_crossfade_loops[tr_best_level];
tr_maskwipe_fn tr_maskwipe_loop = tr_maskwipe_loops[tr_best_level];

}  // namespace

int tr_select_loops(int level)
{
    if (level < 0 || level > tr_best_level)
        level = tr_best_level;
    tr_crossfade_loop = tr_crossfade_loops[level];
    tr_maskwipe_loop = tr_maskwipe_loops[level];
    return level;
}

uint32_t* tr_crossfade32(int32_t alpha, const uint32_t* a, const uint32_t* b, uint32_t* dst)
{
    alpha = tr_clamp(alpha);
    if (alpha == 0 || alpha == 255)
        tr_pick(alpha == 0 ? a : b, dst);   // one weight is 255, the other 0
    else
        tr_crossfade_loop(alpha, a, b, dst);
    return dst;
}

uint32_t* tr_maskwipe32(int32_t threshold, const uint8_t* mask8, const uint32_t* a, const uint32_t* b,
                        uint32_t* dst)
{
    tr_maskwipe_loop(tr_clamp(threshold), mask8, a, b, dst);
    return dst;
}
