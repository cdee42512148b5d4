// The mixer against worked examples: steps, loop and one-shot rules, volume rows, output formats.
#include <gtest/gtest.h>

#include <vector>

#include "sound/mix.h"

namespace {

constexpr int unit_rate = 886709, unit_period = 4;  // one byte a frame (3546836 = 4 x 886709)

// Bytes equal to their index (mod 128), exactly n of them (the address sanitizer sees overreads).
std::vector<int8_t> ramp(size_t n, int8_t first = 0) {
    std::vector<int8_t> s(n);
    for (size_t i = 0; i < n; i++) s[i] = int8_t(i & 0x7f);
    return s[0] = first, s;
}

void voice(int c, int period, int volume, int pan) {
    mix_selchannel(c);
    mix_setinstrument(1);
    mix_setperiod(period);
    mix_setvolume(volume);
    mix_setpan(pan);
}

// A fresh mixer (`channels` of them), channel 0 playing sample 1 from byte `offset`.
void play(int rate, const std::vector<int8_t>& s, uint32_t ls, uint32_t le, int looping, int period, int offset = 0, int channels = 1) {
    mix_init(rate);
    mix_setchannels(channels);
    mix_setmastervol(64);
    mix_setsample(1, s.data(), uint32_t(s.size()), ls, le, looping);
    voice(0, period, 64, 127);
    mix_setoffset(offset);
}

std::vector<int> render_bytes(int n) {  // mono 16-bit; the sample byte each frame read
    std::vector<uint8_t> out(2 * n);
    mix_render_mono(out.data(), n, 1);
    std::vector<int> r;
    for (int i = 0; i < n; i++) r.push_back(int16_t(out[2 * i] | out[2 * i + 1] << 8) / 129);
    return r;
}

TEST(Mix, StepsFromPeriods) {
    mix_setvolume(33);  // before any selection: channel 0
    EXPECT_EQ(mix_regs[0].volume, 33);
    auto s = ramp(1000);
    for (auto r : {std::array{21700, 113, 1, 0x724A70}, {32000, 27, 4, 0x1AEA14}, {32000, 428, 0, 0x424BC6}}) {
        play(r[0], s, 0, 0, 0, 1);
        mix_regs[0].new_step = 0;
        mix_setperiod(r[1]);
        EXPECT_EQ((std::vector<uint32_t>{mix_regs[0].step, mix_regs[0].step_frac >> 8, uint32_t(mix_regs[0].new_step)}),
                  (std::vector<uint32_t>{uint32_t(r[2]), uint32_t(r[3]), 1})) << r[1];
    }
    std::vector<uint8_t> out(4 * 640);
    mix_render_stereo(out.data(), 640, 1);  // 640 frames of period 428: 165 bytes and a fraction
    EXPECT_EQ((std::vector<uint32_t>{mix_voices[0].pos, mix_voices[0].pos_frac}), (std::vector<uint32_t>{165, uint32_t(0x424BC6ull * 256 * 640)}));
    mix_setperiod(0);  // below 1: the channel holds
    EXPECT_EQ(mix_regs[0].step + mix_regs[0].step_frac, 0u);
}

// Each step makes one call (o offset, v volume, i instrument 1, p period, s the step register,
// - none), then renders and compares the bytes read.
TEST(Mix, LoopsOneShotsVolumesAndOffsets) {
    struct step { char op; int value; std::vector<int> want; };
    struct seq { const char* name; uint32_t len; int8_t first; uint32_t ls, le; int looping, period, offset; std::vector<step> steps; };
    const seq cases[] = {
        {"4 bytes a frame wrap every frame", 16, 0, 4, 8, 1, 1, 0, {{'-', 0, {4, 4, 4}}}},
        {"read after the first advance", 16, 0, 4, 8, 1, unit_period, 1, {{'-', 0, {2, 3, 4, 5, 6, 7, 4, 5}}}},
        {"overshoot past the loop end dropped", 16, 0, 4, 8, 1, unit_period, 0, {{'s', 3, {3, 6, 4, 7, 4}}}},
        // a one-shot ends, sits on byte 0 with its volume back at the next latch; a new period plays it again
        {"one-shot", 10, 5, 0, 0, 0, unit_period, 0, {{'-', 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0}}, {'-', 0, {5, 5}}, {'p', unit_period, {1, 2}}}},
        {"volume 0 keeps the position", 100, 0, 0, 0, 0, unit_period, 0, {{'-', 0, {1, 2}}, {'v', 0, {0, 0}}, {'v', 64, {3}}}},
        {"offsets", 32, 0, 4, 8, 1, unit_period, 2, {{'-', 0, {3, 4}}, {'o', 32, {5, 6, 7, 8, 9}}, {'o', 8, {}}, {'i', 1, {4, 5}}, {'o', 20, {21}}}},
        {"loop end cut to the length", 300, 0, 296, 400, 1, unit_period, 297, {{'-', 0, {42, 43, 40, 41}}}},
        {"loop from the length plays once", 300, 0, 300, 400, 1, unit_period, 298, {{'-', 0, {43, 0, 0}}}},
    };
    for (const seq& c : cases) {
        auto s = ramp(c.len, c.first);
        play(unit_rate, s, c.ls, c.le, c.looping, c.period, c.offset);
        for (const step& st : c.steps) {
            if (st.op == 'o') mix_setoffset(st.value);
            if (st.op == 'v') mix_setvolume(st.value);
            if (st.op == 'i') mix_setinstrument(st.value);
            if (st.op == 'p') mix_setperiod(st.value);
            if (st.op == 's') mix_regs[0].step = st.value;
            EXPECT_EQ(render_bytes(int(st.want.size())), st.want) << c.name << ", " << st.op << st.value;
        }
    }
    for (auto m : {std::pair{300, 252}, {252, 252}, {0, 0}}) EXPECT_EQ((mix_setmastervol(m.first), mix_master), m.second);
    mix_setinstrument(200);  // past the table: no sample
    EXPECT_EQ(mix_regs[0].data, nullptr);
    mix_init(21700);  // a second start forgets the samples: a volume alone plays nothing
    mix_setchannels(1);
    mix_setvolume(64);
    EXPECT_EQ(render_bytes(2), (std::vector<int>{0, 0}));
}

