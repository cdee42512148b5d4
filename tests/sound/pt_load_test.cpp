// Module loader: tags, header fields, cell conversion, sample hand-over, refusals, period table.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/sd_internal.h"
#include "tests/sound/pt_record.h"

namespace {

std::vector<uint32_t> handed(size_t k) {  // a sample as given to the device
    const pt_rec_sample& s = pt_rec.samples.at(k);
    return {uint32_t(s.i), s.length, s.loop_start, s.loop_end, uint32_t(s.looping), uint32_t(s.data - pt_rec.samples[0].data)};
}

TEST(PtLoad, TagsHeaderAndCells) {
    for (auto [tag, n] : {std::pair{"M.K.", 4}, {"12CH", 12}, {"OCTA", 8}, {"2CHN", 2}, {"32CH", 32}, {"M!K!", 4}}) {
        pt_mk_module mk{.tag = tag, .channels = n};
        auto m = mk.build();
        ASSERT_EQ(pt_rec_load(m), 1) << tag;
        EXPECT_TRUE(pt_rec.channels == std::vector<int32_t>{n} && pt_channels == n && !strcmp(pt_tag, tag)) << tag;
    }
    pt_mk_module mk{.songlen = 6, .restart = 127, .orders = {0, 1, 2, 3, 4, 5}};
    mk.orders.resize(101, 0);
    mk.orders[100] = 9;  // past the song length, still counts for the patterns
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
    mk.restart = 126;  // kept
    auto m2 = mk.build();
    ASSERT_EQ(pt_rec_load(m2), 1);
    EXPECT_EQ(pt_restart, 126);
    for (int t = 0; t < 3; t++) pt_play();  // another module taken mid-row: the replay waits for the next row
    auto m3 = mk.build();
    ASSERT_EQ(pt_takemod_sized(m3.data(), uint32_t(m3.size())), 1);
    EXPECT_EQ(pt_rec_tick(), "");
}

TEST(PtLoad, UntrustedModulesAreRefusedOrClipped) {
    pt_mk_module mk{.samples = {{4, 0, 64, 0, 1}, {8, 0, 64, 0, 1}}, .cells = {{0, 0, 0, {1, 856, 0, 0}}}};
    auto whole = mk.build();
    const char *too_short = "module too short!", *shorter = "module shorter than its header says!", *tag = "unknown module type!";
    struct row { size_t size; const char* tag; int order127; const char* msg; };
    for (const row& r : {row{0, "M.K.", 0, too_short}, {1083, "M.K.", 0, too_short}, {2000, "M.K.", 0, shorter},
                         {whole.size() - 1, "M.K.", 0, shorter}, {whole.size(), "\0\0\0\0", 0, tag}, {whole.size(), "STOP", 0, tag},
                         {whole.size(), "M.K ", 0, tag}, {whole.size(), "33CH", 0, tag},
                         {whole.size(), "M.K.", 128, "pattern number above 127!"}}) {
        auto m = whole;
        memcpy(&m[1080], r.tag, 4);
        m[952 + 127] = uint8_t(r.order127);
        auto before = m;
        EXPECT_EQ(pt_rec_load(m, r.size), 0) << r.msg;
        EXPECT_EQ(pt_errmsg, "pt_takemod error: " + std::string(r.msg)) << r.size;
        // nothing converted, handed over or played
        EXPECT_TRUE(pt_channels == 0 && m == before && pt_rec.samples.empty() && pt_rec.channels.empty()) << r.size << r.msg;
        EXPECT_TRUE(pt_getpos() == 0 && pt_rec_tick().empty()) << r.msg;
    }
    pt_mk_module longsong{.songlen = 200};  // a song length above 128 plays the 128 orders there are
    auto ml = longsong.build();
    ASSERT_EQ(pt_rec_load(ml), 1);
    EXPECT_EQ(pt_songlen, 128);
    // 65536 bytes or more: cut to 65534, the next after all its bytes; a loop past the end cut there
    pt_mk_module huge{.samples = {{0x9000, 0, 64, 0x8800, 0x0400}, {4, 0, 64, 0, 1}, {8, 0, 64, 4, 8}}};
    auto mh = huge.build();
    ASSERT_EQ(pt_rec_load(mh), 1);
    EXPECT_EQ(handed(0), (std::vector<uint32_t>{1, 65534, 65534, 65534, 0, 0}));
    EXPECT_EQ(handed(1), (std::vector<uint32_t>{2, 8, 0, 2, 0, 0x12000}));
    EXPECT_EQ(handed(2), (std::vector<uint32_t>{3, 16, 8, 16, 1, 0x12008}));
}

// The table against its rule: a finetune step is 1/96 octave, a note 1/12. Entries 24..59 lie
// within 0.7 of 856 x 2^-(note/12 + finetune/96) (hand-tuned rows 0 and -8: 1.5); below them row
// 0 is 4 and 2 times entries 24..35, the others divide 4 x entry 24 by 2^(1/12) per note, rounding
// down; entries 48..59 halved and quartered above (finetune -3 has 55 at 72); 84 repeats 83.
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

}  // namespace
