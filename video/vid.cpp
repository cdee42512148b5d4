// Set-up, presentation, Escape poll and shutdown of the video layer.
#include "video/vid.h"

#include "video/vid_internal.h"

#include <X11/extensions/Xxf86dga.h>
#include <X11/extensions/xf86vmode.h>
#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int vid_scale = 1;
int vid_doubled = 0;
int vid_pageflip = 0;
int vid_page = 0;
int vid_use_shm = 0;
int vid_use_dga = 0;
int vid_src_w = 0;
int vid_out_w = 0;
int vid_out_h = 0;
int vid_depth = 0;
int vid_bytes_pp = 0;
int vid_saved_w = 0;
int vid_saved_h = 0;
alignas(64) uint8_t vid_pixels[4 * pix_frame_bytes];

Display* vid_display = nullptr;
int vid_screen = 0;
Visual* vid_visual = nullptr;
GC vid_gc = nullptr;
Colormap vid_colormap = 0;
XColor vid_colors[256];
Window vid_window = 0;
XSetWindowAttributes vid_winattr;
XImage* vid_image = nullptr;
XShmSegmentInfo vid_shminfo;
uint8_t* vid_dga_base = nullptr;
int vid_dga_width = 0;
int vid_dga_bank = 0;
int vid_dga_ram = 0;

