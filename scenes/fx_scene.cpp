// What the 3D scenes share.
#include "scenes/fx_scene.h"

#include <cstdlib>

#include "fx/fx_pic.h"

uint8_t fx_scene_palette[pix_palette_bytes];

int fx_scene_load_picture(const uint8_t* pic, uint32_t size, uint32_t* dst)
{
    uint8_t* tmp = static_cast<uint8_t*>(std::calloc(fx_scene_pixels, 1));
    if (!tmp)
        return 1;
    // Decode into a copy of the palette: a refused picture must not leave half a palette.
    uint8_t pal[pix_palette_bytes];
    const bool ok = fx_pic_decode(pic, size, tmp, fx_scene_pixels, pal) != 0;
    if (ok) {
        for (int i = 0; i < pix_palette_bytes; i++)
            fx_scene_palette[i] = pal[i];
        if (dst)
            pix_expand_palette(tmp, fx_scene_palette, dst, fx_scene_pixels);
    }
    std::free(tmp);
    return ok ? 0 : 1;
}
