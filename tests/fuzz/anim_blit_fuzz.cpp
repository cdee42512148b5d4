// Fuzzes the animation container reader: any bytes as a container of exactly their length,
// drawn at the frame the first byte names and at the container's last frame. Nothing may be
// read past the container nor written past the 320x240 frame.
#include <cstdint>
#include <vector>

#include "picture/anim.h"
#include "picture/pix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // a few frames at most: every draw doubles a whole 160x120 frame
    if (size < 1 || size > 4 * anim_frame_bytes)
        return 0;
    const std::vector<uint8_t> box(data + 1, data + size);   // exact size: the sanitizer sees overreads
    static std::vector<uint32_t> frame(pix_frame_pixels);
    uint32_t last = 0;
    if (box.size() >= 4)
        last = anim_frame_count(box.data()) - 1;
    for (uint32_t index : {uint32_t(data[0]), last})
        anim_blit_frame_n(index, box.data(), box.size(), frame.data());
    return 0;
}
