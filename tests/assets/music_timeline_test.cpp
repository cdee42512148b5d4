// The show's module played as the show plays it without a sound device: one replay tick and one
// sync dispatch per seventieth of a second. The stage thresholds are reached in order and in
// time for the transitions, the song freezes at its end, and the kick and the beat fire where the
// blob trails and the mirror wave follow them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "assets/emb.h"
#include "fx/fx_blobs.h"
#include "sound/pt.h"
#include "sound/sd_device.h"
#include "sound/sync.h"

namespace {

// The stages' thresholds: stage k (1..21) goes on while the position is at most thresholds[k-1].
const uint32_t thresholds[21] = {99,  199,  499,  531,  599,  631,  799,  899,  931,  1031, 1199,
                                 1231, 1399, 1431, 1499, 1531, 1699, 1731, 1899, 1931, 2459};

int kicks_now, beats_now;
void on_kick()
{
    kicks_now++;
    fx_blobs_grow(10);
}
void on_beat() { beats_now++; }

const sync_record kick_rec[1] = {{-1, -1, 4, 4, -1, -1, -1, -1, -1, -1, -1, -1, 4, 0, 0, 1, 1}};
const sync_record beat_rec[2] = {{-1, -1, 3, 3, -1, -1, -1, -1, -1, -1, -1, -1, 8, 0, 0, 1, 1},
                                 {-1, -1, 5, 5, -1, -1, -1, -1, -1, -1, -1, -1, 2, 0, 0, 1, 1}};
const sync_handler handlers[2] = {{on_kick, 1, kick_rec}, {on_beat, 2, beat_rec}};

void ignore(int32_t) {}
int keep_sample(int, const int8_t*, uint32_t, uint32_t, uint32_t, int) { return 1; }

struct event {
    long tick;
    int order, row;
};

struct run {
    long stage_end[22] = {};       // tick at which stage k's loop is left (k = 0..21)
    std::vector<event> kicks, beats;
    std::map<int, int32_t> blob_size_at_stage_end;  // stages 16..21
    long frozen_from = -1;
    bool stays_frozen = true;
};

run play_show(long ticks)
{
    static std::vector<uint8_t> module;
    module.assign(emb_module, emb_module + emb_module_size);
    sd_device.set_sample = keep_sample;
    for (auto op : {&sd_device_table::set_channels, &sd_device_table::select_channel, &sd_device_table::set_volume,
                    &sd_device_table::set_pan, &sd_device_table::set_instrument, &sd_device_table::set_period,
                    &sd_device_table::set_offset})
        sd_device.*op = ignore;
    sync_count = 0;
    sync_register(&handlers[0]);
    sync_register(&handlers[1]);
    run r;
    EXPECT_EQ(pt_start_sized(module.data(), uint32_t(module.size())), 1);
    int stage = 0;
    for (long t = 1; t <= ticks; t++) {
        kicks_now = beats_now = 0;
        pt_play();
        sync_dispatch();
        uint32_t p = uint32_t(pt_getpos());
        if (kicks_now)
            r.kicks.push_back({t, pt_order, pt_row});
        if (beats_now)
            r.beats.push_back({t, pt_order, pt_row});
        // main's loop: a stage ends when the position passes its threshold (stage 0: the first row)
        while (stage <= 21 && (stage == 0 ? p <= 500 : p > thresholds[stage - 1])) {
            r.stage_end[stage] = t;
            if (stage >= 16)
                r.blob_size_at_stage_end[stage] = fx_blobs_size;
            stage++;
            if (stage == 16)
                fx_blobs_size = 60;  // main, as the blobs start
        }
        if (pt_speed == 0 && r.frozen_from < 0)
            r.frozen_from = t;
        if (r.frozen_from >= 0 && p != 2563)
            r.stays_frozen = false;
    }
    return r;
}

// The whole show, played once for the tests below (the song stops well inside four minutes).
const run& show()
{
    static const run r = play_show(70 * 240);
    return r;
}

}  // namespace

