// Shattering screen: a full-screen picture cut into 512 thin triangles fanned from its border
// to its centre; the border points draw in towards a circle, the circle grows sixteen lobes,
// then the disc turns and slides out to the left, uncovering the frame below. Textured
// triangles with 32-bit texels straight through the rasteriser; no scene.
#pragma once

#include <cstdint>

int fx_shatter_init();
// Builds the triangles and the texture (zero-filled), binds it to texture slot 1, sets a
// 320x240x32 screen and returns the result of rz_set_mode(4) (affine texture); 1 when the
// texture can't be allocated (render then draws nothing). A second init without free frees
// first.

void fx_shatter_render(uint32_t* dst, const uint32_t* src, int32_t t);
// Remakes the texture from the 320x240 frame src (texel (c, r) = src pixel (floor(1.25 c), r))
// and draws the 512 triangles for time t (main passes 10 x the stage's ticks) into the 320x240
// frame dst. Sets rz_target = dst and asserts the state init set (screen, slot 1, mode 4), so
// nothing drawn in between can make it read or write out of place. Allocates nothing.

void fx_shatter_free();
// tex_free of the texture. Safe after a failed init, without init and twice.
