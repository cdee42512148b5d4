// The test harness itself: private servers come up at the asked depth and go away again.
#include <gtest/gtest.h>
// Xlib after gtest: its Bool and None macros clash with gtest names.
#include <X11/Xlib.h>
#include <signal.h>

#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

TEST(TestXServer, XvfbComesUpAtEachDepthAndStops)
{
    for (int depth : {8, 15, 16, 24}) {
        ts_xserver_guard g;
        std::string why;
        ASSERT_TRUE(ts_start_xvfb(&g.xs, depth, {}, &why)) << why;
        Display* d = XOpenDisplay(g.xs.display().c_str());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(DefaultDepth(d, DefaultScreen(d)), depth);
        XCloseDisplay(d);
        pid_t pid = g.xs.pid;
        ts_stop_xserver(&g.xs);
        EXPECT_EQ(kill(pid, 0), -1) << "server still running after stop";
    }
}

TEST(TestXServer, XorgDummyOffersVidModeAndDga)
{
    ts_xserver_guard g;
    std::string why;
    if (!ts_start_xorg_dummy(&g.xs, 16, {}, {}, &why))
        GTEST_SKIP() << why;
    std::string out;
    ASSERT_EQ(ts_run({"xdpyinfo", "-display", g.xs.display()}, &out), 0);
    EXPECT_NE(out.find("XFree86-VidModeExtension"), std::string::npos);
    EXPECT_NE(out.find("XFree86-DGA"), std::string::npos);
    EXPECT_NE(out.find("depth of root window:    16 planes"), std::string::npos);
}

TEST(TestProcess, FeedsInputAndCollectsOutputAndStatus)
{
    ts_process p;
    ASSERT_TRUE(ts_start(&p, {"/bin/sh", "-c", "read a; echo got:$a; echo err >&2; exit 3"}, {}, "hello\n"));
    ASSERT_TRUE(ts_wait(&p, 10000));
    EXPECT_EQ(p.out, "got:hello\n");
    EXPECT_EQ(p.err, "err\n");
    EXPECT_EQ(p.status, 3);

    ts_process q;
    ASSERT_TRUE(ts_start(&q, {"sleep", "30"}, {}, ""));
    EXPECT_FALSE(ts_wait(&q, 200)); // killed on time-out
    EXPECT_TRUE(q.ended);
}
