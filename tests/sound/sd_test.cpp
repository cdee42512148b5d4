// The mixer against worked examples; the menu and devices (OSS calls recorded through the seam);
// the audio process (a pipe for the device: each write arrives after its length) and the timer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/soundcard.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sound/mix.h"
#include "sound/sd_audio.h"
#include "sound/sd_internal.h"
#include "sound/sync.h"
#include "sound/tmr.h"
#include "tests/sound/pt_record.h"
#include "tests/support/ts_menus.h"

namespace {

constexpr int unit_rate = 886709, unit_period = 4;  // one byte a frame (3546836 = 4 x 886709)

// Bytes equal to their index (mod 128), exactly n of them (the address sanitizer sees overreads).
std::vector<int8_t> ramp(size_t n, int8_t first = 0) {
    std::vector<int8_t> s(n);
    for (size_t i = 0; i < n; i++) s[i] = int8_t(i & 0x7f);
    return s[0] = first, s;
}

void voice(int c, int period, int volume, int pan) {  // channel c plays sample 1
    mix_selchannel(c), mix_setinstrument(1), mix_setperiod(period), mix_setvolume(volume), mix_setpan(pan);
}

// A fresh mixer (`channels` of them), channel 0 playing sample 1 from byte `offset`.
void play(int rate, const std::vector<int8_t>& s, uint32_t ls, uint32_t le, int looping, int period, int offset = 0, int channels = 1) {
    mix_init(rate), mix_setchannels(channels), mix_setmastervol(64);
    mix_setsample(1, s.data(), uint32_t(s.size()), ls, le, looping);
    voice(0, period, 64, 127), mix_setoffset(offset);
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
        mix_regs[0].new_step = 0, mix_setperiod(r[1]);
        EXPECT_EQ((std::vector<uint32_t>{mix_regs[0].step, mix_regs[0].step_frac, uint32_t(mix_regs[0].new_step)}),
                  (std::vector<uint32_t>{uint32_t(r[2]), uint32_t(r[3]) << 8, 1})) << r[1];
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
    mix_init(21700), mix_setchannels(1), mix_setvolume(64);  // a second start forgets the samples: nothing plays
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
        mix_setmastervol(r[1]), mix_setpan(r[0]), mix_render_stereo(out8.data(), 1, 1);
        EXPECT_EQ((std::vector<int>{mix_acc[0], mix_acc[1]}), (std::vector<int>{r[2] * 100, r[3] * 100})) << r[0];
    }
    s.assign(8, -128);  // 32 channels of -128 clamp
    play(32000, s, 0, 8, 1, 428, 0, 32);
    for (int c = 0; c < 32; c++) voice(c, 428, 64, 0);
    uint8_t st16[16], st8[8];
    mix_render_stereo(st16, 4, 1), mix_render_stereo(st8, 4, 0);
    EXPECT_EQ((std::vector<int>{st16[0], st16[1], st16[2], st16[3], st8[0], st8[1]}), (std::vector<int>{0, 0x80, 0, 0, 0, 128}));
    mix_setchannels(0), mix_render_stereo(st8, 4, 0), mix_render_mono(st16, 8, 1);  // silence: 128 8-bit, 0 16-bit
    for (int i = 0; i < 8; i++) EXPECT_EQ(st8[i] * 256 + st16[i] + st16[i + 8], 128 * 256) << i;
}

std::vector<std::vector<long>> calls;  // {'o', path and mode right}, {'i', request, value}
bool open_fails;

