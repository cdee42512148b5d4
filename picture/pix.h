// Palettised pixels to 32-bit frame pixels.
#pragma once

#include <cstdint>

// A pix_palette is 768 bytes: 256 colours of red, green, blue, 8 bits each, unscaled.
// A frame32 is 320x240 uint32_t pixels 0x00RRGGBB, 1280 bytes a row.
constexpr int pix_palette_bytes = 768;

// The frame every effect draws and the video layer presents.
constexpr int pix_frame_w = 320;                                // pixels a row
constexpr int pix_frame_h = 240;                                // rows
constexpr int pix_frame_pixels = pix_frame_w * pix_frame_h;     // 76800
constexpr int pix_frame_pitch = pix_frame_w * 4;                // 1280 bytes a row
constexpr int pix_frame_bytes = pix_frame_pixels * 4;           // 307200

constexpr int32_t pix_trunc(double v)
// Floating point to a 32-bit integer, truncating toward zero; values beyond the range saturate
// at INT32_MIN / INT32_MAX and a NaN gives 0. The one conversion used wherever a result may leave
// the 32-bit range (projections of points near the camera, degenerate spans, runaway positions).
{
    if (v != v) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

void pix_expand_palette(const uint8_t* src, const uint8_t* palette, uint32_t* dst, int32_t count);
// dst[k] = 0x00RRGGBB of palette entry src[k] for the first 4 x floor(count / 4) pixels; a count
// below 4 (or negative) converts nothing. Allocates nothing; fast enough to run every frame.
