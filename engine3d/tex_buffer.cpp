// Texture areas: 1024-aligned, with the allocation's address kept just before the texels.
#include "engine3d/tex_buffer.h"

#include <cstdlib>
#include <cstring>

#include "picture/iff.h"

tex_buffer tex_alloc(int32_t bits)
{
    const int32_t bytes = (bits + 7) >> 3;
    if (bytes < 1 || bytes > 4)
        return nullptr;
    uint8_t* p = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes) * tex_area_texels + 2048));
    if (!p)
        return nullptr;
    // Rounding down to 1024 and stepping 2048 on leaves at least 1024 bytes in front of the
    // texels for the stored address, and the whole area inside the allocation.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(1023)) + 2048;
    uint8_t* t = p + (start - reinterpret_cast<uintptr_t>(p));
    std::memcpy(t - sizeof(uint8_t*), &p, sizeof p);
    return t;
}

void tex_free(tex_buffer t)
{
    if (!t)
        return;
    uint8_t* p;
    std::memcpy(&p, t - sizeof(uint8_t*), sizeof p);
    std::free(p);
}

// Decodes through `decode` (the sized or the unsized decoder) into a picture of iff_width x
// iff_height indices; null when the picture or memory fails.
template <typename Decode>
static uint8_t* decode_picture(Decode decode, uint8_t* palette)
{
    if (decode(nullptr, nullptr) != -1 || iff_width < 1 || iff_height < 1)
        return nullptr;
    const size_t pixels = static_cast<size_t>(iff_width) * static_cast<size_t>(iff_height);
    // A planar body may hold more bytes than pixels (more than eight planes): room for either.
    const int32_t planes = iff_planes > 0 ? iff_planes : 0;
    const size_t body = static_cast<size_t>(iff_width >> 3) * static_cast<size_t>(planes) *
                        static_cast<size_t>(iff_height);
    uint8_t* raw = static_cast<uint8_t*>(std::malloc(pixels > body ? pixels : body));
    if (!raw)
        return nullptr;
    if (decode(raw, palette) != -1) {
        std::free(raw);
        return nullptr;
    }
    if (iff_is_pbm)
        return raw;
    uint8_t* chunky = static_cast<uint8_t*>(std::malloc(pixels));
    if (chunky)
        iff_planar_to_chunky(raw, chunky);
    std::free(raw);
    return chunky;
}

// Nearest-neighbour resampling of a w x h picture into the texture's 256x256 texels; the
// spare rows are cleared.
static void resample(const uint8_t* pic, int32_t w, int32_t h, tex_buffer t)
{
    std::memset(t, 0, tex_area_texels);
    const int32_t sw = w < 256 ? w : 256, sh = h < 256 ? h : 256;
    for (int32_t y = 0; y < 256; y++) {
        const uint8_t* row = pic + static_cast<size_t>((y * sh) >> 8) * static_cast<size_t>(w);
        for (int32_t x = 0; x < 256; x++)
            t[y * 256 + x] = row[(x * sw) >> 8];
    }
}

template <typename Decode>
static tex_buffer texture_of(Decode decode, uint8_t* palette)
{
    uint8_t scratch[768];  // the decoder always writes a palette: a null one goes here
    if (!palette)
        palette = scratch;
    tex_buffer t = tex_alloc(8);
    if (!t)
        return nullptr;
    uint8_t* pic = decode_picture(decode, palette);
    if (!pic) {
        tex_free(t);
        return nullptr;
    }
    resample(pic, iff_width, iff_height, t);
    std::free(pic);
    return t;
}

tex_buffer tex_from_picture(const uint8_t* image, uint8_t* palette)
{
    return texture_of([&](uint8_t* dest, uint8_t* pal) { return iff_decode(image, dest, pal); }, palette);
}

tex_buffer tex_from_picture_n(const uint8_t* image, size_t size, uint8_t* palette)
{
    // ByteRun1 turns two bytes into at most 128, so `size` bytes cannot describe a body of more than
    // 64 x size bytes: a picture that declares more is refused before anything of its declared size is
    // allocated (a few bytes could otherwise ask for gigabytes).
    uint8_t scratch[768];
    if (iff_decode_n(image, size, nullptr, palette ? palette : scratch) != -1)
        return nullptr;
    const uint64_t w = uint32_t(iff_width), h = uint32_t(iff_height);
    const uint64_t body = iff_is_pbm ? w * h : (w >> 3) * uint64_t(iff_planes > 0 ? iff_planes : 0) * h;
    // (a planar picture outside 1..8 planes is refused by the decoder, so it is refused here first)
    if (body > 64u * uint64_t(size) + 128u || (!iff_is_pbm && (iff_planes < 1 || iff_planes > 8)))
        return nullptr;
    return texture_of([&](uint8_t* dest, uint8_t* pal) { return iff_decode_n(image, size, dest, pal); },
                      palette);
}
