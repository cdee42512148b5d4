#pragma once
// Inside the 3DS readers: the one chunk walker that the in-memory reader (ld_3ds.h) and the file
// reader (ld_3ds_file.h) share, over a cursor that reads either bytes in memory or an open file,
// so both read the same bytes alike. Nothing is read at or beyond the cursor's size.
#include <cstdint>
#include <cstdio>

#include "engine3d/kf.h"

struct sc_scene;

struct ld_cursor {
    const uint8_t* image;  // the bytes of an image in memory, or null for a file
    FILE* f;               // the open file when image is null; its position is kept at pos
    int64_t pos;           // where the next read happens
    int64_t size;          // bytes that may be read (at most INT32_MAX)
};

bool ld_cur_seek(ld_cursor* c, int64_t pos);
// Moves to pos, clamped into 0..size (a seek past the end lands at the end); false when the
// file cannot take the position.
bool ld_cur_read(ld_cursor* c, void* dst, uint32_t bytes);
// Reads `bytes` at the cursor and moves behind them; false (nothing moved) when they do not all
// lie before size or the file reads short.
bool ld_cur_read_at(ld_cursor* c, int64_t pos, void* dst, uint32_t bytes);
// ld_cur_seek to pos, then ld_cur_read.

// The walk, as ld_chunk_find_mem, ld_chunk_main_mem, ld_name_mem, ld_3ds_track_mem,
// ld_3ds_meshes_mem_n and ld_3ds_keys_mem_n describe it, with the cursor's position as the read
// position.
uint32_t ld_walk_find(ld_cursor* c, uint16_t id, int32_t budget);
uint32_t ld_walk_main(ld_cursor* c);
void ld_walk_name(ld_cursor* c, char* name);
int32_t* ld_walk_track(ld_cursor* c, int32_t* count, int which, int32_t budget);
int ld_walk_meshes(ld_cursor* c, sc_scene* scene);
int ld_walk_keys(ld_cursor* c, kf_camera_path* path);

struct ld_list {
    uint32_t data;  // first entry, behind the u16 count
    uint32_t end;   // end of the list's chunk, or of the bytes when the chunk reaches past them
    int32_t count;  // the u16 count as a signed 16-bit value
};
// One list of a mesh (vertices, faces or mapping coordinates), as byte offsets.

uint8_t* ld_load_lists(ld_cursor* c, ld_list* v, ld_list* fc, ld_list* uv);
// The entries of checked lists read from a file into one malloc'ed buffer (the caller's):
// vertices, faces, then mapping coordinates (uv may be null); the lists are moved to their
// places in it. Null when the reads fail or memory is short.

int32_t ld_budget(int64_t b);
// b clamped into a signed 32-bit search budget.
bool ld_to_int(double v, int32_t* out);
// v truncated toward zero into *out; false (nothing stored) when it does not fit 32 bits or is
// not a number.
bool ld_position_to_int(float f, int32_t* out);
// A vertex or key coordinate: trunc(f x 10), as ld_to_int.
bool ld_roll_to_int(float r, int32_t* out);
// An angle in radians into 1024ths of a turn: trunc(r x 512 x 1/pi), multiplied in that order.
