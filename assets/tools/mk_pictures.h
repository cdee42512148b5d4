// The picture and animation makers, one function per asset.
#pragma once

#include "mk.h"

namespace mk {

canvas pic_title();
canvas pic_end();
canvas wipe_radial();
canvas wipe_diagonal();
canvas wipe_spiral();
canvas wipe_blinds();
canvas wipe_dissolve();
canvas pic_ball_tex();
canvas pic_ball_bg();
canvas pic_ball_fg();
canvas pic_beams_logo();
canvas pic_shatter();
canvas pic_shadow_bg();
canvas pic_shadow_pal();
canvas pic_lattice_tex();
canvas pic_lattice_overlay();
canvas pic_orbit_tex();
canvas pic_orbit_border();
canvas pic_blob_stamp();
canvas pic_mirror_bg();
canvas pic_mirror_main();
canvas pic_mirror_drop();
canvas pic_curtain();
canvas pic_bounce_bg(int variant);  // 1 before the change of background, 2 after
canvas pic_bounce_tex(int variant); // 0 the face texture, 1 the reverse texture
std::vector<canvas> anim_orbit();
std::vector<canvas> anim_curtain();

}  // namespace mk
