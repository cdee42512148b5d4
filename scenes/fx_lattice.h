// Camera flight through the lattice: the camera flies a keyframed path through a 7x7x7 lattice
// of environment-mapped cubes while 31 boxes tumble among them on figure-of-eight paths; a
// picture hangs over the right edge of every frame. Drawn in 8 bits into a 320x240 target and
// expanded through fx_scene_palette.
#pragma once

#include <cstdint>

int fx_lattice_init();
// Builds the scene (the embedded cube and 342 clones, the embedded box and 30 clones, every
// object mode 8), reads the camera path, decodes the overlay and the texture (its palette into
// fx_scene_palette) and sets the rasteriser to 320x240x8 on the target. 0, or -1 when an asset
// cannot be read, normals cannot be made or memory is short; what was made stays for
// fx_lattice_free, and fx_lattice_render then only clears its frame. A second init first
// releases what the first one made.

void fx_lattice_render(uint32_t* dst, int32_t t);
// Draws the frame at t ticks of the demo clock into the 320x240 frame dst: the camera passes
// the whole path every 3000 ticks (t taken modulo 3000, negative t too). Leaves the rasteriser
// at 320x240x8 on fx_lattice_target. No allocation besides the engine's per-frame cull array.

void fx_lattice_free();
// Releases the textures, buffers, objects, the scene and the camera path's key arrays. Safe
// after a failed init, without an init and twice.
