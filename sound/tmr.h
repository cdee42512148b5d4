// The interval timer: SIGALRM at a fixed rate (70 a second in the show). Without a sound device
// its callback plays the replay; with one it only counts.
#pragma once

#include <csignal>

extern volatile sig_atomic_t tmr_count;
// timer ticks since sd_fork; written by the SIGALRM handler only

void tmr_start(int rate, void (*callback)());
// Installs tmr_sigalrm for SIGALRM (empty mask, SA_RESTART) and arms ITIMER_REAL with a period
// of 1000000 / rate microseconds (14285 at 70), saving the action and the timer it replaces.
// A rate below 1 arms nothing. Main flow.
void tmr_stop();
// Puts back the saved interval timer, then the saved SIGALRM action; nothing when not armed.
void tmr_sigalrm(int sig);
// The SIGALRM handler: calls the callback given to tmr_start.
void tmr_tick();
// The callback of the show: counts, and without a sound device (sd_devnum 0) plays one replay
// tick and runs the sync dispatcher. Signal handler only.
int tmr_getcount();
// tmr_count.
