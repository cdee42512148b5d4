// Test support: private X servers started and stopped by the tests themselves.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ts_xserver {
    int number = -1;      // display number N of ":N"
    pid_t pid = -1;
    std::string log;      // path of the server's log file
    std::string display() const { return ":" + std::to_string(number); }
};

// Starts `Xvfb -nolisten tcp -noreset -screen 0 800x600x<depth> <extra...>` on a free display
// (the server takes the first N without a /tmp/.XN-lock and reports it through -displayfd) and
// returns once it accepts connections.
// On failure returns false with the reason in *why.
bool ts_start_xvfb(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why);

// Starts Xorg with the dummy video driver at `depth` (8, 15, 16 or 24) with the given Monitor
// modelines (each a full "Modeline ..." line; empty for the standard 320x240, 640x480 and 800x600
// set) and `Modes` list for the Display subsection. Needs root; returns false with the reason
// otherwise (callers report the test skipped).
bool ts_start_xorg_dummy(ts_xserver* xs, int depth, const std::vector<std::string>& modelines,
                         const std::vector<std::string>& modes, std::string* why);

// Stops the server by PID (SIGTERM, then SIGKILL after 5 s), waits for it and removes its files.
void ts_stop_xserver(ts_xserver* xs);

// RAII holder for tests.
struct ts_xserver_guard {
    ts_xserver xs;
    ~ts_xserver_guard() { ts_stop_xserver(&xs); }
};
