// The audio process: with a sound device the program forks once; the child copies records from
// a pipe to /dev/dsp and asks the parent for each next one with SIGCHLD, and the parent's
// SIGCHLD handler plays one replay tick, runs the sync dispatcher, mixes the tick and writes it
// into the pipe. The device's blocking writes pace the music.
//
// Pipe record: a 4-byte unsigned length in native byte order, then that many bytes in the
// device's format; the length 0xFFFF ends the child and carries no data.
#pragma once

#include <sys/types.h>

#include <csignal>

#include <cstdint>

constexpr uint32_t sd_end_marker = 0xFFFF;
constexpr int sd_buffer_size = 40000;

extern int sd_pipe[2];
// the audio pipe: read end (child), write end (parent); -1 when not open
extern pid_t sd_childpid;
// the audio child's process id; -1 when none was started, and once it has been reaped
extern uint8_t sd_buffer[sd_buffer_size];
// parent: the mixed audio of one tick; child: the record just read
extern volatile sig_atomic_t sd_audio_lost;
// 1 once the audio child is gone (ended, killed, or never started: no pipe or no fork) while
// a sound device is in use. The parent's SIGCHLD handler reaps it and plays no more; the timer
// then plays the replay without sound, as with no device.

int sd_ticklen(int devnum, int bpm);
// Bytes of one tick's record for the device at the tempo (bpm taken as a signed 16-bit value):
// rate / ((bpm x 2) / 5) frames of 1 byte (device 1) or 4 bytes (device 2); 0 for device 0.
// Tempos below 32 are sized as 32, so a record always fits sd_buffer.

void sd_fork(int rate);
// Main flow, once, after the module is loaded (rate 70): resets tmr_count; with a sound device
// installs sd_sigchld for SIGCHLD (empty mask, no flags), ignores SIGPIPE, creates the pipe and
// forks the child; then starts the interval timer with tmr_tick.
void sd_stop();
// The exit path: without a device stops the timer. With one puts back the SIGCHLD action,
// writes the end marker, stops the timer, calls the device's stop and close, then closes the
// pipe and puts back SIGPIPE. The child plays what is left in the pipe and exits; nobody waits.
