// The palette that the 3D scenes share: every scene decodes its texture and picture palettes into
// it at init, and the 8-bit scenes expand their renders through it.
#pragma once

#include <cstdint>

#include "picture/pix.h"

extern uint8_t fx_scene_palette[pix_palette_bytes];
// 256 colours of red, green, blue (8 bits each, unscaled). Overwritten by every scene's init;
// read by the render of whichever scene set it last. Zero when the program starts.
