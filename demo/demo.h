// Main's buffers, the exit path and the results text.
#pragma once

#include "picture/pix.h"

#include <cstdint>

// Main's picture slots and frames: file-level, zero at start, alive for the whole run.
extern uint8_t demo_pic_a[pix_frame_pixels];  // picture slot A: 320x240 palette indices
extern uint8_t demo_pal_a[768];       // slot A's palette: 256 x (R, G, B)
extern uint8_t demo_pic_b[pix_frame_w * 256];  // picture slot B: wipe masks, room for 320x256
extern uint32_t demo_frame_c[pix_frame_pixels];  // 320x240 frames of 0x00RRGGBB
extern uint32_t demo_frame_d[pix_frame_pixels];

extern const char* const demo_results_text;
// The closing text: 620 bytes of Latin-1 in 23 lines, each ended by a newline.

[[noreturn]] void demo_exit(int32_t status, const char* message);
// The one way out once start-up is done: stops the sound, restores the display, puts(message)
// and exit(status). Main flow only.

void demo_std_streams();
// Makes sure descriptors 0, 1 and 2 are open, on /dev/null where they were closed, so that no
// device, pipe or X connection opened later takes a standard stream's number and receives the
// program's own text. Called first thing in main.
