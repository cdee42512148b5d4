// The layer on real servers: every window mode at every depth read back from private Xvfb
// servers, the refusals, the menu, the Escape poll; the full-screen modes on Xorg's dummy driver,
// whose VidMode extension is real but which maps no video memory, so a frame buffer in memory
// (its view port the server's own) stands in for it.
#include <gtest/gtest.h>

#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"
#include "video/vid.h"
#include "video/vid_internal.h"

#include <X11/extensions/xf86vmode.h>
#include <fcntl.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// vid_init_size(w, h, 0), or vid_init(res, flags) when res is given, with standard input a file
// holding `text` (removed at once); the menu printed in *menu.
int answered(const std::string& text, int w = 320, int h = 240, int res = 0, int flags = 0, std::string* menu = nullptr)
{
    const std::string path = "/tmp/orv-vid-answer-" + std::to_string(getpid());
    if (FILE* f = std::fopen(path.c_str(), "w")) std::fputs(text.c_str(), f), std::fclose(f);
    const bool ok = std::freopen(path.c_str(), "r", stdin) != nullptr;
    unlink(path.c_str());
    testing::internal::CaptureStdout();
    const int r = !ok ? -1 : res ? vid_init(res, flags) : vid_init_size(w, h, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    if (menu) *menu = out;
    return r;
}

std::string start_xvfb(ts_xserver_guard* g, int depth, const std::vector<std::string>& extra = {})
{
    std::string why;
    if (!ts_start_xvfb(&g->xs, depth, extra, &why)) return why;
    setenv("DISPLAY", g->xs.display().c_str(), 1);
    return "";
}

// Every pixel of the window against the frame converted into a zeroed image (frame row y / scale
// into output row y).
void expect_window_shows(const std::vector<uint32_t>& frame, const std::string& what)
{
    XImage* got = XGetImage(vid_display, vid_window, 0, 0, vid_out_w, vid_out_h, AllPlanes, ZPixmap);
    ASSERT_NE(got, nullptr) << what;
    const int pitch = vid_out_w * vid_bytes_pp;
    std::vector<uint8_t> want(static_cast<size_t>(pitch) * vid_out_h + 64, 0);
    for (int y = 0; y < vid_out_h; y += vid_scale)
        vid_convert_line(&want[static_cast<size_t>(y) * pitch], &frame[pix_frame_w * (y / vid_scale)], pix_frame_w, pitch);
    const unsigned long mask = (1UL << vid_depth) - 1;
    int bad = 0;
    for (int y = 0; y < vid_out_h && bad < 5; ++y)
        for (int x = 0; x < vid_out_w && bad < 5; ++x) {
            unsigned long w = 0;
            for (int k = vid_bytes_pp - 1; k >= 0; --k) w = w << 8 | want[static_cast<size_t>(y) * pitch + x * vid_bytes_pp + k];
            if ((w & mask) != (XGetPixel(got, x, y) & mask))
                ++bad, ADD_FAILURE() << what << " pixel " << x << "," << y;
        }
    XDestroyImage(got);
}

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

// The dummy server and our own connection to it.
struct server {
    ts_xserver_guard g;
    Display* d = nullptr;
    bool start(int depth, std::string* why)
    {
        if (!ts_start_xorg_dummy(&g.xs, depth, why)) return false;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        return (d = XOpenDisplay(g.xs.display().c_str())) != nullptr;
    }
    ~server() { if (d) XCloseDisplay(d); }
    // the current mode as "WxH", with "@" and the dot clock in kHz when asked
    std::string mode(bool clock = false)
    {
        XF86VidModeModeLine ml;
        int dc = 0;
        XF86VidModeGetModeLine(d, DefaultScreen(d), &dc, &ml);
        if (ml.privsize > 0) XFree(ml.c_private);
        return std::to_string(ml.hdisplay) + "x" + std::to_string(ml.vdisplay) + (clock ? "@" + std::to_string(dc) : "");
    }
    // switches to the last line of size w x h; its dot clock
    int switch_to(int w, int h, bool go = true)
    {
        int n = 0, clock = 0;
        XF86VidModeModeInfo** lines = nullptr;
        XF86VidModeGetAllModeLines(d, DefaultScreen(d), &n, &lines);
        XF86VidModeModeInfo* last = nullptr;
        for (int i = 0; i < n; ++i)
            if (lines[i]->hdisplay == w && lines[i]->vdisplay == h) last = lines[i];
        if (last && go) XF86VidModeSwitchToMode(d, DefaultScreen(d), last);
        if (last) clock = static_cast<int>(last->dotclock);
        XFree(lines);
        XF86VidModeSetViewPort(d, DefaultScreen(d), 0, 0);
        XSync(d, False);
        return clock;
    }
};

std::vector<uint32_t> frame_of(uint32_t seed, size_t pixels = pix_frame_pixels)
{
    std::vector<uint32_t> f(pixels);
    for (uint32_t i = 0; i < f.size(); ++i) f[i] = (i * 2654435761u + seed) & 0x0fffffff;
    return f;
}

// The rows of one page against the converter: frame rows in rows 0, scale, ..., the rows between
// (written only by the 8-bit converters) black.
void expect_page(const std::vector<uint32_t>& frame, size_t page_offset, const char* what)
{
    const int pitch = fb.width * vid_bytes_pp;
    std::vector<uint8_t> rows(static_cast<size_t>(pitch) * 2);
    for (int y = 0; y < vid_out_h; y += vid_scale) {
        std::fill(rows.begin(), rows.end(), 0);
        vid_convert_line(rows.data(), &frame[static_cast<size_t>(vid_src_w) * (y / vid_scale)], vid_src_w, pitch);
        if (std::memcmp(&fb.mem[page_offset + static_cast<size_t>(y) * pitch], rows.data(), static_cast<size_t>(pitch) * vid_scale))
            return ADD_FAILURE() << what << ": output rows from " << y << " differ", void();
    }
}

} // namespace

