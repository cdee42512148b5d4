// The loader, the replay (per effect, the device calls tick by tick; song flow) and sync events.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/sd_internal.h"
#include "sound/sync.h"
#include "tests/sound/pt_record.h"

namespace {

std::vector<uint32_t> handed(size_t k) {  // a sample as given to the device
    const pt_rec_sample& s = pt_rec.samples.at(k);
    return {uint32_t(s.i), s.length, s.loop_start, s.loop_end, uint32_t(s.looping), uint32_t(s.data - pt_rec.samples[0].data)};
}

TEST(PtLoad, TagsHeaderAndCells) {
    for (auto [tag, n] : {std::pair{"M.K.", 4}, {"12CH", 12}, {"OCTA", 8}, {"2CHN", 2}, {"32CH", 32}, {"M!K!", 4}}) {
        auto m = pt_mk_module{.tag = tag, .channels = n}.build();
        ASSERT_EQ(pt_rec_load(m), 1) << tag;
        EXPECT_TRUE(pt_rec.channels == std::vector<int32_t>{n} && pt_channels == n && !strcmp(pt_tag, tag)) << tag;
    }
    pt_mk_module mk{.songlen = 6, .restart = 127, .orders = {0, 1, 2, 3, 4, 5}};
    mk.orders.resize(100, 0), mk.orders.push_back(9);  // past the song length, still counts for the patterns
    // volume 200 reads as 64, loop word 1: not looping; no data: not handed over; a loop of 2 words
    mk.samples = {{8, 3, 200, 0, 1}, {0, 0, 10, 0, 0}, {16, 13, 40, 2, 2}};
    auto m = mk.build();
    // sample 0x13 no note; 856 sample 1; 113; 850 (the higher note); 27 (below the table); 3424;
    // sample 0x20 (past the table: 0) period 28; sample 0xff
    const uint8_t stored[8][4] = {{0x10, 0x00, 0x3C, 0x20}, {0x03, 0x58, 0x1F, 0}, {0x00, 0x71, 0, 0}, {0x03, 0x52, 0, 0},
                                  {0x00, 0x1b, 0, 0}, {0x0d, 0x60, 0, 0}, {0x20, 0x1c, 0, 0}, {0xf0, 0x00, 0xf0, 0}};
    const uint8_t want[8][4] = {{0x13, 84, 12, 0x20}, {1, 24, 15, 0}, {0, 59, 0, 0}, {0, 25, 0, 0},
                                {0, 84, 0, 0}, {0, 0, 0, 0}, {0, 83, 0, 0}, {0, 84, 0, 0}};
    memcpy(&m[1084], stored, sizeof stored);
    ASSERT_EQ(pt_rec_load(m), 1);
    EXPECT_EQ(0, memcmp(&m[1084], want, sizeof want));
    EXPECT_EQ((std::vector<int>{pt_songlen, pt_restart, pt_orders[100], pt_samples[1].volume, pt_samples[1].finetune,
                                pt_samples[1].length, pt_samples[3].finetune}), (std::vector<int>{6, 0, 9, 64, 3, 16, 13}));
    EXPECT_TRUE(pt_patterns[9] == m.data() + 1084 + 1024 * 9 && pt_patterns[10] == nullptr);
    ASSERT_EQ(pt_rec.samples.size(), 2u);
    EXPECT_EQ(pt_rec.samples[0].data, reinterpret_cast<const int8_t*>(m.data() + 1084 + 10 * 1024));
    EXPECT_EQ(handed(0), (std::vector<uint32_t>{1, 16, 0, 2, 0, 0}));
    EXPECT_EQ(handed(1), (std::vector<uint32_t>{3, 32, 4, 8, 1, 16}));
    EXPECT_EQ(pt_getpos(), -37);  // until the first tick; then order * 100 + row
    pt_order = 25;
    pt_row = 63;
    EXPECT_EQ(pt_getpos(), 2563);
    auto m2 = mk.build(), m3 = m2;
    ASSERT_EQ(pt_rec_load(m2), 1);
    for (int t = 0; t < 3; t++) pt_play();  // another module taken mid-row: the replay waits for the next row
    ASSERT_EQ(pt_takemod_sized(m3.data(), uint32_t(m3.size())), 1);
    EXPECT_EQ(pt_rec_tick(), "");
}

TEST(PtLoad, UntrustedModulesAreRefusedOrClipped) {
    auto whole = pt_mk_module{.samples = {{4, 0, 64, 0, 1}, {8, 0, 64, 0, 1}}, .cells = {{0, 0, 0, {1, 856, 0, 0}}}}.build();
    const char *too_short = "module too short!", *shorter = "module shorter than its header says!", *tag = "unknown module type!";
    struct row { size_t size; const char* tag; int order127; const char* msg; };
    for (const row& r : {row{0, "M.K.", 0, too_short}, {1083, "M.K.", 0, too_short}, {2000, "M.K.", 0, shorter},
                         {whole.size() - 1, "M.K.", 0, shorter}, {whole.size(), "\0\0\0\0", 0, tag}, {whole.size(), "STOP", 0, tag},
                         {whole.size(), "M.K ", 0, tag}, {whole.size(), "33CH", 0, tag},
                         {whole.size(), "M.K.", 128, "pattern number above 127!"}}) {
        auto m = whole;
        memcpy(&m[1080], r.tag, 4);
        auto before = (m[952 + 127] = uint8_t(r.order127), m);
        EXPECT_EQ(pt_rec_load(m, r.size), 0) << r.msg;
        EXPECT_EQ(pt_errmsg, "pt_takemod error: " + std::string(r.msg)) << r.size;
        EXPECT_TRUE(pt_channels == 0 && m == before && pt_rec.samples.empty() && pt_rec.channels.empty() && pt_getpos() == 0 &&
                    pt_rec_tick().empty()) << r.size << r.msg;  // nothing converted, handed over or played
    }
    auto ml = pt_mk_module{.songlen = 200}.build();  // a song length above 128 plays the 128 orders there are
    ASSERT_EQ(pt_rec_load(ml), 1);
    EXPECT_EQ(pt_songlen, 128);
    // 65536 bytes or more: cut to 65534, the next after all its bytes; a loop past the end cut there
    auto mh = pt_mk_module{.samples = {{0x9000, 0, 64, 0x8800, 0x0400}, {4, 0, 64, 0, 1}, {8, 0, 64, 4, 8}}}.build();
    ASSERT_EQ(pt_rec_load(mh), 1);
    EXPECT_EQ(handed(0), (std::vector<uint32_t>{1, 65534, 65534, 65534, 0, 0}));
    EXPECT_EQ(handed(1), (std::vector<uint32_t>{2, 8, 0, 2, 0, 0x12000}));
    EXPECT_EQ(handed(2), (std::vector<uint32_t>{3, 16, 8, 16, 1, 0x12008}));
}

// The table against its rule: a finetune step is 1/96 octave, a note 1/12. Entries 24..59 lie within
// 0.7 of 856 x 2^-(note/12 + finetune/96) (rows 0 and -8, hand-tuned: 1.5); below, row 0 is 4 and 2 x
// entries 24..35, others divide 4 x entry 24 by 2^(1/12) a note, rounding down; above, entries 48..59
// are halved and quartered (finetune -3: 55 at 72); 84 repeats 83.
TEST(PtLoad, PeriodTableFollowsTheTuningRule) {
    for (int r = 0; r < 16; r++) {
        const uint16_t* t = pt_period_table[r];
        const int ft = r < 8 ? r : r - 16;
        for (int n = 24; n < 60; n++)
            EXPECT_NEAR(t[n], 856 * std::exp2(-(n - 24) / 12.0 - ft / 96.0), ft == 0 || ft == -8 ? 1.5 : 0.7) << r << "," << n;
        EXPECT_TRUE(t[0] == 4 * t[24] && t[84] == t[83]) << r;
        for (int n = 1; n < 24; n++)
            EXPECT_EQ(t[n], r == 0 ? (n < 12 ? 4 : 2) * t[24 + n % 12] : int(t[0] * std::exp2(-n / 12.0) + 1e-9)) << r << "," << n;
        for (int n = 60; n < 84; n++)
            EXPECT_EQ(t[n], r == 13 && n == 72 ? 55 : t[48 + n % 12] / (n < 72 ? 2 : 4)) << r << "," << n;
    }
    for (int n = 25; n < 60; n++)  // finetune -8 is a semitone below 0 (but 340 at 41)
        EXPECT_EQ(pt_period_table[8][n], n == 41 ? 340 : pt_period_table[0][n - 1]) << n;
}

std::vector<uint8_t> held;

// Orders 0, 1, 2 with `cells`. Samples: 1 volume 40, 2 finetune -3, 3 finetune -8, 4 volume 32, 5.
void start(std::vector<pt_mk_module::put> cells, int speed, int channels = 4, int songlen = 3, int restart = 0) {
    held = pt_mk_module{.tag = channels == 2 ? "2CHN" : "M.K.", .channels = channels, .songlen = songlen, .restart = restart,
                        .orders = {0, 1, 2}, .samples = {{8, 0, 40, 0, 1}, {8, 13, 64, 0, 1}, {8, 8, 64, 0, 1}, {8, 0, 32, 0, 1}, {4, 0, 64, 0, 1}},
                        .cells = cells}.build();
    ASSERT_EQ(pt_rec_load(held), 1);
    pt_speed = speed ? speed : pt_speed;
}

using range = std::pair<int32_t, int32_t>;
const range any{-1, -1};

sync_record rec(range chan, range sample, range effect, range param, int32_t div, range rem, range tick) {
    return {chan.first, chan.second, sample.first, sample.second, -1, -1, effect.first, effect.second,
            param.first, param.second, -1, -1, div, rem.first, rem.second, tick.first, tick.second};
}

std::string sync_log;

// Per case: channel 0's rows from row 0, and its calls (between "c0" and "c1") per tick.
TEST(PtPlay, EffectsTickByTick) {
    struct effect_case { const char* name; int speed; std::vector<pt_mk_cell> rows; std::vector<const char*> ticks; };
    const effect_case cases[] = {
        {"sample without note", 2, {{1, 0, 0, 0}}, {"v40 p112 i1", ""}}, {"note without sample", 2, {{0, 428, 0, 0}}, {"P428 o0", ""}},
        {"904 with note", 2, {{1, 428, 9, 4}}, {"v40 p112 i1 P428 o1024", ""}}, {"902 without note", 2, {{0, 0, 9, 2}}, {"o512", ""}},
        {"880 pan", 2, {{1, 428, 8, 0x80}}, {"v40 i1 P428 o0 p128", ""}},
        {"C50 caps at 64", 2, {{1, 428, 12, 0x50}}, {"p112 i1 P428 o0 v64", ""}},
        {"1FF floors at 27", 2, {{1, 113, 0, 0}, {0, 0, 1, 0xFF}}, {"v40 p112 i1 P113 o0", "", "", "P27"}},
        {"2FF tops at 3628", 2, {{2, 3424, 2, 0xFF}}, {"v64 p112 i2 P3500 o0", "P3628"}},
        {"E12 fine up", 2, {{1, 428, 14, 0x12}}, {"v40 p112 i1 P428 o0 P427", ""}},
        {"E22 at 3628", 2, {{3, 3424, 14, 0x22}}, {"v64 p112 i3 P3628 o0", ""}},
        {"E11 at 28 reaches 27", 2, {{1, 28, 14, 0x11}}, {"v40 p112 i1 P28 o0 P27", ""}},
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
        pt_tick = ec.speed - 1, pt_chan[0].gliss = 0;  // pt_init keeps the glissando flag of an earlier song
        for (size_t t = 0; t < ec.ticks.size(); t++) {
            std::string s = pt_rec_tick();
            size_t end = s.rfind(" c1");
            ASSERT_TRUE(s.starts_with("c0") && end != std::string::npos) << ec.name;
            EXPECT_EQ(end > 3 ? s.substr(3, end - 3) : "", ec.ticks[t]) << ec.name << ", tick " << t;
        }
    }
    EXPECT_EQ(std::exchange(pt_default_pan[0], 7), 3);  // nothing else resets it
}

// Plays ticks; "order:row" at every tick 0 that moved, runs within an order as "order:first..last".
std::string row_starts(int ticks) {
    std::string out;
    int32_t last = pt_getpos(), order = -2, row = -2, run = 0;
    for (int t = 0; t < ticks; t++, last = pt_getpos()) {
        pt_play();
        if (pt_tick != 0 || pt_getpos() == last) continue;
        if (!(run = pt_order == order && pt_row == row + 1))
            out += (out.empty() ? "" : " ") + std::to_string(pt_order) + ":" + std::to_string(pt_row);
        else if (out.ends_with(".." + std::to_string(row)))
            out.resize(out.size() - 2 - std::to_string(row).size());
        if (run) out += ".." + std::to_string(pt_row);
        order = pt_order, row = pt_row;
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
    for (const flow_case& c : cases) EXPECT_EQ((start(c.cells, c.speed, 4, c.songlen, c.restart), row_starts(c.ticks)), c.want) << c.name;
    EXPECT_EQ(pt_bpm, 150);
    // F00 stops: the position stays and each tick repeats the row's tick 0
    start({{0, 2, 0, {1, 428, 15, 0}}}, 0);
    for (int t = 0; t < 13; t++) pt_play();
    for (int t = 0; t < 3; t++) EXPECT_TRUE(pt_rec_tick() == "c0 v40 p112 i1 P428 o0 c1 c2 c3" && pt_getpos() == 2 && pt_tick == 0);
}

TEST(Sync, RegistryAndDispatch) {
    // kick: sample 4 on rows 0 mod 4; beat: sample 3 on rows 0 mod 8, or sample 5 on even rows; tick 1
    static const sync_record kick[1] = {rec(any, {4, 4}, any, any, 4, {0, 0}, {1, 1})};
    static const sync_record beat[2] = {rec(any, {3, 3}, any, any, 8, {0, 0}, {1, 1}), rec(any, {5, 5}, any, any, 2, {0, 0}, {1, 1})};
    static const sync_handler hk = {[] { sync_log += 'k'; }, 1, kick}, hb = {[] { sync_log += 'b'; }, 2, beat};
    sync_count = 0;
    int32_t first = sync_register(&hk);
    EXPECT_EQ(sync_register(&hb), first + 1);
    // sample 4 on channel 2 row 0, channel 0 row 1; samples 3 and 5 on channels 1 and 3 row 4
    start({{0, 0, 2, {4, 428, 0, 0}}, {0, 1, 0, {4, 428, 0, 0}}, {0, 4, 1, {3, 0, 0, 0}}, {0, 4, 3, {5, 0, 0, 0}}}, 2);
    pt_tick = 1;
    std::string want;
    for (int r = 0; r < 17; r++) want += std::string(r % 4 == 0, 'k') + std::string(r >= 4 && r % 2 == 0, 'b') + " ";  // once each
    for (int t = 0; t < 34; t++) pt_play(), sync_dispatch(), sync_log += pt_tick == 1 ? " " : "";
    EXPECT_EQ(sync_log, want);
    sync_count = 0;  // as the menu empties it; 1024 handlers at most
    for (int i = 0; i < 1024; i++) ASSERT_NE(sync_register(&hb), 0);
    EXPECT_TRUE(sync_register(&hk) == 0 && sync_count == 1024);
    sync_count = 0;
}

}  // namespace
