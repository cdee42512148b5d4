// The video layer: shows 32-bit 0x00RRGGBB frames on an X server, in a window (plain XImage or
// MIT-SHM image) or on the whole screen through XFree86-DGA with a VidMode switch. One layer per
// process, file-level state; main flow only (no signal handler may call it).
#pragma once

#include <cstdint>

int vid_init(int res, int flags);
// res 1: 320x240 frames, res 2: 320x200; calls vid_init_size with that size. Other res: 1.
// Returns 0 when the display is ready, 1 or 2 when set-up failed (see vid_init_size).

int vid_init_size(int width, int height, int flags);
// Set-up for width x height frames (width even, output at most 640x480 in the window modes).
// flags bit 0 alone: mode 1 without asking; bits 0 and 1: mode 5; otherwise the mode menu on
// standard output with the answer read from standard input. Returns 0 when ready; 1 for a bad
// answer or size, no display, no VidMode extension or no video mode of the output size; 2 when
// the display lacks what the mode needs (MIT-SHM, a usable DGA frame buffer, a converter for
// its depth). A failed set-up releases what it had taken (display, segment, video mode).

void vid_update(const uint32_t* frame);
// Presents one frame of vid_src_w x (vid_out_h / vid_scale) pixels. Needs a finished set-up.
// In mode 5 it draws into the hidden page, waits until the last flip has taken effect and flips.

int vid_escape();
// 1 if a key event of the Escape key (code 9, press or release) was waiting, else 0. Consumes the
// events up to and including that one; never blocks.

void vid_close();
// Undoes the set-up: restores the video mode in force before a full-screen start, releases the
// shared memory segment, window and display connection. Harmless when nothing is set up.

// Layer state other modules and tests may read (flags are 0 or 1).
extern int vid_scale;      // output rows per frame row: 2 in the doubled modes, else 1
extern int vid_doubled;    // modes 2, 4, 6
extern int vid_pageflip;   // mode 5: frames go to two video pages in turn
extern int vid_page;       // the page the next frame is drawn into
extern int vid_use_shm;    // modes 3, 4
extern int vid_use_dga;    // modes 5, 6
extern int vid_src_w;      // frame width in pixels
extern int vid_out_w;      // output size: frame size times vid_scale
extern int vid_out_h;
extern int vid_depth;      // the root depth of the default screen
extern int vid_bytes_pp;   // bytes per output pixel: 1, 2 or 4 (depth 24 is 32 bits per pixel)
extern int vid_saved_w;    // the video mode in force before a full-screen start
extern int vid_saved_h;
extern uint8_t vid_pixels[1228800];  // the plain image's pixels: 640x480 of 4 bytes
