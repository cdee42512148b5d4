// Wave curtain: a 20-frame animation played forwards and backwards fills the upper part of the
// frame; below a wavy horizon that sags and bulges with time a still picture shows, with one
// blended seam row between the two.
#pragma once

#include <cstdint>

int32_t fx_curtain_init();
// Allocates the output frame, the picture frame and a temporary 8-bit picture, decodes
// emb_pic_curtain and expands it into the picture frame; the animation is emb_anim_curtain.
// 0 on success, -1 when an allocation fails (then fx_curtain_free releases what was obtained and
// render returns null). A picture that does not decode leaves the picture frame black.

uint32_t* fx_curtain_render(uint32_t t);
// Draws the frame for animation time t (about 23 steps a second; main passes the clock / 3) and
// returns the output frame (320x240, top bytes 0). Frame t mod n runs forwards on even passes
// through the n frames and backwards on odd ones. Null when init did not complete. No allocation.

void fx_curtain_free();
// Releases the output and picture frames (either may be missing). Safe to call twice.
