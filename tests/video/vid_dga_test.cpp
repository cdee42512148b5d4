// The full-screen modes against Xorg with the dummy driver. Its VidMode extension is real (mode
// lines, switching, view port); its driver maps no video memory and offers direct video only in
// its full-width mode, so the frame-buffer operations are mostly replaced by a frame buffer in
// memory whose view port is the server's own VidMode view port.
#include <gtest/gtest.h>

#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"
#include "tests/video/vid_answer.h"
#include "video/vid.h"
#include "video/vid_internal.h"

#include <X11/extensions/xf86vmode.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct mem_frame_buffer {
    std::vector<uint8_t> mem;
    int width = 0, bank = 0, ram = 0;
    int direct = -1;                 // last flags given to direct video
    std::vector<int> flips;          // view-port y of every flip
    int pending = 0, polls = 0;      // polls that still report the last flip as not done; all
    Colormap installed = 0;
} fb;

int mem_get_video(Display*, int, uint8_t** base, int* width, int* bank, int* ram)
{
    *base = fb.mem.data();
    *width = fb.width, *bank = fb.bank, *ram = fb.ram;
    return 1;
}
int mem_direct_video(Display*, int, int flags) { return fb.direct = flags, 1; }
void mem_set_view_port(Display* dpy, int screen, int x, int y)
{
    fb.flips.push_back(y);
    fb.pending = 2;   // the flip takes effect after two more polls
    XF86VidModeSetViewPort(dpy, screen, x, y);
    XSync(dpy, False);
}
int mem_view_port_changed(Display*, int, int) { return ++fb.polls, fb.pending == 0 ? 1 : (--fb.pending, 0); }
void mem_install_colormap(Display*, int, Colormap cmap) { fb.installed = cmap; }
const vid_dga_ops mem_ops = {mem_get_video, mem_direct_video, mem_set_view_port, mem_view_port_changed, mem_install_colormap};

// A linear frame buffer of `width` x `lines` pixels, filled with 0xaa to show what is cleared.
void make_fb(int width, int lines, int bytes_pp)
{
    fb = mem_frame_buffer();
    fb.width = width;
    fb.ram = width * lines * bytes_pp / 1024;
    fb.bank = fb.ram * 1024;
    fb.mem.assign(static_cast<size_t>(fb.bank) + 4096, 0xaa);
}

// The server, through our own connection, with two 640x480 lines. The VidMode extension lists no
// doublescan lines, so 320x240 is a plain one.
struct server {
    ts_xserver_guard g;
    Display* d = nullptr;
    bool start(int depth, std::string* why)
    {
        if (!ts_start_xorg_dummy(&g.xs, depth,
                                 {"Modeline \"800x600\" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync",
                                  "Modeline \"640x480\" 25.18 640 656 752 800 480 490 492 525 -hsync -vsync",
                                  "Modeline \"640x480b\" 31.50 640 664 704 832 480 489 492 520 -hsync -vsync",
                                  "Modeline \"320x240\" 12.59 320 336 384 400 240 245 246 262"},
                                 {"800x600", "640x480", "640x480b", "320x240"}, why))
            return false;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        return (d = XOpenDisplay(g.xs.display().c_str())) != nullptr;
    }
    ~server() { if (d) XCloseDisplay(d); }
    // the current mode as "WxH", with the dot clock in kHz after an "@" when asked
    std::string mode(bool clock = false)
    {
        XF86VidModeModeLine ml;
        int dc = 0;
        XF86VidModeGetModeLine(d, DefaultScreen(d), &dc, &ml);
        if (ml.privsize > 0) XFree(ml.c_private);
        return std::to_string(ml.hdisplay) + "x" + std::to_string(ml.vdisplay) + (clock ? "@" + std::to_string(dc) : "");
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
};

std::vector<uint32_t> frame_of(uint32_t seed, size_t pixels = pix_frame_pixels)
{
    std::vector<uint32_t> f(pixels);
    for (uint32_t i = 0; i < f.size(); ++i) f[i] = (i * 2654435761u + seed) & 0x0fffffff;
    return f;
}

// Checks the output rows of one page against the converter: the frame rows in rows 0, scale,
// ..., with the rows between (written by no converter but the 8-bit ones) still black.
void expect_page(const std::vector<uint32_t>& frame, size_t page_offset, const char* what)
{
    const int pitch = fb.width * vid_bytes_pp;
    std::vector<uint8_t> rows(static_cast<size_t>(pitch) * 2);
    for (int y = 0; y < vid_out_h; y += vid_scale) {
        std::fill(rows.begin(), rows.end(), 0);
        vid_convert_line(rows.data(), &frame[static_cast<size_t>(vid_src_w) * (y / vid_scale)], vid_src_w, pitch);
        if (std::memcmp(&fb.mem[page_offset + static_cast<size_t>(y) * pitch], rows.data(), static_cast<size_t>(pitch) * vid_scale)) {
            ADD_FAILURE() << what << ": output rows from " << y << " differ";
            return;
        }
    }
}

} // namespace

