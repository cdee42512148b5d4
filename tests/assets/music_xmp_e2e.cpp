// The show's module in libxmp, a tracker player written by other people: it loads it as a
// 12-channel module with our order list, plays the same rows at the same ticks as our player up
// to the song's stop, and renders it at the same loudness, order by order, as our mixer.
#include <gtest/gtest.h>
#include <xmp.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "assets/emb.h"
#include "tests/assets/music_render.h"
#include "tests/support/ts_process.h"

namespace {

std::string module_path() { return ts_build_path("assets/gen/emb_module.mod"); }

struct row_start {
    long tick;
    int order, row, speed, tempo;
    bool operator==(const row_start&) const = default;
};

std::ostream& operator<<(std::ostream& o, const row_start& r)
{
    return o << "tick " << r.tick << " " << r.order << ":" << r.row << " speed " << r.speed << " tempo " << r.tempo;
}

// Row starts from the player helper's tracing tools: ours (mark R), libxmp's (frame 0 at a new
// position) up to its first loop.
std::vector<row_start> rows_of(const std::string& tool, bool xmp, long ticks, int* status)
{
    std::string out;
    *status = ts_run({ts_build_path("tests/sound/" + tool), module_path(), std::to_string(ticks)}, &out, 60000);
    std::vector<row_start> rows;
    std::istringstream in(out);
    std::string line;
    int prev_order = -1, prev_row = -1;
    while (std::getline(in, line)) {
        long n;
        int tick, order, row, speed, tempo, loops = 0;
        char mark = '-';
        if (xmp) {
            if (sscanf(line.c_str(), "%ld %d %d %d %d %d %d", &n, &tick, &order, &row, &speed, &tempo, &loops) != 7)
                continue;
            if (loops > 0)
                break;
            if (tick == 0 && (order != prev_order || row != prev_row))
                rows.push_back({n, order, row, speed, tempo});
            prev_order = order;
            prev_row = row;
        } else {
            if (sscanf(line.c_str(), "%ld %d %d %d %d %d %c", &n, &tick, &order, &row, &speed, &tempo, &mark) != 7)
                continue;
            if (mark == 'R')
                rows.push_back({n, order, row, speed, tempo});
        }
    }
    return rows;
}

}  // namespace

TEST(MusicXmp, LoadsAsTwelveChannelsWithOurOrders)
{
    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module(ctx, module_path().c_str()), 0) << module_path();
    xmp_module_info mi;
    xmp_get_module_info(ctx, &mi);
    EXPECT_EQ(mi.mod->chn, 12);
    EXPECT_EQ(mi.mod->len, 26);
    EXPECT_EQ(mi.mod->pat, 24);
    // libxmp does not take byte 951 as the restart position of this module and reports 0; our
    // loader reads it (25), so our player repeats the last pattern, where the song has stopped
    EXPECT_EQ(mi.mod->rst, 0);
    const int orders[26] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 14, 16, 15, 17, 18, 20, 21, 22, 23, 19};
    for (int i = 0; i < 26; i++)
        EXPECT_EQ(mi.mod->xxo[i], orders[i]) << "order " << i;
    EXPECT_STREQ(mi.mod->name, "Orvanto Drift");
    int with_data = 0;
    for (int s = 0; s < mi.mod->smp; s++)
        with_data += mi.mod->xxs[s].len > 0;
    EXPECT_EQ(with_data, 28);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

TEST(MusicXmp, SameRowsAtTheSameTicksUpToTheStop)
{
    int ours_status, xmp_status;
    std::vector<row_start> ours = rows_of("mod_trace", false, 13000, &ours_status);
    std::vector<row_start> xmp = rows_of("xmp_trace", true, 13000, &xmp_status);
    ASSERT_EQ(ours_status, 0);
    ASSERT_EQ(xmp_status, 0);
    // every row of the song once: 26 orders of 64 rows
    ASSERT_EQ(ours.size(), 26u * 64u);
    ASSERT_EQ(xmp.size(), ours.size());
    for (size_t i = 0; i + 1 < ours.size(); i++)
        ASSERT_EQ(ours[i], xmp[i]) << "row start " << i;
    // the last row stops the song: speed 0 with us; libxmp takes F00 as the end of the song and
    // plays on from the start, so it reports the speed it had
    row_start last = xmp.back();
    EXPECT_EQ(ours.back().tick, last.tick);
    EXPECT_EQ(ours.back().order, 25);
    EXPECT_EQ(ours.back().row, 63);
    EXPECT_EQ(ours.back().speed, 0);
}

TEST(MusicXmp, RendersAtTheLoudnessOfOurMixer)
{
    // libxmp mixes with interpolation and its own volume law, so only the loudness per order
    // is compared: within 1.5 dB everywhere before the end
    std::map<int, std::pair<double, long>> ours, theirs;
    ASSERT_EQ(music_render(emb_module, emb_module_size, 11480, [&](const music_tick& t) {
        auto& o = ours[t.pos / 100];
        for (int i = 0; i < 2 * t.count; i++)
            o.first += double(t.frames[i]) * t.frames[i];
        o.second += 2 * t.count;
    }), 1);
    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module(ctx, module_path().c_str()), 0);
    ASSERT_EQ(xmp_start_player(ctx, 32000, 0), 0);
    xmp_frame_info fi;
    for (long i = 0; i < 11480; i++) {
        ASSERT_EQ(xmp_play_frame(ctx), 0);
        xmp_get_frame_info(ctx, &fi);
        auto& o = theirs[fi.pos];
        const int16_t* b = static_cast<const int16_t*>(fi.buffer);
        for (int k = 0; k < fi.buffer_size / 2; k++)
            o.first += double(b[k]) * b[k];
        o.second += fi.buffer_size / 2;
    }
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    for (int order = 0; order <= 24; order++) {
        double a = 10 * std::log10(ours[order].first / double(ours[order].second));
        double b = 10 * std::log10(theirs[order].first / double(theirs[order].second));
        EXPECT_NEAR(a, b, 1.5) << "order " << order;
    }
}
