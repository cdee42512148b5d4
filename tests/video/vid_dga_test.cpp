// The full-screen modes against Xorg with the dummy driver. Its VidMode extension is real (mode
// lines, switching, view port); its driver maps no video memory and offers no direct video, so
// the frame-buffer operations are replaced by a frame buffer in memory whose view port is the
// server's own VidMode view port. Every case leaves the server in its 800x600 mode.
#include <gtest/gtest.h>

#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"
#include "tests/video/vid_answer.h"
#include "video/vid.h"
#include "video/vid_internal.h"

#include <X11/extensions/xf86vmode.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct MemFrameBuffer {
    std::vector<uint8_t> mem;
    int width = 0, bank = 0, ram = 0;
    int direct = -1;                 // last flags given to direct video
    std::vector<int> flips;          // view-port y of every flip
    int pending = 0, polls = 0;      // polls that still report the last flip as not done; all
    Colormap installed = 0;
};
MemFrameBuffer fb;

int mem_get_video(Display*, int, uint8_t** base, int* width, int* bank, int* ram)
{
    *base = fb.mem.data();
    *width = fb.width, *bank = fb.bank, *ram = fb.ram;
    return 1;
}
int mem_direct_video(Display*, int, int flags) { fb.direct = flags; return 1; }
void mem_set_view_port(Display* dpy, int screen, int x, int y)
{
    fb.flips.push_back(y);
    fb.pending = 2;   // the flip takes effect after two more polls
    XF86VidModeSetViewPort(dpy, screen, x, y);
    XSync(dpy, False);
}
int mem_view_port_changed(Display*, int, int)
{
    ++fb.polls;
    return fb.pending == 0 ? 1 : (--fb.pending, 0);
}
void mem_install_colormap(Display*, int, Colormap cmap) { fb.installed = cmap; }
const vid_dga_ops mem_ops = {mem_get_video, mem_direct_video, mem_set_view_port, mem_view_port_changed, mem_install_colormap};

// A linear frame buffer of `width` x `lines` pixels, filled with 0xaa to show what is cleared.
void make_fb(int width, int lines, int bytes_pp)
{
    fb = MemFrameBuffer();
    fb.width = width;
    fb.ram = width * lines * bytes_pp / 1024;
    fb.bank = fb.ram * 1024;
    fb.mem.assign(static_cast<size_t>(fb.bank) + 4096, 0xaa);
}

const std::vector<std::string> kModelines = {
    "Modeline \"800x600\" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync",
    "Modeline \"640x480\" 25.18 640 656 752 800 480 490 492 525 -hsync -vsync",
    "Modeline \"640x480b\" 31.50 640 664 704 832 480 489 492 520 -hsync -vsync",
    // not doublescan: the VidMode extension lists no doublescan mode lines
    "Modeline \"320x240\" 12.59 320 336 384 400 240 245 246 262",
};
const std::vector<std::string> kModes = {"800x600", "640x480", "640x480b", "320x240"};

// The server's state, through our own connection.
struct Server {
    ts_xserver_guard g;
    Display* d = nullptr;
    bool start(int depth, std::string* why)
    {
        if (!ts_start_xorg_dummy(&g.xs, depth, kModelines, kModes, why)) return false;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        d = XOpenDisplay(g.xs.display().c_str());
        return d != nullptr;
    }
    ~Server() { if (d) XCloseDisplay(d); }
    // the current mode's width and height, and its dot clock
    int mode(int* w, int* h)
    {
        XF86VidModeModeLine ml;
        int dc = 0;
        XF86VidModeGetModeLine(d, DefaultScreen(d), &dc, &ml);
        if (ml.privsize > 0) XFree(ml.c_private);
        *w = ml.hdisplay;
        *h = ml.vdisplay;
        return dc;
    }
    int view_y()
    {
        int x = 0, y = 0;
        XF86VidModeGetViewPort(d, DefaultScreen(d), &x, &y);
        return y;
    }
    void switch_to(int w, int h)
    {
        int n = 0;
        XF86VidModeModeInfo** lines = nullptr;
        XF86VidModeGetAllModeLines(d, DefaultScreen(d), &n, &lines);
        for (int i = 0; i < n; ++i)
            if (lines[i]->hdisplay == w && lines[i]->vdisplay == h) {
                XF86VidModeSwitchToMode(d, DefaultScreen(d), lines[i]);
                break;
            }
        XFree(lines);
        XF86VidModeSetViewPort(d, DefaultScreen(d), 0, 0);
        XSync(d, False);
    }
    // the dot clock of the last mode line of w x h
    int last_clock_of(int w, int h, int* count)
    {
        int n = 0, clock = 0;
        *count = 0;
        XF86VidModeModeInfo** lines = nullptr;
        XF86VidModeGetAllModeLines(d, DefaultScreen(d), &n, &lines);
        for (int i = 0; i < n; ++i)
            if (lines[i]->hdisplay == w && lines[i]->vdisplay == h) {
                clock = static_cast<int>(lines[i]->dotclock);
                ++*count;
            }
        XFree(lines);
        return clock;
    }
    void expect_mode(int w, int h, const char* what)
    {
        int cw = 0, ch = 0;
        mode(&cw, &ch);
        EXPECT_EQ(cw, w) << what;
        EXPECT_EQ(ch, h) << what;
    }
};

