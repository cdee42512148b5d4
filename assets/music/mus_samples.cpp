// The 28 instruments of the show's music, synthesised in double precision and stored as signed
// 8-bit samples. Each is made at the byte rate the player will step through it at its reference
// note (mus_clock / period), so the pitch written in the patterns is the pitch heard.
//
// Every sample starts with a 0 byte (a one-shot voice that has ended keeps adding its first
// byte), one-shots fade to silence at their end, and the one looping sample, the pad, repeats
// exactly over its loop: all its partials complete a whole number of cycles in the loop.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "mus.h"

namespace {

constexpr double pi = 3.14159265358979323846;

using wave = std::vector<double>;

// xorshift32 with a fixed seed per instrument
struct noise {
    uint32_t s;
    explicit noise(uint32_t seed) : s(seed) {}
    double next()  // uniform -1..1
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (s >> 8) * (2.0 / 16777216.0) - 1.0;
    }
};

double midi_hz(double m) { return 440.0 * std::pow(2.0, (m - 69.0) / 12.0); }

// Byte rate of a sample played at note `index` with finetune ft.
double rate_at(int ft, int index) { return mus_clock / mus_period(ft, index); }

// Chamberlin state-variable filter; cutoff may change per sample.
struct svf {
    double low = 0, band = 0;
    // returns {low, band, high}; f = cutoff in Hz, q = damping 0.05 (resonant)..1.4
    void step(double in, double f, double rate, double q, double& lo, double& bp, double& hi)
    {
        double k = 2.0 * std::sin(pi * std::min(f, rate * 0.24) / rate);
        // two half steps keep the filter stable up to a quarter of the rate
        for (int i = 0; i < 2; i++) {
            low += 0.5 * k * band;
            double high = in - low - q * band;
            band += 0.5 * k * high;
            hi = high;
        }
        lo = low;
        bp = band;
    }
};

struct onepole {
    double z = 0;
    double lp(double in, double f, double rate)
    {
        double a = 1.0 - std::exp(-2.0 * pi * f / rate);
        z += a * (in - z);
        return z;
    }
};

// PolyBLEP sawtooth: cheap, nearly alias-free for the leads and basses.
double blep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct saw_osc {
    double ph = 0;
    double next(double hz, double rate)
    {
        double dt = hz / rate;
        double v = 2.0 * ph - 1.0 - blep(ph, dt);
        ph += dt;
        if (ph >= 1.0)
            ph -= 1.0;
        return v;
    }
};

struct square_osc {
    double ph = 0;
    double next(double hz, double rate, double width)
    {
        double dt = hz / rate;
        double v = ph < width ? 1.0 : -1.0;
        v += blep(ph, dt);
        double t2 = ph - width;
        if (t2 < 0)
            t2 += 1.0;
        v -= blep(t2, dt);
        ph += dt;
        if (ph >= 1.0)
            ph -= 1.0;
        return v;
    }
};

// Attack-decay envelope: linear rise over `att` seconds, then exponential fall with time
// constant `dec` seconds.
double env_ad(double t, double att, double dec)
{
    if (t < att)
        return t / att;
    return std::exp(-(t - att) / dec);
}

double soft_clip(double x) { return std::tanh(x); }

