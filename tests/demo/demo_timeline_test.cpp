// The show's timeline. First its small parts: the clock's rounding and pacing, the times handed
// to the effects, the beat counter's reset, the sync handlers and the texts. Then the whole show
// on the headless video driver, with the show's own module played by the test: the clock is the
// count of replay ticks played, every pass of a stage takes one tick (passes far from the points
// looked at take up to 64), and at each point a forked copy of the show is sent Escape, so one run
// collects every stage's message, the closing rules and the results text.
#include <gtest/gtest.h>

#include "assets/emb.h"
#include "demo/clk.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "demo/demo_stages.h"
#include "demo/demo_sync.h"
#include "fx/fx_blobs.h"
#include "picture/iff.h"
#include "sound/pt.h"
#include "sound/sd_device.h"
#include "sound/sync.h"
#include "video/vid.h"
#include "video/vid_null.h"

#include <sys/mman.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
    EXPECT_TRUE(clk_base == before.tv_sec || clk_base == before.tv_sec + 1) << clk_base;
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
    for (int32_t c : {0, 1, 2, 3, 4, 6, 7, 3000000, 2147483647}) EXPECT_EQ(demo_curtain_time(c), c ? (c - 1) / 3 : 0) << c;
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

// The beat settles from 2; the handlers are the kick (blobs grow by 10) and the beat (counted).
TEST(DemoSync, BeatSettlesFromTwoAndHandlersKickThenBeat)
{
    for (auto [before, after] : {std::pair{0, 0}, {1, 1}, {2, 0}, {7, 0}, {-3, -3}}) {
        sync_beat = before;
        demo_beat_settle();
        EXPECT_EQ(sync_beat.load(), after) << before;
    }
    fx_blobs_size = 100;
    sync_beat = 0;
    demo_sync_handlers[0].callback();
    demo_sync_handlers[1].callback();
    EXPECT_EQ(fx_blobs_size.load(), 110);
    EXPECT_EQ(sync_beat.load(), 1);
}

TEST(DemoTexts, MessagesAreLatin1)
{
    EXPECT_STREQ(demo_stage_message[21], "P\xE5jerkele!");
    EXPECT_STREQ(demo_stage_message[22], "Vi\xE4 ehrit");
    EXPECT_EQ(std::strlen(demo_results_text), 620u);
}