namespace {

// ---- the DGA frame-buffer seam, real side ----

int x_error_seen = 0;
int trap_x_error(Display*, XErrorEvent*)
{
    x_error_seen = 1;
    return 0;
}

int real_get_video(Display* dpy, int screen, uint8_t** base, int* width, int* bank, int* ram)
{
    // The client library maps /dev/mem itself and ends the whole process when it cannot open
    // it: ask first, so that a machine without it gets a refused mode instead.
    int fd = open("/dev/mem", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return 0;
    close(fd);
    char* addr = nullptr;
    if (!XF86DGAGetVideo(dpy, screen, &addr, width, bank, ram))
        return 0;
    *base = reinterpret_cast<uint8_t*>(addr);
    return 1;
}

int real_direct_video(Display* dpy, int screen, int flags)
{
    // A screen whose driver offers no direct video answers with a protocol error, which would
    // otherwise end the process through Xlib's default handler with the video mode switched.
    XSync(dpy, False);
    x_error_seen = 0;
    XErrorHandler old = XSetErrorHandler(trap_x_error);
    XF86DGADirectVideo(dpy, screen, flags);
    XSync(dpy, False);
    XSetErrorHandler(old);
    return !x_error_seen;
}

void real_set_view_port(Display* dpy, int screen, int x, int y) { XF86DGASetViewPort(dpy, screen, x, y); }
int real_view_port_changed(Display* dpy, int screen, int n) { return XF86DGAViewPortChanged(dpy, screen, n); }
void real_install_colormap(Display* dpy, int screen, Colormap cmap) { XF86DGAInstallColormap(dpy, screen, cmap); }

const vid_dga_ops* dga = &vid_dga_real;

// ---- the mode menu ----

const char* const mode_lines[6] = {
    "1 - Standard X11 (Grayscale in 8-bit)",
    "2 - Standard X11 double pixels",
    "3 - X11 Shm (Grayscale in 8-bit)",
    "4 - X11 Shm double pixels",
    "5 - XF86 fullscreen DGA (Grayscale in 8-bit)",
    "6 - XF86 fullscreen DGA double pixels",
};

// Reads one decimal number the way "%d" does (white space, optional sign, digits; the first
// other character stays unread), but without scanf's undefined behaviour on overflow: a number
// too long for any mode comes back as 0. Returns 0 when no number could be read.
int read_answer(int* answer)
{
    int c;
    do c = std::getchar(); while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
    int sign = 1;
    if (c == '+' || c == '-') {
        sign = c == '-' ? -1 : 1;
        c = std::getchar();
    }
    if (c < '0' || c > '9') {
        if (c != EOF) std::ungetc(c, stdin);
        return 0;
    }
    long v = 0;
    for (; c >= '0' && c <= '9'; c = std::getchar())
        v = v > 100000 ? 100001 : v * 10 + (c - '0');   // saturates well above 6
    if (c != EOF) std::ungetc(c, stdin);
    *answer = v > 100000 ? 0 : static_cast<int>(sign * v);
    return 1;
}

// The mode from the flags, or asked on standard input; 0 for an answer that is no mode.
int choose_mode(int width, int height, int flags)
{
    if ((flags & 3) == 3) return 5;
    if ((flags & 3) == 1) return 1;
    std::printf("Internal window size: %dx%d\n", width, height);
    for (const char* line : mode_lines) std::printf("%s\n", line);
    std::fflush(stdout);
    int mode = 0;
    if (!read_answer(&mode) || mode < 1 || mode > 6) return 0;
    return mode;
}

// ---- set-up stages ----

int release_display(int result)
{
    if (vid_display) XCloseDisplay(vid_display);
    vid_display = nullptr;
    vid_colormap = 0;
    return result;
}

// Bytes per pixel and converter selector (normal, doubled) by depth; false for other depths.
bool depth_format(int depth, int* bytes_pp, int* normal, int* doubled)
{
    switch (depth) {
    case 8: *bytes_pp = 1; *normal = 0; *doubled = 2; return true;
    case 15: *bytes_pp = 2; *normal = 3; *doubled = 4; return true;
    case 16: *bytes_pp = 2; *normal = 5; *doubled = 6; return true;
    case 24:   // treated as 32 bits per pixel everywhere
    case 32: *bytes_pp = 4; *normal = 9; *doubled = 10; return true;
    default: return false;
    }
}

// 8-bit displays: the layer's own colormap, grey ramp (normal size) or the colour trick (doubled).
void make_colormap()
{
    Window root = RootWindow(vid_display, vid_screen);
    vid_colormap = XCreateColormap(vid_display, root, vid_visual, AllocAll);
    XColor set[256];
    int n = 0;
    for (int i = 0; i < 256; ++i) {
        XColor& c = vid_colors[i];
        c.pixel = static_cast<unsigned long>(i);
        c.red = c.green = c.blue = 0;
        c.flags = DoRed | DoGreen | DoBlue;
        if (!vid_doubled) {
            // 96 greys for (B + G + R) >> 3 in 0..95, black above
            if (i < 96) c.red = c.green = c.blue = static_cast<unsigned short>(i * 65535 / 96);
        } else if (i < 64) {
            c.red = static_cast<unsigned short>(i * 65535 / 64);
        } else if (i >= 128) {
            int k = i - 128;   // 16 green levels by 8 blue levels
            c.green = static_cast<unsigned short>((k & 15) * 4369);
            c.blue = static_cast<unsigned short>((k >> 4) * 65535 / 7);
        } else {
            c.flags = 0;   // 64..127 are not used by the colour trick
            continue;
        }
        set[n++] = c;
    }
    XStoreColors(vid_display, vid_colormap, set, n);
}

// Switches to the last mode line of w x h; false when there is none.
bool switch_to_size(int w, int h)
{
    int n = 0;
    XF86VidModeModeInfo** lines = nullptr;
    if (!XF86VidModeGetAllModeLines(vid_display, vid_screen, &n, &lines)) return false;
    XF86VidModeModeInfo* found = nullptr;
    for (int i = 0; i < n; ++i)
        if (lines[i]->hdisplay == w && lines[i]->vdisplay == h) found = lines[i];
    if (found) XF86VidModeSwitchToMode(vid_display, vid_screen, found);
    XFree(lines);
    return found != nullptr;
}

bool has_mode_line(int w, int h)
{
    int n = 0;
    XF86VidModeModeInfo** lines = nullptr;
    if (!XF86VidModeGetAllModeLines(vid_display, vid_screen, &n, &lines)) return false;
    bool found = false;
    for (int i = 0; i < n; ++i) found |= lines[i]->hdisplay == w && lines[i]->vdisplay == h;
    XFree(lines);
    return found;
}

// Maps the frame buffer and checks it can hold the output: 0, or the set-up's result.
int dga_map()
{
    int major = 0, minor = 0;
    if (!XF86DGAQueryVersion(vid_display, &major, &minor)) return 2;
    if (!dga->get_video(vid_display, vid_screen, &vid_dga_base, &vid_dga_width, &vid_dga_bank, &vid_dga_ram))
        return 2;
    // A banked frame buffer (a window onto the video memory, not one linear mapping) is refused,
    // and so is one whose lines or pages would not hold the output.
    long long ram_bytes = static_cast<long long>(vid_dga_ram) * 1024;
    long long pitch = static_cast<long long>(vid_dga_width) * vid_bytes_pp;
    long long pages_bytes = pitch * vid_out_h * (vid_pageflip ? 2 : 1);
    if (vid_dga_bank < ram_bytes || vid_dga_width < vid_out_w || pages_bytes > vid_dga_bank) return 2;
    return 0;
}

int dga_setup()
{
    if (int r = dga_map()) return release_display(r);
    int major = 0, minor = 0;
    if (!XF86VidModeQueryVersion(vid_display, &major, &minor)) return release_display(1);
    if (!has_mode_line(vid_out_w, vid_out_h)) return release_display(1);
    // The mode to restore: the one in force now (the server's first mode line is that only
    // until somebody switches).
    int dotclock = 0;
    XF86VidModeModeLine current;
    std::memset(&current, 0, sizeof current);
    XF86VidModeGetModeLine(vid_display, vid_screen, &dotclock, &current);
    if (current.privsize > 0) XFree(current.c_private);
    vid_saved_w = current.hdisplay;
    vid_saved_h = current.vdisplay;
    switch_to_size(vid_out_w, vid_out_h);
    XF86VidModeSetViewPort(vid_display, vid_screen, 0, 0);
    XFlush(vid_display);
    if (!dga->direct_video(vid_display, vid_screen, XF86DGADirectGraphics | XF86DGADirectMouse | XF86DGADirectKeyb)) {
        switch_to_size(vid_saved_w, vid_saved_h);
        XSync(vid_display, False);
        return release_display(2);
    }
    XGrabKeyboard(vid_display, RootWindow(vid_display, vid_screen), True, GrabModeAsync, GrabModeAsync, CurrentTime);
    std::memset(vid_dga_base, 0, static_cast<size_t>(vid_dga_ram) * 1024);   // every page black
    if (vid_depth == 8) dga->install_colormap(vid_display, vid_screen, vid_colormap);
    return 0;
}

// Modes 3 and 4: an image in a private shared memory segment that the server reads directly.
int shm_image_setup()
{
    vid_image = XShmCreateImage(vid_display, vid_visual, static_cast<unsigned>(vid_depth), ZPixmap, nullptr,
                                &vid_shminfo, static_cast<unsigned>(vid_out_w), static_cast<unsigned>(vid_out_h));
    if (!vid_image) return release_display(2);
    vid_image->bitmap_unit = 32;
    size_t bytes = static_cast<size_t>(vid_image->bytes_per_line) * static_cast<size_t>(vid_image->height);
    vid_shminfo.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0777);
    void* addr = vid_shminfo.shmid < 0 ? reinterpret_cast<void*>(-1) : shmat(vid_shminfo.shmid, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        if (vid_shminfo.shmid >= 0) shmctl(vid_shminfo.shmid, IPC_RMID, nullptr);
        XDestroyImage(vid_image);
        vid_image = nullptr;
        return release_display(2);
    }
    vid_shminfo.shmaddr = vid_image->data = static_cast<char*>(addr);
    vid_shminfo.readOnly = False;
    // A server that cannot reach the segment answers with a protocol error: catch it here.
    XSync(vid_display, False);
    x_error_seen = 0;
    XErrorHandler old = XSetErrorHandler(trap_x_error);
    Bool attached = XShmAttach(vid_display, &vid_shminfo);
    XSync(vid_display, False);
    XSetErrorHandler(old);
    // Marked for removal at once: it lives on while attached, and no segment outlives the
    // program however it ends.
    shmctl(vid_shminfo.shmid, IPC_RMID, nullptr);
    if (!attached || x_error_seen) {
        shmdt(vid_shminfo.shmaddr);
        XDestroyImage(vid_image);
        vid_image = nullptr;
        return release_display(2);
    }
    return 0;
}

int window_setup()
{
    Window root = RootWindow(vid_display, vid_screen);
    vid_winattr.backing_store = NotUseful;
    vid_winattr.colormap = vid_colormap;
    vid_window = XCreateWindow(vid_display, root, 0, 0, static_cast<unsigned>(vid_out_w),
                               static_cast<unsigned>(vid_out_h), 4, vid_depth, InputOutput, vid_visual,
                               CWBackingStore | CWColormap, &vid_winattr);
    // keys are selected before the window is mapped: a key pressed while it appears is kept
    XSelectInput(vid_display, vid_window, KeyPressMask);
    XStoreName(vid_display, vid_window, "Orvanto in X11");
    XMapWindow(vid_display, vid_window);
    XSync(vid_display, False);
    if (vid_use_shm) {
        int r = shm_image_setup();
        if (r) return r;
    } else {
        std::memset(vid_pixels, 0, sizeof vid_pixels);   // the doubled modes never write odd lines
        vid_image = XCreateImage(vid_display, vid_visual, static_cast<unsigned>(vid_depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(vid_out_w), static_cast<unsigned>(vid_out_h), 32,
                                 vid_bytes_pp * vid_out_w);
        if (!vid_image) return release_display(2);
        vid_image->bitmap_unit = 32;
    }
    XFlush(vid_display);
    return 0;
}

} // namespace

const vid_dga_ops vid_dga_real = {
    real_get_video, real_direct_video, real_set_view_port, real_view_port_changed, real_install_colormap,
};

void vid_set_dga_ops(const vid_dga_ops* ops) { dga = ops ? ops : &vid_dga_real; }

int vid_init(int res, int flags)
{
    if (res == 1) return vid_init_size(pix_frame_w, pix_frame_h, flags);
    if (res == 2) return vid_init_size(pix_frame_w, 200, flags);
    return 1;
}

int vid_init_size(int width, int height, int flags)
{
    vid_page = vid_pageflip = vid_doubled = vid_use_shm = vid_use_dga = 0;
    vid_scale = 1;
    vid_src_w = width;
    // Converters step over two pixels at a time; the plain image lives in vid_pixels.
    if (width <= 0 || height <= 0 || width % 2 != 0 || width > 4096 || height > 4096) return 1;
    int mode = choose_mode(width, height, flags);
    if (mode == 0) return 1;
    if (mode % 2 == 0) {
        vid_doubled = 1;
        vid_scale = 2;
    }
    vid_out_w = width * vid_scale;
    vid_out_h = height * vid_scale;
    vid_use_shm = mode == 3 || mode == 4;
    vid_use_dga = mode == 5 || mode == 6;
    vid_pageflip = mode == 5;
    if (mode <= 2 && static_cast<long>(vid_out_w) * vid_out_h * 4 > static_cast<long>(sizeof vid_pixels)) return 1;

    vid_display = XOpenDisplay(nullptr);
    if (!vid_display) return 1;
    if (vid_use_shm && !XShmQueryExtension(vid_display)) return release_display(2);
    vid_screen = DefaultScreen(vid_display);
    vid_visual = DefaultVisual(vid_display, vid_screen);
    vid_gc = DefaultGC(vid_display, vid_screen);
    vid_depth = DefaultDepth(vid_display, vid_screen);
    int normal = 0, doubled = 0;
    if (!depth_format(vid_depth, &vid_bytes_pp, &normal, &doubled)) return release_display(2);
    vid_set_converter(vid_doubled ? doubled : normal);
    vid_colormap = 0;
    if (vid_depth == 8) make_colormap();
    return vid_use_dga ? dga_setup() : window_setup();
}

void vid_update(const uint32_t* frame)
{
    int line_w = vid_use_dga ? vid_dga_width : vid_out_w;
    int32_t pitch = line_w * vid_bytes_pp;
    uint8_t* base;
    if (vid_use_dga)
        base = vid_dga_base + (vid_pageflip ? static_cast<size_t>(vid_page) * pitch * vid_out_h : 0);
    else if (vid_use_shm)
        base = reinterpret_cast<uint8_t*>(vid_image->data);
    else
        base = vid_pixels;
    // one converter call per frame row, into output rows 0, scale, 2 * scale, ...
    for (int y = 0; y < vid_out_h; y += vid_scale)
        vid_convert_line(base + static_cast<size_t>(y) * pitch, frame + static_cast<size_t>(vid_src_w) * (y / vid_scale),
                         vid_src_w, pitch);
    if (vid_use_dga) {
        if (vid_pageflip) {
            while (!dga->view_port_changed(vid_display, vid_screen, 2)) {
                // the previous flip has not taken effect yet
            }
            dga->set_view_port(vid_display, vid_screen, 0, vid_page * vid_out_h);
            vid_page = 1 - vid_page;
        }
        return;
    }
    XSync(vid_display, False);
    unsigned w = static_cast<unsigned>(vid_out_w), h = static_cast<unsigned>(vid_out_h);
    if (vid_use_shm) {
        XShmPutImage(vid_display, vid_window, vid_gc, vid_image, 0, 0, 0, 0, w, h, False);
    } else {
        vid_image->data = reinterpret_cast<char*>(vid_pixels);
        XPutImage(vid_display, vid_window, vid_gc, vid_image, 0, 0, 0, 0, w, h);
    }
    XFlush(vid_display);
}

int vid_escape()
{
    XSync(vid_display, False);
    XFlush(vid_display);
    while (XPending(vid_display)) {
        XEvent ev;
        XNextEvent(vid_display, &ev);
        // only key events carry a key code; anything else that arrives is dropped
        if ((ev.type == KeyPress || ev.type == KeyRelease) && ev.xkey.keycode == 9) return 1;
    }
    return 0;
}

void vid_close()
{
    if (!vid_display) return;
    if (vid_use_dga) {
        XUngrabKeyboard(vid_display, CurrentTime);
        dga->direct_video(vid_display, vid_screen, 0);
        if (switch_to_size(vid_saved_w, vid_saved_h)) XFlush(vid_display);
        // the view port is left where it is: the restored mode shows from wherever it points
    } else {
        if (vid_use_shm) {
            XShmDetach(vid_display, &vid_shminfo);
            XDestroyImage(vid_image);
            shmdt(vid_shminfo.shmaddr);   // the segment was marked for removal at set-up
        } else if (vid_image) {
            vid_image->data = nullptr;   // vid_pixels is the layer's own, not the image's
            XDestroyImage(vid_image);
        }
        vid_image = nullptr;
        XDestroyWindow(vid_display, vid_window);
        vid_window = 0;
    }
    release_display(0);
}
