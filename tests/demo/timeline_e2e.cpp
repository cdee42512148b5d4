// The whole show, stage by stage, in the real program under private X servers, with no sound
// device: the module then plays on the 70 Hz interval timer, one replay tick every 14285 us from
// the moment the window appears (the program starts its timer right after), so the time at
// which each stage ends is known from the module itself. The test plays the module through our
// player to find those times and the song position in the middle of every stage, then runs
// several shows at once, each on its own server: one uninterrupted to the results text, with a
// window capture in every stage; one stopped in the end picture's hold; one in the closing wipe;
// and chains of shows stopped with Escape in the middle of a sample of stages.
//
// A timer signal that comes while an earlier one is still pending is lost, so on a busy machine
// (every show spins on the clock and takes a whole core) the song falls behind the wall clock.
// The test therefore aims at song positions, which it reads from the running program's memory
// like a debugger would (the program is its child), and checks the times against the module's
// with that in mind: never early, and the clock-driven end exactly 536 ticks after stage 21.
#include <gtest/gtest.h>

#include "assets/emb.h"
#include "demo/demo.h"
#include "demo/demo_stages.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"
#include "tests/demo/demo_test_util.h"
#include "tests/support/ts_menus.h"
#include "tests/support/ts_process.h"
#include "tests/support/ts_xserver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using steady = std::chrono::steady_clock;

constexpr double kTimerTick = 0.014285;   // seconds between replay ticks without a sound device
constexpr double kClockTick = 1.0 / 70;   // the demo clock's tick

const std::string kMenus = std::string(ts_sound_menu) + ts_mode_menu;

// ---- The song's timing ----------------------------------------------------------------------

// end[k]: the replay tick (1 = the first) after which the position has passed stage k's last
// row, k = 0..21; stage k runs from end[k - 1] to end[k].
struct song_timing {
    int32_t end[22] = {};
    std::vector<int32_t> pos;   // pos[n]: the position after replay tick n
    int32_t pos_at(int32_t n) const { return pos[static_cast<size_t>(n)]; }
    int32_t mid_tick(int k) const { return ((k ? end[k - 1] : 0) + end[k]) / 2; }
    double start_s(int k) const { return k == 0 ? 0 : end[k - 1] * kTimerTick; }
    double end_s(int k) const { return end[k] * kTimerTick; }
    double mid_s(int k) const { return (start_s(k) + end_s(k)) / 2; }
    double show_s() const { return end_s(21) + 536 * kClockTick; }   // stage 22: 280 + 256 ticks
};

bool time_the_song(song_timing* st)
{
    std::vector<uint8_t> module(emb_module, emb_module + emb_module_size);   // converted in place
    demo_test_silent_player_calls();
    if (pt_start_sized(module.data(), static_cast<uint32_t>(module.size())) != 1) return false;
    int k = 0;
    st->pos.assign(1, pt_getpos());
    for (int32_t n = 1; n < 70 * 900 && k <= 21; ++n) {
        pt_play();
        const int32_t pos = pt_getpos();
        st->pos.push_back(pos);
        if (k == 0 && static_cast<uint32_t>(pos) <= demo_stage_until[0]) st->end[k++] = n;
        while (k >= 1 && k <= 21 && !demo_stage_goes_on(pos, demo_stage_until[k])) st->end[k++] = n;
    }
    pt_channels = 0;   // the copy goes away: nothing may play it again
    return k == 22;
}

// ---- The running program's song position ----------------------------------------------------

// Where pt_order and pt_row lie in the program's image (relative to its load address when it is
// position-independent), from its symbol table.
struct song_symbols {
    uint64_t order = 0, row = 0;
    bool pie = false;
};

bool find_symbols(song_symbols* sy, std::string* why)
{
    const std::string bin = ts_build_path("orvanto");
    std::string out;
    if (ts_run({"nm", "--defined-only", bin}, &out) != 0) {
        *why = "nm cannot read " + bin;
        return false;
    }
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string addr, kind, name;
        if (!(f >> addr >> kind >> name)) continue;
        if (name == "pt_order") sy->order = std::stoull(addr, nullptr, 16);
        if (name == "pt_row") sy->row = std::stoull(addr, nullptr, 16);
    }
    std::ifstream elf(bin, std::ios::binary);
    char head[18] = {};
    elf.read(head, sizeof head);
    sy->pie = head[16] == 3;   // ET_DYN
    if (!sy->order || !sy->row) *why = "the program has no symbols pt_order and pt_row";
    return sy->order && sy->row;
}

