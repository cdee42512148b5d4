#include "demo/demo_sync.h"

#include "fx/fx_blobs.h"

std::atomic<int32_t> sync_beat{0};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the beat counter is shared with a signal handler");

void sync_cb_beat() { sync_beat.fetch_add(1, std::memory_order_relaxed); }

void sync_cb_kick() { fx_blobs_grow(10); }

namespace {

// channel, sample, (untested), effect, parameter, order: lo, hi each (-1, -1 matches anything);
// then the row divisor, the row remainder lo, hi, and the tick lo, hi
constexpr sync_record kick_records[1] = {
    {-1, -1, 4, 4, -1, -1, -1, -1, -1, -1, -1, -1, 4, 0, 0, 1, 1},
};
constexpr sync_record beat_records[2] = {
    {-1, -1, 3, 3, -1, -1, -1, -1, -1, -1, -1, -1, 8, 0, 0, 1, 1},
    {-1, -1, 5, 5, -1, -1, -1, -1, -1, -1, -1, -1, 2, 0, 0, 1, 1},
};

} // namespace

const sync_handler demo_sync_handlers[3] = {
    {sync_cb_kick, 1, kick_records},
    {sync_cb_beat, 2, beat_records},
    {nullptr, 0, nullptr},
};
