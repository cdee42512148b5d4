// Replay tick: counters, the note logic of every channel and the effect commands.
// Runs inside a signal handler: no allocation, no floating point, only table look-ups and the
// device table's operations.
#include "sound/pt.h"

#include "sound/sd_device.h"

pt_channel pt_chan[32];
int32_t pt_speed;
int32_t pt_bpm;
int32_t pt_tick;
volatile sig_atomic_t pt_row = 63;
volatile sig_atomic_t pt_order = -1;
int32_t pt_breakrow;
int32_t pt_pattern;
const uint8_t* pt_rowptr;
const int16_t* pt_vib_wave = pt_wave_sine;
const int16_t* pt_trem_wave = pt_wave_sine;
uint8_t pt_default_pan[32] = {7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7,
                              7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7};

const int16_t pt_wave_sine[64] = {
    0,    24,   49,   74,   97,   120,  141,  161,  180,  197,  212,  224,  235,  244,  250,  253,
    255,  253,  250,  244,  235,  224,  212,  197,  180,  161,  141,  120,  97,   74,   49,   24,
    0,    -24,  -49,  -74,  -97,  -120, -141, -161, -180, -197, -212, -224, -235, -244, -250, -253,
    -255, -253, -250, -244, -235, -224, -212, -197, -180, -161, -141, -120, -97,  -74,  -49,  -24};
const int16_t pt_wave_square[64] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    255,  255,  255,  255,  255,  255,  255,  255,  255,  255,  255,  255,  255,  255,  255,  255,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256};
int16_t pt_wave_ramp[64];
int16_t pt_wave_random[64];
const int16_t* const pt_waves[4] = {pt_wave_sine, pt_wave_ramp, pt_wave_square, pt_wave_random};

static constexpr int32_t pt_period_min = 27;
static constexpr int32_t pt_period_max = 3628;

// What the effect functions of one channel work on.
struct pt_cell {
    int32_t c;  // channel
    int32_t s;  // sample number, 0 none
    int32_t n;  // note index, 84 none
    int32_t e;  // effect command
    int32_t p;  // parameter
    int32_t x, y;
};

static int32_t pt_period_at(int32_t ft, int32_t i)
{
    // arpeggio can carry the index past the table: the highest note stands in
    return pt_period_table[ft & 15][i > 84 ? 84 : i];
}

static void pt_send_period(int32_t period)
{
    // a channel without a note (period 0) or vibrato at the lowest periods can compute less
    // than 1; the device divides by the period
    sd_device.set_period(period < 1 ? 1 : period);
}

static int32_t pt_limit_volume(int32_t v)
{
    return v < 0 ? 0 : v > 64 ? 64 : v;
}

// ---- tick 0 --------------------------------------------------------------------------------

static void pt_row_sample(pt_channel& ch, const pt_cell& k)
{
    ch.sample = k.s;
    ch.pan = pt_default_pan[k.c] * 16;
    ch.volume = pt_samples[k.s].volume;
    if (k.e != 12)
        sd_device.set_volume(ch.volume);
    if (k.e != 8)
        sd_device.set_pan(ch.pan);
    sd_device.set_instrument(k.s);
}

static void pt_row_note(pt_channel& ch, const pt_cell& k)
{
    ch.finetune = pt_samples[ch.sample].finetune;
    ch.note_period = pt_period_at(ch.finetune, k.n);
    if (k.e == 3 || k.e == 5 || (k.e == 14 && k.x == 13))
        return;  // portamento target only, or a delayed note
    ch.period = ch.note_period;
    pt_send_period(ch.period);
    if (k.e != 9)
        sd_device.set_offset(0);
    ch.note = k.n;
}

static void pt_fx0_pattern_loop(pt_channel& ch, int32_t x)
{
    if (x == 0) {
        ch.loop_row = pt_row;
        return;
    }
    if (ch.loop_count == 0) {
        ch.loop_count = x;
        pt_row = ch.loop_row - 1;
    } else if (--ch.loop_count > 0) {
        pt_row = ch.loop_row - 1;
    }
}