// Runs the menu on `input` with the OSS calls recorded; what it left unread.
std::string run_menu(const std::string& input, int* result) {
    calls.clear(), sd_device = sd_device_table{}, sd_devnum = -1, sd_devname = sd_errtext = "";
    sd_oss = {[](const char* path, int flags) {
                  return calls.push_back({'o', std::string(path) == "/dev/dsp" && (flags & O_ACCMODE) == O_WRONLY}), open_fails ? -1 : 42;
              },
              [](int fd, unsigned long request, int* arg) {  // neither what a driver writes back nor its result is read
                  return calls.push_back({'i', long(request), *arg + 1000 * (fd != 42)}), *arg = 12345, -1;
              },
              [](int, const void*, unsigned long n) { return long(n); }, close};
    char* out;
    size_t out_len;
    std::string rest;
    FILE *saved_in = stdin, *saved_out = stdout, *in = stdin = fmemopen((void*)input.data(), input.size() + 1, "r");
    stdout = open_memstream(&out, &out_len);
    *result = sd_menu();
    std::fclose(stdout), stdout = saved_out, stdin = saved_in;
    EXPECT_EQ(std::string(out, out_len), ts_sound_menu);
    std::free(out);
    for (int c; (c = std::fgetc(in)) > 0;) rest.push_back(char(c));
    return std::fclose(in), sd_oss = sd_oss_real, rest;
}

TEST(SdMenu, DevicesAndTheirSettings) {
    const std::vector<std::vector<long>> dsp8 = {{'o', 1}, {'i', SNDCTL_DSP_SETFRAGMENT, 0x2000B}, {'i', SNDCTL_DSP_STEREO, 0}, {'i', SNDCTL_DSP_SPEED, 21700}},
        dsp16 = {{'o', 1}, {'i', SNDCTL_DSP_SETFRAGMENT, 0x2000D}, {'i', SNDCTL_DSP_SETFMT, AFMT_S16_LE}, {'i', SNDCTL_DSP_STEREO, 1}, {'i', SNDCTL_DSP_SPEED, 32000}};
    // text: the device's name, or the error when its open fails (no slot of the table changes then)
    struct row { std::string input; bool fails; int result, devnum, rate; const char* text; std::vector<std::vector<long>> calls; std::string rest; };
    for (const row& r : std::vector<row>{{"1\n", true, 0, 1, 44100, "sd_dsp8_init: Cannot open /dev/dsp!", {{'o', 1}}, "\n"},
                                         {"2\n", true, 0, 2, 44100, "sd_dsp16_init: Cannot find /dev/dspW!", {{'o', 1}}, "\n"},
                                         {"", false, 0, -1, 44100, "", {}, ""}, {"x0\n", false, 0, -1, 44100, "", {}, "\n"},
                                         {"3\n", false, 0, -1, 44100, "", {}, "\n"}, {"1abc\n", false, 1, 1, 21700, "/dev/dsp 8-bit mono", dsp8, "\n"},
                                         {"\n\n   \t\n  20", false, 1, 2, 32000, "/dev/dspW 16-bit stereo", dsp16, ""},
                                         {"0" + std::string(149, 'z'), false, 1, 0, 44100, "Super Qem NoSound Device 2.0c", {}, std::string(51, 'z')}}) {
        mix_rate = 44100, mix_master = 10, sync_count = 5, open_fails = r.fails;
        int result;
        EXPECT_EQ(run_menu(r.input, &result), r.rest) << r.input;  // a word is read up to 99 characters
        EXPECT_EQ((std::vector<int>{result, sd_devnum, mix_rate, mix_master, sync_count, sd_device.fd, sd_device.close == nullptr}),
                  (std::vector<int>{r.result, r.devnum, r.rate, r.result ? 64 : 10, r.result ? 0 : 5, r.fails ? -1 : sd_device.fd, !r.result})) << r.input;
        EXPECT_STREQ(r.fails ? sd_errtext : sd_devname, r.text) << r.input;
        EXPECT_EQ(calls, r.calls) << r.input;
    }
    for (auto f : {std::pair{1.0, 63}, {0.999, 62}, {1e300, 252}, {0.0, 0}}) EXPECT_EQ((sd_setmastervol_f(f.first), mix_master), f.second);
}

int dev_pipe[2] = {-1, -1};
std::vector<uint8_t> module_buf;

bool read_full(void* buf, size_t n) {  // SIGCHLD has no SA_RESTART: a read may be cut short
    for (ssize_t r; n > 0; buf = (uint8_t*)buf + r, n -= size_t(r))
        if ((r = read(dev_pipe[0], buf, n)) < 0 && errno == EINTR) r = 0;
        else if (r <= 0) return false;
    return true;
}

