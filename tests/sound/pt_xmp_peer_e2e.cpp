// Our player against libxmp on real modules written by other people (Debian game-data packages,
// fetched once per build tree): the rows played, the tick each starts at, and the speed and
// tempo then agree up to the song's first loop; and the loudness of whole songs through our
// mixer follows libxmp's nearest-neighbour renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "tests/sound/sd_e2e_util.h"

namespace {

// A row start: tick count, order, row, speed, tempo.
struct row_start {
    long tick;
    int order, row, speed, tempo;
    bool operator==(const row_start&) const = default;
};

std::ostream& operator<<(std::ostream& o, const row_start& r)
{
    return o << "tick " << r.tick << " " << r.order << ":" << r.row << " speed " << r.speed << " tempo " << r.tempo;
}

std::string module_path(const std::string& rel) { return sd_e2e_debroot() + "/usr/share/games/" + rel; }

struct trace {
    int status = -1;
    std::string out;
    std::vector<row_start> rows;  // ours: rows started; libxmp: rows up to the first loop
    long rows_before_loop = -1;   // libxmp: how many rows come before the first loop
    std::vector<int> last;        // ours: order, row and speed after the last tick
};

// mod_trace (ours) or xmp_trace (libxmp) for `ticks`.
trace run_trace(const char* tool, const std::string& file, long ticks)
{
    trace t;
    bool xmp = tool[0] == 'x';
    t.status = ts_run({ts_build_path(std::string("tests/sound/") + tool), file, std::to_string(ticks)}, &t.out, 60000);
    std::istringstream in(t.out);
    int prev_order = -1, prev_row = -1;
    for (std::string line; std::getline(in, line);) {
        long n;
        int tick, order, row, speed, tempo, loops = 0;
        char mark = 'R';
        const char* l = line.c_str();
        if ((xmp ? sscanf(l, "%ld %d %d %d %d %d %d", &n, &tick, &order, &row, &speed, &tempo, &loops)
                 : sscanf(l, "%ld %d %d %d %d %d %c", &n, &tick, &order, &row, &speed, &tempo, &mark)) != 7)
            continue;
        // libxmp counts the frames of a pattern delay on from the speed: a row starts at frame 0
        // with a new position
        bool starts = xmp ? tick == 0 && (order != prev_order || row != prev_row) : mark == 'R';
        prev_order = order;
        prev_row = row;
        t.last = {order, row, speed};
        if (!starts)
            continue;
        if (loops > 0 && t.rows_before_loop < 0)
            t.rows_before_loop = long(t.rows.size());
        t.rows.push_back({n, order, row, speed, tempo});
        if (t.rows_before_loop >= 0)
            break;  // the row the song loops to is the last one compared
    }
    return t;
}

TEST(PtPeer, RowsAndTicksMatchLibxmpOnRealModules)
{
    if (std::string why = sd_e2e_fetch({"ironseed-data", "tecnoballz-data", "madbomber-data"}); !why.empty())
        GTEST_SKIP() << why;
    for (const char* m : {"ironseed/sound/CARGO.MOD",     // M.K.
                          "ironseed/sound/SECTOR.MOD",    // 6CHN
                          "ironseed/sound/GUILD.MOD",     // pattern breaks on every pattern
                          "ironseed/sound/CREWCOMM.MOD",  // 8CHN
                          "ironseed/sound/INTRO1.MOD",    // restart position 21, tempo changes
                          "tecnoballz/musics/mon-lapin_reg-zbb.mod",  // pattern delays
                          "tecnoballz/musics/area5-game.mod"}) {      // jumps, breaks, many speeds
        trace ours = run_trace("mod_trace", module_path(m), 16000), xmp = run_trace("xmp_trace", module_path(m), 16000);
        ASSERT_EQ(ours.status, 0) << m << ": " << ours.out.substr(0, 200);
        ASSERT_EQ(xmp.status, 0) << m;
        ASSERT_GT(xmp.rows_before_loop, 63) << m << ": libxmp did not loop within the ticks";
        ASSERT_GT(ours.rows.size(), xmp.rows.size()) << m;
        for (size_t i = 0; i < xmp.rows.size(); i++)
            ASSERT_EQ(ours.rows[i], xmp.rows[i]) << m << ", row start " << i;
    }
    // Where our rules differ. A module without a channel tag (the 15-sample kind) is refused.
    trace old = run_trace("mod_trace", module_path("tecnoballz/musics/area1-game2.mod"), 100);
    EXPECT_EQ(old.status, 2);
    EXPECT_NE(old.out.find("pt_takemod error: unknown module type!"), std::string::npos);
    EXPECT_EQ(run_trace("xmp_trace", module_path("tecnoballz/musics/area1-game2.mod"), 100).status, 0);
    // A last row with F00: libxmp loops to order 0; our player stops there with speed 0, as the
    // show's own module relies on. Up to that row both agree.
    std::string stop = module_path("madbomber/music/gluppobe.mod");
    trace ours = run_trace("mod_trace", stop, 8000), xmp = run_trace("xmp_trace", stop, 8000);
    ASSERT_GT(xmp.rows_before_loop, 63);
    ASSERT_EQ(long(ours.rows.size()), xmp.rows_before_loop);
    row_start f00 = xmp.rows[xmp.rows_before_loop - 1];
    f00.speed = 0;
    xmp.rows[xmp.rows_before_loop - 1] = f00;
    xmp.rows.pop_back();  // libxmp's next row: order 0, row 0
    EXPECT_EQ(ours.rows, xmp.rows);
    EXPECT_EQ(ours.last, (std::vector<int>{27, 63, 0}));
}

// dB of the mean square of the mono sum over windows of 3200 frames (0.1 s) of 16-bit stereo.
std::vector<double> loudness(const std::vector<uint8_t>& b, size_t skip)
{
    std::vector<double> db;
    auto at = [&](size_t i) { return double(int16_t(b[skip + 2 * i] | b[skip + 2 * i + 1] << 8)); };
    for (size_t w = 0; skip + (w + 3200) * 4 <= b.size(); w += 3200) {
        double s = 0;
        for (size_t i = w; i < w + 3200; i++)
            s += (at(2 * i) + at(2 * i + 1)) * (at(2 * i) + at(2 * i + 1));
        db.push_back(10 * std::log10(s / 3200 + 1e-9));
    }
    return db;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

TEST(MixPeer, LoudnessFollowsLibxmpOverWholeModules)
{
    if (!ts_have_program("xmp"))
        GTEST_SKIP() << "xmp (the libxmp player) is not installed";
    if (std::string why = sd_e2e_fetch({"tecnoballz-data", "ironseed-data"}); !why.empty())
        GTEST_SKIP() << why;
    std::string dir = sd_e2e_scratch("peer"), ours = dir + "/ours.raw", theirs = dir + "/xmp.wav";
    for (const char* m : {"tecnoballz/musics/area2-game.mod", "ironseed/sound/PROBE.MOD", "ironseed/sound/CREWCOMM.MOD"}) {
        std::string out;
        ASSERT_EQ(ts_run({ts_build_path("tests/sound/mod_trace"), "--render", module_path(m), ours}, &out), 0) << out;
        ASSERT_EQ(ts_run({"xmp", "--norc", "--nocmd", "-q", "-d", "wav", "-o", theirs, "-f", "32000", "-b", "16", "-i",
                          "nearest", "-a", "1", module_path(m)}, &out), 0) << out;
        std::vector<double> a = loudness(sd_e2e_slurp(ours), 0), b = loudness(sd_e2e_slurp(theirs), 44);
        EXPECT_NEAR(double(a.size()), double(b.size()), 2) << m;  // both end the song at the same place
        size_t n = std::min(a.size(), b.size());
        ASSERT_GT(n, 300u) << m;  // at least 30 s of music
        std::vector<double> diff, dev;
        for (size_t i = 0; i < n; i++)
            if (a[i] > 20 && b[i] > 20)
                diff.push_back(a[i] - b[i]);  // both audible
        ASSERT_GT(diff.size(), n / 2) << m;
        for (double d : diff)
            dev.push_back(std::fabs(d - median(diff)));
        EXPECT_LT(median(dev), 1.0) << m << ", gain " << median(diff) << " dB";
    }
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
}

}  // namespace
