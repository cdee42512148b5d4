// IFF FORM pictures ("PBM " chunky and "ILBM" planar, ByteRun1 bodies) decoded from memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Describe the last picture whose BMHD was found; written only once a BMHD is found.
extern int32_t iff_width;   // pixels
extern int32_t iff_height;  // rows
extern int32_t iff_planes;  // the BMHD plane byte, sign-extended
extern int32_t iff_is_pbm;  // 1 chunky "PBM ", 0 planar "ILBM"
extern const char* iff_msg;
// Text of the last iff_decode / iff_decode_n / iff_load_file outcome (written on every return):
// "Invalid picture.", "BMHD not found.", "Destination is NULL.", "CMAP not found.",
// "BODY not found.", "Picture loaded ok.", "File not found!", "Out of memory.", "Disk error.",
// and for pictures refused rather than decoded out of bounds: "Unsupported picture."
// (planar with planes outside 1..8) and "Picture data ends early." (the body stops short).

int32_t iff_decode(const uint8_t* data, uint8_t* dest, uint8_t* palette);
// Decodes a whole IFF file held in memory: -1 on success, 0 on failure (message in iff_msg).
// The data must begin with "FORM" and its length; nothing past 8 + that length is read, so
// data without a FORM header at offset 0 is "Invalid picture.". dest null: header query (fills
// the four globals, returns -1, touches no palette, which may then be null). Otherwise dest
// takes width x height bytes (PBM) or (width >> 3) x planes x height bytes (ILBM) and
// palette 768 bytes (256 x red, green, blue). Main flow only.

int32_t iff_decode_n(const uint8_t* data, size_t size, uint8_t* dest, uint8_t* palette);
// As iff_decode for data of exactly `size` bytes (an embedded asset and its emb_*_size, a file);
// every read stays below data + size. Chunks are found by searching their tags at every offset
// 0..64001 (form type at 0..17, "ILBM" before "PBM "), whatever the chunk lengths say; a tag
// whose chunk header does not fit in the data is not found. A CMAP whose 768 bytes run past
// the data is zero-filled at its end; the final run of a body is cut at the output size.

int32_t iff_load_file(const char* path, uint8_t* dest, uint8_t* palette);
// Reads the whole file and decodes it with its length (iff_decode_n): -1 success, 0 failure.

void iff_planar_to_chunky(const uint8_t* src, uint8_t* dst);
// Turns the unpacked ILBM body of the last decode ((iff_width >> 3) x iff_planes x iff_height
// bytes) into iff_width x iff_height indices; plane 0 is the least significant bit and planes
// past the eighth are lost. Call it right after iff_decode of that picture.

void iff_planar_to_chunky_ex(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                             int32_t planes);
// Stores width, height and planes into the globals, then converts as iff_planar_to_chunky.

int32_t iff_decode_fit(const uint8_t* data, uint32_t size, uint8_t* dest, int32_t capacity,
                       uint8_t* palette);
// Picture loading for the effects' and scenes' inits: decodes the chunky picture of `size` bytes
// at data into dest (capacity bytes) and palette (768 bytes), like iff_decode_n: -1 on success,
// 0 on failure with the reason in iff_msg. A picture that is not chunky or whose width x height
// exceeds capacity is refused with iff_too_large and neither dest nor palette is written; a
// picture that fails to decode after that (its data ends early) leaves its width x height
// bytes of dest and the palette zero.

extern const char iff_too_large[];
// "Picture too large.": the text left in iff_msg when iff_decode_fit refuses a picture.
