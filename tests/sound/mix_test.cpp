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

// Channel 0 plays a sample whose bytes are their own index (mod 128); each step makes one call
// (o offset, v volume, i instrument 1, p period, s the step register, - none), then renders
// mono 16-bit and reads back which byte each frame played.
TEST(MixRead, LoopsOneShotsVolumesAndOffsets) {
    struct step { char op; int value; std::vector<int> want; };
    struct seq { const char* name; uint32_t len; int8_t first; uint32_t ls, le; int looping, period, offset; std::vector<step> steps; };
    const seq cases[] = {
        {"4 bytes a frame wrap to the loop start every frame", 16, 0, 4, 8, 1, 1, 0, {{'-', 0, {4, 4, 4, 4}}}},
        {"the first read comes after the first advance", 16, 0, 4, 8, 1, unit_period, 1,
         {{'-', 0, {2, 3, 4, 5, 6, 7, 4, 5, 6, 7}}}},
        {"the overshoot past the loop end is dropped", 16, 0, 4, 8, 1, unit_period, 0, {{'s', 3, {3, 6, 4, 7, 4}}}},
        // a one-shot ends mid-render, then sits on byte 0 with step 0 and its volume back at the
        // next latch; a new period without a retrigger plays it once more from its start
        {"one-shot", 10, 5, 0, 0, 0, unit_period, 0,
         {{'-', 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 0, 0}}, {'-', 0, {5, 5, 5}}, {'p', unit_period, {1, 2, 3}}}},
        {"volume 0 keeps the position", 100, 0, 0, 0, 0, unit_period, 0,
         {{'-', 0, {1, 2, 3}}, {'v', 0, {0, 0, 0}}, {'v', 64, {4, 5, 6}}}},
        // an offset at the length does not restart but ends the loop past loop_end; at the loop
        // end it restarts, and the loop comes back with the instrument
        {"offsets", 32, 0, 4, 8, 1, unit_period, 2,
         {{'-', 0, {3, 4}}, {'o', 32, {5, 6, 7, 8, 9, 10}}, {'o', 8, {}}, {'i', 1, {4, 5, 6}}, {'o', 20, {21, 22}}}},
        {"a loop end beyond the length is cut to it", 300, 0, 296, 400, 1, unit_period, 297, {{'-', 0, {42, 43, 40, 41, 42}}}},
        {"a loop starting at the length plays once", 300, 0, 300, 400, 1, unit_period, 298, {{'-', 0, {43, 0, 0}}}},
    };
    for (const seq& c : cases) {
        fresh_mixer(unit_rate, 1);
        test_sample s(c.len, c.first);
        play(s, c.ls, c.le, c.looping, c.period, c.offset);
        for (const step& st : c.steps) {
            switch (st.op) {
            case 'o': mix_setoffset(st.value); break;
            case 'v': mix_setvolume(st.value); break;
            case 'i': mix_setinstrument(st.value); break;
            case 'p': mix_setperiod(st.value); break;
            case 's': mix_regs[0].step = st.value; break;
            }
            EXPECT_EQ(render_bytes(int(st.want.size())), st.want) << c.name << ", " << st.op << st.value;
        }
    }
    for (auto m : {std::pair{300, 252}, {253, 252}, {252, 252}, {0, 0}}) {
        mix_setmastervol(m.first);
        EXPECT_EQ(mix_master, m.second);
    }
    mix_setinstrument(200);  // a sample number beyond the table selects no sample
    EXPECT_EQ(mix_regs[0].data, nullptr);
}

TEST(MixOutput, EightBitMonoExampleAndSilence) {
    fresh_mixer(21700, 1);
    test_sample s(4);
    for (int i = 0; i < 4; i++) s.bytes[i] = 127;
    play(s, 0, 4, 1, 113);
    std::vector<uint8_t> out8(9, 7);
    mix_render_mono(out8.data(), 8, 0);
    // 129 x 127 = 16383; >> 9 = 31; + 128; nothing written past the frames asked for
    EXPECT_EQ(out8, (std::vector<uint8_t>{159, 159, 159, 159, 159, 159, 159, 159, 7}));
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

TEST(MixRender, LongRenderEqualsPieces) {
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
}

TEST(MixInit, ForgetsTheSamplesAndBuildsTheTable) {
    test_sample s(10);
    fresh_mixer(32000, 1);
    play(s, 0, 0, 0, 300);
    mix_setpan(3);
    mix_setsample(0, s.bytes.get(), s.length, 0, 0, 0);  // entry 0 too: a sample number past the table reads it
    mix_init(21700);
    EXPECT_EQ(mix_regs[0].pan, 127);
    EXPECT_EQ(mix_sample[0].data, nullptr);
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
