#include "sound/mix.h"

#include "sound/sd_device.h"

mix_channel mix_regs[32];
mix_channel mix_voices[32];
int mix_curchan = 0;
int mix_rate = 44100;
int mix_master = 63;
int mix_channels = 4;
int32_t mix_voltab[256][256];
int32_t mix_acc[mix_acc_size];

// ---- device operations (replay tick) ----

int mix_setsample(int i, const int8_t* data, uint32_t length, uint32_t loop_start,
                  uint32_t loop_end, int looping) {
    if (i < 0 || i > 31) return 0;  // no entry there: store nothing
    mix_sample_entry& e = mix_sample[i];
    e.data = data;
    e.length = length;
    e.loop_start = loop_start;
    e.loop_end = loop_end;
    e.looping = looping;
    return 1;
}

void mix_selchannel(int32_t c) {
    mix_curchan = c & 31;  // keep the channel writes inside the bank
}

// The register record the channel operations act on.
static mix_channel* mix_current() { return &mix_regs[mix_curchan & 31]; }

void mix_setinstrument(int32_t s) {
    mix_channel* mix_cur = mix_current();
    // A sample number beyond the table (a pattern cell can carry up to 255) selects the
    // empty entry 0 instead of reading past the table.
    const mix_sample_entry& e = mix_sample[(uint32_t)s < 32 ? s : 0];
    mix_cur->sample = s;
    mix_cur->data = e.data;
    mix_cur->length = e.length;
    mix_cur->loop_start = e.loop_start;
    mix_cur->loop_end = e.loop_end;
    mix_cur->looping = e.looping;
}

void mix_setperiod(int32_t period) {
    mix_channel* mix_cur = mix_current();
    mix_cur->new_step = 1;
    if (period < 1 || mix_rate < 1) {  // no pitch: the channel holds its place
        mix_cur->step = 0;
        mix_cur->step_frac = 0;
        return;
    }
    // 32.32 step, of which only the top 24 bits of the fraction carry information
    mix_cur->step = (mix_clock / (uint32_t)period) / (uint32_t)mix_rate;
    double x = (double)mix_clock / ((double)mix_rate * (double)period);
    double f = x - (double)(int64_t)x;
    mix_cur->step_frac = (uint32_t)(f * 16777216.0) << 8;
}

void mix_setvolume(int32_t v) { mix_current()->volume = v; }

void mix_setpan(int32_t p) { mix_current()->pan = p; }

void mix_setoffset(int32_t o) {
    mix_channel* mix_cur = mix_current();
    uint32_t u = (uint32_t)o;
    if (u > mix_cur->loop_end) mix_cur->looping = 0;  // the loop comes back with set_instrument
    if (u < mix_cur->length) {
        mix_cur->pos = u;
        mix_cur->pos_frac = 0;
        mix_cur->retrigger = 1;
    }
}

void mix_setmastervol(int32_t v) { mix_master = v > 252 ? 252 : v; }

void mix_setchannels(int32_t n) { mix_channels = n; }

void mix_bind() {
    sd_device.set_sample = mix_setsample;
    sd_device.set_period = mix_setperiod;
    sd_device.set_channels = mix_setchannels;
    sd_device.set_offset = mix_setoffset;
    sd_device.select_channel = mix_selchannel;
    sd_device.set_pan = mix_setpan;
    sd_device.set_instrument = mix_setinstrument;
    sd_device.set_master = mix_setmastervol;
    sd_device.set_volume = mix_setvolume;
}

// ---- set-up ----

// Also the length: a record without data must not keep one, or a second mix_init would leave a
// channel that a volume alone makes read through a null pointer.
static void mix_resetchannel(mix_channel* c) {
    *c = mix_channel{};
    c->pan = 127;
    c->new_step = 1;
    c->retrigger = 1;
}

static void mix_resetsample(mix_sample_entry* e) {
    e->data = nullptr;
    e->loop_start = 0;
    e->loop_end = 0;
    e->looping = 0;
    e->length = 0;  // as for the channels: no length without data
}

void mix_init(int rate) {
    mix_rate = rate;
    for (int c = 0; c < 32; c++) {
        mix_resetchannel(&mix_regs[c]);
        mix_resetchannel(&mix_voices[c]);
    }
    for (int i = 0; i < 32; i++) mix_resetsample(&mix_sample[i]);
    for (int v = 0; v < 256; v++)
        for (int s = 0; s < 256; s++) mix_voltab[v][s] = v * (int32_t)(int8_t)(uint8_t)s;
}

// ---- rendering ----