// Stores a wave as a sample: scaled so its peak is `peak` (0..1 of full scale), the first byte
// 0, the last `fade` seconds faded to silence (one-shots), an even length.
mus_sample finish(const char* name, wave w, double rate, double peak, double fade, uint8_t ft,
                  uint8_t vol)
{
    if (w.size() & 1)
        w.push_back(0.0);
    if (fade > 0) {
        // one-shots: a 10 Hz high-pass takes out the offset that saturation and pulse widths
        // leave, which would otherwise add up between the voices into a DC level
        double a = std::exp(-2.0 * pi * 10.0 / rate), x1 = 0, y1 = 0;
        for (double& v : w) {
            double y = a * (y1 + v - x1);
            x1 = v;
            y1 = y;
            v = y;
        }
    }
    if (fade > 0) {
        size_t n = std::min(w.size(), size_t(fade * rate));
        for (size_t i = 0; i < n; i++) {
            double g = double(i) / double(n);
            w[w.size() - 1 - i] *= g * g;
        }
    }
    double m = 1e-12;
    for (double v : w)
        m = std::max(m, std::fabs(v));
    mus_sample s;
    s.name = name;
    s.finetune = ft;
    s.volume = vol;
    s.data.resize(w.size());
    for (size_t i = 0; i < w.size(); i++)
        s.data[i] = int8_t(std::lround(std::clamp(w[i] / m * peak * 127.0, -127.0, 127.0)));
    s.data[0] = 0;
    if (fade > 0) {
        s.data[s.data.size() - 1] = 0;
        s.data[s.data.size() - 2] = 0;
    }
    if (s.data.size() > 65534) {
        fprintf(stderr, "mus: sample %s is %zu bytes\n", name, s.data.size());
        exit(1);
    }
    return s;
}

wave make(double seconds, double rate) { return wave(size_t(seconds * rate), 0.0); }

// ---- Drums ----------------------------------------------------------------------------------

constexpr int drum_index = 59;  // the note the ft -3 drums are always played at

mus_sample kick()
{
    double r = rate_at(13, drum_index);
    wave w = make(0.42, r);
    double ph = 0;
    noise n(0x4b1d);
    onepole click;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double hz = 46.0 + 110.0 * std::exp(-t / 0.035) + 60.0 * std::exp(-t / 0.006);
        ph += hz / r;
        double body = std::sin(2 * pi * ph) * env_ad(t, 0.0015, 0.16);
        double c = click.lp(n.next(), 3000.0, r) * env_ad(t, 0.0005, 0.004) * 1.5;
        w[i] = soft_clip(1.6 * body + c);
    }
    return finish("kick", w, r, 0.98, 0.03, 13, 58);
}

// Snare: the shell's two lowest modes (the first bending down after the stick), the wires as
// band-passed noise, and a low-passed noise "room" that outlasts both.
mus_sample snare()
{
    double r = rate_at(13, drum_index);
    wave w = make(0.46, r);
    noise n(0x5a5e);
    svf f;
    onepole room, room2;
    double p1 = 0, p2 = 0, p3 = 0;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        p1 += (182.0 + 50.0 * std::exp(-t / 0.015)) / r;
        p2 += 331.0 / r;
        p3 += 487.0 / r;
        double body = std::sin(2 * pi * p1) * env_ad(t, 0.001, 0.11) +
                      0.55 * std::sin(2 * pi * p2) * env_ad(t, 0.001, 0.07) +
                      0.25 * std::sin(2 * pi * p3) * env_ad(t, 0.001, 0.04);
        double lo, bp, hi;
        double x = n.next();
        f.step(x, 5200.0, r, 0.7, lo, bp, hi);
        double sn = (0.55 * bp + 0.45 * hi) * (0.8 * env_ad(t, 0.001, 0.07) + 0.2 * env_ad(t, 0.001, 0.16));
        double rm = room2.lp(room.lp(x, 1800.0, r), 1800.0, r) * env_ad(t, 0.004, 0.13);
        w[i] = soft_clip(1.3 * (0.8 * body + 1.2 * sn + 0.9 * rm));
    }
    return finish("snare", w, r, 0.97, 0.08, 13, 54);
}

// Metallic cluster of square-ish partials, the core of hats and cymbals.
double metal(double t, const double* hz, int n)
{
    double s = 0;
    for (int k = 0; k < n; k++)
        s += std::sin(2 * pi * hz[k] * t) > 0 ? 1.0 : -1.0;
    return s / n;
}

const double hat_partials[6] = {2270.0, 3117.0, 4043.0, 5631.0, 7112.0, 8327.0};

