// A stand-in for /dev/dsp: drains a FIFO at a sound device's byte rate and keeps every byte.
//   sd_dspsink <fifo> <bytes per second> <capture file> <ms to wait for the first byte> <max ms>
// Prints "ready" once the FIFO is open for reading (a writer's open then returns at once), and
// at the end "bytes <n> eof <0|1> seconds <first byte to end>". The FIFO's buffer is cut to one
// page, so a writer runs at most that far ahead of the drained rate, as with a device's
// fragments. Exit status 0 at end of file, 3 when no byte came, 4 when the time ran out.
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

static double now_s() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static bool wait_readable(int fd, int ms) {
    pollfd p = {fd, POLLIN, 0};
    int r;
    do r = poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    double rate = std::atof(argv[2]);
    int first_ms = std::atoi(argv[4]);
    double max_s = std::atof(argv[5]) / 1000.0;
    int fd = open(argv[1], O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        std::perror("open");
        return 2;
    }
    fcntl(fd, F_SETPIPE_SZ, 4096);
    std::printf("ready\n");
    std::fflush(stdout);
    // Before any writer has opened the FIFO, poll reports nothing (not a hang-up) on Linux.
    if (!wait_readable(fd, first_ms)) {
        std::printf("bytes 0 eof 0 seconds 0\n");
        return 3;
    }
    std::vector<unsigned char> data;
    const double t0 = now_s();
    const double slack = 4096;  // what a device takes at once before it starts to pace
    bool eof = false;
    unsigned char buf[4096];
    while (now_s() - t0 < max_s) {
        double allowed = slack + rate * (now_s() - t0) - (double)data.size();
        if (allowed < 1) {
            timespec t = {0, 2000000};
            nanosleep(&t, nullptr);
            continue;
        }
        size_t want = allowed < sizeof buf ? (size_t)allowed : sizeof buf;
        ssize_t r = read(fd, buf, want);
        if (r > 0) {
            data.insert(data.end(), buf, buf + r);
        } else if (r == 0) {
            eof = true;  // every writer has closed
            break;
        } else if (errno == EAGAIN || errno == EINTR) {
            wait_readable(fd, 50);
        } else {
            std::perror("read");
            break;
        }
    }
    double seconds = now_s() - t0;
    FILE* f = std::fopen(argv[3], "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
        std::perror("capture");
        return 2;
    }
    std::printf("bytes %zu eof %d seconds %.3f\n", data.size(), eof ? 1 : 0, seconds);
    return eof ? 0 : 4;
}