TEST(VideoWindow, EveryModeAndDepthShowsTheConvertedFrame)
{
    const struct { int depth, bytes_pp; vid_row_converter normal, doubled; } cases[] = {
        {8, 1, cv_gray8, cv_checker8}, {15, 2, cv_rgb15, cv_rgb15_double},
        {16, 2, cv_rgb16, cv_rgb16_double}, {24, 4, cv_rgb32, cv_rgb32_double}};
    // every byte varying, white in the top-left corner, flags in the top byte of some pixels
    std::vector<uint32_t> frame(pix_frame_pixels);
    for (uint32_t i = 0; i < frame.size(); ++i) {
        const uint32_t x = i % pix_frame_w, y = i / pix_frame_w;
        frame[i] = ((x * 7 + y) & 255) | ((y * 3 + x) & 255) << 8 | ((x ^ y) & 255) << 16 | (x % 5 ? 0 : 0x0f000000u);
    }
    frame[0] = 0xffffff;
    for (auto& c : cases) {
        ts_xserver_guard g;
        ASSERT_EQ(start_xvfb(&g, c.depth), "");
        for (int mode = 1; mode <= 4; ++mode) {
            const std::string what = "depth " + std::to_string(c.depth) + " mode " + std::to_string(mode);
            ASSERT_EQ(answered(std::to_string(mode) + "\n"), 0) << what;
            EXPECT_EQ(vid_bytes_pp, c.bytes_pp) << what;
            EXPECT_EQ(vid_converter, mode % 2 ? c.normal : c.doubled) << what;
            EXPECT_EQ(vid_out_w, mode % 2 ? 320 : 640);
            EXPECT_EQ(vid_use_shm, mode >= 3);
            vid_update(frame.data());
            expect_window_shows(frame, what);
            // 8 bits: greys of 96 (normal) or reds of 64 and a green/blue grid from 128, also on the server
            const struct { int normal, i; unsigned r, g, b; } known[] = {
                {1, 95, 64852, 64852, 64852}, {1, 96, 0, 0, 0}, {0, 63, 64511, 0, 0}, {0, 128, 0, 0, 0},
                {0, 255, 0, 65535, 65535}};
            for (auto& k : known) {
                if (c.depth != 8 || k.normal != mode % 2) continue;
                XColor q{};
                q.pixel = static_cast<unsigned long>(k.i);
                XQueryColor(vid_display, vid_colormap, &q);
                const XColor& v = vid_colors[k.i];
                EXPECT_EQ(std::vector<unsigned>({v.red, v.green, v.blue, q.red / 256u, q.green / 256u, q.blue / 256u}),
                          std::vector<unsigned>({k.r, k.g, k.b, k.r >> 8, k.g >> 8, k.b >> 8})) << what << " entry " << k.i;
            }
            EXPECT_EQ(vid_colormap == 0UL, c.depth != 8) << what;
            const int segment = vid_use_shm ? vid_shminfo.shmid : -1;
            shmid_ds ds;
            EXPECT_TRUE(segment < 0 || (shmctl(segment, IPC_STAT, &ds) == 0 && ds.shm_perm.mode & SHM_DEST)) << "not marked for removal";
            vid_close();
            EXPECT_EQ(vid_display, nullptr);
            EXPECT_TRUE(segment < 0 || shmctl(segment, IPC_STAT, &ds) != 0) << what << ": segment left behind";
        }
    }
}

