// Sync events: records against the player's state, dispatch order, the registry.
#include <gtest/gtest.h>

#include "sound/sync.h"
#include "sound/sd_internal.h"
#include "tests/sound/pt_record.h"

namespace {

constexpr sync_record any = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, -1, -1};

std::vector<uint8_t> module_image;

// A 4-channel module at the given speed: sample 4 on channel 2 at row 0, sample 4 on channel 0
// at row 1, C40 on channel 3 at row 2, sample 3 on channel 1 and sample 5 on channel 3 at row 4.
void start_song(int speed)
{
    pt_mk_module mk;
    mk.samples.resize(5, {4, 0, 64, 0, 1});
    mk.cells = {{0, 0, 2, {4, 428, 0, 0}},
                {0, 1, 0, {4, 428, 0, 0}},
                {0, 2, 3, {0, 0, 12, 0x40}},
                {0, 4, 1, {3, 0, 0, 0}},
                {0, 4, 3, {5, 0, 0, 0}}};
    module_image = mk.build();
    pt_rec_install();
    ASSERT_EQ(pt_start_sized(module_image.data(), uint32_t(module_image.size())), 1);
    pt_speed = speed;
    pt_tick = speed - 1;
}

// Plays ticks and lists "row.tick" of those after which the record matches.
std::string matches(const sync_record& r, int ticks)
{
    std::string out;
    for (int t = 0; t < ticks; t++) {
        pt_play();
        if (sync_match(&r))
            out += (out.empty() ? "" : " ") + std::to_string(pt_row) + "." + std::to_string(pt_tick);
    }
    return out;
}

int calls_a, calls_b;

}  // namespace

TEST(SyncMatch, RangesOverThePlayersState)
{
    EXPECT_EQ(sync_inrange(5, 1, 4), 0);
    EXPECT_EQ(sync_inrange(5, 9, -1), 1);
    EXPECT_EQ(sync_inrange(4, 4, 4), 1);

    struct {
        const char* name;
        sync_record r;
        int speed;
        int ticks;
        const char* want;
    } cases[] = {
        {"tick 0 of every row", {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, 0, 0}, 2, 6,
         "0.0 1.0 2.0"},
        {"channels 2..3 with sample 4", {2, 3, 4, 4, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, 0, 0}, 1, 3,
         "0.0 1.0 2.0"},
        {"channel 0 with sample 4: from row 1", {0, 0, 4, 4, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, -1, -1},
         1, 3, "1.0 2.0"},
        {"C40 on every tick of its row only", {-1, -1, -1, -1, -1, -1, 12, 12, 64, 64, -1, -1, 1, -1, -1, -1, -1},
         2, 8, "2.0 2.1"},
        {"even rows, tick 1", {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 2, 0, 0, 1, 1}, 2, 10,
         "0.1 2.1 4.1"},
        {"a divisor of 0 matches nothing", {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, -1, -1},
         1, 3, ""},
    };
    for (auto& c : cases) {
        start_song(c.speed);
        EXPECT_EQ(matches(c.r, c.ticks), c.want) << c.name;
    }

    // the extra tick-0s of a pattern delay match too: row 0 with EE1 at speed 2 shows
    // tick 0 twice
    pt_mk_module mk;
    mk.cells = {{0, 0, 0, {0, 0, 14, 0xE1}}};
    module_image = mk.build();
    ASSERT_EQ(pt_start_sized(module_image.data(), uint32_t(module_image.size())), 1);
    pt_speed = 2;
    pt_tick = 1;
    EXPECT_EQ(matches({-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, 0, 0}, 6),
              "0.0 0.0 1.0");

    // no module: nothing matches, whatever the state
    pt_mk_module bad;
    auto mb = bad.build();
    memcpy(&mb[1080], "XXXX", 4);
    EXPECT_EQ(pt_start_sized(mb.data(), uint32_t(mb.size())), 0);
    EXPECT_EQ(sync_match(&any), 0);
}

TEST(SyncDispatch, RegistryAndCallbacks)
{
    sync_count = 0;
    // sample 3 on rows 0 mod 8, or sample 5 on even rows: tick 1 each
    static const sync_record beat[2] = {{-1, -1, 3, 3, -1, -1, -1, -1, -1, -1, -1, -1, 8, 0, 0, 1, 1},
                                        {-1, -1, 5, 5, -1, -1, -1, -1, -1, -1, -1, -1, 2, 0, 0, 1, 1}};
    static const sync_record kick[1] = {{-1, -1, 4, 4, -1, -1, -1, -1, -1, -1, -1, -1, 4, 0, 0, 1, 1}};
    static const sync_handler hb = {[] { calls_b++; }, 2, beat};
    static const sync_handler hk = {[] { calls_a++; }, 1, kick};
    int32_t first = sync_register(&hk);
    int32_t second = sync_register(&hb);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(sync_table[0], &hk);

    start_song(2);
    std::vector<std::pair<int, int>> per_row;
    for (int t = 0; t < 2 * 17; t++) {
        calls_a = calls_b = 0;
        pt_play();
        sync_dispatch();
        if (pt_tick == 1)
            per_row.push_back({calls_a, calls_b});
        else
            EXPECT_EQ(calls_a + calls_b, 0);
    }
    // kick: rows 0, 4, 8, ... from row 0 (channel 2 has sample 4);
    // beat: rows 4 onward, both records match on rows 8 and 16 but it is called once
    std::vector<std::pair<int, int>> want;
    for (int r = 0; r < 17; r++)
        want.push_back({r % 4 == 0, r >= 4 && r % 2 == 0});
    EXPECT_EQ(per_row, want);

    // the menu empties the registry; ids keep counting
    sync_count = 0;
    EXPECT_EQ(sync_register(&hk), second + 1);
    for (int i = 1; i < 1024; i++)
        ASSERT_NE(sync_register(&hb), 0);
    EXPECT_EQ(sync_count, 1024);
    int32_t next = sync_nextid;
    EXPECT_EQ(sync_register(&hk), 0);
    EXPECT_EQ(sync_count, 1024);
    EXPECT_EQ(sync_nextid, next);
    sync_count = 0;
}
