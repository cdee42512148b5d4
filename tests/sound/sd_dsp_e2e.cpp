// The show's sound steps in a process of their own, heard through a /dev/dsp of ours: a FIFO
// that the stand-in reader drains at the device's byte rate, mounted over /dev/dsp in a private
// mount namespace; and once per device through alsa-oss, whose WAV header tells what the
// program asked the device for.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/sound/sd_e2e_util.h"
#include "tests/support/ts_process.h"

namespace {

const char* const aoss_lib = "/usr/lib/x86_64-linux-gnu/libaoss.so";

struct standin_run {
    long bytes = -1;
    int eof = -1;
    int pos = -1000, ticks = -1;
    std::vector<uint8_t> audio;
    std::vector<int> orphans;
};

// Runs sd_showtool for `ms` with the device answer `answer`, /dev/dsp drained at `rate`.
standin_run run_standin(const std::string& answer, int rate, int ms) {
    standin_run r;
    std::string dir = sd_e2e_scratch("standin" + answer);
    std::string fifo = dir + "/dsp", capture = dir + "/capture";
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    ts_process sink;
    EXPECT_TRUE(ts_start(&sink, {ts_build_path("tests/sound/sd_dspsink"), fifo, std::to_string(rate),
                                 capture, "5000", std::to_string(ms + 5000)}, {}, ""));
    EXPECT_TRUE(ts_read_until(&sink, "ready", 5000));
    ts_process show;
    std::string cmd = "mount --bind '" + fifo + "' /dev/dsp && exec '" +
                      ts_build_path("tests/sound/sd_showtool") + "' " + std::to_string(ms);
    EXPECT_TRUE(ts_start(&show, {"unshare", "-m", "--propagation", "private", "sh", "-c", cmd}, {},
                         answer + "\n"));
    EXPECT_TRUE(ts_wait(&show, ms + 10000)) << show.err;
    EXPECT_EQ(show.status, 0) << show.out << show.err;
    EXPECT_TRUE(ts_wait(&sink, 10000)) << sink.err;
    std::sscanf(show.out.c_str() + show.out.find("pos "), "pos %d ticks %d", &r.pos, &r.ticks);
    std::sscanf(sink.out.c_str() + sink.out.find("bytes "), "bytes %ld eof %d", &r.bytes, &r.eof);
    r.audio = sd_e2e_slurp(capture);
    r.orphans = sd_e2e_reap_orphans(3000);
    return r;
}

TEST(SdDspStandIn, DspDevicesFollowTheDevice) {
    std::string why = sd_e2e_namespace_skip();
    if (!why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(sd_e2e_ensure_placeholder());
    // 16-bit stereo at 128000 bytes a second: 640 frames a tick at 125 BPM; 8-bit mono: 434 bytes
    struct row { const char* answer; int rate, record; };
    const row rows[] = {{"2", 128000, 2560}, {"1", 21700, 434}};
    const int ms = 1500;
    for (const row& w : rows) {
        standin_run r = run_standin(w.answer, w.rate, ms);
        EXPECT_EQ(r.eof, 1) << w.answer;  // every writer closed: the parent at the stop, the child at the marker
        EXPECT_EQ(r.bytes, (long)r.audio.size());
        EXPECT_EQ(r.bytes % w.record, 0) << w.answer;  // whole records only, up to the end
        // Played for `ms` at the device's pace, with at most a page and two records ahead.
        EXPECT_GT(r.bytes, w.rate * (ms / 1000.0) * 0.85) << w.answer;
        EXPECT_LT(r.bytes, w.rate * (ms / 1000.0) * 1.1 + 4096 + 3 * w.record) << w.answer;
        // The song position follows what the device took: one tick per record, speed 6.
        EXPECT_NEAR(r.pos, (r.bytes / w.record - 1) / 6 % 64, 2) << w.answer;
        long loud = 0;
        if (w.answer[0] == '2')
            for (size_t i = 0; i + 1 < r.audio.size(); i += 2) loud += (r.audio[i] | r.audio[i + 1] << 8) != 0;
        else
            for (uint8_t b : r.audio) loud += b != 128;  // unsigned 8-bit: 128 is silence
        EXPECT_GT(loud, (long)r.audio.size() / 8) << w.answer;  // the module plays from the first records on
        EXPECT_GT(r.ticks, 0);
        EXPECT_EQ(r.orphans, std::vector<int>{1}) << w.answer;  // the audio child read the end marker and left
    }
}

TEST(SdDspStandIn, NoSoundRunsOnTheTimer) {
    ts_process show;
    ASSERT_TRUE(ts_start(&show, {ts_build_path("tests/sound/sd_showtool"), "500"}, {}, "0\n"));
    ASSERT_TRUE(ts_wait(&show, 10000));
    EXPECT_EQ(show.status, 0);
    int pos = -1000, ticks = -1;
    ASSERT_NE(show.out.find("pos "), std::string::npos) << show.out;
    std::sscanf(show.out.c_str() + show.out.find("pos "), "pos %d ticks %d", &pos, &ticks);
    EXPECT_GT(ticks, 0);
    EXPECT_NEAR(pos, (ticks - 1) / 6, 1);  // one replay tick per timer tick, whatever the tempo
    ts_process bad;
    ASSERT_TRUE(ts_start(&bad, {ts_build_path("tests/sound/sd_showtool"), "10"}, {}, "9\n"));
    ASSERT_TRUE(ts_wait(&bad, 10000));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Sound device failure. Exiting."), std::string::npos);
}

// alsa-oss answers the ioctls and writes what the device was set to into a WAV header. It
// recognises /dev/dsp by its device number (major 14, minor 3), so an inert node of ours is
// mounted over it; nothing opens the node itself.
TEST(SdDspAlsaOss, DevicesAskForTheirFormats) {
    std::string why = sd_e2e_namespace_skip();
    if (!why.empty()) GTEST_SKIP() << why;
    if (access(aoss_lib, R_OK) != 0) GTEST_SKIP() << "alsa-oss is not installed (" << aoss_lib << ")";
    struct row { const char* answer; int channels, rate, bits; };
    const row rows[] = {{"1", 1, 21700, 8}, {"2", 2, 32000, 16}};
    for (const row& w : rows) {
        std::string dir = sd_e2e_scratch(std::string("aoss") + w.answer);
        std::string node = dir + "/dspnode", wav = dir + "/out.wav";
        ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0600, makedev(14, 3)), 0);
        std::ofstream(dir + "/.asoundrc") << "pcm.dsp0 { type file; slave.pcm \"null\"; file \"" << wav
                                          << "\"; format \"wav\" }\n";
        std::string cmd = "mount --bind '" + node + "' /dev/dsp && exec '" +
                          ts_build_path("tests/sound/sd_showtool") + "' 100";
        ts_process show;
        ASSERT_TRUE(ts_start(&show, {"unshare", "-m", "--propagation", "private", "sh", "-c", cmd},
                             {"HOME=" + dir, std::string("LD_PRELOAD=") + aoss_lib}, std::string(w.answer) + "\n"));
        ASSERT_TRUE(ts_wait(&show, 20000));
        EXPECT_EQ(show.status, 0) << show.out << show.err;
        sd_e2e_reap_orphans(3000);
        std::vector<uint8_t> h = sd_e2e_slurp(wav);
        ASSERT_GE(h.size(), 44u) << w.answer;
        auto u16 = [&](int at) { return h[at] | h[at + 1] << 8; };
        auto u32 = [&](int at) { return (uint32_t)(u16(at) | u16(at + 2) << 16); };
        EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
        EXPECT_EQ(u16(20), 1);  // PCM
        EXPECT_EQ(u16(22), w.channels) << w.answer;
        EXPECT_EQ(u32(24), (uint32_t)w.rate) << w.answer;
        EXPECT_EQ(u16(34), w.bits) << w.answer;
        unlink(wav.c_str());  // unpaced: a large file
    }
}

}  // namespace
