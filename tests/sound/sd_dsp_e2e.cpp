// The real program's sound under Xvfb; in a private mount namespace its /dev/dsp is a paced stand-in
// or, through alsa-oss, a node whose WAV output tells the format asked for. The host's /dev stays.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

namespace {

std::string run_out(const std::vector<std::string>& argv) {
    std::string out;
    return ts_run(argv, &out), out;
}

const std::string host_dev = run_out({"ls", "-A", "/dev"});

std::string scratch(const std::string& name) {  // an empty folder in the build tree
    std::string dir = ts_build_path("tests/sound/scratch_" + name);
    EXPECT_EQ(ts_run({"sh", "-c", "rm -rf \"$0\" && mkdir -p \"$0\"", dir}), 0);
    return dir;
}

bool cannot_run() {
    return geteuid() != 0 || !ts_have_program("xdotool") || ts_run({"unshare", "-m", "--propagation", "private", "true"}) != 0;
}

// Runs `pre` exec orvanto `post` (sound device `device`, plain window mode) in a private mount
// namespace whose /dev is a tmpfs holding the host's entries, bound in, and `dsp` at /dev/dsp.
// After `play_ms` the audio child is killed (the show then ends by itself) or Escape is pressed.
std::pair<int, std::string> run_show(const std::string& dir, const std::string& dsp, const std::string& device,
                                     const std::string& pre, const std::string& post, int play_ms, bool kill_child) {
    const char* script = R"(set -e; h="$1/hostdev"; mkdir "$h"; mount --rbind /dev "$h"; mount -t tmpfs -o mode=755 devview /dev
for e in "$h"/* "$h"/.[!.]*; do n=${e##*/}; [ -e "$e" ] || [ -L "$e" ] || continue; [ "$n" = dsp ] && continue
  if [ -L "$e" ]; then cp -P "$e" "/dev/$n"; elif [ -d "$e" ]; then mkdir "/dev/$n"; mount --rbind "$e" "/dev/$n"
  else : > "/dev/$n"; mount --bind "$e" "/dev/$n"; fi; done; : > /dev/dsp; mount --bind "$2" /dev/dsp; shift 2; eval "$1")";
    ts_xserver_guard g;
    std::string why, win, cmd = pre + "exec '" + ts_build_path("orvanto") + "' " + post;
    EXPECT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    std::vector<std::string> env = {"DISPLAY=" + g.xs.display()};
    ts_process show;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    EXPECT_TRUE(ts_start(&show, {"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh", dir, dsp, cmd}, env, device + "\n1\n"));
    EXPECT_EQ(ts_run({"xdotool", "search", "--sync", "--name", "^Orvanto in X11$"}, &win, 20000, env), 0);
    ts_read_until(&show, "\x01", play_ms);
    if (std::string kids = run_out({"cat", "/proc/" + std::to_string(show.pid) + "/task/" + std::to_string(show.pid) + "/children"}); kill_child) {
        EXPECT_EQ(kids.find(' '), kids.size() - 1) << "one audio child: " << kids;
        kill(std::atoi(kids.c_str()), SIGKILL);
    } else {
        ts_run({"xdotool", "key", "--window", win.substr(0, win.find('\n')), "Escape"}, nullptr, 10000, env);
    }
    EXPECT_TRUE(ts_wait(&show, kill_child ? 400000 : 20000)) << "the show did not end";
    return {show.status, show.out};
}

// Exit statuses of the children that ended up with the test (the audio child), waiting up to 5 s.
std::vector<int> orphans() {
    std::vector<int> st;
    for (int i = 0, s; i < 500 && st.empty(); i++, usleep(10000))
        for (pid_t w; (w = waitpid(-1, &s, WNOHANG)) > 0;) st.push_back(WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s));
    return st;
}

// The stand-in: a FIFO (its buffer cut to a page, as a device's fragments) that a thread drains at
// `rate` bytes a second after a first page, keeping every byte, until every writer has closed it.
struct standin {
    std::string dir, fifo;
    std::vector<uint8_t> audio;
    bool eof = false;
    std::thread drain;
    standin(const std::string& name, double rate) : dir(scratch(name)), fifo(dir + "/dsp") {
        int fd = mkfifo(fifo.c_str(), 0600) == 0 ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        EXPECT_GE(fcntl(fd, F_SETPIPE_SZ, 4096), 0);
        drain = std::thread([this, fd, rate] {
            pollfd p = {fd, POLLIN, 0};
            bool opened = poll(&p, 1, 20000) > 0;  // before a writer opens it, poll reports nothing
            auto t0 = std::chrono::steady_clock::now();
            auto secs = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
            for (uint8_t buf[4096]; opened && !eof && secs() < 600;) {
                double allowed = 4096 + rate * secs() - double(audio.size());
                ssize_t r = allowed < 1 ? -1 : read(fd, buf, std::min(size_t(allowed), sizeof buf));
                if (r > 0) audio.insert(audio.end(), buf, buf + r);
                if (!(eof = r == 0) && r < 0) usleep(2000);
            }
            close(fd);
        });
    }
};

