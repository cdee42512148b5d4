// Replay: per effect, the device calls tick by tick; song flow; sync events on the replay.
#include <gtest/gtest.h>

#include "sound/sd_internal.h"
#include "sound/sync.h"
#include "tests/sound/pt_record.h"

namespace {

std::vector<uint8_t> held;

// Orders 0, 1, 2 with `cells`. Samples: 1 volume 40, 2 finetune -3, 3 finetune -8, 4 volume 32, 5.
void start(std::vector<pt_mk_module::put> cells, int speed, int channels = 4, int songlen = 3, int restart = 0) {
    held = pt_mk_module{.tag = channels == 2 ? "2CHN" : "M.K.", .channels = channels, .songlen = songlen, .restart = restart,
                        .orders = {0, 1, 2}, .samples = {{8, 0, 40, 0, 1}, {8, 13, 64, 0, 1}, {8, 8, 64, 0, 1}, {8, 0, 32, 0, 1}, {4, 0, 64, 0, 1}},
                        .cells = cells}.build();
    ASSERT_EQ(pt_rec_load(held), 1);
    if (speed) pt_speed = speed;
}

}  // namespace

// Per case: channel 0's rows from row 0, and its calls (between "c0" and "c1") per tick.
TEST(PtPlay, EffectsTickByTick) {
    struct effect_case { const char* name; int speed; std::vector<pt_mk_cell> rows; std::vector<const char*> ticks; };
    const effect_case cases[] = {
        {"sample without note", 2, {{1, 0, 0, 0}}, {"v40 p112 i1", ""}},
        {"note without sample", 2, {{0, 428, 0, 0}}, {"P428 o0", ""}},
        {"904 with note", 2, {{1, 428, 9, 4}}, {"v40 p112 i1 P428 o1024", ""}},
        {"902 without note", 2, {{0, 0, 9, 2}}, {"o512", ""}},
        {"880 pan", 2, {{1, 428, 8, 0x80}}, {"v40 i1 P428 o0 p128", ""}},
        {"C50 caps at 64", 2, {{1, 428, 12, 0x50}}, {"p112 i1 P428 o0 v64", ""}},
        {"1FF floors at 27", 2, {{1, 113, 0, 0}, {0, 0, 1, 0xFF}}, {"v40 p112 i1 P113 o0", "", "", "P27"}},
        {"2FF tops at 3628", 2, {{2, 3424, 2, 0xFF}}, {"v64 p112 i2 P3500 o0", "P3628"}},
        {"E12 fine up", 2, {{1, 428, 14, 0x12}}, {"v40 p112 i1 P428 o0 P427", ""}},
        {"E22 at 3628", 2, {{3, 3424, 14, 0x22}}, {"v64 p112 i3 P3628 o0", ""}},
        {"E11 at 28 reaches 27", 2, {{1, 28, 14, 0x11}}, {"v40 p112 i1 P28 o0 P27", ""}},
        {"E11 at 27", 2, {{1, 113, 0, 0}, {0, 0, 1, 0xFF}, {0, 0, 14, 0x11}}, {"v40 p112 i1 P113 o0", "", "", "P27", "", ""}},
        {"310", 3, {{1, 428, 0, 0}, {0, 453, 3, 0x10}, {0, 0, 3, 0}}, {"v40 p112 i1 P428 o0", "", "", "", "P444", "P453", "", "P453", "P453"}},
        {"glissando snaps to a semitone", 3, {{1, 428, 14, 0x31}, {0, 480, 3, 0x08}}, {"v40 p112 i1 P428 o0", "", "", "", "P453", "P453"}},
        {"5xy: remembered speed, no glissando", 2, {{1, 428, 14, 0x31}, {0, 856, 3, 0x20}, {0, 0, 5, 0x01}}, {"v40 p112 i1 P428 o0", "", "", "P480", "", "P492 v39"}},
        {"portamento with no note sends 1", 2, {{0, 0, 3, 0x10}}, {"", "P1"}},
        {"arpeggio 037", 6, {{1, 856, 0, 0x37}}, {"v40 p112 i1 P856 o0 P856", "P720", "P570", "P856", "P720", "P570"}},
        {"arpeggio past the table", 3, {{1, 28, 0, 0x12}}, {"v40 p112 i1 P28 o0 P28", "P28", "P28"}},
        {"arpeggio after E58 uses finetune -8", 2, {{1, 428, 14, 0x58}, {0, 0, 0, 0x30}}, {"v40 p112 i1 P428 o0", "", "P453", "P381"}},
        {"6xy keeps depth and speed", 2, {{1, 428, 4, 0xA8}, {0, 0, 6, 0x02}}, {"v40 p112 i1 P428 o0", "P428", "", "P441 v38"}},
        {"vibrato below 1 sends 1", 6, {{1, 28, 4, 0xCF}}, {"v40 p112 i1 P28 o0", "P28", "P55", "P49", "P17", "P1"}},
        {"tremolo 782", 4, {{4, 428, 7, 0x82}}, {"v32 p112 i4 P428 o0", "v32", "v37", "v40"}},
        {"E71 ramp tremolo", 3, {{4, 428, 14, 0x71}, {0, 0, 7, 0x82}}, {"v32 p112 i4 P428 o0", "", "", "", "v40", "v38"}},
        {"AF1 raises by 15", 3, {{1, 428, 12, 10}, {0, 0, 10, 0xF1}}, {"p112 i1 P428 o0 v10", "", "", "", "v25", "v40"}},
        {"EA1, EB1", 2, {{1, 428, 14, 0xA1}, {0, 0, 14, 0xB1}, {0, 0, 12, 64}, {0, 0, 14, 0xA1}}, {"v40 p112 i1 P428 o0 v41", "", "v40", "", "v64", "", "", ""}},
        {"EB1 at 0", 2, {{1, 0, 12, 0}, {0, 0, 14, 0xB1}}, {"p112 i1 v0", "", "", ""}},
        {"E93 retriggers", 6, {{1, 428, 14, 0x93}}, {"v40 p112 i1 P428 o0", "", "", "v40 P428 o0", "", ""}},
        {"EC9 cuts on the last tick", 4, {{1, 428, 14, 0xC9}}, {"v40 p112 i1 P428 o0", "", "", "v0"}},
        {"EC0 never cuts", 3, {{1, 428, 14, 0xC0}}, {"v40 p112 i1 P428 o0", "", ""}},
        {"ED9 on the last tick", 4, {{1, 428, 14, 0xD9}}, {"v40 p112 i1", "", "", "v40 P428 o0"}},
        {"ED0 plays nothing", 3, {{1, 428, 14, 0xD0}}, {"v40 p112 i1", "", ""}},
        {"E83 default pan", 2, {{0, 0, 14, 0x83}, {1, 428, 0, 0}}, {"p48", "", "v40 p48 i1 P428 o0", ""}},
    };
    for (const effect_case& ec : cases) {
        std::vector<pt_mk_module::put> cells;
        for (size_t r = 0; r < ec.rows.size(); r++) cells.push_back({0, int(r), 0, ec.rows[r]});
        start(cells, ec.speed, 2);
        pt_tick = ec.speed - 1;
        pt_chan[0].gliss = 0;  // pt_init keeps the glissando flag of an earlier song
        for (size_t t = 0; t < ec.ticks.size(); t++) {
            std::string s = pt_rec_tick();
            size_t end = s.rfind(" c1");
            ASSERT_TRUE(s.starts_with("c0") && end != std::string::npos) << ec.name;
            EXPECT_EQ(end > 3 ? s.substr(3, end - 3) : "", ec.ticks[t]) << ec.name << ", tick " << t;
        }
    }
    EXPECT_EQ(pt_default_pan[0], 3);  // nothing else resets it
    pt_default_pan[0] = 7;
    // E43: the wave for all channels, the position restarted on its channel only
    start({{0, 0, 0, {1, 428, 4, 0x88}}, {0, 0, 1, {1, 428, 4, 0x88}}, {0, 2, 0, {0, 0, 14, 0x43}}}, 0);
    for (int t = 0; t < 18; t++) pt_play();
    EXPECT_TRUE(pt_chan[0].vib_pos == 0 && pt_chan[1].vib_pos == 40 && pt_vib_wave == pt_wave_random);
    pt_chan[5].vib_depth = 3, pt_chan[5].pan = 77, pt_chan[5].gliss = 1;
    pt_default_pan[5] = 2;
    pt_init();  // keeps pan, glissando and default pan
    EXPECT_EQ((std::vector<int>{pt_chan[5].pan, pt_chan[5].gliss, pt_chan[5].vib_depth, pt_default_pan[5]}),
              (std::vector<int>{77, 1, 0, 2}));
    pt_chan[5] = {};
}