namespace {

// The first order and row that end stage k (k = 0..21): the stage's last row is the one before.
const int kEnds[22][2] = {{0, 0}, {1, 0}, {2, 0}, {5, 0}, {5, 32}, {6, 0}, {6, 32}, {8, 0}, {9, 0}, {9, 32}, {10, 32},
                          {12, 0}, {12, 32}, {14, 0}, {14, 32}, {15, 0}, {15, 32}, {17, 0}, {17, 32}, {19, 0},
                          {19, 32}, {24, 60}};

struct escape_run {
    int32_t pos;                // the song position that armed it (the next loop test reads it)
    int status, black;          // black: the last frame presented before it was all black
    char out[704];
    int64_t frames;             // frames presented before it
    int closed, stopped;        // display closed at exit; sound stopped: 1, or 2 with the display open
};
struct frame_rec { int32_t tick, pos; uint64_t hash; int waited; };   // waited: a wait came before it
struct show_log {
    int closed, stopped;        // as escape_run's, for the show itself
    int start_near[23];         // 1 + near_share of stage k's first frame
    int escapes, frames;
    escape_run esc[48];
    frame_rec frame[20000];
};

show_log* g_log;                // shared with the show's process
int32_t g_now;                  // the clock: replay ticks played
bool g_waited;                  // a wait has played this pass's tick
int32_t g_pass_pos = -37;       // the position this pass's loop test read
int g_next;                     // the next escape point
bool g_armed, g_is_copy;        // g_is_copy: this process is a copy that was sent Escape
int64_t g_wipe_from = -1;       // frames presented when stage 22 began

// Escape points: 0 before the first row; 2k - 1 the last row of stage k and 2k the first row after
// it (k = 1..21); 43 the closing wipe. Positions as row indices, order x 64 + row.
constexpr int kPoints = 44;
int32_t row_index(int32_t pos) { return pos < 0 ? -1 : pos / 100 * 64 + pos % 100; }
int32_t point_pos(int i) { return kEnds[(i + 1) / 2][0] * 64 + kEnds[(i + 1) / 2][1] - i % 2; }
int point_stage(int i) { return i == 0 ? 0 : i == 43 ? 23 : i / 2 + 1; }   // 23: the closing wipe

// One tick, or up to 64 while the next escape point is more than a row ahead.
void advance()
{
    for (int n = 0; n < 64; ++n) {
        ++g_now;
        pt_play();
        sync_dispatch();
        if (g_next < 1 || g_next >= 43 || row_index(pt_getpos()) + 1 >= point_pos(g_next)) break;
    }
}
int32_t sim_clock() { return g_now; }
int32_t sim_wait() { return advance(), g_waited = true, g_now; }

// At its first frame, one tick into its transition, a stage still looks like the frame before it:
// the share of pixels (in 1/1000) whose channels all lie within 16 of the last frame shown.
uint32_t g_prev[pix_frame_pixels];
int g_stages_seen;
int near_share(const uint32_t* f)
{
    int near = 0;
    for (int i = 0; i < pix_frame_pixels; ++i) {
        bool close = true;
        for (int sh = 0; sh < 24; sh += 8) close &= std::abs(int(f[i] >> sh & 255) - int(g_prev[i] >> sh & 255)) <= 16;
        near += close;
    }
    return near * 1000 / pix_frame_pixels;
}

void on_frame(const uint32_t* f)
{
    const int32_t row = row_index(g_pass_pos);
    for (; g_stages_seen < 21 && row >= point_pos(2 * g_stages_seen); ++g_stages_seen)
        if (row < point_pos(2 * g_stages_seen + 2)) g_log->start_near[g_stages_seen + 1] = 1 + near_share(f);
    std::memcpy(g_prev, f, sizeof g_prev);
    if (g_log->frames < 20000) g_log->frame[g_log->frames++] = {g_now, pt_getpos(), vid_null_hash, g_waited};
}

// Forks with the child's standard output into a pipe: 0 in the child; in the parent the child's
// output (up to `cap` bytes) in `out` and its status.
pid_t fork_reading(char* out, size_t cap, int* status)
{
    int fds[2];
    std::fflush(stdout);
    if (pipe(fds) != 0) _exit(40);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    close(fds[1]);
    size_t got = 0;
    for (ssize_t n; got < cap - 1 && (n = read(fds[0], out + got, cap - 1 - got)) > 0;) got += n;
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return pid;
}

// Escape in a copy of the show, whose end is recorded; this one goes on.
int sim_poll()
{
    if (g_armed) {
        g_armed = false;
        escape_run& r = g_log->esc[g_log->escapes++];
        r.frames = vid_null_frames;
        r.black = std::all_of(vid_null_last, vid_null_last + pix_frame_pixels, [](uint32_t p) { return !(p & 0xffffff); });
        if (fork_reading(r.out, sizeof r.out, &r.status) == 0) return g_is_copy = true, 1;
        ++g_next;
    }
    if (!g_waited) advance();
    g_waited = false;
    const int32_t pos = g_pass_pos = pt_getpos();
    if (g_wipe_from < 0 && pos > 2459) g_wipe_from = vid_null_frames;
    if (g_next < 43 ? row_index(pos) >= point_pos(g_next) : g_next == 43 && g_wipe_from >= 0 && vid_null_frames > g_wipe_from + 1) {
        g_armed = true;
        g_log->esc[g_log->escapes].pos = pos;
    }
    return 0;
}

// The show as main starts it, on the test's clock; it ends through demo_exit.
[[noreturn]] void run_show()
{
    alarm(200);
    sd_device.set_sample = [](int, const int8_t*, uint32_t, uint32_t, uint32_t, int) { return 1; };
    sd_device.set_channels = sd_device.select_channel = sd_device.set_volume = sd_device.set_pan =
        sd_device.set_instrument = sd_device.set_period = sd_device.set_offset = [](int32_t) {};
    if (vid_init(1, 0) != 0 || vid_escape() != 0) _exit(41);   // headless: no key until the test says
    atexit([] { (g_is_copy ? g_log->esc[g_log->escapes - 1].closed : g_log->closed) = !vid_null_open; });
    sd_devnum = 1;   // a device whose stop the exit path must call, with the display still open
    sd_device.stop = [] { (g_is_copy ? g_log->esc[g_log->escapes - 1].stopped : g_log->stopped) = 1 + vid_null_open; };
    vid_null_on_frame = on_frame;
    for (const sync_handler* h = demo_sync_handlers; h->callback; ++h) sync_register(h);
    pt_start_sized(emb_module, emb_module_size);
    iff_decode_n(emb_wipe_1, emb_wipe_1_size, demo_pic_b, demo_pic_b);
    iff_decode_n(emb_pic_title, emb_pic_title_size, demo_pic_a, demo_pal_a);
    pix_expand_palette(demo_pic_a, demo_pal_a, demo_frame_c, pix_frame_pixels);
    demo_clock = sim_clock;
    demo_wait = sim_wait;
    g_armed = true;   // Escape at stage 0's first poll, before the first row
    g_log->esc[0].pos = pt_getpos();
    vid_null_escape_hook = sim_poll;
    demo_run_stages();
}

uint64_t picture_hash(const uint8_t* pic, uint32_t size)
{
    std::vector<uint8_t> px(pix_frame_pixels), pal(768);
    EXPECT_EQ(iff_decode_n(pic, size, px.data(), pal.data()), -1) << iff_msg;
    std::vector<uint32_t> f(pix_frame_pixels);
    pix_expand_palette(px.data(), pal.data(), f.data(), pix_frame_pixels);
    return vid_null_frame_hash(f.data(), pix_frame_pixels);
}

} // namespace

