#include "tests/support/ts_xserver.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// SIGTERM, then SIGKILL after 5 s.
void stop_server(ts_xserver* xs)
{
    if (xs->pid <= 0) return;
    kill(xs->pid, SIGTERM);
    for (int i = 0; i < 100; ++i, usleep(50000))
        if (waitpid(xs->pid, nullptr, WNOHANG) == xs->pid) {
            xs->pid = -1;
            return;
        }
    kill(xs->pid, SIGKILL);
    waitpid(xs->pid, nullptr, 0);
    xs->pid = -1;
}

// With -displayfd the server takes a free display number itself and writes it to the pipe once
// it accepts connections. Tried a few times: servers started together can trip over lock files.
bool spawn_server(ts_xserver* xs, std::vector<std::string> argv, const std::string& out, int ms, std::string* why)
{
    for (int attempt = 0; attempt < 4; ++attempt, usleep(200000 * attempt)) {
        int fds[2];
        if (pipe(fds) != 0) break;
        std::vector<std::string> args = argv;
        args.insert(args.end(), {"-displayfd", std::to_string(fds[1])});
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            if (FILE* f = std::fopen(out.c_str(), "w")) dup2(fileno(f), 1), dup2(fileno(f), 2);
            setpgid(0, 0);
            std::vector<char*> av;
            for (auto& a : args) av.push_back(const_cast<char*>(a.c_str()));
            av.push_back(nullptr);
            execvp(av[0], av.data());
            _exit(127);
        }
        close(fds[1]);
        xs->pid = pid;
        std::string got;
        for (int waited = 0; pid > 0 && waited < ms && got.find('\n') == std::string::npos;) {
            pollfd p = {fds[0], POLLIN, 0};
            char buf[32];
            if (poll(&p, 1, 100) <= 0) {
                waited += 100;
                continue;
            }
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;   // the server closed the pipe: it died
            got.append(buf, static_cast<size_t>(n));
        }
        close(fds[0]);
        if (got.find('\n') != std::string::npos) {
            xs->number = std::atoi(got.c_str());
            return true;
        }
        stop_server(xs);
    }
    if (why) *why = "server did not come up; see " + xs->log;
    return false;
}

std::string scratch_name(const char* kind)
{
    static int serial = 0;
    return "/tmp/orv-" + std::string(kind) + "-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
}

} // namespace

bool ts_start_xvfb(ts_xserver* xs, int depth, const std::vector<std::string>& extra, std::string* why)
{
    xs->log = scratch_name("xvfb") + ".log";
    std::vector<std::string> argv = {"Xvfb", "-nolisten", "tcp", "-noreset", "-screen", "0", "800x600x" + std::to_string(depth)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return spawn_server(xs, argv, xs->log, 15000, why);
}

bool ts_start_xorg_dummy(ts_xserver* xs, int depth, std::string* why)
{
    const char* missing = geteuid() != 0 ? "Xorg with the dummy driver needs root"
                          : access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) != 0
                              ? "xserver-xorg-video-dummy is not installed" : nullptr;
    if (missing) {
        if (why) *why = missing;
        return false;
    }
    const std::string base = scratch_name("xorg"), conf = base + ".conf";
    xs->log = base + ".log";
    std::ofstream f(conf);
    f << "Section \"ServerFlags\"\n  Option \"DontVTSwitch\" \"true\"\n  Option \"AutoAddDevices\" \"false\"\n"
         "  Option \"AllowMouseOpenFail\" \"true\"\nEndSection\n"
         "Section \"Device\"\n  Identifier \"dev\"\n  Driver \"dummy\"\n  VideoRam 16384\nEndSection\n"
         "Section \"Monitor\"\n  Identifier \"mon\"\n  HorizSync 5-200\n  VertRefresh 20-200\n"
         "  Modeline \"800x600\" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync\n"
         "  Modeline \"640x480\" 25.18 640 656 752 800 480 490 492 525 -hsync -vsync\n"
         "  Modeline \"640x480b\" 31.50 640 664 704 832 480 489 492 520 -hsync -vsync\n"
         "  Modeline \"320x240\" 12.59 320 336 384 400 240 245 246 262\n"
         "EndSection\nSection \"Screen\"\n  Identifier \"scr\"\n  Device \"dev\"\n  Monitor \"mon\"\n"
      << "  DefaultDepth " << depth << "\n";
    for (int d : {8, 15, 16, 24})
        f << "  SubSection \"Display\"\n    Depth " << d
          << "\n    Modes \"800x600\" \"640x480\" \"640x480b\" \"320x240\"\n    Virtual 800 600\n  EndSubSection\n";
    f << "EndSection\n";
    f.close();
    return spawn_server(xs, {"Xorg", "-config", conf, "-logfile", xs->log, "-nolisten", "tcp", "-noreset", "-seat", "seat1"},
                        base + ".out", 30000, why);
}

void ts_stop_xserver(ts_xserver* xs)
{
    stop_server(xs);
    if (xs->log.size() > 4) {   // the server's files: log, output, configuration
        const std::string base = xs->log.substr(0, xs->log.size() - 4);
        for (const char* ext : {".log", ".log.old", ".out", ".conf"}) unlink((base + ext).c_str());
    }
}
