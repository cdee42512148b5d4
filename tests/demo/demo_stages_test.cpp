// The stage timeline without the real program: the times handed to the effects, the thresholds
// and messages, the beat counter's reset, the start work of stages whose threshold has passed,
// and the whole show on a short song played by the real player from a fast timer.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "assets/emb.h"
#include "demo/clk.h"
#include "demo/demo.h"
#include "demo/demo_stages.h"
#include "demo/demo_sync.h"
#include "fx/fx_balls.h"
#include "fx/fx_blobs.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"
#include "sound/sync.h"
#include "tests/demo/demo_test_util.h"
#include "tests/sound/pt_record.h"
#include "tests/support/ts_xserver.h"
#include "video/vid.h"

#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

TEST(DemoTimes, CurtainGetsTheClockOverThreeCutDown)
{
    const int32_t expect[8] = {0, 0, 0, 0, 1, 1, 1, 2};
    for (int32_t c = 0; c < 8; ++c) EXPECT_EQ(demo_curtain_time(c), expect[c]) << c;
    // (c - 1) div 3, also where a double product would round up to a whole number
    for (int32_t c : {3000000, 2147483647}) EXPECT_EQ(demo_curtain_time(c), (c - 1) / 3) << c;
}

TEST(DemoTimes, BeamsShadowBallsShatter)
{
    struct { int32_t in; double beams, shadow; int32_t balls, shatter; } table[] = {
        {0, 0.0, 1.0, 0, 0},
        {3, 0.75, 4.0, 0, 30},
        {4, 1.0, 5.0, 1, 40},
        {10001, 2500.25, 10002.0, 2500, 100010},
        {-5, -1.25, -4.0, -1, -50},   // a time may be negative: cut toward zero
    };
    for (auto& t : table) {
        EXPECT_EQ(demo_beams_time(t.in), t.beams) << t.in;
        EXPECT_EQ(demo_shadow_time(t.in), t.shadow) << t.in;
        EXPECT_EQ(demo_balls_time(t.in), t.balls) << t.in;
        EXPECT_EQ(demo_shatter_time(t.in), t.shatter) << t.in;
    }
}

TEST(DemoStages, ThresholdsEndAtTheirFirstOrderAndRow)
{
    // the first order and row that end each stage
    struct { int order, row; } ends[22] = {
        {0, 0}, {1, 0}, {2, 0}, {5, 0}, {5, 32}, {6, 0}, {6, 32}, {8, 0}, {9, 0}, {9, 32},
        {10, 32}, {12, 0}, {12, 32}, {14, 0}, {14, 32}, {15, 0}, {15, 32}, {17, 0}, {17, 32},
        {19, 0}, {19, 32}, {24, 60},
    };
    for (int k = 1; k <= 21; ++k) {
        const int32_t end = ends[k].order * 100 + ends[k].row;
        const int32_t last = ends[k].row == 0 ? (ends[k].order - 1) * 100 + 63 : end - 1;
        EXPECT_TRUE(demo_stage_goes_on(last, demo_stage_until[k])) << k;
        EXPECT_FALSE(demo_stage_goes_on(end, demo_stage_until[k])) << k;
        const int32_t first = ends[k - 1].order * 100 + ends[k - 1].row;
        EXPECT_TRUE(demo_stage_goes_on(first, demo_stage_until[k])) << k;
        // before the first row the position is -37, which unsigned has passed every threshold
        EXPECT_FALSE(demo_stage_goes_on(-37, demo_stage_until[k])) << k;
        EXPECT_FALSE(demo_stage_goes_on(2563, demo_stage_until[k])) << k;
    }
}

TEST(DemoStages, MessagesAreOneLineOfLatin1Each)
{
    // the non-ASCII letters are single Latin-1 bytes (a-umlaut 0xE4, a-ring 0xE5), not UTF-8
    int umlauts = 0, rings = 0;
    for (int k = 0; k < demo_stage_count; ++k) {
        const char* m = demo_stage_message[k];
        ASSERT_NE(m, nullptr);
        ASSERT_GT(std::strlen(m), 2u) << k;
        for (const char* p = m; *p; ++p) {
            unsigned char c = static_cast<unsigned char>(*p);
            EXPECT_TRUE((c >= 0x20 && c < 0x7f) || c == 0xe4 || c == 0xe5) << k << " byte " << int(c);
            umlauts += c == 0xe4;
            rings += c == 0xe5;
        }
    }
    EXPECT_EQ(umlauts, 21);
    EXPECT_EQ(rings, 1);
    EXPECT_STREQ(demo_stage_message[21], "P\xE5jerkele!");
    EXPECT_STREQ(demo_stage_message[22], "Vi\xE4 ehrit");
}