std::vector<uint32_t> frame_of(uint32_t seed, size_t pixels = 320 * 240)
{
    std::vector<uint32_t> f(pixels);
    for (uint32_t i = 0; i < f.size(); ++i) f[i] = (i * 2654435761u + seed) & 0x0fffffff;
    return f;
}

// Checks the output rows of one page against the converter (two rows per call when doubled at
// depth 8, none of the odd rows otherwise) and that the rest of each line is untouched.
void expect_page(const std::vector<uint32_t>& frame, size_t page_offset, const char* what)
{
    int pitch = fb.width * vid_bytes_pp;
    std::vector<uint8_t> rows(static_cast<size_t>(pitch) * 2);
    int bad = 0;
    for (int y = 0; y < vid_out_h && bad < 3; y += vid_scale) {
        std::fill(rows.begin(), rows.end(), 0);
        vid_convert_line(rows.data(), &frame[static_cast<size_t>(vid_src_w) * (y / vid_scale)], vid_src_w, pitch);
        const uint8_t* got = &fb.mem[page_offset + static_cast<size_t>(y) * pitch];
        if (std::memcmp(got, rows.data(), static_cast<size_t>(pitch) * vid_scale) != 0) {
            ++bad;
            ADD_FAILURE() << what << ": output rows from " << y << " differ";
        }
    }
}

} // namespace

TEST(VideoFullScreen, PageFlippingAndDoubledOutputThroughTheFrameBuffer)
{
    for (int depth : {24, 8}) {
        Server s;
        std::string why;
        if (!s.start(depth, &why)) GTEST_SKIP() << why;
        const int bpp = depth == 8 ? 1 : 4;
        vid_set_dga_ops(&mem_ops);
        std::string what = "depth " + std::to_string(depth);

        // mode 5: two pages of 320x240 in a frame buffer 800 pixels wide
        make_fb(800, 600, bpp);
        ASSERT_EQ(vid_init_size(320, 240, 3), 0) << what;
        EXPECT_EQ(fb.direct, 14);
        EXPECT_EQ(std::count(fb.mem.begin(), fb.mem.begin() + fb.bank, 0), fb.bank) << what << ": video memory not cleared";
        EXPECT_EQ(fb.mem[fb.bank], 0xaa) << "nothing cleared past the video memory";
        s.expect_mode(320, 240, "mode 5 switched");
        EXPECT_EQ(fb.installed, depth == 8 ? vid_colormap : 0UL);
        size_t page = static_cast<size_t>(800) * bpp * 240;
        std::vector<uint32_t> a = frame_of(1), b = frame_of(2), c = frame_of(3);
        vid_update(a.data());
        expect_page(a, 0, "first frame on page 0");
        EXPECT_EQ(s.view_y(), 0);
        vid_update(b.data());
        expect_page(b, page, "second frame on page 1");
        expect_page(a, 0, "page 0 kept");
        EXPECT_EQ(s.view_y(), 240);
        vid_update(c.data());
        expect_page(c, 0, "third frame on page 0");
        EXPECT_EQ(s.view_y(), 0);
        EXPECT_EQ(fb.flips, (std::vector<int>{0, 240, 0}));
        EXPECT_EQ(fb.polls, 3 + 2 * 2) << "each flip waits until the previous one took effect";
        vid_close();
        EXPECT_EQ(fb.direct, 0);
        s.expect_mode(800, 600, "mode 5 closed");

        // mode 6: doubled rows straight into the visible frame buffer, black lines between
        make_fb(1024, 600, bpp);
        ASSERT_EQ(vid_test_init_answered("6\n"), 0) << what;
        s.expect_mode(640, 480, "mode 6 switched");
        vid_update(a.data());
        expect_page(a, 0, "mode 6");
        EXPECT_TRUE(fb.flips.empty());
        vid_close();
        s.expect_mode(800, 600, "mode 6 closed");
        s.switch_to(800, 600);
    }
    vid_set_dga_ops(nullptr);
}