static void pt_fx0_extended(pt_channel& ch, const pt_cell& k)
{
    switch (k.x) {
    case 1:
        if (ch.period >= 28)
            pt_send_period(--ch.period);
        break;
    case 2:
        if (ch.period <= 3627)
            pt_send_period(++ch.period);
        break;
    case 3: ch.gliss = k.y; break;
    case 4:
        if (k.y <= 3)
            ch.vib_pos = 0;
        pt_vib_wave = pt_waves[k.y & 3];
        break;
    case 5: ch.finetune = k.y; break;
    case 6: pt_fx0_pattern_loop(ch, k.y); break;
    case 7:
        if (k.y <= 3)
            ch.trem_pos = 0;
        pt_trem_wave = pt_waves[k.y & 3];
        break;
    case 8:
        pt_default_pan[k.c] = uint8_t(k.y);
        sd_device.set_pan(16 * k.y);
        break;
    case 10:
        if (ch.volume <= 63)
            sd_device.set_volume(++ch.volume);
        break;
    case 11:
        if (ch.volume > 0)
            sd_device.set_volume(--ch.volume);
        break;
    case 14: ch.delay = k.y; break;
    default: break;
    }
}

static void pt_fx0(pt_channel& ch, const pt_cell& k)
{
    switch (k.e) {
    case 0:
        if (k.p != 0)
            pt_send_period(pt_period_at(ch.finetune, ch.note));
        break;
    case 8:
        ch.pan = k.p;
        sd_device.set_pan(k.p);
        break;
    case 9: sd_device.set_offset(256 * k.p); break;
    case 11:
        pt_order = k.p - 1;
        pt_row = 63;
        break;
    case 12:
        ch.volume = k.p > 64 ? 64 : k.p;
        sd_device.set_volume(ch.volume);
        break;
    case 13:
        pt_row = 63;
        pt_breakrow = 10 * k.x + k.y;
        // a break past the pattern's last row starts the next pattern at its top
        if (pt_breakrow > 63)
            pt_breakrow = 0;
        break;
    case 14: pt_fx0_extended(ch, k); break;
    case 15:
        if (k.p <= 31)
            pt_speed = k.p;
        else
            pt_bpm = k.p;
        break;
    default: break;
    }
}

// ---- later ticks ---------------------------------------------------------------------------

static void pt_slide_toward_note(pt_channel& ch)
{
    if (ch.period < ch.note_period) {
        ch.period += ch.porta_speed;
        if (ch.period > ch.note_period)
            ch.period = ch.note_period;
    } else if (ch.period > ch.note_period) {
        ch.period -= ch.porta_speed;
        if (ch.period < ch.note_period)
            ch.period = ch.note_period;
    }
}

static void pt_fx_tone_porta(pt_channel& ch, const pt_cell& k)
{
    if (k.p != 0)
        ch.porta_speed = k.p;
    pt_slide_toward_note(ch);
    if (!ch.gliss) {
        pt_send_period(ch.period);
        return;
    }
    // the nearest semitone at or below the pitch: the smallest table period not below it
    const uint16_t* row = pt_period_table[ch.finetune & 15];
    int32_t snapped = row[0];
    for (int i = 84; i >= 0; i--)
        if (row[i] >= ch.period) {
            snapped = row[i];
            break;
        }
    pt_send_period(snapped);
}

static void pt_vibrato_step(pt_channel& ch)
{
    int32_t w = pt_vib_wave[ch.vib_pos];
    pt_send_period(ch.period + (w * ch.vib_depth) / 127);
    ch.vib_pos = (ch.vib_pos + ch.vib_speed) & 63;
}

static void pt_volume_slide(pt_channel& ch, const pt_cell& k)
{
    if (k.p >= 16)
        ch.volume += k.x;
    else
        ch.volume -= k.y;
    ch.volume = pt_limit_volume(ch.volume);
    sd_device.set_volume(ch.volume);
}

static void pt_fx_tremolo(pt_channel& ch, const pt_cell& k)
{
    if (k.y != 0)
        ch.trem_depth = 2 * k.y;
    if (k.x != 0)
        ch.trem_speed = k.x;
    int32_t w = pt_trem_wave[ch.trem_pos];
    int32_t v = ch.volume + (w * ch.trem_depth) / 127;
    ch.trem_pos = (ch.trem_pos + ch.trem_speed) & 63;
    sd_device.set_volume(pt_limit_volume(v));
}

// The note of the row sounds again now (retrigger, or a delayed note).
static void pt_restart_note(pt_channel& ch, const pt_cell& k)
{
    ch.period = pt_period_at(ch.finetune, k.n);
    sd_device.set_volume(ch.volume);
    pt_send_period(ch.period);
    sd_device.set_offset(0);
}

