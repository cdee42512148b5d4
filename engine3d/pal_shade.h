#pragma once
// Palette shade tables for 8-bit targets: palettes laid out as levels x base colours so that a
// texel plus a level (or plus another texel) indexes the colour the combination stands for,
// and textures quantised into level groups.
#include <cstdint>

#include "engine3d/sc_scene.h"

extern uint8_t pal_bump_table[131072];
// Zero except a 65536-byte environment map at offset 32768 (bump pass lookups).
extern int32_t pal_bump_users;
// Bump materials prepared and not yet released.

void pal_pow2_levels(int32_t* levels, int32_t* shift);
// Rounds *levels up to a power of two from 2 to 128 in place; *shift = its base-2 logarithm.
void pal_shade_ramp(const uint8_t* base, const uint8_t* ramp, uint8_t* out, int32_t levels,
                    int32_t step);
// out[i * L + c] = base colour c modulated by ramp colour i * step (palettes of 768 bytes).
// Levels beyond 16 or ramp colours beyond 255 are not written.
void pal_blend(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t levels, int32_t step,
               int32_t percent);
// As pal_shade_ramp with a percent blend of b over a; nothing unless 1 <= percent <= 99.
void pal_quantise_texels(tex_buffer texture, int32_t levels, int32_t divisor);
// Each of the 65536 texels t becomes the low byte of (t / divisor) << log2(levels rounded);
// divisor 0 does nothing.
uint8_t* pal_bump_prepare(sc_object* object, const uint8_t* palette, int32_t levels,
                          int32_t divisor);
// Brightness map of texture A (stored as texture C), texture A quantised, texture B copied into
// pal_bump_table; null for divisor 0, a missing texture A, or no memory.
void pal_bump_release(sc_object* object);
// Frees the brightness map (texture C) of a prepared bump material.