bool read_record(std::vector<uint8_t>* rec) {  // false at end of file
    uint32_t len;
    return read_full(&len, 4) && (rec->resize(len), read_full(rec->data(), len));
}

double now_s() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
void sleep_s(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// A 4-channel module at `tempo`, a looping sample on every channel from row 0.
void load_module(int tempo) {
    module_buf = pt_mk_module{.samples = {{32, 0, 64, 0, 32}}, .cells = {{0, 0, 0, {1, 214}}, {0, 0, 1, {1, 314}}, {0, 0, 2, {1, 414}},
                                                                       {0, 0, 3, {1, 514, 15, tempo}}}}.build();
    ASSERT_EQ(pt_start_sized(module_buf.data(), uint32_t(module_buf.size())), 1);
}

// Device `devnum` on the test pipe (cut to a page: a device takes little ahead), a module at `tempo`.
void install_device(int devnum, int tempo) {
    ASSERT_EQ(pipe(dev_pipe), 0);
    fcntl(dev_pipe[0], F_SETPIPE_SZ, 4096);
    sd_oss = {[](const char*, int) { return dev_pipe[1]; }, [](int, unsigned long, int*) { return -1; },
              [](int fd, const void* buf, unsigned long n) -> long { return write(fd, &n, 4) == 4 ? write(fd, buf, n) : -1; }, close};
    sd_devnum = devnum;
    ASSERT_EQ(devnum == 1 ? sd_dsp8_init() : sd_dsp16_init(), 1);
    sd_device.start(), sd_device.set_master(64), load_module(tempo);
}

void dummy_alarm(int) {}

sighandler_t handler_of(int sig, int* flags = nullptr) {
    struct sigaction now = {};
    return sigaction(sig, nullptr, &now), flags && (*flags = now.sa_flags), now.sa_handler;
}

// Device 2 under a storm of signals, its child then killed (the timer plays on); device 1 stopped.
TEST(SdAudio, ChildCopiesRecordsUntilTheEndMarkerOrDeath) {
    for (auto r : {std::array{32, 1808, 10664}, {128, 425, 2508}, {255, 212, 1252}, {0x10000 + 125, 434, 2560}, {0, 1808, 10664}})
        EXPECT_EQ((std::vector<int>{sd_ticklen(1, r[0]), sd_ticklen(2, r[0])}), (std::vector<int>{r[1], r[2]})) << r[0];
    signal(SIGCHLD, SIG_DFL), signal(SIGALRM, dummy_alarm), signal(SIGURG, dummy_alarm);
    for (int devnum : {2, 1}) {
        install_device(devnum, devnum == 2 ? 40 : 175);
        sd_fork(70);
        int flags, status = 0, child = sd_childpid;
        EXPECT_TRUE(child > 0 && handler_of(SIGCHLD, &flags) == sd_sigchld && !(flags & SA_RESTART));
        // at 40 BPM a 16-bit record (8000 bytes) is larger than the audio pipe cut to a page
        while (devnum == 2 && fcntl(sd_pipe[1], F_SETPIPE_SZ, 4096) < 0) sleep_s(0.001);
        sigevent ev = {};  // a signal every 50 us cuts the parent's writes short
        ev.sigev_signo = SIGURG, ev.sigev_notify = SIGEV_SIGNAL;
        timer_t storm;
        itimerspec every = {{0, 50000}, {0, 50000}};
        ASSERT_TRUE(timer_create(CLOCK_MONOTONIC, &ev, &storm) == 0 && timer_settime(storm, 0, &every, nullptr) == 0);
        std::vector<std::vector<uint8_t>> recs(31);
        for (int i = 0; i < 30; i++)  // on a failure the child goes too: it holds the device pipe's read end
            ASSERT_TRUE((read_record(&recs[i]) && recs[i].size() == (devnum == 2 ? 8000u : 310u)) || kill(child, SIGKILL) > 1) << i;
        int32_t from = pt_getpos();
        EXPECT_GE(from, 4);  // 30 ticks at speed 6, the replay a record or two ahead
        timer_delete(storm);
        if (devnum == 2) {
            kill(child, SIGKILL);
            for (int i = 0; i < 2000 && pt_getpos() < from + 12; i++) sleep_s(0.005);
            EXPECT_GE(pt_getpos(), from + 12) << "the song stopped with the audio child";
            EXPECT_EQ(sd_audio_lost, 1);
            EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1) << "the child was left a zombie";
        }
        sd_stop();
        int32_t at = pt_getpos();
        while (read_record(&recs[30])) {}  // what was in the pipes, then end of file
        EXPECT_TRUE(devnum == 2 || (waitpid(child, &status, 0) == child && status == 1 << 8));  // the marker read as a length
        EXPECT_TRUE(handler_of(SIGCHLD) == SIG_DFL && handler_of(SIGALRM) == dummy_alarm);
        EXPECT_EQ(pt_getpos(), at);  // stopped
        close(dev_pipe[0]);
        // every tick arrived whole and in order: the same song mixed here again, and not silent
        sd_device.start(), sd_device.set_master(64), load_module(devnum == 2 ? 40 : 175);
        for (int i = 0; i < 30; i++) {
            pt_play();
            int len = sd_ticklen(devnum, pt_bpm);
            (devnum == 2 ? mix_render_stereo : mix_render_mono)(sd_buffer, devnum == 2 ? len / 4 : len, devnum == 2);
            EXPECT_TRUE(std::equal(recs[i].begin(), recs[i].end(), sd_buffer)) << "record " << i;
            EXPECT_NE(std::count(recs[i].begin(), recs[i].end(), devnum == 2 ? 0 : 128), len) << i;
        }
    }
    // a show that ends without sd_stop: its audio child (device writes failing) ends at end of file
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (fork() == 0) install_device(2, 125), close(dev_pipe[0]), sd_fork(70), sleep_s(0.03), _exit(0);
    std::vector<int> ends(2, -1);
    for (int& e : ends) while (wait(&e) < 0 && errno == EINTR) {}
    EXPECT_EQ((std::sort(ends.begin(), ends.end()), ends), (std::vector<int>{0, 2 << 8}));
    install_device(2, 125), sd_stop();  // stopping before the audio process started closes, writes nothing
    EXPECT_FALSE(read_record(&module_buf));
    close(dev_pipe[0]), sd_oss = sd_oss_real;
}