TEST(VideoFullScreen, PageFlippingAndDoubledOutputThroughTheFrameBuffer)
{
    for (int depth : {24, 8}) {
        server s;
        std::string why;
        if (!s.start(depth, &why)) GTEST_SKIP() << why;
        const int bpp = depth == 8 ? 1 : 4;
        vid_set_dga_ops(&mem_ops);
        const std::string what = "depth " + std::to_string(depth);

        // mode 5: two pages of 320x240 in a frame buffer 800 pixels wide
        make_fb(800, 600, bpp);
        ASSERT_EQ(vid_init_size(320, 240, 3), 0) << what;
        EXPECT_EQ(fb.direct, 14);
        EXPECT_EQ(std::count(fb.mem.begin(), fb.mem.begin() + fb.bank, 0), fb.bank) << what << ": video memory not cleared";
        EXPECT_EQ(fb.mem[fb.bank], 0xaa) << "nothing cleared past the video memory";
        EXPECT_EQ(s.mode(), "320x240");
        EXPECT_EQ(fb.installed, depth == 8 ? vid_colormap : 0UL);
        const size_t page = static_cast<size_t>(800) * bpp * 240;
        const std::vector<uint32_t> a = frame_of(1), b = frame_of(2), c = frame_of(3);
        vid_update(a.data());
        expect_page(a, 0, "first frame on page 0");
        EXPECT_EQ(s.view_y(), 0);
        vid_update(b.data());
        expect_page(b, page, "second frame on page 1");
        expect_page(a, 0, "page 0 kept");
        EXPECT_EQ(s.view_y(), 240);
        vid_update(c.data());
        expect_page(c, 0, "third frame on page 0");
        EXPECT_EQ(fb.flips, (std::vector<int>{0, 240, 0}));
        EXPECT_EQ(fb.polls, 3 + 2 * 2) << "each flip waits until the previous one took effect";
        vid_close();
        EXPECT_EQ(fb.direct, 0);
        EXPECT_EQ(s.mode(), "800x600") << what;

        // mode 6: doubled rows straight into the visible frame buffer, black lines between
        make_fb(1024, 600, bpp);
        ASSERT_EQ(vid_test_init_answered("6\n"), 0) << what;
        EXPECT_EQ(s.mode(), "640x480");
        vid_update(a.data());
        expect_page(a, 0, "mode 6");
        EXPECT_TRUE(fb.flips.empty());
        vid_close();
        EXPECT_EQ(s.mode(), "800x600") << what;
        s.switch_to(800, 600);
    }
    vid_set_dga_ops(nullptr);
}

