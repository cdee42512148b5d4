// Bouncing balls: twenty textured balls fall under gravity in a box seen in perspective, bounce on
// the floor (Y = 100), knock into one another and drift out to the right, where they are thrown
// in again from above; each casts a flattened shadow and a foreground picture masks the lower
// left corner. The physics runs in fixed substeps keyed to the time argument.
#pragma once

#include <cstdint>

void fx_balls_init();
// Seeds the twenty balls (120 draws of rand()), allocates the buffers, decodes emb_pic_ball_bg,
// emb_pic_ball_tex and emb_pic_ball_fg and builds the square-root table. The simulated time is
// not reset: it counts from program start. On a failed allocation nothing stays allocated and
// render returns null.

uint32_t* fx_balls_render(int32_t t, int32_t variant);
// t in units of 4 ticks: runs 7 physics substeps for every unit from the last simulated one up
// to t (none when t is not ahead), then draws background, shadows, balls far to near and the
// foreground. variant non-zero: textures 2 and 3 and the right half of the foreground. Returns
// the output frame (320x240), or null when init did not complete. No allocation.

void fx_balls_free();
// Releases the buffers. Safe after a failed init and twice.
