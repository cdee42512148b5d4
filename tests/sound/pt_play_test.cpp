// Replay tick: per effect, the device calls tick by tick; then timing and song flow.
#include <gtest/gtest.h>

#include "tests/sound/pt_record.h"

namespace {

// Samples of the effect modules: 1 volume 40 finetune 0, 2 volume 64 finetune -3,
// 3 volume 64 finetune -8, 4 volume 32 finetune 0.
std::vector<pt_mk_sample> effect_samples()
{
    return {{8, 0, 40, 0, 1}, {8, 13, 64, 0, 1}, {8, 8, 64, 0, 1}, {8, 0, 32, 0, 1}};
}

struct effect_case {
    const char* name;
    int speed;
    std::vector<pt_mk_cell> rows;    // channel 0, rows 0, 1, ...
    std::vector<const char*> ticks;  // channel 0's calls after its select_channel, per tick
};

std::vector<uint8_t> held;

// Plays each case's rows on channel 0 of a two-channel module at its speed and compares channel
// 0's calls of each tick (what lies between "c0" and channel 1's "c1").
void expect_cases(const std::vector<effect_case>& cases)
{
    for (const effect_case& ec : cases) {
        pt_mk_module mk;
        mk.tag = "2CHN";
        mk.channels = 2;
        mk.samples = effect_samples();
        for (size_t r = 0; r < ec.rows.size(); r++)
            mk.cells.push_back({0, int(r), 0, ec.rows[r]});
        held = mk.build();
        pt_rec_install();
        EXPECT_EQ(pt_start_sized(held.data(), uint32_t(held.size())), 1);
        pt_speed = ec.speed;
        pt_tick = ec.speed - 1;
        pt_chan[0].gliss = 0;  // pt_init keeps the glissando flag of an earlier song
        for (size_t t = 0; t < ec.ticks.size(); t++) {
            std::string s = pt_rec_tick();
            size_t end = s.rfind(" c1");
            ASSERT_EQ(s.substr(0, 2), "c0") << ec.name << " tick " << t;
            ASSERT_NE(end, std::string::npos) << ec.name;
            EXPECT_EQ(end > 3 ? s.substr(3, end - 3) : "", ec.ticks[t]) << ec.name << ", tick " << t;
        }
    }
}

// Starts a song of the three orders 0, 1, 2 (patterns with the given cells) at the given speed.
void start_flow(std::vector<pt_mk_module::put> cells, int speed, int songlen = 3, int restart = 0)
{
    pt_mk_module mk;
    mk.songlen = songlen;
    mk.restart = restart;
    mk.orders = {0, 1, 2};
    mk.samples = effect_samples();
    mk.cells = std::move(cells);
    held = mk.build();
    pt_rec_install();
    ASSERT_EQ(pt_start_sized(held.data(), uint32_t(held.size())), 1);
    if (speed)
        pt_speed = speed;
}

}  // namespace

TEST(PtPlayEffects, NotesSamplesAndOffsets)
{
    expect_cases({
        {"sample without note", 2, {{1, 0, 0, 0}}, {"v40 p112 i1", ""}},
        {"note with sample", 2, {{1, 428, 0, 0}}, {"v40 p112 i1 P428 o0", ""}},
        {"note without sample", 2, {{0, 428, 0, 0}}, {"P428 o0", ""}},
        {"904 with note", 2, {{1, 428, 9, 4}}, {"v40 p112 i1 P428 o1024", ""}},
        {"902 without note", 2, {{0, 0, 9, 2}}, {"o512", ""}},
        {"880 pan", 2, {{1, 428, 8, 0x80}}, {"v40 i1 P428 o0 p128", ""}},
        {"C50 caps at 64", 2, {{1, 428, 12, 0x50}}, {"p112 i1 P428 o0 v64", ""}},
    });
}

