#include "tests/support/ts_xserver_owned.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

bool ts_xserver_is_ours(const ts_xserver* xs)
{
    std::ifstream f("/tmp/.X" + std::to_string(xs->number) + "-lock");
    long pid = -1;
    if (!(f >> pid)) return false;
    return pid == xs->pid;
}

namespace {

template <class Start>
bool start_owned(ts_xserver* xs, std::string* why, Start start)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!start(why)) return false;
        // the lock file is written before the server accepts clients
        if (ts_xserver_is_ours(xs)) return true;
        ts_stop_xserver(xs);
        usleep(static_cast<useconds_t>(100000 + std::rand() % 200000));
    }
    if (why) *why = "could not get a display number of our own";
    return false;
}

} // namespace

bool ts_start_xvfb_owned(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why)
{
    return start_owned(xs, why, [&](std::string* w) { return ts_start_xvfb(xs, depth, extra, w); });
}

bool ts_start_xorg_dummy_owned(ts_xserver* xs, int depth, const std::vector<std::string>& modelines,
                               const std::vector<std::string>& modes, std::string* why)
{
    return start_owned(xs, why, [&](std::string* w) { return ts_start_xorg_dummy(xs, depth, modelines, modes, w); });
}
