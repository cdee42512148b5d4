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

uint32_t* fx_beams_render(double T);
// Draws the frame for animation time T (main passes 0.25 x the clock) and returns the output
// frame, or null when init did not complete. Opaque logo pixels keep their 0x0f000000 flag
// except inside the glow rectangles; every other pixel has top byte 0. No allocation.

void fx_beams_free();
// Releases the tables and frames. Safe after a failed init and twice.
