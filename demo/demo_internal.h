// The timeline's inside, for its tests and the benchmark: clock state, the stage table, the times
// handed to the effects, and the seam through which a test drives the show's time. Callers use
// demo/demo.h, demo/demo_stages.h, demo/clk.h and demo/demo_sync.h.
#pragma once

#include <cstdint>

extern int32_t clk_base;     // seconds of the first reading; -1 until the clock is first read
extern int32_t frame_last;   // the tick of the last frame frame_wait let through

int32_t clk_ticks(int32_t seconds, int32_t micros);
// Ticks for `seconds` whole seconds after the base second plus `micros` microseconds, to the
// nearest tick with halves going up: (7 * x + 50000) div 100000 for x = 1000000 * s + u >= 0.

// The stages' sense of time: every clock reading and every wait for the next tick goes through
// these (clk_gettick and frame_wait in the show). A test puts in a clock of its own and plays
// the replay ticks itself, so that a whole show runs without real time passing.
extern int32_t (*demo_clock)();
extern int32_t (*demo_wait)();

constexpr int demo_stage_count = 23;

void demo_run_stage(int k);
// Runs stage k (0..22) alone: its start work, then its loop until the song position passes its
// threshold. Stage 22 ends the show and does not return. Needs a finished video set-up.

extern const uint32_t demo_stage_until[demo_stage_count];
// Stage k (1..21) goes on while the song position, read unsigned, is at most this: order x 100
// + row of the last row that belongs to it. Stage 0 waits while the position exceeds its entry
// (500); stage 22 runs on the clock and has none (0).

extern const char* const demo_stage_message[demo_stage_count];
// The line printed when Escape ends the show in stage k (Latin-1).

bool demo_song_before(unsigned limit);
// Stage 0's test: true while the song position, read unsigned, is greater than `limit`
// (-37 before the first row counts as greater than any limit).

bool demo_stage_goes_on(int32_t pos, uint32_t until);
// The loop test of stages 1 to 21: pos read unsigned is at most `until`, so -37 (no row played
// yet) ends any of them.

// Times handed to the effects, from the clock c or a stage's elapsed ticks t (all in ticks).
int32_t demo_curtain_time(int32_t c);
// c / 3 as the wave curtain wants it: c x 0.3333333333333333 formed in 64-bit-mantissa extended
// precision and cut toward zero, so 0 for c = 0 and (c - 1) div 3 from c = 1 on (c = 3 gives 0).
double demo_beams_time(int32_t c);
// 0.25 x c (exact).
double demo_shadow_time(int32_t t3);
// t3 + 1 as a double: the shadow scene's time in the passes after its first render.
int32_t demo_balls_time(int32_t t20);
// t20 / 4, cut toward zero.
int32_t demo_shatter_time(int32_t t10);
// 10 x t10.

void demo_beat_settle();
// Stages 14 and 15: resets the beat counter once it has reached 2 (a count of 1 survives to the
// next pass). Reads the counter from memory; a beat landing between the read and the reset is
// lost.
