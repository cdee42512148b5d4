// What the 3D scenes share.
#include "scenes/fx_scene.h"

#include <cstdlib>
#include <cstring>

#include "engine3d/rz.h"
#include "picture/iff.h"

uint8_t fx_scene_palette[pix_palette_bytes];

int fx_scene_load_picture(const uint8_t* pic, uint32_t size, uint32_t* dst)
{
    uint8_t* tmp = static_cast<uint8_t*>(std::calloc(pix_frame_pixels, 1));
    if (!tmp)
        return 1;
    // Decode into a copy of the palette: a refused picture must not leave half a palette.
    uint8_t pal[pix_palette_bytes];
    const bool ok = iff_decode_fit(pic, size, tmp, pix_frame_pixels, pal) != 0;
    if (ok) {
        for (int i = 0; i < pix_palette_bytes; i++)
            fx_scene_palette[i] = pal[i];
        if (dst)
            pix_expand_palette(tmp, fx_scene_palette, dst, pix_frame_pixels);
    }
    std::free(tmp);
    return ok ? 0 : 1;
}

bool fx_scene_begin(uint32_t* dst, bool ready, uint8_t* target)
{
    if (!dst)
        return false;
    if (!ready) {
        std::memset(dst, 0, pix_frame_pixels * sizeof(uint32_t));
        return false;
    }
    // the target is 320x240: keep the rasteriser from drawing past it whatever ran before
    rz_set_screen(pix_frame_w, pix_frame_h, 8);
    rz_target = target;
    return true;
}
