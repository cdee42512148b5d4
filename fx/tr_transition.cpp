// Frame transitions: weighted cross-fade and mask wipe over whole 320x240 frames.
#include "fx/tr_transition.h"

#include <cstring>

namespace {

typedef uint16_t tr_u16x16 __attribute__((vector_size(32)));
typedef uint32_t tr_u32x8 __attribute__((vector_size(32)));
typedef uint8_t tr_u8x8 __attribute__((vector_size(8)));
typedef int8_t tr_i8x8 __attribute__((vector_size(8)));
typedef int32_t tr_i32x8 __attribute__((vector_size(32)));

int32_t tr_clamp(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// floor(n / 255) for 0 <= n <= 65025, exact, in 16-bit lanes: n + 1 + (n >> 8) stays below 65536.
// A macro rather than a function: a 256-bit vector may not cross a call in the baseline ABI.
#define TR_DIV255(n) (((n) + 1 + ((n) >> 8)) >> 8)

// Eight pixels a step, handled as sixteen 16-bit lanes: the low byte of each lane is blue or red,
// the high byte green or the top byte. Each colour byte becomes x * wa / 255 + y * wb / 255 with
// both quotients truncated, the same values as the weight tables. All three inputs are loaded
// before the store, so dst may be a or b.
inline __attribute__((always_inline)) void tr_crossfade_body(int32_t alpha, const uint32_t* a,
                                                             const uint32_t* b, uint32_t* dst)
{
    const tr_u16x16 wa = (tr_u16x16){} + static_cast<uint16_t>(255 - alpha);
    const tr_u16x16 wb = (tr_u16x16){} + static_cast<uint16_t>(alpha);
    const tr_u32x8 keep = (tr_u32x8){} + 0xff000000u;   // dst's own top byte
    for (int i = 0; i < tr_frame_pixels; i += 8) {
        tr_u16x16 va, vb;
        tr_u32x8 vd;
        std::memcpy(&va, a + i, sizeof va);
        std::memcpy(&vb, b + i, sizeof vb);
        std::memcpy(&vd, dst + i, sizeof vd);
        const tr_u16x16 na_lo = (va & 0xff) * wa, nb_lo = (vb & 0xff) * wb;
        const tr_u16x16 na_hi = (va >> 8) * wa, nb_hi = (vb >> 8) * wb;
        const tr_u16x16 lo = TR_DIV255(na_lo) + TR_DIV255(nb_lo);
        const tr_u16x16 hi = TR_DIV255(na_hi) + TR_DIV255(nb_hi);
        const tr_u32x8 mixed = reinterpret_cast<tr_u32x8>(lo | (hi << 8));
        const tr_u32x8 out = (mixed & ~keep) | (vd & keep);
        std::memcpy(dst + i, &out, sizeof out);
    }
}

inline __attribute__((always_inline)) void tr_maskwipe_body(int32_t threshold, const uint8_t* mask8,
                                                            const uint32_t* a, const uint32_t* b,
                                                            uint32_t* dst)
{
    const tr_u8x8 thr = (tr_u8x8){} + static_cast<uint8_t>(threshold);
    for (int i = 0; i < tr_frame_pixels; i += 8) {
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

void tr_crossfade_plain(int32_t alpha, const uint32_t* a, const uint32_t* b, uint32_t* dst)
{
    tr_crossfade_body(alpha, a, b, dst);
}

void tr_maskwipe_plain(int32_t threshold, const uint8_t* mask8, const uint32_t* a, const uint32_t* b,
                       uint32_t* dst)
{
    tr_maskwipe_body(threshold, mask8, a, b, dst);
}

typedef void (*tr_crossfade_fn)(int32_t, const uint32_t*, const uint32_t*, uint32_t*);
typedef void (*tr_maskwipe_fn)(int32_t, const uint8_t*, const uint32_t*, const uint32_t*, uint32_t*);

#if defined(__x86_64__) || defined(__i386__)
// The same loops compiled for 256-bit registers, chosen once when the processor has them.
__attribute__((target("avx2"))) void tr_crossfade_avx2(int32_t alpha, const uint32_t* a,
                                                       const uint32_t* b, uint32_t* dst)
{
    tr_crossfade_body(alpha, a, b, dst);
}

__attribute__((target("avx2"))) void tr_maskwipe_avx2(int32_t threshold, const uint8_t* mask8,
                                                      const uint32_t* a, const uint32_t* b, uint32_t* dst)
{
    tr_maskwipe_body(threshold, mask8, a, b, dst);
}

bool tr_have_avx2()
{
    __builtin_cpu_init();   // may run before the library's own constructors
    return __builtin_cpu_supports("avx2");
}
#else
const tr_crossfade_fn tr_crossfade_avx2 = tr_crossfade_plain;
const tr_maskwipe_fn tr_maskwipe_avx2 = tr_maskwipe_plain;
bool tr_have_avx2() { return false; }
#endif

const tr_crossfade_fn tr_crossfade_loop = tr_have_avx2() ? tr_crossfade_avx2 : tr_crossfade_plain;
const tr_maskwipe_fn tr_maskwipe_loop = tr_have_avx2() ? tr_maskwipe_avx2 : tr_maskwipe_plain;

}  // namespace

uint32_t* tr_crossfade32(int32_t alpha, const uint32_t* a, const uint32_t* b, uint32_t* dst)
{
    tr_crossfade_loop(tr_clamp(alpha), a, b, dst);
    return dst;
}

uint32_t* tr_maskwipe32(int32_t threshold, const uint8_t* mask8, const uint32_t* a, const uint32_t* b,
                        uint32_t* dst)
{
    tr_maskwipe_loop(tr_clamp(threshold), mask8, a, b, dst);
    return dst;
}
