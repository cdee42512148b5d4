// The stage timeline: the fixed sequence of stages keyed to the song position.
#pragma once

void demo_run_stages();
// Runs the stages in order from stage 0. Each ends when the song position (compared unsigned)
// passes its threshold; Escape in a stage ends the show through demo_exit with its message.

bool demo_song_before(unsigned limit);
// Stage 0's test: true while the song position, read unsigned, is greater than `limit`
// (-37 before the first row counts as greater than any limit).
