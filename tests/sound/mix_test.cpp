// The mixer against worked examples: steps from periods, loop and one-shot rules, volume rows
// and the output conversions.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "sound/mix.h"
#include "sound/sd_device.h"

namespace {

// A rate at which period 4 steps exactly one byte per frame (3546836 = 4 x 886709).
constexpr int unit_rate = 886709;
constexpr int unit_period = 4;

// A sample whose bytes are their own index (so a rendered value tells which byte was read), in a
// buffer of exactly `length` bytes so that a read past it is caught by the address sanitizer.
struct test_sample {
    std::unique_ptr<int8_t[]> bytes;
    uint32_t length;
    explicit test_sample(uint32_t n, int8_t first = 0) : bytes(new int8_t[n]), length(n) {
        for (uint32_t i = 0; i < n; i++) bytes[i] = (int8_t)(i & 0x7f);
        bytes[0] = first;
    }
};

void fresh_mixer(int rate, int channels) {
    mix_init(rate);
    mix_setchannels(channels);
    mix_setmastervol(64);
}

// Channel 0 playing sample 1 at volume 64 from byte `offset`.
void play(const test_sample& s, uint32_t loop_start, uint32_t loop_end, int looping, int period,
          int offset = 0) {
    mix_setsample(1, s.bytes.get(), s.length, loop_start, loop_end, looping);
    mix_selchannel(0);
    mix_setinstrument(1);
    mix_setperiod(period);
    mix_setvolume(64);
    mix_setoffset(offset);
}

// Renders mono 16-bit and gives the sample byte read for each frame (value / row 129).
std::vector<int> render_bytes(int n) {
    std::vector<uint8_t> out(2 * n);
    mix_render_mono(out.data(), n, 1);
    std::vector<int> r;
    for (int i = 0; i < n; i++) {
        int16_t v = (int16_t)(out[2 * i] | out[2 * i + 1] << 8);
        EXPECT_EQ(v % 129, 0) << "frame " << i;
        r.push_back(v / 129);
    }
    return r;
}

// First in this program: no channel has been selected yet.
TEST(MixOps, BeforeAnySelectionTheyActOnChannelZero) {
    mix_setvolume(33);
    mix_setpan(9);
    EXPECT_EQ((std::vector<int>{mix_regs[0].volume, mix_regs[0].pan, mix_regs[1].volume}), (std::vector<int>{33, 9, 0}));
}

TEST(MixStep, PeriodGivesTwentyFourBitFraction) {
    struct row { int rate, period; uint32_t step, frac24; };
    const row rows[] = {{32000, 428, 0, 0x424BC6}, {21700, 113, 1, 0x724A70}, {32000, 27, 4, 0x1AEA14}};
    for (const row& r : rows) {
        fresh_mixer(r.rate, 1);
        mix_selchannel(0);
        mix_regs[0].new_step = 0;
        mix_setperiod(r.period);
        EXPECT_EQ(mix_regs[0].step, r.step) << r.period;
        EXPECT_EQ(mix_regs[0].step_frac, r.frac24 << 8) << r.period;
        EXPECT_EQ(mix_regs[0].new_step, 1);
    }
    // One tick at 125 BPM (640 frames) of period 428 at 32000 Hz moves 165 bytes and a fraction.
    fresh_mixer(32000, 1);
    test_sample s(1000);
    play(s, 0, 0, 0, 428);
    std::vector<uint8_t> out(4 * 640);
    mix_render_stereo(out.data(), 640, 1);
    EXPECT_EQ(mix_voices[0].pos, 165u);
    EXPECT_EQ(mix_voices[0].pos_frac, (uint32_t)(0x424BC6ull * 256 * 640));
    // A period below 1 holds the channel where it is.
    mix_setperiod(0);
    EXPECT_EQ((std::vector<uint32_t>{mix_regs[0].step, mix_regs[0].step_frac}), (std::vector<uint32_t>{0, 0}));
}

TEST(MixLoop, WrapsExactlyToLoopStartAndReadsAfterAdvancing) {
    fresh_mixer(unit_rate, 1);
    test_sample s(16);
    play(s, 4, 8, 1, 1);  // period 1: 4 bytes a frame; 0 -> 4, then 8 wraps to 4 every frame
    EXPECT_EQ(render_bytes(4), (std::vector<int>{4, 4, 4, 4}));
    play(s, 4, 8, 1, unit_period, 1);  // one byte a frame from offset 1: the first read is byte 2
    EXPECT_EQ(render_bytes(10), (std::vector<int>{2, 3, 4, 5, 6, 7, 4, 5, 6, 7}));
    // Step 3 from 0: 3, 6, then 9 >= 8 lands on 4 exactly (the overshoot is dropped), 7, 10 -> 4.
    fresh_mixer(unit_rate, 1);
    play(s, 4, 8, 1, unit_period);
    mix_regs[0].step = 3;
    EXPECT_EQ(render_bytes(5), (std::vector<int>{3, 6, 4, 7, 4}));
}

TEST(MixOnce, EndsMidRenderThenHoldsTheFirstByte) {
    fresh_mixer(unit_rate, 1);
    test_sample s(10, 5);  // first byte 5
    play(s, 0, 0, 0, unit_period);
    std::vector<int> expect = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(render_bytes(16), expect);
    EXPECT_EQ((std::vector<int64_t>{mix_voices[0].pos, mix_voices[0].step, mix_voices[0].volume}),
              (std::vector<int64_t>{0, 0, 0}));  // stopped: position, step and volume
    // The register volume comes back at the next latch; with step 0 the channel sits on byte 0.
    EXPECT_EQ(render_bytes(3), (std::vector<int>{5, 5, 5}));
    // A new period without a retrigger plays the sample once more from its start.
    mix_setperiod(unit_period);
    EXPECT_EQ(render_bytes(3), (std::vector<int>{1, 2, 3}));
}

TEST(MixVolume, ZeroVolumeKeepsThePositionAndMasterIsCut) {
    fresh_mixer(unit_rate, 1);
    test_sample s(100);
    play(s, 0, 0, 0, unit_period);
    EXPECT_EQ(render_bytes(3), (std::vector<int>{1, 2, 3}));
    mix_setvolume(0);
    EXPECT_EQ(render_bytes(3), (std::vector<int>{0, 0, 0}));
    mix_setvolume(64);
    EXPECT_EQ(render_bytes(3), (std::vector<int>{4, 5, 6}));

    const int32_t masters[][2] = {{300, 252}, {253, 252}, {252, 252}, {0, 0}};
    for (auto& m : masters) {
        mix_setmastervol(m[0]);
        EXPECT_EQ(mix_master, m[1]);
    }
}

TEST(MixOffset, BeyondLengthKeepsPositionAndBeyondLoopEndStopsLooping) {
    fresh_mixer(unit_rate, 1);
    test_sample s(32);
    play(s, 4, 8, 1, unit_period, 2);
    render_bytes(2);                   // now at byte 4
    mix_setoffset(32);                 // at the length: no retrigger, but past loop_end
    EXPECT_EQ(mix_regs[0].looping, 0);
    EXPECT_EQ(mix_regs[0].retrigger, 0);
    EXPECT_EQ(render_bytes(6), (std::vector<int>{5, 6, 7, 8, 9, 10}));  // plays on, once
    mix_setoffset(8);                  // at loop_end, inside the sample: retrigger, looping kept
    mix_setinstrument(1);              // the loop comes back with the instrument
    EXPECT_EQ(mix_regs[0].looping, 1);
    EXPECT_EQ(render_bytes(3), (std::vector<int>{4, 5, 6}));  // 8 + 1 wraps to 4
    mix_setoffset(20);
    EXPECT_EQ(mix_regs[0].looping, 0);
    EXPECT_EQ(render_bytes(2), (std::vector<int>{21, 22}));
}

TEST(MixOutput, EightBitMonoExampleAndSilence) {
    fresh_mixer(21700, 1);
    test_sample s(4);
    for (int i = 0; i < 4; i++) s.bytes[i] = 127;
    play(s, 0, 4, 1, 113);
    uint8_t out8[8];
    mix_render_mono(out8, 8, 0);
    for (uint8_t b : out8) EXPECT_EQ(b, 159);  // 129 x 127 = 16383; >> 9 = 31; + 128
    EXPECT_EQ(mix_acc[0], 16383);

    // Clamping: 32 channels of -128 at volume 64 far exceed 16 bits.
    fresh_mixer(32000, 32);
    for (int i = 0; i < 4; i++) s.bytes[i] = -128;
    mix_setsample(1, s.bytes.get(), 4, 0, 4, 1);
    for (int c = 0; c < 32; c++) {
        mix_selchannel(c);
        mix_setinstrument(1);
        mix_setperiod(428);
        mix_setvolume(64);
        mix_setpan(0);
    }
    uint8_t st16[16], st8[8];
    mix_render_stereo(st16, 4, 1);
    EXPECT_EQ(std::vector<uint8_t>(st16, st16 + 4), (std::vector<uint8_t>{0x00, 0x80, 0, 0}));  // -32768 | 0
    mix_render_stereo(st8, 4, 0);
    EXPECT_EQ(std::vector<uint8_t>(st8, st8 + 2), (std::vector<uint8_t>{0, 128}));  // pan 0: nothing right

    // No channels: silence in every format (128 unsigned 8-bit, 0 signed 16-bit).
    mix_setchannels(0);
    uint8_t s8[10], s16[20];
    mix_render_stereo(s8, 5, 0);
    mix_render_mono(s16, 10, 1);
    for (uint8_t b : s8) EXPECT_EQ(b, 128);
    for (uint8_t b : s16) EXPECT_EQ(b, 0);
}

TEST(MixStereo, PanSelectsTheRows) {
    struct row { int pan, volume, master, left, right; };
    const row rows[] = {
        {0, 64, 64, 129, 0}, {255, 64, 64, 0, 129}, {127, 64, 64, 65, 64},
        {64, 64, 252, 382 & 255, 128},  // rows beyond 255 keep their low 8 bits
    };
    test_sample s(8);
    for (int i = 0; i < 8; i++) s.bytes[i] = 100;
    for (const row& r : rows) {
        fresh_mixer(unit_rate, 1);
        mix_setmastervol(r.master);
        play(s, 0, 8, 1, unit_period);
        mix_setvolume(r.volume);
        mix_setpan(r.pan);
        uint8_t out[8];
        mix_render_stereo(out, 2, 1);
        EXPECT_EQ(mix_acc[2], r.left * 100) << r.pan << " " << r.volume << " " << r.master;
        EXPECT_EQ(mix_acc[3], r.right * 100) << r.pan << " " << r.volume << " " << r.master;
    }
}

TEST(MixRender, LongRenderEqualsPiecesAndLoopsStayInsideTheSample) {
    test_sample s(300);
    auto setup = [&] {
        fresh_mixer(32000, 2);
        play(s, 10, 300, 1, 200);
        mix_selchannel(1);
        mix_setinstrument(1);
        mix_setperiod(150);
        mix_setvolume(40);
        mix_setpan(200);
    };
    setup();
    std::vector<uint8_t> whole(4 * 15000), parts(4 * 15000);
    mix_render_stereo(whole.data(), 15000, 1);
    setup();
    mix_render_stereo(parts.data(), 10000, 1);
    mix_render_stereo(parts.data() + 4 * 10000, 5000, 1);
    EXPECT_EQ(whole, parts);

    // A loop end beyond the length is cut to the length; a loop starting there plays once.
    fresh_mixer(unit_rate, 1);
    play(s, 296, 400, 1, unit_period, 297);
    EXPECT_EQ(render_bytes(5), (std::vector<int>{298 & 0x7f, 299 & 0x7f, 296 & 0x7f, 297 & 0x7f, 298 & 0x7f}));
    play(s, 300, 400, 1, unit_period, 298);
    EXPECT_EQ(render_bytes(3), (std::vector<int>{299 & 0x7f, 0, 0}));
    // A sample number beyond the table selects no sample.
    mix_setinstrument(200);
    EXPECT_EQ(mix_regs[0].length, 0u);
    EXPECT_EQ(mix_regs[0].data, nullptr);
}

TEST(MixInit, ForgetsTheSamplesAndBuildsTheTable) {
    test_sample s(10);
    fresh_mixer(32000, 1);
    play(s, 0, 0, 0, 300);
    mix_setpan(3);
    mix_init(21700);
    EXPECT_EQ(mix_regs[0].pan, 127);
    EXPECT_EQ(mix_sample[1].data, nullptr);
    // A second start forgets the lengths with the data: a volume alone then plays nothing.
    EXPECT_EQ(mix_sample[1].length, 0u);
    mix_selchannel(0);
    mix_setvolume(64);
    EXPECT_EQ(render_bytes(4), (std::vector<int>{0, 0, 0, 0}));
    const int32_t cells[][3] = {{1, 128, -128}, {255, 128, -32640}, {255, 127, 32385}};
    for (auto& c : cells) EXPECT_EQ(mix_voltab[c[0]][c[1]], c[2]);
}

}  // namespace
