// Test support: private X servers that are certainly our own. Two tests that start servers at
// the same moment may pick the same free display number; the loser exits, but a client may
// already have reached the winner's server. These wrappers check the display's lock file names
// the PID they started, and start again on another number otherwise.
#pragma once

#include "tests/support/ts_xserver.h"

// True when /tmp/.X<N>-lock holds xs->pid.
bool ts_xserver_is_ours(const ts_xserver* xs);

bool ts_start_xvfb_owned(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why);
bool ts_start_xorg_dummy_owned(ts_xserver* xs, int depth, const std::vector<std::string>& modelines,
                               const std::vector<std::string>& modes, std::string* why);
