// Shattering screen: a full-screen picture cut into 512 thin triangles fanned from its border
// to its centre; the border points draw in towards a circle, the circle grows sixteen lobes,
// then the disc turns and slides out to the left, uncovering the frame below. Textured
// triangles with 32-bit texels straight through the rasteriser; no scene.
#pragma once

#include <cstdint>

#include "engine3d/rz.h"
#include "engine3d/tex_buffer.h"

constexpr int32_t fx_shatter_count = 512;
// Triangles, and points on the picture's border.

extern rz_vertex fx_shatter_tris[fx_shatter_count][3];
// Triangle i: border point i, border point (i + 1) mod 512, the centre; x, y in 24.8 pixels and
// tu1, tv1 in 8.8 texels, the other words 0. Built by init, never changed after.
extern tex_buffer fx_shatter_tex;
// 32-bit texture remade from the source frame by every render (256 columns x 240 rows), or null.

int fx_shatter_init();
// Builds the triangles and the texture (zero-filled), binds it to texture slot 1, sets a
// 320x240x32 screen and returns the result of rz_set_mode(4) (affine texture); 1 when the
// texture can't be allocated (render then draws nothing). A second init without free frees
// first.

void fx_shatter_triangle(int32_t i, int32_t t, rz_vertex out[3]);
// Triangle i (0..511) as drawn at time t: phase 1 (t < 512) moves the border points t/1024 of
// the way to a circle of radius 110 round (160, 120), phase 2 (t < 1024) goes on while the
// circle grows 16 lobes of 10 pixels, phase 3 turns the lobed disc a tenth of a point per unit
// of t and slides it left. Double precision, every store truncated toward zero (saturating).
// An i outside 0..511 gives three zero vertices.

void fx_shatter_render(uint32_t* dst, const uint32_t* src, int32_t t);
// Remakes the texture from the 320x240 frame src (texel (c, r) = src pixel (floor(1.25 c), r))
// and draws the 512 triangles for time t (main passes 10 x the stage's ticks) into the 320x240
// frame dst. Sets rz_target = dst and asserts the state init set (screen, slot 1, mode 4), so
// nothing drawn in between can make it read or write out of place. Allocates nothing.

void fx_shatter_free();
// tex_free of the texture. Safe after a failed init, without init and twice.
