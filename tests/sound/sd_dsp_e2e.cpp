// The real program's sound under a private X server. Its /dev/dsp is, in a private mount
// namespace, either the paced stand-in (a FIFO that sd_dspsink drains at the device's byte rate)
// or, through alsa-oss, a file whose WAV header tells what the program asked the device for.
// The host's /dev holds nothing new afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "tests/sound/sd_e2e_util.h"
#include "tests/support/ts_menus.h"
#include "tests/support/ts_xserver.h"

namespace {

struct show_run {
    int status = -1;
    std::string out;
};

// Runs orvanto with sound device `device` and the plain window mode, `dsp` at its /dev/dsp.
// `shell` is put before and `redirect` after the program in the shell's command. After
// `play_ms` the audio child is killed (`kill_child`; the show is then left to end by itself) or
// Escape is pressed.
show_run run_show(const std::string& dir, const std::string& dsp, const std::string& device, const std::string& shell,
                  const std::string& redirect, int play_ms, bool kill_child) {
    show_run r;
    ts_xserver_guard g;
    std::string why;
    EXPECT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    ts_process show;
    std::string cmd = shell + "exec '" + ts_build_path("orvanto") + "' " + redirect;
    EXPECT_TRUE(ts_start(&show, sd_e2e_private_dev(dir, dsp, cmd), env, device + "\n1\n"));
    std::string win;
    EXPECT_EQ(ts_run({"xdotool", "search", "--sync", "--name", "^Orvanto in X11$"}, &win, 20000, env), 0);
    ts_read_until(&show, "\x01", play_ms);
    if (kill_child) {
        std::string kids;
        ts_run({"cat", "/proc/" + std::to_string(show.pid) + "/task/" + std::to_string(show.pid) + "/children"}, &kids);
        EXPECT_EQ(kids.find(' '), kids.size() - 1) << "one audio child: " << kids;
        kill(std::atoi(kids.c_str()), SIGKILL);
    } else {
        ts_run({"xdotool", "key", "--window", win.substr(0, win.find('\n')), "Escape"}, nullptr, 10000, env);
    }
    EXPECT_TRUE(ts_wait(&show, kill_child ? 400000 : 20000)) << "the show did not end";
    r.status = show.status;
    r.out = show.out;
    return r;
}

// The statuses of children that ended up with the test (the audio child), waiting up to 5 s for
// the first. Called once the test's own children (server, stand-in) have been waited for.
std::vector<int> orphans() {
    std::vector<int> st;
    for (int i = 0, s; i < 500 && st.empty(); i++, usleep(10000))
        for (pid_t w; (w = waitpid(-1, &s, WNOHANG)) > 0;) st.push_back(WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s));
    return st;
}

// The stand-in: a FIFO drained at `rate` bytes a second; what it took, and whether every writer
// closed it.
struct standin {
    std::string dir, fifo;
    ts_process sink;
    long bytes = -1;
    int eof = -1;
    std::vector<uint8_t> audio;
    standin(const std::string& name, int rate) : dir(sd_e2e_scratch(name)), fifo(dir + "/dsp") {
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        EXPECT_TRUE(ts_start(&sink, {ts_build_path("tests/sound/sd_dspsink"), fifo, std::to_string(rate),
                                     dir + "/capture", "20000", "600000"}, {}, ""));
        EXPECT_TRUE(ts_read_until(&sink, "ready", 5000));
    }
    void finish() {
        EXPECT_TRUE(ts_wait(&sink, 20000));
        std::sscanf(sink.out.c_str() + std::min(sink.out.size(), sink.out.find("bytes ")), "bytes %ld eof %d", &bytes, &eof);
        audio = sd_e2e_slurp(dir + "/capture");
    }
};

