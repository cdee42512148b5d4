// Animation containers: palettised 160x120 frames drawn diagonally doubled into a frame32.
//
// Container layout (little-endian): u32 count, count x u32 offsets from the container's first
// byte, and at each offset a frame of 19968 bytes: a 768-byte palette, then 160 x 120 indices,
// row-major. A well-formed container is 4 + 4 x count + 19968 x count bytes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t anim_frame_bytes = 768 + 160 * 120;

uint32_t anim_frame_count(const uint8_t* container);
// The container's count word.

uint32_t* anim_blit_frame(uint32_t index, const uint8_t* container, uint32_t* dst);
// Draws frame `index` into the 320x240 frame dst and returns dst; null (dst untouched) when index
// is not below the count, or when the frame's offset would put it past the size the count implies
// (4 + 4 x count + 19968 x count). Source pixel (i, j), for rows 0..118 only, goes to (2i, 2j),
// (2i+1, 2j+1), (2i+1, 2j+2) and (2i+2, 2j+1): row 0 odd columns, column 0 odd rows, row 238 even
// columns 2..318 and row 239 keep what dst held. Allocates nothing; runs every frame.

uint32_t* anim_blit_frame_n(uint32_t index, const uint8_t* container, size_t size, uint32_t* dst);
// As anim_blit_frame for a container of exactly `size` bytes (an embedded asset with its
// emb_*_size): null unless the offset table and the whole frame lie inside it.