// One server: screen 0 of depth 24 without MIT-SHM, 1 of depth 16, 2 of depth 30 (no converter).
TEST(VideoWindow, RefusalsMenuAndFlags)
{
    ts_xserver_guard g;
    ASSERT_EQ(start_xvfb(&g, 24, {"-extension", "MIT-SHM", "-screen", "1", "800x600x16", "-screen", "2", "800x600x30"}), "");
    EXPECT_EQ(answered("3\n"), 2);
    EXPECT_EQ(vid_display, nullptr) << "a failed set-up releases the display";
    EXPECT_EQ(answered("4\n"), 2);
    EXPECT_EQ(vid_init_size(320, 240, 3), 2) << "Xvfb has no DGA";

    setenv("DISPLAY", (g.xs.display() + ".2").c_str(), 1);
    vid_set_converter(9);
    EXPECT_EQ(vid_init_size(320, 240, 1), 2) << "no converter for depth 30";
    EXPECT_EQ(vid_converter, cv_rgb32) << "the converter is kept";
    EXPECT_EQ(vid_display, nullptr);

    setenv("DISPLAY", (g.xs.display() + ".1").c_str(), 1);   // the screen the name points at
    const struct { int res, flags; const char* input; bool asks; int doubled, out_h; } table[] = {
        {1, 1, "", false, 0, 240},      // mode 1 without asking
        {1, 2, "2\n", true, 1, 480},    // bit 1 alone still asks
        {2, 0, " +2 x", true, 1, 400},  // "%d" rules: white space and a sign; 320x200
    };
    for (auto& t : table) {
        std::string menu;
        EXPECT_EQ(answered(t.input, 320, 240, t.res, t.flags, &menu), 0) << t.flags;
        EXPECT_EQ(menu, !t.asks ? "" : t.res == 1 ? ts_mode_menu : std::string(ts_mode_menu).replace(26, 3, "200"));
        EXPECT_EQ(vid_doubled, t.doubled);
        EXPECT_EQ(vid_out_h, t.out_h);
        EXPECT_EQ(vid_depth, 16) << "not the default screen's depth";
        vid_close();
    }
    for (const char* input : {"0\n", "7\n", "word\n", "", "-1\n", "99999999999999999999\n"}) {
        EXPECT_EQ(answered(input), 1) << input;
        EXPECT_EQ(vid_display, nullptr) << input;
    }
    EXPECT_EQ(vid_init(3, 1), 1);
    EXPECT_EQ(vid_init(0, 1), 1);
}

// Other keys are dropped, the events after an Escape stay queued, and its release counts too. A
// key sent the moment the window is created is kept: keys are selected before it is mapped.
TEST(VideoWindow, EscapeIsTheOnlyKeyThatCountsFromTheWindowsFirstMoment)
{
    if (!ts_have_program("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    ts_xserver_guard g;
    ASSERT_EQ(start_xvfb(&g, 24), "");
    ASSERT_EQ(vid_init_size(320, 240, 1), 0);
    EXPECT_EQ(vid_escape(), 0) << "nothing pending: returns at once";
    const std::string win = std::to_string(vid_window);
    const std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    ASSERT_EQ(ts_run({"xdotool", "key", "--window", win, "a", "b"}, nullptr, 10000, env), 0);
    EXPECT_EQ(vid_escape(), 0) << "other keys are dropped";
    EXPECT_EQ(XPending(vid_display), 0);
    ASSERT_EQ(ts_run({"xdotool", "key", "--window", win, "a", "Escape", "c"}, nullptr, 10000, env), 0);
    EXPECT_EQ(vid_escape(), 1);
    EXPECT_EQ(XPending(vid_display), 3) << "the events after the Escape press stay queued";
    EXPECT_EQ(vid_escape(), 1) << "the release of Escape counts too";
    EXPECT_EQ(vid_escape(), 0);
    vid_close();

    Display* d = XOpenDisplay(g.xs.display().c_str());
    ASSERT_NE(d, nullptr);
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);
    for (int run = 0; run < 12; ++run) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (vid_init_size(320, 240, 1) != 0) _exit(2);
            for (int i = 0; i < 300; ++i, usleep(10000))
                if (vid_escape()) _exit(1);
            _exit(0);
        }
        XEvent e;
        do XNextEvent(d, &e); while (e.type != CreateNotify);
        XEvent k{};
        k.xkey = {KeyPress, 0, True, d, e.xcreatewindow.window, DefaultRootWindow(d), 0, 0, 0, 0, 0, 0, 0, 9, True};
        XSendEvent(d, e.xcreatewindow.window, False, KeyPressMask, &k);
        XSync(d, False);
        int st = 0;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << "run " << run << ": the Escape sent at creation was lost";
    }
    XCloseDisplay(d);
}

