#include "sound/tmr.h"

#include <sys/time.h>

#include <cerrno>

#include "sound/pt.h"
#include "sound/sd_device.h"
#include "sound/sync.h"

volatile sig_atomic_t tmr_count = 0;

static void (*volatile tmr_callback)() = nullptr;
static struct sigaction tmr_saved_action;
static itimerval tmr_saved_timer;
static bool tmr_armed = false;

void tmr_sigalrm(int) {
    int saved_errno = errno;  // the interrupted main flow may be about to read errno
    void (*cb)() = tmr_callback;
    if (cb) cb();
    errno = saved_errno;
}

void tmr_start(int rate, void (*callback)()) {
    tmr_callback = callback;
    if (rate < 1) return;
    struct sigaction sa = {};
    sa.sa_handler = tmr_sigalrm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // the main flow's slow calls go on across timer ticks
    sigaction(SIGALRM, &sa, &tmr_saved_action);
    itimerval it = {};
    it.it_interval.tv_usec = 1000000 / rate;
    it.it_value.tv_usec = 1000000 / rate;
    setitimer(ITIMER_REAL, &it, &tmr_saved_timer);
    tmr_armed = true;
}

void tmr_stop() {
    if (!tmr_armed) return;
    setitimer(ITIMER_REAL, &tmr_saved_timer, nullptr);
    sigaction(SIGALRM, &tmr_saved_action, nullptr);
    tmr_armed = false;
}

void tmr_tick() {
    tmr_count = tmr_count + 1;
    if (sd_devnum == 0) {  // no device paces the music: the timer plays it at 70 ticks a second
        pt_play();
        sync_dispatch();
    }
}

int tmr_getcount() { return tmr_count; }
