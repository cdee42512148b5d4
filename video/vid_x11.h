// The video layer's X side: its X resources and the narrow seam around the DGA frame buffer.
// Include <gtest/gtest.h> (if at all) before this header: Xlib defines Bool, None, Status.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

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