mus_sample hat(const char* name, double decay, double seconds, uint8_t vol)
{
    double r = rate_at(13, drum_index);
    wave w = make(seconds, r);
    noise n(0x4a7);
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double src = 0.6 * n.next() + 0.5 * metal(t, hat_partials, 6);
        double lo, bp, hi;
        f.step(src, 7800.0, r, 0.9, lo, bp, hi);
        w[i] = (hi + 0.3 * bp) * env_ad(t, 0.0008, decay);
    }
    return finish(name, w, r, 0.95, seconds * 0.25, 13, vol);
}

mus_sample clap()
{
    double r = rate_at(13, drum_index);
    wave w = make(0.36, r);
    noise n(0xc1a9);
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        // three quick bursts, then the room
        double e = 0;
        for (int k = 0; k < 3; k++) {
            double tk = t - 0.011 * k;
            if (tk >= 0)
                e = std::max(e, env_ad(tk, 0.0006, 0.006));
        }
        double tail = t >= 0.022 ? env_ad(t - 0.022, 0.002, 0.075) : 0.0;
        double lo, bp, hi;
        f.step(n.next(), 1250.0, r, 0.45, lo, bp, hi);
        w[i] = bp * std::max(e, 0.85 * tail);
    }
    return finish("clap", w, r, 0.95, 0.06, 13, 27);
}

mus_sample tom()
{
    double r = rate_at(13, 52);
    wave w = make(0.5, r);
    double ph = 0;
    noise n(0x7011);
    onepole lp;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        ph += (118.0 + 75.0 * std::exp(-t / 0.05)) / r;
        double body = std::sin(2 * pi * ph) * env_ad(t, 0.002, 0.17);
        double skin = lp.lp(n.next(), 2500.0, r) * env_ad(t, 0.001, 0.012);
        w[i] = soft_clip(1.4 * body + 0.6 * skin);
    }
    return finish("tom", w, r, 0.95, 0.08, 13, 48);
}

mus_sample cymbal(const char* name, int index, double seconds, double decay, double tone,
                  uint32_t seed, uint8_t vol)
{
    double r = rate_at(0, index);
    wave w = make(seconds, r);
    noise n(seed);
    svf f, g;
    const double partials[8] = {1913.0 * tone, 2741.0 * tone, 3391.0 * tone, 4603.0 * tone,
                                5311.0 * tone, 6217.0 * tone, 7409.0 * tone, 8887.0 * tone};
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double src = 0.7 * n.next() + 0.6 * metal(t, partials, 8);
        double lo, bp, hi, lo2, bp2, hi2;
        f.step(src, 6000.0, r, 0.8, lo, bp, hi);
        g.step(hi + 0.4 * bp, 9000.0, r, 1.0, lo2, bp2, hi2);
        double e = env_ad(t, 0.003, decay) * (0.75 + 0.25 * std::exp(-t / 0.05));
        w[i] = (0.7 * hi2 + 0.5 * bp2 + 0.3 * lo2) * e;
    }
    return finish(name, w, r, 0.95, seconds * 0.3, 0, vol);
}

mus_sample shaker()
{
    double r = rate_at(0, 57);
    wave w = make(0.16, r);
    noise n(0x5ac3);
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double lo, bp, hi;
        f.step(n.next(), 6500.0, r, 0.6, lo, bp, hi);
        double e = t < 0.025 ? std::sin(0.5 * pi * t / 0.025) : std::exp(-(t - 0.025) / 0.035);
        w[i] = (bp + 0.4 * hi) * e;
    }
    return finish("shaker", w, r, 0.9, 0.04, 0, 34);
}

mus_sample reverse_cymbal()
{
    double r = rate_at(0, 55);
    mus_sample c = cymbal("x", 55, 1.6, 0.55, 1.05, 0x2e7c, 64);
    wave w(c.data.size());
    for (size_t i = 0; i < w.size(); i++)
        w[i] = c.data[c.data.size() - 1 - i] / 127.0;
    // swell up, then let the peak itself die quickly so the end does not click
    size_t n = w.size();
    for (size_t i = 0; i < n; i++) {
        double x = double(i) / double(n);
        w[i] *= x * x;
    }
    return finish("reverse cymbal", w, r, 0.95, 0.02, 0, 48);
}

