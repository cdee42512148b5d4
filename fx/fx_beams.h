// Light beams: swirling rays fan out from a point behind a logo and pulse in and out; the logo's
// outline is lit half-transparently by them, and a glow is added over two overlapping
// rectangles in the upper left. Geometry is precomputed into polar tables at init.
#pragma once

#include <cstdint>

void fx_beams_init();
// Allocates the distance, angle and streak-texture tables, the logo frame and the output frame,
// decodes emb_pic_beams_logo (flags 0x0f000000 opaque, 0xf0000000 outline in its top bytes) and
// builds the tables; the streak texture draws 64 numbers from rand(). On a failed allocation
// nothing stays allocated and render returns null.

void fx_beams_init_from(const uint8_t* logo, uint32_t logo_size);
// fx_beams_init with another 320x240 IFF logo (index 0 transparent).

uint32_t* fx_beams_render(double T);
// Draws the frame for animation time T (main passes 0.25 x the clock) and returns the output
// frame, or null when init did not complete. Opaque logo pixels keep their 0x0f000000 flag
// except inside the glow rectangles; every other pixel has top byte 0. No allocation.

void fx_beams_free();
// Releases the tables and frames. Safe after a failed init and twice.

// Read by the tests: built at init (entry row i, column j of the 512x512 polar tables; texture
// rows of 256 columns) and per render (swirl).
extern uint8_t* fx_beams_distance;   // 512 x 512: distance from (255.5, 255.5), 255 beyond 255
extern uint8_t* fx_beams_angle;      // 512 x 512: direction, 256 steps a turn, counter-clockwise
extern uint8_t* fx_beams_texture;    // 512 x 256 streak brightness, rows 256.. are 0
extern uint32_t fx_beams_ramp[256];  // black through red to white
extern uint8_t fx_beams_swirl[256];  // direction -> texture column, rebuilt every render
