// The audio process and the interval timer in this process: a pipe stands in for the device
// (each device write arrives with its length in front, so the test sees the records).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sound/mix.h"
#include "sound/sd_audio.h"
#include "sound/tmr.h"
#include "sound/sd_internal.h"
#include "tests/sound/pt_record.h"

namespace {

int dev_pipe[2] = {-1, -1};
std::vector<uint8_t> module_buf;

long dev_write(int fd, const void* buf, unsigned long n) {
    uint32_t len = (uint32_t)n;
    return write(fd, &len, 4) == 4 ? write(fd, buf, n) : -1;
}

bool read_full(int fd, void* buf, size_t n) {
    for (uint8_t* p = (uint8_t*)buf; n > 0;) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;  // SIGCHLD has no SA_RESTART
        if (r <= 0) return false;
        p += r;
        n -= (size_t)r;
    }
    return true;
}

// One record as the device received it; false at end of file.
bool read_record(std::vector<uint8_t>* rec) {
    uint32_t len;
    if (!read_full(dev_pipe[0], &len, 4)) return false;
    rec->resize(len);
    return read_full(dev_pipe[0], rec->data(), len);
}

double now_s() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void sleep_s(double s) {
    for (double end = now_s() + s; now_s() < end;) {
        timespec t = {0, 1000000};
        nanosleep(&t, nullptr);
    }
}

// Loads a 4-channel module at `tempo` with a looping sample sounding on every channel from row 0.
void load_module(int tempo) {
    pt_mk_module mk;
    mk.samples = {{32, 0, 64, 0, 32}};
    for (int c = 0; c < 4; c++) mk.cells.push_back({0, 0, c, {1, 214 + 100 * c, c == 3 ? 15 : 0, c == 3 ? tempo : 0}});
    module_buf = mk.build();
    ASSERT_EQ(pt_start_sized(module_buf.data(), (uint32_t)module_buf.size()), 1);
}

// The dsp device `devnum` on the test pipe, with a module at `tempo`.
void install_device(int devnum, int tempo) {
    ASSERT_EQ(pipe(dev_pipe), 0);
    fcntl(dev_pipe[0], F_SETPIPE_SZ, 4096);  // a device takes little ahead of what it plays
    sd_oss = {[](const char*, int) { return dev_pipe[1]; }, [](int, unsigned long, int*) { return -1; }, dev_write,
              close};
    sd_devnum = devnum;
    ASSERT_EQ(devnum == 1 ? sd_dsp8_init() : sd_dsp16_init(), 1);
    sd_device.start();
    sd_device.set_master(64);
    load_module(tempo);
}

void dummy_alarm(int) {}

TEST(SdAudio, RecordSizesFollowTheTempo) {
    const int rows[][3] = {{32, 1808, 10664}, {125, 434, 2560}, {127, 434, 2560}, {128, 425, 2508}, {255, 212, 1252},
                           {0x10000 + 125, 434, 2560}, {0, 1808, 10664}};
    for (auto& r : rows) {
        EXPECT_EQ(sd_ticklen(1, r[0]), r[1]) << r[0];
        EXPECT_EQ(sd_ticklen(2, r[0]), r[2]) << r[0];
    }
}

TEST(SdAudio, ChildCopiesRecordsUntilTheEndMarker) {
    struct sigaction dfl = {}, alrm = {}, now = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &dfl, nullptr);
    alrm.sa_handler = dummy_alarm;
    sigaction(SIGALRM, &alrm, nullptr);
    for (int devnum : {2, 1}) {
        install_device(devnum, devnum == 2 ? 40 : 175);
        sd_fork(70);
        ASSERT_GT(sd_childpid, 0);
        sigaction(SIGCHLD, nullptr, &now);
        EXPECT_EQ(now.sa_handler, sd_sigchld);
        EXPECT_EQ(now.sa_flags & SA_RESTART, 0);
        // at 40 BPM a 16-bit record (8000 bytes) is larger than the audio pipe cut to one page
        if (devnum == 2)
            while (fcntl(sd_pipe[1], F_SETPIPE_SZ, 4096) < 0) sleep_s(0.001);
        // a signal every 50 us cuts the parent's writes short while it waits for the child
        struct sigaction urg = {};
        urg.sa_handler = dummy_alarm;
        sigaction(SIGURG, &urg, nullptr);
        sigevent ev = {};
        ev.sigev_notify = SIGEV_SIGNAL;
        ev.sigev_signo = SIGURG;
        timer_t storm;
        ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &ev, &storm), 0);
        itimerspec every = {{0, 50000}, {0, 50000}};
        timer_settime(storm, 0, &every, nullptr);
        std::vector<std::vector<uint8_t>> recs(30);
        long loud = 0;
        for (int i = 0; i < 30; i++) {
            ASSERT_TRUE(read_record(&recs[i]));
            EXPECT_EQ(recs[i].size(), devnum == 2 ? 8000u : 310u) << "record " << i;
            for (uint8_t b : recs[i]) loud += b != (devnum == 2 ? 0 : 128);
        }
        EXPECT_GT(loud, 30 * (long)recs[0].size() / 4);  // the module plays: not silence
        EXPECT_GE(pt_getpos(), 4);  // 30 ticks at speed 6 (the replay may be a record or two ahead)
        timer_delete(storm);
        sd_stop();
        std::vector<uint8_t> rec;
        int left = 0;
        while (read_record(&rec)) left++;  // what was in the pipe, then end of file
        EXPECT_LE(left, 4096 / (int)(rec.size() + 4) + 3);  // the device's page, the child's and the pipe's
        int status = 0;
        ASSERT_EQ(waitpid(sd_childpid, &status, 0), sd_childpid);
        EXPECT_EQ(status, 1 << 8);  // exit status 1: the marker read as a length
        sigaction(SIGCHLD, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL);
        sigaction(SIGALRM, nullptr, &now);
        EXPECT_EQ(now.sa_handler, dummy_alarm);
        close(dev_pipe[0]);
        // the device got every tick whole and in order: the same song mixed here again
        sd_device.start();
        sd_device.set_master(64);
        load_module(devnum == 2 ? 40 : 175);
        for (int i = 0; i < 30; i++) {
            pt_play();
            int len = sd_ticklen(devnum, pt_bpm);
            (devnum == 2 ? mix_render_stereo : mix_render_mono)(sd_buffer, devnum == 2 ? len / 4 : len, devnum == 2);
            EXPECT_TRUE(std::equal(recs[i].begin(), recs[i].end(), sd_buffer)) << "record " << i;
        }
    }
    sd_oss = sd_oss_real;
}

