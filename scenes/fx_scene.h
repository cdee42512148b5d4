// What the 3D scenes share: the palette that every scene decodes its pictures into, and the
// loading of a full-screen picture through it.
#pragma once

#include <cstdint>

#include "picture/pix.h"

extern uint8_t fx_scene_palette[pix_palette_bytes];
// 256 colours of red, green, blue (8 bits each, unscaled). Overwritten by every scene's init;
// read by the render of whichever scene set it last. Zero when the program starts.

int fx_scene_load_picture(const uint8_t* pic, uint32_t size, uint32_t* dst);
// Decodes the chunky picture of `size` bytes (at most 320x240 pixels) into a zeroed 76800-byte
// temporary with its palette into fx_scene_palette, then, when dst is not null, expands the
// temporary through that palette into dst (76800 pixels; a smaller picture's missing pixels
// are index 0). 0 on success; 1 when the picture is refused (too large, not chunky, broken:
// fx_scene_palette and dst are then untouched) or the temporary can't be allocated. Inits only.

bool fx_scene_begin(uint32_t* dst, bool ready, uint8_t* target);
// The start of a render into a 320x240 frame32 dst. False when there is nothing to draw: dst is
// null, or the scene is not ready (dst is then cleared to black). Otherwise sets the rasteriser
// to the 320x240 8-bit `target`, whatever screen ran before, and returns true.
