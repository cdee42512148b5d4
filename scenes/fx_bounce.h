// Bouncing object: a textured object drops in and bounces lower and lower until it rests at
// tick 539; then the background changes and a second object hops and spins. Both objects draw
// a mapped texture plus an environment texture through a shaded palette (mode 140), and only
// the top 155 rows of the render are laid over the background picture.
#pragma once

#include <cstdint>

int fx_bounce_init();
// Reads the two embedded objects, decodes both backgrounds and the three textures, builds the
// shaded palette (left in fx_scene_palette and copied into fx_bounce_palette) and sets the
// rasteriser to 320x240x8 on the target. 0, or -1 when an asset cannot be read, normals cannot
// be made or memory is short; what was made stays for fx_bounce_free, and fx_bounce_render
// then only clears its frame. A second init first releases what the first one made.

void fx_bounce_render(uint32_t* dst, int32_t t);
// Draws the frame at t ticks since the scene began into the 320x240 frame dst: the background
// (the first picture while t <= 538, then the second) with the render's non-zero pixels of rows
// 0..154 over it. Sets the rasteriser to 320x240x8 on fx_bounce_target. No allocation besides
// the engine's per-frame cull array.

void fx_bounce_free();
// Releases the objects, the scene, both backgrounds, the target, the frame and the textures.
// Safe after a failed init, without an init and twice.