mus_sample boom()
{
    double r = rate_at(0, 34);  // played at the lowest note of the song
    wave w = make(2.4, r);
    double ph = 0;
    noise n(0xb0b);
    onepole lp, lp2;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        ph += (33.0 + 60.0 * std::exp(-t / 0.12)) / r;
        double body = std::sin(2 * pi * ph) * env_ad(t, 0.004, 0.7);
        double thud = lp2.lp(lp.lp(n.next(), 900.0, r), 900.0, r) * env_ad(t, 0.002, 0.09) * 3.0;
        w[i] = soft_clip(1.8 * body + thud);
    }
    return finish("impact", w, r, 0.97, 0.4, 0, 64);
}

mus_sample rim()
{
    double r = rate_at(0, 57);
    wave w = make(0.09, r);
    noise n(0x41a);
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double ring = std::sin(2 * pi * 1720.0 * t) + 0.6 * std::sin(2 * pi * 510.0 * t);
        w[i] = ring * env_ad(t, 0.0004, 0.018) + 0.5 * n.next() * env_ad(t, 0.0002, 0.002);
    }
    return finish("rim", w, r, 0.9, 0.02, 0, 38);
}

mus_sample conga()
{
    double r = rate_at(0, 52);
    wave w = make(0.35, r);
    double ph = 0;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        ph += (300.0 + 90.0 * std::exp(-t / 0.015)) / r;
        w[i] = (std::sin(2 * pi * ph) + 0.25 * std::sin(4 * pi * ph)) * env_ad(t, 0.001, 0.09);
    }
    return finish("conga", w, r, 0.92, 0.06, 0, 23);
}

// ---- Tonal instruments ----------------------------------------------------------------------

// Reese bass: two detuned band-limited saws and a sine sub, through a low-pass that opens a little
// at the attack, softly saturated. Long enough to hold a note for two bars.
mus_sample bass()
{
    double r = rate_at(13, 46);
    double hz = midi_hz(38);  // D2 at note 46
    wave w = make(4.2, r);
    saw_osc a, b;
    b.ph = 0.37;
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double s = a.next(hz * 1.004, r) + b.next(hz * 0.996, r);
        double cut = 420.0 + 900.0 * std::exp(-t / 0.08) + 90.0 * std::sin(2 * pi * 0.7 * t);
        double lo, bp, hi;
        f.step(s, cut, r, 0.55, lo, bp, hi);
        double sub = std::sin(2 * pi * hz * t);
        double e = std::min(1.0, t / 0.004) * (0.82 + 0.18 * std::exp(-t / 0.15));
        w[i] = soft_clip(1.2 * (0.7 * lo + 0.6 * sub)) * e;
    }
    return finish("reese bass", w, r, 0.97, 0.25, 13, 30);
}

// Acid bass: a resonant low-pass sweeping down over a sawtooth.
mus_sample acid()
{
    double r = rate_at(0, 46);
    double hz = midi_hz(38);
    wave w = make(0.55, r);
    saw_osc a;
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double cut = 250.0 + 2600.0 * std::exp(-t / 0.09);
        double lo, bp, hi;
        f.step(a.next(hz, r), cut, r, 0.16, lo, bp, hi);
        w[i] = soft_clip(1.5 * lo) * env_ad(t, 0.002, 0.3);
    }
    return finish("acid bass", w, r, 0.95, 0.1, 0, 22);
}

mus_sample sub_bass()
{
    double r = rate_at(0, 46);
    double hz = midi_hz(38);
    wave w = make(3.6, r);
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double s = std::sin(2 * pi * hz * t);
        w[i] = soft_clip(1.6 * s) * std::min(1.0, t / 0.006);
    }
    return finish("sub bass", w, r, 0.95, 0.3, 0, 27);
}

