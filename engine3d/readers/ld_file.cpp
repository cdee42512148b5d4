// Disk access for the file readers: sizes from fstat, all-or-nothing reads.
#include "engine3d/readers/ld_file.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>

int64_t ld_file_size(FILE* f)
{
    struct stat st;
    if (!f || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int ld_file_read(FILE* f, void* dst, size_t bytes)
{
    return fread(dst, 1, bytes, f) == bytes ? 0 : 1;
}

int ld_file_seek(FILE* f, int64_t pos)
{
    return pos >= 0 && fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0 ? 0 : 1;
}

int64_t ld_file_pos(FILE* f)
{
    return static_cast<int64_t>(ftello(f));
}

uint8_t* ld_file_load(const char* path, size_t* size)
{
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f)
        return nullptr;
    const int64_t bytes = ld_file_size(f);
    uint8_t* buf = nullptr;
    if (bytes >= 0 && static_cast<uint64_t>(bytes) < SIZE_MAX)
        buf = static_cast<uint8_t*>(malloc(bytes > 0 ? static_cast<size_t>(bytes) : 1));
    // a file that shrank since fstat reads short and is refused
    if (buf && ld_file_read(f, buf, static_cast<size_t>(bytes))) {
        free(buf);
        buf = nullptr;
    }
    fclose(f);
    if (buf)
        *size = static_cast<size_t>(bytes);
    return buf;
}