TEST(VideoFullScreen, PageFlippingAndDoubledOutputThroughTheFrameBuffer)
{
    for (int depth : {24, 8}) {
        server s;
        std::string why;
        if (!s.start(depth, &why)) GTEST_SKIP() << why;
        const int bpp = depth == 8 ? 1 : 4;
        vid_set_dga_ops(&mem_ops);
        // mode 5: two pages of 320x240 in a frame buffer 800 pixels wide
        make_fb(800, 600, bpp);
        ASSERT_EQ(vid_init_size(320, 240, 3), 0) << depth;
        EXPECT_EQ(fb.direct, 14);
        EXPECT_EQ(std::count(fb.mem.begin(), fb.mem.begin() + fb.bank, 0), fb.bank) << depth << ": video memory not cleared";
        EXPECT_EQ(fb.mem[fb.bank], 0xaa) << "cleared past the video memory";
        EXPECT_EQ(s.mode(), "320x240");
        EXPECT_EQ(fb.installed, depth == 8 ? vid_colormap : 0UL);
        const size_t page = static_cast<size_t>(800) * bpp * 240;
        const std::vector<uint32_t> a = frame_of(1), b = frame_of(2), c = frame_of(3);
        vid_update(a.data());
        expect_page(a, 0, "first frame on page 0");
        vid_update(b.data());
        expect_page(b, page, "second frame on page 1");
        expect_page(a, 0, "page 0 kept");
        vid_update(c.data());
        expect_page(c, 0, "third frame on page 0");
        EXPECT_EQ(fb.flips, (std::vector<int>{0, 240, 0}));
        EXPECT_EQ(fb.polls, 3 + 2 * 2) << "each flip waits until the previous one took effect";
        vid_close();
        EXPECT_EQ(fb.direct, 0);
        EXPECT_EQ(s.mode(), "800x600") << depth;
        // mode 6: doubled rows straight into the visible frame buffer, black lines between
        make_fb(1024, 600, bpp);
        ASSERT_EQ(answered("6\n"), 0) << depth;
        EXPECT_EQ(s.mode(), "640x480");
        vid_update(a.data());
        expect_page(a, 0, "mode 6");
        EXPECT_TRUE(fb.flips.empty());
        vid_close();
        EXPECT_EQ(s.mode(), "800x600") << depth;
    }
    vid_set_dga_ops(nullptr);
}

TEST(VideoFullScreen, RefusalsLeaveTheVideoModeAloneAndTheRealOperations)
{
    server s;
    std::string why;
    if (!s.start(24, &why)) GTEST_SKIP() << why;
    vid_set_dga_ops(&mem_ops);
    // a banked frame buffer (mapping smaller than the video memory), lines narrower than the
    // output, too few lines for two pages: 2; no 660x480 mode line for 330x240 doubled: 1
    const struct { int width, lines, bank_cut; const char* answer; int frame_w, result; } table[] = {
        {800, 600, 65536, "5\n", 320, 2}, {600, 600, 0, "6\n", 320, 2}, {800, 400, 0, "5\n", 320, 2},
        {800, 600, 0, "6\n", 330, 1}};
    for (auto& t : table) {
        make_fb(t.width, t.lines, 4);
        fb.bank -= t.bank_cut;
        EXPECT_EQ(answered(t.answer, t.frame_w), t.result) << t.width << "x" << t.lines;
        EXPECT_EQ(fb.direct, -1);
        EXPECT_EQ(s.mode(), "800x600");
        EXPECT_EQ(vid_display, nullptr) << "a refused set-up releases the display";
    }
    // of two 640x480 lines the later one is used
    const int last = s.switch_to(640, 480, false);
    make_fb(800, 600, 4);
    ASSERT_EQ(answered("6\n"), 0);
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
    // full-width mode only, so 640x480 is refused (not the end of the process) and the mode goes
    // back; 400x300 doubled is 800x600, where a key on the server's keyboard (XTEST) reaches the
    // layer through its grab
    const vid_dga_ops mapped_only = {mem_get_video, vid_dga_real.direct_video, vid_dga_real.set_view_port,
                                     vid_dga_real.view_port_changed, vid_dga_real.install_colormap};
    vid_set_dga_ops(&mapped_only);
    make_fb(800, 600, 4);
    EXPECT_EQ(answered("6\n"), 2);
    EXPECT_EQ(s.mode(), "800x600");
    ASSERT_EQ(answered("6\n", 400, 300), 0);
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
    vid_set_dga_ops(nullptr);   // with nothing to map (no /dev/mem here) the mode is refused
    const int fd = open("/dev/mem", O_RDWR);
    if (fd >= 0) close(fd);
    else {
        EXPECT_EQ(vid_init_size(320, 240, 3), 2) << "no /dev/mem to map";
        EXPECT_EQ(s.mode(), "800x600");
    }
}
