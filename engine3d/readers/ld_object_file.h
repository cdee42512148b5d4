#pragma once
// Mesh files of any of the three kinds: the packed mesh file, a 3DS file, the multi-object mesh
// file, tried in that order; and picture files made into textures.
#include <cstdint>

#include "engine3d/tex_buffer.h"

struct sc_scene;

int ld_object_file(const char* path, sc_scene* scene);
// Appends the meshes of the file at path to scene: a packed mesh file's object
// (ld_mesh_bin_file) when the file is one; else a 3DS file's (ld_3ds_meshes_file) when that
// reader gives 0; else the result of the multi-object reader (ld_mesh_multi_file). 0 success,
// 1 failure. A 3DS file that fails part-way leaves its first objects in the scene before the
// multi-object reader is tried.

tex_buffer ld_texture_file(const char* path, uint8_t* palette);
// A new 8-bit texture of the IFF picture file at path (PBM or ILBM), resampled to 256x256 as
// tex_from_picture does; the picture's palette goes to `palette` (768 bytes; null: not kept).
// Null when the file does not open ("File not found!" in iff_msg), is no regular file or reads
// short ("Disk error."), memory is short, or the picture fails (the decoder's text); nothing is
// printed. The file is read once, whole, and closed on every return.