struct song_probe {
    int fd = -1;
    uint64_t order = 0, row = 0;
    ~song_probe()
    {
        if (fd >= 0) close(fd);
    }
};

bool probe_open(pid_t pid, const song_symbols& sy, song_probe* pr)
{
    uint64_t base = 0;
    if (sy.pie) {
        char exe[4096];
        ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe - 1);
        if (n <= 0) return false;
        exe[n] = 0;
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        std::string line;
        while (std::getline(maps, line) && !base) {
            std::istringstream f(line);
            std::string range, perms, offset, dev, inode, path;
            if (f >> range >> perms >> offset >> dev >> inode >> path && path == exe && std::stoull(offset, nullptr, 16) == 0)
                base = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
        }
        if (!base) return false;
    }
    pr->order = base + sy.order;
    pr->row = base + sy.row;
    pr->fd = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
    int32_t word;
    return pr->fd >= 0 && pread(pr->fd, &word, 4, static_cast<off_t>(pr->order)) == 4;
}

// The program's song position, order x 100 + row; INT32_MIN once it can no longer be read.
int32_t probe_pos(const song_probe& pr)
{
    int32_t order = 0, row = 0;
    if (pread(pr.fd, &order, 4, static_cast<off_t>(pr.order)) != 4) return INT32_MIN;
    if (pread(pr.fd, &row, 4, static_cast<off_t>(pr.row)) != 4) return INT32_MIN;
    return order * 100 + row;
}

// ---- One show under observation -------------------------------------------------------------

int ignore_x_errors(Display*, XErrorEvent*) { return 0; }   // a capture of a window just gone

struct viewer {
    ts_xserver_guard g;
    Display* d = nullptr;
    std::string why;

    bool open(int depth)
    {
        if (!ts_start_xvfb(&g.xs, depth, {}, &why)) return false;
        d = XOpenDisplay(g.xs.display().c_str());
        if (!d) {
            why = "cannot connect to " + g.xs.display();
            return false;
        }
        XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
        XSync(d, False);
        return true;
    }
    ~viewer()
    {
        if (d) XCloseDisplay(d);
    }
};

struct show {
    ts_process p;
    song_probe probe;
    Window win = 0;
    int scale = 1;
    steady::time_point t0;   // when the window appeared: the timer starts a moment later

    double now_s() const { return std::chrono::duration<double>(steady::now() - t0).count(); }
};

const char* const kNoProbe = "cannot read the running program's memory (no ptrace access to a child here)";

// Starts the program in window mode `mode` (1 to 4) and waits for its window to be mapped.
bool start_show(viewer* v, show* s, int mode, const song_symbols& sy, std::string* why)
{
    while (XPending(v->d)) {   // what earlier shows left
        XEvent e;
        XNextEvent(v->d, &e);
    }
    s->scale = mode == 2 || mode == 4 ? 2 : 1;
    if (!ts_start(&s->p, {ts_build_path("orvanto")}, {"DISPLAY=" + v->g.xs.display()}, "0\n" + std::to_string(mode) + "\n")) {
        *why = "cannot start the program";
        return false;
    }
    const steady::time_point limit = steady::now() + std::chrono::seconds(20);
    while (!s->win && steady::now() < limit) {
        while (!s->win && XPending(v->d)) {
            XEvent e;
            XNextEvent(v->d, &e);
            if (e.type == MapNotify) {
                s->t0 = steady::now();
                s->win = e.xmap.window;
            }
        }
        pollfd pf{ConnectionNumber(v->d), POLLIN, 0};
        if (!s->win) poll(&pf, 1, 20);
    }
    if (s->win && probe_open(s->p.pid, sy, &s->probe)) return true;
    *why = s->win ? kNoProbe : "no window appeared";
    ts_kill(&s->p, SIGKILL);
    ts_wait(&s->p, 5000);
    return false;
}

// The window's picture as 320x240 pixels 0xRRGGBB (every other pixel of a doubled window);
// empty when the window has gone.
std::vector<uint32_t> capture(viewer* v, const show& s)
{
    XImage* im = XGetImage(v->d, s.win, 0, 0, 320 * s.scale, 240 * s.scale, AllPlanes, ZPixmap);
    if (!im) return {};
    std::vector<uint32_t> f(76800);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            f[y * 320 + x] = static_cast<uint32_t>(XGetPixel(im, x * s.scale, y * s.scale)) & 0xffffff;
    XDestroyImage(im);
    return f;
}