TEST(Mix, OutputFormats) {
    std::vector<int8_t> s(8, 127);
    play(21700, s, 0, 4, 1, 113);
    std::vector<uint8_t> out8(5, 7);
    mix_render_mono(out8.data(), 4, 0);  // 129 x 127 >> 9 = 31, + 128; nothing past the frames
    EXPECT_EQ(out8, (std::vector<uint8_t>{159, 159, 159, 159, 7}));
    s.assign(8, 100);  // pan rows; rows beyond 255 keep their low 8 bits
    for (auto r : {std::array{0, 64, 129, 0}, {255, 64, 0, 129}, {127, 64, 65, 64}, {64, 252, 382 & 255, 128}}) {
        play(unit_rate, s, 0, 8, 1, unit_period);
        mix_setmastervol(r[1]);
        mix_setpan(r[0]);
        mix_render_stereo(out8.data(), 1, 1);
        EXPECT_EQ((std::vector<int>{mix_acc[0], mix_acc[1]}), (std::vector<int>{r[2] * 100, r[3] * 100})) << r[0];
    }
    s.assign(8, -128);  // 32 channels of -128 clamp
    play(32000, s, 0, 8, 1, 428, 0, 32);
    for (int c = 0; c < 32; c++) voice(c, 428, 64, 0);
    uint8_t st16[16], st8[8];
    mix_render_stereo(st16, 4, 1);
    mix_render_stereo(st8, 4, 0);
    EXPECT_EQ((std::vector<int>{st16[0], st16[1], st16[2], st16[3], st8[0], st8[1]}), (std::vector<int>{0, 0x80, 0, 0, 0, 128}));
    mix_setchannels(0);  // silence: 128 unsigned 8-bit, 0 signed 16-bit
    mix_render_stereo(st8, 4, 0);
    mix_render_mono(st16, 8, 1);
    for (int i = 0; i < 8; i++) EXPECT_EQ(st8[i] * 256 + st16[i] + st16[i + 8], 128 * 256) << i;
    std::vector<uint8_t> out[2] = {std::vector<uint8_t>(60000), std::vector<uint8_t>(60000)};
    for (int k = 0; k < 2; k++) {  // a render longer than the accumulators equals its pieces
        auto t = ramp(300);
        play(32000, t, 10, 300, 1, 200, 0, 2);
        voice(1, 150, 40, 200);
        mix_render_stereo(out[k].data(), k ? 10000 : 15000, 1);
        if (k) mix_render_stereo(out[k].data() + 40000, 5000, 1);
    }
    EXPECT_EQ(out[0], out[1]);
}

}  // namespace
