#include "tests/support/ts_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace {

int64_t now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Reads what is available on both pipes, waiting at most `ms`. False once both are closed.
bool pump(ts_process* p, int ms)
{
    pollfd fds[2] = {{p->out_fd, POLLIN, 0}, {p->err_fd, POLLIN, 0}};   // closed ones are -1: ignored
    if (p->out_fd < 0 && p->err_fd < 0) return false;
    if (poll(fds, 2, ms) <= 0) return true;
    for (int i = 0; i < 2; ++i) {
        if (!fds[i].revents) continue;
        char buf[4096];
        const ssize_t got = read(fds[i].fd, buf, sizeof buf);
        if (got > 0) {
            (i ? p->err : p->out).append(buf, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(fds[i].fd);
            (i ? p->err_fd : p->out_fd) = -1;
        }
    }
    return true;
}

bool reap(ts_process* p, int flags)
{
    int st = 0;
    if (!p->ended && waitpid(p->pid, &st, flags) == p->pid) {
        p->ended = true;
        p->status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    return p->ended;
}

} // namespace

bool ts_start(ts_process* p, const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& input)
{
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        setpgid(0, 0);              // own process group, so a test can end a program and its children
        prctl(PR_SET_PDEATHSIG, SIGTERM);   // and one that crashes leaves nothing running
        signal(SIGPIPE, SIG_DFL);   // as a shell starts it: the test's own SIG_IGN is not inherited
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> av;
        for (const std::string& a : argv) av.push_back(const_cast<char*>(a.c_str()));
        av.push_back(nullptr);
        execvp(av[0], av.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // the input is small (menu answers); a program that never reads it must not block us, and one
    // that ended before reading is reported by its status
    signal(SIGPIPE, SIG_IGN);
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    if (!input.empty()) {
        [[maybe_unused]] const ssize_t w = write(in[1], input.data(), input.size());
    }
    close(in[1]);
    *p = ts_process{};
    p->pid = pid;
    p->out_fd = out[0];
    p->err_fd = err[0];
    return true;
}

bool ts_read_until(ts_process* p, const std::string& needle, int ms)
{
    auto seen = [&] { return !needle.empty() && p->out.find(needle) != std::string::npos; };
    for (const int64_t end = now_ms() + ms; !seen() && now_ms() < end;) {
        if (pump(p, 50)) continue;
        if (reap(p, WNOHANG)) break;
        usleep(10000);
    }
    return seen();
}

bool ts_wait(ts_process* p, int ms)
{
    for (const int64_t end = now_ms() + ms; !reap(p, WNOHANG);) {
        if (!pump(p, 20)) usleep(5000);
        if (now_ms() > end) {
            kill(-p->pid, SIGKILL);
            kill(p->pid, SIGKILL);
            reap(p, 0);
            return false;
        }
    }
    while (pump(p, 0) && (p->out_fd >= 0 || p->err_fd >= 0)) {
    }
    return true;
}

int ts_run(const std::vector<std::string>& argv, std::string* out, int ms, const std::vector<std::string>& env)
{
    ts_process p;
    if (!ts_start(&p, argv, env, "") || !ts_wait(&p, ms)) return -1;
    if (out) *out = p.out;
    return p.status;
}

std::string ts_build_path(const std::string& rel)
{
    const char* dir = std::getenv("ORV_BINARY_DIR");
    return std::string(dir ? dir : ORV_BINARY_DIR) + "/" + rel;
}

bool ts_have_program(const std::string& name)
{
    std::string out;
    return ts_run({"/bin/sh", "-c", "command -v " + name}, &out) == 0 && !out.empty();
}
