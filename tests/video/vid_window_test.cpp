// The window modes on private Xvfb servers: every mode at every depth read back from the screen,
// the refusals, the menu and its answers, and the Escape poll.
#include <gtest/gtest.h>

#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"
#include "tests/video/vid_answer.h"
#include "video/vid.h"
#include "video/vid_internal.h"

#include <poll.h>
#include <signal.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Reads the window back and compares every pixel with the frame converted into a zeroed image
// (frame row y / scale into output row y), in the visual's depth.
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
            const unsigned long px = XGetPixel(got, x, y) & mask;
            if ((w & mask) != px) {
                ++bad;
                ADD_FAILURE() << what << " pixel (" << x << "," << y << ") want " << std::hex << w << " got " << px;
            }
        }
    XDestroyImage(got);
}

void send_escape(Display* d, Window w)
{
    XEvent e{};
    e.xkey.type = KeyPress;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(d);
    e.xkey.keycode = 9;
    e.xkey.same_screen = True;
    XSendEvent(d, w, False, KeyPressMask, &e);
    XSync(d, False);
}

} // namespace

TEST(VideoWindow, EveryModeAndDepthShowsTheConvertedFrame)
{
    const struct { int depth, bytes_pp; vid_row_converter normal, doubled; } cases[] = {
        {8, 1, cv_gray8, cv_checker8}, {15, 2, cv_rgb15, cv_rgb15_double},
        {16, 2, cv_rgb16, cv_rgb16_double}, {24, 4, cv_rgb32, cv_rgb32_double},
    };
    // every byte varying, white in the top-left corner, flags in the top byte of some pixels
    std::vector<uint32_t> frame(pix_frame_pixels);
    for (uint32_t i = 0; i < frame.size(); ++i) {
        const uint32_t x = i % pix_frame_w, y = i / pix_frame_w;
        frame[i] = ((x * 7 + y) & 255) | ((y * 3 + x) & 255) << 8 | ((x ^ y) & 255) << 16 | (x % 5 ? 0 : 0x0f000000u);
    }
    frame[0] = 0xffffff;
    for (auto& c : cases) {
        ts_xserver_guard g;
        std::string why;
        ASSERT_TRUE(ts_start_xvfb(&g.xs, c.depth, {}, &why)) << why;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        for (int mode = 1; mode <= 4; ++mode) {
            const std::string what = "depth " + std::to_string(c.depth) + " mode " + std::to_string(mode);
            ASSERT_EQ(vid_test_init_answered(std::to_string(mode) + "\n"), 0) << what;
            EXPECT_EQ(vid_bytes_pp, c.bytes_pp) << what;
            EXPECT_EQ(vid_converter, mode % 2 ? c.normal : c.doubled) << what;
            EXPECT_EQ(vid_out_w, mode % 2 ? 320 : 640);
            EXPECT_EQ(vid_use_shm, mode >= 3);
            vid_update(frame.data());
            expect_window_shows(frame, what);
            if (c.depth == 8) {
                // greys of 96 (normal) or reds of 64 and a green/blue grid from 128, also on the server
                const struct { int normal, i; unsigned r, g, b; } known[] = {
                    {1, 95, 64852, 64852, 64852}, {1, 96, 0, 0, 0}, {0, 63, 64511, 0, 0}, {0, 128, 0, 0, 0},
                    {0, 255, 0, 65535, 65535}};
                for (auto& k : known) {
                    XColor q;
                    q.pixel = static_cast<unsigned long>(k.i);
                    XQueryColor(vid_display, vid_colormap, &q);
                    if (k.normal == mode % 2) {
                        const XColor& v = vid_colors[k.i];
                        EXPECT_EQ(std::vector<unsigned>({v.red, v.green, v.blue, q.red / 256u, q.green / 256u, q.blue / 256u}),
                                  std::vector<unsigned>({k.r, k.g, k.b, k.r >> 8, k.g >> 8, k.b >> 8}))
                            << what << " entry " << k.i;
                    }
                }
            } else {
                EXPECT_EQ(vid_colormap, 0UL);
            }
            const int segment = vid_use_shm ? vid_shminfo.shmid : -1;
            shmid_ds ds;
            if (segment >= 0) {
                ASSERT_EQ(shmctl(segment, IPC_STAT, &ds), 0);
                EXPECT_TRUE(ds.shm_perm.mode & SHM_DEST) << "marked for removal while in use";
            }
            vid_close();
            EXPECT_EQ(vid_display, nullptr);
            if (segment >= 0) {
                EXPECT_NE(shmctl(segment, IPC_STAT, &ds), 0) << what << ": segment left behind";
            }
        }
    }
}

