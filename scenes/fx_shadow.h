// Shadow scene: caster objects over a receiving object, lit by a light moving on an ellipse high
// in front of them, cast shadows onto the receiver through a shadow map rendered from the light
// and onto the wall behind through a second projection of every object from the light. Drawn
// in 8 bits through fx_scene_palette and composed over a background picture, which the wall
// shadow halves.
#pragma once

#include <cstdint>

int fx_shadow_init();
// Sets up both scenes from emb_3ds_box, emb_3ds_receivers and emb_3ds_casters, the wall
// (emb_pic_shadow_bg), the palette (entries 0..127 from emb_pic_shadow_pal, 128 + i = entry i
// divided by 3), the shadow map and the two 8-bit buffers; every object ends with normals,
// texture coordinates, texture A = the shadow map and position y = -2000. Leaves a 320x240x8
// screen. 0 on success; 1 when a 3DS image can't be read, a picture is refused or memory is
// short; the non-zero result of obj_make_normals. A failed init keeps what it made for
// fx_shadow_free and leaves render drawing nothing. A second init without free frees first.

void fx_shadow_render(uint32_t* dst, double t);
// Draws one 320x240 frame for t ticks into dst: the light, the motion, the shadow map (256x256
// screen), the wall mask and the colour pass (320x240), then expansion and composition over
// the wall. Leaves the rasteriser at 320x240x8 with rz_target = fx_shadow_colour. Allocates
// nothing.

void fx_shadow_free();
// Releases the shadow map, the three buffers and both scenes' objects (each once). Safe after
// a failed init, without init and twice.