// Karplus-Strong plucked string with a brightness that follows the pick.
mus_sample pluck()
{
    double r = rate_at(0, 50);
    double hz = midi_hz(74);  // D5 at note 50
    wave w = make(0.75, r);
    double period = r / hz;
    size_t n = size_t(period);
    double frac = period - double(n);
    std::vector<double> line(n + 2);
    noise ns(0x9106);
    onepole pick;
    double mean = 0;
    for (size_t i = 0; i < line.size(); i++) {
        line[i] = pick.lp(ns.next(), 5000.0, r) + 0.4 * (2.0 * double(i) / double(n) - 1.0);
        mean += line[i] / double(line.size());
    }
    for (double& v : line)  // the string's loop keeps any offset for ever
        v -= mean;
    size_t pos = 0;
    double last = 0;
    for (size_t i = 0; i < w.size(); i++) {
        size_t a = pos % line.size();
        size_t b = (pos + 1) % line.size();
        double v = line[a] * (1.0 - frac) + line[b] * frac;
        double out = 0.5 * (v + last) * 0.996;
        last = v;
        line[a] = out;
        pos++;
        w[i] = out * std::min(1.0, double(i) / 12.0);
    }
    return finish("pluck", w, r, 0.95, 0.2, 0, 22);
}

// Lead: a pulse and a saw an octave apart, filter opening with the attack, a slow chorus.
mus_sample lead()
{
    double r = rate_at(0, 50);
    double hz = midi_hz(74);
    wave w = make(3.0, r);
    square_osc q;
    saw_osc s, s2;
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double width = 0.5 + 0.18 * std::sin(2 * pi * 0.9 * t);
        double src = 0.55 * q.next(hz, r, width) + 0.45 * s.next(hz * 1.003, r) + 0.25 * s2.next(hz * 2.0, r);
        double cut = 1800.0 + 3200.0 * std::exp(-t / 0.12);
        double lo, bp, hi;
        f.step(src, cut, r, 0.5, lo, bp, hi);
        double e = std::min(1.0, t / 0.01) * (0.75 + 0.25 * std::exp(-t / 0.2));
        w[i] = soft_clip(1.3 * lo) * e;
    }
    return finish("lead", w, r, 0.95, 0.45, 0, 32);
}

// FM bell: inharmonic modulator ratio, bright attack mellowing as the index falls.
mus_sample bell()
{
    double r = rate_at(0, 50);
    double hz = midi_hz(74);
    wave w = make(1.6, r);
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double index = 2.2 * std::exp(-t / 0.35) + 0.3;
        double mod = std::sin(2 * pi * hz * 3.5 * t) * index;
        double car = std::sin(2 * pi * hz * t + mod) + 0.3 * std::sin(2 * pi * hz * 2.0 * t);
        w[i] = car * env_ad(t, 0.002, 0.45);
    }
    return finish("bell", w, r, 0.95, 0.3, 0, 20);
}

mus_sample sparkle()
{
    double r = rate_at(0, 62);
    double hz = midi_hz(86);  // D6 at note 62
    wave w = make(0.5, r);
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double mod = std::sin(2 * pi * hz * 1.414 * t) * 1.4 * std::exp(-t / 0.08);
        w[i] = std::sin(2 * pi * hz * t + mod) * env_ad(t, 0.001, 0.12);
    }
    return finish("glass", w, r, 0.9, 0.12, 0, 34);
}

// Ensemble strings: seven detuned saws, slow attack and gentle low-pass.
mus_sample strings()
{
    double r = rate_at(0, 50);
    double hz = midi_hz(62);  // D4 at note 50
    wave w = make(3.5, r);
    saw_osc o[7];
    const double det[7] = {-0.011, -0.007, -0.003, 0.0, 0.004, 0.008, 0.012};
    for (int k = 0; k < 7; k++)
        o[k].ph = 0.13 * k;
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double vib = 1.0 + 0.002 * std::sin(2 * pi * 5.2 * t) * std::min(1.0, t / 0.6);
        double s = 0;
        for (int k = 0; k < 7; k++)
            s += o[k].next(hz * (1.0 + det[k]) * vib, r);
        double lo, bp, hi;
        f.step(s / 4.0, 2600.0, r, 0.9, lo, bp, hi);
        double e = std::min(1.0, t / 0.35);
        w[i] = lo * e;
    }
    return finish("strings", w, r, 0.95, 0.6, 0, 29);
}

