// Palettised pixels to 32-bit frame pixels.
#pragma once

#include <cstdint>

// A pix_palette is 768 bytes: 256 colours of red, green, blue, 8 bits each, unscaled.
// A frame32 is 320x240 uint32_t pixels 0x00RRGGBB, 1280 bytes a row.
constexpr int pix_palette_bytes = 768;

void pix_expand_palette(const uint8_t* src, const uint8_t* palette, uint32_t* dst, int32_t count);
// dst[k] = 0x00RRGGBB of palette entry src[k] for the first 4 x floor(count / 4) pixels; a count
// below 4 (or negative) converts nothing. Allocates nothing; fast enough to run every frame.