TEST(PtPlayEffects, Slides)
{
    expect_cases({
        {"1FF floors at 27", 2, {{1, 113, 0, 0}, {0, 0, 1, 0xFF}}, {"v40 p112 i1 P113 o0", "", "", "P27"}},
        {"2FF tops at 3628", 2, {{2, 3424, 2, 0xFF}}, {"v64 p112 i2 P3500 o0", "P3628"}},
        {"E12 fine up", 2, {{1, 428, 14, 0x12}}, {"v40 p112 i1 P428 o0 P427", ""}},
        {"E22 at 3628", 2, {{3, 3424, 14, 0x22}}, {"v64 p112 i3 P3628 o0", ""}},
        {"E11 at 27", 2, {{1, 113, 0, 0}, {0, 0, 1, 0xFF}, {0, 0, 14, 0x11}},
         {"v40 p112 i1 P113 o0", "", "", "P27", "", ""}},
        {"tone portamento 310", 3, {{1, 428, 0, 0}, {0, 453, 3, 0x10}, {0, 0, 3, 0}},
         {"v40 p112 i1 P428 o0", "", "", "", "P444", "P453", "", "P453", "P453"}},
        {"glissando snaps up to a semitone", 3, {{1, 428, 14, 0x31}, {0, 480, 3, 0x08}},
         {"v40 p112 i1 P428 o0", "", "", "", "P453", "P453"}},
        {"5xy: remembered speed, no glissando, then slide", 2,
         {{1, 428, 14, 0x31}, {0, 856, 3, 0x20}, {0, 0, 5, 0x01}},
         {"v40 p112 i1 P428 o0", "", "", "P480", "", "P492 v39"}},
        {"portamento with no note yet sends 1", 2, {{0, 0, 3, 0x10}}, {"", "P1"}},
    });
}

TEST(PtPlayEffects, ArpeggioVibratoTremolo)
{
    expect_cases({
        {"arpeggio 037", 6, {{1, 856, 0, 0x37}},
         {"v40 p112 i1 P856 o0 P856", "P720", "P570", "P856", "P720", "P570"}},
        {"arpeggio past the table uses the highest note", 3, {{1, 28, 0, 0x12}},
         {"v40 p112 i1 P28 o0 P28", "P28", "P28"}},
        {"arpeggio after E58 uses finetune -8", 2, {{1, 428, 14, 0x58}, {0, 0, 0, 0x30}},
         {"v40 p112 i1 P428 o0", "", "P453", "P381"}},
        {"vibrato 6xy keeps depth and speed", 2, {{1, 428, 4, 0xA8}, {0, 0, 6, 0x02}},
         {"v40 p112 i1 P428 o0", "P428", "", "P441 v38"}},
        {"vibrato below period 1 sends 1", 6, {{1, 28, 4, 0xCF}},
         {"v40 p112 i1 P28 o0", "P28", "P55", "P49", "P17", "P1"}},
        {"tremolo 782 at volume 32", 4, {{4, 428, 7, 0x82}}, {"v32 p112 i4 P428 o0", "v32", "v37", "v40"}},
        {"E71 selects the ramp for tremolo", 3, {{4, 428, 14, 0x71}, {0, 0, 7, 0x82}},
         {"v32 p112 i4 P428 o0", "", "", "", "v40", "v38"}},
    });
}

TEST(PtPlayEffects, VolumeSlidesCutsDelaysRetriggers)
{
    expect_cases({
        {"AF1 raises by 15", 3, {{1, 428, 12, 10}, {0, 0, 10, 0xF1}}, {"p112 i1 P428 o0 v10", "", "", "", "v25", "v40"}},
        {"EA1, EB1", 2, {{1, 428, 14, 0xA1}, {0, 0, 14, 0xB1}, {0, 0, 12, 64}, {0, 0, 14, 0xA1}},
         {"v40 p112 i1 P428 o0 v41", "", "v40", "", "v64", "", "", ""}},
        {"EB1 at 0", 2, {{1, 0, 12, 0}, {0, 0, 14, 0xB1}}, {"p112 i1 v0", "", "", ""}},
        {"E93 retriggers on ticks 3", 6, {{1, 428, 14, 0x93}},
         {"v40 p112 i1 P428 o0", "", "", "v40 P428 o0", "", ""}},
        {"EC9 cuts on the last tick", 4, {{1, 428, 14, 0xC9}}, {"v40 p112 i1 P428 o0", "", "", "v0"}},
        {"EC0 never cuts", 3, {{1, 428, 14, 0xC0}}, {"v40 p112 i1 P428 o0", "", ""}},
        {"ED9 plays on the last tick", 4, {{1, 428, 14, 0xD9}}, {"v40 p112 i1", "", "", "v40 P428 o0"}},
        {"ED0 plays nothing", 3, {{1, 428, 14, 0xD0}}, {"v40 p112 i1", "", ""}},
    });
}

