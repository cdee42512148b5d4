// Mirror wave: a picture with soft outlines is drawn twice, shifted and mirrored, so the copies
// meet in the middle while a sine swings them sideways and another moves their top edge; behind
// them a background zooms in steps that restart on the music's beat, and after a while a third
// picture bounces down from the top. Pixels carry flags in their top byte while a frame is
// composed: 0xf0000000 outline of the main picture, 0x0f000000 inside it or the overlay.
#pragma once

#include <cstdint>

void fx_mirror_init();
// Allocates the picture buffer and the background, main picture, overlay and output frames
// (the output zero-filled), decodes emb_pic_mirror_main (flagging its outline and inside),
// emb_pic_mirror_bg and emb_pic_mirror_drop. Does not reset the zoom counter or the last time.
// On a failed allocation nothing stays allocated and render returns null.

uint32_t* fx_mirror_render(int32_t t, uint32_t reset);
// Composes the frame for t ticks (overlay from t = 511 on) and returns the output frame with all
// top bytes 0, or null when init did not complete. reset non-zero restarts the zoom (main passes
// the beat counter); otherwise the zoom grows by the ticks since the last render, 0..29. No
// allocation.

void fx_mirror_free();
// Releases the picture buffer and the four frames. Safe after a failed init and twice.
