// What the effects expose to their tests and benchmarks only: the inits with other media, and
// the pieces whose arithmetic is checked on its own. Main uses the public headers.
#pragma once

#include <cstdint>

// The inits with other IFF pictures (and animation container) of the given sizes, each read
// within its size; a picture that does not decode leaves the effect's copy of it black.
int32_t fx_curtain_init_from(const uint8_t* pic, uint32_t pic_size, const uint8_t* anim, uint32_t anim_size);
// The container is read, not copied: it must outlive the renders.
void fx_balls_init_from(const uint8_t* bg, uint32_t bg_size, const uint8_t* tex, uint32_t tex_size,
                        const uint8_t* fg, uint32_t fg_size);
// A 320x240 background, a 320x100 texture strip holding four 51x51 ball textures at columns 0,
// 51, 102, 153, and a 320x240 foreground whose rows 70..209 are used (index 0 transparent).
void fx_beams_init_from(const uint8_t* logo, uint32_t logo_size);
// A 320x240 logo, index 0 transparent.
void fx_mirror_init_from(const uint8_t* main_pic, uint32_t main_size, const uint8_t* bg, uint32_t bg_size,
                         const uint8_t* drop, uint32_t drop_size);
void fx_blobs_init_from(const uint8_t* pic, uint32_t size);
// A stamp picture of 320x200 or smaller.

void fx_curtain_horizon(uint32_t t, int32_t* rows);
// The horizon for time t: rows[c] for the 320 columns, 0..240, the last row that shows the
// animation (row rows[c] + 1 is the seam, the rows below it the picture).

void fx_balls_draw_ball(int32_t x, int32_t y, int32_t r, uint32_t flags, uint32_t* dst);
// One ball of radius r (1..100, others draw nothing) centred at (x, y), any 32-bit values, into
// the 320x240 dst, clipped. Flags bit 0 picks texture 1, bit 1 adds 2; a non-zero top byte
// makes it a shadow instead: an ellipse r wide and r / 3 high of halved background pixels.

void fx_blobs_stamp(int32_t x, int32_t y, int32_t mode, uint8_t* buf);
// Adds the 20x20 stamp cell into the 320x200 buf with its top-left corner at (x - 10, y - 10),
// clipped to the buffer, each byte saturating at 60. mode is not used.

int tr_select_loops(int level);
// The transitions' loops are chosen once at start-up for the processor: 2 = 256-bit vectors
// (AVX2), 1 = 128-bit (SSE2), 0 = plain C++. This picks `level` instead, or the best the
// processor runs when `level` is out of 0..that; returns the level in use.
