// What the 3D scenes expose to their tests and benchmarks only: the inits with other assets,
// the pieces whose arithmetic is checked on its own, and state the tests read. Main uses the
// public headers.
#pragma once

#include <cstdint>

#include "engine3d/kf.h"
#include "engine3d/rz.h"
#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"
#include "picture/pix.h"

// bounce
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

// lattice
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

// orbit
extern sc_scene fx_orbit_scene;
// The 33 objects in list order: the file's meshes, then ten clones of each. Read by tests.
extern uint32_t* fx_orbit_border;
// The border frame (320x240 pixels), or null.
extern tex_buffer fx_orbit_tex[3];
// The environment map coloured (G, B, R), (B, G, R) and (R, G, B): 32-bit texels.

struct fx_orbit_media {
    const uint8_t* scene;   // 3DS image: the three meshes, cloned in list order
    uint32_t scene_size;
    const uint8_t* tex;     // chunky IFF picture, the environment map (256x256)
    uint32_t tex_size;
    const uint8_t* border;  // chunky IFF picture of at most 320x240: the frame laid over
    uint32_t border_size;
    const uint8_t* anim;    // animation container of (at least) 51 frames: the background
    uint32_t anim_size;
};
// The bytes must stay in place from init to free (the animation is read every frame).
int fx_orbit_init_from(const fx_orbit_media* media);
// fx_orbit_init with other assets.

// shadow
struct fx_shadow_media {
    const uint8_t* box;        // 3DS image: its first object marks the light
    uint32_t box_size;
    const uint8_t* receivers;  // 3DS image: the objects that take the shadow map
    uint32_t receivers_size;
    const uint8_t* casters;    // 3DS image: the objects that cast
    uint32_t casters_size;
    const uint8_t* bg;         // chunky IFF picture of at most 320x240: the wall
    uint32_t bg_size;
    const uint8_t* pal;        // chunky IFF picture whose palette entries 0..127 shade the objects
    uint32_t pal_size;
};
int fx_shadow_init_from(const fx_shadow_media* media);
// fx_shadow_init with other assets.

extern sc_scene fx_shadow_scene;
// The viewer's scene: the marker, the receivers (names marked '$'), the casters; camera at
// (0, 0, 74000) looking at (0, 0, 128).
extern sc_scene fx_shadow_light_scene;
// The light's scene: the receivers and the casters; camera at the light, looking at the origin.
extern sc_object* fx_shadow_marker;
// The box that shows where the light is, or null.
extern tex_buffer fx_shadow_map;
// 24-bit texture area used as bytes: the 256x256 8-bit shadow map (0 lit, 128 in shadow) lies
// 0x10000 bytes in; the bytes round it stay 0.
extern uint32_t* fx_shadow_bg;
// The wall picture (320x240 pixels), first row black.
extern uint8_t* fx_shadow_colour;
// 320x240 colour pass, 0 between renders.
extern uint8_t* fx_shadow_mask;
// 320x240 wall-shadow mask (non-zero in shadow), 0 between renders.

constexpr int32_t fx_shadow_map_offset = 0x10000;
// Bytes from fx_shadow_map to the shadow map proper.

void fx_shadow_project_wall(sc_scene* scene, sc_object* object);
// The object's rotated vertices (obj_rotate) moved to world space, along the rays from the
// light (the light scene's camera position) onto the wall plane z = -10000, into the scene's
// camera space without its rotation, and projected at the one depth 10000 + camera z into the
// object's screen vertices at the rasteriser's screen size. Used by the render.

// shatter
constexpr int32_t fx_shatter_count = 512;
// Triangles, and points on the picture's border.

extern rz_vertex fx_shatter_tris[fx_shatter_count][3];
// Triangle i: border point i, border point (i + 1) mod 512, the centre; x, y in 24.8 pixels and
// tu1, tv1 in 8.8 texels, the other words 0. Built by init, never changed after.
extern tex_buffer fx_shatter_tex;
// 32-bit texture remade from the source frame by every render (256 columns x 240 rows), or null.

void fx_shatter_triangle(int32_t i, int32_t t, rz_vertex out[3]);
// Triangle i (0..511) as drawn at time t: phase 1 (t < 512) moves the border points t/1024 of
// the way to a circle of radius 110 round (160, 120), phase 2 (t < 1024) goes on while the
// circle grows 16 lobes of 10 pixels, phase 3 turns the lobed disc a tenth of a point per unit
// of t and slides it left. Double precision, every store truncated toward zero (saturating).
// An i outside 0..511 gives three zero vertices.
