// The window modes against private Xvfb servers: set-up by depth, what reaches the screen,
// colormaps, MIT-SHM refusal, the Escape poll and the menu's answers.
#include <gtest/gtest.h>

#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"
#include "tests/video/vid_answer.h"
#include "video/vid.h"
#include "video/vid_internal.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A 320x240 frame with every byte varying, white in the top-left corner and flags in the top
// byte of some pixels.
std::vector<uint32_t> test_frame()
{
    std::vector<uint32_t> f(320 * 240);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            f[y * 320 + x] = ((x * 7 + y) & 255) | ((y * 3 + x) & 255) << 8 | ((x ^ y) & 255) << 16 | (x % 5 == 0 ? 0x0f000000u : 0);
    f[0] = 0xffffff;
    return f;
}

// What the output should hold: every frame row converted into row y * scale of a zeroed image.
std::vector<uint8_t> expected_image(const std::vector<uint32_t>& frame, int pitch)
{
    std::vector<uint8_t> img(static_cast<size_t>(pitch) * vid_out_h + 64, 0);
    for (int y = 0; y < vid_out_h; y += vid_scale)
        vid_convert_line(&img[static_cast<size_t>(y) * pitch], &frame[320 * (y / vid_scale)], 320, pitch);
    return img;
}

unsigned long native_pixel(const std::vector<uint8_t>& img, int pitch, int x, int y)
{
    const uint8_t* p = &img[static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * vid_bytes_pp];
    if (vid_bytes_pp == 1) return p[0];
    if (vid_bytes_pp == 2) return p[0] | p[1] << 8;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned long>(p[3]) << 24;
}

// Reads the window back and compares every pixel's value in the visual's depth.
void expect_window_shows(const std::vector<uint32_t>& frame, const char* what)
{
    XImage* got = XGetImage(vid_display, vid_window, 0, 0, static_cast<unsigned>(vid_out_w),
                            static_cast<unsigned>(vid_out_h), AllPlanes, ZPixmap);
    ASSERT_NE(got, nullptr) << what;
    int pitch = vid_out_w * vid_bytes_pp;
    std::vector<uint8_t> want = expected_image(frame, pitch);
    unsigned long mask = vid_depth >= 32 ? 0xffffffffUL : (1UL << vid_depth) - 1;
    int bad = 0;
    for (int y = 0; y < vid_out_h && bad < 5; ++y)
        for (int x = 0; x < vid_out_w && bad < 5; ++x) {
            unsigned long w = native_pixel(want, pitch, x, y) & mask, g = XGetPixel(got, x, y) & mask;
            if (w != g) {
                ++bad;
                ADD_FAILURE() << what << " pixel (" << x << "," << y << ") want " << std::hex << w << " got " << g;
            }
        }
    XDestroyImage(got);
}

struct DepthCase { int depth, bytes_pp; vid_row_converter normal, doubled; };

} // namespace

