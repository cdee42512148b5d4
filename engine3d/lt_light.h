#pragma once
// Face and vertex lighting: an 8.8 palette shade from a normal and one point light, clamped
// into a shade range of palette entries.
#include <cstdint>

#include "engine3d/sc_scene.h"

extern int32_t lt_light[3];
// Light position, world units; (900, 10000, -400) at start, kept for the whole run.

extern int32_t lt_range[3];
// Shade range in 8.8: first entry x 256, last entry x 256, count x 256; (0, 65280, 65536) at
// start, which is entries 0..255.

void lt_set_light(int32_t x, int32_t y, int32_t z);
// Moves the light.
void lt_set_range(int32_t first, int32_t count);
// Shades run over palette entries first .. first + count - 1; ignored when either is negative.
int32_t lt_face_shade(const sc_object* object, int32_t slot);
// 8.8 shade within the range for face slot `slot` (an index into the object's face array):
// gouraud objects (mode bit 2) light the vertex there by its rotated normal, others the face
// by the sum of the rotated normals at slot, slot + 1 and slot + 2. The light vector runs from
// the light to the object's origin. Needs rotated normals; gives the first entry without them.
