// The headless video driver (library orv_video_null) keeps the contract of video/vid.h without a
// display, for the tests of the layers above: set-up succeeds in mode 1 without asking (a bad size
// still gives 1), every presented frame is kept, and Escape is pressed when the test says.
#pragma once

#include "picture/pix.h"

#include <cstdint>

extern int vid_null_open;                   // 1 from a successful set-up to vid_close
extern int vid_null_w, vid_null_h;          // the frame size of the set-up
extern int64_t vid_null_frames;             // frames presented since the last set-up
extern uint64_t vid_null_hash;              // vid_null_frame_hash of the last frame presented
extern uint32_t vid_null_last[4 * pix_frame_pixels];   // a copy of it: up to 640x480 pixels

extern void (*vid_null_on_frame)(const uint32_t* frame);
// Called with each presented frame after it has been kept; null: nothing.

extern int (*vid_null_escape_hook)();
// Asked at every vid_escape, whose answer it is; null: Escape is never pressed.

uint64_t vid_null_frame_hash(const uint32_t* frame, int pixels);
// FNV-1a (64-bit) over the pixels' bytes, as the frames are kept.
