// The show's module against the catalogue: its header, samples, order list, notes and effects as
// stored; our loader takes it whole; and played as the show plays it, its position walks every
// row of the song in order (so the timeline's stages end one by one at their thresholds) and then
// stands at 2563.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "assets/emb.h"
#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"

namespace {

const std::vector<uint8_t> module(emb_module, emb_module + emb_module_size);
const uint8_t orders[26] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                            13, 14, 16, 14, 16, 15, 17, 18, 20, 21, 22, 23, 19};

uint32_t word(size_t at) { return uint32_t(module[at] << 8 | module[at + 1]); }
bool has_data(int s) { return s >= 1 && s <= 31 && s != 2 && s != 16 && s != 18; }

}  // namespace

TEST(MusicModule, HeaderSamplesAndOrders)
{
    ASSERT_GE(module.size(), 1084u + 24u * 3072u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&module[1080]), 4), "12CH");
    for (size_t i = 0; i < 20; i++) EXPECT_EQ(module[i] != 0, i < 13) << "title byte " << i;
    size_t data = 0;
    for (int s = 1; s <= 31; s++) {
        SCOPED_TRACE(s);
        const size_t at = 20 + 30 * size_t(s - 1), length = 2 * word(at + 22);
        EXPECT_EQ(length != 0, has_data(s));
        EXPECT_LT(length, 65536u);
        EXPECT_EQ(module[at + 24], s == 1 || (s >= 3 && s <= 8) ? 13 : 0);  // finetune -3
        EXPECT_LE(module[at + 25], 64);
        // only sample 10 loops (a repeat of one word or none plays once)
        EXPECT_TRUE(s == 10 ? 2 * word(at + 26) == 27166u && 2 * word(at + 28) == 22916u : word(at + 28) <= 1u);
        data += length;
    }
    EXPECT_EQ(module[950], 26);
    EXPECT_EQ(module[951], 25);
    EXPECT_EQ(0, std::memcmp(&module[952], orders, 26));
    EXPECT_EQ(*std::max_element(&module[952], &module[952 + 128]), 23);  // 24 patterns
    EXPECT_EQ(module.size(), 1084u + 24u * 3072u + data);
}

TEST(MusicModule, NotesAndEffectsAsListed)
{
    const std::set<int> row0(pt_period_table[0], pt_period_table[0] + 84);
    std::set<int> effects, speeds, tempos;
    int f00 = 0;
    for (size_t at = 1084; at < 1084 + 24 * 3072; at += 4) {
        const uint8_t* k = &module[at];
        const int pattern = int(at - 1084) / 3072, row = int(at - 1084) / 48 % 64, sample = (k[0] & 0xf0) | k[2] >> 4;
        const int period = (k[0] & 15) << 8 | k[1], cmd = k[2] & 15, param = k[3];
        SCOPED_TRACE(testing::Message() << "pattern " << pattern << " row " << row << " byte " << (at - 1084) % 48);
        EXPECT_LE(sample, 31);
        EXPECT_TRUE(period == 0 || (row0.count(period) && period >= 31 && period <= 480)) << period;
        if (cmd == 0 && param == 0) continue;
        effects.insert(cmd == 14 ? 0xE0 | param >> 4 : cmd);
        EXPECT_TRUE(cmd != 8 || param == 0 || param == 0xFF) << param;
        if (cmd != 15) continue;
        (param < 32 ? speeds : tempos).insert(param);
        if (param != 0) continue;
        // the song's stop: the last row of the last order's pattern, alone in its row
        f00++;
        EXPECT_TRUE(pattern == orders[25] && row == 63);
        const size_t row_at = at - (at - 1084) % 48;
        EXPECT_EQ(std::count(&module[row_at], &module[row_at + 48], 0), 47);
    }
    EXPECT_EQ(effects, (std::set<int>{3, 4, 6, 8, 9, 10, 12, 13, 0xE1, 0xE2, 0xE8, 0xEC, 15}));
    EXPECT_EQ(speeds, (std::set<int>{0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 31}));
    EXPECT_EQ(tempos, std::set<int>{175});
    EXPECT_EQ(f00, 1);
}

TEST(MusicModule, LoadsWholeAndWalksEveryRowToItsStop)
{
    std::vector<uint8_t> copy = module;  // the loader converts the patterns in place
    mix_bind();
    mix_init(32000);
    ASSERT_EQ(pt_start_sized(copy.data(), uint32_t(copy.size())), 1) << pt_errmsg;
    EXPECT_EQ(pt_channels, 12);
    EXPECT_EQ(mix_channels, 12);
    EXPECT_EQ(pt_songlen, 26);
    EXPECT_EQ(pt_restart, 25);
    for (int s = 1; s <= 31; s++) {
        EXPECT_EQ(mix_sample[s].length != 0, has_data(s)) << s;
        EXPECT_EQ(mix_sample[s].looping, s == 10) << s;
    }
    EXPECT_EQ(mix_sample[10].loop_start, 27166u);
    EXPECT_EQ(mix_sample[10].loop_end, 27166u + 22916u);
    EXPECT_EQ(mix_sample[31].data + mix_sample[31].length, reinterpret_cast<const int8_t*>(copy.data() + copy.size()));

    // 70 ticks a second as the show plays it without a device, for four minutes
    std::vector<int32_t> walked, rows;
    for (long t = 1; t <= 70 * 240; t++) {
        pt_play();
        const int32_t p = pt_getpos();
        ASSERT_EQ(pt_bpm, 175) << "tick " << t;
        if (walked.empty() || walked.back() != p) walked.push_back(p);
    }
    for (int32_t o = 0; o < 26; o++)
        for (int32_t r = 0; r < 64; r++) rows.push_back(100 * o + r);
    // the first row by the first tick, every row once (the last stage's threshold, order 24 row
    // 60, in the 25th position), then 2563 for good
    EXPECT_EQ(walked, rows);
    EXPECT_EQ(pt_speed, 0);
}
