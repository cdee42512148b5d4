// What the sound module's files share beyond the public headers, and the seams its tests use.
#pragma once

#include <csignal>
#include <cstdint>

#include "sound/sync.h"

// ---- module loader (pt_load.cpp) ----

int pt_takemod(uint8_t* module);
// Loads (converts in place) a module that the caller vouches for; 1, or 0 with pt_errmsg set
// ("pt_takemod error: unknown module type!" for an unknown tag). Calls the device's set_sample
// for every sample with data, then set_channels.

int pt_takemod_sized(uint8_t* module, uint32_t size);
// As pt_takemod, refusing (0, pt_errmsg set, pt_channels 0, nothing converted, no device call)
// a module shorter than its header says.

void pt_convpattern(uint8_t* pattern);
// Converts one stored pattern of 64 x pt_channels cells in place into (sample, note index 0..83
// or 84 for none, effect 0..15, parameter). Sample numbers above 31 become 0.

uint16_t pt_getword();
// The big-endian u16 at the loader's read position, which advances by 2.
uint8_t pt_getbyte();
// The byte at the loader's read position, which advances by 1.
void pt_skip(int n);
// Advances the loader's read position by n bytes.

// ---- sync events (sync_events.cpp) ----

int sync_match(const sync_record* r);
// 1 when some channel satisfies every condition of the record, else 0 (always 0 while no module
// is loaded or before the first row is played).

int sync_inrange(int32_t value, int32_t lo, int32_t hi);
// 1 when hi is negative or lo <= value <= hi (signed), else 0.

// ---- audio process and timer (sd_audio.cpp, tmr.cpp) ----

void sd_sigchld(int sig);
// The parent's SIGCHLD handler: pt_play, sync_dispatch, one tick mixed and written as a record.
// When the SIGCHLD tells of the child's end (or the pipe has no reader) it reaps the child and
// sets sd_audio_lost instead.
void tmr_sigalrm(int sig, siginfo_t* info, void* context);
// The SIGALRM handler: calls the callback given to tmr_start once, and once more for each
// expiration that passed while the signal was pending (the timer's overrun count), at most
// tmr_catchup_max more.

// ---- the OSS device (sd_device.cpp) ----

// The platform seam of the OSS device: every open, ioctl, write and close of /dev/dsp goes
// through this table. sd_oss_real holds the system calls; tests install their own to record
// the calls. ioctl results and the values written back are never read.
struct sd_oss_ops {
    int (*open)(const char* path, int flags);
    int (*ioctl)(int fd, unsigned long request, int* arg);
    long (*write)(int fd, const void* buf, unsigned long n);
    int (*close)(int fd);
};

extern const sd_oss_ops sd_oss_real;
extern sd_oss_ops sd_oss;
// the operations in use; sd_oss_real until a test replaces them