TEST(PtPlayEffects, SongWideWaveformsAndPan)
{
    expect_cases({
        {"E83 sets the default pan", 2, {{0, 0, 14, 0x83}, {1, 428, 0, 0}},
         {"p48", "", "v40 p48 i1 P428 o0", ""}},
    });
    EXPECT_EQ(pt_default_pan[0], 3);
    pt_default_pan[0] = 7;  // nothing else resets it

    // E43 on channel 0 selects the random vibrato wave; only that channel restarts its position
    start_flow({{0, 0, 0, {1, 428, 4, 0x88}}, {0, 0, 1, {1, 428, 4, 0x88}}, {0, 2, 0, {0, 0, 14, 0x43}}}, 0);
    for (int t = 0; t < 12; t++)
        pt_play();
    EXPECT_EQ(pt_getpos(), 1);
    EXPECT_EQ(pt_chan[0].vib_pos, 40);
    EXPECT_EQ(pt_chan[1].vib_pos, 40);
    for (int t = 0; t < 6; t++)
        pt_play();
    EXPECT_EQ(pt_getpos(), 2);
    EXPECT_EQ(pt_vib_wave, pt_wave_random);
    EXPECT_EQ(pt_chan[0].vib_pos, 0);
    EXPECT_EQ(pt_chan[1].vib_pos, 40);

    // pt_init keeps each channel's pan and glissando flag, and the default pans
    pt_chan[5].pan = 77;
    pt_chan[5].gliss = 1;
    pt_chan[5].vib_depth = 3;
    pt_default_pan[5] = 2;
    pt_init();
    EXPECT_EQ(pt_chan[5].pan, 77);
    EXPECT_EQ(pt_chan[5].gliss, 1);
    EXPECT_EQ(pt_chan[5].vib_depth, 0);
    EXPECT_EQ(pt_default_pan[5], 2);
    pt_chan[5] = {};
    pt_default_pan[5] = 9;
}

namespace {

// Plays ticks and returns "order:row" at every tick 0 that moved the row.
std::vector<std::string> row_starts(int ticks)
{
    std::vector<std::string> out;
    int32_t last = pt_getpos();
    for (int t = 0; t < ticks; t++) {
        pt_play();
        if (pt_tick == 0 && pt_getpos() != last)
            out.push_back(std::to_string(pt_order) + ":" + std::to_string(pt_row));
        last = pt_getpos();
    }
    return out;
}

}  // namespace

