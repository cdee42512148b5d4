// Sync events: the registry and the dispatcher run after every replay tick.
#include "sound/sync.h"

#include "sound/pt.h"
#include "sound/sd_internal.h"

const sync_handler* sync_table[1024];
int32_t sync_ids[1024];
int32_t sync_count;
int32_t sync_nextid = 1;

int sync_inrange(int32_t value, int32_t lo, int32_t hi)
{
    return hi < 0 || (lo <= value && value <= hi) ? 1 : 0;
}

int32_t sync_register(const sync_handler* h)
{
    if (sync_count > 1023)
        return 0;
    sync_table[sync_count] = h;
    sync_ids[sync_count] = sync_nextid;
    sync_count++;
    return sync_nextid++;
}

// Whether channel c satisfies every condition of r, tested in the record's order.
static bool sync_channel_matches(const sync_record* r, int32_t c, const uint8_t* cell)
{
    if (!sync_inrange(c, r->chan_lo, r->chan_hi))
        return false;
    if (!sync_inrange(pt_chan[c].sample, r->sample_lo, r->sample_hi))
        return false;
    if (!sync_inrange(cell[2], r->effect_lo, r->effect_hi))
        return false;
    if (!sync_inrange(cell[3], r->param_lo, r->param_hi))
        return false;
    if (!sync_inrange(pt_order, r->order_lo, r->order_hi))
        return false;
    // a divisor below 1 would trap inside the signal handler: it matches no row
    if (r->row_div < 1)
        return false;
    int32_t rem = int32_t(uint32_t(pt_row) % uint32_t(r->row_div));
    if (!sync_inrange(rem, r->rowrem_lo, r->rowrem_hi))
        return false;
    return sync_inrange(pt_tick, r->tick_lo, r->tick_hi) != 0;
}

int sync_match(const sync_record* r)
{
    if (pt_channels == 0 || pt_rowptr == nullptr)
        return 0;
    const uint8_t* cell = pt_rowptr;
    for (int32_t c = 0; c < pt_channels; c++, cell += 4)
        if (sync_channel_matches(r, c, cell))
            return 1;
    return 0;
}

void sync_dispatch()
{
    for (int32_t i = 0; i < sync_count; i++) {
        const sync_handler* h = sync_table[i];
        int matched = 0;
        for (int32_t j = 0; j < h->count; j++)
            matched |= sync_match(&h->records[j]);
        if (matched)
            h->callback();
    }
}
