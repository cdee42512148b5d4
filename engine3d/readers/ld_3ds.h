#pragma once
// In-memory 3DS reader: named triangle meshes into scene objects, and the keyframer's camera
// path. Chunks are u16 id, u32 length (header included), data, children; all little-endian.
// Floating-point values become 32-bit integers by scaling and truncating toward zero. No
// operation prints; none is reentrant (they share the read position).
#include <cstdint>

#include "engine3d/kf.h"

struct sc_scene;

extern uint32_t ld_read_pos;
// Byte offset from the image's first byte where the next read happens; shared by every
// operation here, reset to 0 by the four top-level readers.

extern uint32_t ld_image_size;
// Bytes of the image being read; no operation reads at or beyond it. Set by the top-level
// readers; a caller of the chunk-level operations sets it first.

// Chunk ids the readers enter or read.
enum : uint16_t {
    ld_id_main = 0x4D4D, ld_id_editor = 0x3D3D, ld_id_object = 0x4000, ld_id_mesh = 0x4100,
    ld_id_vertices = 0x4110, ld_id_faces = 0x4120, ld_id_mapping = 0x4140,
    ld_id_camera = 0x4700,
    ld_id_keyframer = 0xB000, ld_id_kf_header = 0xB00A, ld_id_segment = 0xB008,
    ld_id_camera_node = 0xB003, ld_id_target_node = 0xB004,
    ld_id_pos_track = 0xB020, ld_id_roll_track = 0xB024,
};

extern const double ld_3ds_scale;
// 10.0: vertex and key positions are stored as trunc(value x 10).
extern const double ld_3ds_uv_scale;
// 227.0: mapping coordinates are stored as trunc(value x 256 x 227), 8.8 texels.

int ld_3ds_meshes_mem_n(const uint8_t* image, uint32_t size, sc_scene* scene);
// Appends every named object with a triangle mesh (vertex and face lists, optional mapping
// coordinates, the first 9 bytes of its name) to scene, in image order. 0 when the object list
// was read to its end; 1 for a null image, no main or editor chunk, an object that cannot be
// taken (more than 10922 vertices or 8191 faces, a face index outside the vertex list, a list
// or value that does not fit its chunk or a 32-bit integer, no memory, sc_add_object failing).
// Objects appended before a failure stay in the scene. Objects without a mesh, and meshes
// without a vertex or face list, are skipped. An image cut short (its chunks claiming more
// bytes than size) keeps the objects that lie whole before the cut: the walk ends there.
int ld_3ds_meshes_mem(const uint8_t* image, sc_scene* scene);
// ld_3ds_meshes_mem_n with the size taken from the main chunk's own length: only for images
// whose first 6 bytes can be read and whose main chunk length is no more than their size.

int ld_3ds_keys_mem_n(const uint8_t* image, uint32_t size, const char* name, kf_camera_path* path);
// Fills path from the keyframer: the first camera node's position and roll tracks, the first
// target node's position track (all behind the keyframer header) and the frame segment. name
// is not used. 0 on success; 1 for a null image, no main, keyframer, keyframer header or
// segment chunk, or a track that is missing or refused (see ld_3ds_track_mem). What was stored
// before a failure stays in path (the failing track's array is null); the frames are written
// only on success, so an image without a keyframer leaves path untouched.
int ld_3ds_keys_mem(const uint8_t* image, const char* name, kf_camera_path* path);
// ld_3ds_keys_mem_n with the size taken from the main chunk's own length (see ld_3ds_meshes_mem).

int32_t* ld_3ds_track_mem(const uint8_t* image, int32_t* count, int which, int32_t budget);
// Reads one keyframer track, searching its node from ld_read_pos within budget bytes: which 0
// camera position, 1 camera roll, 2 target position. Returns a malloc'ed array of count keys
// (frame, x, y, z) or (frame, roll in 1024ths of a turn), owned by the caller, or null when the
// node or track is missing, which is not 0..2, the track is refused (no keys, more than 8191
// position or 16383 roll keys, keys past the chunk's end, key flags other than the five spline
// fields, a value beyond 32 bits) or memory is short. count is written once the track is found
// (0 when it is then refused). ld_read_pos is left where it was.

uint32_t ld_chunk_find_mem(const uint8_t* image, uint16_t id, int32_t budget);
// Walks sibling chunks from ld_read_pos, taking each one's length from budget, until one has the
// wanted id: returns its length with ld_read_pos just behind its header (the chunk may reach
// past the image's end: what is read of it stays inside the image). 0 when the budget runs out
// (ld_read_pos at the header after the last one read), a header does not fit the image or has a
// length below 6 (ld_read_pos at that header), or a chunk stepped over reaches past the image's
// end (ld_read_pos at the end: the search stops there).

uint32_t ld_chunk_main_mem(const uint8_t* image);
// The main chunk (0x4D4D) at ld_read_pos: its length, with ld_read_pos behind the header; 0 when
// the chunk there is another one or its header does not fit the image or has a length below 6.
// A length beyond the image is taken: the walks stop at the image's end.

void ld_name_mem(const uint8_t* image, char* name);
// Consumes a NUL-terminated name at ld_read_pos (up to the image's end at most) and stores its
// first 9 bytes in name[0..8]; a shorter read fills the rest with NULs.
