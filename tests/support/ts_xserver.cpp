#include "tests/support/ts_xserver.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace {

// With -displayfd the server takes a free display number itself and writes it (to its standard
// output here) once it accepts connections. Tried a few times: servers started together can trip
// over each other's lock files.
bool spawn_server(ts_xserver* xs, const std::vector<std::string>& argv, const std::string& out, int ms, std::string* why)
{
    std::vector<std::string> args = {"/bin/sh", "-c", "exec \"$@\" -displayfd 1 2>\"$0\"", out};
    args.insert(args.end(), argv.begin(), argv.end());
    for (int attempt = 0; attempt < 4; ++attempt, usleep(200000 * attempt)) {
        if (!ts_start(&xs->proc, args, {}, "")) break;
        if (ts_read_until(&xs->proc, "\n", ms)) {
            xs->number = std::atoi(xs->proc.out.c_str());
            return true;
        }
        ts_stop_xserver(xs);
    }
    if (why) *why = "server did not come up; see " + out;
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
    if (geteuid() != 0 || access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) != 0) {
        if (why) *why = "Xorg's dummy driver needs root and xserver-xorg-video-dummy";
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
    if (xs->proc.pid > 0 && !xs->proc.ended) kill(xs->proc.pid, SIGTERM);
    if (xs->proc.pid > 0) ts_wait(&xs->proc, 5000);   // SIGKILL after 5 s
    if (xs->log.size() > 4) {   // the server's files: log, output, configuration
        const std::string base = xs->log.substr(0, xs->log.size() - 4);
        for (const char* ext : {".log", ".log.old", ".out", ".conf"}) unlink((base + ext).c_str());
    }
}