TEST(DemoStages, BeatCounterSurvivesAtOneAndIsResetFromTwo)
{
    struct { int32_t before, after; } table[] = {{0, 0}, {1, 1}, {2, 0}, {7, 0}, {-3, -3}};
    for (auto& t : table) {
        sync_beat = t.before;
        demo_beat_settle();
        EXPECT_EQ(sync_beat.load(), t.after) << t.before;
    }
    sync_beat = 0;
}

namespace {

std::vector<uint8_t> decoded(const uint8_t* pic, uint32_t size, size_t bytes)
{
    std::vector<uint8_t> out(bytes + 768, 0);
    std::vector<uint8_t> pal(768);
    EXPECT_EQ(iff_decode_n(pic, size, out.data(), pal.data()), -1) << iff_msg;
    out.resize(bytes);
    return out;
}

bool slot_holds(const uint8_t* slot, const std::vector<uint8_t>& pixels)
{
    return std::memcmp(slot, pixels.data(), pixels.size()) == 0;
}

} // namespace

// With the song already past every threshold, each stage does its start work and leaves at its
// first test: effects start and stop, pictures are decoded into the slots, but no pass runs.
TEST(DemoStages, PassedStagesDoTheirStartWorkOnly)
{
    for (uint32_t& p : demo_frame_c) p = 0x00123456;
    for (uint32_t& p : demo_frame_d) p = 0x00654321;
    const std::vector<uint32_t> c0(demo_frame_c, demo_frame_c + 76800);

    pt_order = 0;   // position 0: stage 0 has seen the first row
    pt_row = 0;
    demo_run_stage(0);
    pt_order = 25;  // the song's last row, where it stays
    pt_row = 63;

    demo_run_stage(1);
    demo_run_stage(2);
    EXPECT_TRUE(slot_holds(demo_pic_b, decoded(emb_wipe_2, emb_wipe_2_size, 76800)));
    EXPECT_TRUE(slot_holds(demo_pic_a, decoded(emb_pic_shadow_bg, emb_pic_shadow_bg_size, 76800)));
    EXPECT_EQ(std::vector<uint32_t>(demo_frame_c, demo_frame_c + 76800), c0) << "a passed stage drew into frame C";
    demo_run_stage(3);   // its start work draws the shadow scene once into frame C
    const std::vector<uint32_t> c3(demo_frame_c, demo_frame_c + 76800);
    EXPECT_NE(c3, c0);
    for (int k = 4; k <= 7; ++k) demo_run_stage(k);
    EXPECT_TRUE(slot_holds(demo_pic_b, decoded(emb_wipe_3, emb_wipe_3_size, 76800)));
    demo_run_stage(8);
    EXPECT_TRUE(slot_holds(demo_pic_b, decoded(emb_wipe_5, emb_wipe_5_size, 81920))) << "320x256 fills slot B";
    EXPECT_TRUE(slot_holds(demo_pic_a, decoded(emb_pic_shatter, emb_pic_shatter_size, 76800)));
    EXPECT_EQ(demo_frame_d[0], 0x00654321u) << "stage 8 drew a frame";
    demo_run_stage(9);
    demo_run_stage(10);   // its start work expands the picture of stage 8 into frame D
    EXPECT_EQ(std::vector<uint32_t>(demo_frame_d, demo_frame_d + 76800), demo_test_picture_frame(emb_pic_shatter, emb_pic_shatter_size));
    demo_run_stage(11);
    demo_run_stage(12);
    EXPECT_TRUE(slot_holds(demo_pic_b, decoded(emb_wipe_1, emb_wipe_1_size, 76800)));
    for (int k = 13; k <= 15; ++k) demo_run_stage(k);
    fx_blobs_size = 300;
    demo_run_stage(16);
    EXPECT_EQ(fx_blobs_size.load(), 60);
    EXPECT_TRUE(std::all_of(demo_pic_a, demo_pic_a + 76800, [](uint8_t b) { return b == 0; })) << "slot A cleared";
    for (int k = 17; k <= 20; ++k) demo_run_stage(k);
    EXPECT_TRUE(slot_holds(demo_pic_b, decoded(emb_wipe_6, emb_wipe_6_size, 76800)));
    demo_run_stage(21);
    EXPECT_EQ(std::vector<uint32_t>(demo_frame_c, demo_frame_c + 76800), c3) << "a passed stage drew into frame C";
    fx_balls_free();   // stage 22 would
}

