// What the sound end-to-end tests share: a scratch folder in the build tree, a whole file's
// bytes, the host's placeholder for /dev/dsp, and the reaping of audio children left to the test.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/ts_process.h"

// The empty folder tests/sound/scratch_<name> in the build tree (emptied when it exists).
inline std::string sd_e2e_scratch(const std::string& name) {
    std::string dir = ts_build_path("tests/sound/scratch_" + name);
    std::string rm = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    EXPECT_EQ(std::system(rm.c_str()), 0);
    return dir;
}

inline std::vector<uint8_t> sd_e2e_slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The show's view of /dev/dsp is replaced inside its namespace; the host keeps a placeholder.
inline bool sd_e2e_ensure_placeholder() {
    struct stat st;
    if (stat("/dev/dsp", &st) == 0) return true;
    return mkfifo("/dev/dsp", 0644) == 0 || errno == EEXIST;
}

// Collects the audio children that ended up with us (the test is their reaper): their exit
// statuses, waiting up to `ms` for at least one.
inline std::vector<int> sd_e2e_reap_orphans(int ms) {
    std::vector<int> statuses;
    for (int i = 0; i < ms / 10; i++) {
        int st;
        pid_t w;
        while ((w = waitpid(-1, &st, WNOHANG)) > 0) statuses.push_back(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st));
        if (w < 0 || !statuses.empty()) break;
        usleep(10000);
    }
    return statuses;
}
