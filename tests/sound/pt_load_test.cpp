// Module loader: tags, header fields, pattern conversion, sample hand-over, refusals, the
// song position and the period table.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/sd_internal.h"
#include "tests/sound/pt_record.h"

namespace {

int load(std::vector<uint8_t>& m, size_t size = SIZE_MAX) {
    pt_rec_install();
    pt_errmsg = "";
    return pt_start_sized(m.data(), uint32_t(std::min(size, m.size())));
}

std::vector<uint32_t> handed(size_t k) {
    const pt_rec_sample& s = pt_rec.samples.at(k);
    return {uint32_t(s.i), s.length, s.loop_start, s.loop_end, uint32_t(s.looping)};
}

}  // namespace

TEST(PtLoad, TagsGiveChannelCounts) {
    for (auto [tag, n] : {std::pair{"M.K.", 4}, {"12CH", 12}, {"OCTA", 8}, {"2CHN", 2}, {"32CH", 32}, {"M!K!", 4}}) {
        pt_mk_module mk;
        mk.tag = tag;
        mk.channels = n;
        auto m = mk.build();
        ASSERT_EQ(load(m), 1) << tag;
        EXPECT_EQ(pt_channels, n) << tag;
        EXPECT_STREQ(pt_tag, tag);
        EXPECT_EQ(pt_rec.channels, std::vector<int32_t>{n}) << tag;
    }
    // unknown tags, "STOP" itself and zero bytes are refused before anything is converted; the
    // position stays at order 0, row 0 and the replay does nothing
    for (const char* bad : {"\0\0\0\0", "STOP", "M.K ", "33CH"}) {
        pt_mk_module mk;
        mk.cells.push_back({0, 0, 0, {1, 856, 0, 0}});
        auto m = mk.build();
        memcpy(&m[1080], bad, 4);
        auto before = m;
        EXPECT_EQ(load(m), 0);
        EXPECT_STREQ(pt_errmsg, "pt_takemod error: unknown module type!");
        EXPECT_EQ(pt_channels, 0);
        EXPECT_EQ(m, before);
        EXPECT_TRUE(pt_rec.samples.empty() && pt_rec.channels.empty());
        EXPECT_EQ(pt_getpos(), 0);
        EXPECT_EQ(pt_rec_tick(), "");
    }
}

TEST(PtLoad, HeaderFieldsAndSampleHandover) {
    pt_mk_module mk;
    mk.songlen = 6;
    mk.restart = 127;
    mk.orders = {0, 1, 2, 3, 4, 5};
    mk.orders.resize(101, 0);
    mk.orders[100] = 9;  // beyond the song length, still counts for the pattern count
    mk.samples = {{8, 3, 200, 0, 1},    // volume 200 reads as 64; loop word 1: not looping
                  {0, 0, 10, 0, 0},     // no data: not handed to the device
                  {16, 13, 40, 2, 2}};  // loop of 2 words: looping, end = start + 4 bytes
    auto m = mk.build();
    ASSERT_EQ(load(m), 1);
    EXPECT_EQ((std::vector<int>{pt_songlen, pt_restart, pt_orders[100], pt_samples[1].volume, pt_samples[1].finetune,
                                pt_samples[1].length, pt_samples[3].finetune}),
              (std::vector<int>{6, 0, 9, 64, 3, 16, 13}));
    EXPECT_EQ(pt_patterns[9], m.data() + 1084 + 1024 * 9);
    EXPECT_EQ(pt_patterns[10], nullptr);
    ASSERT_EQ(pt_rec.samples.size(), 2u);
    EXPECT_EQ(pt_rec.samples[0].data, reinterpret_cast<const int8_t*>(m.data() + 1084 + 10 * 1024));
    EXPECT_EQ(pt_rec.samples[1].data, pt_rec.samples[0].data + 16);
    EXPECT_EQ(handed(0), (std::vector<uint32_t>{1, 16, 0, 2, 0}));
    EXPECT_EQ(handed(1), (std::vector<uint32_t>{3, 32, 4, 8, 1}));
    mk.restart = 126;  // kept
    auto m2 = mk.build();
    ASSERT_EQ(load(m2), 1);
    EXPECT_EQ(pt_restart, 126);
    // a module taken in the middle of a row of another: the replay waits for the next row
    for (int t = 0; t < 3; t++)
        pt_play();
    auto m3 = mk.build();
    ASSERT_EQ(pt_takemod_sized(m3.data(), uint32_t(m3.size())), 1);
    EXPECT_EQ(pt_rec_tick(), "");
}

