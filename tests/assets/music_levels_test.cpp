// The show's module rendered through our player and mixer as the 16-bit stereo device plays it
// (32000 frames a second, master 64): it never clips, the middle of the show is its loudest
// part, and the ending's pad rings on while the song stands still.
//
// With ORV_MUSIC_WAV=<file> in the environment the rendering is also written as a WAV file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "assets/emb.h"
#include "tests/assets/music_render.h"

namespace {

struct level {
    double sum = 0, sum_l = 0, sum_r = 0;
    long values = 0;
    int peak = 0;
    double rms_db() const { return 10 * std::log10(sum / double(values) / (32768.0 * 32768.0)); }
};

}  // namespace

TEST(MusicLevels, NoClippingLoudestInTheMiddleAndTheEndRingsOn)
{
    const long ticks = 70L * 178;  // the show, with the frozen end
    std::map<int, level> by_order;  // order 26: after the song has stopped
    level all;
    long clipped = 0;
    std::vector<int16_t> wav;
    const char* wav_path = getenv("ORV_MUSIC_WAV");
    ASSERT_EQ(music_render(emb_module, emb_module_size, ticks, [&](const music_tick& t) {
        int order = pt_speed == 0 ? 26 : t.pos / 100;
        level& o = by_order[order];
        for (int i = 0; i < 2 * t.count; i++) {
            int v = t.frames[i];
            if (v == 32767 || v == -32768)
                clipped++;
            for (level* l : {&o, &all}) {
                l->sum += double(v) * v;
                (i % 2 ? l->sum_r : l->sum_l) += v;
                l->values++;
                l->peak = std::max(l->peak, std::abs(v));
            }
        }
        if (wav_path)
            wav.insert(wav.end(), t.frames, t.frames + 2 * t.count);
    }), 1);
    if (wav_path) {
        EXPECT_TRUE(music_write_wav(wav_path, wav, 32000)) << wav_path;
    }

    printf("peak %d (%.2f dBFS), clipped %ld of %ld output values (%.6f%%), rms %.1f dBFS\n", all.peak,
           20 * std::log10(all.peak / 32768.0), clipped, all.values, 100.0 * clipped / all.values, all.rms_db());
    for (auto& [order, l] : by_order)
        printf("  order %2d: peak %5d, rms %6.1f dBFS\n", order, l.peak, l.rms_db());

    EXPECT_EQ(clipped, 0);
    EXPECT_LT(all.peak, 32000);
    EXPECT_GT(all.peak, 24000);  // and it is not timid
    // no DC drift: the mean of each side stays near zero
    EXPECT_LT(std::fabs(all.sum_l / (all.values / 2)), 100.0);
    EXPECT_LT(std::fabs(all.sum_r / (all.values / 2)), 100.0);

    auto mean_db = [&](std::initializer_list<int> orders) {
        double s = 0;
        for (int o : orders)
            s += by_order[o].rms_db();
        return s / double(orders.size());
    };
    double intro = mean_db({0}), verse = mean_db({2, 3, 4}), middle = mean_db({15, 16, 17, 18}),
           balls = mean_db({19, 20, 21});
    EXPECT_LT(intro, verse - 2.0);
    EXPECT_GT(middle, verse + 2.0);
    EXPECT_GT(middle, balls + 1.5);
    // the loudest order is in the middle, and everything before the shatter and after the
    // orbit stays below the middle's level
    int loudest = 0;
    for (int o = 0; o <= 25; o++) {
        if (by_order[o].rms_db() > by_order[loudest].rms_db()) loudest = o;
        EXPECT_TRUE((o >= 9 && o <= 18) || by_order[o].rms_db() < middle - 0.5) << "order " << o;
    }
    EXPECT_TRUE(loudest >= 15 && loudest <= 18) << loudest;
    // the song has stopped: the pad still sounds, steadily
    ASSERT_TRUE(by_order.count(26));
    EXPECT_GT(by_order[26].rms_db(), -40.0);
    EXPECT_LT(by_order[26].rms_db(), intro + 6.0);
}
