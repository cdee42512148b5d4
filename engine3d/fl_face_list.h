#pragma once
// The face list: every visible face of a frame with a depth key, radix-sorted and drawn far to
// near through the rasteriser.
#include <cstdint>

#include "engine3d/sc_scene.h"

constexpr int32_t fl_max_faces = 30000;
// Faces per frame; faces beyond are dropped until the list is reset.

extern int32_t fl_count;
// Faces in the list, 0..30000.
extern uint32_t fl_keys[fl_max_faces];
// Depth keys: larger is farther.
extern int32_t fl_faces[fl_max_faces];
// 4 x face number (the face's first slot in the object's face array), complemented for a back face.
extern sc_object* fl_objects[fl_max_faces];
// The object of each face.
extern int32_t fl_sort_mode;
// 0: frame keys (camera distance); 1: object-relative 10-bit keys (fl_draw_object only).

void fl_reset();
// Empties the list; sort mode 0.
int32_t fl_add_object(sc_object* object);
// Appends the visible faces of a transformed object (front faces; every face when mode has
// flag 128, back faces complemented). Faces touching a near-marked point, with a vertex beyond
// +-16384 pixels or with a vertex index outside the object are not added. Returns fl_count.
void fl_flush();
// Sorts the list by the low 24 bits of the keys (stable) and draws it far to near; the list
// stays filled.
void fl_draw_object(sc_object* object);
// Draws one transformed object alone with object-relative 10-bit keys; leaves sort mode 1.

uint32_t* rs_sort_pairs(int32_t n, const uint32_t* keys, uint32_t* work, int passes);
// Pairs (keys[i], i) sorted stably by the low 8 x passes bits of the key, ascending; work holds
// 4n u32. Returns the sorted array (inside work), or null for passes outside 1..4.
uint32_t* rs_byte_pass(int32_t n, int p, const uint32_t* src, uint32_t* dst);
// One stable counting pass of n (key, index) pairs on key byte p (0..3); returns dst.
uint32_t* rs_sort10(int32_t n, const uint32_t* keys, uint32_t* dst);
// Pairs (keys[i], i) sorted stably by the low 10 bits of the key into dst (2n u32); returns dst.