// One channel's working values for an inner loop.
struct mix_work {
    const uint8_t* data;  // sample bytes, read unsigned to index a volume row
    uint64_t pos;         // 32.32 position
    uint64_t step;        // 32.32 advance per frame
    uint64_t loop_start;  // loop start, 32.32 with a zero fraction
    uint64_t end;         // loop end (looping) or length (one-shot), 32.32 with a zero fraction
    const int32_t* left;  // volume row (mono: the only one)
    const int32_t* right;
};

// Looping loops: advance before reading, wrap to exactly loop_start (the overshoot is dropped).
static void mixa_mono_loop(mix_work* w, int32_t* acc, int n) {
    const uint8_t* d = w->data;
    const int32_t* row = w->left;
    uint64_t p = w->pos;
    const uint64_t st = w->step, end = w->end, start = w->loop_start;
    for (int i = 0; i < n; i++) {
        p += st;
        if (p >= end) p = start | (uint32_t)p;
        acc[i] += row[d[p >> 32]];
    }
    w->pos = p;
}

static void mixa_stereo_loop(mix_work* w, int32_t* acc, int n) {
    const uint8_t* d = w->data;
    const int32_t* left = w->left;
    const int32_t* right = w->right;
    uint64_t p = w->pos;
    const uint64_t st = w->step, end = w->end, start = w->loop_start;
    for (int i = 0; i < n; i++) {
        p += st;
        if (p >= end) p = start | (uint32_t)p;
        uint8_t s = d[p >> 32];
        acc[2 * i] += left[s];
        acc[2 * i + 1] += right[s];
    }
    w->pos = p;
}

// One-shot loops: at the end of the sample the position and step become 0 and the rows 0, so
// the rest of the render adds nothing; the loop stops there.
static void mixa_mono_once(mix_work* w, int32_t* acc, int n) {
    const uint8_t* d = w->data;
    const int32_t* row = w->left;
    uint64_t p = w->pos;
    const uint64_t st = w->step, end = w->end;
    for (int i = 0; i < n; i++) {
        p += st;
        if (p >= end) {
            p = 0;
            break;
        }
        acc[i] += row[d[p >> 32]];
    }
    w->pos = p;
}

static void mixa_stereo_once(mix_work* w, int32_t* acc, int n) {
    const uint8_t* d = w->data;
    const int32_t* left = w->left;
    const int32_t* right = w->right;
    uint64_t p = w->pos;
    const uint64_t st = w->step, end = w->end;
    for (int i = 0; i < n; i++) {
        p += st;
        if (p >= end) {
            p = 0;
            break;
        }
        uint8_t s = d[p >> 32];
        acc[2 * i] += left[s];
        acc[2 * i + 1] += right[s];
    }
    w->pos = p;
}

using mix_loop_fn = void (*)(mix_work*, int32_t*, int);

// Loads the working values and picks the inner loop: the looping one when the channel loops
// over a non-empty stretch inside its sample, else the one-shot one. A loop end beyond the
// sample's length is cut to the length (the loader passes loop start + loop length untested),
// and a loop that then starts at or past its end plays once, so no read leaves the sample.
static bool mix_prepare(const mix_channel* v, mix_work* w, mix_loop_fn looped, mix_loop_fn once,
                        mix_loop_fn* fn) {
    w->data = (const uint8_t*)v->data;
    w->pos = (uint64_t)v->pos << 32 | v->pos_frac;
    w->step = (uint64_t)v->step << 32 | v->step_frac;
    uint32_t loop_end = v->loop_end < v->length ? v->loop_end : v->length;
    if (v->looping && v->loop_start < loop_end) {
        w->loop_start = (uint64_t)v->loop_start << 32;
        w->end = (uint64_t)loop_end << 32;
        *fn = looped;
        return true;
    }
    w->loop_start = 0;
    w->end = (uint64_t)v->length << 32;
    *fn = once;
    return false;
}

// Writes the position back; a one-shot channel that ended (position 0.0) loses its step and
// its voice-bank volume.
static void mix_finish(mix_channel* v, const mix_work* w, bool looped) {
    v->pos = (uint32_t)(w->pos >> 32);
    v->pos_frac = (uint32_t)w->pos;
    if (!looped && v->pos == 0 && v->pos_frac == 0) {
        v->step = 0;
        v->step_frac = 0;
        v->volume = 0;
    }
}

