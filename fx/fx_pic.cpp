// Picture loading for the effects' inits.
#include "fx/fx_pic.h"

#include "picture/iff.h"

const char fx_pic_too_large[] = "Picture too large.";

int32_t fx_pic_decode(const uint8_t* data, uint32_t size, uint8_t* dest, int32_t capacity,
                      uint8_t* palette)
{
    // Ask for the header first: the decoder writes width x height bytes whatever dest holds.
    if (iff_decode_n(data, size, nullptr, nullptr) == 0) return 0;
    const int64_t pixels = static_cast<int64_t>(iff_width) * iff_height;
    if (iff_is_pbm != 1 || iff_width < 0 || iff_height < 0 || pixels > capacity) {
        iff_msg = fx_pic_too_large;
        return 0;
    }
    return iff_decode_n(data, size, dest, palette);
}
