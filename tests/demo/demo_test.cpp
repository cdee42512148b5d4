// The timeline's small parts: the clock's rounding and pacing, the times handed to the effects,
// the beat counter's reset, the sync handler list and the texts.
#include <gtest/gtest.h>

#include "demo/clk.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "demo/demo_sync.h"
#include "fx/fx_blobs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

TEST(DemoClock, RoundsToTheNearestTickWithHalvesUp)
{
    struct { int32_t s, u, ticks; } table[] = {
        {0, 0, 0}, {0, 50000, 4},            // 3.5 ticks: an exact half goes up
        {0, 600000, 42}, {1, 0, 70},
        {1, 7142, 70}, {1, 7143, 71},        // 70.49994 and 70.50001
        {2147, 483647, 150324},              // x beyond 32 bits: widened before multiplying
    };
    for (auto& t : table) EXPECT_EQ(clk_ticks(t.s, t.u), t.ticks) << t.s << " s " << t.u << " us";
}

TEST(DemoClock, FirstReadingIsZeroAndFramesWaitForTheNextTick)
{
    alarm(10);   // a clock that never moves would hold frame_wait for ever
    clk_base = -1;
    timeval before;
    gettimeofday(&before, nullptr);
    EXPECT_EQ(clk_gettick(), 0);
    EXPECT_GE(clk_base, static_cast<int32_t>(before.tv_sec));
    EXPECT_LE(clk_base, static_cast<int32_t>(before.tv_sec) + 1);
    const int32_t t = clk_gettick();   // counts from the start of the base second
    EXPECT_GE(t, clk_ticks(static_cast<int32_t>(before.tv_sec) - clk_base, static_cast<int32_t>(before.tv_usec)));
    frame_last = t;
    const int32_t a = frame_wait(), b = frame_wait();
    EXPECT_GT(a, t);
    EXPECT_GT(b, a) << "a second wait returns only once the tick has changed";
    EXPECT_EQ(frame_last, b);
    alarm(0);
}

TEST(DemoTimes, EffectTimesFromTheClock)
{
    // the curtain: (c - 1) div 3 from c = 1 on, also where a double product would round up
    const int32_t curtain[8] = {0, 0, 0, 0, 1, 1, 1, 2};
    for (int32_t c = 0; c < 8; ++c) EXPECT_EQ(demo_curtain_time(c), curtain[c]) << c;
    for (int32_t c : {3000000, 2147483647}) EXPECT_EQ(demo_curtain_time(c), (c - 1) / 3) << c;
    struct { int32_t in; double beams, shadow; int32_t balls, shatter; } table[] = {
        {0, 0.0, 1.0, 0, 0}, {3, 0.75, 4.0, 0, 30}, {4, 1.0, 5.0, 1, 40},
        {-5, -1.25, -4.0, -1, -50},   // a time may be negative: cut toward zero
    };
    for (auto& t : table) {
        EXPECT_EQ(demo_beams_time(t.in), t.beams) << t.in;
        EXPECT_EQ(demo_shadow_time(t.in), t.shadow) << t.in;
        EXPECT_EQ(demo_balls_time(t.in), t.balls) << t.in;
        EXPECT_EQ(demo_shatter_time(t.in), t.shatter) << t.in;
    }
}

TEST(DemoSync, BeatSettlesFromTwoAndHandlersListKickThenBeat)
{
    struct { int32_t before, after; } settle[] = {{0, 0}, {1, 1}, {2, 0}, {7, 0}, {-3, -3}};
    for (auto& t : settle) {
        sync_beat = t.before;
        demo_beat_settle();
        EXPECT_EQ(sync_beat.load(), t.after) << t.before;
    }
    // per record: channel, sample, untested, effect, parameter, order (lo, hi each), row
    // divisor, row remainder lo, hi, tick lo, hi
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
    fx_blobs_size = 100;
    sync_beat = 0;
    demo_sync_handlers[0].callback();
    demo_sync_handlers[1].callback();
    EXPECT_EQ(fx_blobs_size.load(), 110);
    EXPECT_EQ(sync_beat.load(), 1);
}

TEST(DemoTexts, MessagesAndResultsAreLatin1)
{
    int umlauts = 0, rings = 0;
    for (const char* m : demo_stage_message)
        for (const char* p = m; *p; ++p) {
            umlauts += *p == '\xe4';
            rings += *p == '\xe5';
        }
    EXPECT_EQ(umlauts, 21);
    EXPECT_EQ(rings, 1);
    EXPECT_STREQ(demo_stage_message[21], "P\xE5jerkele!");
    EXPECT_STREQ(demo_stage_message[22], "Vi\xE4 ehrit");
    const char* t = demo_results_text;
    EXPECT_EQ(std::strlen(t), 620u);
    EXPECT_EQ(std::count(t, t + 620, '\n'), 23);
    EXPECT_EQ(t[619], '\n');
}

// Closed standard streams are refilled from /dev/null, in order; open ones are left alone.
TEST(DemoStart, ClosedStandardStreamsAreRefilledFromDevNull)
{
    const pid_t pid = fork();
    if (pid == 0) {
        struct stat in_before, in_after;
        fstat(0, &in_before);
        close(1);
        close(2);
        demo_std_streams();
        char link[2][64] = {};
        for (int fd = 1; fd <= 2; ++fd)
            if (readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link[fd - 1], 63) < 0) _exit(3);
        fstat(0, &in_after);
        _exit(std::strcmp(link[0], "/dev/null") || std::strcmp(link[1], "/dev/null") ? 4
              : in_before.st_ino != in_after.st_ino                                  ? 5 : 0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "status " << st;
}