TEST(MusicTimeline, StagesFollowTheSongInTimeAndTheSongStopsAtItsEnd)
{
    const run& r = show();
    printf("stage durations at 70 ticks a second:\n");
    long total = 0;
    for (int k = 1; k <= 21; k++) {
        long d = r.stage_end[k] - r.stage_end[k - 1];
        ASSERT_GT(d, 0) << "stage " << k << " never starts or ends";
        printf("  stage %2d: %5ld ticks, %6.2f s\n", k, d, d / 70.0);
        total += d;
    }
    printf("  stage 22: %5d ticks, %6.2f s\n", 280 + 256, 536 / 70.0);
    total += 536;
    printf("  the show: %ld ticks, %.1f s\n", total, total / 70.0);
    // two to three minutes
    EXPECT_GE(total, 120 * 70);
    EXPECT_LE(total, 180 * 70);
    // the first row is played by the first tick
    EXPECT_EQ(r.stage_end[0], 1);
    // stages that cross-fade or wipe for 256 ticks run at least that long, so every transition
    // finishes before the next stage shows its effect alone
    for (int k : {1, 2, 4, 6, 8, 12, 14, 16, 18, 20})
        EXPECT_GE(r.stage_end[k] - r.stage_end[k - 1], 256) << "stage " << k;
    printf("  the song stops after %ld ticks, %.1f s (%ld ticks into the last stage)\n", r.frozen_from,
           r.frozen_from / 70.0, r.frozen_from - r.stage_end[21]);
    // the song reaches order 24 row 60, then stops at order 25 row 63 and stays there
    ASSERT_GT(r.frozen_from, r.stage_end[21]);
    EXPECT_TRUE(r.stays_frozen);
    EXPECT_EQ(pt_getpos(), 2563);
    EXPECT_EQ(pt_speed, 0);
    // frozen within the last stage's four seconds and closing wipe
    EXPECT_LE(r.frozen_from - r.stage_end[21], 280 + 256);
}

TEST(MusicTimeline, KickGrowsTheBlobTrailsWhileTheyAreShown)
{
    const run& r = show();
    auto kicks_in = [&](long from, long to) {
        int n = 0;
        for (const event& e : r.kicks)
            n += e.tick > from && e.tick <= to;
        return n;
    };
    // stages 16 to 18 (orders 15 to 17): the trail grows with the kick from 60 ...
    long s16 = r.stage_end[15], s17 = r.stage_end[16], s18 = r.stage_end[17], s19 = r.stage_end[18];
    EXPECT_GE(kicks_in(s16, s17), 6);
    EXPECT_GE(kicks_in(s17, s18), 16);
    EXPECT_GE(kicks_in(s18, s19), 6);
    // ... by 10 a kick, and never reaches its limit of 450 while it is shown, so every kick of
    // these stages shows
    EXPECT_EQ(r.blob_size_at_stage_end.at(16), 60 + 10 * kicks_in(s16, s17));
    EXPECT_EQ(r.blob_size_at_stage_end.at(18), 60 + 10 * kicks_in(s16, s19));
    EXPECT_LT(r.blob_size_at_stage_end.at(18), 450);
    EXPECT_GE(r.blob_size_at_stage_end.at(18), 300);
    // every kick is on a row divisible by 4; the breakdown of order 16 has none for 32 rows
    int after = 0;
    for (const event& e : r.kicks) {
        EXPECT_EQ(e.row % 4, 0);
        EXPECT_FALSE(e.order == 16 && e.row < 32) << "kick at order 16 row " << e.row;
        after += e.order == 16 && e.row >= 32;
    }
    EXPECT_EQ(after, 8);
}

TEST(MusicTimeline, MirrorWaveFollowsTheSnareThenTheHats)
{
    const run& r = show();
    std::map<int, std::vector<int>> rows;  // order -> rows with a beat
    for (const event& e : r.beats) rows[e.order].push_back(e.row);
    // order 14, rows 0-31 (the cross-fade into the mirror): the snare alone, once a bar
    std::vector<int> first, second;
    for (int row : rows[14])
        (row < 32 ? first : second).push_back(row);
    EXPECT_EQ(first, (std::vector<int>{0, 8, 16, 24}));
    // rows 32-63 (the mirror alone): the closed hats, every eighth note
    EXPECT_GE(second.size(), 14u);
    for (int row : second) EXPECT_EQ(row % 2, 0);
    // order 15, rows 0-31 (mirror to blobs): hats on every half-time eighth
    EXPECT_EQ(std::count_if(rows[15].begin(), rows[15].end(), [](int row) { return row < 32; }), 16);
}
