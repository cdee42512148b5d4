// The stage timeline: the fixed sequence of 23 stages keyed to the song position.
#pragma once

[[noreturn]] void demo_run_stages();
// Runs stages 0 to 22 in order and ends the show through demo_exit (status 0 and the results
// text after the closing wipe; status 1 and the stage's message on Escape). Does not return.
