// Test support: run a program with given input and environment, read its output, wait with a limit.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ts_process {
    pid_t pid = -1;
    int out_fd = -1, err_fd = -1;   // read ends of its standard output and error
    std::string out, err;           // what was read from them so far
    int status = -1;                // exit status once ended, 128 + signal when killed
    bool ended = false;
};

// Starts argv[0] (path or name on PATH) in its own process group with `env` ("NAME=value") added
// to the environment and `input` on its closed standard input. False when it cannot start.
bool ts_start(ts_process* p, const std::vector<std::string>& argv,
              const std::vector<std::string>& env, const std::string& input);

// Reads output for up to `ms` ms; true (at once) when `needle` appears in the standard output.
bool ts_read_until(ts_process* p, const std::string& needle, int ms);

// Waits up to `ms` ms for the end, reading the output; on time-out kills it and returns false.
bool ts_wait(ts_process* p, int ms);

// Runs a command to its end; its exit status (-1: could not start or timed out), output in *out.
int ts_run(const std::vector<std::string>& argv, std::string* out = nullptr, int ms = 30000,
           const std::vector<std::string>& env = {});

// The path of a program the build made, e.g. ts_build_path("orvanto").
std::string ts_build_path(const std::string& rel);

bool ts_have_program(const std::string& name);
