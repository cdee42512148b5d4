#pragma once
// Disk access shared by the file readers: the size of an open file and reads that either get
// every byte asked for or fail. No operation here prints.
#include <cstddef>
#include <cstdint>
#include <cstdio>

FILE* ld_file_open(const char* path);
// Opens path for reading ("rb") when it names a regular file; null when it does not open or is
// something else (a directory, a pipe: the open never waits for a writer).

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

uint8_t* ld_file_load(const char* path, size_t* size, const char** why);
// Reads the whole regular file at path (ld_file_open) into a malloc'ed buffer (at least one byte
// long) and closes it; *size is the byte count. Null, with the file closed, when it does not
// open (*why = "File not found!"), is no regular file or reads short ("Disk error.") or memory
// is short ("Out of memory."): the picture loader's texts for the same failures. The buffer is
// the caller's.
