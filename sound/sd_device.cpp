#include "sound/sd_device.h"

sd_device_table sd_device = {.fd = -1};
mix_sample_entry mix_sample[32] = {};
int sd_devnum = 0;
const char* sd_devname = "";
const char* sd_errtext = "";