TEST(VideoFullScreen, RefusalsLeaveTheVideoModeAloneAndTheRealOperations)
{
    server s;
    std::string why;
    if (!s.start(24, &why)) GTEST_SKIP() << why;
    vid_set_dga_ops(&mem_ops);
    // a banked frame buffer (the mapping smaller than the video memory), lines narrower than the
    // output, too few lines for two pages: 2; no 660x480 mode line for 330x240 doubled: 1
    const struct { int width, lines, bank_cut; const char* answer; int frame_w, result; } table[] = {
        {800, 600, 65536, "5\n", 320, 2}, {600, 600, 0, "6\n", 320, 2}, {800, 400, 0, "5\n", 320, 2},
        {800, 600, 0, "6\n", 330, 1}};
    for (auto& t : table) {
        make_fb(t.width, t.lines, 4);
        fb.bank -= t.bank_cut;
        EXPECT_EQ(vid_test_init_answered(t.answer, t.frame_w, 240), t.result) << t.width << "x" << t.lines;
        EXPECT_EQ(fb.direct, -1);
        EXPECT_EQ(s.mode(), "800x600");
        EXPECT_EQ(vid_display, nullptr) << "a refused set-up releases the display";
    }

    // two 640x480 lines: the later one in the server's list is used
    int n = 0, count = 0, last = 0;
    XF86VidModeModeInfo** lines = nullptr;
    XF86VidModeGetAllModeLines(s.d, DefaultScreen(s.d), &n, &lines);
    for (int i = 0; i < n; ++i)
        if (lines[i]->hdisplay == 640 && lines[i]->vdisplay == 480) last = static_cast<int>(lines[i]->dotclock), ++count;
    XFree(lines);
    ASSERT_EQ(count, 2);
    make_fb(800, 600, 4);
    ASSERT_EQ(vid_test_init_answered("6\n"), 0);
    EXPECT_EQ(s.mode(true), "640x480@" + std::to_string(last));
    vid_close();

    // close goes back to the mode in force at start, also when that is not the first line
    s.switch_to(640, 480);
    make_fb(800, 600, 4);
    ASSERT_EQ(vid_init_size(320, 240, 3), 0);
    EXPECT_EQ(s.mode(), "320x240");
    vid_close();
    EXPECT_EQ(s.mode(), "640x480");
    s.switch_to(800, 600);

    // the real requests with only the mapping replaced: this driver has direct video in its
    // full-width mode only, so 640x480 is refused as a result (not the end of the process) and
    // the mode goes back; 400x300 doubled is 800x600, where a key typed on the server's keyboard
    // (XTEST) reaches the layer through its grab
    const vid_dga_ops mapped_only = {mem_get_video, vid_dga_real.direct_video, vid_dga_real.set_view_port,
                                     vid_dga_real.view_port_changed, vid_dga_real.install_colormap};
    vid_set_dga_ops(&mapped_only);
    make_fb(800, 600, 4);
    EXPECT_EQ(vid_test_init_answered("6\n"), 2);
    EXPECT_EQ(s.mode(), "800x600");
    ASSERT_EQ(vid_test_init_answered("6\n", 400, 300), 0);
    const std::vector<uint32_t> a = frame_of(7, 400 * 300);
    vid_update(a.data());
    expect_page(a, 0, "mode 6, real direct video");
    EXPECT_EQ(vid_escape(), 0);
    if (ts_have_program("xdotool")) {
        ASSERT_EQ(ts_run({"xdotool", "key", "a", "Escape"}, nullptr, 10000, {"DISPLAY=" + s.g.xs.display()}), 0);
        EXPECT_EQ(vid_escape(), 1) << "Escape under direct video";
    }
    vid_close();
    EXPECT_EQ(vid_dga_real.direct_video(s.d, DefaultScreen(s.d), 0), 1) << "the server is usable again";
    // and with nothing to map (no /dev/mem here) the mode is refused
    vid_set_dga_ops(nullptr);
    const int fd = open("/dev/mem", O_RDWR);
    if (fd >= 0) {
        close(fd);
    } else {
        EXPECT_EQ(vid_init_size(320, 240, 3), 2) << "no /dev/mem to map";
        EXPECT_EQ(s.mode(), "800x600");
    }
}
