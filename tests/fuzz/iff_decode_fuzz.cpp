// Fuzzes the picture decoder: the length-taking entry with the raw input, and the FORM-bounded
// entry with the input behind a FORM header that states its true length. Neither may read past
// the input nor write past the destination it was given.
#include <cstdint>
#include <cstring>
#include <vector>

#include "picture/iff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 256 KiB holds every picture of the show and keeps runs fast
    if (size > (1u << 18))
        return 0;
    // header query first: then a destination of exactly the size the picture unpacks to (up to
    // 512 KiB, which holds every picture of the show, so that runs stay fast)
    std::vector<uint8_t> copy(data, data + size);  // exact-size heap copy: ASan sees overreads
    if (iff_decode_n(copy.data(), copy.size(), nullptr, nullptr) == -1) {
        uint64_t w = uint64_t(iff_width), h = uint64_t(iff_height);
        uint64_t out = iff_is_pbm ? w * h : (w >> 3) * uint64_t(iff_planes < 0 ? 0 : iff_planes) * h;
        if (out <= (1u << 19)) {
            std::vector<uint8_t> dest(static_cast<size_t>(out)), pal(768);
            if (iff_decode_n(copy.data(), copy.size(), dest.data(), pal.data()) == -1 && !iff_is_pbm &&
                iff_width > 0 && iff_height > 0 && w * h <= (1u << 19)) {
                std::vector<uint8_t> px(size_t(w * h));
                iff_planar_to_chunky(dest.data(), px.data());
            }
        }
    }
    std::vector<uint8_t> form(8 + size);
    std::memcpy(form.data(), "FORM", 4);
    form[4] = uint8_t(size >> 24), form[5] = uint8_t(size >> 16), form[6] = uint8_t(size >> 8), form[7] = uint8_t(size);
    if (size)
        std::memcpy(form.data() + 8, data, size);
    if (iff_decode(form.data(), nullptr, nullptr) == -1) {
        uint64_t out = iff_is_pbm ? uint64_t(iff_width) * uint64_t(iff_height)
                                  : uint64_t(iff_width >> 3) * uint64_t(iff_planes < 0 ? 0 : iff_planes) * uint64_t(iff_height);
        if (out <= (1u << 19)) {
            std::vector<uint8_t> dest(static_cast<size_t>(out)), pal(768);
            iff_decode(form.data(), dest.data(), pal.data());
        }
    }
    return 0;
}
