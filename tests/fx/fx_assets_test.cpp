// The effects with the media the show carries: every picture they use decodes (the pictures
// these checks look at would otherwise stay black) and a few frames render.
#include <gtest/gtest.h>

#include <vector>

#include "fx/fx_balls.h"
#include "fx/fx_beams.h"
#include "fx/fx_blobs.h"
#include "fx/fx_curtain.h"
#include "fx/fx_mirror.h"

namespace {

constexpr int N = 320 * 240;

int lit(const uint32_t* f, int from, int to)
{
    int n = 0;
    for (int i = from; i < to; i++) n += (f[i] & 0xffffff) != 0;
    return n;
}

TEST(EmbeddedMedia, CurtainShowsAnimationAndPicture)
{
    ASSERT_EQ(fx_curtain_init(), 0);
    for (uint32_t t : {0u, 19u, 20u, 500u}) {
        const uint32_t* f = fx_curtain_render(t);
        EXPECT_GT(lit(f, 10 * 320, 20 * 320), 3000) << "animation rows, t " << t;
        EXPECT_GT(lit(f, 236 * 320, 237 * 320), 0) << "picture rows, t " << t;
    }
    fx_curtain_free();
}

TEST(EmbeddedMedia, BlobStampIsADiscOfOnes)
{
    testing::internal::CaptureStdout();
    fx_blobs_init();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the stamp picture decodes";
    std::vector<uint8_t> buf(320 * 202, 0);
    fx_blobs_stamp(100, 100, 1, buf.data());
    int mass = 0;
    for (uint8_t b : buf) {
        ASSERT_LE(b, 1);
        mass += b;
    }
    EXPECT_GT(mass, 150);   // a filled disc about 19 pixels across: about 280
    EXPECT_LT(mass, 400);
}

TEST(EmbeddedMedia, BallsMirrorAndBeamsRender)
{
    fx_balls_init();
    const uint32_t* b = fx_balls_render(50, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_GT(lit(b, 0, N), N / 2);
    fx_balls_free();

    fx_mirror_init();
    const uint32_t* m = fx_mirror_render(600, 1);
    ASSERT_NE(m, nullptr);
    EXPECT_GT(lit(m, 0, N), N / 2);
    for (int i = 0; i < N; i++) ASSERT_EQ(m[i] >> 24, 0u);
    fx_mirror_free();

    fx_beams_init();
    const uint32_t* l = fx_beams_render(10.0);
    ASSERT_NE(l, nullptr);
    EXPECT_GT(lit(l, 0, N), N / 4);
    fx_beams_free();
}

}  // namespace
