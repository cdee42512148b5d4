// The video layer's inside, for its tests and the benchmark: the layer state, its X resources,
// the seam around the DGA frame buffer and the row converter family. Callers use video/vid.h.
// Include <gtest/gtest.h> (if at all) before this header: Xlib defines Bool, None, Status.
#pragma once

#include "picture/pix.h"
#include "video/vid_convert.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

// Layer state (flags are 0 or 1).
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
extern uint8_t vid_pixels[4 * pix_frame_bytes];  // the plain image's pixels: 640x480 of 4 bytes

extern Display* vid_display;
extern int vid_screen;
extern Visual* vid_visual;
extern GC vid_gc;
extern Colormap vid_colormap;        // the layer's own colormap at depth 8, else 0
extern XColor vid_colors[256];       // its contents, entry i at index i
extern Window vid_window;            // window modes
extern XSetWindowAttributes vid_winattr;
extern XImage* vid_image;            // window modes: plain or shared-memory image
extern XShmSegmentInfo vid_shminfo;  // modes 3, 4
extern uint8_t* vid_dga_base;        // DGA: the mapped frame buffer
extern int vid_dga_width;            // DGA: line width in pixels
extern int vid_dga_bank;             // DGA: mapped size in bytes
extern int vid_dga_ram;              // DGA: video memory in kilobytes

// The pieces of full-screen output that need the video hardware itself: mapping its memory,
// turning direct video on and off, moving the visible part of the frame buffer, and loading the
// hardware palette. `vid_dga_real` uses the XFree86-DGA client library; tests install a frame
// buffer in memory. The rest of the layer never knows which it has.
struct vid_dga_ops {
    // Maps the frame buffer of `screen`: base address, line width in pixels, mapped size in
    // bytes, video memory in kilobytes. 1 on success, 0 when it cannot be mapped.
    int (*get_video)(Display* dpy, int screen, uint8_t** base, int* width, int* bank, int* ram);
    // Direct video on (flags 14: graphics, mouse, keyboard) or off (0). 1 on success, else 0.
    int (*direct_video)(Display* dpy, int screen, int flags);
    // Shows the frame buffer from pixel (x, y) on.
    void (*set_view_port)(Display* dpy, int screen, int x, int y);
    // Nonzero once the last view-port change has taken effect (n: pages in the flip chain).
    int (*view_port_changed)(Display* dpy, int screen, int n);
    // Loads `cmap` into the hardware palette (depth 8).
    void (*install_colormap)(Display* dpy, int screen, Colormap cmap);
};

extern const vid_dga_ops vid_dga_real;

void vid_set_dga_ops(const vid_dga_ops* ops);
// Installs the frame-buffer operations used by later set-ups; null puts back `vid_dga_real`.

// The family. Pixels per step in brackets; output per source pixel after the colon.
void cv_gray8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 0 [1]: one byte (B + G + R) >> 3, 0..95 (the grey ramp of an 8-bit colormap).
void cv_pair8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 1 [1]: R >> 2 in this row, the green/blue index in the same column of the next row.
void cv_checker8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 2 [1]: a 2x2 block: red level on the main diagonal, green/blue index on the other.
void cv_rgb15(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 3 [2]: RGB555 in 16 bits: two pixels per 32-bit word, the first in the low half.
void cv_rgb15_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 4 [1]: the RGB555 value twice in one 32-bit word.
void cv_rgb16(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 5 [2]: RGB565 in 16 bits: two pixels per 32-bit word, the first in the low half.
void cv_rgb16_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 6 [1]: the RGB565 value twice in one 32-bit word.
void cv_rgb24(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 7 [4]: packed B, G, R (3 bytes): four pixels in three 32-bit words; top byte dropped.
void cv_rgb24_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 8 [2]: packed B, G, R twice (6 bytes): two pixels in three 32-bit words; top byte dropped.
void cv_rgb32(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 9 [2]: the 32-bit word unchanged, top byte included.
void cv_rgb32_double(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// 10 [2]: the 32-bit word twice, top byte included.
void cv_pack8(uint8_t* dst, const uint32_t* src, int32_t count, int32_t pitch);
// Not selectable. count is in source BYTES: count / 16 steps, each packing the low (blue) byte
// of four source words into one 32-bit store.
