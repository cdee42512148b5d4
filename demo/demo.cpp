#include "demo/demo.h"

#include "video/vid.h"

#include <cstdio>
#include <cstdlib>

uint8_t demo_pic_a[76800];
uint8_t demo_pal_a[768];
uint8_t demo_pic_b[81920];
uint32_t demo_frame_c[76800];
uint32_t demo_frame_d[76800];

void demo_exit(int32_t status, const char* message)
{
    // the sound (audio child, timer, device) stops first, then the display is restored, so the
    // message is printed on a normal screen
    vid_close();
    std::puts(message);
    std::exit(status);
}
