#include "demo/demo.h"

#include "sound/sd_audio.h"
#include "video/vid.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

uint8_t demo_pic_a[pix_frame_pixels];
uint8_t demo_pal_a[768];
uint8_t demo_pic_b[pix_frame_w * 256];
uint32_t demo_frame_c[pix_frame_pixels];
uint32_t demo_frame_d[pix_frame_pixels];

void demo_exit(int32_t status, const char* message)
{
    // the sound (audio child, timer, device) stops first, then the display is restored, so the
    // message is printed on a normal screen
    sd_stop();
    vid_close();
    // a reader of standard output that has gone away must not turn the status into SIGPIPE's
    signal(SIGPIPE, SIG_IGN);
    std::puts(message);
    std::exit(status);
}

void demo_std_streams()
{
    // open() takes the lowest free descriptor, so each closed one of 0, 1, 2 is refilled in turn
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int got = open("/dev/null", O_RDWR);
        if (got != fd) {
            if (got >= 0) close(got);
            std::_Exit(1);  // no safe place left to write to
        }
    }
}
