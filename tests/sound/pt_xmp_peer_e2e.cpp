// Our player against libxmp on real modules written by other people (Debian game-data packages):
// the rows played, the tick each starts at, and the speed and tempo agree up to the song's first
// loop; and the loudness of whole songs through our mixer follows libxmp's nearest-neighbour one.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"
#include "tests/sound/sd_e2e_util.h"

namespace {

struct row_start {
    long tick;
    int order, row, speed, tempo;
    bool operator==(const row_start&) const = default;
};

std::ostream& operator<<(std::ostream& o, const row_start& r) {
    return o << "tick " << r.tick << " " << r.order << ":" << r.row << " speed " << r.speed << " tempo " << r.tempo;
}

std::string module_path(const std::string& rel) { return ts_build_path("tests/sound/debcache/x/usr/share/games/" + rel); }

struct played {
    bool loaded = false;
    std::vector<row_start> rows;  // ours: every row started; libxmp's: up to the row it loops to
    long rows_before_loop = -1;   // libxmp: rows before its first loop
    std::vector<int> last;        // ours: order, row and speed after the last tick
    std::vector<int16_t> pcm;     // 16-bit stereo at 32000 Hz (when asked for)
};

int32_t seen_order, seen_row;
bool seen;
std::vector<uint8_t> module;

// Our player for `ticks` ticks, or rendering the whole song (until speed 0, an order played
// before, or 600 s) as the 16-bit stereo device does.
played ours(const std::string& path, long ticks, bool render) {
    played p;
    module = sd_e2e_slurp(path);
    sd_nosound_init();
    mix_init(32000);
    sd_device.set_master(64);
    sd_device.select_channel = [](int32_t c) {  // channel 0 comes before any effect moves the row
        mix_selchannel(c);
        if (c == 0) seen = true, seen_order = pt_order, seen_row = pt_row;
    };
    if (!(p.loaded = pt_start_sized(module.data(), uint32_t(module.size())) == 1)) return p;
    std::vector<bool> was_played(128);
    int32_t order = -1;
    for (long t = 0; render ? p.pcm.size() < 600 * 64000 : t < ticks; t++) {
        bool moving = pt_speed != 0;
        seen = false;
        pt_play();
        if (seen && pt_tick == 0 && moving) p.rows.push_back({t, seen_order, seen_row, pt_speed, pt_bpm});
        if (!seen) seen_order = pt_order, seen_row = pt_row;
        p.last = {seen_order, seen_row, pt_speed};
        if (!render) continue;
        if (pt_order != order && (order = pt_order, was_played[order & 127])) break;
        was_played[order & 127] = true;
        if (pt_speed == 0) break;
        int len = sd_ticklen(2, pt_bpm);
        mix_render_stereo(sd_buffer, len / 4, 1);
        p.pcm.insert(p.pcm.end(), (int16_t*)sd_buffer, (int16_t*)(sd_buffer + len));
    }
    return p;
}

// libxmp one tick per frame, up to its first loop.
played theirs(const std::string& path, long ticks, bool render) {
    played p;
    xmp_context ctx = xmp_create_context();
    if ((p.loaded = xmp_load_module(ctx, const_cast<char*>(path.c_str())) == 0)) {
        xmp_start_player(ctx, 32000, 0);
        xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
        xmp_frame_info fi;
        int order = -1, row = -1;
        for (long t = 0; (render || t < ticks) && xmp_play_frame(ctx) == 0; t++) {
            xmp_get_frame_info(ctx, &fi);
            if (render && fi.loop_count > 0) break;
            auto b = (const int16_t*)fi.buffer;
            if (render) p.pcm.insert(p.pcm.end(), b, b + fi.buffer_size / 2);
            if (fi.frame != 0 || (fi.pos == order && fi.row == row)) continue;  // a delay's frames count on
            order = fi.pos, row = fi.row;
            if (fi.loop_count > 0 && p.rows_before_loop < 0) p.rows_before_loop = long(p.rows.size());
            p.rows.push_back({t, fi.pos, fi.row, fi.speed, fi.bpm});
            if (!render && p.rows_before_loop >= 0) break;
        }
        xmp_end_player(ctx);
        xmp_release_module(ctx);
    }
    xmp_free_context(ctx);
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

TEST(PtPeer, RowsTicksAndLoudnessFollowLibxmpOnRealModules) {
    if (std::string why = sd_e2e_fetch({"ironseed-data", "tecnoballz-data", "madbomber-data"}); !why.empty()) GTEST_SKIP() << why;
    for (const char* m : {"ironseed/sound/CARGO.MOD", "ironseed/sound/SECTOR.MOD",  // M.K., 6CHN
                          "ironseed/sound/GUILD.MOD",                               // breaks on every pattern
                          "ironseed/sound/CREWCOMM.MOD", "ironseed/sound/INTRO1.MOD",  // 8CHN; restart 21, tempi
                          "tecnoballz/musics/mon-lapin_reg-zbb.mod",  // pattern delays
                          "tecnoballz/musics/area5-game.mod"}) {      // jumps, breaks, many speeds
        played a = ours(module_path(m), 16000, false), b = theirs(module_path(m), 16000, false);
        ASSERT_TRUE(a.loaded && b.loaded) << m;
        ASSERT_GT(b.rows_before_loop, 63) << m;
        ASSERT_GT(a.rows.size(), b.rows.size()) << m;
        for (size_t i = 0; i < b.rows.size(); i++) ASSERT_EQ(a.rows[i], b.rows[i]) << m << ", row start " << i;
    }
    // Where our rules differ: a module without a channel tag (15 samples) is refused;
    std::string old = module_path("tecnoballz/musics/area1-game2.mod");
    EXPECT_FALSE(ours(old, 100, false).loaded);
    EXPECT_STREQ(pt_errmsg, "pt_takemod error: unknown module type!");
    EXPECT_TRUE(theirs(old, 100, false).loaded);
    // at a last row with F00 libxmp loops to order 0, ours stops (as the show's module relies on)
    std::string stop = module_path("madbomber/music/gluppobe.mod");
    played a = ours(stop, 8000, false), b = theirs(stop, 8000, false);
    ASSERT_GT(b.rows_before_loop, 63);
    b.rows.pop_back();  // libxmp's order 0, row 0
    b.rows.back().speed = 0;
    EXPECT_EQ(a.rows, b.rows);
    EXPECT_EQ(a.last, (std::vector<int>{27, 63, 0}));
    for (const char* m : {"tecnoballz/musics/area2-game.mod", "ironseed/sound/PROBE.MOD", "ironseed/sound/CREWCOMM.MOD"}) {
        std::vector<double> x = loudness(ours(module_path(m), 0, true).pcm), y = loudness(theirs(module_path(m), 0, true).pcm);
        EXPECT_NEAR(double(x.size()), double(y.size()), 2) << m;  // both end the song at the same place
        ASSERT_GT(std::min(x.size(), y.size()), 300u) << m;       // at least 30 s of music
        std::vector<double> diff, dev;
        for (size_t i = 0; i < std::min(x.size(), y.size()); i++)
            if (x[i] > 20 && y[i] > 20) diff.push_back(x[i] - y[i]);  // both audible
        ASSERT_GT(diff.size(), x.size() / 2) << m;
        for (double d : diff) dev.push_back(std::fabs(d - median(diff)));
        EXPECT_LT(median(dev), 1.0) << m << ", gain " << median(diff) << " dB";
    }
}

}  // namespace
