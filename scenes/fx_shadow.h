// Shadow scene: caster objects over a receiving object, lit by a light moving on an ellipse high
// in front of them, cast shadows onto the receiver through a shadow map rendered from the light
// and onto the wall behind through a second projection of every object from the light. Drawn
// in 8 bits through fx_scene_palette and composed over a background picture, which the wall
// shadow halves.
#pragma once

#include <cstdint>

#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"

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

int fx_shadow_init();
// fx_shadow_init_from with emb_3ds_box, emb_3ds_receivers, emb_3ds_casters, emb_pic_shadow_bg
// and emb_pic_shadow_pal.
int fx_shadow_init_from(const fx_shadow_media* media);
// Sets up both scenes, the wall, the palette (entries 0..127 from the palette picture, 128 + i
// = entry i divided by 3), the shadow map and the two 8-bit buffers; every object ends with
// normals, texture coordinates, texture A = the shadow map and position y = -2000. Leaves a
// 320x240x8 screen with rz_target = fx_shadow_colour. 0 on success; 1 when a 3DS image can't
// be read, a picture is refused or memory is short; the non-zero result of obj_make_normals.
// A failed init keeps what it made for fx_shadow_free and leaves render drawing nothing. A
// second init without free frees first.

void fx_shadow_render(uint32_t* dst, double t);
// Draws one 320x240 frame for t ticks into dst: the light, the motion, the shadow map (256x256
// screen), the wall mask and the colour pass (320x240), then expansion and composition over
// the wall. Leaves the rasteriser at 320x240x8 with rz_target = fx_shadow_colour. Allocates
// nothing.

void fx_shadow_project_wall(sc_scene* scene, sc_object* object);
// The object's rotated vertices (obj_rotate) moved to world space, along the rays from the
// light (the light scene's camera position) onto the wall plane z = -10000, into the scene's
// camera space without its rotation, and projected at the one depth 10000 + camera z into the
// object's screen vertices at the rasteriser's screen size. Used by the render.

void fx_shadow_free();
// Releases the shadow map, the three buffers and both scenes' objects (each once). Safe after
// a failed init, without init and twice.
