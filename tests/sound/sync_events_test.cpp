// Sync events: records against the player's state, dispatch order, the registry.
#include <gtest/gtest.h>

#include "sound/sd_internal.h"
#include "sound/sync.h"
#include "tests/sound/pt_record.h"

namespace {

using range = std::pair<int32_t, int32_t>;
const range any{-1, -1};

sync_record rec(range chan, range sample, range effect, range param, int32_t div, range rem, range tick) {
    return {chan.first, chan.second, sample.first, sample.second, -1, -1, effect.first, effect.second,
            param.first, param.second, -1, -1, div, rem.first, rem.second, tick.first, tick.second};
}

std::vector<uint8_t> module_image;

// A 4-channel song at `speed`: sample 4 on channel 2 at row 0 and on channel 0 at row 1, C40 on
// channel 3 at row 2, sample 3 on channel 1 and sample 5 on channel 3 at row 4, EE1 where asked.
void start_song(int speed, bool delay = false) {
    pt_mk_module mk;
    mk.samples.resize(5, {4, 0, 64, 0, 1});
    mk.cells = {{0, 0, 2, {4, 428, 0, 0}}, {0, 1, 0, {4, 428, 0, 0}}, {0, 2, 3, {0, 0, 12, 0x40}},
                {0, 4, 1, {3, 0, 0, 0}},   {0, 4, 3, {5, 0, 0, 0}}};
    if (delay) mk.cells = {{0, 0, 0, {0, 0, 14, 0xE1}}};
    module_image = mk.build();
    pt_rec_install();
    ASSERT_EQ(pt_start_sized(module_image.data(), uint32_t(module_image.size())), 1);
    pt_speed = speed;
    pt_tick = speed - 1;
}

// Plays ticks and lists "row.tick" of those after which the record matches.
std::string matches(const sync_record& r, int ticks) {
    std::string out;
    for (int t = 0; t < ticks; t++) {
        pt_play();
        if (sync_match(&r)) out += (out.empty() ? "" : " ") + std::to_string(pt_row) + "." + std::to_string(pt_tick);
    }
    return out;
}

int calls_a, calls_b;

}  // namespace

TEST(SyncMatch, RangesOverThePlayersState) {
    EXPECT_EQ((std::vector<int>{sync_inrange(5, 1, 4), sync_inrange(5, 9, -1), sync_inrange(4, 4, 4)}),
              (std::vector<int>{0, 1, 1}));
    struct {
        const char* name;
        sync_record r;
        int speed, ticks;
        const char* want;
    } cases[] = {
        {"tick 0 of every row", rec(any, any, any, any, 1, any, {0, 0}), 2, 6, "0.0 1.0 2.0"},
        {"channels 2..3 with sample 4", rec({2, 3}, {4, 4}, any, any, 1, any, {0, 0}), 1, 3, "0.0 1.0 2.0"},
        {"channel 0 with sample 4: from row 1", rec({0, 0}, {4, 4}, any, any, 1, any, any), 1, 3, "1.0 2.0"},
        {"C40 on every tick of its row only", rec(any, any, {12, 12}, {64, 64}, 1, any, any), 2, 8, "2.0 2.1"},
        {"even rows, tick 1", rec(any, any, any, any, 2, {0, 0}, {1, 1}), 2, 10, "0.1 2.1 4.1"},
        {"a divisor of 0 matches nothing", rec(any, any, any, any, 0, {0, 0}, any), 1, 3, ""},
    };
    for (auto& c : cases) {
        start_song(c.speed);
        EXPECT_EQ(matches(c.r, c.ticks), c.want) << c.name;
    }
    // the extra tick-0 of a pattern delay matches too: EE1 at speed 2 shows row 0's tick 0 twice
    start_song(2, true);
    EXPECT_EQ(matches(rec(any, any, any, any, 1, any, {0, 0}), 6), "0.0 0.0 1.0");
    // no module: nothing matches, whatever the state
    memcpy(&module_image[1080], "XXXX", 4);
    EXPECT_EQ(pt_start_sized(module_image.data(), uint32_t(module_image.size())), 0);
    EXPECT_EQ(sync_match(&cases[0].r), 0);
}

TEST(SyncDispatch, RegistryAndCallbacks) {
    sync_count = 0;
    // beat: sample 3 on rows 0 mod 8, or sample 5 on even rows; kick: sample 4 on rows 0 mod 4
    static const sync_record beat[2] = {rec(any, {3, 3}, any, any, 8, {0, 0}, {1, 1}),
                                        rec(any, {5, 5}, any, any, 2, {0, 0}, {1, 1})};
    static const sync_record kick[1] = {rec(any, {4, 4}, any, any, 4, {0, 0}, {1, 1})};
    static const sync_handler hb = {[] { calls_b++; }, 2, beat}, hk = {[] { calls_a++; }, 1, kick};
    int32_t first = sync_register(&hk), second = sync_register(&hb);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(sync_table[0], &hk);
    start_song(2);
    std::vector<std::pair<int, int>> per_row, want;
    for (int t = 0; t < 2 * 17; t++) {
        calls_a = calls_b = 0;
        pt_play();
        sync_dispatch();
        if (pt_tick == 1) per_row.push_back({calls_a, calls_b});
        else EXPECT_EQ(calls_a + calls_b, 0);
    }
    // kick from row 0 (channel 2 has sample 4); beat from row 4, called once where both match
    for (int r = 0; r < 17; r++) want.push_back({r % 4 == 0, r >= 4 && r % 2 == 0});
    EXPECT_EQ(per_row, want);
    // the menu empties the registry; ids keep counting; 1024 handlers at most
    sync_count = 0;
    EXPECT_EQ(sync_register(&hk), second + 1);
    for (int i = 1; i < 1024; i++) ASSERT_NE(sync_register(&hb), 0);
    int32_t next = sync_nextid;
    EXPECT_EQ(sync_register(&hk), 0);
    EXPECT_EQ(sync_count, 1024);
    EXPECT_EQ(sync_nextid, next);
    sync_count = 0;
}