// Plays ticks; "order:row" at every tick 0 that moved, runs within an order as "order:first..last".
std::string row_starts(int ticks) {
    std::string out;
    int32_t last = pt_getpos(), order = -2, row = -2;
    bool run = false;
    for (int t = 0; t < ticks; t++, last = pt_getpos()) {
        pt_play();
        if (pt_tick != 0 || pt_getpos() == last) continue;
        if (!(run = pt_order == order && pt_row == row + 1))
            out += (out.empty() ? "" : " ") + std::to_string(pt_order) + ":" + std::to_string(pt_row);
        else if (out.ends_with(".." + std::to_string(row)))
            out.resize(out.size() - 2 - std::to_string(row).size());
        if (run) out += ".." + std::to_string(pt_row);
        order = pt_order;
        row = pt_row;
    }
    return out;
}

TEST(PtPlay, BreaksJumpsLoopsAndSongEnd) {
    struct flow_case { const char* name; std::vector<pt_mk_module::put> cells; int speed, songlen, restart, ticks; const char* want; };
    const flow_case cases[] = {
        {"D23: row 63 for the rest of the row", {{0, 1, 2, {0, 0, 13, 0x23}}}, 1, 3, 0, 3, "0:0 0:63 1:23"},
        {"D99: the next pattern's top", {{0, 0, 0, {0, 0, 13, 0x99}}}, 1, 3, 0, 2, "0:63 1:0"},
        {"B05 past the song: the restart", {{0, 0, 0, {0, 0, 11, 5}}}, 2, 3, 1, 3, "4:63 1:0"},
        {"B02 with D05", {{0, 0, 0, {0, 0, 11, 2}}, {0, 0, 1, {0, 0, 13, 0x05}}}, 1, 3, 0, 2, "1:63 2:5"},
        // the song length counts only when a pattern ends
        {"B03 and a loop back", {{0, 0, 0, {0, 0, 14, 0x60}}, {0, 1, 0, {0, 0, 11, 3}}, {0, 1, 1, {0, 0, 14, 0x61}}}, 1, 2, 1, 67, "0:0 2:-1..63 1:0"},
        {"B00 and a loop", {{0, 1, 0, {0, 0, 11, 0}}, {0, 1, 1, {0, 0, 14, 0x61}}}, 1, 2, 1, 3, "0:0 -1:-1 1:0"},
        {"BFF and a loop", {{0, 1, 0, {0, 0, 11, 0xFF}}, {0, 1, 1, {0, 0, 14, 0x61}}}, 1, 2, 1, 3, "0:0 254:-1 1:0"},
        {"E60 row 8, E62 row 12", {{0, 8, 0, {0, 0, 14, 0x60}}, {0, 12, 0, {0, 0, 14, 0x62}}}, 1, 3, 0, 24, "0:0..11 0:7..11 0:7..13"},
        {"F03, F96, D00 at the end of order 1", {{0, 0, 0, {0, 0, 15, 3}}, {0, 0, 1, {0, 0, 15, 0x96}}, {1, 63, 0, {0, 0, 13, 0}}}, 0, 2, 1, 3 * 130, "0:0..63 1:0..63 1:0..1"},
    };
    for (const flow_case& c : cases) {
        start(c.cells, c.speed, 4, c.songlen, c.restart);
        EXPECT_EQ(row_starts(c.ticks), c.want) << c.name;
    }
    EXPECT_EQ(pt_bpm, 150);
    // EE2 at speed 6: 18 ticks, later-tick effects on 15, the two extra tick-0s play nothing
    start({{0, 0, 0, {1, 428, 12, 40}}, {0, 1, 0, {0, 0, 10, 0x01}}, {0, 1, 1, {0, 0, 14, 0xE2}}}, 0);
    for (int t = 0; t < 6; t++) pt_play();
    int ticks = 0, slides = 0, empty = 0;
    for (std::string s; s = pt_rec_tick(), pt_row == 1; ticks++) {
        slides += s.find(" v") != std::string::npos;
        empty += s.empty();
    }
    EXPECT_EQ((std::vector<int>{ticks, slides, empty, pt_chan[0].volume}), (std::vector<int>{18, 15, 2, 25}));
    // F00 stops: the position stays and each tick repeats the row's tick 0
    start({{0, 2, 0, {1, 428, 15, 0}}}, 0);
    for (int t = 0; t < 13; t++) pt_play();
    for (int t = 0; t < 3; t++) {
        EXPECT_EQ(pt_rec_tick(), "c0 v40 p112 i1 P428 o0 c1 c2 c3");
        EXPECT_EQ(pt_getpos() * 10 + pt_tick, 20);
    }
}