static void mix_mono(mix_channel* v, int32_t* acc, int n) {
    if (v->length == 0 || v->volume == 0) return;  // skipped: the position does not move
    uint32_t row = ((uint32_t)mix_master * 255u * (uint32_t)v->volume) / 8064u;
    mix_work w;
    mix_loop_fn fn;
    bool looped = mix_prepare(v, &w, mixa_mono_loop, mixa_mono_once, &fn);
    w.left = mix_voltab[row & 255];
    w.right = w.left;
    fn(&w, acc, n);
    mix_finish(v, &w, looped);
}

static void mix_stereo(mix_channel* v, int32_t* acc, int n) {
    if (v->length == 0 || v->volume == 0) return;
    uint32_t pan = (uint32_t)v->pan, vol = (uint32_t)v->volume, m = (uint32_t)mix_master;
    uint32_t left = ((255u - pan) * vol * m) / 8064u;  // 8064 = 126 x 64
    uint32_t right = (pan * vol * m) / 8064u;
    mix_work w;
    mix_loop_fn fn;
    bool looped = mix_prepare(v, &w, mixa_stereo_loop, mixa_stereo_once, &fn);
    w.left = mix_voltab[left & 255];
    w.right = mix_voltab[right & 255];
    fn(&w, acc, n);
    mix_finish(v, &w, looped);
}

static void mix_latch(int c) {
    mix_channel* r = &mix_regs[c];
    mix_channel* v = &mix_voices[c];
    uint32_t pos = v->pos, pos_frac = v->pos_frac, step = v->step, step_frac = v->step_frac;
    *v = *r;
    if (r->retrigger) {
        r->retrigger = 0;
    } else {
        v->pos = pos;
        v->pos_frac = pos_frac;
    }
    if (r->new_step) {
        r->new_step = 0;
    } else {
        v->step = step;
        v->step_frac = step_frac;
    }
}

static inline int32_t mix_clamp(int32_t a, int32_t lo, int32_t hi) {
    return a < lo ? lo : a > hi ? hi : a;
}

// Output conversions: `count` accumulators (frames in mono, twice the frames in stereo) into
// bytes. Stereo values are already interleaved left, right, so both layouts convert alike.
static void mix_out_s16(const int32_t* acc, uint8_t* out, int count) {
    for (int i = 0; i < count; i++) {
        int32_t a = mix_clamp(acc[i], -32768, 32767);
        out[2 * i] = (uint8_t)a;  // little-endian
        out[2 * i + 1] = (uint8_t)((uint32_t)a >> 8);
    }
}

static void mix_out_u8(const int32_t* acc, uint8_t* out, int count) {
    for (int i = 0; i < count; i++) out[i] = (uint8_t)(mix_clamp(acc[i] >> 9, -128, 127) + 128);
}

static void mix_out_s16_mono(const int32_t* acc, uint8_t* out, int n) { mix_out_s16(acc, out, n); }
static void mix_out_u8_mono(const int32_t* acc, uint8_t* out, int n) { mix_out_u8(acc, out, n); }
static void mix_out_s16_stereo(const int32_t* acc, uint8_t* out, int n) {
    mix_out_s16(acc, out, 2 * n);
}
static void mix_out_u8_stereo(const int32_t* acc, uint8_t* out, int n) {
    mix_out_u8(acc, out, 2 * n);
}

using mix_chan_fn = void (*)(mix_channel*, int32_t*, int);
using mix_out_fn = void (*)(const int32_t*, uint8_t*, int);

// Latches, then mixes and converts in pieces that fit the accumulators (`per_frame` of them a
// frame); positions carry over from piece to piece, so the result equals one whole render.
static void mix_render(uint8_t* out, int n, mix_chan_fn mix, mix_out_fn conv, int per_frame,
                       int bytes_per_frame) {
    int channels = mix_clamp(mix_channels, 0, 32);
    for (int c = 0; c < channels; c++) mix_latch(c);
    const int chunk = mix_acc_size / per_frame;
    while (n > 0) {
        int m = n < chunk ? n : chunk;
        for (int i = 0; i < m * per_frame; i++) mix_acc[i] = 0;
        for (int c = 0; c < channels; c++) mix(&mix_voices[c], mix_acc, m);
        conv(mix_acc, out, m);
        out += m * bytes_per_frame;
        n -= m;
    }
}

void mix_render_mono(uint8_t* out, int n, int is16) {
    if (is16)
        mix_render(out, n, mix_mono, mix_out_s16_mono, 1, 2);
    else
        mix_render(out, n, mix_mono, mix_out_u8_mono, 1, 1);
}

void mix_render_stereo(uint8_t* out, int n, int is16) {
    if (is16)
        mix_render(out, n, mix_stereo, mix_out_s16_stereo, 2, 4);
    else
        mix_render(out, n, mix_stereo, mix_out_u8_stereo, 2, 2);
}
