// The song: "Orvanto Drift", D minor, 175 beats a minute (a tick is 1/70 s). A row is a
// sixteenth note at speed 6 and an eighth note at speed 12, so the half-time build-ups (the first
// halves of the patterns that carry the show's transitions) keep the beat while their 32 rows
// last 384 ticks, long enough for a 256-tick transition to finish.
//
// Channels: 0 kick, 1 snare, 2 hats/shaker, 3 percussion, 4 bass, 5-7 the pad (a voice hard
// left, the third, and the first voice's detuned double hard right), 8 arpeggio or stabs, 9 echo,
// strings or bells, 10 lead, 11 effects and cymbals. The kick (sample 4) is channel 0's sample
// while the blob trails should grow; the snare (3) and the closed hat (5) are the beat that the
// mirror wave's zoom follows.
//
// The form: an intro, then four sections (orders 2-8, 9-13, 14-18, 19-25). Crashes mark where a
// section or a new part of one begins; the riser and the snare roll lead only into the drops, the
// shatter (order 9) and the climax (its pattern played at orders 15 and 17).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "mus.h"

namespace {

enum : int {
    S_BASS = 1, S_SNARE = 3, S_KICK = 4, S_HAT = 5, S_OHAT = 6, S_CLAP = 7, S_TOM = 8, S_CRASH = 9,
    S_PAD = 10, S_PLUCK = 11, S_LEAD = 12, S_BELL = 13, S_STRINGS = 14, S_RISER = 15, S_RIDE = 17,
    S_SHAKER = 19, S_REVCYM = 20, S_BOOM = 21, S_RIM = 22, S_CONGA = 23, S_MSTAB = 24, S_ACID = 25,
    S_SUB = 26, S_GLASS = 27, S_VOX = 28, S_JSTAB = 29, S_ZAP = 30, S_WIND = 31
};

enum : int { C_KICK, C_SNARE, C_HAT, C_PERC, C_BASS, C_PAD1, C_PAD2, C_PAD3, C_ARP, C_ECHO, C_LEAD, C_FX };

// Note index = MIDI note - offset, for the pitched samples; unpitched ones have a fixed note.
int midi_offset(int s)
{
    switch (s) {
    case S_BASS: case S_ACID: case S_SUB: return -8;
    case S_PAD: case S_STRINGS: case S_MSTAB: case S_JSTAB: return 12;
    case S_PLUCK: case S_LEAD: case S_BELL: case S_GLASS: case S_VOX: return 24;
    default: return 1000;
    }
}

int fixed_note(int s)
{
    switch (s) {
    case S_KICK: case S_SNARE: case S_HAT: case S_OHAT: case S_CLAP: return 59;
    case S_TOM: case S_CONGA: return 52;
    case S_CRASH: case S_REVCYM: return 55;
    case S_RIDE: case S_SHAKER: case S_RIM: return 57;
    case S_BOOM: case S_WIND: return 34;
    case S_RISER: case S_ZAP: return 48;
    default: return -1;
    }
}

std::vector<mus_pattern>* song;
const std::vector<mus_sample>* instruments;
int gain = 100;  // percent: the loudness of the section being written

[[noreturn]] void fail(const char* what, int p, int row, int ch)
{
    fprintf(stderr, "mus: %s at pattern %d row %d channel %d\n", what, p, row, ch);
    exit(1);
}

mus_cell& at(int p, int row, int ch)
{
    if (p < 0 || p >= mus_patterns || row < 0 || row > 63 || ch < 0 || ch >= mus_channels)
        fail("cell out of range", p, row, ch);
    return (*song)[size_t(p)].cell[row][ch];
}

void eff(int p, int row, int ch, int e, int param)
{
    mus_cell& c = at(p, row, ch);
    if (c.effect || c.param)
        fail("two effects in one cell", p, row, ch);
    c.effect = uint8_t(e);
    c.param = uint8_t(param);
}

void put_note(int p, int row, int ch, int s, int index, int e, int param)
{
    mus_cell& c = at(p, row, ch);
    if (c.sample || c.note != mus_no_note)
        fail("two notes in one cell", p, row, ch);
    if (index < 34 || index > 81)
        fail("note outside the song's range", p, row, ch);
    c.sample = uint8_t(s);
    c.note = int8_t(index);
    if (e || param)
        eff(p, row, ch, e, param);
}

// Each channel's place (E8x, set once at the start): kick, snare, bass and lead in the middle;
// the pad's pair hard left and right and its third left of the middle, the arpeggio and stabs
// left, hats and effects right of the middle, the arpeggio's echo, the strings and bells right.
const int pans[mus_channels] = {8, 7, 14, 2, 8, 0, 3, 15, 1, 14, 8, 12};

// Each channel's level in the mix, percent of the volumes the parts write: the bass gives way
// to the pad, the arpeggio and its echo, which carry the width.
const int faders[mus_channels] = {100, 100, 110, 110, 75, 160, 130, 160, 130, 150, 92, 110};

// A volume as the channel plays it: its fader, and, since the mixer gives a channel panned to
// one side up to twice the level it gives a centred one on that side, scaled so that a panned
// channel's power stays that of the middle.
int pan_scaled(int ch, int vol)
{
    int pan = 16 * pans[ch];
    double v = vol * faders[ch] / 100.0 * std::sqrt(126.0 / std::max(255 - pan, pan));
    return std::min(64, int(std::lround(v)));
}

int scaled(int vol) { return std::min(64, (vol * gain + 50) / 100); }

// A struck sample plays at its own volume; a volume command is written only where the wanted
// volume is clearly another (more than about 1 dB away), as a tracker musician would.
bool near_default(int s, int vol)
{
    int d = (*instruments)[size_t(s)].volume;
    return std::abs(vol - d) * 8 <= d;
}

// A pitched note of sample s by MIDI number; a volume (Cxx) is scaled to the section's loudness.
void note(int p, int row, int ch, int s, int midi, int e = 0, int param = 0)
{
    if (e == 12)
        param = pan_scaled(ch, scaled(param));
    if (e == 12 && near_default(s, param))
        e = param = 0;
    put_note(p, row, ch, s, midi - midi_offset(s), e, param);
}

// A note that keeps the channel's sample and volume (no sample number); inst gives the tuning.
void note_keep(int p, int row, int ch, int inst, int midi, int e, int param)
{
    put_note(p, row, ch, 0, midi - midi_offset(inst), e, param);
}

// A tone portamento towards a note: the sounding sample glides there, nothing is struck.
void legato(int p, int row, int ch, int inst, int midi, int speed)
{
    put_note(p, row, ch, 0, midi - midi_offset(inst), 3, speed);
}

// A drum struck at note index `index` with channel volume v (a volume command only if needed).
void strike(int p, int row, int ch, int s, int index, int v)
{
    if (near_default(s, v))
        put_note(p, row, ch, s, index, 0, 0);
    else
        put_note(p, row, ch, s, index, 12, v);
}

// An unpitched hit; vol < 0 keeps the sample's volume (set for the channel it plays on),
// whatever the section's loudness.
void hit(int p, int row, int ch, int s, int vol = -1)
{
    if (vol < 0)
        put_note(p, row, ch, s, fixed_note(s), 0, 0);
    else
        strike(p, row, ch, s, fixed_note(s), pan_scaled(ch, scaled(vol)));
}

struct song_effect {
    int p, row, e, param;
};
std::vector<song_effect> song_effects;

// A song-wide effect (speed change, pattern break); placed once the patterns are written, on a
// channel with no effect in that row.
void song_effect_at(int p, int row, int e, int param) { song_effects.push_back({p, row, e, param}); }
void speed(int p, int row, int sp) { song_effect_at(p, row, 15, sp); }

void place_effect(int p, int row, int e, int param)
{
    for (int ch = mus_channels - 1; ch >= 0; ch--) {
        mus_cell& c = at(p, row, ch);
        if (!c.effect && !c.param) {
            eff(p, row, ch, e, param);
            return;
        }
    }
    fail("no free effect for a song-wide effect", p, row, 0);
}

// ---- Harmony ---------------------------------------------------------------------------------

struct chord {
    int root;  // MIDI, any octave
    int third; // 3 minor, 4 major
};

const chord Dm{62, 3}, Gm{55, 3}, Em{64, 3}, Bb{58, 4}, F{65, 4}, C{60, 4}, A{57, 4}, G{55, 4},
    D{62, 4}, E{64, 4};

int pitch_class(int m) { return ((m % 12) + 12) % 12; }

// Lowest note of the chord's root at or above `floor`.
int root_above(const chord& c, int floor)
{
    int m = floor + pitch_class(c.root - floor);
    return m;
}

// ---- Parts -----------------------------------------------------------------------------------

int pad_voice[3] = {57, 62, 57};

// Nudges the pad's double a period unit or two flat once its glide has landed: against the voice
// it doubles it beats slowly, and the two sit hard left and hard right, a wide, chorused pad.
void pad_detune(int p, int row, int midi)
{
    // low notes two units flat, high ones (where a unit is a wider step) one unit sharp
    int fx = mus_period_row0[midi - midi_offset(S_PAD)] >= 160 ? 0x22 : 0x11;
    for (int r = row + 1; r <= row + 3 && r < 64; r++) {
        mus_cell& c = at(p, r, C_PAD3);
        if (!c.effect && !c.param && c.note == mus_no_note) {
            eff(p, r, C_PAD3, 14, fx);
            return;
        }
    }
}

// The pad within F3..E5, voice-led: channel 5 (left) holds the root or the fifth, channel 6 the
// third, channel 7 (right) doubles channel 5, detuned. fresh: retrigger with volume vol (rising
// from the sample's attack); otherwise glide into the new chord with tone portamento, no
// retrigger, so the looping pad never clicks.
void pads(int p, int row0, std::initializer_list<chord> chords, int rows_per_chord, bool fresh, int vol)
{
    int row = row0;
    bool first = true;
    for (const chord& c : chords) {
        auto nearest = [&](std::initializer_list<int> tones, int from) {
            int best = -1;
            for (int m = 53; m <= 76; m++)
                for (int t : tones)
                    if (pitch_class(m) == pitch_class(c.root + t) &&
                        (best < 0 || std::abs(m - from) < std::abs(best - from)))
                        best = m;
            return best;
        };
        int a = nearest({0, 7}, pad_voice[0]);
        const int used[3] = {a, nearest({c.third}, pad_voice[1]), a};
        for (int v = 0; v < 3; v++) {
            int ch = C_PAD1 + v;
            bool moves = used[v] != pad_voice[v] || first;  // a pattern's first chord names every voice
            if (first && fresh)
                note(p, row, ch, S_PAD, used[v], 12, vol);
            else if (moves)
                legato(p, row, ch, S_PAD, used[v], 0x18);
            if (ch == C_PAD3 && (moves || (first && fresh)))
                pad_detune(p, row, used[v]);
            pad_voice[v] = used[v];
        }
        first = false;
        row += rows_per_chord;
    }
}

// Volume slide on the three pad channels over a run of rows.
void pad_slide(int p, int row0, int rows, int param)
{
    for (int r = row0; r < row0 + rows; r++)
        for (int ch = C_PAD1; ch <= C_PAD3; ch++)
            eff(p, r, ch, 10, param);
}

// Sets the pad's volume on a row, or on the next one where a channel's cell is taken.
void pad_volume(int p, int row, int vol)
{
    for (int ch = C_PAD1; ch <= C_PAD3; ch++) {
        int r = row;
        while (r < 63 && (at(p, r, ch).effect || at(p, r, ch).param))
            r++;
        eff(p, r, ch, 12, pan_scaled(ch, scaled(vol)));
    }
}

int bass_note(const chord& c) { return root_above(c, 38); }  // D2 .. C#3

// Reese bass: a long note on each chord, re-struck on the "and" of beat 3 (speed 6 bars).
void bass_dnb(int p, int row0, std::initializer_list<chord> chords, int vol)
{
    int row = row0;
    for (const chord& c : chords) {
        int b = bass_note(c);
        // struck with the kick (rows 0 and 10), which hides the cut of the note before; the
        // octave blip at the end of the bar glides up and back without a new strike
        note(p, row, C_BASS, S_BASS, b, 12, vol);
        note(p, row + 10, C_BASS, S_BASS, b, 12, vol - 8);
        legato(p, row + 14, C_BASS, S_BASS, b + 12, 0x60);
        legato(p, row + 15, C_BASS, S_BASS, b, 0x60);
        row += 16;
    }
}

// Long bass notes, one per chord.
void bass_long(int p, int row0, std::initializer_list<chord> chords, int rows_per_chord, int s, int vol)
{
    int row = row0;
    for (const chord& c : chords) {
        note(p, row, C_BASS, s, bass_note(c), 12, vol);
        row += rows_per_chord;
    }
}

// Acid line: sixteenths over each chord (speed 6 bars) with octave jumps, accents and slides.
void acid(int p, int row0, std::initializer_list<chord> chords, int vol)
{
    //                 0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15
    const int oct[16] = {0, 0, 12, 0, 0, 12, 0, 7, 0, 0, 12, 0, 15, 12, 0, 10};
    const int acc[16] = {1, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0};
    const int rest[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    int row = row0;
    for (const chord& c : chords) {
        int b = bass_note(c);
        for (int k = 0; k < 16; k++) {
            if (rest[k])
                continue;
            int o = oct[k];
            if (o == 15)
                o = c.third + 12;
            if (o == 10 && c.third == 4)
                o = 7;  // the minor seventh only over minor chords: it stays in the key
            int m = b + o;
            if (k == 7 || k == 13)  // slides into the next step
                legato(p, row + k, C_BASS, S_ACID, m, 0x30);
            else
                note(p, row + k, C_BASS, S_ACID, m, 12, acc[k] ? vol : vol - 14);
        }
        row += 16;
    }
}

// Plucked arpeggio, sixteenths (speed 6) over each chord, on the left, with a quieter echo three
// rows later on the hard right.
void arp(int p, int row0, std::initializer_list<chord> chords, int vol, bool echo, int rows = 16)
{
    const int shape[16] = {0, 1, 2, 3, 2, 1, 0, 2, 3, 4, 3, 2, 1, 2, 3, 2};
    int row = row0;
    for (const chord& c : chords) {
        int r = root_above(c, 62);
        const int tones[5] = {r, r + c.third, r + 7, r + 12, r + 12 + c.third};
        for (int k = 0; k < rows; k++) {
            int m = tones[shape[k]];
            // the chord's first note sets the volume; after each beat's first note the level
            // dips and comes back up, so the beat leans on its first sixteenth
            if (k == 0)
                note(p, row + k, C_ARP, S_PLUCK, m, 12, vol);
            else
                note_keep(p, row + k, C_ARP, S_PLUCK, m, k % 2 ? 10 : 0, k % 4 == 1 ? 0x01 : k % 4 == 3 ? 0x10 : 0);
            // the echo's first note sets its volume; the rest keep it (no sample number) and
            // carry the hard pan
            if (echo && row + k + 3 < 64) {
                if (k == 0)
                    note(p, row + k + 3, C_ECHO, S_PLUCK, m, 12, vol / 2);
                else
                    note_keep(p, row + k + 3, C_ECHO, S_PLUCK, m, 8, 0xFF);
            }
        }
        row += rows;
    }
}

// Chord stabs on the off-beat eighths (speed 6 bars).
void stabs(int p, int row0, std::initializer_list<chord> chords)
{
    int row = row0;
    for (const chord& c : chords) {
        int s = c.third == 3 ? S_MSTAB : S_JSTAB;
        int r = root_above(c, 55);
        for (int k : {2, 6, 10, 14})
            note(p, row + k, C_ARP, s, r, 8, k == 2 || k == 10 ? 0x00 : 0xFF);
        eff(p, row + 3, C_ARP, 14, 0xC4);
        row += 16;
    }
}

struct tone_ev {
    int row, midi, len;  // len in rows; the note is cut after it unless the next note follows
};

// How a held note is sung, chosen from its place and pitch so that neighbouring notes differ:
// 0 a vibrato that comes in late and deepens, 1 a swell from a softer strike into a light, quick
// vibrato, 2 a straight tone with a slow, shallow vibrato only on the longest notes.
int shape_of(int row, int midi, int len, bool struck)
{
    int shape = (row / 2 + midi) % 3;
    return shape == 1 && (!struck || len < 4) ? 0 : shape;
}

// Writes the expression of a held note of len rows struck (or glided into) at row; rows past
// the pattern's end are left out. Notes of six rows or more fade over their last two when fade.
// The late vibrato's rate follows the pitch a little, so repeated shapes do not sound alike.
void phrase(int p, int row, int ch, int len, int shape, bool fade, int midi)
{
    if (len < 3)
        return;
    int start = len >= 6 ? len / 3 + 1 : 2;
    int rate = 4 + midi % 3;
    bool vib = false;
    for (int k = 1; k < len && row + k < 64; k++) {
        int e = 0, prm = 0;
        if (shape == 0 && k >= start) {
            e = 4;
            prm = k == start ? rate << 4 | 1 : k == start + 1 ? rate << 4 | 3 : 0;
        } else if (shape == 1 && k == 1) {
            e = 10;
            prm = 0x10;
        } else if (shape == 1 && k >= 3) {
            e = 4;
            prm = k == 3 ? 0x72 : 0;
        } else if (shape == 2 && len >= 8 && k >= len / 2) {
            e = 4;
            prm = k == len / 2 ? 0x32 : 0;
        }
        vib = vib || e == 4;
        if (fade && len >= 6 && k >= len - 2) {
            e = vib ? 6 : 10;
            prm = shape == 2 ? 0x03 : 0x02;
        }
        if (e)
            eff(p, row + k, ch, e, prm);
    }
}

// A melody with expression: vibrato on held notes, a fading tail on the longest, cuts before
// rests. glide: rows whose note slides in by tone portamento instead of striking.
void melody(int p, int row0, int ch, int s, std::initializer_list<tone_ev> notes, int vol,
            std::initializer_list<int> glide = {})
{
    for (const tone_ev& n : notes) {
        int row = row0 + n.row;
        bool g = false;
        for (int gr : glide)
            g = g || gr == n.row;
        bool sings = s != S_BELL && s != S_GLASS;  // struck sounds take no vibrato
        int shape = shape_of(n.row, n.midi, n.len, !g);
        if (g)
            legato(p, row, ch, s, n.midi, 0x0C);
        else
            note(p, row, ch, s, n.midi, 12, sings && shape == 1 ? vol - 6 : vol);
        if (sings)
            phrase(p, row, ch, n.len, shape, n.len >= 8, n.midi);
    }
}

// Drums for a run of bars: each string gives one bar, a character per row ('x' full, 'o' medium,
// 'g' ghost, 'O' open hat, 's' shaker, '.' nothing), repeated for every bar.
void drum_line(int p, int row0, int bars, int ch, int s, const char* bar)
{
    int n = 0;
    while (bar[n])
        n++;
    for (int b = 0; b < bars; b++)
        for (int k = 0; k < n; k++) {
            int row = row0 + b * n + k;
            switch (bar[k]) {
            case 'x': hit(p, row, ch, s); break;
            case 'o': hit(p, row, ch, s, 34); break;
            case 'g': hit(p, row, ch, s, 18); break;
            case 'O': hit(p, row, ch, S_OHAT); break;
            case 's': hit(p, row, ch, S_SHAKER); break;
            default: break;
            }
        }
}

void groove(int p, int row0, int bars, const char* kick, const char* snare, const char* hats)
{
    if (kick)
        drum_line(p, row0, bars, C_KICK, S_KICK, kick);
    if (snare)
        drum_line(p, row0, bars, C_SNARE, S_SNARE, snare);
    if (hats)
        drum_line(p, row0, bars, C_HAT, S_HAT, hats);
}

// Noise riser from `row`, struck low and swept up by tone portamento to the song's top note
// (period 31) over `rows` rows of speed `spd`; the sweep speeds up as the period falls.
void riser(int p, int row, int rows, int spd)
{
    put_note(p, row, C_FX, S_RISER, 36, 12, 30);
    int ticks = (rows - 1) * (spd - 1);
    int step = (428 - 31 + ticks - 1) / ticks;
    put_note(p, row + 1, C_FX, 0, 81, 3, step);
    for (int r = row + 2; r < row + rows; r++)
        eff(p, r, C_FX, 3, 0);
}

// Snare roll on every row, growing louder.
void roll(int p, int row0, int rows, int from, int to)
{
    for (int k = 0; k < rows; k++)
        hit(p, row0 + k, C_SNARE, S_SNARE, from + (to - from) * k / (rows > 1 ? rows - 1 : 1));
}

// Congas around the back-beat, a bar of sixteen rows: high and low skins.
void congas(int p, int row0, int bars, int vol)
{
    for (int b = 0; b < bars; b++)
        for (int k : {2, 7, 10, 14, 15}) {
            int row = row0 + 16 * b + k;
            if (!at(p, row, C_PERC).sample)
                strike(p, row, C_PERC, S_CONGA, k == 7 || k == 15 ? 49 : 52,
                       pan_scaled(C_PERC, scaled(k == 15 ? vol - 10 : vol)));
        }
}

void tom_fill(int p, int row0)
{
    const int n[8] = {52, 52, 49, 49, 46, 46, 43, 43};
    for (int k = 0; k < 8; k++)
        strike(p, row0 + k, C_PERC, S_TOM, n[k], pan_scaled(C_PERC, k % 2 ? 40 : 56));
}

// ---- Themes (rows relative to a 64-row, four-bar phrase at speed 6) ---------------------------

// Theme A over Dm | Bb | F | C
const std::initializer_list<tone_ev> theme_a = {
    {0, 69, 6}, {6, 74, 2}, {8, 77, 4}, {12, 76, 2}, {14, 74, 2},
    {16, 74, 6}, {22, 72, 2}, {24, 70, 4}, {28, 72, 2}, {30, 74, 2},
    {32, 72, 6}, {38, 69, 2}, {40, 72, 4}, {44, 77, 4},
    {48, 76, 8}, {56, 74, 4}, {60, 72, 4}};
// Its answer, ending home
const std::initializer_list<tone_ev> theme_a2 = {
    {0, 69, 6}, {6, 74, 2}, {8, 77, 4}, {12, 79, 2}, {14, 77, 2},
    {16, 77, 6}, {22, 74, 2}, {24, 70, 4}, {28, 74, 4},
    {32, 72, 6}, {38, 77, 2}, {40, 81, 4}, {44, 79, 2}, {46, 77, 2},
    {48, 76, 6}, {54, 72, 2}, {56, 74, 8}};
// Theme B over Gm | Dm | Bb | A
const std::initializer_list<tone_ev> theme_b = {
    {0, 70, 3}, {3, 74, 3}, {6, 79, 4}, {10, 77, 2}, {12, 74, 4},
    {16, 77, 3}, {19, 76, 3}, {22, 74, 4}, {26, 69, 2}, {28, 74, 4},
    {32, 74, 3}, {35, 77, 3}, {38, 82, 4}, {42, 81, 2}, {44, 77, 4},
    {48, 76, 6}, {54, 73, 2}, {56, 76, 4}, {60, 81, 4}};
// Theme C, the climax, over Dm | Bb | Gm | A
const std::initializer_list<tone_ev> theme_c = {
    {0, 86, 8}, {8, 84, 4}, {12, 81, 4},
    {16, 82, 6}, {22, 81, 2}, {24, 77, 4}, {28, 74, 4},
    {32, 79, 6}, {38, 81, 2}, {40, 82, 4}, {44, 86, 4},
    {48, 85, 8}, {56, 88, 4}, {60, 81, 4}};

template <typename F> void shifted(std::initializer_list<tone_ev> t, int from, int to, int shift, F out)
{
    for (const tone_ev& n : t)
        if (n.row >= from && n.row < to)
            out(tone_ev{n.row - from, n.midi + shift, n.len});
}

// Writes rows [from, to) of a theme at row0 of pattern p.
void theme(int p, int row0, int ch, int s, std::initializer_list<tone_ev> t, int from, int to, int shift,
           int vol)
{
    int prev_end = -1;  // theme row where the previous note ends, when it was not faded
    shifted(t, from, to, shift, [&](const tone_ev& n) {
        int row = row0 + n.row;
        // within a beat-pair, a note that follows straight on glides from the one before instead
        // of striking it off (fewer hard cuts, a singing line); the phrase strikes again on
        // every eighth row
        bool glide = s == S_LEAD && n.row == prev_end && n.row % 8 != 0;
        int shape = shape_of(n.row, n.midi, n.len, !glide);
        if (glide)
            legato(p, row, ch, s, n.midi, 0x28);
        else
            note(p, row, ch, s, n.midi, 12, s != S_BELL && shape == 1 ? vol - 6 : vol);
        prev_end = n.len < 6 ? n.row + n.len : -1;
        int len = n.len;
        if (n.row + len > to - from)
            len = to - from - n.row;
        if (s != S_BELL)
            phrase(p, row, ch, len, shape, true, n.midi);
    });
}

// ---- The patterns ----------------------------------------------------------------------------

const char* K_DNB = "x.........x.....";
const char* K_DNB2 = "x.........x..x..";
const char* S_BACK = "....x.......x...";
const char* S_BACKG = "....x..g....x..g";
const char* H_8 = "o.x.o.x.o.x.o.Ox";
const char* H_16 = "xgogxgogxgogxgOg";

// Order 0, the title: the pad breathes in over wind, a bell motif, glass at the very top.
void p0()
{
    eff(0, 0, C_KICK, 15, 175);  // tempo: a tick is 1/70 s
    eff(0, 0, C_SNARE, 15, 6);
    for (int ch = C_HAT; ch < mus_channels; ch++)
        if (ch != C_PAD1 && ch != C_PAD2 && ch != C_PAD3 && ch != C_FX)
            eff(0, 0, ch, 14, 0x80 | pans[ch]);
    eff(0, 1, C_KICK, 14, 0x80 | pans[0]);
    eff(0, 1, C_SNARE, 14, 0x80 | pans[1]);
    hit(0, 0, C_FX, S_WIND, 30);
    for (int ch = C_PAD1; ch <= C_PAD3; ch++)
        eff(0, 2, ch, 14, 0x80 | pans[ch]);
    eff(0, 1, C_FX, 14, 0x80 | pans[C_FX]);
    pads(0, 0, {Dm}, 32, true, 6);
    for (int r = 4; r <= 20; r += 4)
        pad_slide(0, r, 1, 0x10);
    pads(0, 32, {Bb, C}, 16, false, 0);
    hit(0, 32, C_FX, S_WIND, 22);
    melody(0, 16, C_ECHO, S_BELL, {{0, 81, 4}, {4, 86, 4}, {8, 89, 4}, {12, 88, 2}, {14, 86, 2},
                                   {16, 86, 8}, {24, 84, 4}, {28, 82, 4},
                                   {32, 84, 8}, {40, 88, 8}}, 36);
    // glass at the top of the range: D7 F7 A7, the last the song's highest note
    note(0, 56, C_LEAD, S_GLASS, 98, 12, 20);
    note(0, 58, C_LEAD, S_GLASS, 101, 12, 24);
    note(0, 60, C_LEAD, S_GLASS, 105, 12, 28);
    note(0, 62, C_LEAD, S_GLASS, 101, 12, 20);
}

// Order 1: the title gives way to the first picture. The arpeggio fades in, the bass enters.
void p1()
{
    pads(1, 0, {Dm, Bb, F, C}, 16, false, 0);
    arp(1, 0, {Dm}, 14, true);
    arp(1, 16, {Bb}, 20, true);
    arp(1, 32, {F}, 26, true);
    arp(1, 48, {C}, 32, true);
    bass_long(1, 0, {Dm, Bb, F, C}, 16, S_SUB, 40);
    hit(1, 45, C_FX, S_REVCYM, 40);
    note(1, 56, C_LEAD, S_GLASS, 98, 12, 18);
    note(1, 60, C_LEAD, S_GLASS, 105, 12, 22);
}

// A four-bar groove at speed 6: crash, pads, reese bass, drums, arpeggio and, by part, theme A
// (1) or its answer (2) on the lead, transposed by `shift` with the chords.
void groove_a(int p, int part, std::initializer_list<chord> chords, int shift, bool fresh_pads)
{
    if (p == 2 || p == 20 || p == 23)  // where the beat comes in, the band returns, the key changes
        hit(p, 0, C_FX, S_CRASH);
    pads(p, 0, chords, 16, fresh_pads, 24);
    bass_dnb(p, 0, chords, 52);
    groove(p, 0, 4, K_DNB, S_BACKG, H_8);
    arp(p, 0, chords, part == 0 ? 38 : 30, part == 0);
    if (part == 1)
        theme(p, 0, C_LEAD, S_LEAD, theme_a, 0, 64, shift, 44);
    if (part == 2)
        theme(p, 0, C_LEAD, S_LEAD, theme_a2, 0, 64, shift, 44);
    if (part != 0)
        for (int r = 4; r < 64; r += 16)
            hit(p, r, C_PERC, S_CLAP, 30);
}

// Orders 2-4: the shadow scene. The beat comes in; theme A and its answer on the lead.
void p2() { groove_a(2, 0, {Dm, Bb, F, C}, 0, true); }
void p3() { groove_a(3, 1, {Dm, Bb, F, C}, 0, false); }
void p4()
{
    groove_a(4, 2, {Dm, Bb, F, C}, 0, false);
}

// The first half of a build-up pattern: speed 12, four half-time bars of eight rows (eighth
// notes), the snare kept out of the last bar for a roll. The second half returns to speed 6.
void half_time(int p, std::initializer_list<chord> chords, bool kick_quarters, bool hats, int bass)
{
    speed(p, 0, 12);
    speed(p, 32, 6);
    pads(p, 0, chords, 8, false, 0);
    int row = 0;
    for (const chord& c : chords) {
        note(p, row, C_BASS, bass, bass_note(c), 12, 46);
        row += 8;
    }
    if (kick_quarters)
        drum_line(p, 0, 4, C_KICK, S_KICK, "x.o.x.o.");
    else
        drum_line(p, 0, 3, C_KICK, S_KICK, "x.....x.");
    drum_line(p, 0, 3, C_SNARE, S_SNARE, "....x...");
    if (hats)
        drum_line(p, 0, 4, C_HAT, S_HAT, "gogogogx");
}

// A string line, one note a bar of eight rows (speed 12).
void string_line(int p, int row0, int ch, std::initializer_list<int> notes, int vol)
{
    int row = row0;
    for (int m : notes) {
        note(p, row, ch, S_STRINGS, m, 12, vol);
        row += 8;
    }
}

// Order 5: shadow scene to curtain: a half-time build with a riser, then the curtain's light
// groove with a bell tune.
void p5()
{
    half_time(5, {Gm, Dm, Bb, A}, false, true, S_BASS);
    string_line(5, 0, C_ECHO, {67, 65, 65, 64}, 30);
    pads(5, 32, {Dm, C}, 16, false, 0);
    bass_dnb(5, 32, {Dm, C}, 50);
    groove(5, 32, 2, K_DNB, S_BACK, H_8);
    arp(5, 32, {Dm, C}, 34, true);
    melody(5, 32, C_LEAD, S_BELL, {{0, 81, 4}, {4, 77, 4}, {8, 74, 4}, {12, 76, 4},
                                   {16, 79, 4}, {20, 76, 4}, {24, 72, 8}}, 34);
}

// Order 6: curtain to the lattice flight: a four-to-the-floor half-time build, then the drop:
// impact, acid bass, stabs and a sung line.
void drop_kit(int p, int row0, int bars)
{
    groove(p, row0, bars, K_DNB2, S_BACKG, H_16);
    for (int b = 0; b < bars; b++)
        for (int r : {4, 12})
            if (!at(p, row0 + b * 16 + r, C_PERC).sample)
                hit(p, row0 + b * 16 + r, C_PERC, S_CLAP, 34);
}

void p6()
{
    half_time(6, {Bb, C, Gm, A}, true, true, S_BASS);
    string_line(6, 0, C_ECHO, {65, 64, 62, 61}, 32);
    hit(6, 32, C_FX, S_CRASH);
    pads(6, 32, {Dm, Bb}, 16, false, 0);
    pad_volume(6, 33, 18);  // the stabs take the middle
    acid(6, 32, {Dm, Bb}, 50);
    stabs(6, 32, {Dm, Bb});
    groove(6, 32, 2, K_DNB2, S_BACKG, H_16);
    for (int r : {36, 44, 52, 60})
        hit(6, r, C_PERC, S_CLAP, 34);
    melody(6, 32, C_LEAD, S_VOX, {{0, 74, 16}, {16, 77, 16}}, 40);
}

// Orders 7 and 8: the lattice flight at full pace, theme B; order 8 stops dead for the shatter.
void lattice(int p, bool last)
{
    pads(p, 0, {Gm, Dm, Bb, A}, 16, false, 0);
    acid(p, 0, {Gm, Dm, Bb, A}, 50);
    stabs(p, 0, {Gm, Dm, Bb, A});
    int bars = last ? 3 : 4;
    groove(p, 0, bars, K_DNB2, S_BACKG, H_16);
    for (int b = 0; b < bars; b++)
        for (int r : {4, 12})
            hit(p, b * 16 + r, C_PERC, S_CLAP, 34);
    theme(p, 0, C_LEAD, S_LEAD, theme_b, 0, 64, 0, 44);
    if (last) {
        theme(p, 0, C_ECHO, S_BELL, theme_b, 0, 48, 12, 22);
        groove(p, 48, 1, "x.........x.....", "....x.......x...", "xgogxgog........");
        hit(p, 56, C_FX, S_ZAP, 44);
        hit(p, 60, C_FX, S_ZAP, 30);
    }
}

void p7() { lattice(7, false); }
void p8() { lattice(8, true); }

// Order 9: the picture stands still; a breakdown that winds up with an accelerating snare roll
// into the shatter at row 32.
void p9()
{
    pads(9, 0, {Gm, Bb, A}, 8, false, 0);
    pad_volume(9, 1, 30);
    bass_long(9, 0, {Gm, Bb, A}, 8, S_SUB, 44);
    melody(9, 0, C_LEAD, S_VOX, {{0, 79, 8}, {8, 77, 8}, {16, 76, 4}}, 38);
    // the voice stutters into the roll: struck again and again from inside its sustain
    for (int r = 20; r < 24; r++)
        note(9, r, C_LEAD, S_VOX, 76, 9, 0x10);
    for (int r = 0; r < 24; r += 4)
        hit(9, r, C_PERC, S_RIM, 26);
    riser(9, 8, 24, 11);
    roll(9, 24, 8, 20, 52);
    tom_fill(9, 24);
    // the shatter
    hit(9, 32, C_FX, S_CRASH);
    hit(9, 32, C_PERC, S_BOOM, 60);
    pads(9, 32, {Dm, Bb}, 16, false, 0);
    pad_volume(9, 33, 20);
    bass_dnb(9, 32, {Dm, Bb}, 56);
    stabs(9, 32, {Dm, Bb});
    groove(9, 32, 2, K_DNB2, S_BACKG, H_16);
    for (int r : {36, 44, 52, 60})
        hit(9, r, C_PERC, S_CLAP, 36);
    theme(9, 32, C_LEAD, S_LEAD, theme_a, 0, 32, 12, 36);
    speed(9, 0, 12);
    const int acc[8] = {11, 10, 9, 8, 7, 6, 5, 4};  // the roll speeds up
    for (int k = 0; k < 8; k++)
        speed(9, 24 + k, acc[k]);
    speed(9, 32, 6);
}

// Order 10: the picture breaks up in heavy half time; at row 32 the light beams alone.
void p10()
{
    half_time(10, {Gm, A, Dm, Dm}, false, true, S_BASS);
    pad_volume(10, 1, 28);
    string_line(10, 0, C_ECHO, {70, 69, 69, 69}, 34);
    hit(10, 32, C_PERC, S_RIDE);
    pads(10, 32, {Dm, C}, 16, false, 0);
    bass_dnb(10, 32, {Dm, C}, 50);
    groove(10, 32, 2, K_DNB, S_BACK, H_8);
    arp(10, 32, {Dm, C}, 34, true);
    melody(10, 32, C_LEAD, S_BELL, {{0, 86, 4}, {4, 81, 4}, {8, 77, 4}, {12, 81, 4},
                                    {16, 84, 4}, {20, 79, 4}, {24, 76, 8}}, 34);
}

// Order 11: the beams, theme A in full.
void p11() { groove_a(11, 1, {Dm, Bb, F, C}, 0, false); }

// Order 12: beams to the bouncing object: build, then the bounce groove with theme A's answer.
void p12()
{
    half_time(12, {Gm, Bb, C, A}, true, true, S_BASS);
    string_line(12, 0, C_ECHO, {62, 65, 67, 64}, 32);
    pads(12, 32, {Dm, Bb}, 16, false, 0);
    pad_volume(12, 33, 20);
    bass_dnb(12, 32, {Dm, Bb}, 54);
    stabs(12, 32, {Dm, Bb});
    drop_kit(12, 32, 2);
    theme(12, 32, C_LEAD, S_LEAD, theme_a2, 0, 32, 0, 40);
}

// Order 13: the bouncing object: acid and stabs under theme A's answer, a bell an octave up.
void p13()
{
    pads(13, 0, {F, C, Dm, Bb}, 16, false, 0);
    acid(13, 0, {F, C, Dm, Bb}, 50);
    stabs(13, 0, {F, C, Dm, Bb});
    drop_kit(13, 0, 4);
    theme(13, 0, C_LEAD, S_LEAD, theme_a2, 32, 64, 0, 40);
    theme(13, 32, C_LEAD, S_LEAD, theme_a, 0, 32, 0, 40);
    theme(13, 0, C_ECHO, S_BELL, theme_a2, 32, 64, 12, 20);
}

// Orders 14 and 16: a breakdown without kick and hats (the snare alone marks the bar, the
// blob trails stop growing), then the beat returns with the closed hats on every eighth.
void p14()
{
    speed(14, 0, 12);
    speed(14, 32, 6);
    hit(14, 0, C_KICK, S_BOOM, 56);
    drum_line(14, 0, 4, C_HAT, S_SHAKER, "s.s.s.ss");
    drum_line(14, 0, 3, C_SNARE, S_SNARE, "....x...");
    pads(14, 0, {Bb, C, Dm, Dm}, 8, false, 0);
    pad_volume(14, 1, 34);
    bass_long(14, 0, {Bb, C, Dm, Dm}, 8, S_SUB, 40);
    melody(14, 0, C_LEAD, S_VOX, {{0, 74, 8}, {8, 76, 8}, {16, 77, 16}}, 40);
    melody(14, 0, C_ARP, S_BELL, {{0, 82, 4}, {4, 77, 4}, {8, 84, 4}, {12, 79, 4},
                                   {16, 81, 8}, {24, 86, 8}}, 30);
    string_line(14, 16, C_ECHO, {69, 72}, 30);
    // the beat returns
    pad_volume(14, 33, 22);
    pads(14, 32, {Gm, A}, 16, false, 0);
    bass_dnb(14, 32, {Gm, A}, 52);
    groove(14, 32, 2, K_DNB, S_BACKG, H_8);
    arp(14, 32, {Gm, A}, 32, true);
    theme(14, 32, C_LEAD, S_LEAD, theme_b, 0, 16, 0, 38);
    theme(14, 48, C_LEAD, S_LEAD, theme_b, 48, 64, 0, 38);
}

// Orders 15 and 17: the build with the kick on every beat and hats on every eighth (the trails
// grow, the mirror pulses), then the loudest part: theme C.
void climax(int p, int row0, int from)
{
    if (p == 16)  // the drop; its second half goes on without a crash
        hit(p, row0, C_FX, S_CRASH);
    bass_dnb(p, row0, from == 0 ? std::initializer_list<chord>{Dm, Bb} : std::initializer_list<chord>{Gm, A}, 58);
    stabs(p, row0, from == 0 ? std::initializer_list<chord>{Dm, Bb} : std::initializer_list<chord>{Gm, A});
    drop_kit(p, row0, 2);
    theme(p, row0, C_LEAD, S_LEAD, theme_c, from, from + 32, 0, 48);
    theme(p, row0, C_ECHO, S_BELL, theme_c, from, from + 32, -12, 24);
}

void p16()
{
    half_time(16, {Gm, Bb, C, A}, true, true, S_BASS);
    string_line(16, 0, C_ECHO, {67, 70, 72, 73}, 34);
    riser(16, 8, 24, 12);
    roll(16, 24, 8, 20, 60);
    hit(16, 32, C_PERC, S_BOOM, 50);
    pads(16, 32, {Dm, Bb}, 16, false, 0);
    pad_volume(16, 33, 20);
    climax(16, 32, 0);
}

// Order 18: the orbiting objects: theme C's second half and its first half again, the last
// note falling away as the song calms down.
void p15()
{
    pads(15, 0, {Gm, A, Dm, Bb}, 16, false, 0);
    climax(15, 0, 32);
    climax(15, 32, 0);
    mus_cell& last = at(15, 62, C_LEAD);
    last.effect = 14;  // instead of its fade: a fall, one period unit a row
    last.param = 0x21;
    at(15, 63, C_LEAD).param = 0x21;
    at(15, 63, C_LEAD).effect = 14;
}

// Order 19: orbit to the balls, calming down; then the balls' light groove.
void p17()
{
    speed(17, 0, 12);
    speed(17, 32, 6);
    pads(17, 0, {C, A, Dm, Dm}, 8, false, 0);
    pad_volume(17, 1, 30);
    bass_long(17, 0, {C, A, Dm, Dm}, 8, S_SUB, 40);
    string_line(17, 0, C_ECHO, {64, 64, 65, 62}, 32);
    melody(17, 0, C_LEAD, S_VOX, {{0, 76, 8}, {8, 73, 8}, {16, 74, 16}}, 36);
    drum_line(17, 0, 4, C_HAT, S_HAT, "g.g.g.gg");
    for (int r = 4; r < 32; r += 8)
        hit(17, r, C_PERC, S_RIM, 30);
    hit(17, 23, C_FX, S_REVCYM, 36);
    pad_volume(17, 33, 22);
    pads(17, 32, {Dm, C}, 16, false, 0);
    bass_long(17, 32, {Dm, C}, 16, S_SUB, 44);
    arp(17, 32, {Dm, C}, 34, true);
    drum_line(17, 32, 2, C_KICK, S_KICK, "x.........x.....");
    drum_line(17, 32, 2, C_HAT, S_HAT, "s.g.s.g.s.g.s.gg");
    drum_line(17, 32, 2, C_PERC, S_RIM, "....x.......x...");
    congas(17, 32, 2, 30);
    melody(17, 32, C_LEAD, S_BELL, {{0, 81, 4}, {4, 77, 4}, {8, 74, 4}, {12, 76, 4},
                                    {16, 79, 4}, {20, 76, 4}, {24, 72, 8}}, 32);
}

// Orders 20-23: the balls. Theme A on the bell over a light kit, then the full band, theme B,
// and a rising line over a bar of sixteenths into the key change.
void p18()
{
    pads(18, 0, {Dm, Bb, F, C}, 16, false, 0);
    pad_volume(18, 1, 26);
    bass_long(18, 0, {Dm, Bb, F, C}, 16, S_SUB, 44);
    arp(18, 0, {Dm, Bb, F, C}, 32, true);
    drum_line(18, 0, 4, C_KICK, S_KICK, "x.........x.....");
    drum_line(18, 0, 4, C_HAT, S_HAT, "s.g.s.g.s.g.s.gg");
    drum_line(18, 0, 4, C_PERC, S_RIM, "....x.......x...");
    congas(18, 0, 4, 34);
    melody(18, 0, C_LEAD, S_BELL, {{0, 81, 6}, {6, 86, 2}, {8, 89, 4}, {12, 88, 2}, {14, 86, 2},
                                   {16, 86, 6}, {22, 84, 2}, {24, 82, 4}, {28, 84, 2}, {30, 86, 2},
                                   {32, 84, 6}, {38, 81, 2}, {40, 84, 4}, {44, 89, 4},
                                   {48, 88, 8}, {56, 86, 4}, {60, 84, 4}}, 34);
}

void p20() { groove_a(20, 1, {Dm, Bb, F, C}, 0, false); }

void p21()
{
    pads(21, 0, {Gm, Dm, Bb, A}, 16, false, 0);
    pad_volume(21, 1, 20);
    acid(21, 0, {Gm, Dm, Bb, A}, 48);
    stabs(21, 0, {Gm, Dm, Bb, A});
    drop_kit(21, 0, 4);
    theme(21, 0, C_LEAD, S_LEAD, theme_b, 0, 64, 0, 44);
}

void p22()
{
    pads(22, 0, {Gm, Bb, C, A}, 16, false, 0);
    pad_volume(22, 1, 22);
    bass_dnb(22, 0, {Gm, Bb, C, A}, 52);
    stabs(22, 0, {Gm, Bb, C, A});
    groove(22, 0, 3, K_DNB2, S_BACKG, H_16);
    drum_line(22, 48, 1, C_KICK, S_KICK, "x...x...x...x.x.");
    drum_line(22, 48, 1, C_HAT, S_HAT, "xgogxgogxgogxgog");
    drum_line(22, 48, 1, C_SNARE, S_SNARE, "....x..g....x.gg");
    melody(22, 0, C_LEAD, S_LEAD, {{0, 74, 4}, {4, 77, 4}, {8, 79, 8}, {16, 77, 4}, {20, 79, 4},
                                   {24, 82, 8}, {32, 81, 4}, {36, 82, 4}, {40, 84, 8},
                                   {48, 85, 8}, {56, 88, 8}}, 40);
}

// Order 24: the balls change: the song lifts a tone to E minor for theme A's answer. The show's
// last timed stage ends at row 60; a break at row 63 leads into the ending.
void p23()
{
    groove_a(23, 2, {Em, C, G, D}, 2, false);
    pad_volume(23, 1, 24);
    song_effect_at(23, 63, 13, 0);
}

// Order 25: the ending, C and D slowing down into a held E major chord (a fermata at speed 31),
// the pad ringing on; the last row stops the song.
void p19()
{
    pads(19, 0, {C, D}, 16, false, 0);
    bass_long(19, 0, {C, D}, 16, S_BASS, 50);
    drum_line(19, 0, 1, C_KICK, S_KICK, "x.........x.....");
    drum_line(19, 0, 1, C_SNARE, S_SNARE, "....x.......x...");
    drum_line(19, 0, 1, C_HAT, S_HAT, "o.x.o.x.o.x.o.x.");
    arp(19, 0, {C, D}, 30, false);
    melody(19, 0, C_LEAD, S_LEAD, {{0, 76, 8}, {8, 79, 4}, {12, 76, 4}, {16, 78, 8}, {24, 81, 8}}, 40);
    tom_fill(19, 24);
    // ritardando over the last bar and a half: the final chord lands about when the closing
    // wipe begins (280 ticks after the show's last timed stage)
    const int rit[17] = {7, 7, 7, 7, 8, 8, 8, 9, 9, 10, 10, 11, 12, 13, 13, 14, 15};
    for (int k = 0; k < 17; k++)
        speed(19, 15 + k, rit[k]);
    // the final chord
    speed(19, 32, 31);
    speed(19, 33, 4);
    hit(19, 32, C_FX, S_CRASH);
    hit(19, 32, C_KICK, S_BOOM);
    pads(19, 32, {E}, 16, false, 0);
    pad_volume(19, 33, 40);
    note(19, 32, C_BASS, S_BASS, 40, 12, 54);
    note(19, 32, C_ECHO, S_STRINGS, 68, 12, 36);
    note(19, 32, C_ARP, S_BELL, 88, 12, 30);
    note(19, 32, C_LEAD, S_LEAD, 80, 12, 40);
    for (int r = 34; r < 60; r++)
        eff(19, r, C_LEAD, r < 38 ? 4 : 6, r < 38 ? (r == 34 ? 0x42 : 0) : 0x01);
    for (int r = 40; r < 46; r++)
        pad_slide(19, r, 1, 0x01);
    eff(19, 63, C_KICK, 15, 0);  // the song stops here, alone in its row
}

// Ends every note of a sustained one-shot that the song holds longer than the sample lasts at its
// pitch: a fast volume slide in the last row that begins before the sample's end, so the sound
// is released where the score lets go of it, not cut by the sample running out. Walks the song
// in playing order; a pattern played twice keeps the release its first playing needed.
void fit_notes(const std::vector<uint8_t>& orders)
{
    auto sustained = [](int s) {
        return s == S_BASS || s == S_SUB || s == S_LEAD || s == S_STRINGS || s == S_VOX || s == S_WIND;
    };
    double ends[mus_channels] = {};  // when the held sample runs out; 0: nothing held
    int cur[mus_channels] = {};
    int spd = 6;
    double t = 0;
    for (uint8_t p : orders) {
        for (int r = 0; r < 64; r++) {
            bool stop = false, brk = false;
            for (int c = 0; c < mus_channels; c++) {
                const mus_cell& k = at(p, r, c);
                if (k.effect == 15 && k.param == 0)
                    stop = true;
                else if (k.effect == 15 && k.param < 32)
                    spd = k.param;
                brk = brk || k.effect == 13;
            }
            double row_end = t + spd / 70.0;
            for (int c = 0; c < mus_channels; c++) {
                mus_cell& k = at(p, r, c);
                if (k.sample)
                    cur[c] = k.sample;
                if (k.note != mus_no_note && k.effect != 3) {
                    const mus_sample& smp = (*instruments)[size_t(cur[c])];
                    double rate = mus_clock / mus_period(smp.finetune, k.note);
                    ends[c] = sustained(cur[c]) ? t + double(smp.data.size()) / rate : 0;
                } else if ((k.effect == 14 && k.param >> 4 == 12) || (k.effect == 10 && k.param == 0x0F)) {
                    ends[c] = 0;  // cut, or released already
                } else if (ends[c] > 0 && row_end > ends[c] - 0.15 && (k.effect == 0 || k.effect == 4) &&
                           (k.effect || !k.param)) {
                    k.effect = k.effect == 4 ? 6 : 10;  // a vibrato goes on while it fades
                    k.param = 0x0F;
                    ends[c] = 0;
                }
            }
            t = row_end;
            if (stop)
                return;
            if (brk)
                break;
        }
    }
}

// Every cell must use only what the show's module is known to use.
void check(const std::vector<mus_pattern>& pats)
{
    int f00 = 0;
    for (int p = 0; p < mus_patterns; p++)
        for (int r = 0; r < 64; r++)
            for (int c = 0; c < mus_channels; c++) {
                const mus_cell& k = pats[size_t(p)].cell[r][c];
                int e = k.effect, x = k.param >> 4;
                bool ok = (e == 0 && k.param == 0) || e == 3 || e == 4 || e == 6 || e == 9 || e == 10 ||
                          e == 12 || e == 13 || (e == 8 && (k.param == 0 || k.param == 0xFF)) ||
                          (e == 14 && (x == 1 || x == 2 || x == 8 || x == 12)) ||
                          (e == 15 && ((k.param >= 4 && k.param <= 15) || k.param == 31 || k.param == 175 ||
                                       k.param == 0));
                if (!ok)
                    fail("effect outside the song's set", p, r, c);
                if (e == 15 && k.param == 0)
                    f00++;
            }
    if (f00 != 1)
        fail("the song must stop exactly once", 19, 63, 0);
}

}  // namespace

void mus_compose(std::vector<mus_pattern>& patterns, std::vector<uint8_t>& orders,
                 const std::vector<mus_sample>& samples)
{
    patterns.assign(mus_patterns, mus_pattern{});
    song = &patterns;
    // written in playing order, so the pads glide from each chord to the next
    instruments = &samples;
    // the loudness of each part: light verses, the loudest part in the middle of the show
    struct part {
        void (*write)();
        int gain;
    };
    const part parts[] = {{p0, 84}, {p1, 90}, {p2, 70}, {p3, 72}, {p4, 74}, {p5, 84}, {p6, 88},
                          {p7, 84}, {p8, 84}, {p9, 94}, {p10, 92}, {p11, 86}, {p12, 92}, {p13, 92},
                          {p14, 94}, {p16, 100}, {p15, 100}, {p17, 78}, {p18, 78}, {p20, 82},
                          {p21, 84}, {p22, 76}, {p23, 84}, {p19, 80}};
    for (const part& w : parts) {
        gain = w.gain;
        w.write();
    }
    gain = 100;
    for (const song_effect& c : song_effects)
        place_effect(c.p, c.row, c.e, c.param);
    song_effects.clear();
    orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 14, 16, 15, 17, 18, 20, 21, 22, 23, 19};
    fit_notes(orders);
    check(patterns);
    song = nullptr;
    instruments = nullptr;
}
