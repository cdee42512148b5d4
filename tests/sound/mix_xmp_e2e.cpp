// Whole real modules through our player and mixer against libxmp's nearest-neighbour renderer:
// the loudness of the mono sum over 0.1 s windows agrees once the overall gain is normalised.
// The modules come from Debian game-data packages, fetched once into the build tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/sound/sd_e2e_util.h"
#include "tests/support/ts_process.h"

namespace {

std::vector<int16_t> read_s16(const std::string& path, size_t skip) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(f)), {});
    std::vector<int16_t> s;
    for (size_t i = skip; i + 1 < b.size(); i += 2)
        s.push_back((int16_t)((uint8_t)b[i] | (uint8_t)b[i + 1] << 8));
    return s;
}

// dB of the mean square of the mono sum (left + right) over windows of 3200 frames (0.1 s).
std::vector<double> loudness(const std::vector<int16_t>& stereo) {
    std::vector<double> db;
    const size_t n = 3200;
    for (size_t w = 0; (w + n) * 2 <= stereo.size(); w += n) {
        double s = 0;
        for (size_t i = w; i < w + n; i++) {
            double m = (double)stereo[2 * i] + stereo[2 * i + 1];
            s += m * m;
        }
        db.push_back(10 * std::log10(s / n + 1e-9));
    }
    return db;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

TEST(MixAgainstLibxmp, LoudnessFollowsOverWholeModules) {
    if (!ts_have_program("xmp")) GTEST_SKIP() << "xmp (the libxmp player) is not installed";
    std::string why = sd_e2e_fetch({"tecnoballz-data", "ironseed-data"});
    if (!why.empty()) GTEST_SKIP() << why;
    struct row { const char* file; int channels; };
    const row rows[] = {{"usr/share/games/tecnoballz/musics/area2-game.mod", 4},
                        {"usr/share/games/ironseed/sound/PROBE.MOD", 6},
                        {"usr/share/games/ironseed/sound/CREWCOMM.MOD", 8}};
    for (const row& r : rows) {
        std::string mod = sd_e2e_debroot() + "/" + r.file;
        std::string ours = sd_e2e_debroot() + "/../ours.raw", theirs = sd_e2e_debroot() + "/../xmp.wav";
        std::string out;
        ASSERT_EQ(ts_run({ts_build_path("tests/sound/mix_modrender"), mod, ours}, &out), 0) << out;
        ASSERT_EQ(ts_run({"xmp", "--norc", "--nocmd", "-q", "-d", "wav", "-o", theirs, "-f", "32000", "-b", "16",
                          "-i", "nearest", "-a", "1", mod}, &out), 0) << out;
        std::vector<double> a = loudness(read_s16(ours, 0)), b = loudness(read_s16(theirs, 44));
        // Both players end the song at the same place (to within a window: the clocks differ).
        EXPECT_NEAR((double)a.size(), (double)b.size(), 2) << r.file;
        size_t n = std::min(a.size(), b.size());
        ASSERT_GT(n, 300u) << r.file;  // at least 30 s of music
        std::vector<double> diff;
        for (size_t i = 0; i < n; i++)
            if (a[i] > 20 && b[i] > 20) diff.push_back(a[i] - b[i]);  // both audible
        ASSERT_GT(diff.size(), n / 2) << r.file;
        double gain = median(diff);
        std::vector<double> dev;
        for (double d : diff) dev.push_back(std::fabs(d - gain));
        EXPECT_LT(median(dev), 1.0) << r.file << " (" << r.channels << " channels), gain " << gain << " dB";
        std::printf("%s: %d channels, %zu windows, gain %.2f dB, median deviation %.3f dB\n", r.file,
                    r.channels, n, gain, median(dev));
        std::remove(ours.c_str());
        std::remove(theirs.c_str());
    }
}

}  // namespace
