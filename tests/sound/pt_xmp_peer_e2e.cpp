// Our replay against libxmp on real modules written by other people (Debian game-data
// packages, fetched once per build tree): the rows played, in order, the tick at which each
// starts, and the speed and tempo then, must agree up to the song's first loop and on the row
// the song loops to.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sound/sd_e2e_util.h"
#include "tests/support/ts_process.h"

namespace {

// A row start: tick count, order, row, speed, tempo.
struct row_start {
    long tick;
    int order, row, speed, tempo;
    bool operator==(const row_start&) const = default;
};

std::ostream& operator<<(std::ostream& o, const row_start& r)
{
    return o << "tick " << r.tick << " " << r.order << ":" << r.row << " speed " << r.speed << " tempo "
             << r.tempo;
}

std::string module_path(const std::string& rel)
{
    return sd_e2e_debroot() + "/usr/share/games/" + rel;
}

struct trace {
    int status = -1;
    std::string out;
    std::vector<row_start> rows;  // ours: rows started; libxmp: rows up to the first loop
    long rows_before_loop = -1;   // libxmp: how many rows come before the first loop
    std::vector<std::string> last;
};

trace run_ours(const std::string& file, long ticks)
{
    trace t;
    t.status = ts_run({ts_build_path("tests/sound/mod_trace"), file, std::to_string(ticks)}, &t.out, 60000);
    std::istringstream in(t.out);
    std::string line;
    while (std::getline(in, line)) {
        long n;
        int tick, order, row, speed, tempo;
        char mark;
        if (sscanf(line.c_str(), "%ld %d %d %d %d %d %c", &n, &tick, &order, &row, &speed, &tempo, &mark) != 7)
            continue;
        if (mark == 'R')
            t.rows.push_back({n, order, row, speed, tempo});
        t.last = {std::to_string(order), std::to_string(row), std::to_string(speed)};
    }
    return t;
}

trace run_xmp(const std::string& file, long ticks)
{
    trace t;
    t.status = ts_run({ts_build_path("tests/sound/xmp_trace"), file, std::to_string(ticks)}, &t.out, 60000);
    std::istringstream in(t.out);
    std::string line;
    int prev_order = -1, prev_row = -1;
    while (std::getline(in, line)) {
        long n;
        int frame, order, row, speed, tempo, loops;
        if (sscanf(line.c_str(), "%ld %d %d %d %d %d %d", &n, &frame, &order, &row, &speed, &tempo, &loops) != 7)
            continue;
        // libxmp counts the frames of a pattern delay on from the speed, so a row starts at
        // frame 0 with a new position
        if (frame == 0 && (order != prev_order || row != prev_row)) {
            if (loops > 0 && t.rows_before_loop < 0)
                t.rows_before_loop = long(t.rows.size());
            t.rows.push_back({n, order, row, speed, tempo});
            if (t.rows_before_loop >= 0)
                break;  // the row the song loops to is the last one compared
        }
        prev_order = order;
        prev_row = row;
    }
    return t;
}

}  // namespace

TEST(PtPeer, RowsAndTicksMatchLibxmpOnRealModules)
{
    std::string why = sd_e2e_fetch({"ironseed-data", "tecnoballz-data", "madbomber-data"});
    if (!why.empty())
        GTEST_SKIP() << why;
    struct {
        const char* file;
        int channels;
    } modules[] = {
        {"ironseed/sound/CARGO.MOD", 4},     // M.K.
        {"ironseed/sound/SECTOR.MOD", 6},    // 6CHN
        {"ironseed/sound/GUILD.MOD", 6},     // pattern breaks on every pattern
        {"ironseed/sound/CREWCOMM.MOD", 8},  // 8CHN
        {"ironseed/sound/INTRO1.MOD", 8},    // restart position 21, tempo changes
        {"tecnoballz/musics/mon-lapin_reg-zbb.mod", 4},  // pattern delays
        {"tecnoballz/musics/area5-game.mod", 4},         // position jumps, breaks, many speeds
    };
    for (auto& m : modules) {
        std::string path = module_path(m.file);
        ASSERT_FALSE(sd_e2e_slurp(path).empty()) << path;
        trace ours = run_ours(path, 16000);
        trace xmp = run_xmp(path, 16000);
        ASSERT_EQ(ours.status, 0) << m.file << ": " << ours.out.substr(0, 200);
        ASSERT_EQ(xmp.status, 0) << m.file;
        ASSERT_GT(xmp.rows_before_loop, 63) << m.file << ": libxmp did not loop within the ticks";
        ASSERT_GT(ours.rows.size(), xmp.rows.size()) << m.file;
        for (size_t i = 0; i < xmp.rows.size(); i++)
            ASSERT_EQ(ours.rows[i], xmp.rows[i]) << m.file << ", row start " << i;
    }
}

TEST(PtPeer, WhereOurRulesDifferFromLibxmp)
{
    std::string why = sd_e2e_fetch({"tecnoballz-data", "madbomber-data"});
    if (!why.empty())
        GTEST_SKIP() << why;
    // A module without a channel tag (the 15-sample kind): libxmp plays it, our loader refuses
    // it as an unknown type.
    std::string old = module_path("tecnoballz/musics/area1-game2.mod");
    trace ours = run_ours(old, 100);
    trace xmp = run_xmp(old, 3000);
    EXPECT_EQ(ours.status, 2);
    EXPECT_NE(ours.out.find("pt_takemod error: unknown module type!"), std::string::npos);
    EXPECT_EQ(xmp.status, 0);
    EXPECT_GT(xmp.rows.size(), 100u);

    // A song whose last row sets speed 0 (F00): libxmp takes it as the end of the song and
    // loops to order 0; our player stops there, keeping the position and speed 0, as the
    // show's own module relies on. Up to that row both agree.
    std::string stop = module_path("madbomber/music/gluppobe.mod");
    ours = run_ours(stop, 8000);
    xmp = run_xmp(stop, 8000);
    ASSERT_EQ(ours.status, 0);
    ASSERT_EQ(xmp.status, 0);
    ASSERT_GT(xmp.rows_before_loop, 63);
    ASSERT_EQ(long(ours.rows.size()), xmp.rows_before_loop);
    for (long i = 0; i < xmp.rows_before_loop - 1; i++)
        ASSERT_EQ(ours.rows[i], xmp.rows[i]) << "row start " << i;
    // the F00 row itself: same tick and position, but speed 0 with us
    row_start f00 = xmp.rows[xmp.rows_before_loop - 1];
    f00.speed = 0;
    EXPECT_EQ(ours.rows.back(), f00);
    EXPECT_EQ(ours.last, (std::vector<std::string>{"27", "63", "0"}));
    EXPECT_EQ(xmp.rows.back().order, 0);
    EXPECT_EQ(xmp.rows.back().row, 0);
}
