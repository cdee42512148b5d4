// The video layer: shows 32-bit 0x00RRGGBB frames on an X server, in a window (plain XImage or
// MIT-SHM image) or on the whole screen through XFree86-DGA with a VidMode switch. One layer per
// process, file-level state; main flow only (no signal handler may call it).
// Two drivers keep this contract, chosen at link time: orv_video (the X server) and
// orv_video_null (headless: set-up always succeeds in mode 1 without asking, frames are kept for
// the tests that link it, and Escape comes when they say; see video/vid_null.h).
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
// Presents one frame of width x height pixels of the set-up. Needs a finished set-up.
// In mode 5 it draws into the hidden page, waits until the last flip has taken effect and flips.

int vid_escape();
// 1 if a key event of the Escape key (code 9, press or release) was waiting, else 0. Consumes the
// events up to and including that one; never blocks.

void vid_close();
// Undoes the set-up: restores the video mode in force before a full-screen start, releases the
// shared memory segment, window and display connection. Harmless when nothing is set up.
