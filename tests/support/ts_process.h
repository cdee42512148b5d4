// Test support: start a program with a given standard input and environment, read what it
// prints, and wait for it with a time limit. Used by the end-to-end tests of every folder.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ts_process {
    pid_t pid = -1;
    int out_fd = -1;        // read end of the child's standard output
    int err_fd = -1;        // read end of the child's standard error
    std::string out;        // everything read from standard output so far
    std::string err;        // everything read from standard error so far
    int status = -1;        // exit status once it has ended, 128 + signal when killed
    bool ended = false;
};

// Starts argv[0] (a path, or a name looked up on PATH) with argv, `env` added to (or replacing entries of) the current
// environment as "NAME=value", and `input` written to its standard input, which is then closed.
// Returns false (with errno set) when the program could not be started.
bool ts_start(ts_process* p, const std::vector<std::string>& argv,
              const std::vector<std::string>& env, const std::string& input);

// Reads output for up to `ms` milliseconds, returning early once `needle` appears in the
// standard output (an empty needle waits the whole time or until the process ends).
// Returns true when the needle was seen.
bool ts_read_until(ts_process* p, const std::string& needle, int ms);

// Waits up to `ms` milliseconds for the process to end, reading its output meanwhile.
// On time-out it is killed with SIGKILL and false is returned.
bool ts_wait(ts_process* p, int ms);

// Sends a signal; no-op once the process has ended.
void ts_kill(ts_process* p, int sig);

// Runs a command to its end (up to `ms` milliseconds) and returns its exit status, with its
// standard output in *out when given. -1 when it could not be started or timed out.
int ts_run(const std::vector<std::string>& argv, std::string* out = nullptr, int ms = 30000,
           const std::vector<std::string>& env = {});

// The path of a program the build made, e.g. ts_build_path("orvanto").
std::string ts_build_path(const std::string& rel);

// True when the program is on PATH.
bool ts_have_program(const std::string& name);
