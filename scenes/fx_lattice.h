// Camera flight through the lattice: the camera flies a keyframed path through a 7x7x7 lattice
// of environment-mapped cubes while 31 boxes tumble among them on figure-of-eight paths; a
// picture hangs over the right edge of every frame. Drawn in 8 bits into a 320x240 target and
// expanded through fx_scene_palette.
#pragma once

#include <cstdint>

#include "engine3d/kf.h"
#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"

int fx_lattice_init();
// Builds the scene (the embedded cube and 342 clones, the embedded box and 30 clones, every
// object mode 8), reads the camera path, decodes the overlay and the texture (its palette into
// fx_scene_palette) and sets the rasteriser to 320x240x8 on the target. 0, or -1 when an asset
// cannot be read, normals cannot be made or memory is short; what was made stays for
// fx_lattice_free, and fx_lattice_render then only clears its frame. A second init first
// releases what the first one made.

struct fx_lattice_media {
    const uint8_t* scene;     // 3DS: the camera path and, first of its meshes, the cube
    uint32_t scene_size;
    const uint8_t* box;       // 3DS: the moving box, the first mesh of fewer than 24 vertices
    uint32_t box_size;
    const uint8_t* overlay;   // IFF PBM, 320x240: the overlay, index 0 transparent
    uint32_t overlay_size;
    const uint8_t* texture;   // IFF PBM: the environment texture and the palette
    uint32_t texture_size;
};

int fx_lattice_init_from(const fx_lattice_media& media);
// fx_lattice_init with other assets (each read within its size).

void fx_lattice_render(uint32_t* dst, int32_t t);
// Draws the frame at t ticks of the demo clock into the 320x240 frame dst: the camera passes
// the whole path every 3000 ticks (t taken modulo 3000, negative t too). Leaves the rasteriser
// at 320x240x8 on fx_lattice_target. No allocation besides the engine's per-frame cull array.

void fx_lattice_free();
// Releases the textures, buffers, objects, the scene and the camera path's key arrays. Safe
// after a failed init, without an init and twice.

// State, read by tests; only this module writes it.
extern sc_scene fx_lattice_scene;
// 374 objects after init: cube, 342 clones, box, 30 clones.
extern kf_camera_path fx_lattice_path;
// The camera path of the embedded lattice scene; its key arrays are freed by fx_lattice_free.
extern uint32_t* fx_lattice_overlay;
// The overlay picture expanded through its own palette (320x240).
extern uint8_t* fx_lattice_overlay8;
// The overlay's indices (320x240): 0 is transparent.
extern tex_buffer fx_lattice_tex[3];
// 0: the lattice texture; 1 and 2: every texel of 0 plus 16 and plus 32, modulo 256.
extern uint8_t* fx_lattice_target;
// The 8-bit 320x240 render target, all 0 between frames.