TEST(PtPlayFlow, BreaksJumpsLoopsAndDelays)
{
    // D23: the rest of the row reports row 63, the next pattern starts at row 23
    start_flow({{0, 1, 2, {0, 0, 13, 0x23}}}, 1);
    EXPECT_EQ(row_starts(3), (std::vector<std::string>{"0:0", "0:63", "1:23"}));
    EXPECT_EQ(pt_breakrow, 0);

    // D99 names row 99: the next pattern starts at its top
    start_flow({{0, 0, 0, {0, 0, 13, 0x99}}}, 1);
    EXPECT_EQ(row_starts(2), (std::vector<std::string>{"0:63", "1:0"}));

    // B05 with a song of 3 orders: order 4 for the rest of the row, then the restart order
    start_flow({{0, 0, 0, {0, 0, 11, 5}}}, 2, 3, 1);
    EXPECT_EQ(row_starts(3), (std::vector<std::string>{"4:63", "1:0"}));
    // B02 jumps to order 2 row 0; the break row of a D on the same row is kept
    start_flow({{0, 0, 0, {0, 0, 11, 2}}, {0, 0, 1, {0, 0, 13, 0x05}}}, 1);
    EXPECT_EQ(row_starts(2), (std::vector<std::string>{"1:63", "2:5"}));

    // B03 and a pattern loop back on the same row, in a song of 2 orders: the loop keeps the
    // row in order 2, which plays as it is; the song length only counts when a pattern ends
    start_flow({{0, 0, 0, {0, 0, 14, 0x60}}, {0, 1, 0, {0, 0, 11, 3}}, {0, 1, 1, {0, 0, 14, 0x61}}}, 1, 2, 1);
    std::vector<std::string> got = row_starts(2 + 64 + 1);
    ASSERT_EQ(got.size(), 67u);
    EXPECT_EQ(got[1], "2:-1");
    EXPECT_EQ(got[2], "2:0");
    EXPECT_EQ(got[3], "2:1");
    EXPECT_EQ(got[65], "2:63");
    EXPECT_EQ(got[66], "1:0");
    // B00 or BFF with such a loop would leave the order list: play goes on at the restart order
    for (int jump : {0, 0xFF}) {
        start_flow({{0, 1, 0, {0, 0, 11, jump}}, {0, 1, 1, {0, 0, 14, 0x61}}}, 1, 2, 1);
        got = row_starts(3);
        EXPECT_EQ(got.back(), "1:0") << jump;
    }

    // E60 on row 8, E62 on row 12: rows 8 to 12 play three times
    start_flow({{0, 8, 0, {0, 0, 14, 0x60}}, {0, 12, 0, {0, 0, 14, 0x62}}}, 1);
    got = row_starts(8 + 5 * 3 + 1);
    std::vector<std::string> want;
    for (int r = 0; r < 8; r++)
        want.push_back("0:" + std::to_string(r));
    for (int rep = 0; rep < 3; rep++) {
        for (int r = 8; r < 12; r++)
            want.push_back("0:" + std::to_string(r));
        // row 12 jumps back on its tick 0 and reports the loop row minus one from there on
        want.push_back(rep < 2 ? "0:7" : "0:12");
    }
    want.push_back("0:13");
    EXPECT_EQ(got, want);

    // EE2 at speed 6: the row lasts 18 ticks, its later-tick effects run on 15 of them, and
    // the two extra tick-0s play nothing
    start_flow({{0, 0, 0, {1, 428, 12, 40}}, {0, 1, 0, {0, 0, 10, 0x01}}, {0, 1, 1, {0, 0, 14, 0xE2}}}, 0);
    for (int t = 0; t < 6; t++)
        pt_play();
    int row1_ticks = 0, slides = 0, empty_ticks = 0;
    while (true) {
        std::string s = pt_rec_tick();
        if (pt_row != 1)
            break;
        row1_ticks++;
        slides += s.find(" v") != std::string::npos;
        empty_ticks += s.empty();
    }
    EXPECT_EQ(row1_ticks, 18);
    EXPECT_EQ(slides, 15);
    EXPECT_EQ(empty_ticks, 2);
    EXPECT_EQ(pt_chan[0].volume, 25);
}

TEST(PtPlayFlow, SpeedTempoAndSongEnd)
{
    // a song of 2 orders restarting at 1; F03 on the first row, F96 sets the tempo
    start_flow({{0, 0, 0, {0, 0, 15, 3}}, {0, 0, 1, {0, 0, 15, 0x96}}, {1, 63, 0, {0, 0, 13, 0}}}, 0, 2, 1);
    EXPECT_EQ(pt_rec_tick(), "c0 c1 c2 c3");
    EXPECT_EQ(pt_speed, 3);
    EXPECT_EQ(pt_bpm, 150);
    EXPECT_EQ(pt_getpos(), 0);
    std::vector<std::string> rows = row_starts(3 * (64 + 64 + 2) - 1);
    ASSERT_EQ(rows.size(), 64u + 64 + 1);
    EXPECT_EQ(rows[63], "1:0");
    EXPECT_EQ(rows[126], "1:63");
    EXPECT_EQ(rows[127], "1:0");  // after the last order: the restart order
    EXPECT_EQ(rows[128], "1:1");

    // F00 stops the song: the position stays and each tick repeats the row's tick 0
    start_flow({{0, 2, 0, {1, 428, 15, 0}}}, 0);
    for (int t = 0; t < 13; t++)
        pt_play();
    EXPECT_EQ(pt_getpos(), 2);
    for (int t = 0; t < 5; t++) {
        EXPECT_EQ(pt_rec_tick(), "c0 v40 p112 i1 P428 o0 c1 c2 c3");
        EXPECT_EQ(pt_getpos(), 2);
        EXPECT_EQ(pt_tick, 0);
    }
}
