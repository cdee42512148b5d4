// The audio process and the interval timer in this process: a pipe stands in for the device (the
// child's writes through the seam add a length in front of each, so the test sees the records),
// a module built in code plays.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"
#include "sound/tmr.h"
#include "tests/sound/sd_testmod.h"

namespace {

int dev_pipe[2] = {-1, -1};

int dev_open(const char*, int) { return dev_pipe[1]; }
int dev_ioctl(int, unsigned long, int*) { return -1; }
long dev_write(int fd, const void* buf, unsigned long n) {
    uint32_t len = (uint32_t)n;
    if (write(fd, &len, 4) != 4) return -1;
    return write(fd, buf, n);
}
int dev_close(int fd) { return close(fd); }

bool read_full(int fd, void* buf, size_t n) {
    uint8_t* p = (uint8_t*)buf;
    while (n > 0) {
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

void sleep_ms(int ms) {
    timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

void dummy_alarm(int) {}

// Installs the dsp device of `devnum` on the test pipe and loads a module at `tempo`.
std::vector<uint8_t> module_buf;
void install_device(int devnum, int tempo) {
    ASSERT_EQ(pipe(dev_pipe), 0);
    fcntl(dev_pipe[0], F_SETPIPE_SZ, 4096);  // a device takes little ahead of what it plays
    sd_oss = {dev_open, dev_ioctl, dev_write, dev_close};
    sd_devnum = devnum;
    ASSERT_EQ(devnum == 1 ? sd_dsp8_init() : sd_dsp16_init(), 1);
    sd_device.start();
    sd_device.set_master(64);
    module_buf = sd_testmod(4, tempo);
    ASSERT_EQ(pt_start_sized(module_buf.data(), (uint32_t)module_buf.size()), 1);
}

TEST(SdAudio, RecordSizesFollowTheTempo) {
    const int rows[][3] = {{32, 1808, 10664}, {125, 434, 2560}, {127, 434, 2560}, {128, 425, 2508},
                           {255, 212, 1252}};
    for (auto& r : rows) {
        EXPECT_EQ(sd_ticklen(1, r[0]), r[1]) << r[0];
        EXPECT_EQ(sd_ticklen(2, r[0]), r[2]) << r[0];
    }
    EXPECT_EQ(sd_ticklen(2, 0x10000 + 125), 2560);  // the tempo is read as 16 bits
    EXPECT_EQ(sd_ticklen(2, 0), 10664);             // below 32: sized as 32, inside the buffer
}

TEST(SdAudio, ChildCopiesRecordsUntilTheEndMarker) {
    struct sigaction dfl = {}, alrm = {}, now = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &dfl, nullptr);
    alrm.sa_handler = dummy_alarm;
    sigaction(SIGALRM, &alrm, nullptr);

    install_device(2, 175);
    sd_fork(70);
    ASSERT_GT(sd_childpid, 0);
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler, sd_sigchld);
    EXPECT_EQ(now.sa_flags & SA_RESTART, 0);
    itimerval it;
    getitimer(ITIMER_REAL, &it);
    EXPECT_EQ(it.it_interval.tv_usec, 14285);

    std::vector<uint8_t> rec;
    int loud = 0;
    for (int i = 0; i < 30; i++) {
        ASSERT_TRUE(read_record(&rec));
        EXPECT_EQ(rec.size(), 1828u) << "record " << i;  // 457 frames of 16-bit stereo
        for (uint8_t b : rec) loud += b != 0;
    }
    EXPECT_GT(loud, 1000);  // the module plays: not silence
    EXPECT_GE(pt_getpos(), 4);  // 30 ticks at speed 6 (the replay may be a record or two ahead)

    sd_stop();
    int left = 0;
    while (read_record(&rec)) left++;  // what was in the pipe, then end of file
    EXPECT_LE(left, 5);  // the device's page, the child's record and the one in the audio pipe
    int status = 0;
    ASSERT_EQ(waitpid(sd_childpid, &status, 0), sd_childpid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, dummy_alarm);
    getitimer(ITIMER_REAL, &it);
    EXPECT_EQ(it.it_interval.tv_usec, 0);
    close(dev_pipe[0]);
    sd_oss = sd_oss_real;
}

TEST(SdAudio, EightBitRecordsAndLostPeers) {
    // A parent whose child has gone is not killed by the pipe, and a child whose parent has gone
    // ends. Both run in a process of their own that is the reaper of what it leaves behind.
    pid_t p = fork();
    ASSERT_GE(p, 0);
    if (p == 0) {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        install_device(1, 125);
        sd_fork(70);
        std::vector<uint8_t> rec;
        for (int i = 0; i < 5; i++)
            if (!read_record(&rec) || rec.size() != 434) _exit(10);
        kill(sd_childpid, SIGKILL);
        int st;
        while (waitpid(sd_childpid, &st, 0) < 0 && errno == EINTR) {
        }
        raise(SIGCHLD);  // one more tick, written to a pipe without a reader
        sd_stop();
        // The show's process that leaves without stopping: its child must end by itself.
        pid_t q = fork();
        if (q == 0) {
            close(dev_pipe[0]);
            install_device(2, 125);
            close(dev_pipe[0]);  // device writes fail from now on; the copy loop goes on
            sd_fork(70);
            sleep_ms(30);
            _exit(0);  // no sd_stop: the audio child is orphaned to us
        }
        int statuses = 0;
        for (int i = 0; i < 2; i++) {
            pid_t w;
            while ((w = wait(&st)) < 0 && errno == EINTR) {
            }
            if (w == q && WIFEXITED(st) && WEXITSTATUS(st) == 0) statuses |= 1;
            if (w != q && WIFEXITED(st) && WEXITSTATUS(st) == 2) statuses |= 2;
        }
        _exit(statuses == 3 ? 0 : 12 + statuses);
    }
    int status = 0;
    ASSERT_EQ(waitpid(p, &status, 0), p);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SdAudio, RecordsLargerThanThePipePassAreCompleted) {
    // At 40 BPM a 16-bit record is 8000 bytes; with the audio pipe cut to one page it can only
    // arrive in parts, which the child puts together again.
    install_device(2, 40);
    sd_fork(70);
    for (int i = 0; i < 100 && fcntl(sd_pipe[1], F_SETPIPE_SZ, 4096) < 0; i++) sleep_ms(1);
    std::vector<uint8_t> rec;
    for (int i = 0; i < 12; i++) {
        ASSERT_TRUE(read_record(&rec));
        EXPECT_EQ(rec.size(), 8000u) << "record " << i;
    }
    sd_stop();
    while (read_record(&rec)) EXPECT_EQ(rec.size(), 8000u);
    int status = 0;
    ASSERT_EQ(waitpid(sd_childpid, &status, 0), sd_childpid);
    EXPECT_EQ(WEXITSTATUS(status), 1);  // the marker was read as a length, not as data
    close(dev_pipe[0]);
    sd_oss = sd_oss_real;
}

TEST(SdAudio, StopWithoutForkOnlyClosesTheDevice) {
    // The exit path can run before the audio process was started (a failed start-up step).
    struct sigaction dfl = {}, now = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &dfl, nullptr);
    install_device(2, 125);
    sd_stop();
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    char c;
    EXPECT_EQ(read(dev_pipe[0], &c, 1), 0);  // closed by the device's close, nothing written
    close(dev_pipe[0]);
    sd_oss = sd_oss_real;
}

int counted = 0;
void count_tick() { counted++; }

TEST(Tmr, ArmsAndRestores) {
    struct sigaction alrm = {}, now = {};
    alrm.sa_handler = dummy_alarm;
    sigaction(SIGALRM, &alrm, nullptr);
    tmr_start(100, count_tick);
    itimerval it;
    getitimer(ITIMER_REAL, &it);
    EXPECT_EQ(it.it_interval.tv_usec, 10000);
    for (int i = 0; i < 300 && counted < 3; i++) sleep_ms(10);
    EXPECT_GE(counted, 3);
    tmr_stop();
    getitimer(ITIMER_REAL, &it);
    EXPECT_EQ(it.it_interval.tv_usec, 0);
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, dummy_alarm);
}

}  // namespace
