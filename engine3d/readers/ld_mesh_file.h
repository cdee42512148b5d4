#pragma once
// The packed mesh file: one packed 16-bit mesh image (obj_packed_mesh: signed 16-bit counts n
// and f, n x (x, y, z), f x (a, b, c), optionally n x (u, v) bytes), little-endian, and nothing
// else. Its size tells whether the mapping bytes are there.

struct sc_object;

sc_object* ld_mesh_bin_file(const char* path);
// A finished object (in no scene; the caller's) of the packed mesh file at path, or null when the
// file does not open, is no regular file, is not exactly 4 + 6 (n + f) bytes (no mapping) or
// 4 + 6 (n + f) + 2n bytes (with mapping), has negative counts or more than 30000 faces, names
// a vertex it lacks in a face, or memory is short. The file is closed on every return.
