#include "sound/sd_device.h"
#include "sound/sd_internal.h"

#include <fcntl.h>
#include <linux/soundcard.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "sound/mix.h"
#include "sound/sync.h"

sd_device_table sd_device;
mix_sample_entry mix_sample[32] = {};
int sd_devnum = 0;
const char* sd_devname = "";
const char* sd_errtext = "";

// ---- the OSS seam ----

static int sd_sys_open(const char* path, int flags) { return open(path, flags); }
static int sd_sys_ioctl(int fd, unsigned long request, int* arg) { return ioctl(fd, request, arg); }
static long sd_sys_write(int fd, const void* buf, unsigned long n) { return write(fd, buf, n); }
static int sd_sys_close(int fd) { return close(fd); }

const sd_oss_ops sd_oss_real = {sd_sys_open, sd_sys_ioctl, sd_sys_write, sd_sys_close};
sd_oss_ops sd_oss = sd_oss_real;

// One ioctl with a 32-bit int argument; the driver may write back what it accepted, which the
// device ignores: the mixer renders for the device's fixed rate and format whatever it kept.
static void sd_setting(unsigned long request, int value) {
    int arg = value;
    sd_oss.ioctl(sd_device.fd, request, &arg);
}

// ---- the three devices ----

static void sd_empty() {}
static void sd_nosound_start() {}

static void sd_dsp8_start() { mix_init(21700); }
static void sd_dsp16_start() { mix_init(32000); }
static void sd_dsp_close() { sd_oss.close(sd_device.fd); }

// Opens /dev/dsp for writing into sd_device.fd; false with `errtext` as the reason when it can't.
static bool sd_open_dsp(const char* errtext) {
    int fd = sd_oss.open("/dev/dsp", O_WRONLY);
    if (fd == -1) {
        sd_errtext = errtext;
        return false;
    }
    sd_device.fd = fd;
    return true;
}

// What every device's init ends with: its start and close, the mixer bound, its name; 1.
static int sd_bind(void (*start)(), void (*close)(), const char* name) {
    sd_device.start = start;
    sd_device.stop = sd_empty;
    sd_device.hook2 = sd_empty;
    sd_device.play = sd_empty;
    sd_device.close = close;
    mix_bind();
    sd_devname = name;
    return 1;
}

int sd_nosound_init() {
    return sd_bind(sd_nosound_start, sd_empty, "Super Qem NoSound Device 2.0c");
}

int sd_dsp8_init() {
    if (!sd_open_dsp("sd_dsp8_init: Cannot open /dev/dsp!")) return 0;
    sd_setting(SNDCTL_DSP_SETFRAGMENT, 0x2000B);  // 2 fragments of 2^11 bytes
    sd_setting(SNDCTL_DSP_STEREO, 0);              // format stays the default unsigned 8-bit
    sd_setting(SNDCTL_DSP_SPEED, 21700);
    return sd_bind(sd_dsp8_start, sd_dsp_close, "/dev/dsp 8-bit mono");
}

int sd_dsp16_init() {
    if (!sd_open_dsp("sd_dsp16_init: Cannot find /dev/dspW!")) return 0;
    sd_setting(SNDCTL_DSP_SETFRAGMENT, 0x2000D);  // 2 fragments of 2^13 bytes
    sd_setting(SNDCTL_DSP_SETFMT, AFMT_S16_LE);
    sd_setting(SNDCTL_DSP_STEREO, 1);
    sd_setting(SNDCTL_DSP_SPEED, 32000);
    return sd_bind(sd_dsp16_start, sd_dsp_close, "/dev/dspW 16-bit stereo");
}

// ---- the menu ----

int sd_menu() {
    std::fputs("Select your sound device:\n0 - None\n1 - /dev/dsp 8-bit\n2 - /dev/dsp 16-bit\n",
               stdout);
    std::fflush(stdout);  // the question must be seen before the program waits for the answer
    char word[100];
    if (std::scanf("%99s", word) != 1) return 0;  // end of input
    switch (word[0]) {
    case '0':
        sd_devnum = 0;
        sd_nosound_init();
        break;
    case '1':
        sd_devnum = 1;
        if (!sd_dsp8_init()) return 0;
        break;
    case '2':
        sd_devnum = 2;
        if (!sd_dsp16_init()) return 0;
        break;
    default:
        return 0;
    }
    sync_count = 0;  // main registers its handlers after the menu; the ids go on counting
    sd_device.start();
    sd_device.set_master(64);
    sd_device.play();
    return 1;
}

void sd_setmastervol_f(double x) {
    double v = 63.0 * x;
    // truncation toward zero; values beyond the 32-bit range (or not a number) would make the
    // conversion undefined, so they are pinned to its ends (and 0)
    int32_t i = v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : v == v ? (int32_t)v : 0;
    sd_device.set_master(i);
}
