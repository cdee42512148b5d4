#include "tests/support/ts_xserver.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

int free_display()
{
    for (int n = 40; n < 400; ++n) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
        struct stat st;
        if (stat(lock.c_str(), &st) != 0 && stat(sock.c_str(), &st) != 0)
            return n;
    }
    return -1;
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& log)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
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

// Waits until a client can connect, or the server has died, or `ms` have passed.
bool wait_ready(ts_xserver* xs, int ms, std::string* why)
{
    for (int waited = 0; waited < ms; waited += 50) {
        int st;
        if (waitpid(xs->pid, &st, WNOHANG) == xs->pid) {
            xs->pid = -1;
            if (why) *why = "server exited at start; see " + xs->log;
            return false;
        }
        Display* d = XOpenDisplay(xs->display().c_str());
        if (d) {
            XCloseDisplay(d);
            return true;
        }
        usleep(50000);
    }
    if (why) *why = "server did not accept connections in time; see " + xs->log;
    ts_stop_xserver(xs);
    return false;
}

} // namespace

bool ts_start_xvfb(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        xs->number = free_display();
        if (xs->number < 0) {
            if (why) *why = "no free display number";
            return false;
        }
        xs->log = "/tmp/orv-xvfb-" + std::to_string(xs->number) + ".log";
        std::vector<std::string> argv = {"Xvfb", xs->display(), "-nolisten", "tcp", "-noreset", "-screen", "0",
                                         "800x600x" + std::to_string(depth)};
        argv.insert(argv.end(), extra.begin(), extra.end());
        xs->pid = spawn(argv, xs->log);
        if (xs->pid < 0) {
            if (why) *why = "fork failed";
            return false;
        }
        if (wait_ready(xs, 10000, why))
            return true;
        // another server may have taken the number between our check and its start: retry
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
    for (int attempt = 0; attempt < 5; ++attempt) {
        xs->number = free_display();
        if (xs->number < 0) {
            if (why) *why = "no free display number";
            return false;
        }
        std::string base = "/tmp/orv-xorg-" + std::to_string(xs->number);
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
        xs->pid = spawn({"Xorg", xs->display(), "-config", conf, "-logfile", xs->log, "-nolisten", "tcp",
                         "-noreset", "-seat", "seat1"},
                        base + ".out");
        if (xs->pid < 0) {
            if (why) *why = "fork failed";
            return false;
        }
        if (wait_ready(xs, 20000, why))
            return true;
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
