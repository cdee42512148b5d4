#pragma once
// Texture buffers: 256x256 texel areas that the rasteriser's texture slots point at.
#include <cstddef>
#include <cstdint>

typedef uint8_t* tex_buffer;
// Pointer to texel (0, 0) of an area of 256 x 272 texels (69632, 0x11000), 256 per row; each
// texel is 1, 3 or 4 bytes (8-, 24- or 32-bit). The texture proper is rows 0..255, the 16 rows
// beyond are slack for coordinate overshoot. Always a multiple of 1024; the word before it holds
// the allocation. Texel (x, y) is at texel index y * 256 + x, i.e. (u >> 8) + (v & 0xff00) in 8.8.

constexpr int tex_area_texels = 69632;
// Texels in one area: 256 rows of texture and 16 spare rows.

tex_buffer tex_alloc(int32_t bits);
// New texture of `bits` per texel (8, 24 or 32; rounded up to whole bytes), contents undefined,
// 1024-aligned, or null when memory is short. Release with tex_free.

void tex_free(tex_buffer t);
// Releases a texture made by tex_alloc or tex_from_picture; null does nothing.

tex_buffer tex_from_picture(const uint8_t* image, uint8_t* palette);
// New 8-bit texture of an IFF picture in memory (PBM or ILBM), resampled to 256x256 by nearest
// neighbour: texel (x, y) = pixel ((x * min(w, 256)) >> 8, (y * min(h, 256)) >> 8), so a larger
// picture keeps its top-left 256x256 and a smaller one is stretched; rows 256..271 are zero.
// The picture's palette goes to `palette` (768 bytes). Null when the picture or memory fails.

tex_buffer tex_from_picture_n(const uint8_t* image, size_t size, uint8_t* palette);
// As tex_from_picture for a picture of exactly `size` bytes: no read goes past image + size.