TEST(DemoTimeline, EveryStageEndsAtItsRowWithItsMessageAndTheShowEndsWithTheResults)
{
    void* mem = mmap(nullptr, sizeof(show_log), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    g_log = static_cast<show_log*>(mem);
    static char out[1024];
    int st = 0;
    if (fork_reading(out, sizeof out, &st) == 0) run_show();
    const show_log& log = *g_log;

    // uninterrupted, the show ends normally with the results text, the sound stopped first
    EXPECT_EQ(st, 0);
    EXPECT_EQ(std::string(out), std::string(demo_results_text) + "\n");
    EXPECT_TRUE(log.closed) << "the exit path left the display open";
    EXPECT_EQ(log.stopped, 2);

    // Escape: the message of the stage whose loop test last read the position, on each side of
    // every threshold; in the closing wipe, the normal end
    ASSERT_EQ(log.escapes, kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const escape_run& r = log.esc[i];
        const bool wipe = i == 43;
        EXPECT_TRUE(i == 0 || wipe || row_index(r.pos) == point_pos(i)) << "point " << i << " came at " << r.pos;
        EXPECT_EQ(r.status, wipe ? 0 : 1) << "point " << i;
        EXPECT_TRUE(r.closed) << "point " << i;
        EXPECT_EQ(r.stopped, 2) << "point " << i;
        EXPECT_EQ(std::string(r.out), std::string(wipe ? demo_results_text : demo_stage_message[point_stage(i)]) + "\n")
            << "point " << i << " at position " << r.pos;
        EXPECT_FALSE(i % 2 && i < 43 && r.black) << "stage " << point_stage(i) << "'s last frame is black";
    }
    // every stage but 9 draws, and starts from the frame before it: stage 10's picture begins to
    // break up at once (10 x t10), the blob trails move fast, and stage 15 shows the mirror wave
    // alone where stage 14's cross-fade has not ended
    for (int k = 1; k <= 21; ++k)
        EXPECT_TRUE(k == 9 ? log.start_near[k] == 0 : log.start_near[k] > (k == 15 ? 0 : 700)) << "stage " << k << "'s first frame";

    // the wipes of stages 1, 2 and 8 have ended in their pictures
    struct { int point; const uint8_t* pic; uint32_t size; } pictures[] = {
        {1, emb_pic_title, emb_pic_title_size}, {3, emb_pic_shadow_bg, emb_pic_shadow_bg_size},
        {15, emb_pic_shatter, emb_pic_shatter_size}};
    for (auto& p : pictures) {
        const int64_t n = log.esc[p.point].frames;
        ASSERT_GT(n, 0);
        EXPECT_EQ(log.frame[n - 1].hash, picture_hash(p.pic, p.size)) << "stage " << point_stage(p.point);
    }

    // stage 22: the end picture at once, held 280 ticks, then 256 frames of the wipe to black
    const uint64_t end_pic = picture_hash(emb_pic_end, emb_pic_end_size);
    int e = 0;
    while (e < log.frames && log.frame[e].hash != end_pic) ++e;
    ASSERT_EQ(log.frames - e, 1 + 256) << "the end picture and the wipe";
    // every frame waits for its tick but those of stage 8 and the end picture
    for (int i = 0; i < log.frames; ++i) {
        const int32_t row = row_index(log.frame[i].pos);
        EXPECT_TRUE(log.frame[i].waited || i == e || (row >= point_pos(14) && row < point_pos(16)))
            << "frame " << i << " at position " << log.frame[i].pos << " did not wait";
    }
    EXPECT_GT(log.frame[e].pos, 2459);
    EXPECT_EQ(log.frame[e + 1].tick - log.frame[e].tick, 281);
    EXPECT_EQ(log.frame[log.frames - 1].tick - log.frame[e].tick, 280 + 256);
    EXPECT_EQ(log.frame[log.frames - 1].hash, vid_null_frame_hash(std::vector<uint32_t>(pix_frame_pixels).data(), pix_frame_pixels));
    munmap(mem, sizeof(show_log));
}
