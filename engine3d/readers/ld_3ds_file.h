#pragma once
// 3DS files on disk: meshes, a camera object and the keyframer's camera path, read from the file
// with the chunk walks, budgets, conversions and limits of the in-memory reader (ld_3ds.h), so
// both give the same result for the same bytes. The file's position takes the place of the read
// position; no read goes past the file's end: a search or a name that runs into it stops there
// (the chunk not found, the name ended), so a file cut short keeps the objects that lie whole
// before the cut. The path-taking readers open the file ("rb") and close it on every return. No
// operation prints; none is reentrant.
#include <cstdint>
#include <cstdio>

#include "engine3d/kf.h"

struct sc_scene;

int ld_3ds_meshes_file(const char* path, sc_scene* scene);
// As ld_3ds_meshes_mem_n on the file's bytes: every named object with a triangle mesh is
// appended to scene, in file order. 0 when the object list was read to its end; 1 when the file
// does not open or is no regular file, or as the in-memory reader fails. Objects appended
// before a failure stay in the scene.

int ld_3ds_camera_file(const char* path, int n, sc_scene* scene);
// Sets up scene (sc_init: it must not hold a live scene) with the n-th camera object (counting
// from 1) of the file's editor data: camera position and target x 10, bank angle in 1024ths of a
// turn as the roll, the camera object's name (first 9 bytes) as the scene's name; look-at
// camera. 0 when set; 1 for n < 1 (file not opened), a file that does not open, no main or
// editor chunk, sc_init failing, or fewer than n camera objects, a camera chunk too short for
// its seven values or a value beyond 32 bits (the scene is then released again).

int ld_3ds_keys_file(const char* path, const char* name, kf_camera_path* path_out);
// As ld_3ds_keys_mem_n on the file's bytes; name is not used. 0 on success; 1 when the file does
// not open or as the in-memory reader fails. Key arrays read before a failure stay in path_out.

int32_t* ld_3ds_track_file(FILE* f, int32_t* count, int which, int32_t budget);
// As ld_3ds_track_mem from the file's position: the node of `which` (0 camera position, 1 camera
// roll, 2 target position) searched within budget bytes, then its track. The malloc'ed keys
// (caller's), or null; the file is back at its entry position on every return.

uint32_t ld_chunk_find_file(FILE* f, uint16_t id, int32_t budget);
// As ld_chunk_find_mem from the file's position: the found chunk's length with the file just
// behind its header; 0 when the budget runs out (the file at the header after the last one
// read), a header would reach past the file's end or is shorter than 6 bytes (the file at that
// header), or a chunk stepped over reaches past the end (the file at its end); 0 for a null f.

uint32_t ld_chunk_main_file(FILE* f);
// As ld_chunk_main_mem at the file's position: the main chunk's length with the file behind its
// header, or 0.

void ld_name_file(FILE* f, char* name);
// As ld_name_mem: consumes a NUL-terminated name (up to the file's end at most) and stores its
// first 9 bytes in name[0..8], NULs after a shorter one.
