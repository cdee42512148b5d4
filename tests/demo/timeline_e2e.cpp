// The whole show in the real program under private X servers, with no sound device: the module
// then plays on the 70 Hz interval timer (one replay tick every 14285 us from the window's
// appearance), so our player finds when each stage ends. Several shows run at once: one to the
// results text with a capture in every stage, one stopped in the end picture's hold, one in the
// closing wipe, and chains stopped with Escape mid-stage. A busy machine loses timer signals, so
// the shows aim at song positions read from the child's memory, and times are checked as never
// early, with the clock-driven end exactly 536 ticks after stage 21.
#include <gtest/gtest.h>

#include "assets/emb.h"
#include "demo/demo.h"
#include "demo/demo_stages.h"
#include "sound/pt.h"
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
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using steady = std::chrono::steady_clock;
using frame = std::vector<uint32_t>;

constexpr double kTimerTick = 0.014285;   // seconds between replay ticks without a sound device
constexpr double kClockTick = 1.0 / 70;   // the demo clock's tick

const std::string kMenus = std::string(ts_sound_menu) + ts_mode_menu;

// end[k]: the replay tick (1 = the first) after which the song has passed stage k's last row,
// k = 0..21; pos[n]: the position after replay tick n.
struct song_timing {
    int32_t end[22] = {};
    std::vector<int32_t> pos;
    int32_t mid_tick(int k) const { return ((k ? end[k - 1] : 0) + end[k]) / 2; }
    double end_s(int k) const { return end[k] * kTimerTick; }
    double mid_s(int k) const { return mid_tick(k) * kTimerTick; }
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

// Where pt_order and pt_row lie in the program's image (from its load address when it is
// position-independent), from its symbol table.
struct song_symbols {
    uint64_t order = 0, row = 0;
    bool pie = false;
};

bool find_symbols(song_symbols* sy, std::string* why)
{
    const std::string bin = ts_build_path("orvanto");
    std::string out, addr, kind, name;
    if (ts_run({"nm", "--defined-only", bin}, &out) != 0) {
        *why = "nm cannot read " + bin;
        return false;
    }
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        if (!(f >> addr >> kind >> name)) continue;
        if (name == "pt_order") sy->order = std::stoull(addr, nullptr, 16);
        if (name == "pt_row") sy->row = std::stoull(addr, nullptr, 16);
    }
    char head[18] = {};
    std::ifstream(bin, std::ios::binary).read(head, sizeof head);
    sy->pie = head[16] == 3;   // ET_DYN
    if (!sy->order || !sy->row) *why = "the program has no symbols pt_order and pt_row";
    return sy->order && sy->row;
}

// The running program's song position, read from its memory like a debugger would.
struct song_probe {
    int fd = -1;
    uint64_t order = 0, row = 0;
    ~song_probe() { if (fd >= 0) close(fd); }

    bool open_in(pid_t pid, const song_symbols& sy)
    {
        const std::string proc = "/proc/" + std::to_string(pid);
        uint64_t base = 0;
        if (sy.pie) {
            char exe[4096];
            const ssize_t n = readlink((proc + "/exe").c_str(), exe, sizeof exe - 1);
            if (n <= 0) return false;
            exe[n] = 0;
            std::ifstream maps(proc + "/maps");
            std::string line, range, perms, offset, dev, inode, path;
            while (!base && std::getline(maps, line)) {
                std::istringstream f(line);
                if (f >> range >> perms >> offset >> dev >> inode >> path && path == exe && std::stoull(offset, nullptr, 16) == 0)
                    base = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
            }
            if (!base) return false;
        }
        order = base + sy.order;
        row = base + sy.row;
        fd = open((proc + "/mem").c_str(), O_RDONLY);
        return fd >= 0 && pos() != INT32_MIN;
    }
    // order x 100 + row; INT32_MIN once it can no longer be read
    int32_t pos() const
    {
        int32_t o = 0, r = 0;
        if (pread(fd, &o, 4, static_cast<off_t>(order)) != 4 || pread(fd, &r, 4, static_cast<off_t>(row)) != 4)
            return INT32_MIN;
        return o * 100 + r;
    }
};

int ignore_x_errors(Display*, XErrorEvent*) { return 0; }   // a capture of a window just gone

const char* const kNoProbe = "cannot read the running program's memory (no ptrace access to a child here)";

// A private server with our connection watching its root window.
struct viewer {
    ts_xserver_guard g;
    Display* d = nullptr;
    std::string why;