// A chord stab (root, third, fifth, octave): minor or major third.
mus_sample stab(const char* name, int third, uint8_t vol)
{
    double r = rate_at(0, 50);
    wave w = make(0.5, r);
    const int iv[4] = {0, third, 7, 12};
    saw_osc o[8];
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double s = 0;
        for (int k = 0; k < 4; k++) {
            double hz = midi_hz(62 + iv[k]);
            s += o[2 * k].next(hz * 1.003, r) + o[2 * k + 1].next(hz * 0.997, r);
        }
        double cut = 700.0 + 4200.0 * std::exp(-t / 0.07);
        double lo, bp, hi;
        f.step(s / 5.0, cut, r, 0.4, lo, bp, hi);
        w[i] = soft_clip(1.4 * lo) * env_ad(t, 0.002, 0.16);
    }
    return finish(name, w, r, 0.95, 0.1, 0, vol);
}

// Vowel "aah": a band-limited glottal saw through three formant band-passes. Sung around D5,
// so its notes play near their own rate and the formants stay put.
mus_sample vox()
{
    double r = rate_at(0, 50);
    double hz = midi_hz(74);
    wave w = make(3.5, r);
    saw_osc g;
    svf f1, f2, f3;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double vib = 1.0 + 0.006 * std::sin(2 * pi * 5.0 * t) * std::min(1.0, t / 0.4);
        double src = g.next(hz * vib, r);
        double l, b1, b2, b3, h;
        f1.step(src, 760.0, r, 0.18, l, b1, h);
        f2.step(src, 1150.0, r, 0.16, l, b2, h);
        f3.step(src, 2600.0, r, 0.14, l, b3, h);
        double e = std::min(1.0, t / 0.12);
        w[i] = (b1 + 0.6 * b2 + 0.25 * b3) * e;
    }
    return finish("vox", w, r, 0.92, 0.5, 0, 36);
}

mus_sample zap()
{
    double r = rate_at(0, 48);
    wave w = make(0.3, r);
    double ph = 0;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        ph += (90.0 + 2200.0 * std::exp(-t / 0.05)) / r;
        w[i] = (std::sin(2 * pi * ph) + 0.3 * (std::fmod(ph, 1.0) * 2.0 - 1.0)) * env_ad(t, 0.001, 0.09);
    }
    return finish("zap", w, r, 0.9, 0.06, 0, 40);
}

// Noise riser: white noise through a band-pass that climbs, growing louder. The song sweeps its
// pitch up as well (tone portamento to the top note).
mus_sample riser()
{
    double r = rate_at(0, 48);
    wave w = make(3.6, r);
    noise n(0x215e);
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double x = t / 3.6;
        double lo, bp, hi;
        f.step(n.next(), 400.0 * std::pow(12.0, x), r, 0.35, lo, bp, hi);
        w[i] = bp * (0.25 + 0.75 * x) * std::min(1.0, t / 0.05);
    }
    return finish("riser", w, r, 0.9, 0.15, 0, 40);
}

mus_sample wind()
{
    double r = rate_at(0, 34);  // the lowest note: six seconds of noise fit in one sample
    wave w = make(6.0, r);
    noise n(0x3135);
    svf f;
    for (size_t i = 0; i < w.size(); i++) {
        double t = i / r;
        double lo, bp, hi;
        f.step(n.next(), 700.0 + 500.0 * std::sin(2 * pi * 0.45 * t), r, 0.25, lo, bp, hi);
        double e = std::sin(pi * std::min(1.0, t / 6.0));
        w[i] = bp * e;
    }
    return finish("wind", w, r, 0.9, 0.1, 0, 40);
}

