// What the sound end-to-end tests share: a scratch folder in the build tree, a whole file's
// bytes, Debian data packages unpacked once per build tree, and a view of /dev of the program's
// own in which /dev/dsp is a file of the test's.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    EXPECT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
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

// "" when a private mount namespace can be made; else why not.
inline std::string sd_e2e_namespace_skip() {
    if (geteuid() != 0) return "needs root for a private mount namespace";
    if (!ts_have_program("unshare")) return "unshare (util-linux) is not installed";
    if (ts_run({"unshare", "-m", "--propagation", "private", "true"}) != 0)
        return "this system refuses a private mount namespace (unshare -m)";
    return "";
}

// argv that runs `command` (a shell command) in a private mount namespace whose /dev is a tmpfs
// holding the host's /dev entries (bound in) and `dsp` bound at /dev/dsp. Whatever the host has
// or lacks at /dev/dsp, nothing is created in the host's /dev. `scratch` is an empty folder.
inline std::vector<std::string> sd_e2e_private_dev(const std::string& scratch, const std::string& dsp,
                                                   const std::string& command) {
    const char* script = R"(set -e; h="$1/hostdev"; mkdir "$h"; mount --rbind /dev "$h"
mount -t tmpfs -o mode=755 devview /dev
for e in "$h"/* "$h"/.[!.]*; do n=${e##*/}; [ -e "$e" ] || [ -L "$e" ] || continue; [ "$n" = dsp ] && continue
  if [ -L "$e" ]; then cp -P "$e" "/dev/$n"; elif [ -d "$e" ]; then mkdir "/dev/$n"; mount --rbind "$e" "/dev/$n"
  else : > "/dev/$n"; mount --bind "$e" "/dev/$n"; fi; done
: > /dev/dsp; mount --bind "$2" /dev/dsp; shift 2; eval "$1")";
    return {"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh", scratch, dsp, command};
}

// The names in the host's /dev.
inline std::vector<std::string> sd_e2e_dev_names() {
    std::string out;
    ts_run({"ls", "-A", "/dev"}, &out);
    std::vector<std::string> names;
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) names.push_back(out.substr(at, nl - at));
    return names;
}