TEST(VideoFullScreen, RefusalsLeaveTheVideoModeAlone)
{
    Server s;
    std::string why;
    if (!s.start(24, &why)) GTEST_SKIP() << why;
    vid_set_dga_ops(&mem_ops);

    // a banked frame buffer: the mapping is smaller than the video memory
    make_fb(800, 600, 4);
    fb.bank -= 65536;
    EXPECT_EQ(vid_test_init_answered("5\n"), 2);
    EXPECT_EQ(fb.direct, -1);
    s.expect_mode(800, 600, "banked");
    // lines narrower than the output, and too few lines for two pages
    make_fb(600, 600, 4);
    EXPECT_EQ(vid_test_init_answered("6\n"), 2);
    make_fb(800, 400, 4);
    EXPECT_EQ(vid_test_init_answered("5\n"), 2);
    s.expect_mode(800, 600, "too small");
    EXPECT_EQ(vid_display, nullptr) << "a refused set-up releases the display";

    // no mode line of the output size: 330x240 frames doubled are 660x480
    make_fb(800, 600, 4);
    EXPECT_EQ(vid_test_init_answered("6\n", 330, 240), 1);
    EXPECT_EQ(fb.direct, -1);
    s.expect_mode(800, 600, "no 660x480");

    // two 640x480 lines: the later one in the server's list is used
    int count = 0, clock = s.last_clock_of(640, 480, &count);
    ASSERT_GE(count, 2);
    ASSERT_EQ(vid_test_init_answered("6\n"), 0);
    int w = 0, h = 0;
    EXPECT_EQ(s.mode(&w, &h), clock);
    vid_close();

    // close goes back to the mode in force at start, also when that is not the first line
    s.switch_to(640, 480);
    make_fb(800, 600, 4);
    ASSERT_EQ(vid_init_size(320, 240, 3), 0);
    s.expect_mode(320, 240, "from 640x480");
    EXPECT_EQ(vid_saved_w, 640);
    vid_close();
    s.expect_mode(640, 480, "back to 640x480");
    s.switch_to(800, 600);

    // the real operations: this server's driver maps nothing and has no direct video; the
    // refusal comes as a result, not as the end of the process
    vid_set_dga_ops(nullptr);
    s.switch_to(640, 480);
    EXPECT_EQ(vid_dga_real.direct_video(s.d, DefaultScreen(s.d), 14), 0) << "no direct video in this mode";
    s.switch_to(800, 600);
    int fd = open("/dev/mem", O_RDWR);
    if (fd >= 0) {
        close(fd);
    } else {
        EXPECT_EQ(vid_init_size(320, 240, 3), 2) << "no /dev/mem to map";
        s.expect_mode(800, 600, "real operations");
    }
}

// This driver offers direct video in the mode whose width is the whole frame buffer's (800x600):
// there the direct-video, view-port and colormap requests run against the real server, with
// only the memory mapping replaced.
TEST(VideoFullScreen, RealDirectVideoInTheFullWidthMode)
{
    const vid_dga_ops mapped_only = {mem_get_video, vid_dga_real.direct_video, vid_dga_real.set_view_port,
                                     vid_dga_real.view_port_changed, vid_dga_real.install_colormap};
    for (int depth : {24, 8}) {
        Server s;
        std::string why;
        if (!s.start(depth, &why)) GTEST_SKIP() << why;
        const int bpp = depth == 8 ? 1 : 4;
        vid_set_dga_ops(&mapped_only);
        // mode 6 with 400x300 frames: 800x600 output
        make_fb(800, 600, bpp);
        int r = vid_test_init_answered("6\n", 400, 300);
        if (depth == 8) {
            // this server refuses direct video at depth 8: set-up fails cleanly, mode restored
            EXPECT_EQ(r, 2);
            s.expect_mode(800, 600, "direct video refused");
            continue;
        }
        ASSERT_EQ(r, 0);
        std::vector<uint32_t> a = frame_of(7, 400 * 300);
        vid_update(a.data());
        expect_page(a, 0, "mode 6, real direct video");
        EXPECT_EQ(vid_escape(), 0);
        // a key typed on the server's keyboard (XTEST) reaches the layer through its grab
        if (ts_have_program("xdotool")) {
            ASSERT_EQ(ts_run({"xdotool", "key", "a", "Escape"}, nullptr, 10000, {"DISPLAY=" + s.g.xs.display()}), 0);
            EXPECT_EQ(vid_escape(), 1) << "Escape under direct video";
        }
        vid_close();
        s.expect_mode(800, 600, "mode 6 closed");
        // mode 5 with 800x600 frames: the flips go to the server, which keeps the view port
        // inside the 800x600 screen
        make_fb(800, 1200, bpp);
        ASSERT_EQ(vid_init_size(800, 600, 3), 0);
        std::vector<uint32_t> b = frame_of(8, 800 * 600), c = frame_of(9, 800 * 600);
        vid_update(b.data());
        vid_update(c.data());
        expect_page(b, 0, "mode 5 page 0");
        expect_page(c, static_cast<size_t>(800) * bpp * 600, "mode 5 page 1");
        EXPECT_EQ(vid_page, 0);
        vid_close();
        s.expect_mode(800, 600, "mode 5 closed");
        EXPECT_EQ(vid_dga_real.direct_video(s.d, DefaultScreen(s.d), 0), 1) << "the server is usable again";
    }
    vid_set_dga_ops(nullptr);
}
