// Orbiting objects: 33 environment-mapped objects (three meshes and ten clones of each) circle
// the screen centre in front of, and partly behind, a looping background animation, framed by
// a border picture. Draws 32-bit pixels straight into the caller's frame through a depth buffer.
#pragma once

#include <cstdint>

#include "engine3d/sc_scene.h"
#include "engine3d/tex_buffer.h"

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

int fx_orbit_init();
// fx_orbit_init_from with emb_3ds_orbit, emb_pic_orbit_tex, emb_pic_orbit_border and
// emb_anim_orbit.
int fx_orbit_init_from(const fx_orbit_media* media);
// Sets up the scene (camera at (0, -9000, 40000) looking at (0, 0, 128)), the border frame, the
// three 32-bit colourings of the environment map (fx_scene_palette ends in the third), the 33
// objects (mode 8, texture B = colouring k mod 3), a 320x240x32 screen and a depth buffer.
// 0 on success; 1 when the 3DS image can't be read, a picture is refused or memory is short;
// a non-zero result of obj_make_normals; otherwise the result of rz_zbuffer(1) (1 when a depth
// buffer existed already). Whatever happens, what was made is released by fx_orbit_free, and a
// render after a failed init draws nothing. A second init without free frees first.

void fx_orbit_render(uint32_t* dst, int32_t t);
// Draws one 320x240 frame for the raw demo clock t (ticks) into dst: animation frame
// (t / 3) mod 51, the objects over it where the background is black or they are nearer than
// the orbit's centre, then the border. Allocates nothing. Sets rz_target = dst; sets the screen
// back to 320x240x32 if another effect changed it.

void fx_orbit_free();
// Releases the textures, the border frame and the scene (the last live scene's release also
// frees the depth buffer). Safe after a failed init, without init and twice.
