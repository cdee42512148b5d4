// Test support: private X servers started and stopped by the tests themselves.
#pragma once

#include "tests/support/ts_process.h"

#include <string>
#include <vector>

struct ts_xserver {
    int number = -1;   // display number N of ":N"
    ts_process proc;   // the server
    std::string log;   // the server's log file
    std::string display() const { return ":" + std::to_string(number); }
};

// Starts `Xvfb -screen 0 800x600x<depth> <extra...>` on a free display and returns once it
// accepts connections; false with the reason in *why.
bool ts_start_xvfb(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why);

// Starts Xorg with the dummy driver at `depth`, modes 800x600 (current), 640x480, a second
// 640x480 line "640x480b" and a plain 320x240. Needs root; false with the reason otherwise.
bool ts_start_xorg_dummy(ts_xserver* xs, int depth, std::string* why);

// Stops the server (SIGTERM, SIGKILL after 5 s) and removes its files.
void ts_stop_xserver(ts_xserver* xs);

struct ts_xserver_guard {
    ts_xserver xs;
    ~ts_xserver_guard() { ts_stop_xserver(&xs); }
};
