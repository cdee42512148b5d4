// A stand-in for /dev/dsp: drains a FIFO at a sound device's byte rate and keeps every byte.
//   sd_dspsink <fifo> <bytes per second> <capture file> <ms to wait for the first byte> <max ms>
// Prints "ready" once the FIFO is open for reading (a writer's open then returns at once), and at
// the end "bytes <n> eof <0|1>". The FIFO's buffer is cut to one page, so a writer runs at most
// that far ahead of the drained rate, as with a device's fragments. Exit status 0 at end of file,
// 3 when no byte came, 4 when the time ran out.
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

static double now_s() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    const double rate = std::atof(argv[2]), max_s = std::atof(argv[5]) / 1000.0;
    int fd = open(argv[1], O_RDONLY | O_NONBLOCK);
    if (fd < 0) return 2;
    fcntl(fd, F_SETPIPE_SZ, 4096);
    std::printf("ready\n");
    std::fflush(stdout);
    // before any writer has opened the FIFO, poll reports nothing (not a hang-up) on Linux
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, std::atoi(argv[4])) <= 0) {
        std::printf("bytes 0 eof 0\n");
        return 3;
    }
    std::vector<unsigned char> data;
    const double t0 = now_s();
    bool eof = false;
    unsigned char buf[4096];
    while (!eof && now_s() - t0 < max_s) {
        // what a device takes at once (a page) before it starts to pace, then `rate` a second
        double allowed = 4096 + rate * (now_s() - t0) - (double)data.size();
        ssize_t r = allowed < 1 ? -1 : read(fd, buf, allowed < sizeof buf ? (size_t)allowed : sizeof buf);
        if (r > 0) data.insert(data.end(), buf, buf + r);
        eof = r == 0;  // every writer has closed
        if (r < 0) {
            timespec t = {0, 2000000};
            nanosleep(&t, nullptr);
        }
    }
    FILE* f = std::fopen(argv[3], "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) return 2;
    std::printf("bytes %zu eof %d\n", data.size(), eof ? 1 : 0);
    return eof ? 0 : 4;
}
