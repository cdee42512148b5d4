// Row converters: one frame row of 32-bit 0x00RRGGBB pixels into the display's pixel format.
// One converter is chosen at set-up for the display's depth and for doubling; the presentation
// loop then calls it through `vid_convert_line` with no mode tests per row or pixel.
#pragma once

#include <cstdint>

// dst: first output byte; src: `count` source pixels (bytes B, G, R, top in memory);
// pitch: bytes per output row, read only by the converters that write two rows.
// Converters trust their arguments: count must be a multiple of the pixels per step.
using vid_row_converter = void (*)(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);

extern vid_row_converter vid_converter;
// The current converter; null until `vid_set_converter` has chosen one.

extern uint8_t vid_gb_table[65536];
// Colour-trick green/blue index by (G << 8) | B: 128 + 16 * (B >> 5) + (G >> 4), so 128..255.

int vid_set_converter(int selector);
// Selects converter 0..10 (table in vid_convert.cpp) and returns 0; selectors 1 and 2 also
// build `vid_gb_table`. Any other selector (compared unsigned) returns 1 and keeps the current one.

void vid_make_gb_table();
// Fills all 65536 entries of `vid_gb_table`.

void vid_convert_line(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// Calls `vid_converter` with the same arguments. A converter must have been chosen.

// The family. Pixels per step in brackets; output per source pixel after the colon.
void cv_gray8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 0 [1]: one byte (B + G + R) >> 3, 0..95 (the grey ramp of an 8-bit colormap).
void cv_pair8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 1 [1]: R >> 2 in this row, the green/blue index in the same column of the next row.
void cv_checker8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 2 [1]: a 2x2 block: red level on the main diagonal, green/blue index on the other.
void cv_rgb15(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 3 [2]: RGB555 in 16 bits: two pixels per 32-bit word, the first in the low half.
void cv_rgb15_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 4 [1]: the RGB555 value twice in one 32-bit word.
void cv_rgb16(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 5 [2]: RGB565 in 16 bits: two pixels per 32-bit word, the first in the low half.
void cv_rgb16_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 6 [1]: the RGB565 value twice in one 32-bit word.
void cv_rgb24(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 7 [4]: packed B, G, R (3 bytes): four pixels in three 32-bit words; top byte dropped.
void cv_rgb24_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 8 [2]: packed B, G, R twice (6 bytes): two pixels in three 32-bit words; top byte dropped.
void cv_rgb32(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 9 [2]: the 32-bit word unchanged, top byte included.
void cv_rgb32_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 10 [2]: the 32-bit word twice, top byte included.
void cv_pack8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// Not selectable. count is in source BYTES: count / 16 steps, each packing the low (blue) byte
// of four source words into one 32-bit store.
