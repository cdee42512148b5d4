// The demo clock and frame pacing. Main flow only (never from a signal handler).
#pragma once

#include <cstdint>

extern int32_t clk_base;     // seconds of the first reading; -1 until the clock is first read
extern int32_t frame_last;   // the tick of the last frame frame_wait let through

int32_t clk_gettick();
// Demo clock: seventieths of a second since the start of the wall-clock second of the first
// call, which itself returns 0 (so the next call may already return up to 70).

int32_t clk_ticks(int32_t seconds, int32_t micros);
// Ticks for `seconds` whole seconds after the base second plus `micros` microseconds, to the
// nearest tick with halves going up: (7 * x + 50000) div 100000 for x = 1000000 * s + u >= 0.

int32_t frame_wait();
// Spins until the clock's tick differs from frame_last, stores the new tick there and returns
// it: at most one frame per tick (70 per second).
