#include "tests/support/ts_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

int64_t now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::vector<std::string> merged_env(const std::vector<std::string>& extra)
{
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        std::string name = kv.substr(0, kv.find('='));
        bool replaced = false;
        for (const auto& x : extra)
            if (x.substr(0, x.find('=')) == name)
                replaced = true;
        if (!replaced)
            out.push_back(kv);
    }
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

// Reads what is available on both pipes, waiting at most `ms`. Returns false once both are closed.
bool pump(ts_process* p, int ms)
{
    pollfd fds[2];
    int n = 0;
    if (p->out_fd >= 0) fds[n++] = {p->out_fd, POLLIN, 0};
    if (p->err_fd >= 0) fds[n++] = {p->err_fd, POLLIN, 0};
    if (n == 0)
        return false;
    if (poll(fds, n, ms) <= 0)
        return true;
    for (int i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[4096];
        ssize_t got = read(fds[i].fd, buf, sizeof buf);
        bool is_out = fds[i].fd == p->out_fd;
        if (got > 0) {
            (is_out ? p->out : p->err).append(buf, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(fds[i].fd);
            (is_out ? p->out_fd : p->err_fd) = -1;
        }
    }
    return true;
}

bool reap(ts_process* p, int flags)
{
    if (p->ended)
        return true;
    int st = 0;
    pid_t r = waitpid(p->pid, &st, flags);
    if (r != p->pid)
        return false;
    p->ended = true;
    p->status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return true;
}

} // namespace

bool ts_start(ts_process* p, const std::vector<std::string>& argv,
              const std::vector<std::string>& env, const std::string& input)
{
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err))
        return false;
    std::vector<std::string> envs = merged_env(env);
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        setpgid(0, 0); // own process group, so a test can end a program and its children at once
        signal(SIGPIPE, SIG_DFL);   // as a shell starts it: the test's own SIG_IGN is not inherited
        std::vector<char*> av, ev;
        for (auto& a : argv) av.push_back(const_cast<char*>(a.c_str()));
        av.push_back(nullptr);
        for (auto& e : envs) ev.push_back(const_cast<char*>(e.c_str()));
        ev.push_back(nullptr);
        execvpe(av[0], av.data(), ev.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // The input is small (menu answers); a program that never reads it must not block us.
    signal(SIGPIPE, SIG_IGN);
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
        // a program that ended before reading is reported by its status
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
    int64_t end = now_ms() + ms;
    for (;;) {
        if (!needle.empty() && p->out.find(needle) != std::string::npos)
            return true;
        int64_t left = end - now_ms();
        if (left <= 0)
            return false;
        if (!pump(p, static_cast<int>(left > 50 ? 50 : left))) {
            if (reap(p, WNOHANG) || left <= 0)
                return !needle.empty() && p->out.find(needle) != std::string::npos;
            usleep(10000);
        }
    }
}

bool ts_wait(ts_process* p, int ms)
{
    int64_t end = now_ms() + ms;
    while (!p->ended) {
        pump(p, 20);
        if (p->out_fd < 0 && p->err_fd < 0)
            usleep(5000);
        if (reap(p, WNOHANG))
            break;
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

void ts_kill(ts_process* p, int sig)
{
    if (!p->ended && p->pid > 0)
        kill(p->pid, sig);
}

int ts_run(const std::vector<std::string>& argv, std::string* out, int ms,
           const std::vector<std::string>& env)
{
    ts_process p;
    if (!ts_start(&p, argv, env, ""))
        return -1;
    if (!ts_wait(&p, ms))
        return -1;
    if (out)
        *out = p.out;
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