namespace {

using range = std::pair<int32_t, int32_t>;
const range any{-1, -1};

sync_record rec(range chan, range sample, range effect, range param, int32_t div, range rem, range tick) {
    return {chan.first, chan.second, sample.first, sample.second, -1, -1, effect.first, effect.second,
            param.first, param.second, -1, -1, div, rem.first, rem.second, tick.first, tick.second};
}

int calls_a, calls_b;

}  // namespace

TEST(Sync, RegistryAndDispatch) {
    sync_count = 0;
    // beat: sample 3 on rows 0 mod 8, or sample 5 on even rows; kick: sample 4 on rows 0 mod 4
    static const sync_record beat[2] = {rec(any, {3, 3}, any, any, 8, {0, 0}, {1, 1}), rec(any, {5, 5}, any, any, 2, {0, 0}, {1, 1})};
    static const sync_record kick[1] = {rec(any, {4, 4}, any, any, 4, {0, 0}, {1, 1})};
    static const sync_handler hb = {[] { calls_b++; }, 2, beat}, hk = {[] { calls_a++; }, 1, kick};
    int32_t first = sync_register(&hk), second = sync_register(&hb);
    EXPECT_EQ(second, first + 1);
    // sample 4 on channel 2 row 0, channel 0 row 1; samples 3 and 5 on channels 1 and 3 row 4
    start({{0, 0, 2, {4, 428, 0, 0}}, {0, 1, 0, {4, 428, 0, 0}}, {0, 4, 1, {3, 0, 0, 0}}, {0, 4, 3, {5, 0, 0, 0}}}, 2);
    pt_tick = 1;
    std::vector<std::pair<int, int>> per_row, want;
    for (int t = 0; t < 2 * 17; t++) {
        calls_a = calls_b = 0;
        pt_play();
        sync_dispatch();
        if (pt_tick == 1) per_row.push_back({calls_a, calls_b});
        else EXPECT_EQ(calls_a + calls_b, 0);
    }
    for (int r = 0; r < 17; r++) want.push_back({r % 4 == 0, r >= 4 && r % 2 == 0});  // once where both match
    EXPECT_EQ(per_row, want);
    sync_count = 0;  // as the menu empties it; ids keep counting; 1024 handlers at most
    EXPECT_EQ(sync_register(&hk), second + 1);
    for (int i = 1; i < 1024; i++) ASSERT_NE(sync_register(&hb), 0);
    int32_t next = sync_nextid;
    EXPECT_EQ(sync_register(&hk), 0);
    EXPECT_EQ((std::vector<int>{sync_count, sync_nextid}), (std::vector<int>{1024, next}));
    sync_count = 0;
}
