// Main's two sync handlers: the module's drum hits drive the beat counter and the blob growth.
#pragma once

#include "sound/sync.h"

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> sync_beat;
// Beat counter: sync_cb_beat adds 1 inside the replay's signal handler; main reads and resets
// it. A lock-free 32-bit word, read from memory at every use; a beat landing between main's read
// and its reset is lost.

void sync_cb_beat();
// Adds 1 to sync_beat. Runs inside a signal handler.

void sync_cb_kick();
// Raises the blob effect's size counter by 10 (fx_blobs_grow). Runs inside a signal handler.

extern const sync_handler demo_sync_handlers[3];
// Registered by main in list order up to the entry with a null callback: sync_cb_kick on sample
// 4 at rows divisible by 4, sync_cb_beat on sample 3 at rows divisible by 8 or sample 5 at even
// rows, all on tick 1. Read-only and alive for the whole run (the registry keeps pointers).