void press_escape(viewer* v, const show& s)
{
    XEvent e{};
    e.xkey.type = KeyPress;
    e.xkey.display = v->d;
    e.xkey.window = s.win;
    e.xkey.root = DefaultRootWindow(v->d);
    e.xkey.keycode = 9;
    e.xkey.same_screen = True;
    XSendEvent(v->d, s.win, True, KeyPressMask, &e);
    XSync(v->d, False);
}

// Waits until the song has reached the position after replay tick n of the module (read
// unsigned, so -37 has not); the time then, or -1 when the program has gone or 400 s passed.
double wait_for_tick(const show& s, const song_timing& st, int32_t n)
{
    const uint32_t want = static_cast<uint32_t>(st.pos_at(n));
    while (s.now_s() < 400) {
        const int32_t pos = probe_pos(s.probe);
        if (pos == INT32_MIN) return -1;
        if (pos != -37 && static_cast<uint32_t>(pos) >= want) return s.now_s();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

// Polls the window every 40 ms until `want(capture)` holds; the time it first held, or -1.
template <class Want>
double watch_for(viewer* v, const show& s, double until_s, Want want)
{
    while (s.now_s() < until_s) {
        std::vector<uint32_t> f = capture(v, s);
        if (!f.empty() && want(f)) return s.now_s();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return -1;
}

// ---- The shows ------------------------------------------------------------------------------

struct outcome {
    std::string why;          // set when the show could not be observed
    int status = -1;
    std::string out;
    double end_s = -1;        // when it ended, from its window's appearance
    double seen_s = -1;       // the end picture first seen
    double wipe_s = -1;       // the closing wipe first seen
    double escape_s = -1;     // Escape sent
    std::vector<std::vector<uint32_t>> caps;   // stage k's capture at caps[k]
    std::vector<double> cap_s;
    int stage = -1;           // the stage Escape was aimed at
};

bool finish(show* s, outcome* o, int ms)
{
    const bool ended = ts_wait(&s->p, ms);
    o->end_s = s->now_s();
    o->status = s->p.status;
    o->out = s->p.out;
    return ended;
}

// The replay tick at which stage k's capture is taken: stages whose wipe has finished show a
// known picture, so they are caught after it (256 clock ticks from their start, when the stage
// lasts long enough), the others in their middle.
int32_t capture_tick(const song_timing& st, int k, bool* exact)
{
    *exact = false;
    if (k == 1 || k == 2 || k == 8) {
        const int32_t done = st.end[k - 1] + 256 + 35;
        if (done < st.end[k] - 35) {
            *exact = true;
            return done;
        }
    }
    return st.mid_tick(k);
}

void run_whole_show(const song_timing& st, const song_symbols& sy, outcome* o)
{
    viewer v;
    show s;
    if (!v.open(24) || !start_show(&v, &s, 3, sy, &o->why)) {
        if (o->why.empty()) o->why = v.why;
        return;
    }
    o->caps.resize(23);
    o->cap_s.assign(23, -1);
    for (int k = 1; k <= 21; ++k) {
        bool exact;
        o->cap_s[k] = wait_for_tick(s, st, capture_tick(st, k, &exact));
        o->caps[k] = capture(&v, s);
    }
    // stage 22 begins when the song passes order 24, row 60 and holds the end picture 280 ticks
    o->seen_s = wait_for_tick(s, st, st.end[21]);
    std::this_thread::sleep_for(std::chrono::milliseconds(140 * 1000 / 70));
    o->cap_s[22] = s.now_s();
    o->caps[22] = capture(&v, s);
    if (!finish(&s, o, 400000)) o->why = "the show did not end";
}

// Waits for the end picture, then either sends Escape in its hold or waits for the wipe first.
void run_to_the_end_picture(const song_timing& st, const song_symbols& sy, const std::vector<uint32_t>& end_pic,
                            bool in_wipe, int mode, outcome* o)
{
    viewer v;
    show s;
    if (!v.open(24) || !start_show(&v, &s, mode, sy, &o->why)) {
        if (o->why.empty()) o->why = v.why;
        return;
    }
    const double passed = wait_for_tick(s, st, st.end[21]);
    if (passed >= 0)
        o->seen_s = watch_for(&v, s, passed + 3, [&](const std::vector<uint32_t>& f) { return f == end_pic; });
    if (o->seen_s >= 0 && in_wipe)
        o->wipe_s = watch_for(&v, s, o->seen_s + 8, [&](const std::vector<uint32_t>& f) { return f != end_pic; });
    if (o->seen_s >= 0 && (!in_wipe || o->wipe_s >= 0)) {
        press_escape(&v, s);
        o->escape_s = s.now_s();
    }
    if (!finish(&s, o, 30000)) o->why = "the show did not end";
}

// Shows one after another on one server, each stopped with Escape in the middle of its stage.
void run_escape_chain(const song_timing& st, const song_symbols& sy, const std::vector<int>& stages, int mode,
                      std::vector<outcome>* os)
{
    viewer v;
    const bool up = v.open(24);
    for (int k : stages) {
        outcome o;
        o.stage = k;
        show s;
        if (!up || !start_show(&v, &s, mode, sy, &o.why)) {
            if (o.why.empty()) o.why = v.why;
            os->push_back(o);
            continue;
        }
        if (wait_for_tick(s, st, st.mid_tick(k)) >= 0) {
            press_escape(&v, s);
            o.escape_s = s.now_s();
        }
        if (!finish(&s, &o, 20000)) o.why = "the show did not end";
        os->push_back(o);
    }
}

// Packs the sampled stages into as few chains as fit in the whole show's time each.
std::vector<std::vector<int>> chains_of(const song_timing& st, std::vector<int> stages)
{
    std::sort(stages.begin(), stages.end(), [&](int a, int b) { return st.mid_s(a) > st.mid_s(b); });
    std::vector<std::vector<int>> chains;
    std::vector<double> used;
    for (int k : stages) {
        const double cost = st.mid_s(k) + 1.5;
        size_t c = 0;
        while (c < chains.size() && used[c] + cost > st.show_s() + 5) ++c;
        if (c == chains.size()) {
            chains.emplace_back();
            used.push_back(0);
        }
        chains[c].push_back(k);
        used[c] += cost;
    }
    return chains;
}

} // namespace

TEST(TimelineEndToEnd, StagesFollowTheSongToTheResults)
{
    song_timing st;
    ASSERT_TRUE(time_the_song(&st)) << "the module does not pass every stage's threshold";
    for (int32_t n = 2; n <= st.end[21]; ++n)
        ASSERT_GE(st.pos_at(n), st.pos_at(n - 1)) << "the song goes back at tick " << n << ": positions cannot be aimed at";
    std::printf("stage  starts (s)  lasts (replay ticks)\n");
    for (int k = 0; k <= 21; ++k)
        std::printf("%5d  %9.2f  %6d\n", k, st.start_s(k), st.end[k] - (k ? st.end[k - 1] : 0));
    std::printf("   22  %9.2f  536 clock ticks; the show ends at %.2f s\n", st.end_s(21), st.show_s());
    song_symbols sy;
    std::string why;
    ASSERT_TRUE(find_symbols(&sy, &why)) << why;
    {
        // the shows are aimed at song positions read from the program: that must be allowed here
        viewer v;
        show s;
        ASSERT_TRUE(v.open(24)) << v.why;
        if (!start_show(&v, &s, 1, sy, &why)) {
            if (why == kNoProbe) GTEST_SKIP() << why;
            FAIL() << why;
        }
        EXPECT_NE(probe_pos(s.probe), INT32_MIN);
        ts_kill(&s.p, SIGKILL);
        ts_wait(&s.p, 5000);
    }

    const std::vector<uint32_t> title = demo_test_picture_frame(emb_pic_title, emb_pic_title_size);
    const std::vector<uint32_t> shadow_bg = demo_test_picture_frame(emb_pic_shadow_bg, emb_pic_shadow_bg_size);
    const std::vector<uint32_t> shatter = demo_test_picture_frame(emb_pic_shatter, emb_pic_shatter_size);
    const std::vector<uint32_t> end_pic = demo_test_picture_frame(emb_pic_end, emb_pic_end_size);

    // a sample of stages, each long enough to be hit in its middle: the wipes, the stage that
    // draws without waiting, the idle one, the beat-driven ones and the last
    std::vector<int> sample;
    for (int k : {1, 2, 4, 8, 9, 12, 14, 15, 16, 18, 21})
        if (st.end[k] - st.end[k - 1] >= 100) sample.push_back(k);
    ASSERT_GE(sample.size(), 6u) << "the song's stages are too short to aim Escape at";
    const std::vector<std::vector<int>> chains = chains_of(st, sample);

    XInitThreads();
    XSetErrorHandler(ignore_x_errors);
    outcome whole, hold, wipe;
    std::vector<std::vector<outcome>> escapes(chains.size());
    std::vector<std::thread> threads;
    threads.emplace_back(run_whole_show, std::cref(st), std::cref(sy), &whole);
    threads.emplace_back(run_to_the_end_picture, std::cref(st), std::cref(sy), std::cref(end_pic), false, 1, &hold);
    threads.emplace_back(run_to_the_end_picture, std::cref(st), std::cref(sy), std::cref(end_pic), true, 4, &wipe);
    for (size_t c = 0; c < chains.size(); ++c)
        threads.emplace_back(run_escape_chain, std::cref(st), std::cref(sy), std::cref(chains[c]), c % 2 ? 2 : 1,
                             &escapes[c]);
    for (std::thread& t : threads) t.join();

    const std::string results = std::string(demo_results_text) + "\n";

    // uninterrupted: the results text 536 clock ticks after the song has passed stage 21; the
    // song can fall behind the module's time on a busy machine, never run ahead of it
    ASSERT_EQ(whole.why, "");
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.out, kMenus + results);
    ASSERT_GE(whole.seen_s, 0) << "the song never reached stage 22";
    std::printf("stage 22 began after %.2f s (the module's time %.2f s); the show ended after %.2f s\n",
                whole.seen_s, st.end_s(21), whole.end_s);
    EXPECT_GT(whole.seen_s, st.end_s(21) - 0.2);
    EXPECT_NEAR(whole.end_s - whole.seen_s, 536 * kClockTick + 0.1, 0.5);
    for (int k = 1; k <= 22; ++k) {
        const std::vector<uint32_t>& f = whole.caps[k];
        ASSERT_EQ(f.size(), 76800u) << "no capture in stage " << k;
        bool exact = k == 22;
        if (k <= 21) capture_tick(st, k, &exact);
        if (exact) {
            const std::vector<uint32_t>& want = k == 1 ? title : k == 2 ? shadow_bg : k == 8 ? shatter : end_pic;
            EXPECT_TRUE(f == want) << "stage " << k << " at " << whole.cap_s[k] << " s does not show its picture";
        }
        if (k == 9) {
            // nothing is drawn: the last frame of stage 8, the finished wipe to the picture
            if (st.end[8] - st.end[7] > 256 + 35) {
                EXPECT_TRUE(f == shatter) << "stage 9 does not keep stage 8's last frame";
            }
        } else if (k >= 2) {
            EXPECT_FALSE(f == whole.caps[k - 1]) << "stage " << k << " looks like stage " << k - 1;
        }
    }

    // Escape in the end picture's hold: that stage's message
    ASSERT_EQ(hold.why, "");
    EXPECT_GE(hold.seen_s, 0) << "the end picture never appeared";
    EXPECT_GE(hold.escape_s, 0);
    EXPECT_EQ(hold.status, 1);
    EXPECT_EQ(hold.out, kMenus + demo_stage_message[22] + "\n");

    // Escape in the closing wipe: it only cuts the wipe short, and the show ends normally
    ASSERT_EQ(wipe.why, "");
    ASSERT_GE(wipe.wipe_s, 0) << "the closing wipe was not seen";
    EXPECT_NEAR(wipe.wipe_s - wipe.seen_s, 280 * kClockTick, 0.5) << "the end picture's hold";
    EXPECT_EQ(wipe.status, 0);
    EXPECT_EQ(wipe.out, kMenus + results);
    EXPECT_LT(wipe.end_s - wipe.wipe_s, 256 * kClockTick - 0.8) << "the show ran its wipe to the end";

    // Escape in the middle of a stage: its message and status 1
    for (const std::vector<outcome>& chain : escapes)
        for (const outcome& o : chain) {
            ASSERT_EQ(o.why, "") << "stage " << o.stage;
            EXPECT_GE(o.escape_s, 0) << "stage " << o.stage;
            EXPECT_EQ(o.status, 1) << "stage " << o.stage;
            EXPECT_EQ(o.out, kMenus + demo_stage_message[o.stage] + "\n") << "Escape at " << o.escape_s << " s";
        }
}
