// The real program under private X servers: the whole show to the results text, Escape (also
// with the reader of its output gone), and the refused start-ups.
#include <gtest/gtest.h>

#include "demo/demo.h"
#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

#include <unistd.h>

#include <string>
#include <vector>

static const std::string kMenus = std::string(ts_sound_menu) + ts_mode_menu;
static const std::string kRefused = "Esc pressed or mode not found. Exiting.\n";

// No sound device: the module runs on the 70 Hz timer.
TEST(OrvantoEndToEnd, WholeShowEndsWithTheResults)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    ts_process p;
    ASSERT_TRUE(ts_start(&p, {ts_build_path("orvanto")}, {"DISPLAY=" + g.xs.display()}, "0\n2\n"));
    ASSERT_TRUE(ts_wait(&p, 600000)) << "the show did not end";
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, kMenus + demo_results_text + "\n");
}

// The module starts on the first timer tick, so a key sent once the window is there lands in
// stage 0 or 1. With the reader of its output gone, the program still ends with the status of
// its exit path, not through SIGPIPE.
TEST(OrvantoEndToEnd, EscapeEndsTheShowWithTheStageMessage)
{
    if (!ts_have_program("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    const std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    for (bool reader_gone : {false, true}) {
        ts_process p;
        std::string win;
        ASSERT_TRUE(ts_start(&p, {ts_build_path("orvanto")}, env, reader_gone ? "0\n1\n" : "0\n3\n"));
        ts_run({"xdotool", "search", "--sync", "--name", "^Orvanto in X11$"}, &win, 10000, env);
        ASSERT_NE(win, "");
        EXPECT_FALSE(ts_read_until(&p, "Juu", 300)) << "the show goes on until Escape";
        ASSERT_EQ(p.out, kMenus);
        if (reader_gone) close(p.out_fd), p.out_fd = -1;
        ts_run({"xdotool", "key", "--window", win.substr(0, win.find('\n')), "Escape"}, nullptr, 10000, env);
        ASSERT_TRUE(ts_wait(&p, 10000)) << "Escape did not end the show";
        EXPECT_EQ(p.status, 1) << (reader_gone ? "reader gone" : "");
        EXPECT_TRUE(reader_gone || p.out == kMenus + "Juu-sano.\n" || p.out == kMenus + "Meinaan, sano.\n") << p.out;
    }
}

// Refused start-ups end with main's message and status 1: a mode the server lacks (no MIT-SHM),
// no display, a sound answer that is no device; and mode 5 on a server without DGA with standard
// error closed, which must not hang in the display's shutdown.
TEST(OrvantoEndToEnd, RefusedStartUps)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 16, {"-extension", "MIT-SHM"}, &why)) << why;
    const std::string bin = ts_build_path("orvanto");
    struct { std::vector<std::string> argv; std::string display, input, out; } table[] = {
        {{bin}, g.xs.display(), "0\n3\n", kMenus + kRefused},
        {{bin}, ":3999", "0\n1\n", kMenus + kRefused},
        {{bin}, g.xs.display(), "3\n1\n", std::string(ts_sound_menu) + "Sound device failure. Exiting.\n"},
        {{"/bin/sh", "-c", "exec \"$0\" 2>&-", bin}, g.xs.display(), "0\n5\n", kMenus + kRefused},
    };
    for (auto& t : table) {
        ts_process p;
        ASSERT_TRUE(ts_start(&p, t.argv, {"DISPLAY=" + t.display}, t.input));
        ASSERT_TRUE(ts_wait(&p, 10000)) << "the program hung on " << t.input;
        EXPECT_EQ(p.out, t.out) << t.input;
        EXPECT_EQ(p.status, 1) << t.input;
    }
}
