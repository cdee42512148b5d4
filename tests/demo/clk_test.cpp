// The demo clock's rounding, frame pacing, the beat counter, stage 0's test, the results text
// and the exit path.
#include <gtest/gtest.h>

#include "demo/clk.h"
#include "demo/demo.h"
#include "demo/demo_stages.h"
#include "demo/demo_sync.h"
#include "fx/fx_blobs.h"
#include "sound/pt.h"

#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

TEST(DemoClock, RoundsToTheNearestTickWithHalvesUp)
{
    struct { int32_t s, u, ticks; } table[] = {
        {0, 0, 0}, {0, 50000, 4},            // 3.5 ticks: an exact half goes up
        {0, 600000, 42}, {1, 0, 70},
        {1, 7142, 70}, {1, 7143, 71},        // 70.49994 and 70.50001
        {0, 7142, 0}, {0, 7143, 1},
        {2147, 483647, 150324},                 // x beyond 32 bits: widened before multiplying
    };
    for (auto& t : table) EXPECT_EQ(clk_ticks(t.s, t.u), t.ticks) << t.s << " s " << t.u << " us";
}

TEST(DemoClock, FirstReadingIsZeroAndFramesWaitForTheNextTick)
{
    clk_base = -1;
    timeval before, after;
    gettimeofday(&before, nullptr);
    EXPECT_EQ(clk_gettick(), 0);
    int32_t base = clk_base;
    EXPECT_TRUE(base == static_cast<int32_t>(before.tv_sec) || base == static_cast<int32_t>(before.tv_sec) + 1);
    int32_t t = clk_gettick();
    gettimeofday(&after, nullptr);
    int32_t lo = clk_ticks(static_cast<int32_t>(before.tv_sec) - base, static_cast<int32_t>(before.tv_usec));
    int32_t hi = clk_ticks(static_cast<int32_t>(after.tv_sec) - base, static_cast<int32_t>(after.tv_usec));
    EXPECT_GE(t, std::max(lo, 0));
    EXPECT_LE(t, hi);
    EXPECT_LE(t, 71);
    // frame_wait lets one frame through per tick
    frame_last = clk_gettick();
    int32_t a = frame_wait();
    EXPECT_NE(a, 0);
    EXPECT_EQ(frame_last, a);
    int32_t b = frame_wait();   // right after: only returns once the tick has changed
    EXPECT_GT(b, a);
    EXPECT_EQ(frame_last, b);
    EXPECT_LE(b, clk_gettick());
}

namespace {
void beat_handler(int) { sync_cb_beat(); }
} // namespace

TEST(DemoSync, BeatCounterCountsInsideASignalHandler)
{
    sync_beat = 0;
    sync_cb_beat();
    EXPECT_EQ(sync_beat.load(), 1);
    struct sigaction sa {};
    sa.sa_handler = beat_handler;
    sigemptyset(&sa.sa_mask);
    struct sigaction old;
    ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);
    for (int i = 0; i < 50; ++i) raise(SIGUSR1);
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(sync_beat.load(), 51);
    sync_beat = 0;   // main resets it
}

TEST(DemoSync, HandlerListKickThenBeat)
{
    // 17 words per record: channel, sample, untested, effect, parameter, order (lo, hi each),
    // row divisor, row remainder lo, hi, tick lo, hi
    struct { int handler, record; int32_t words[17]; } table[] = {
        {0, 0, {-1, -1, 4, 4, -1, -1, -1, -1, -1, -1, -1, -1, 4, 0, 0, 1, 1}},
        {1, 0, {-1, -1, 3, 3, -1, -1, -1, -1, -1, -1, -1, -1, 8, 0, 0, 1, 1}},
        {1, 1, {-1, -1, 5, 5, -1, -1, -1, -1, -1, -1, -1, -1, 2, 0, 0, 1, 1}},
    };
    static_assert(sizeof(sync_record) == 17 * 4);
    for (auto& t : table)
        EXPECT_EQ(0, std::memcmp(&demo_sync_handlers[t.handler].records[t.record], t.words, sizeof t.words))
            << t.handler << "/" << t.record;
    EXPECT_EQ(demo_sync_handlers[0].count, 1);
    EXPECT_EQ(demo_sync_handlers[1].count, 2);
    EXPECT_EQ(demo_sync_handlers[2].callback, nullptr);
    // the kick raises the blob size by 10 up to 450; the beat counts
    fx_blobs_size = 440;
    demo_sync_handlers[0].callback();
    EXPECT_EQ(fx_blobs_size.load(), 450);
    demo_sync_handlers[0].callback();
    EXPECT_EQ(fx_blobs_size.load(), 450);
    fx_blobs_size = 60;
    sync_beat = 0;
    demo_sync_handlers[1].callback();
    EXPECT_EQ(sync_beat.load(), 1);
    sync_beat = 0;
}

TEST(DemoStages, StageZeroWaitsForTheFirstRow)
{
    // before any module has played a row the position is -37, greater than any limit unsigned
    EXPECT_EQ(pt_getpos(), -37);
    EXPECT_TRUE(demo_song_before(500));
    EXPECT_TRUE(demo_song_before(4294967258u));
    EXPECT_FALSE(demo_song_before(4294967259u));
}

TEST(DemoResults, SixHundredTwentyBytesOfLatin1InTwentyThreeLines)
{
    const char* t = demo_results_text;
    ASSERT_EQ(std::strlen(t), 620u);
    int lines = 0;
    for (const char* p = t; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n') ++lines;
        else EXPECT_TRUE((c >= 0x20 && c < 0x7f) || c >= 0xa0) << "byte " << (p - t);
    }
    EXPECT_EQ(lines, 23);
    EXPECT_EQ(t[619], '\n');
}

TEST(DemoExit, PrintsTheMessageAndExitsWithTheStatus)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        demo_exit(7, "Viesti");   // with no display set up, closing it is a no-op
    }
    close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_EQ(out, "Viesti\n");
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 7);
}
