// Palette expansion: 8-bit indices through a 256-entry table into 0x00RRGGBB pixels.
#include "picture/pix.h"

// Rebuilt from the palette by every call.
static uint32_t pix_pal32[256];

void pix_expand_palette(const uint8_t* src, const uint8_t* palette, uint32_t* dst, int32_t count)
{
    for (int i = 0; i < 256; i++)
        pix_pal32[i] = (uint32_t(palette[3 * i]) << 16) | (uint32_t(palette[3 * i + 1]) << 8) |
                       palette[3 * i + 2];
    if (count < 4)
        return;
    const uint32_t* pal = pix_pal32;
    // four pixels a step, no test inside the group
    for (uint32_t groups = uint32_t(count) >> 2; groups != 0; groups--) {
        dst[0] = pal[src[0]];
        dst[1] = pal[src[1]];
        dst[2] = pal[src[2]];
        dst[3] = pal[src[3]];
        src += 4;
        dst += 4;
    }
}
