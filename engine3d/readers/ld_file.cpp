// Disk access for the file readers: sizes from fstat, all-or-nothing reads.
#include "engine3d/readers/ld_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>

FILE* ld_file_open(const char* path)
{
    if (!path)
        return nullptr;
    // non-blocking, so that a pipe without a writer is refused instead of waited on
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    const int flags = fcntl(fd, F_GETFL);
    FILE* f = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        f = fdopen(fd, "rb");
    if (!f)
        close(fd);
    return f;
}

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

uint8_t* ld_file_load(const char* path, size_t* size, const char** why)
{
    FILE* f = ld_file_open(path);
    if (!f) {
        // there, but no file that can be read whole (a directory, a pipe)
        *why = path && access(path, F_OK) == 0 ? "Disk error." : "File not found!";
        return nullptr;
    }
    const int64_t bytes = ld_file_size(f);
    uint8_t* buf = nullptr;
    *why = "Disk error.";
    if (bytes >= 0 && static_cast<uint64_t>(bytes) < SIZE_MAX) {
        buf = static_cast<uint8_t*>(malloc(bytes > 0 ? static_cast<size_t>(bytes) : 1));
        if (!buf)
            *why = "Out of memory.";
    }
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
