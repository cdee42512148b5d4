// IFF picture decoder. Chunks are found by searching the data for their tags, not by walking
// the chunk structure, so a picture whose chunk lengths are wrong still decodes; every search and
// copy is bounded by the data's length (given, or taken from the FORM header).
#include "picture/iff.h"
#include "picture/pix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int32_t iff_width;
int32_t iff_height;
int32_t iff_planes;
int32_t iff_is_pbm;
const char* iff_msg = "";

namespace {

// Positions searched for the form type, and for each chunk tag.
constexpr size_t form_type_positions = 18;
constexpr size_t tag_positions = 64002;

// First offset in 0..positions-1 where `tag` begins with `need` bytes from there on inside the
// data, or SIZE_MAX when there is none.
size_t iff_find(const uint8_t* data, size_t size, const char* tag, size_t positions, size_t need)
{
    if (size < need)
        return SIZE_MAX;
    size_t last = size - need;  // highest offset whose `need` bytes still lie in the data
    if (last > positions - 1)
        last = positions - 1;
    for (size_t i = 0; i <= last; i++)
        if (std::memcmp(data + i, tag, 4) == 0)
            return i;
    return SIZE_MAX;
}

uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

int32_t iff_fail(const char* msg)
{
    iff_msg = msg;
    return 0;
}

// ByteRun1 from src (src_left bytes) into dest until `out` bytes are written. A run that would
// pass the output size is cut there. Returns false when the source ends first.
bool iff_unpack(const uint8_t* src, size_t src_left, uint8_t* dest, uint64_t out)
{
    uint64_t done = 0;
    while (done < out) {
        if (src_left == 0)
            return false;
        int n = int8_t(*src++);
        src_left--;
        if (n >= 0) {
            uint64_t len = uint64_t(n) + 1;
            if (len > src_left)
                return false;
            uint64_t put = len < out - done ? len : out - done;
            std::memcpy(dest + done, src, size_t(put));
            src += len;
            src_left -= size_t(len);
            done += put;
        } else if (n != -128) {
            if (src_left == 0)
                return false;
            uint64_t len = uint64_t(1 - n);  // 2..128 copies
            uint64_t put = len < out - done ? len : out - done;
            std::memset(dest + done, *src++, size_t(put));
            src_left--;
            done += put;
        }
        // -128: no operation; the next byte is a control byte again
    }
    return true;
}

}  // namespace

int32_t iff_decode_n(const uint8_t* data, size_t size, uint8_t* dest, uint8_t* palette)
{
    // 1. form type: "ILBM" first, so data holding both is planar
    int is_pbm;
    if (iff_find(data, size, "ILBM", form_type_positions, 4) != SIZE_MAX)
        is_pbm = 0;
    else if (iff_find(data, size, "PBM ", form_type_positions, 4) != SIZE_MAX)
        is_pbm = 1;
    else
        return iff_fail("Invalid picture.");

    // 2. header: the fields read reach t+16
    size_t t = iff_find(data, size, "BMHD", tag_positions, 17);
    if (t == SIZE_MAX)
        return iff_fail("BMHD not found.");
    iff_width = int32_t(be16(data + t + 8));
    iff_height = int32_t(be16(data + t + 10));
    iff_planes = int32_t(int8_t(data[t + 16]));
    iff_is_pbm = is_pbm;

    // 3. header query
    if (dest == nullptr) {
        iff_msg = "Destination is NULL.";
        return -1;
    }

    // 4. palette: 768 bytes from c+8 whatever the chunk length says; the part past the data is 0
    size_t c = iff_find(data, size, "CMAP", tag_positions, 8);
    if (c == SIZE_MAX)
        return iff_fail("CMAP not found.");
    size_t have = size - (c + 8);
    if (have > 768)
        have = 768;
    std::memcpy(palette, data + c + 8, have);
    std::memset(palette + have, 0, 768 - have);

    // 5. body
    size_t b = iff_find(data, size, "BODY", tag_positions, 8);
    if (b == SIZE_MAX)
        return iff_fail("BODY not found.");

    // 6. output size. A planar picture of more than 8 planes would unpack to more than the
    // width x height bytes that callers allocate after a header query: refuse it.
    uint64_t w = uint64_t(iff_width), h = uint64_t(iff_height), out;
    if (is_pbm) {
        out = w * h;
    } else {
        if (iff_planes < 1 || iff_planes > 8)
            return iff_fail("Unsupported picture.");
        out = (w >> 3) * uint64_t(iff_planes) * h;
    }

    // 7. ByteRun1
    if (!iff_unpack(data + b + 8, size - (b + 8), dest, out))
        return iff_fail("Picture data ends early.");
    iff_msg = "Picture loaded ok.";
    return -1;
}