// Without a device the timer plays. SIGALRM blocked for a while (as a busy machine delays it): the
// missed ticks are played, at most tmr_catchup_max more than the one signal.
TEST(Tmr, LateSignalsPlayTheMissedTicks) {
    signal(SIGALRM, dummy_alarm);
    sigset_t set;
    sigemptyset(&set), sigaddset(&set, SIGALRM);
    for (double late : {0.3, 1.0}) {
        sd_nosound_init(), sd_devnum = 0, load_module(125);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        double a = now_s();
        sd_fork(70);
        double b = now_s();
        sleep_s(late);
        double c = now_s();
        sigprocmask(SIG_UNBLOCK, &set, nullptr);  // the pending SIGALRM is taken here
        int played = tmr_getcount(), pos = pt_getpos();
        double d = now_s();
        sd_stop();
        const double period = 0.014285;
        int sure = int((c - b) / period), most = int((d - a) / period) + 1, extra = int((d - c) / period) + 1;
        EXPECT_GE(played, std::min(sure, 1 + tmr_catchup_max)) << late;
        EXPECT_LE(played, std::min(most, 1 + tmr_catchup_max) + extra) << late;
        EXPECT_EQ(pos, (played - 1) / 6) << late;  // one replay tick each, speed 6
    }
    tmr_start(0, nullptr);  // a rate below 1 arms nothing
    EXPECT_EQ(handler_of(SIGALRM), dummy_alarm);
}

}  // namespace