    bool open()
    {
        if (!ts_start_xvfb(&g.xs, 24, {}, &why)) return false;
        if (!(d = XOpenDisplay(g.xs.display().c_str()))) why = "cannot connect to " + g.xs.display();
        if (!d) return false;
        XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
        XSync(d, False);
        return true;
    }
    ~viewer() { if (d) XCloseDisplay(d); }
};

// One run of the program, from the moment its window appeared (the timer starts a moment later).
struct show {
    viewer* v = nullptr;
    ts_process p;
    song_probe probe;
    Window win = 0;
    int scale = 1;
    steady::time_point t0;

    double now_s() const { return std::chrono::duration<double>(steady::now() - t0).count(); }

    // Starts the program in window mode `mode` (1 to 4) and waits for its window to be mapped.
    bool start(viewer* on, int mode, const song_symbols& sy, std::string* why)
    {
        v = on;
        if (!v->d && !v->open()) {
            *why = v->why;
            return false;
        }
        for (XEvent e; XPending(v->d);) XNextEvent(v->d, &e);   // what earlier shows left
        scale = mode == 2 || mode == 4 ? 2 : 1;
        if (!ts_start(&p, {ts_build_path("orvanto")}, {"DISPLAY=" + v->g.xs.display()}, "0\n" + std::to_string(mode) + "\n")) {
            *why = "cannot start the program";
            return false;
        }
        const steady::time_point limit = steady::now() + std::chrono::seconds(20);
        while (!win && steady::now() < limit) {
            for (XEvent e; !win && XPending(v->d);) {
                XNextEvent(v->d, &e);
                if (e.type == MapNotify) {
                    t0 = steady::now();
                    win = e.xmap.window;
                }
            }
            pollfd pf{ConnectionNumber(v->d), POLLIN, 0};
            if (!win) poll(&pf, 1, 20);
        }
        if (win && probe.open_in(p.pid, sy)) return true;
        *why = win ? kNoProbe : "no window appeared";
        ts_kill(&p, SIGKILL);
        ts_wait(&p, 5000);
        return false;
    }

    // The window as 320x240 pixels 0xRRGGBB (every other pixel when doubled); empty once gone.
    frame capture() const
    {
        XImage* im = XGetImage(v->d, win, 0, 0, 320 * scale, 240 * scale, AllPlanes, ZPixmap);
        if (!im) return {};
        frame f(76800);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                f[y * 320 + x] = static_cast<uint32_t>(XGetPixel(im, x * scale, y * scale)) & 0xffffff;
        XDestroyImage(im);
        return f;
    }

    // Escape sent to the window; the time it was.
    double escape() const
    {
        XEvent e{};
        e.xkey.type = KeyPress;
        e.xkey.display = v->d;
        e.xkey.window = win;
        e.xkey.root = DefaultRootWindow(v->d);
        e.xkey.keycode = 9;
        e.xkey.same_screen = True;
        XSendEvent(v->d, win, True, KeyPressMask, &e);
        XSync(v->d, False);
        return now_s();
    }

