// Spline segments: with all parameters 0 the segment is Catmull-Rom.
#include <gtest/gtest.h>

#include "engine3d/sp.h"

TEST(SpTcb, CatmullRomTable)
{
    struct Case { float p0, p1, p2, p3, s, want; };
    const Case cases[] = {
        {0, 10, 20, 40, 0.0f, 10.0f},      // passes through P1
        {0, 10, 20, 40, 1.0f, 20.0f},      // and through P2
        {0, 10, 20, 40, 0.25f, 12.265625f},
        {0, 10, 20, 40, 2.0f, 50.0f},      // beyond P2 the cubic extrapolates
    };
    for (const Case& c : cases) {
        float out = -1;
        sp_tcb_segment(&c.p0, &c.p1, &c.p2, &c.p3, &out, c.s, 1);
        EXPECT_EQ(out, c.want) << c.p0 << " " << c.p1 << " " << c.p2 << " " << c.p3 << " s=" << c.s;
    }
}

TEST(SpTcb, ComponentsAreIndependentUpToTen)
{
    float p0[10], p1[10], p2[10], p3[10], out[11];
    for (int j = 0; j < 10; j++) {
        p0[j] = static_cast<float>(j * 3 - 7);
        p1[j] = static_cast<float>(j * j);
        p2[j] = static_cast<float>(100 - j * 11);
        p3[j] = static_cast<float>(j % 3 * 50);
    }
    out[10] = 12345.0f;
    sp_tcb_segment(p0, p1, p2, p3, out, 0.375f, 10);
    for (int j = 0; j < 10; j++) {
        float one;
        sp_tcb_segment(&p0[j], &p1[j], &p2[j], &p3[j], &one, 0.375f, 1);
        EXPECT_EQ(out[j], one) << j;
    }
    EXPECT_EQ(out[10], 12345.0f);  // nothing written past n
}

TEST(SpTcb, CoefficientsAreRoundedToFloat)
{
    // P1 = 2^23 + 1 makes a = 1.5 P1 = 12582913.5 and b = -2.5 P1 = -20971522.5, which round
    // to 12582914 and -20971522 in float; at s = 1 the rounded coefficients give 1 where the
    // exact ones give P2 = 0.
    const float z = 0, big = 8388609.0f;
    float out;
    sp_tcb_segment(&z, &big, &z, &z, &out, 1.0f, 1);
    EXPECT_EQ(out, 1.0f);
}
