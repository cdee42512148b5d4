// The show's module as generated: the catalogue's facts read back from the stored bytes, and
// what our loader makes of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "assets/emb.h"
#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"

namespace {

std::vector<uint8_t> module_bytes() { return std::vector<uint8_t>(emb_module, emb_module + emb_module_size); }

uint32_t word(const std::vector<uint8_t>& m, size_t at) { return uint32_t(m[at] << 8 | m[at + 1]); }

struct header {
    uint32_t length, loop_start, loop_length;  // bytes
    int finetune, volume;
};

header sample_header(const std::vector<uint8_t>& m, int s)
{
    size_t at = 20 + 30 * size_t(s - 1);
    return {2 * word(m, at + 22), 2 * word(m, at + 26), 2 * word(m, at + 28), m[at + 24], m[at + 25]};
}

// A stored cell: sample, period, effect, parameter.
struct cell {
    int sample, period, effect, param;
};

cell stored_cell(const std::vector<uint8_t>& m, int pattern, int row, int ch)
{
    size_t at = 1084 + size_t(pattern) * 3072 + size_t(row) * 48 + size_t(ch) * 4;
    return {(m[at] & 0xf0) | (m[at + 2] >> 4), (m[at] & 15) << 8 | m[at + 1], m[at + 2] & 15, m[at + 3]};
}

}  // namespace

TEST(MusicModule, HeaderSamplesAndOrdersFollowTheCatalogue)
{
    std::vector<uint8_t> m = module_bytes();
    ASSERT_GE(m.size(), 1084u + 24u * 3072u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m[1080]), 4), "12CH");
    // title: 13 characters, then NULs to 20 bytes
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(m[size_t(i)] != 0, i < 13) << "title byte " << i;

    uint32_t data = 0;
    std::set<int> with_data;
    for (int s = 1; s <= 31; s++) {
        header h = sample_header(m, s);
        SCOPED_TRACE("sample " + std::to_string(s));
        const bool minus3 = s == 1 || (s >= 3 && s <= 8);
        if (h.length) {
            with_data.insert(s);
            EXPECT_EQ(h.finetune, minus3 ? 13 : 0);
            EXPECT_TRUE(h.volume > 0 && h.volume <= 64) << h.volume;
        } else {
            EXPECT_EQ(h.finetune + h.volume + h.loop_start, 0u);
        }
        if (s == 10) {
            EXPECT_EQ(h.loop_start, 27166u);
            EXPECT_EQ(h.loop_length, 22916u);
            EXPECT_EQ(h.loop_start + h.loop_length, h.length);  // the loop runs to the end
        } else {
            EXPECT_LE(h.loop_length, 2u);  // plays once
        }
        data += h.length;
    }
    std::set<int> expected;
    for (int s = 1; s <= 31; s++)
        if (s != 2 && s != 16 && s != 18)
            expected.insert(s);
    EXPECT_EQ(with_data, expected);

    EXPECT_EQ(m[950], 26);
    EXPECT_EQ(m[951], 25);
    const uint8_t orders[26] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 14, 16, 15, 17, 18, 20, 21, 22, 23, 19};
    EXPECT_EQ(0, memcmp(&m[952], orders, 26));
    for (int i = 26; i < 128; i++)
        EXPECT_EQ(m[952 + size_t(i)], 0) << "order " << i;
    // 24 patterns (the largest order entry is 23), then the sample data to the end
    EXPECT_EQ(*std::max_element(&m[952], &m[952 + 128]), 23);
    EXPECT_EQ(m.size(), 1084u + 24u * 3072u + data);
    EXPECT_LT(m.size(), 1000000u);
}

TEST(MusicModule, SamplesStartSilentAndOneShotsFadeOut)
{
    std::vector<uint8_t> m = module_bytes();
    size_t at = 1084 + 24 * 3072;
    for (int s = 1; s <= 31; s++) {
        header h = sample_header(m, s);
        if (!h.length)
            continue;
        SCOPED_TRACE("sample " + std::to_string(s));
        ASSERT_LE(at + h.length, m.size());
        const int8_t* d = reinterpret_cast<const int8_t*>(&m[at]);
        // an ended one-shot keeps adding its first byte: it must be silence
        EXPECT_EQ(d[0], 0);
        int peak = 0;
        for (uint32_t i = 0; i < h.length; i++)
            peak = std::max(peak, std::abs(int(d[i])));
        EXPECT_GE(peak, 100) << "scaled to use the 8 bits";
        if (h.loop_length <= 2) {
            // the last 64 bytes fade to silence: no click when the sample runs out
            for (uint32_t i = h.length - 64; i < h.length; i++)
                EXPECT_LE(std::abs(int(d[i])), 8) << "byte " << i;
            EXPECT_EQ(d[h.length - 1], 0);
        } else {
            // a seamless loop: the bytes before its end repeat those before its start, so the
            // wrap from the end back to the start continues the wave
            for (int k = -64; k < 0; k++)
                EXPECT_LE(std::abs(int(d[h.loop_start + h.loop_length + k]) - int(d[h.loop_start + k])), 1);
        }
        at += h.length;
    }
}

