// The program's two menus as it prints them: the sound device first, then the mode at 320x240.
#pragma once

constexpr char ts_sound_menu[] =
    "Select your sound device:\n"
    "0 - None\n"
    "1 - /dev/dsp 8-bit\n"
    "2 - /dev/dsp 16-bit\n";

constexpr char ts_mode_menu[] =
    "Internal window size: 320x240\n"
    "1 - Standard X11 (Grayscale in 8-bit)\n"
    "2 - Standard X11 double pixels\n"
    "3 - X11 Shm (Grayscale in 8-bit)\n"
    "4 - X11 Shm double pixels\n"
    "5 - XF86 fullscreen DGA (Grayscale in 8-bit)\n"
    "6 - XF86 fullscreen DGA double pixels\n";