// The pad, the song's one looping sample: five detuned band-limited saws and a sine an octave
// down, each a whole number of cycles in the loop, under a filter sweep that also repeats once
// per loop. The attack part before the loop rises from silence.
constexpr uint32_t pad_loop_start = 27166;
constexpr uint32_t pad_loop_length = 22916;

mus_sample pad()
{
    double r = rate_at(0, 48);  // C4 at note 48
    const double L = pad_loop_length;
    // cycles of the fundamental per loop, nearest to C4
    int k = 2 * int(std::lround(midi_hz(60) * L / r / 2.0));  // even: the sub octave fits too
    const int det[5] = {-2, -1, 0, 1, 2};
    const double phase[5] = {0.0, 0.31, 0.57, 0.13, 0.82};
    size_t n = pad_loop_start + pad_loop_length;
    wave w(n, 0.0);
    for (int v = 0; v < 5; v++) {
        double kv = k + det[v];  // cycles per loop for this voice
        double f0 = kv / L;      // cycles per byte
        int top = int(0.16 / f0);  // harmonics up to about 0.16 of the byte rate
        for (int h = 1; h <= top; h++) {
            // a soft low-pass: harmonics fall as 1/h and then faster above the 6th
            double a = (1.0 / h) / (1.0 + std::pow(h / 6.0, 2.0));
            // the filter sweep: each harmonic's level swings once per loop, upper ones more
            double depth = std::min(0.8, 0.08 * h);
            for (size_t i = 0; i < n; i++) {
                double x = double(i);
                double lfo = 1.0 - depth * 0.5 * (1.0 + std::cos(2 * pi * x / L + v));
                w[i] += a * lfo * std::sin(2 * pi * (h * f0 * x + phase[v] * h));
            }
        }
    }
    double f0 = k / L;
    for (size_t i = 0; i < n; i++)
        w[i] = w[i] / 3.0 + 0.45 * std::sin(2 * pi * 0.5 * f0 * double(i));
    // attack: rise over 0.25 s, fully open long before the loop starts
    size_t att = size_t(0.25 * r);
    for (size_t i = 0; i < att; i++) {
        double g = double(i) / double(att);
        w[i] *= g * g * (3.0 - 2.0 * g);
    }
    mus_sample s = finish("pad", w, r, 0.95, 0.0, 0, 40);
    s.loop_start = pad_loop_start;
    s.loop_length = pad_loop_length;
    return s;
}

}  // namespace

void mus_make_samples(std::vector<mus_sample>& s)
{
    s.assign(32, mus_sample{});
    s[1] = bass();
    s[3] = snare();
    s[4] = kick();
    s[5] = hat("closed hat", 0.028, 0.12, 24);
    s[6] = hat("open hat", 0.16, 0.42, 26);
    s[7] = clap();
    s[8] = tom();
    s[9] = cymbal("crash", 55, 1.5, 0.45, 1.0, 0xc4a5, 44);
    s[10] = pad();
    s[11] = pluck();
    s[12] = lead();
    s[13] = bell();
    s[14] = strings();
    s[15] = riser();
    s[17] = cymbal("ride", 57, 0.8, 0.25, 1.35, 0x41de, 30);
    s[19] = shaker();
    s[20] = reverse_cymbal();
    s[21] = boom();
    s[22] = rim();
    s[23] = conga();
    s[24] = stab("minor stab", 3, 30);
    s[25] = acid();
    s[26] = sub_bass();
    s[27] = sparkle();
    s[28] = vox();
    s[29] = stab("major stab", 4, 30);
    s[30] = zap();
    s[31] = wind();
    for (int i : {1, 3, 4, 5, 6, 7, 8})
        if (s[size_t(i)].finetune != 13) {
            fprintf(stderr, "mus: sample %d must be tuned -3\n", i);
            exit(1);
        }
}