TEST(SdAudio, TimerPlaysOnWithoutSoundOnceTheChildDies) {
    install_device(2, 125);
    sd_fork(70);
    std::vector<uint8_t> rec;
    for (int i = 0; i < 3; i++) ASSERT_TRUE(read_record(&rec));
    pid_t child = sd_childpid;
    kill(child, SIGKILL);
    int32_t from = pt_getpos();
    for (int i = 0; i < 2000 && pt_getpos() < from + 12; i++) sleep_s(0.005);  // 1 s at 70 Hz
    EXPECT_GE(pt_getpos(), from + 12) << "the song stopped with the audio child";
    EXPECT_EQ(sd_audio_lost, 1);
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1) << "the child was left a zombie";
    sd_stop();
    int32_t at = pt_getpos();
    sleep_s(0.1);
    EXPECT_EQ(pt_getpos(), at);  // stopped: nothing plays any more
    close(dev_pipe[0]);
    sd_oss = sd_oss_real;
}

TEST(SdAudio, ChildOfAVanishedParentEndsAndStopBeforeForkOnlyCloses) {
    pid_t p = fork();
    ASSERT_GE(p, 0);
    if (p == 0) {  // a show that ends without sd_stop: its orphaned child must end by itself
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        pid_t q = fork();
        if (q == 0) {
            install_device(2, 125);
            close(dev_pipe[0]);  // device writes fail from now on; the copy loop goes on
            sd_fork(70);
            sleep_s(0.03);
            _exit(0);
        }
        int st, ends = 0;
        for (pid_t w; (w = wait(&st)) > 0 || errno == EINTR;)
            if (w > 0) ends |= w == q ? (st == 0) : 2 * (st == 2 << 8);
        _exit(ends == 3 ? 0 : 10 + ends);
    }
    int status = -1;
    ASSERT_EQ(waitpid(p, &status, 0), p);
    EXPECT_EQ(status, 0);
    // the exit path before the audio process was started closes the device, writes nothing
    install_device(2, 125);
    sd_stop();
    char c;
    EXPECT_EQ(read(dev_pipe[0], &c, 1), 0);
    close(dev_pipe[0]);
    sd_oss = sd_oss_real;
}

// Without a device the timer plays the song. A process that could not take SIGALRM for a while
// (here: blocked, as a busy machine would delay it) plays the ticks it missed, at most
// tmr_catchup_max more than the one signal, and keeps the song's pace.
TEST(Tmr, LateSignalsPlayTheMissedTicks) {
    struct sigaction alrm = {}, now = {};
    alrm.sa_handler = dummy_alarm;
    sigaction(SIGALRM, &alrm, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGALRM);
    const double period = 0.014285;
    for (double late : {0.3, 1.0}) {
        sd_nosound_init();
        sd_devnum = 0;
        load_module(125);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        double a = now_s();
        sd_fork(70);
        double b = now_s();
        sleep_s(late);
        double c = now_s();
        sigprocmask(SIG_UNBLOCK, &set, nullptr);  // the pending SIGALRM is taken here
        int played = tmr_getcount();
        int32_t pos = pt_getpos();
        double d = now_s();
        sd_stop();
        int sure = (int)((c - b) / period), most = (int)((d - a) / period) + 1;
        int extra = (int)((d - c) / period) + 1;  // signals after the pending one
        std::printf("blocked %.3f s: %d ticks played, %d due\n", c - b, played, sure);
        EXPECT_GE(played, std::min(sure, 1 + tmr_catchup_max)) << late;
        EXPECT_LE(played, std::min(most, 1 + tmr_catchup_max) + extra) << late;
        EXPECT_EQ(pos, (played - 1) / 6) << late;  // one replay tick each, speed 6
    }
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, dummy_alarm);
    // a rate below 1 arms nothing
    tmr_start(0, nullptr);
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, dummy_alarm);
}

}  // namespace