TEST(MusicModule, NotesAndEffectsStayWithinTheSongsSet)
{
    std::vector<uint8_t> m = module_bytes();
    std::set<int> row0(pt_period_table[0], pt_period_table[0] + 84);
    int lowest = 100000, highest = 0, f00 = 0, tempo_at_start = 0;
    std::set<int> speeds, played;
    std::map<int, int> uses;  // effect (extended: 0xE0 + x) -> count
    for (int p = 0; p < 24; p++)
        for (int r = 0; r < 64; r++)
            for (int c = 0; c < 12; c++) {
                cell k = stored_cell(m, p, r, c);
                SCOPED_TRACE(testing::Message() << "pattern " << p << " row " << r << " channel " << c);
                if (k.period) {
                    EXPECT_TRUE(row0.count(k.period)) << "period " << k.period << " not a table entry";
                    lowest = std::min(lowest, k.period);
                    highest = std::max(highest, k.period);
                }
                if (k.sample) played.insert(k.sample);
                if (k.effect == 0 && k.param == 0)
                    continue;
                int e = k.effect == 14 ? 0xE0 + (k.param >> 4) : k.effect;
                uses[e]++;
                if (e == 8) {
                    EXPECT_TRUE(k.param == 0 || k.param == 0xFF) << k.param;
                }
                if (e == 15 && k.param == 0) {
                    f00++;
                    EXPECT_EQ(p, 19);
                    EXPECT_EQ(r, 63);
                    for (int o = 0; o < 12; o++) {
                        cell other = stored_cell(m, p, r, o);
                        if (o != c) {
                            EXPECT_TRUE(other.sample == 0 && other.period == 0 && other.effect == 0 && other.param == 0);
                        }
                    }
                } else if (e == 15 && k.param < 32) {
                    speeds.insert(k.param);
                } else if (e == 15) {
                    EXPECT_EQ(k.param, 175);
                    if (p == 0 && r == 0)
                        tempo_at_start++;
                }
            }
    // every sample with data is played, and no other
    std::set<int> with_data;
    for (int s = 1; s <= 31; s++)
        if (sample_header(m, s).length) with_data.insert(s);
    EXPECT_EQ(played, with_data);
    EXPECT_EQ(lowest, 31);
    EXPECT_EQ(highest, 480);
    EXPECT_EQ(f00, 1);
    EXPECT_EQ(tempo_at_start, 1);
    std::set<int> all_speeds = {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 31};
    EXPECT_EQ(speeds, all_speeds);
    std::set<int> allowed = {3, 4, 6, 8, 9, 10, 12, 13, 0xE1, 0xE2, 0xE8, 0xEC, 15};
    for (auto& [e, n] : uses)
        EXPECT_TRUE(allowed.count(e)) << "effect " << std::hex << e << " used " << std::dec << n << " times";
    // and every one of them is used
    for (int e : allowed)
        EXPECT_GT(uses[e], 0) << "effect " << std::hex << e;
}

TEST(MusicModule, OurLoaderTakesItWhole)
{
    std::vector<uint8_t> m = module_bytes();
    mix_bind();
    mix_init(32000);
    ASSERT_EQ(pt_start_sized(m.data(), uint32_t(m.size())), 1) << pt_errmsg;
    EXPECT_EQ(pt_channels, 12);
    EXPECT_EQ(mix_channels, 12);
    EXPECT_EQ(pt_songlen, 26);
    EXPECT_EQ(pt_restart, 25);
    int loaded = 0;
    for (int s = 1; s <= 31; s++) {
        bool has = s != 2 && s != 16 && s != 18;
        EXPECT_EQ(mix_sample[s].length != 0, has) << "sample " << s;
        EXPECT_EQ(mix_sample[s].looping, s == 10 ? 1 : 0) << "sample " << s;
        loaded += has;
    }
    EXPECT_EQ(loaded, 28);
    EXPECT_EQ(mix_sample[10].loop_start, 27166u);
    EXPECT_EQ(mix_sample[10].loop_end, 27166u + 22916u);
    // the last sample's bytes end exactly at the module's end
    EXPECT_EQ(mix_sample[31].data + mix_sample[31].length, reinterpret_cast<const int8_t*>(m.data() + m.size()));
    // every note converts to an index whose finetune -3 period stays in the replay's range
    for (int p = 0; p < 24; p++)
        for (int i = 0; i < 64 * 12; i++) {
            const uint8_t* c = pt_patterns[p] + 4 * i;
            if (c[1] != 84) {
                EXPECT_GE(c[1], 34);
                EXPECT_LE(c[1], 81);
            }
        }
}
