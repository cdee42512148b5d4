#include "sound/sd_audio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "sound/mix.h"
#include "sound/pt.h"
#include "sound/sd_device.h"
#include "sound/sd_internal.h"
#include "sound/sync.h"
#include "sound/tmr.h"

int sd_pipe[2] = {-1, -1};
pid_t sd_childpid = -1;
uint8_t sd_buffer[sd_buffer_size];
volatile sig_atomic_t sd_audio_lost = 0;

static struct sigaction sd_saved_chld;
static struct sigaction sd_saved_pipe;
static bool sd_running = false;  // the SIGCHLD action and SIGPIPE are ours until sd_stop

int sd_ticklen(int devnum, int bpm) {
    int ticks = ((int)(int16_t)bpm * 2) / 5;  // ticks per second, rounded down
    if (ticks < 12) ticks = 12;               // tempo 32: the longest record
    if (devnum == 1) return 21700 / ticks;
    if (devnum == 2) return 32000 / ticks * 4;
    return 0;
}

// Whole writes and reads of a record on descriptors that may take or give it in pieces (a pipe
// passes large records in parts; a signal may cut a call short). False on an error or end of
// file.
static bool sd_write_all(int fd, const void* buf, uint32_t n, long (*wr)(int, const void*, unsigned long)) {
    const uint8_t* p = (const uint8_t*)buf;
    while (n > 0) {
        long w = wr(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= (uint32_t)w;
    }
    return true;
}

static long sd_pipe_write(int fd, const void* buf, unsigned long n) { return write(fd, buf, n); }

static bool sd_read_all(int fd, void* buf, uint32_t n) {
    uint8_t* p = (uint8_t*)buf;
    while (n > 0) {
        long r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= (uint32_t)r;
    }
    return true;
}

void sd_sigchld(int) {
    int saved_errno = errno;
    // The child's end raises SIGCHLD too: it is reaped here, and from then on the timer plays
    // the song (without sound) instead of requests that will never come.
    int status;
    pid_t child = sd_childpid;
    if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
        sd_childpid = -1;
        sd_audio_lost = 1;
    }
    if (sd_audio_lost) {
        errno = saved_errno;
        return;
    }
    pt_play();
    sync_dispatch();
    uint32_t len = (uint32_t)sd_ticklen(sd_devnum, pt_bpm);
    if (sd_devnum == 1)
        mix_render_mono(sd_buffer, (int)len, 0);
    else
        mix_render_stereo(sd_buffer, (int)len / 4, 1);
    // a reader that has gone makes the writes fail with EPIPE (SIGPIPE is ignored meanwhile)
    if (!sd_write_all(sd_pipe[1], &len, 4, sd_pipe_write) ||
        !sd_write_all(sd_pipe[1], sd_buffer, len, sd_pipe_write))
        sd_audio_lost = 1;  // the reader has gone: the timer takes over from the next tick
    errno = saved_errno;
}

// Waits the playing time of `len` bytes of the device's format.
static void sd_rest(uint32_t len) {
    const uint64_t rate = sd_devnum == 1 ? 21700 : 128000;  // bytes per second
    uint64_t ns = (uint64_t)len * 1000000000ull / rate;
    timespec t = {(time_t)(ns / 1000000000ull), (long)(ns % 1000000000ull)};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// The child: asks for a record, copies it to the device, and so on until the end marker. It
// ends with _exit, so that nothing inherited from the parent (stdio buffers, exit handlers of
// the display libraries) runs twice.
[[noreturn]] static void sd_child(pid_t parent) {
    for (;;) {
        // Once the parent has gone (after its stop it does not wait for us) nobody is asked;
        // what is left in the pipe is still played, up to the marker or the end of file.
        if (getppid() == parent) kill(parent, SIGCHLD);
        uint32_t len;
        if (!sd_read_all(sd_pipe[0], &len, 4)) _exit(2);  // end of file: the parent has gone
        if (len == sd_end_marker) _exit(1);
        if (len > sizeof sd_buffer) _exit(2);  // not a record of ours
        if (!sd_read_all(sd_pipe[0], sd_buffer, len)) _exit(2);
        // Device errors are not fatal: the copy loop goes on with the next record. It waits as
        // long as the device would have taken to play the record, so that the replay keeps to
        // time and the parent's main flow is not starved by a stream of requests.
        if (!sd_write_all(sd_device.fd, sd_buffer, len, sd_oss.write)) sd_rest(len);
    }
}

static void sd_start_child() {
    struct sigaction sa = {};
    sa.sa_handler = sd_sigchld;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a slow call of the main flow returns with EINTR
    sigaction(SIGCHLD, &sa, &sd_saved_chld);
    struct sigaction ign = {};
    ign.sa_handler = SIG_IGN;
    sigemptyset(&ign.sa_mask);
    sigaction(SIGPIPE, &ign, &sd_saved_pipe);  // a child that has gone must not kill us
    sd_running = true;
    sd_audio_lost = 0;
    if (pipe2(sd_pipe, O_CLOEXEC) != 0) {
        // no pipe, no child: the song goes on silently on the timer, as after a failed fork
        sd_pipe[0] = sd_pipe[1] = -1;
        sd_audio_lost = 1;
        return;
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    sd_childpid = pid;
    if (pid == 0) {
        close(sd_pipe[1]);
        sd_child(parent);
    }
    close(sd_pipe[0]);  // also after a failed fork: no child runs and no request comes
    sd_pipe[0] = -1;
    if (pid < 0) {
        sd_childpid = -1;
        sd_audio_lost = 1;
    }
}

void sd_fork(int rate) {
    tmr_count = 0;
    if (sd_devnum != 0) sd_start_child();
    tmr_start(rate, tmr_tick);
}

void sd_stop() {
    if (sd_devnum == 0) {
        tmr_stop();
        return;
    }
    if (sd_running) {
        sigaction(SIGCHLD, &sd_saved_chld, nullptr);  // no further tick is played or written
        uint32_t end = sd_end_marker;
        if (sd_pipe[1] >= 0) sd_write_all(sd_pipe[1], &end, 4, sd_pipe_write);
    }
    tmr_stop();
    if (sd_device.stop) sd_device.stop();
    if (sd_device.close) sd_device.close();
    if (sd_running) {
        if (sd_pipe[1] >= 0) close(sd_pipe[1]);
        sd_pipe[1] = -1;
        sigaction(SIGPIPE, &sd_saved_pipe, nullptr);
        sd_running = false;
    }
}
