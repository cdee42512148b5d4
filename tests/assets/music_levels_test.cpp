// The show's module beside libxmp, a tracker player written by other people: libxmp reads it as
// our loader does, starts the same rows at the same ticks as our player up to the song's stop, and
// renders every order at the loudness of our player and mixer as the 16-bit stereo device plays
// them (32000 frames a second, master 64, rate / ((tempo x 2) / 5) frames a tick).
//
// With ORV_MUSIC_WAV=<file> in the environment our rendering of the show, the song and its frozen
// end, is also written to that file as a 16-bit stereo WAV.
#include <gtest/gtest.h>
#include <xmp.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "assets/emb.h"
#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"

namespace {

using row_start = std::array<long, 5>;  // tick, order, row, speed, tempo

struct playback {
    std::vector<row_start> rows;                   // up to the song's stop
    std::map<int, std::pair<double, long>> power;  // by order: sum of squared values, values
    void add(int order, const int16_t* v, long n)
    {
        for (long i = 0; i < n; i++) power[order].first += double(v[i]) * v[i];
        power[order].second += n;
    }
    double db(int order) { return 10 * std::log10(power[order].first / double(power[order].second)); }
};

// Channel 0 is selected first in a tick that plays a row, before any effect moves the position.
bool row_seen;
int row_order, row_row;
void select_noting_row(int32_t c)
{
    if (c == 0) row_seen = true, row_order = pt_order, row_row = pt_row;
    mix_selchannel(c);
}

std::vector<uint8_t> module_copy;  // the loader converts the patterns in place

playback ours(long ticks, std::vector<int16_t>* wav)
{
    playback pb;
    module_copy.assign(emb_module, emb_module + emb_module_size);
    mix_bind();
    mix_init(32000);
    mix_setmastervol(64);
    sd_device.select_channel = select_noting_row;
    EXPECT_EQ(pt_start_sized(module_copy.data(), uint32_t(module_copy.size())), 1) << pt_errmsg;
    std::vector<int16_t> buf(2 * 10240);
    for (long t = 0; t < ticks; t++) {
        const bool moving = pt_speed != 0;
        row_seen = false;
        pt_play();
        if (row_seen && moving && pt_tick == 0) pb.rows.push_back({t, row_order, row_row, pt_speed, pt_bpm});
        const int n = mix_rate / ((pt_bpm * 2) / 5);
        mix_render_stereo(reinterpret_cast<uint8_t*>(buf.data()), n, 1);
        pb.add(pt_getpos() / 100, buf.data(), 2 * n);
        if (wav) wav->insert(wav->end(), buf.data(), buf.data() + 2 * n);
    }
    return pb;
}

// libxmp until the song ends: it takes F00 for the end and then plays on from the start.
playback theirs(xmp_context ctx)
{
    playback pb;
    EXPECT_EQ(xmp_start_player(ctx, 32000, 0), 0);
    xmp_frame_info fi{};
    for (long t = 0; xmp_play_frame(ctx) == 0; t++) {
        const int order = fi.pos, row = fi.row;
        xmp_get_frame_info(ctx, &fi);
        if (fi.loop_count > 0) break;
        if (fi.frame == 0 && (t == 0 || fi.pos != order || fi.row != row))
            pb.rows.push_back({t, fi.pos, fi.row, fi.speed, fi.bpm});
        pb.add(fi.pos, static_cast<const int16_t*>(fi.buffer), fi.buffer_size / 2);
    }
    xmp_end_player(ctx);
    return pb;
}

bool write_wav(const char* path, const std::vector<int16_t>& v)
{
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    const uint32_t bytes = uint32_t(2 * v.size());
    const uint32_t head[11] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16, 0x00020001, 32000, 128000, 0x00100004,
                               0x61746164, bytes};  // "RIFF", "WAVE", "fmt ": PCM, 2 channels, 16 bits; "data"
    const bool ok = fwrite(head, 4, 11, f) == 11 && fwrite(v.data(), 2, v.size(), f) == v.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

TEST(MusicLevels, LibxmpPlaysTheSameRowsAtTheLoudnessOfOurMixer)
{
    const char* wav_path = std::getenv("ORV_MUSIC_WAV");
    std::vector<int16_t> wav;
    playback a = ours(70 * 178, wav_path ? &wav : nullptr);  // the show's length, with the frozen end
    EXPECT_TRUE(!wav_path || write_wav(wav_path, wav)) << wav_path;

    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, emb_module, long(emb_module_size)), 0);
    xmp_module_info mi;
    xmp_get_module_info(ctx, &mi);
    EXPECT_EQ(mi.mod->chn, pt_channels);
    EXPECT_EQ(mi.mod->pat, 24);
    EXPECT_EQ(std::vector<uint8_t>(mi.mod->xxo, mi.mod->xxo + mi.mod->len),
              std::vector<uint8_t>(pt_orders, pt_orders + pt_songlen));
    for (int s = 0; s < 31; s++)
        EXPECT_EQ(s < mi.mod->smp && mi.mod->xxs[s].len > 0, mix_sample[s + 1].length > 0) << "sample " << s + 1;
    playback b = theirs(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);

    // every row of the song once, the same in both; at the last row our player stops (speed 0)
    ASSERT_EQ(a.rows.size(), 26u * 64u);
    ASSERT_EQ(b.rows.size(), a.rows.size());
    for (size_t i = 0; i + 1 < a.rows.size(); i++) ASSERT_EQ(a.rows[i], b.rows[i]) << "row start " << i;
    EXPECT_EQ(a.rows.back(), (row_start{b.rows.back()[0], 25, 63, 0, 175}));
    // libxmp mixes with interpolation and its own volume law: only the loudness of each order
    // before the stop is compared
    for (int order = 0; order <= 24; order++) EXPECT_NEAR(a.db(order), b.db(order), 1.5) << "order " << order;
}
