// Orbiting objects: 33 environment-mapped objects (three meshes and ten clones of each) circle
// the screen centre in front of, and partly behind, a looping background animation, framed by
// a border picture. Draws 32-bit pixels straight into the caller's frame through a depth buffer.
#pragma once

#include <cstdint>

int fx_orbit_init();
// Sets up the scene from emb_3ds_orbit (camera at (0, -9000, 40000) looking at (0, 0, 128)), the
// border frame (emb_pic_orbit_border), the three 32-bit colourings of the environment map
// emb_pic_orbit_tex (fx_scene_palette ends in the third), the 33 objects (mode 8, texture B =
// colouring k mod 3), a 320x240x32 screen and a depth buffer; the background is
// emb_anim_orbit. 0 on success; 1 when the 3DS image can't be read, a picture is refused or
// memory is short; a non-zero result of obj_make_normals; otherwise the result of
// rz_zbuffer(1) (1 when a depth buffer existed already). Whatever happens, what was made is
// released by fx_orbit_free, and a render after a failed init draws nothing. A second init
// without free frees first.

void fx_orbit_render(uint32_t* dst, int32_t t);
// Draws one 320x240 frame for the raw demo clock t (ticks) into dst: animation frame
// (t / 3) mod 51, the objects over it where the background is black or they are nearer than
// the orbit's centre, then the border. Allocates nothing. Sets rz_target = dst; sets the screen
// back to 320x240x32 if another effect changed it.

void fx_orbit_free();
// Releases the textures, the border frame and the scene (the last live scene's release also
// frees the depth buffer). Safe after a failed init, without init and twice.