namespace {

void fast_tick(int)
{
    pt_play();
    sync_dispatch();
}

// A song shaped like the show's: 26 orders, the last ending in speed 0 at row 63, at speed 2
// with the drum samples the sync handlers listen for (3 every 8 rows, 4 every 4, 5 every 2).
std::vector<uint8_t> short_song()
{
    pt_mk_module mk;
    mk.tag = "12CH";
    mk.channels = 12;
    mk.songlen = 26;
    mk.restart = 25;
    mk.orders.assign(26, 0);
    mk.orders[25] = 1;
    mk.samples.resize(5, pt_mk_sample{16, 0, 64, 0, 1});
    for (int pat = 0; pat < 2; ++pat)
        for (int row = 0; row < 64; ++row) {
            if (row % 8 == 0) mk.cells.push_back({pat, row, 0, {3, 428, 0, 0}});
            if (row % 4 == 0) mk.cells.push_back({pat, row, 1, {4, 428, 0, 0}});
            if (row % 2 == 0) mk.cells.push_back({pat, row, 2, {5, 428, 0, 0}});
        }
    mk.cells.push_back({0, 0, 3, {0, 0, 15, 2}});
    mk.cells.push_back({1, 63, 3, {0, 0, 15, 0}});
    return mk.build();
}

struct child_run {
    int status = -1;   // exit status, or -1 when it did not end by itself
    std::string out;
};

// Runs `body` in a child process with its standard output captured; killed after `seconds`.
template <class Body>
child_run in_child(Body body, int seconds)
{
    child_run r;
    int fds[2];
    fflush(stdout);
    if (pipe(fds) != 0) return r;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        body();
        _exit(30);   // the show came back: it must end through demo_exit
    }
    close(fds[1]);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (char buf[1024];;) {
        pollfd pf{fds[0], POLLIN, 0};
        if (poll(&pf, 1, 200) > 0) {
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            r.out.append(buf, static_cast<size_t>(n));
        }
        if (std::chrono::steady_clock::now() > give_up) {
            kill(pid, SIGKILL);
            break;
        }
    }
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    return r;
}

// The window the video layer opened, found by its title on a second connection.
Window show_window(Display* d)
{
    Window root = DefaultRootWindow(d), parent, *kids = nullptr, found = 0;
    unsigned n = 0;
    if (!XQueryTree(d, root, &root, &parent, &kids, &n)) return 0;
    for (unsigned i = 0; i < n && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(d, kids[i], &name) && name) {
            if (std::strcmp(name, "Orvanto in X11") == 0) found = kids[i];
            XFree(name);
        }
    }
    if (kids) XFree(kids);
    return found;
}

} // namespace

// A key event of Escape waiting when a stage polls ends the show with that stage's message and
// status 1: stage 0 before the first row, the idle stage 9, and stage 21, whose balls were never
// started here (their frame then shows black instead of a missing frame).
TEST(DemoStages, EscapeEndsAStageWithItsMessage)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    struct { int stage, order, row; } table[] = {{0, -1, 63}, {9, 9, 10}, {21, 20, 0}, {21, 24, 0}};
    for (auto& t : table) {
        child_run r = in_child([&] {
            setenv("DISPLAY", g.xs.display().c_str(), 1);
            if (vid_init_size(320, 240, 1) != 0) _exit(20);
            pt_order = t.order;
            pt_row = t.row;
            Display* d = XOpenDisplay(nullptr);
            Window w = d ? show_window(d) : 0;
            if (!w) _exit(21);
            XEvent e{};
            e.xkey.type = KeyPress;
            e.xkey.window = w;
            e.xkey.root = DefaultRootWindow(d);
            e.xkey.keycode = 9;
            e.xkey.same_screen = True;
            XSendEvent(d, w, True, KeyPressMask, &e);
            XSync(d, False);
            demo_run_stage(t.stage);
        }, 20);
        EXPECT_EQ(r.status, 1) << "stage " << t.stage;
        EXPECT_EQ(r.out, std::string(demo_stage_message[t.stage]) + "\n") << "stage " << t.stage;
    }
}

// The real player plays a short song from a 2000 Hz timer (its position moving through every
// threshold in under two seconds) while the stages draw into a window on a private X server; the
// show runs through all 23 stages and ends normally with the results text.
TEST(DemoStages, WholeShowOnAFastSong)
{
    ts_xserver_guard g;
    std::string why;
    ASSERT_TRUE(ts_start_xvfb(&g.xs, 24, {}, &why)) << why;
    std::vector<uint8_t> song = short_song();
    child_run r = in_child([&] {
        setenv("DISPLAY", g.xs.display().c_str(), 1);
        if (vid_init_size(320, 240, 1) != 0) _exit(20);
        for (const sync_handler* h = demo_sync_handlers; h->callback; ++h) sync_register(h);
        demo_test_silent_player_calls();
        sd_device.stop = sd_device.close = [] {};
        if (pt_start_sized(song.data(), static_cast<uint32_t>(song.size())) != 1) _exit(21);
        struct sigaction sa {};
        sa.sa_handler = fast_tick;
        sa.sa_flags = SA_RESTART;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGALRM, &sa, nullptr);
        itimerval it{{0, 500}, {0, 500}};
        setitimer(ITIMER_REAL, &it, nullptr);
        clk_base = -1;
        frame_last = 0;
        demo_run_stages();
    }, 90);
    EXPECT_EQ(r.status, 0) << "the show did not end normally";
    EXPECT_EQ(r.out, std::string(demo_results_text) + "\n");
}
