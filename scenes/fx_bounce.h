// Bouncing object: a textured object drops in and bounces lower and lower until it rests at
// tick 539; then the background changes and a second object hops and spins. Both objects draw
// a mapped texture plus an environment texture through a shaded palette (mode 140), and only
// the top 155 rows of the render are laid over the background picture.
#pragma once

#include <cstdint>

#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"
#include "picture/pix.h"

int fx_bounce_init();
// Reads the two embedded objects, decodes both backgrounds and the three textures, builds the
// shaded palette (left in fx_scene_palette and copied into fx_bounce_palette) and sets the
// rasteriser to 320x240x8 on the target. 0, or -1 when an asset cannot be read, normals cannot
// be made or memory is short; what was made stays for fx_bounce_free, and fx_bounce_render
// then only clears its frame. A second init first releases what the first one made.

struct fx_bounce_media {
    const uint8_t* bouncer;   // 3DS: the bouncing object is its first mesh
    uint32_t bouncer_size;
    const uint8_t* flyers;    // 3DS: the hopping object(s)
    uint32_t flyers_size;
    const uint8_t* bg[2];     // IFF PBM, 320x240: the backgrounds before and from tick 539
    uint32_t bg_size[2];
    const uint8_t* env;       // IFF PBM: the environment texture
    uint32_t env_size;
    const uint8_t* face;      // IFF PBM: the face texture, whose palette shades
    uint32_t face_size;
    const uint8_t* back;      // IFF PBM: the reverse texture
    uint32_t back_size;
};

int fx_bounce_init_from(const fx_bounce_media& media);
// fx_bounce_init with other assets (each read within its size).

void fx_bounce_render(uint32_t* dst, int32_t t);
// Draws the frame at t ticks since the scene began into the 320x240 frame dst: the background
// (the first picture while t <= 538, then the second) with the render's non-zero pixels of rows
// 0..154 over it. Sets the rasteriser to 320x240x8 on fx_bounce_target. No allocation besides
// the engine's per-frame cull array.

void fx_bounce_free();
// Releases the objects, the scene, both backgrounds, the target, the frame and the textures.
// Safe after a failed init, without an init and twice.

int32_t fx_bounce_height(int32_t t);
// The bouncing object's height at tick t: four arcs of 155 ticks with peaks falling linearly,
// 8127 at t = 0, touching about 420 between arcs, cut at t = 538 (526); 420 from t = 539 on.

// State, read by tests; only this module writes it.
extern sc_scene fx_bounce_scene;
// The bouncing object, then the hopping object.
extern sc_object* fx_bounce_bouncer;
extern uint32_t* fx_bounce_bg[2];
// The backgrounds before and from tick 539, each expanded through its own palette.
extern uint8_t* fx_bounce_target;
// The 8-bit 320x240 render target; holds the last frame's render.
extern uint32_t* fx_bounce_frame;
// The render expanded through fx_bounce_palette.
extern uint8_t fx_bounce_pal_env[pix_palette_bytes];
// The palette of the environment texture (the lattice texture).
extern uint8_t fx_bounce_pal_tex[pix_palette_bytes];
// The palette of the face texture.
extern uint8_t fx_bounce_palette[pix_palette_bytes];
// The shaded palette: high nibble a face texture group, low nibble an environment colour.
extern tex_buffer fx_bounce_tex_env;
// Environment texture (texture B of every object).
extern tex_buffer fx_bounce_tex_face;
// Face texture (texture A), quantised to 16 levels.
extern tex_buffer fx_bounce_tex_back;
// Reverse texture (back texture), quantised to 16 levels.
