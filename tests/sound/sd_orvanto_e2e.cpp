// The real program's sound under a private X server: its /dev/dsp is the paced stand-in inside
// a private mount namespace, Escape ends the show through the exit path, and the audio child
// must have played out the pipe and left on the end marker.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/sound/sd_e2e_util.h"
#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

namespace {

// "" when the program asks for the sound device; else why the test cannot run.
std::string skip_reason() {
    if (!ts_have_program("xdotool")) return "xdotool is missing";
    if (std::string why = sd_e2e_namespace_skip(); !why.empty()) return why;
    std::string out;
    ts_run({ts_build_path("orvanto")}, &out, 10000, {"DISPLAY=:3999"});
    if (out.rfind(ts_sound_menu, 0) != 0) return "orvanto does not ask for the sound device yet";
    return "";
}

struct show_run {
    int status = -1;
    std::string out;
    long bytes = -1;
    int eof = -1;
    double seconds = 0;
    std::vector<uint8_t> audio;
    std::vector<int> orphans;
};

// Answers the sound menu with `device` and the mode menu with 1 (a plain window), lets the show
// run for `ms`, then presses Escape.
show_run run_show(const std::string& device, int rate, int ms) {
    show_run r;
    ts_xserver_guard g;
    std::string why;
    EXPECT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    std::string dir = sd_e2e_scratch("orvanto" + device);
    std::string fifo = dir + "/dsp", capture = dir + "/capture";
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    ts_process sink, show;
    std::vector<std::string> argv = {ts_build_path("orvanto")};
    if (device != "0") {
        sd_e2e_ensure_placeholder();
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        EXPECT_TRUE(ts_start(&sink, {ts_build_path("tests/sound/sd_dspsink"), fifo, std::to_string(rate), capture,
                                     "10000", std::to_string(ms + 20000)}, {}, ""));
        EXPECT_TRUE(ts_read_until(&sink, "ready", 5000));
        argv = {"unshare", "-m", "--propagation", "private", "sh", "-c",
                "mount --bind '" + fifo + "' /dev/dsp && exec '" + ts_build_path("orvanto") + "'"};
    }
    EXPECT_TRUE(ts_start(&show, argv, env, device + "\n1\n"));
    std::string win;
    EXPECT_EQ(ts_run({"xdotool", "search", "--sync", "--name", "^Orvanto in X11$"}, &win, 10000, env), 0);
    win = win.substr(0, win.find('\n'));
    ts_read_until(&show, "\x01", ms);  // let it play
    ts_run({"xdotool", "key", "--window", win, "Escape"}, nullptr, 10000, env);
    EXPECT_TRUE(ts_wait(&show, 15000)) << "Escape did not end the show";
    r.status = show.status;
    r.out = show.out;
    if (device != "0") {
        EXPECT_TRUE(ts_wait(&sink, 15000));
        std::sscanf(sink.out.c_str() + sink.out.find("bytes "), "bytes %ld eof %d seconds %lf", &r.bytes, &r.eof,
                    &r.seconds);
        r.audio = sd_e2e_slurp(capture);
    }
    r.orphans = sd_e2e_reap_orphans(device != "0" ? 5000 : 300);
    return r;
}

TEST(OrvantoSound, DevicesPlayThroughTheStandInAndStopCleanly) {
    std::string why = skip_reason();
    if (!why.empty()) GTEST_SKIP() << why;
    struct row { const char* device; int rate, frame; };
    const row rows[] = {{"2", 128000, 4}, {"1", 21700, 1}};
    for (const row& w : rows) {
        show_run r = run_show(w.device, w.rate, 3000);
        EXPECT_EQ(r.status, 1) << w.device;  // Escape
        EXPECT_EQ(r.out.rfind(ts_sound_menu, 0), 0u) << r.out;
        EXPECT_EQ(r.eof, 1) << w.device;  // the parent closed the device and the child left
        EXPECT_EQ(r.bytes, (long)r.audio.size());
        EXPECT_EQ(r.bytes % w.frame, 0) << w.device;
        // Paced by the device: about `rate` bytes a second from the first byte to the end.
        EXPECT_GT(r.bytes, w.rate * r.seconds * 0.85) << w.device;
        EXPECT_LT(r.bytes, w.rate * r.seconds + 4096 + 3 * 10664) << w.device;
        long loud = 0;
        if (w.frame == 4)
            for (size_t i = 0; i + 1 < r.audio.size(); i += 2) loud += (r.audio[i] | r.audio[i + 1] << 8) != 0;
        else
            for (uint8_t b : r.audio) loud += b != 128;
        EXPECT_GT(loud, (long)r.audio.size() / 10) << "the module does not play on device " << w.device;
        EXPECT_EQ(r.orphans, std::vector<int>{1}) << "the audio child did not leave on the end marker";
    }
    // No sound: the timer plays, and no audio child is left behind.
    show_run r = run_show("0", 0, 1000);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.orphans.empty());
}

}  // namespace
