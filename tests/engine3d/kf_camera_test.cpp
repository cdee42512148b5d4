// Spline segments (all parameters 0: Catmull-Rom) and the keyframed camera on paths built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine3d/kf.h"
#include "engine3d/sc_scene.h"
#include "engine3d/sp.h"

namespace {

struct Path {
    std::vector<int32_t> pos, roll, target;
    kf_camera_path p{};
    Path(int32_t start, int32_t end, std::vector<int32_t> pk, std::vector<int32_t> rk, std::vector<int32_t> tk)
        : pos(std::move(pk)), roll(std::move(rk)), target(std::move(tk))
    {
        p = {start, end, static_cast<int32_t>(pos.size() / 4), pos.data(), static_cast<int32_t>(roll.size() / 2),
             roll.data(), static_cast<int32_t>(target.size() / 4), target.data()};
    }
};

// Five keys on frames 0, 10, 20, 30, 40; roll one key per 10 frames; a one-key target.
Path sample()
{
    return Path(0, 40, {0, 100, -200, 300, 10, 110, -190, 310, 20, 150, -100, 0, 30, 150, -100, 0, 40, -7, 8, 9},
                {0, 0, 10, 256, 20, 512, 30, 0, 40, -1000}, {5, 1, 2, 3});
}

// The result, then camera x, y, z, roll, target x, y, z (0x11111111 where untouched).
std::vector<int32_t> eval(const kf_camera_path& p, double t)
{
    sc_scene s;
    memset(&s, 0x11, sizeof s);
    const int r = kf_camera_eval(&s, &p, t);
    return {r, s.cam_x, s.cam_y, s.cam_z, s.roll, s.target_x, s.target_y, s.target_z};
}

const int32_t u = 0x11111111;

}  // namespace

TEST(SpTcb, CatmullRomRoundedToFloat)
{
    const float cases[][6] = {{0, 10, 20, 40, 0, 10}, {0, 10, 20, 40, 1, 20},  // through P1 and P2
                              {0, 10, 20, 40, 0.25f, 12.265625f}, {0, 10, 20, 40, 2, 50},  // beyond P2 it extrapolates
                              // P1 = 2^23 + 1: a = 1.5 P1 and b = -2.5 P1 round in float, so s = 1 gives 1, not P2 = 0
                              {0, 8388609.0f, 0, 0, 1, 1}};
    for (const auto& c : cases) {
        float out = -1;
        sp_tcb_segment(&c[0], &c[1], &c[2], &c[3], &out, c[4], 1);
        EXPECT_EQ(out, c[5]) << &c - cases;
    }
}

TEST(KfCamera, RangeChecksLeaveTheSceneAlone)
{
    Path a = sample();
    const std::vector<int32_t> refused = {1, u, u, u, u, u, u, u};
    for (double t : {-0.1, 100.5, static_cast<double>(NAN)})
        EXPECT_EQ(eval(a.p, t), refused) << t;
    Path empty = sample();
    empty.p.end_frame = empty.p.start_frame;
    EXPECT_EQ(eval(empty.p, 50), refused);
    for (int track = 0; track < 3; track++) {  // a track without keys is refused rather than read
        Path b = sample(), c = sample();
        (track == 0 ? b.p.pos_count : track == 1 ? b.p.roll_count : b.p.target_count) = 0;
        (track == 0 ? c.p.pos_keys : track == 1 ? c.p.roll_keys : c.p.target_keys) = nullptr;
        EXPECT_EQ(eval(b.p, 50), refused) << track;
        EXPECT_EQ(eval(c.p, 50), refused) << track;
    }
    EXPECT_EQ(kf_camera_eval(nullptr, &a.p, 5), 1);
    Path wide = sample();  // frames far apart do not overflow the segment's length
    wide.p.start_frame = INT32_MIN, wide.p.end_frame = INT32_MAX;
    EXPECT_EQ(eval(wide.p, 50), (std::vector<int32_t>{0, 100, -200, 300, 0, 1, 2, 3}));  // frame -0.5: the first key
}

TEST(KfCamera, KeyFramesExactCatmullRomBetweenAndExtrapolatedPast)
{
    Path a = sample();
    const std::vector<std::pair<double, std::vector<int32_t>>> keys = {
        {0, {0, 100, -200, 300, 0, 1, 2, 3}},      // the first key: s = 0 with P1 = P2 = k0
        {25, {0, 110, -190, 310, 256, 1, 2, 3}},   // frame 10: s = 1 at key 1
        {50, {0, 150, -100, 0, 512, 1, 2, 3}}, {75, {0, 150, -100, 0, 0, 1, 2, 3}},
        {100, {0, -7, 8, 9, -1000, 1, 2, 3}}};     // t = 100 is end_frame, the last key
    for (const auto& [t, want] : keys)
        EXPECT_EQ(eval(a.p, t), want) << t;
    Path early = sample();  // a frame before the first key gives the first key
    early.p.start_frame = -20;
    EXPECT_EQ(eval(early.p, 0), keys[0].second);
    // frame 5, halfway from key 0 to key 1, window (k0, k0, k1, k2): 102.5 and -200.625 truncate
    EXPECT_EQ(eval(a.p, 12.5)[1], 102);
    EXPECT_EQ(eval(a.p, 12.5)[2], -200);
    // a two-key track uses (k0, k0, k1, k1): roll -1 to 0 at s = 0.3 is -0.742 -> 0, at s = 0.5 too
    Path two(0, 10, {0, 0, 0, 0, 10, 10, 10, 10}, {0, -1, 10, 0}, {0, 0, 0, 0});
    EXPECT_EQ(eval(two.p, 30)[4], 0);
    EXPECT_EQ(eval(two.p, 50)[4], 0);
    EXPECT_EQ(eval(two.p, 50)[1], 5);
    // keys on 0 and 10 of 0..20: s = 2 on the last segment, 0.5 (200 + 300 x 4 - 200 x 8) = -100;
    // wild keys saturate instead of wrapping
    EXPECT_EQ(eval(Path(0, 20, {0, 0, 0, 0, 10, 100, 0, 0}, {0, 0}, {0, 0, 0, 0}).p, 100)[1], -100);
    Path w(0, 20, {0, 0, 0, 0, 10, INT32_MAX, INT32_MIN, 0}, {0, 0}, {0, 0, 0, 0});
    EXPECT_EQ(eval(w.p, 100)[1], INT32_MIN);
    EXPECT_EQ(eval(w.p, 100)[2], INT32_MAX);
}
