#pragma once
// Disk access shared by the file readers: the size of an open file and reads that either get
// every byte asked for or fail. No operation here prints.
#include <cstddef>
#include <cstdint>
#include <cstdio>

int64_t ld_file_size(FILE* f);
// Bytes in the open file, or -1 when it is no regular file (a pipe, a directory) or cannot be
// asked. Leaves the file's position alone.

int ld_file_read(FILE* f, void* dst, size_t bytes);
// Reads exactly `bytes` at the file's position into dst: 0 when all came, 1 on a short read or
// an error (what came is then in dst, the position behind it).

int ld_file_seek(FILE* f, int64_t pos);
// Moves to byte `pos` from the file's start: 0, or 1 when the position cannot be taken.

int64_t ld_file_pos(FILE* f);
// The file's position, or -1 when it cannot be told.

uint8_t* ld_file_load(const char* path, size_t* size);
// Opens path ("rb"), reads the whole regular file into a malloc'ed buffer (at least one byte
// long) and closes it; *size is the byte count. Null, with the file closed, when it does not
// open, is no regular file, reads short or memory is short. The buffer is the caller's.
