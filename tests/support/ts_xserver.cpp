#include "tests/support/ts_xserver.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// Starts the server with -displayfd: it takes the first free display number itself (by its
// /tmp/.XN-lock) and writes it to the pipe once it accepts connections, so two tests starting
// servers at the same moment never share a number.
bool spawn_server(ts_xserver* xs, std::vector<std::string> argv, const std::string& log, int ms,
                  std::string* why)
{
    int fds[2];
    if (pipe(fds) != 0) {
        if (why) *why = "pipe failed";
        return false;
    }
    argv.push_back("-displayfd");
    argv.push_back(std::to_string(fds[1]));
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        FILE* f = std::fopen(log.c_str(), "w");
        if (f) {
            dup2(fileno(f), 1);
            dup2(fileno(f), 2);
        }
        setpgid(0, 0);
        std::vector<char*> av;
        for (auto& a : argv) av.push_back(const_cast<char*>(a.c_str()));
        av.push_back(nullptr);
        execvp(av[0], av.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        if (why) *why = "fork failed";
        return false;
    }
    xs->pid = pid;
    std::string got;
    for (int waited = 0; waited < ms && got.find('\n') == std::string::npos;) {
        pollfd p = {fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[32];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0)
                break; // the server closed the pipe: it died
            got.append(buf, static_cast<size_t>(n));
        } else {
            waited += 100;
        }
    }
    close(fds[0]);
    if (got.find('\n') == std::string::npos) {
        if (why) *why = "server did not come up; see " + log;
        ts_stop_xserver(xs);
        return false;
    }
    xs->number = std::atoi(got.c_str());
    return true;
}

} // namespace

bool ts_start_xvfb(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why)
{
    static int serial = 0;
    xs->log = "/tmp/orv-xvfb-" + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".log";
    std::vector<std::string> argv = {"Xvfb", "-nolisten", "tcp", "-noreset", "-screen", "0",
                                     "800x600x" + std::to_string(depth)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    // Servers started at the same moment can still trip over each other's lock files (the server
    // then gives up with "server already running"): try again a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (spawn_server(xs, argv, xs->log, 15000, why))
            return true;
        usleep(200000 * (attempt + 1));
    }
    return false;
}

bool ts_start_xorg_dummy(ts_xserver* xs, int depth, const std::vector<std::string>& modelines,
                         const std::vector<std::string>& modes, std::string* why)
{
    if (geteuid() != 0) {
        if (why) *why = "Xorg with the dummy driver needs root";
        return false;
    }
    if (access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) != 0) {
        if (why) *why = "xserver-xorg-video-dummy is not installed";
        return false;
    }
    std::vector<std::string> lines = modelines;
    if (lines.empty()) {
        lines = {
            "Modeline \"320x240\" 12.59 320 336 384 400 240 245 246 262 doublescan",
            "Modeline \"640x480\" 25.18 640 656 752 800 480 490 492 525 -hsync -vsync",
            "Modeline \"800x600\" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync",
        };
    }
    std::vector<std::string> mode_names = modes;
    if (mode_names.empty())
        mode_names = {"800x600", "640x480", "320x240"};
    static int serial = 0;
    std::string base = "/tmp/orv-xorg-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    xs->log = base + ".log";
    std::string conf = base + ".conf";
    {
        std::ofstream f(conf);
        f << "Section \"ServerFlags\"\n  Option \"DontVTSwitch\" \"true\"\n"
             "  Option \"AutoAddDevices\" \"false\"\n  Option \"AllowMouseOpenFail\" \"true\"\nEndSection\n";
        f << "Section \"Device\"\n  Identifier \"dev\"\n  Driver \"dummy\"\n  VideoRam 16384\nEndSection\n";
        f << "Section \"Monitor\"\n  Identifier \"mon\"\n  HorizSync 5-200\n  VertRefresh 20-200\n";
        for (auto& l : lines) f << "  " << l << "\n";
        f << "EndSection\n";
        f << "Section \"Screen\"\n  Identifier \"scr\"\n  Device \"dev\"\n  Monitor \"mon\"\n"
             "  DefaultDepth " << depth << "\n";
        for (int d : {8, 15, 16, 24}) {
            f << "  SubSection \"Display\"\n    Depth " << d << "\n    Modes";
            for (auto& m : mode_names) f << " \"" << m << "\"";
            f << "\n    Virtual 800 600\n  EndSubSection\n";
        }
        f << "EndSection\n";
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (spawn_server(xs, {"Xorg", "-config", conf, "-logfile", xs->log, "-nolisten", "tcp", "-noreset",
                              "-seat", "seat1"},
                         base + ".out", 30000, why))
            return true;
        usleep(300000 * (attempt + 1));
    }
    return false;
}

void ts_stop_xserver(ts_xserver* xs)
{
    if (xs->pid <= 0)
        return;
    kill(xs->pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        int st;
        if (waitpid(xs->pid, &st, WNOHANG) == xs->pid) {
            xs->pid = -1;
            return;
        }
        usleep(50000);
    }
    kill(xs->pid, SIGKILL);
    waitpid(xs->pid, nullptr, 0);
    xs->pid = -1;
}
