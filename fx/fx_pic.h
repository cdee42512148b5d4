// Picture loading shared by the 2D effects' inits: an embedded IFF picture decoded into a buffer
// of known capacity, refused instead of overrunning it.
#pragma once

#include <cstdint>

int32_t fx_pic_decode(const uint8_t* data, uint32_t size, uint8_t* dest, int32_t capacity,
                      uint8_t* palette);
// Decodes the chunky picture of `size` bytes at data into dest (capacity bytes) and palette
// (768 bytes), like iff_decode: -1 on success, 0 on failure with the reason in iff_msg. A picture
// that is not chunky or whose width x height exceeds capacity is refused with
// "Picture too large." and neither dest nor palette is written. Main flow only (effect inits).

extern const char fx_pic_too_large[];
// The text left in iff_msg when fx_pic_decode refuses a picture for its size or kind.
