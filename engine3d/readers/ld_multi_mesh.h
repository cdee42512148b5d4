#pragma once
// The multi-object mesh file, little-endian:
//   u16 object count, then per object:
//   u16 index (its position in the file from 0), 10 name bytes (the first 9 kept), u16 flags
//   (2: mapping coordinates follow, 4: a normal block follows; 1 or 8 must be set), u16 vertex
//   count n, u16 face count m, n x 3 i32 vertices (unscaled), with flag 2 n x i16 u then n x i16
//   v (texels), with flag 4 a u16 divisor and n x 3 i16 normals (read past: the object's normals
//   are computed), m x 4 u16 faces a, b, c, d (d equal to c: a triangle).

struct sc_scene;

int ld_mesh_multi_file(const char* path, sc_scene* scene);
// Appends every object of the file at path to scene, in file order, finished and named. 0 when
// all were read; 1 when the file does not open or is no regular file, or at the first object
// whose index is out of place, whose flags have neither 1 nor 8, whose data the file does not
// hold, whose face names a vertex it lacks, that obj_alloc refuses (more than 30000 faces) or
// sc_add_object or obj_finish fails on. Objects appended before a failure stay in the scene; the
// failing one is never left half read in it. The file is closed on every return.
