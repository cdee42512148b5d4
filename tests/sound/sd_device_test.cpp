// The sound menu and the device initialisers, with the OSS calls recorded through the seam.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/soundcard.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/mix.h"
#include "sound/sd_device.h"
#include "sound/sd_internal.h"
#include "sound/sync.h"
#include "tests/support/ts_menus.h"

namespace {

std::vector<std::vector<long>> calls;  // {op, request, value}: 'o' open, 'i' ioctl, 'c' close
bool open_fails = false;
constexpr int fake_fd = 42;

const sd_oss_ops recorder = {
    [](const char* path, int flags) {
        EXPECT_STREQ(path, "/dev/dsp");
        EXPECT_EQ(flags & O_ACCMODE, O_WRONLY);
        calls.push_back({'o'});
        return open_fails ? -1 : fake_fd;
    },
    [](int fd, unsigned long request, int* arg) {
        calls.push_back({'i', long(request), *arg + 1000 * (fd != fake_fd)});
        *arg = 12345;  // what a driver writes back is never read
        return -1;     // nor its result
    },
    [](int, const void*, unsigned long n) { return long(n); },
    [](int fd) {
        calls.push_back({'c', fd});
        return 0;
    }};

// Runs the menu with `input` on standard input; its result, and what it printed and left unread.
int run_menu(const std::string& input, std::string* printed, std::string* rest = nullptr) {
    calls.clear();
    sd_device = sd_device_table{};
    sd_devnum = -1;
    sd_devname = sd_errtext = "";
    sd_oss = recorder;
    static char* out;
    static size_t out_len, shown;  // what standard output had given out when the answer was read
    static std::string answer;
    answer = input;
    shown = SIZE_MAX;
    cookie_io_functions_t reader = {[](void*, char* buf, size_t n) -> ssize_t {
                                        shown = std::min(shown, out_len);
                                        n = std::min(n, answer.size());
                                        answer.copy(buf, n);
                                        answer.erase(0, n);
                                        return ssize_t(n);
                                    }, nullptr, nullptr, nullptr};
    FILE *saved_in = stdin, *saved_out = stdout, *in = fopencookie(nullptr, "r", reader);
    stdin = in;
    stdout = open_memstream(&out, &out_len);
    int r = sd_menu();
    EXPECT_EQ(shown, sizeof ts_sound_menu - 1) << "the question must be out before the answer is read";
    std::fclose(stdout);
    stdout = saved_out;
    stdin = saved_in;
    printed->assign(out, out_len);
    std::free(out);
    for (int c; rest && (c = std::fgetc(in)) != EOF;) rest->push_back((char)c);
    std::fclose(in);
    return r;
}

TEST(SdMenu, FirstCharacterOfOneWordDecides) {
    const std::vector<std::vector<long>> dsp8 = {
        {'o'}, {'i', SNDCTL_DSP_SETFRAGMENT, 0x2000B}, {'i', SNDCTL_DSP_STEREO, 0}, {'i', SNDCTL_DSP_SPEED, 21700}};
    const std::vector<std::vector<long>> dsp16 = {{'o'}, {'i', SNDCTL_DSP_SETFRAGMENT, 0x2000D},
        {'i', SNDCTL_DSP_SETFMT, AFMT_S16_LE}, {'i', SNDCTL_DSP_STEREO, 1}, {'i', SNDCTL_DSP_SPEED, 32000}};
    struct row {
        std::string input;
        int result, devnum, rate;
        const char* name;
        std::vector<std::vector<long>> calls;
    };
    for (const row& r : std::vector<row>{{"0\n", 1, 0, 44100, "Super Qem NoSound Device 2.0c", {}},
                                         {"1abc\n", 1, 1, 21700, "/dev/dsp 8-bit mono", dsp8},
                                         {"\n\n   \t\n  20", 1, 2, 32000, "/dev/dspW 16-bit stereo", dsp16},
                                         {"", 0, -1, 44100, "", {}},
                                         {"x0\n", 0, -1, 44100, "", {}},
                                         {"3\n", 0, -1, 44100, "", {}}}) {
        mix_rate = 44100;
        mix_master = 10;
        sync_count = 5;
        int32_t next_id = sync_nextid;
        std::string printed;
        EXPECT_EQ(run_menu(r.input, &printed), r.result) << r.input;
        EXPECT_EQ(printed, ts_sound_menu);
        EXPECT_EQ(sd_devnum, r.devnum) << r.input;
        EXPECT_STREQ(sd_devname, r.name) << r.input;
        EXPECT_EQ(calls, r.calls) << r.input;
        EXPECT_EQ(mix_rate, r.rate) << r.input;  // the dsp devices start the mixer at their rate
        EXPECT_EQ(mix_master, r.result ? 64 : 10) << r.input;
        EXPECT_EQ(sync_count, r.result ? 0 : 5) << r.input;
        EXPECT_EQ(sync_nextid, next_id);
    }
    // a word is read up to 99 characters; the rest stays unread
    std::string printed, rest;
    EXPECT_EQ(run_menu("0" + std::string(149, 'z') + "\n", &printed, &rest), 1);
    EXPECT_EQ(rest, std::string(51, 'z') + "\n");
}

TEST(SdDevice, FailedOpensCloseAndTheNoSoundDevice) {
    open_fails = true;
    std::string printed;
    EXPECT_EQ(run_menu("1\n", &printed), 0);
    EXPECT_STREQ(sd_errtext, "sd_dsp8_init: Cannot open /dev/dsp!");
    EXPECT_EQ(run_menu("2\n", &printed), 0);
    EXPECT_STREQ(sd_errtext, "sd_dsp16_init: Cannot find /dev/dspW!");
    EXPECT_EQ((std::vector<long>{sd_devnum, sd_device.fd}), (std::vector<long>{2, -1}));
    EXPECT_EQ(sd_device.close, nullptr);  // no slot changed
    EXPECT_STREQ(sd_devname, "");
    open_fails = false;

    ASSERT_EQ(run_menu("2\n", &printed), 1);
    calls.clear();
    sd_device.stop();
    sd_device.close();
    EXPECT_EQ(calls, (std::vector<std::vector<long>>{{'c', fake_fd}}));

    ASSERT_EQ(run_menu("0\n", &printed), 1);
    calls.clear();
    // every mixer operation is there and changes only mixer state
    EXPECT_EQ(sd_device.set_sample(3, nullptr, 0, 0, 0, 0), 1);
    sd_device.set_channels(6);
    sd_device.select_channel(2);
    sd_device.set_instrument(3);
    sd_device.set_period(428);
    sd_device.set_volume(33);
    sd_device.set_pan(200);
    sd_device.set_offset(0);
    sd_device.hook2();
    sd_device.stop();
    sd_device.close();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ((std::vector<int>{sd_device.fd, mix_channels, mix_regs[2].volume, mix_regs[2].pan, mix_regs[2].sample}),
              (std::vector<int>{-1, 6, 33, 200, 3}));
    sd_oss = sd_oss_real;
    for (auto f : {std::pair{1.0, 63}, {0.999, 62}, {1e300, 252}, {0.0, 0}}) {
        sd_setmastervol_f(f.first);
        EXPECT_EQ(mix_master, f.second) << f.first;
    }
}

}  // namespace
