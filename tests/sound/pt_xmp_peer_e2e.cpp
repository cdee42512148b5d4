// Our player against libxmp on real modules of other people (Debian game data): rows, their ticks,
// speed and tempo agree up to the first loop; loudness follows libxmp's nearest-neighbour mixer.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"
#include "tests/support/ts_process.h"

namespace {

// Row starts {tick, order, row, speed, tempo}, and the song as 16-bit stereo at 32000 Hz.
struct played { std::vector<std::array<long, 5>> rows; std::vector<int16_t> pcm; };

int32_t seen, seen_order, seen_row;
std::vector<uint8_t> module;

// Ours, until speed 0, an order played before, or 600 s.
played ours(const std::string& path) {
    played p;
    std::ifstream f(path, std::ios::binary);
    module.assign(std::istreambuf_iterator<char>(f), {});
    sd_nosound_init(), mix_init(32000), sd_device.set_master(64);
    sd_device.select_channel = [](int32_t c) {  // channel 0 comes before any effect moves the row
        mix_selchannel(c);
        if (c == 0) seen = 1, seen_order = pt_order, seen_row = pt_row;
    };
    EXPECT_EQ(pt_start_sized(module.data(), uint32_t(module.size())), 1) << path;
    std::vector<bool> was_played(128);
    for (long t = 0, order = -1; p.pcm.size() < 600 * 64000; t++) {
        bool moving = pt_speed != 0;
        seen = false, pt_play();
        if (seen && pt_tick == 0 && moving) p.rows.push_back({t, seen_order, seen_row, pt_speed, pt_bpm});
        if (pt_order != order && (order = pt_order, was_played[order & 127])) break;
        was_played[order & 127] = true;
        if (pt_speed == 0) break;
        int len = sd_ticklen(2, pt_bpm);
        mix_render_stereo(sd_buffer, len / 4, 1);
        p.pcm.insert(p.pcm.end(), (int16_t*)sd_buffer, (int16_t*)(sd_buffer + len));
    }
    return p;
}

// libxmp, one tick a frame, up to its first loop (rows: the row the loop goes to included).
played theirs(const std::string& path) {
    played p;
    xmp_context ctx = xmp_create_context();
    EXPECT_EQ(xmp_load_module(ctx, const_cast<char*>(path.c_str())), 0) << path;
    xmp_start_player(ctx, 32000, 0), xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    xmp_frame_info fi;
    for (long t = 0, order = -1, row = -1; xmp_play_frame(ctx) == 0 && t < 200000; t++) {
        xmp_get_frame_info(ctx, &fi);
        if (fi.frame == 0 && (fi.pos != order || fi.row != row))  // a delay's frames count on
            order = fi.pos, row = fi.row, p.rows.push_back({t, fi.pos, fi.row, fi.speed, fi.bpm});
        if (fi.loop_count > 0) break;
        p.pcm.insert(p.pcm.end(), (const int16_t*)fi.buffer, (const int16_t*)fi.buffer + fi.buffer_size / 2);
    }
    xmp_end_player(ctx), xmp_release_module(ctx), xmp_free_context(ctx);
    return p;
}

// dB of the mean square of the mono sum over windows of 3200 frames (0.1 s).
std::vector<double> loudness(const std::vector<int16_t>& s) {
    std::vector<double> db;
    for (size_t w = 0; (w + 3200) * 2 <= s.size(); w += 3200) {
        double sum = 0;
        for (size_t i = w; i < w + 3200; i++) sum += std::pow(double(s[2 * i]) + s[2 * i + 1], 2);
        db.push_back(10 * std::log10(sum / 3200 + 1e-9));
    }
    return db;
}

double median(std::vector<double> v) { return std::sort(v.begin(), v.end()), v.empty() ? 0 : v[v.size() / 2]; }

TEST(PtPeer, RowsTicksAndLoudnessFollowLibxmpOnRealModules) {
    // the Debian packages, downloaded and unpacked once per build tree
    std::string dir = ts_build_path("tests/sound/debcache"), out, at = dir + "/x/usr/share/games/";
    if (ts_run({"sh", "-c", "set -e; mkdir -p \"$0\"; cd \"$0\"; for p in ironseed-data tecnoballz-data; do [ -e $p.unpacked ] || "
                "{ rm -f ${p}_*.deb; apt-get download $p; dpkg -x ${p}_*.deb x; rm ${p}_*.deb; touch $p.unpacked; }; done", dir},
               &out, 360000) != 0)
        GTEST_SKIP() << "cannot download the modules with apt-get: " << out;
    for (const char* m : {"ironseed/sound/CARGO.MOD", "ironseed/sound/SECTOR.MOD",  // M.K., 6CHN
                          "ironseed/sound/GUILD.MOD", "ironseed/sound/PROBE.MOD",   // breaks on every pattern
                          "ironseed/sound/CREWCOMM.MOD", "ironseed/sound/INTRO1.MOD",  // 8CHN; restart 21, tempi
                          "tecnoballz/musics/mon-lapin_reg-zbb.mod",  // pattern delays
                          "tecnoballz/musics/area2-game.mod", "tecnoballz/musics/area5-game.mod"}) {  // jumps, breaks, speeds
        played a = ours(at + m), b = theirs(at + m);
        ASSERT_GT(b.rows.size(), 64u) << m << ": libxmp did not loop";
        ASSERT_GE(a.rows.size(), b.rows.size()) << m;
        for (size_t i = 0; i < b.rows.size(); i++) ASSERT_EQ(a.rows[i], b.rows[i]) << m << ", row start " << i;
        if (std::string(m).ends_with("INTRO1.MOD")) continue;  // its tempo changes: tick lengths round apart
        // loudness over windows of 0.1 s: where both are audible, the difference stays near its median
        std::vector<double> x = loudness(a.pcm), y = loudness(b.pcm), diff, dev;
        EXPECT_NEAR(double(x.size()), double(y.size()), 2) << m;  // both end the song at the same place
        for (size_t i = 0; i < std::min(x.size(), y.size()); i++)
            if (x[i] > 20 && y[i] > 20) diff.push_back(x[i] - y[i]);
        ASSERT_GT(diff.size(), std::max<size_t>(x.size() / 2, 100)) << m;
        for (double d : diff) dev.push_back(std::fabs(d - median(diff)));
        EXPECT_LT(median(dev), 1.0) << m << ", gain " << median(diff) << " dB";
    }
}

}  // namespace
