// Keyframed camera evaluation on paths built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine3d/kf.h"
#include "engine3d/sc_scene.h"

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

struct Cam {
    int32_t x, y, z, roll, tx, ty, tz;
    bool operator==(const Cam&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Cam& c)
{
    return o << "(" << c.x << "," << c.y << "," << c.z << " roll " << c.roll << " target " << c.tx << ","
             << c.ty << "," << c.tz << ")";
}

Cam eval(const kf_camera_path& p, double t, int* result = nullptr)
{
    sc_scene s;
    memset(&s, 0x11, sizeof s);
    const int r = kf_camera_eval(&s, &p, t);
    if (result)
        *result = r;
    return {s.cam_x, s.cam_y, s.cam_z, s.roll, s.target_x, s.target_y, s.target_z};
}

// Five keys on frames 0, 10, 20, 30, 40; roll one key per 10 frames; a one-key target.
Path sample()
{
    return Path(0, 40,
                {0, 100, -200, 300, 10, 110, -190, 310, 20, 150, -100, 0, 30, 150, -100, 0, 40, -7, 8, 9},
                {0, 0, 10, 256, 20, 512, 30, 0, 40, -1000},
                {5, 1, 2, 3});
}

}  // namespace

TEST(KfCamera, RangeChecksLeaveTheSceneAlone)
{
    Path a = sample();
    const Cam untouched{0x11111111, 0x11111111, 0x11111111, 0x11111111, 0x11111111, 0x11111111, 0x11111111};
    for (double t : {-0.1, 100.5, static_cast<double>(NAN)}) {
        int r = -1;
        EXPECT_EQ(eval(a.p, t, &r), untouched) << t;
        EXPECT_EQ(r, 1) << t;
    }
    Path empty = sample();
    empty.p.end_frame = empty.p.start_frame;
    int r = -1;
    EXPECT_EQ(eval(empty.p, 50, &r), untouched);
    EXPECT_EQ(r, 1);
    // a track without keys is refused rather than read
    for (int track = 0; track < 3; track++) {
        Path b = sample();
        (track == 0 ? b.p.pos_count : track == 1 ? b.p.roll_count : b.p.target_count) = 0;
        EXPECT_EQ(eval(b.p, 50, &r), untouched);
        EXPECT_EQ(r, 1);
        Path c = sample();
        (track == 0 ? c.p.pos_keys : track == 1 ? c.p.roll_keys : c.p.target_keys) = nullptr;
        EXPECT_EQ(eval(c.p, 50, &r), untouched);
        EXPECT_EQ(r, 1);
    }
    EXPECT_EQ(kf_camera_eval(nullptr, &a.p, 5), 1);
    // frames far apart do not overflow the segment's length
    Path wide = sample();
    wide.p.start_frame = INT32_MIN;
    wide.p.end_frame = INT32_MAX;
    // frame -0.5: before the first key, which it gives
    EXPECT_EQ(eval(wide.p, 50, &r), (Cam{100, -200, 300, 0, 1, 2, 3}));
    EXPECT_EQ(r, 0);
}

TEST(KfCamera, KeyFramesGiveTheKeysExactly)
{
    Path a = sample();
    struct Case { double t; Cam want; };
    const Case cases[] = {
        {0, {100, -200, 300, 0, 1, 2, 3}},      // at the first key: s = 0 with P1 = P2 = k0
        {25, {110, -190, 310, 256, 1, 2, 3}},   // frame 10: s = 1 at key 1
        {50, {150, -100, 0, 512, 1, 2, 3}},
        {75, {150, -100, 0, 0, 1, 2, 3}},
        {100, {-7, 8, 9, -1000, 1, 2, 3}},      // t = 100 is end_frame, the last key
    };
    for (const Case& c : cases) {
        int r = -1;
        EXPECT_EQ(eval(a.p, c.t, &r), c.want) << c.t;
        EXPECT_EQ(r, 0);
    }
    // a frame before the first key gives the first key
    Path early = sample();
    early.p.start_frame = -20;
    EXPECT_EQ(eval(early.p, 0, nullptr), (Cam{100, -200, 300, 0, 1, 2, 3}));
}

TEST(KfCamera, BetweenKeysIsCatmullRomTruncated)
{
    // frame 5, halfway from key 0 to key 1: the window is (k0, k0, k1, k2)
    Path a = sample();
    const Cam c = eval(a.p, 12.5, nullptr);
    EXPECT_EQ(c.x, 102);   // 102.5
    EXPECT_EQ(c.y, -200);  // -200.625 truncates toward zero
    // a two-key track uses (k0, k0, k1, k1): -1 to 0 at s = 0.3 is -0.742 -> 0, the half
    // point -0.5 -> 0 as well
    Path two(0, 10, {0, 0, 0, 0, 10, 10, 10, 10}, {0, -1, 10, 0}, {0, 0, 0, 0});
    EXPECT_EQ(eval(two.p, 30, nullptr).roll, 0);
    EXPECT_EQ(eval(two.p, 50, nullptr).roll, 0);
    EXPECT_EQ(eval(two.p, 50, nullptr).x, 5);
}

TEST(KfCamera, PastTheLastKeyExtrapolates)
{
    // segment 0..20, keys on 0 and 10 only: beyond frame 10 s exceeds 1 on the last segment
    Path p(0, 20, {0, 0, 0, 0, 10, 100, 0, 0}, {0, 0}, {0, 0, 0, 0});
    // window (k0, k0, k1, k1), s = 2: 0.5 (0 + 100*2 + (400 - 100)*4 + (-300 + 100)*8) = -100
    EXPECT_EQ(eval(p.p, 100, nullptr).x, -100);
    // wild keys saturate instead of wrapping
    Path w(0, 20, {0, 0, 0, 0, 10, INT32_MAX, INT32_MIN, 0}, {0, 0}, {0, 0, 0, 0});
    const Cam c = eval(w.p, 100, nullptr);
    EXPECT_EQ(c.x, INT32_MIN);
    EXPECT_EQ(c.y, INT32_MAX);
}