TEST(PtLoad, CellConversionAndSongPosition) {
    pt_mk_module mk;
    auto m = mk.build();
    // sample 0x13 no note C20; period 856 sample 1 F; 113; 850 (between 856 and 808: the higher
    // note); 27 (below the table); 3424; sample 0x20 (past the table: 0) period 28; sample 0xff
    const uint8_t stored[8][4] = {{0x10, 0x00, 0x3C, 0x20}, {0x03, 0x58, 0x1F, 0}, {0x00, 0x71, 0, 0},
                                  {0x03, 0x52, 0, 0},       {0x00, 0x1b, 0, 0},    {0x0d, 0x60, 0, 0},
                                  {0x20, 0x1c, 0, 0},       {0xf0, 0x00, 0xf0, 0}};
    const uint8_t want[8][4] = {{0x13, 84, 12, 0x20}, {1, 24, 15, 0}, {0, 59, 0, 0}, {0, 25, 0, 0},
                                {0, 84, 0, 0},        {0, 0, 0, 0},   {0, 83, 0, 0}, {0, 84, 0, 0}};
    memcpy(&m[1084], stored, sizeof stored);
    ASSERT_EQ(load(m), 1);
    EXPECT_EQ(0, memcmp(&m[1084], want, sizeof want));
    // the song position reads -37 until the first tick, then order * 100 + row
    EXPECT_EQ(pt_getpos(), -37);
    pt_order = 25;
    pt_row = 63;
    EXPECT_EQ(pt_getpos(), 2563);
    pt_init();
    pt_rec_tick();
    EXPECT_EQ(pt_getpos(), 0);
}

TEST(PtLoad, UntrustedModulesAreRefusedOrClipped) {
    pt_mk_module mk;
    mk.samples = {{4, 0, 64, 0, 1}, {8, 0, 64, 0, 1}};
    auto whole = mk.build();
    // every size short of the whole is refused, with nothing converted or handed over
    for (size_t cut : {size_t(0), size_t(1083), size_t(2000), whole.size() - 1}) {
        auto m = whole;
        EXPECT_EQ(load(m, cut), 0) << cut;
        EXPECT_STREQ(pt_errmsg, cut < 1084 ? "pt_takemod error: module too short!"
                                           : "pt_takemod error: module shorter than its header says!");
        EXPECT_EQ(pt_channels, 0) << cut;
        EXPECT_TRUE(pt_rec.samples.empty()) << cut;
        EXPECT_EQ(m, whole) << cut;
    }
    pt_mk_module big;  // a pattern number above 127 anywhere in the order list
    auto mb = big.build();
    mb[952 + 127] = 128;
    EXPECT_EQ(load(mb), 0);
    EXPECT_STREQ(pt_errmsg, "pt_takemod error: pattern number above 127!");
    pt_mk_module longsong;  // a song length above 128 plays the 128 orders there are
    longsong.songlen = 200;
    auto ml = longsong.build();
    ASSERT_EQ(load(ml), 1);
    EXPECT_EQ(pt_songlen, 128);
    // a sample of 65536 bytes or more is cut to 65534; the next starts after all its stored bytes
    pt_mk_module huge;
    huge.samples = {{0x9000, 0, 64, 0x8800, 0x0400}, {4, 0, 64, 0, 1}};
    auto mh = huge.build();
    ASSERT_EQ(load(mh), 1);
    EXPECT_EQ(handed(0), (std::vector<uint32_t>{1, 65534, 65534, 65534, 0}));
    EXPECT_EQ(pt_rec.samples[1].data, reinterpret_cast<const int8_t*>(&mh[1084 + 1024 + 0x12000]));
    pt_mk_module overloop;  // a loop reaching past its sample's end is cut at the end
    overloop.samples = {{8, 0, 64, 4, 8}};
    auto mo = overloop.build();
    ASSERT_EQ(load(mo), 1);
    EXPECT_EQ(handed(0), (std::vector<uint32_t>{1, 16, 8, 16, 1}));
}

// The table against the rule it follows rather than a copy of it: a finetune step is 1/96 of an
// octave and a note 1/12. Entries 24..59 (the tracker's own three octaves) lie within 0.7 of
// 856 x 2^-(note/12 + finetune/96), but for the hand-tuned rows 0 and -8 (within 1.5); below
// them, row 0 is four and two times entries 24..35 and the other rows divide their top period,
// four times entry 24, by the twelfth root of two per note, rounding down; above them entries
// 48..59 are halved and quartered, rounding down (finetune -3 has 55 at entry 72); 84 repeats 83.
TEST(PtLoad, PeriodTableFollowsTheTuningRule) {
    for (int r = 0; r < 16; r++) {
        const uint16_t* t = pt_period_table[r];
        const int ft = r < 8 ? r : r - 16;
        for (int n = 24; n < 60; n++)
            EXPECT_NEAR(t[n], 856 * std::exp2(-(n - 24) / 12.0 - ft / 96.0), ft == 0 || ft == -8 ? 1.5 : 0.7)
                << r << "," << n;
        EXPECT_EQ(t[0], 4 * t[24]) << r;
        for (int n = 1; n < 24; n++)
            EXPECT_EQ(t[n], r == 0 ? (n < 12 ? 4 : 2) * t[24 + n % 12] : int(t[0] * std::exp2(-n / 12.0) + 1e-9))
                << r << "," << n;
        for (int n = 60; n < 84; n++)
            EXPECT_EQ(t[n], r == 13 && n == 72 ? 55 : t[48 + n % 12] / (n < 72 ? 2 : 4)) << r << "," << n;
        EXPECT_EQ(t[84], t[83]);
    }
    // finetune -8 lies a semitone below finetune 0: entries 25..59 are row 0's one note lower
    // (but 340 at entry 41)
    for (int n = 25; n < 60; n++)
        EXPECT_EQ(pt_period_table[8][n], n == 41 ? 340 : pt_period_table[0][n - 1]) << n;
}