// True on the tick x of the row, or on its last tick when x is not below the speed.
static bool pt_tick_is(int32_t t, int32_t x)
{
    return t == x || (t == pt_speed - 1 && pt_speed <= x);
}

static void pt_fxn_extended(pt_channel& ch, const pt_cell& k, int32_t t)
{
    switch (k.x) {
    case 9:
        if (k.y != 0 && k.n <= 83 && t % k.y == 0)
            pt_restart_note(ch, k);
        break;
    case 12:
        if (pt_tick_is(t, k.y))
            sd_device.set_volume(0);
        break;
    case 13:
        if (k.n <= 83 && pt_tick_is(t, k.y)) {
            ch.note = k.n;
            pt_restart_note(ch, k);
        }
        break;
    default: break;
    }
}

static void pt_fxn(pt_channel& ch, const pt_cell& k, int32_t t)
{
    switch (k.e) {
    case 0:
        if (k.p != 0) {
            int32_t add = t % 3 == 0 ? 0 : t % 3 == 1 ? k.x : k.y;
            pt_send_period(pt_period_at(ch.finetune, ch.note + add));
        }
        break;
    case 1:
        ch.period -= k.p;
        if (ch.period < pt_period_min)
            ch.period = pt_period_min;
        pt_send_period(ch.period);
        break;
    case 2:
        ch.period += k.p;
        if (ch.period > pt_period_max)
            ch.period = pt_period_max;
        pt_send_period(ch.period);
        break;
    case 3: pt_fx_tone_porta(ch, k); break;
    case 4:
        if (k.y != 0)
            ch.vib_depth = k.y;
        if (k.x != 0)
            ch.vib_speed = k.x;
        pt_vibrato_step(ch);
        break;
    case 5:
        pt_slide_toward_note(ch);
        pt_send_period(ch.period);
        pt_volume_slide(ch, k);
        break;
    case 6:
        pt_vibrato_step(ch);
        pt_volume_slide(ch, k);
        break;
    case 7: pt_fx_tremolo(ch, k); break;
    case 10: pt_volume_slide(ch, k); break;
    case 14: pt_fxn_extended(ch, k, t); break;
    default: break;
    }
}

// ---- the tick ------------------------------------------------------------------------------

// Moves tick, row and order. False when a pattern delay holds this tick (no channel is played).
static bool pt_advance()
{
    if (pt_speed == 0)
        return true;  // the song stands: every tick repeats the row's tick 0
    pt_tick++;
    if (uint32_t(pt_tick) < uint32_t(pt_speed))
        return true;
    pt_tick = 0;
    bool delayed = false;
    for (int c = 0; c < pt_channels; c++)
        if (pt_chan[c].delay > 0) {
            pt_chan[c].delay--;
            delayed = true;
        }
    if (delayed)
        return false;
    int32_t row = pt_row + 1;
    int32_t order = pt_order;
    if (uint32_t(row) > 63) {
        row = pt_breakrow;
        pt_breakrow = 0;
        order++;
        if (uint32_t(order) >= pt_songlen)
            order = pt_restart;
    }
    // a jump left on a row that a pattern loop then repeated keeps its order p - 1 without a
    // pattern change: B00 or a jump past the order list would read outside it
    if (uint32_t(order) > 127)
        order = pt_restart;
    pt_row = row;
    pt_order = order;
    pt_pattern = pt_orders[order];
    pt_rowptr = pt_patterns[pt_pattern] + 4 * pt_channels * row;
    return true;
}

void pt_play()
{
    if (pt_channels == 0)
        return;
    if (!pt_advance() || pt_rowptr == nullptr)
        return;
    const uint8_t* cell = pt_rowptr;
    int32_t t = pt_tick;
    for (int32_t c = 0; c < pt_channels; c++, cell += 4) {
        pt_channel& ch = pt_chan[c];
        pt_cell k{c, cell[0], cell[1], cell[2], cell[3], cell[3] >> 4, cell[3] & 15};
        sd_device.select_channel(c);
        if (t != 0) {
            pt_fxn(ch, k, t);
            continue;
        }
        if (k.s != 0)
            pt_row_sample(ch, k);
        if (k.n <= 83)
            pt_row_note(ch, k);
        pt_fx0(ch, k);
    }
}
