// The palette that the 3D scenes share.
#include "scenes/fx_scene.h"

uint8_t fx_scene_palette[pix_palette_bytes];