TEST(VideoWindow, EveryModeAndDepthShowsTheConvertedFrame)
{
    const DepthCase cases[] = {
        {8, 1, cv_gray8, cv_checker8}, {15, 2, cv_rgb15, cv_rgb15_double},
        {16, 2, cv_rgb16, cv_rgb16_double}, {24, 4, cv_rgb32, cv_rgb32_double},
    };
    std::vector<uint32_t> frame = test_frame();
    for (const DepthCase& c : cases) {
        ts_xserver_guard g;
        std::string why;
        ASSERT_TRUE(ts_start_xvfb(&g.xs, c.depth, {}, &why)) << why;
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        for (int mode = 1; mode <= 4; ++mode) {
            std::string what = "depth " + std::to_string(c.depth) + " mode " + std::to_string(mode);
            ASSERT_EQ(vid_test_init_answered(std::to_string(mode) + "\n"), 0) << what;
            EXPECT_EQ(vid_depth, c.depth);
            EXPECT_EQ(vid_bytes_pp, c.bytes_pp) << what;
            EXPECT_EQ(vid_converter, mode % 2 ? c.normal : c.doubled) << what;
            EXPECT_EQ(vid_out_w, mode % 2 ? 320 : 640);
            EXPECT_EQ(vid_use_shm, mode >= 3);
            vid_update(frame.data());
            expect_window_shows(frame, what.c_str());
            if (c.depth == 8) {
                // handed over exactly: grey ramp of 96 (mode 1, 3), or red ramp of 64 and a
                // green/blue grid from 128 (doubled); the server keeps 8 bits per channel
                struct { int odd, i; unsigned r, g, b; } known[] = {
                    {1, 0, 0, 0, 0}, {1, 95, 64852, 64852, 64852}, {1, 96, 0, 0, 0},
                    {0, 63, 64511, 0, 0}, {0, 128, 0, 0, 0}, {0, 255, 0, 65535, 65535}};
                for (auto& k : known) {
                    if (k.odd != mode % 2) continue;
                    EXPECT_EQ(vid_colors[k.i].red, k.r) << what << " entry " << k.i;
                    EXPECT_EQ(vid_colors[k.i].green, k.g) << what << " entry " << k.i;
                    EXPECT_EQ(vid_colors[k.i].blue, k.b) << what << " entry " << k.i;
                }
                XColor q[256];
                for (int i = 0; i < 256; ++i) q[i].pixel = static_cast<unsigned long>(i);
                XQueryColors(vid_display, vid_colormap, q, 256);
                for (int i = 0; i < 256; ++i) {
                    if (mode % 2 == 0 && i >= 64 && i < 128) continue;   // not used by the colour trick
                    EXPECT_EQ(q[i].red, (vid_colors[i].red >> 8) * 257u) << what << " entry " << i;
                    EXPECT_EQ(q[i].green, (vid_colors[i].green >> 8) * 257u) << what << " entry " << i;
                    EXPECT_EQ(q[i].blue, (vid_colors[i].blue >> 8) * 257u) << what << " entry " << i;
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
        EXPECT_EQ(vid_set_converter(0), 0);
        ASSERT_EQ(vid_init_size(320, 240, 1), 0) << "the plain window still works";
        vid_close();
        // DGA is an Xorg extension: Xvfb has none, so the full-screen modes are refused
        EXPECT_EQ(vid_init_size(320, 240, 3), 2);
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

TEST(VideoWindow, EscapeIsTheOnlyKeyThatCounts)
{
    if (!ts_have_program("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    setenv("DISPLAY", g.xs.display().c_str(), 1);
    ASSERT_EQ(vid_init_size(320, 240, 1), 0);
    EXPECT_EQ(vid_escape(), 0) << "nothing pending: returns at once";
    std::string win = std::to_string(vid_window);
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    ASSERT_EQ(ts_run({"xdotool", "key", "--window", win, "a", "b"}, nullptr, 10000, env), 0);
    EXPECT_EQ(vid_escape(), 0) << "other keys are dropped";
    EXPECT_EQ(XPending(vid_display), 0);
    // xdotool sends each key's press and release to the window's creator
    ASSERT_EQ(ts_run({"xdotool", "key", "--window", win, "a", "Escape", "c"}, nullptr, 10000, env), 0);
    EXPECT_EQ(vid_escape(), 1);
    EXPECT_EQ(XPending(vid_display), 3) << "the events after the Escape press stay queued";
    EXPECT_EQ(vid_escape(), 1) << "the release of Escape counts too";
    EXPECT_EQ(vid_escape(), 0);
    vid_close();
}

TEST(VideoWindow, MenuTextAndFlags)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 16, {}, &why)) << why;
    setenv("DISPLAY", g.xs.display().c_str(), 1);
    const char* menu = ts_mode_menu;
    struct { int flags; const char* input; bool asks; int result, shm, doubled; } table[] = {
        {1, "", false, 0, 0, 0},      // mode 1 without asking
        {2, "4\n", true, 0, 1, 1},    // bit 1 alone still asks
        {0, " +2 x", true, 0, 0, 1},  // "%d" rules: white space and a sign
    };
    for (auto& t : table) {
        ASSERT_TRUE(vid_test_answer(t.input));
        testing::internal::CaptureStdout();
        int r = vid_init_size(320, 240, t.flags);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(r, t.result) << t.flags;
        EXPECT_EQ(out, t.asks ? menu : "") << t.flags;
        EXPECT_EQ(vid_use_shm, t.shm);
        EXPECT_EQ(vid_doubled, t.doubled);
        vid_close();
    }
    EXPECT_EQ(vid_init(1, 1), 0);
    EXPECT_EQ(vid_out_h, 240);
    vid_close();
    EXPECT_EQ(vid_init(2, 1), 0);
    EXPECT_EQ(vid_out_h, 200);
    vid_close();
    EXPECT_EQ(vid_init(3, 1), 1);
    EXPECT_EQ(vid_init(0, 1), 1);
}

// Bad answers are refused before any connection to the display: DISPLAY points at a socket
// of our own, which must see no connection.
TEST(VideoWindow, BadAnswersNeverReachTheDisplay)
{
    // a display number far above the ones test servers take, with no socket or lock yet
    mkdir("/tmp/.X11-unix", 01777);
    int n = 4000 + getpid() % 1000;
    std::string path;
    for (;; ++n) {
        path = "/tmp/.X11-unix/X" + std::to_string(n);
        if (access(path.c_str(), F_OK) != 0 && access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) != 0) break;
    }
    int lfd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << path;
    ASSERT_EQ(listen(lfd, 4), 0);
    setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
    auto connection_seen = [&](int ms) {
        pollfd p{lfd, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return false;
        int c = accept(lfd, nullptr, nullptr);
        if (c >= 0) close(c);
        return true;
    };
    for (const char* input : {"0\n", "7\n", "word\n", "", "-1\n", "99999999999999999999\n"}) {
        EXPECT_EQ(vid_test_init_answered(input), 1) << input;
        EXPECT_FALSE(connection_seen(0)) << "answer '" << input << "' connected";
    }
    // the control: a good answer does connect here (the child hangs there and is killed)
    pid_t child = fork();
    if (child == 0) {
        if (vid_test_answer("1\n"))
            vid_init_size(320, 240, 0);
        _exit(0);
    }
    EXPECT_TRUE(connection_seen(5000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(lfd);
    unlink(path.c_str());
    // and with nothing listening at all the display cannot be opened
    EXPECT_EQ(vid_test_init_answered("1\n"), 1);
}
