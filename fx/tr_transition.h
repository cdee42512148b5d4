// Frame transitions: compose two 320x240 frames of 0x00RRGGBB pixels into a third while one stage
// of the show hands over to the next. Both are stateless between calls and allow dst to be the
// same buffer as a or b (every output position depends only on the inputs at that position).
#pragma once

#include <cstdint>

#include "picture/pix.h"

uint32_t* tr_crossfade32(int32_t alpha, const uint32_t* a, const uint32_t* b, uint32_t* dst);
// Cross-fade from a (alpha 0) to b (alpha 255); alpha is clamped to 0..255. Each colour byte of
// dst becomes wa[a byte] + wb[b byte] with wa[i] = i * (255 - alpha) / 255 and wb[i] = i * alpha / 255
// (truncating), which never exceeds 255. The top byte of every dst pixel keeps what dst held.
// Each weighted byte is one high multiply by a 0.16 weight, exact for weights 0..254; alpha 0
// and 255 copy one frame's colour bytes. No per-call tables are built. Returns dst.

uint32_t* tr_maskwipe32(int32_t threshold, const uint8_t* mask8, const uint32_t* a, const uint32_t* b,
                        uint32_t* dst);
// Mask wipe: dst[i] is the whole word a[i] where mask8[i] > threshold (threshold clamped to
// 0..255), else b[i]; mask8 holds at least 76800 bytes. Returns dst.
