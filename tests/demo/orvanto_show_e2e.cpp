// The real program plays the whole show (no sound device: the module runs on the 70 Hz timer)
// in a window on a private X server and ends with the results text.
#include <gtest/gtest.h>

#include "demo/demo.h"
#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

#include <string>

TEST(OrvantoEndToEnd, WholeShowEndsWithTheResults)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    ts_process p;
    ASSERT_TRUE(ts_start(&p, {ts_build_path("orvanto")}, {"DISPLAY=" + g.xs.display()}, "0\n2\n"));
    ASSERT_TRUE(ts_wait(&p, 600000)) << "the show did not end";
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, std::string(ts_sound_menu) + ts_mode_menu + demo_results_text + "\n");
}
