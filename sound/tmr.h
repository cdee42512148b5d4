// The interval timer: SIGALRM at a fixed rate (70 a second in the show). Without a sound device,
// or once the audio child is gone, its callback plays the replay; otherwise it only counts.
#pragma once

#include <csignal>

extern volatile sig_atomic_t tmr_count;
// timer ticks since sd_fork; written by the SIGALRM handler only

constexpr int tmr_catchup_max = 35;
// Expirations that one SIGALRM makes up for at most, beyond its own: half a second at 70 Hz.
// A process that was late (busy machine) keeps the song's pace; one that was stopped for longer
// (Ctrl-Z, a debugger) loses the rest instead of racing through the song afterwards.

void tmr_start(int rate, void (*callback)());
// Installs tmr_sigalrm for SIGALRM (empty mask, SA_RESTART | SA_SIGINFO) and arms a POSIX
// interval timer on the monotonic clock that raises SIGALRM every 1000000 / rate microseconds
// (14285 at 70). A rate below 1, or a timer that cannot be made, arms nothing.
void tmr_stop();
// Deletes the timer, then puts back the SIGALRM action saved by tmr_start; nothing when not armed.
void tmr_tick();
// The callback of the show: counts, and without a sound device or once the audio child is gone
// (sd_devnum 0 or sd_audio_lost) plays one replay tick and runs the sync dispatcher. Signal
// handler only.
int tmr_getcount();
// tmr_count.
