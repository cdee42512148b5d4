// What the sound end-to-end tests share: a scratch folder in the build tree, a whole file's
// bytes, Debian data packages unpacked once per build tree, the host's placeholder for /dev/dsp,
// and the reaping of audio children left to the test.
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

// Where sd_e2e_fetch unpacks: <build>/tests/sound/debcache/x
inline std::string sd_e2e_debroot() { return ts_build_path("tests/sound/debcache/x"); }

// Downloads and unpacks Debian packages once per build tree; "" or the reason it failed.
inline std::string sd_e2e_fetch(const std::vector<std::string>& packages) {
    std::string dir = ts_build_path("tests/sound/debcache");
    for (const std::string& p : packages) {
        struct stat st;
        if (stat((dir + "/" + p + ".unpacked").c_str(), &st) == 0) continue;
        std::string cmd = "set -e; mkdir -p '" + dir + "'; cd '" + dir + "'; rm -f " + p + "_*.deb; apt-get download " +
                          p + " 2>&1; dpkg -x " + p + "_*.deb x; touch " + p + ".unpacked; rm -f " + p + "_*.deb";
        std::string out;
        if (ts_run({"sh", "-c", cmd}, &out, 180000) != 0) return "cannot download " + p + " with apt-get: " + out;
    }
    return "";
}

// "" when a private mount namespace can be made (to put our /dev/dsp over the real one); else why not.
inline std::string sd_e2e_namespace_skip() {
    if (geteuid() != 0) return "needs root for a private mount namespace over /dev/dsp";
    if (!ts_have_program("unshare")) return "unshare (util-linux) is not installed";
    if (ts_run({"unshare", "-m", "--propagation", "private", "true"}) != 0)
        return "this system refuses a private mount namespace (unshare -m)";
    return "";
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