bool contains(const std::vector<uint8_t>& hay, const std::string& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

std::string skip_reason() {
    if (!ts_have_program("xdotool")) return "xdotool is missing";
    return sd_e2e_namespace_skip();
}

// Device 2 is started with its standard output closed: /dev/dsp must not become descriptor 1,
// or the mode menu's text would go into the audio stream.
TEST(SdDspStandIn, DevicesPlayAndStopCleanly) {
    if (std::string why = skip_reason(); !why.empty()) GTEST_SKIP() << why;
    std::vector<std::string> dev = sd_e2e_dev_names();
    struct row { const char* device; int rate, frame, silence; const char* shell; };
    for (const row& w : {row{"2", 128000, 4, 0, ">&-"}, row{"1", 21700, 1, 128, ""}}) {
        standin d(std::string("show") + w.device, w.rate);
        show_run r = run_show(d.dir, d.fifo, w.device, "", w.shell, 1500, false);
        d.finish();
        EXPECT_EQ(r.status, 1) << w.device;  // Escape
        EXPECT_EQ(r.out, w.frame == 1 ? std::string(ts_sound_menu) + ts_mode_menu + "Juu-sano.\n" : "") << w.device;
        EXPECT_EQ(d.eof, 1) << w.device;  // the parent closed the device and the child left
        EXPECT_EQ(d.bytes, (long)d.audio.size());
        EXPECT_GT(d.bytes, 0);
        EXPECT_EQ(d.bytes % w.frame, 0) << w.device;
        EXPECT_FALSE(contains(d.audio, "Select your") || contains(d.audio, "Internal window")) << w.device;
        long loud = 0;
        for (size_t i = 0; i + w.frame <= d.audio.size(); i += w.frame / 2 + 1)
            loud += w.frame == 4 ? (d.audio[i] | d.audio[i + 1] << 8) != 0 : d.audio[i] != w.silence;
        EXPECT_GT(loud, (long)d.audio.size() / (4 * w.frame)) << "the module does not play on device " << w.device;
        EXPECT_EQ(orphans(), std::vector<int>{1}) << "the audio child did not leave on the end marker";
    }
    EXPECT_EQ(sd_e2e_dev_names(), dev) << "the sound tests changed the host's /dev";
}

// alsa-oss answers the ioctls and writes what the device was set to into a WAV header. It
// recognises /dev/dsp by its device number (major 14, minor 3), so an inert node of ours stands
// there. The file is limited to 32 KB: past it the device's writes fail, which paces the child.
TEST(SdDspAlsaOss, DevicesAskForTheirFormats) {
    const std::string aoss = "/usr/lib/x86_64-linux-gnu/libaoss.so";
    if (std::string why = skip_reason(); !why.empty()) GTEST_SKIP() << why;
    if (access(aoss.c_str(), R_OK) != 0) GTEST_SKIP() << "alsa-oss is not installed (" << aoss << ")";
    std::vector<std::string> dev = sd_e2e_dev_names();
    struct row { const char* answer; int channels, rate, bits; };
    for (const row& w : {row{"1", 1, 21700, 8}, row{"2", 2, 32000, 16}}) {
        std::string dir = sd_e2e_scratch(std::string("aoss") + w.answer), node = dir + "/dspnode", wav = dir + "/out.wav";
        ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0600, makedev(14, 3)), 0);
        std::ofstream(dir + "/.asoundrc") << "pcm.dsp0 { type file; slave.pcm \"null\"; file \"" << wav
                                          << "\"; format \"wav\" }\n";
        show_run r = run_show(dir, node, w.answer, "trap '' XFSZ; ulimit -f 64; export HOME='" + dir + "' LD_PRELOAD='" +
                              aoss + "'; ", "", 500, false);
        EXPECT_EQ(r.status, 1) << r.out;
        orphans();
        std::vector<uint8_t> h = sd_e2e_slurp(wav);
        ASSERT_GE(h.size(), 44u) << w.answer;
        auto u16 = [&](int at) { return h[at] | h[at + 1] << 8; };
        EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
        EXPECT_EQ(u16(20), 1);  // PCM
        EXPECT_EQ(u16(22), w.channels) << w.answer;
        EXPECT_EQ(u16(24) | u16(26) << 16, w.rate) << w.answer;
        EXPECT_EQ(u16(34), w.bits) << w.answer;
    }
    EXPECT_EQ(sd_e2e_dev_names(), dev) << "the sound tests changed the host's /dev";
}

// The whole show (about three minutes): the audio child is killed during stage 1; the song goes
// on without sound on the timer and the show ends normally with its results.
TEST(SdDspStandIn, ShowOutlivesItsAudioChild) {
    if (std::string why = skip_reason(); !why.empty()) GTEST_SKIP() << why;
    standin d("whole", 128000);
    show_run r = run_show(d.dir, d.fifo, "2", "", "", 3000, true);
    d.finish();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Lumikuun kisojen tulokset\n"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("talvella.\n\n")) << r.out;
    EXPECT_EQ(d.eof, 1);
    EXPECT_GT(d.bytes, 0);
    EXPECT_TRUE(orphans().empty()) << "a process outlived the show";
}

}  // namespace
