// Row converters: one frame row of 32-bit 0x00RRGGBB pixels into the display's pixel format.
// One converter is chosen at set-up for the display's depth and for doubling; the presentation
// loop then calls it through `vid_convert_line` with no mode tests per row or pixel.
#pragma once

#include <cstdint>

// dst: first output byte; src: `count` source pixels (bytes B, G, R, top in memory);
// pitch: bytes per output row, read only by the converters that write two rows.
// Converters trust their arguments: count must be a multiple of the pixels per step. The family
// itself (cv_gray8 ... cv_rgb32_double, cv_pack8) is declared in video/vid_internal.h.
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
