// Every 2D effect through its life: init with the show's media, a few renders (drawn, not black,
// moving, inside its buffers under the sanitizers), free with nothing left on the heap; then the
// same with broken media, which must be refused without a crash.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <vector>

#include "assets/emb.h"
#include "fx/fx_balls.h"
#include "fx/fx_beams.h"
#include "fx/fx_blobs.h"
#include "fx/fx_curtain.h"
#include "fx/fx_internal.h"
#include "fx/fx_mirror.h"
#include "picture/pix.h"

namespace {

constexpr int N = pix_frame_pixels;

// The blobs draw indices into a buffer of main's (two spare rows below); shown through their palette.
std::vector<uint8_t> blob_buf(pix_frame_w * 202);
std::vector<uint32_t> blob_frame(N);
const uint32_t* blobs_render(int32_t t)
{
    fx_blobs_render(blob_buf.data(), t);
    pix_expand_palette(blob_buf.data(), fx_blobs_palette, blob_frame.data(), pix_frame_w * 200);
    return blob_frame.data();
}

struct Effect {
    const char* name;
    void (*init)();
    void (*init_from)(const uint8_t* pic, uint32_t size);   // every picture (and container) replaced
    const uint32_t* (*render)(int32_t t);
    void (*free)();                                         // null: the effect has none
    int min_lit;                                            // non-black pixels at least, good media
    bool top_bytes_zero;
};

const Effect effects[] = {
    {"curtain", [] { ASSERT_EQ(fx_curtain_init(), 0); },
     [](const uint8_t* p, uint32_t n) { ASSERT_EQ(fx_curtain_init_from(p, n, p, n), 0); },
     [](int32_t t) -> const uint32_t* { return fx_curtain_render(static_cast<uint32_t>(t)); }, fx_curtain_free,
     N / 2, true},
    {"balls", fx_balls_init, [](const uint8_t* p, uint32_t n) { fx_balls_init_from(p, n, p, n, p, n); },
     [](int32_t t) -> const uint32_t* { return fx_balls_render(t, t & 1); }, fx_balls_free, N / 2, true},
    {"mirror", fx_mirror_init, [](const uint8_t* p, uint32_t n) { fx_mirror_init_from(p, n, p, n, p, n); },
     [](int32_t t) -> const uint32_t* { return fx_mirror_render(t, t < 300); }, fx_mirror_free, N / 2, true},
    {"beams", fx_beams_init, fx_beams_init_from,
     [](int32_t t) -> const uint32_t* { return fx_beams_render(0.25 * t); }, fx_beams_free, N / 4, false},
    {"blobs", fx_blobs_init, fx_blobs_init_from, blobs_render, nullptr, 500, true},
};

int lit(const uint32_t* f) { return int(std::count_if(f, f + N, [](uint32_t p) { return (p & 0xffffff) != 0; })); }

class Effects : public testing::TestWithParam<Effect> {};

TEST_P(Effects, InitRenderFree)
{
    const Effect& e = GetParam();
    testing::internal::CaptureStdout();
    e.init();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the show's pictures decode";
    std::vector<uint32_t> last;
    for (int32_t t : {0, 40, 520, 1000}) {
        const uint32_t* f = e.render(t);
        ASSERT_NE(f, nullptr) << t;
        EXPECT_GE(lit(f), e.min_lit) << "t " << t;
        EXPECT_TRUE(!e.top_bytes_zero || std::all_of(f, f + N, [](uint32_t p) { return p >> 24 == 0; })) << t;
        std::vector<uint32_t> now(f, f + N);
        EXPECT_NE(now, last) << "t " << t << " shows the frame before";
        last = now;
    }
    if (e.free) {
        e.free();
        EXPECT_EQ(e.render(5), nullptr) << "render after free";
        e.free();
        const size_t held = mallinfo2().uordblks + mallinfo2().hblkhd;   // 0 under the sanitizers
        e.init();
        e.render(5);
        e.free();
        EXPECT_LT(mallinfo2().uordblks + mallinfo2().hblkhd, held + 4096) << "init, render and free leak";
    }
}

TEST_P(Effects, BrokenMediaRefusedWithoutACrash)
{
    const Effect& e = GetParam();
    // a picture cut inside its body, one cut inside its header, bytes that are no picture at all
    std::vector<uint8_t> cut_body(emb_pic_curtain, emb_pic_curtain + emb_pic_curtain_size / 2);
    std::vector<uint8_t> cut_head(emb_pic_curtain, emb_pic_curtain + 30);
    std::vector<uint8_t> junk(emb_anim_curtain, emb_anim_curtain + 4000);
    for (const auto* media : {&cut_body, &cut_head, &junk}) {
        testing::internal::CaptureStdout();
        e.init_from(media->data(), static_cast<uint32_t>(media->size()));
        const std::string said = testing::internal::GetCapturedStdout();
        if (!e.free) { EXPECT_NE(said, "") << "the blobs name the decoder's complaint"; }
        for (int32_t t : {0, 600}) {
            const uint32_t* f = e.render(t);
            ASSERT_NE(f, nullptr);
            EXPECT_LT(lit(f), N) << "the refused picture shows black somewhere, t " << t;
        }
        if (e.free) e.free();
    }
    // The blobs keep the last stamp they were given: restore the show's.
    if (!e.free) e.init();
}

INSTANTIATE_TEST_SUITE_P(All, Effects, testing::ValuesIn(effects),
                         [](const testing::TestParamInfo<Effect>& i) { return std::string(i.param.name); });

}  // namespace
