// Sync events: callbacks keyed to the player's state, tested after every replay tick.
#pragma once

#include <cstdint>

struct sync_record {
    // Each condition is a range: it holds when hi is negative (a wildcard, -1, -1 by convention)
    // or when lo <= value <= hi, compared signed. A record matches when one channel c satisfies
    // every condition.
    int32_t chan_lo, chan_hi;      // the channel number c
    int32_t sample_lo, sample_hi;  // channel c's current sample (its last sample number, 0 before any)
    int32_t unused_lo, unused_hi;  // not tested; -1, -1
    int32_t effect_lo, effect_hi;  // effect command 0..15 of channel c's cell in the current row
    int32_t param_lo, param_hi;    // effect parameter 0..255 of that cell
    int32_t order_lo, order_hi;    // pt_order
    int32_t row_div;               // at least 1
    int32_t rowrem_lo, rowrem_hi;  // pt_row modulo row_div (unsigned division)
    int32_t tick_lo, tick_hi;      // pt_tick
};

struct sync_handler {
    void (*callback)();
    int32_t count;               // number of records
    const sync_record* records;  // count consecutive records
};
// The registry keeps a pointer to the handler: handler and records must stay alive and
// unchanged while registered.

int32_t sync_register(const sync_handler* h);
// Appends a handler; returns its id (1, 2, ... across the whole run), or 0 when 1024 handlers
// are registered already (nothing is stored). Main flow, before the audio process starts.

void sync_dispatch();
// Tests every registered handler's records against the state the last pt_play left and calls,
// in registration order, the callback of each handler with a matching record, once. Runs inside
// the replay's signal handler right after pt_play: no allocation, no library calls.


extern const sync_handler* sync_table[1024];
// The registered handlers, in order.
extern int32_t sync_ids[1024];
// The id given to each.
extern int32_t sync_count;
// Number registered. The sound menu empties the registry by setting this to 0.
extern int32_t sync_nextid;
// The next id to give (1 at start; never reset).