TEST(VideoWindow, MissingSharedMemoryOrConverterIsRefused)
{
    std::string why;
    {
        ts_xserver_guard g;
        ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {"-extension", "MIT-SHM"}, &why)) << why;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        EXPECT_EQ(vid_test_init_answered("3\n"), 2);
        EXPECT_EQ(vid_display, nullptr) << "a failed set-up releases the display";
        EXPECT_EQ(vid_test_init_answered("4\n"), 2);
        EXPECT_EQ(vid_init_size(320, 240, 3), 2) << "Xvfb has no DGA";
    }
    {
        ts_xserver_guard g;
        ASSERT_TRUE(ts_start_xvfb(&g.xs, 30, {}, &why)) << why;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        vid_set_converter(9);
        EXPECT_EQ(vid_init_size(320, 240, 1), 2) << "no converter for depth 30";
        EXPECT_EQ(vid_converter, cv_rgb32) << "the converter is kept";
        EXPECT_EQ(vid_display, nullptr);
    }
}

// Other keys are dropped, the events after an Escape stay queued, and its release counts too. A
// key sent the moment the window is created is kept: keys are selected before it is mapped.
TEST(VideoWindow, EscapeIsTheOnlyKeyThatCountsFromTheWindowsFirstMoment)
{
    if (!ts_have_program("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    setenv("DISPLAY", g.xs.display().c_str(), 1);
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
        send_escape(d, e.xcreatewindow.window);
        int st = 0;
        waitpid(pid, &st, 0);
        ASSERT_TRUE(WIFEXITED(st));
        EXPECT_EQ(WEXITSTATUS(st), 1) << "run " << run << ": the Escape sent at creation was lost";
    }
    XCloseDisplay(d);
}

// On the second screen of a server (depth 16; the first is 24), where the display name points.
TEST(VideoWindow, MenuTextAndFlags)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {"-screen", "1", "800x600x16"}, &why)) << why;
    setenv("DISPLAY", (g.xs.display() + ".1").c_str(), 1);
    const struct { int res, flags; const char* input; bool asks; int shm, doubled, out_h; } table[] = {
        {1, 1, "", false, 0, 0, 240},      // mode 1 without asking
        {1, 2, "4\n", true, 1, 1, 480},    // bit 1 alone still asks
        {2, 0, " +2 x", true, 0, 1, 400},  // "%d" rules: white space and a sign; 320x200
    };
    for (auto& t : table) {
        ASSERT_TRUE(vid_test_answer(t.input));
        testing::internal::CaptureStdout();
        const int r = vid_init(t.res, t.flags);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(r, 0) << t.flags;
        EXPECT_EQ(out, !t.asks ? "" : t.res == 1 ? ts_mode_menu : std::string(ts_mode_menu).replace(26, 3, "200"));
        EXPECT_EQ(vid_use_shm, t.shm);
        EXPECT_EQ(vid_doubled, t.doubled);
        EXPECT_EQ(vid_out_h, t.out_h);
        EXPECT_EQ(vid_depth, 16) << "not the default screen's depth";
        vid_close();
    }
    EXPECT_EQ(vid_init(3, 1), 1);
    EXPECT_EQ(vid_init(0, 1), 1);
}

// Bad answers are refused before any connection to the display: DISPLAY points at a socket of
// our own, which must see no connection (and a good answer, the control, does connect).
TEST(VideoWindow, BadAnswersNeverReachTheDisplay)
{
    mkdir("/tmp/.X11-unix", 01777);
    int n = 4000 + getpid() % 1000;
    std::string path;
    do path = "/tmp/.X11-unix/X" + std::to_string(++n);
    while (access(path.c_str(), F_OK) == 0 || access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0);
    const int lfd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << path;
    ASSERT_EQ(listen(lfd, 4), 0);
    setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
    auto connection_seen = [&](int ms) {
        pollfd p{lfd, POLLIN, 0};
        return poll(&p, 1, ms) > 0;
    };
    for (const char* input : {"0\n", "7\n", "word\n", "", "-1\n", "99999999999999999999\n"}) {
        EXPECT_EQ(vid_test_init_answered(input), 1) << input;
        EXPECT_FALSE(connection_seen(0)) << "answer '" << input << "' connected";
    }
    const pid_t child = fork();   // hangs in the connection, and is killed
    if (child == 0) _exit(vid_test_answer("1\n") ? vid_init_size(320, 240, 0) : 0);
    EXPECT_TRUE(connection_seen(5000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(lfd);
    unlink(path.c_str());
    EXPECT_EQ(vid_test_init_answered("1\n"), 1) << "nothing listening";
}
