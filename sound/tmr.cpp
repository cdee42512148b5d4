#include "sound/tmr.h"

#include <time.h>

#include <cerrno>

#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"
#include "sound/sd_internal.h"
#include "sound/sync.h"

volatile sig_atomic_t tmr_count = 0;

static void (*volatile tmr_callback)() = nullptr;
static struct sigaction tmr_saved_action;
static timer_t tmr_id;
static bool tmr_armed = false;

void tmr_sigalrm(int, siginfo_t* info, void*) {
    int saved_errno = errno;  // the interrupted main flow may be about to read errno
    void (*cb)() = tmr_callback;
    // Expirations while the signal was still pending are counted, not queued: they are the
    // ticks this process was too late for. A SIGALRM from elsewhere carries none.
    int missed = 0;
    if (info && info->si_code == SI_TIMER && tmr_armed) missed = timer_getoverrun(tmr_id);
    if (missed < 0) missed = 0;
    if (missed > tmr_catchup_max) missed = tmr_catchup_max;
    if (cb)
        for (int i = 0; i <= missed; i++) cb();
    errno = saved_errno;
}

void tmr_start(int rate, void (*callback)()) {
    tmr_callback = callback;
    if (rate < 1) return;
    struct sigaction sa = {};
    sa.sa_sigaction = tmr_sigalrm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_SIGINFO;  // the main flow's slow calls go on across timer ticks
    sigaction(SIGALRM, &sa, &tmr_saved_action);
    sigevent ev = {};
    ev.sigev_notify = SIGEV_SIGNAL;
    ev.sigev_signo = SIGALRM;
    if (timer_create(CLOCK_MONOTONIC, &ev, &tmr_id) != 0) {
        sigaction(SIGALRM, &tmr_saved_action, nullptr);
        return;
    }
    const long us = 1000000 / rate;
    itimerspec it = {};
    it.it_interval.tv_sec = us / 1000000;
    it.it_interval.tv_nsec = us % 1000000 * 1000;
    it.it_value = it.it_interval;
    tmr_armed = true;  // before the first expiry: the handler reads the overrun of this timer
    timer_settime(tmr_id, 0, &it, nullptr);
}

void tmr_stop() {
    if (!tmr_armed) return;
    timer_delete(tmr_id);
    tmr_armed = false;
    sigaction(SIGALRM, &tmr_saved_action, nullptr);
}

void tmr_tick() {
    tmr_count = tmr_count + 1;
    // no device paces the music (none chosen, or its audio child is gone): the timer plays it at
    // 70 ticks a second
    if (sd_devnum == 0 || sd_audio_lost) {
        pt_play();
        sync_dispatch();
    }
}

int tmr_getcount() { return tmr_count; }
