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

void fx_balls_init_from(const uint8_t* bg, uint32_t bg_size, const uint8_t* tex, uint32_t tex_size,
                        const uint8_t* fg, uint32_t fg_size);
// fx_balls_init with other IFF pictures: a 320x240 background, a 320x100 texture strip holding
// four 51x51 ball textures at columns 0, 51, 102, 153, and a 320x240 foreground whose rows
// 70..209 are used (index 0 transparent).

uint32_t* fx_balls_render(int32_t t, int32_t variant);
// t in units of 4 ticks: runs 7 physics substeps for every unit from the last simulated one up
// to t (none when t is not ahead), then draws background, shadows, balls far to near and the
// foreground. variant non-zero: textures 2 and 3 and the right half of the foreground. Returns
// the output frame (320x240), or null when init did not complete. No allocation.

void fx_balls_free();
// Releases the buffers. Safe after a failed init and twice.

void fx_balls_draw_ball(int32_t x, int32_t y, int32_t r, uint32_t flags, uint32_t* dst);
// One ball of radius r (1..100, others draw nothing) centred at (x, y) into the 320x240 dst,
// clipped. Flags bit 0 picks texture 1, bit 1 adds 2; a non-zero top byte makes it a shadow
// instead: an ellipse r wide and r / 3 high of halved background pixels.

struct fx_balls_depth {
    double depth;   // the ball's Z
    int32_t ball;
};

int fx_balls_cmp_depth(const void* a, const void* b);
// qsort comparator of two fx_balls_depth: (b.depth - a.depth) truncated toward zero, so the
// farthest sorts first and depths less than 1 apart compare equal.

// The simulation, read and set by the tests. World: X right, Y down (floor at Y = 100), Z away
// from the viewer; velocities in world units per substep.
constexpr int fx_balls_count = 20;
extern double fx_balls_x[fx_balls_count], fx_balls_y[fx_balls_count], fx_balls_z[fx_balls_count];
extern double fx_balls_vx[fx_balls_count], fx_balls_vy[fx_balls_count], fx_balls_vz[fx_balls_count];
extern int32_t fx_balls_steps;   // time units simulated since program start; init leaves it