    // Waits until the song has reached the position after replay tick n (read unsigned, so -37
    // has not); the time then, or -1 when the program has gone or 400 s passed.
    double wait_for_tick(const song_timing& st, int32_t n) const
    {
        const uint32_t want = static_cast<uint32_t>(st.pos[static_cast<size_t>(n)]);
        while (now_s() < 400) {
            const int32_t pos = probe.pos();
            if (pos == INT32_MIN) return -1;
            if (pos != -37 && static_cast<uint32_t>(pos) >= want) return now_s();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    // Polls the window every 40 ms until `want(capture)` holds; the time it first held, or -1.
    template <class Want>
    double watch_for(double until_s, Want want) const
    {
        for (; now_s() < until_s; std::this_thread::sleep_for(std::chrono::milliseconds(40))) {
            const frame f = capture();
            if (!f.empty() && want(f)) return now_s();
        }
        return -1;
    }
};

struct outcome {
    std::string why;          // set when the show could not be observed
    int status = -1;
    std::string out;
    int stage = -1;           // the stage Escape was aimed at
    double end_s = -1, seen_s = -1, wipe_s = -1, escape_s = -1;   // ended, end picture, wipe, Escape
    std::vector<frame> caps;  // stage k's capture at caps[k]
    std::vector<double> cap_s;

    void finish(show* s, int ms)
    {
        if (!ts_wait(&s->p, ms)) why = "the show did not end";
        end_s = s->now_s();
        status = s->p.status;
        out = s->p.out;
    }
};

// The replay tick of stage k's capture: stages whose wipe has finished show a known picture, so
// they are caught after it (256 clock ticks from their start) when they last long enough; the
// others in their middle.
int32_t capture_tick(const song_timing& st, int k, bool* exact)
{
    const int32_t done = k ? st.end[k - 1] + 256 + 35 : 0;
    *exact = (k == 1 || k == 2 || k == 8) && done < st.end[k] - 35;
    return *exact ? done : st.mid_tick(k);
}

void run_whole_show(const song_timing& st, const song_symbols& sy, outcome* o)
{
    viewer v;
    show s;
    if (!s.start(&v, 3, sy, &o->why)) return;
    o->caps.resize(23);
    o->cap_s.assign(23, -1);
    for (int k = 1; k <= 21; ++k) {
        bool exact;
        o->cap_s[k] = s.wait_for_tick(st, capture_tick(st, k, &exact));
        o->caps[k] = s.capture();
    }
    // stage 22 begins when the song passes order 24, row 60 and holds the end picture 280 ticks
    o->seen_s = s.wait_for_tick(st, st.end[21]);
    std::this_thread::sleep_for(std::chrono::milliseconds(140 * 1000 / 70));
    o->cap_s[22] = s.now_s();
    o->caps[22] = s.capture();
    o->finish(&s, 400000);
}

// Waits for the end picture, then sends Escape in its hold or, `in_wipe`, once the wipe shows.
void run_to_the_end_picture(const song_timing& st, const song_symbols& sy, const frame& end_pic, bool in_wipe,
                            int mode, outcome* o)
{
    viewer v;
    show s;
    if (!s.start(&v, mode, sy, &o->why)) return;
    const double passed = s.wait_for_tick(st, st.end[21]);
    if (passed >= 0) o->seen_s = s.watch_for(passed + 3, [&](const frame& f) { return f == end_pic; });
    if (o->seen_s >= 0 && in_wipe) o->wipe_s = s.watch_for(o->seen_s + 8, [&](const frame& f) { return f != end_pic; });
    if (o->seen_s >= 0 && (!in_wipe || o->wipe_s >= 0)) o->escape_s = s.escape();
    o->finish(&s, 30000);
}

// Shows one after another on one server, each stopped with Escape in the middle of its stage.
void run_escape_chain(const song_timing& st, const song_symbols& sy, const std::vector<int>& stages, int mode,
                      std::vector<outcome>* os)
{
    viewer v;
    for (int k : stages) {
        outcome& o = os->emplace_back();
        o.stage = k;
        show s;
        if (!s.start(&v, mode, sy, &o.why)) continue;
        if (s.wait_for_tick(st, st.mid_tick(k)) >= 0) o.escape_s = s.escape();
        o.finish(&s, 20000);
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
        ASSERT_GE(st.pos[n], st.pos[n - 1]) << "the song goes back at tick " << n << ": positions cannot be aimed at";
    song_symbols sy;
    std::string why;
    ASSERT_TRUE(find_symbols(&sy, &why)) << why;
    {
        // the shows are aimed at song positions read from the program: that must be allowed here
        viewer v;
        show s;
        if (!s.start(&v, 1, sy, &why)) {
            if (why == kNoProbe) GTEST_SKIP() << why;
            FAIL() << why;
        }
        ts_kill(&s.p, SIGKILL);
        ts_wait(&s.p, 5000);
    }

    const frame title = demo_test_picture_frame(emb_pic_title, emb_pic_title_size);
    const frame shadow_bg = demo_test_picture_frame(emb_pic_shadow_bg, emb_pic_shadow_bg_size);
    const frame shatter = demo_test_picture_frame(emb_pic_shatter, emb_pic_shatter_size);
    const frame end_pic = demo_test_picture_frame(emb_pic_end, emb_pic_end_size);

    // a sample of stages long enough to be hit in their middle: the wipes, the stage that draws
    // without waiting, the idle one, the beat-driven ones and the last
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
    EXPECT_GT(whole.seen_s, st.end_s(21) - 0.2);
    EXPECT_NEAR(whole.end_s - whole.seen_s, 536 * kClockTick + 0.1, 0.5);
    for (int k = 1; k <= 22; ++k) {
        const frame& f = whole.caps[k];
        ASSERT_EQ(f.size(), 76800u) << "no capture in stage " << k;
        bool exact = k == 22;
        if (k <= 21) capture_tick(st, k, &exact);
        if (exact) {
            const frame& want = k == 1 ? title : k == 2 ? shadow_bg : k == 8 ? shatter : end_pic;
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
