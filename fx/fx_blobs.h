// Blob trails: rows of soft discs follow a chain of spline segments through points on a
// breathing ring; every frame the 8-bit picture is smeared upwards and faded, so the trails rise
// and burn out like flames. Draws palette indices (0..60) into a buffer main owns; main expands
// it through fx_blobs_palette. No free: the effect allocates nothing.
#pragma once

#include <atomic>
#include <cstdint>

extern uint8_t fx_blobs_palette[768];
// The stamp picture's palette, written by fx_blobs_init.

extern std::atomic<int32_t> fx_blobs_size;
// The chain's size counter (segments = size / 10), 60 at program start. Raised by fx_blobs_grow
// inside the player's signal handler and set by main (to 60 when the effect starts) without
// masking signals: a lock-free 32-bit word, loaded once per render. Render uses it clamped to
// 10..479 (1 to 47 segments, at most 50 points).

void fx_blobs_init();
// Decodes emb_pic_blob_stamp into the stamp buffer and fx_blobs_palette and sets every non-zero
// stamp byte to 1. When the picture does not decode, prints iff_msg ("%s", no newline) and
// returns; render still runs. Main flow only.

void fx_blobs_render(uint8_t* buf, int32_t t);
// Advances the picture in buf (320x200 indices followed by two more rows of 320 bytes that are
// read, never written) by one frame for time t in ticks: fades it one row upwards and draws the
// chain. Draws one number from rand(). No allocation.

void fx_blobs_grow(int32_t n);
// Adds n to fx_blobs_size while it is at most 449 (so 10 at a time it stops at 450). Safe inside
// a signal handler: lock-free atomic operations only.