int32_t iff_decode(const uint8_t* data, uint8_t* dest, uint8_t* palette)
{
    // The data's length is the one its FORM header states; data without one cannot be bounded.
    if (data == nullptr || std::memcmp(data, "FORM", 4) != 0)
        return iff_fail("Invalid picture.");
    uint32_t form_len = (uint32_t(data[4]) << 24) | (uint32_t(data[5]) << 16) |
                        (uint32_t(data[6]) << 8) | data[7];
    return iff_decode_n(data, size_t(form_len) + 8, dest, palette);
}

int32_t iff_load_file(const char* path, uint8_t* dest, uint8_t* palette)
{
    // Only regular files: a FIFO without a writer would block the open (and the read) for ever,
    // and a directory reports a size of LONG_MAX. The open does not wait; the reads then block.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return iff_fail("File not found!");
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return iff_fail("Disk error.");
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        close(fd);
        return iff_fail("Disk error.");
    }
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return iff_fail("Disk error.");
    }
    uint8_t* buf = static_cast<uint8_t*>(std::malloc(size > 0 ? size_t(size) : 1));
    if (buf == nullptr) {
        std::fclose(f);
        return iff_fail("Out of memory.");
    }
    size_t got = std::fread(buf, 1, size_t(size), f);
    std::fclose(f);
    if (got != size_t(size)) {
        std::free(buf);
        return iff_fail("Disk error.");
    }
    int32_t r = iff_decode_n(buf, size_t(size), dest, palette);
    std::free(buf);
    return r != 0 ? -1 : 0;
}

void iff_planar_to_chunky(const uint8_t* src, uint8_t* dst)
{
    const int32_t w = iff_width, h = iff_height, planes = iff_planes;
    if (w <= 0 || h <= 0)
        return;
    const size_t row_bytes = size_t(w / 8);  // one plane row
    const size_t stride = row_bytes * size_t(planes > 0 ? planes : 0);
    const int used = planes < 8 ? planes : 8;  // planes past the eighth would set bits above 7
    // Columns past the last whole byte of a plane row have no bits of their own (a width that is
    // not a multiple of 8): they come out 0 rather than reading the next plane row, or past the
    // end of the body on the last row.
    const int32_t whole = int32_t(row_bytes * 8);
    for (int32_t y = 0; y < h; y++) {
        const uint8_t* row = src + size_t(y) * stride;
        uint8_t* out = dst + size_t(y) * size_t(w);
        for (int32_t x = whole; x < w; x++)
            out[x] = 0;
        for (int32_t x = 0; x < whole; x++) {
            const size_t byte = size_t(x >> 3);
            const int shift = 7 - (x & 7);
            uint8_t v = 0;
            for (int p = 0; p < used; p++)
                v |= uint8_t(((row[size_t(p) * row_bytes + byte] >> shift) & 1) << p);
            out[x] = v;
        }
    }
}

void iff_planar_to_chunky_ex(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                             int32_t planes)
{
    iff_width = width;
    iff_height = height;
    iff_planes = planes;
    iff_planar_to_chunky(src, dst);
}

const char iff_too_large[] = "Picture too large.";

int32_t iff_decode_fit(const uint8_t* data, uint32_t size, uint8_t* dest, int32_t capacity,
                       uint8_t* palette)
{
    // Ask for the header first: the decoder writes width x height bytes whatever dest holds.
    if (iff_decode_n(data, size, nullptr, nullptr) == 0) return 0;
    const int64_t pixels = static_cast<int64_t>(iff_width) * iff_height;
    if (iff_is_pbm != 1 || iff_width < 0 || iff_height < 0 || pixels > capacity) {
        iff_msg = iff_too_large;
        return 0;
    }
    // A picture whose data ends early would leave part of it behind: show none of it.
    const int32_t r = iff_decode_n(data, size, dest, palette);
    if (r == 0) {
        std::memset(dest, 0, static_cast<size_t>(pixels));
        std::memset(palette, 0, pix_palette_bytes);
    }
    return r;
}