// Device 2 starts with standard output closed: /dev/dsp must not take descriptor 1 (menu text).
TEST(SdDspStandIn, DevicesPlayAndStopCleanly) {
    if (cannot_run()) GTEST_SKIP() << "needs root, xdotool and a private mount namespace (unshare -m)";
    for (auto [device, rate, frame, silence, post] : {std::tuple{"2", 128000, 4, 0, ">&-"}, {"1", 21700, 1, 128, ""}}) {
        standin d(std::string("show") + device, rate);
        auto [status, out] = run_show(d.dir, d.fifo, device, "", post, 1500, false);
        d.drain.join();
        EXPECT_EQ(status, 1) << device;  // Escape
        EXPECT_EQ(out, frame == 1 ? std::string(ts_sound_menu) + ts_mode_menu + "Juu-sano.\n" : "") << device;
        EXPECT_TRUE(d.eof && d.audio.size() % frame == 0) << device;  // the parent closed the device, the child left
        EXPECT_EQ(std::string(d.audio.begin(), d.audio.end()).find("Select your"), std::string::npos) << device;
        EXPECT_LT(std::count(d.audio.begin(), d.audio.end(), silence), long(d.audio.size()) / 2) << device;  // it plays
        EXPECT_EQ(orphans(), std::vector<int>{1}) << "the audio child did not leave on the end marker";
    }
    EXPECT_EQ(run_out({"ls", "-A", "/dev"}), host_dev) << "the sound tests changed the host's /dev";
}

// alsa-oss knows /dev/dsp by its number (14, 3): an inert node stands there. The WAV file is limited
// to 32 KB: past it the device's writes fail, which paces the child.
TEST(SdDspAlsaOss, DevicesAskForTheirFormats) {
    const std::string aoss = "/usr/lib/x86_64-linux-gnu/libaoss.so";
    if (cannot_run()) GTEST_SKIP() << "needs root, xdotool and a private mount namespace (unshare -m)";
    if (access(aoss.c_str(), R_OK) != 0) GTEST_SKIP() << "alsa-oss is not installed (" << aoss << ")";
    for (auto [answer, channels, rate, bits] : {std::tuple{"1", 1, 21700, 8}, {"2", 2, 32000, 16}}) {
        std::string dir = scratch(std::string("aoss") + answer), node = dir + "/dspnode", wav = dir + "/out.wav";
        ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0600, makedev(14, 3)), 0);
        std::ofstream(dir + "/.asoundrc") << "pcm.dsp0 { type file; slave.pcm \"null\"; file \"" << wav << "\"; format \"wav\" }\n";
        auto [status, out] = run_show(dir, node, answer, "trap '' XFSZ; ulimit -f 64; export HOME='" + dir + "' LD_PRELOAD='" + aoss + "'; ",
                                      "", 500, false);
        EXPECT_EQ(status, 1) << out;
        orphans();
        std::ifstream f(wav, std::ios::binary);
        std::vector<uint8_t> h{std::istreambuf_iterator<char>(f), {}};
        ASSERT_GE(h.size(), 44u) << answer;
        auto u16 = [&](int at) { return h[at] | h[at + 1] << 8; };
        EXPECT_EQ((std::vector<int>{h[0], u16(20), u16(22), u16(24) | u16(26) << 16, u16(34)}),
                  (std::vector<int>{'R', 1, channels, rate, bits})) << answer;  // RIFF, PCM
    }
    EXPECT_EQ(run_out({"ls", "-A", "/dev"}), host_dev) << "the sound tests changed the host's /dev";
}

// The whole show (3 minutes), its audio child killed in stage 1: it ends normally, with its results.
TEST(SdDspStandIn, ShowOutlivesItsAudioChild) {
    if (cannot_run()) GTEST_SKIP() << "needs root, xdotool and a private mount namespace (unshare -m)";
    standin d("whole", 128000);
    auto [status, out] = run_show(d.dir, d.fifo, "2", "", "", 3000, true);
    d.drain.join();
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(out.find("Lumikuun kisojen tulokset\n") != std::string::npos && out.ends_with("talvella.\n\n")) << out;
    EXPECT_TRUE(d.eof && !d.audio.empty());
    EXPECT_TRUE(orphans().empty()) << "a process outlived the show";
}

}  // namespace
