// The demo clock and frame pacing. Main flow only (never from a signal handler).
#pragma once

#include <cstdint>

int32_t clk_gettick();
// Demo clock: seventieths of a second since the start of the wall-clock second of the first
// call, which itself returns 0 (so the next call may already return up to 70).

int32_t frame_wait();
// Spins until the clock's tick differs from the last frame's, stores the new tick and returns
// it: at most one frame per tick (70 per second).
