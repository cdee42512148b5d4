// Shared by the sound end-to-end tests: scratch folders in the build tree, whole files, and
// Debian data packages unpacked once per build tree.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/ts_process.h"

// The empty folder <build>/tests/sound/scratch_<name>.
inline std::string sd_e2e_scratch(const std::string& name) {
    std::string dir = ts_build_path("tests/sound/scratch_" + name);
    EXPECT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
    return dir;
}

inline std::vector<uint8_t> sd_e2e_slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Downloads and unpacks Debian packages into <build>/tests/sound/debcache/x once; "" or why not.
inline std::string sd_e2e_fetch(const std::vector<std::string>& packages) {
    std::string dir = ts_build_path("tests/sound/debcache");
    for (const std::string& p : packages) {
        struct stat st;
        if (stat((dir + "/" + p + ".unpacked").c_str(), &st) == 0) continue;
        std::string cmd = "set -e; mkdir -p '" + dir + "'; cd '" + dir + "'; rm -f " + p + "_*.deb; apt-get download " + p +
                          " 2>&1; dpkg -x " + p + "_*.deb x; touch " + p + ".unpacked; rm -f " + p + "_*.deb";
        std::string out;
        if (ts_run({"sh", "-c", cmd}, &out, 180000) != 0) return "cannot download " + p + " with apt-get: " + out;
    }
    return "";
}
