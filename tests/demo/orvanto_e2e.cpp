// The real program under private X servers: the menu answers on standard input, Escape early in
// the show, refused modes and an unreachable display. (The stages one by one: timeline_e2e.)
#include <gtest/gtest.h>

#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kSoundMenu = ts_sound_menu;
const std::string kMenu = kSoundMenu + ts_mode_menu;
const std::string kRefused = "Esc pressed or mode not found. Exiting.\n";

// The shared memory segments that process `pid` created and that still exist.
int segments_of(pid_t pid)
{
    std::string out, owner;
    ts_run({"ipcs", "-m", "-p"}, &out);   // columns: shmid owner cpid lpid
    std::istringstream in(out);
    int n = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        long id = 0, cpid = 0;
        if (f >> id >> owner >> cpid && cpid == pid) ++n;
    }
    return n;
}

// Runs the program with `input` ("0\n" first: no sound device) and expects it to end by itself.
ts_process run_to_end(const std::string& input, const std::vector<std::string>& env)
{
    ts_process p;
    EXPECT_TRUE(ts_start(&p, {ts_build_path("orvanto")}, env, input));
    EXPECT_TRUE(ts_wait(&p, 20000)) << "the program did not end";
    return p;
}

} // namespace

// Without a sound device the module starts on the first timer tick, 1/70 s after the window
// appears, so a key sent a moment later lands in stage 1, which lasts the song's first order.
// A program killed with its image's segment in use leaves none behind either.
TEST(OrvantoEndToEnd, EscapeInStageOneEndsWithItsMessage)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    for (const char* mode : {"1", "3", "4", "kill"}) {
        const bool kill = mode[0] == 'k';
        ts_process p;
        ASSERT_TRUE(ts_start(&p, {ts_build_path("orvanto")}, env, std::string("0\n") + (kill ? "4" : mode) + "\n"));
        std::string win;
        ASSERT_EQ(ts_run({"xdotool", "search", "--sync", "--name", "^Orvanto in X11$"}, &win, 10000, env), 0);
        win = win.substr(0, win.find('\n'));
        EXPECT_FALSE(ts_read_until(&p, "Juu", 300)) << "the show goes on until Escape";
        EXPECT_EQ(segments_of(p.pid), mode[0] == '1' ? 0 : 1) << "the image's segment while running";
        if (kill) {
            ts_kill(&p, SIGKILL);
        } else {
            ts_run({"xdotool", "key", "--window", win, "Escape"}, nullptr, 10000, env);
        }
        ASSERT_TRUE(ts_wait(&p, 10000)) << "Escape did not end the show (mode " << mode << ")";
        if (!kill) {
            EXPECT_EQ(p.out, kMenu + "Juu-sano.\n") << mode;
            EXPECT_EQ(p.status, 1) << mode;
        }
        // the server lets go of it when the connection closes; it is gone once it has
        for (int i = 0; i < 50 && segments_of(p.pid) != 0; ++i) usleep(20000);
        EXPECT_EQ(segments_of(p.pid), 0) << "a shared memory segment outlived the program (" << mode << ")";
    }
}

TEST(OrvantoEndToEnd, RefusedModesAndNoDisplay)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 16, {"-extension", "MIT-SHM"}, &why)) << why;
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    // bad answers, a mode the server cannot give (no MIT-SHM, no DGA on Xvfb)
    for (const char* input : {"0\n", "7\n", "word\n", "", "3\n", "6\n"}) {
        ts_process p = run_to_end(std::string("0\n") + input, env);
        EXPECT_EQ(p.out, kMenu + kRefused) << input;
        EXPECT_EQ(p.status, 1) << input;
    }
    ts_process p = run_to_end("0\n1\n", {"DISPLAY=:3999"});   // no reachable display
    EXPECT_EQ(p.out, kMenu + kRefused);
    EXPECT_EQ(p.status, 1);
    // a sound answer that is none of the three (or no answer) ends the run before the mode menu
    for (const char* input : {"3\n1\n", "x\n1\n", ""}) {
        ts_process s = run_to_end(input, env);
        EXPECT_EQ(s.out, kSoundMenu + "Sound device failure. Exiting.\n") << input;
        EXPECT_EQ(s.status, 1) << input;
    }
}

// Xorg with the dummy driver has the full-screen extensions but no /dev/mem frame buffer to
// map: the program refuses the mode with the usual message instead of being ended by the DGA
// client library, and the server keeps its video mode.
TEST(OrvantoEndToEnd, FullScreenWithoutVideoMemoryIsRefused)
{
    int fd = open("/dev/mem", O_RDWR);
    if (fd >= 0) {
        close(fd);
        GTEST_SKIP() << "this machine has /dev/mem: a full-screen start would map real video memory";
    }
    ts_xserver_guard g;
    std::string why;
    if (!ts_start_xorg_dummy(&g.xs, 24, {}, {}, &why)) GTEST_SKIP() << why;
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    for (const char* input : {"5\n", "6\n"}) {
        ts_process p = run_to_end(std::string("0\n") + input, env);
        EXPECT_EQ(p.out, kMenu + kRefused) << input;
        EXPECT_EQ(p.status, 1) << input;
    }
    std::string info;
    ASSERT_EQ(ts_run({"xdpyinfo", "-display", g.xs.display()}, &info), 0);
    EXPECT_NE(info.find("800x600 pixels"), std::string::npos) << "the screen kept its mode";
}
