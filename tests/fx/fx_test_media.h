// Test media built in code: chunky IFF pictures and animation containers with chosen indices and
// palettes, so an effect's output can be traced back to the picture and frame it came from.
#pragma once

#include <cstdint>
#include <vector>

namespace fxt {

inline void put_be32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}
inline void put_tag(std::vector<uint8_t>& v, const char* t)
{
    for (int k = 0; k < 4; k++) v.push_back(static_cast<uint8_t>(t[k]));
}
// Appends with push_back: GCC 12 warns falsely about vector::insert of ranges here.
inline void put_bytes(std::vector<uint8_t>& v, const uint8_t* p, size_t n)
{
    for (size_t k = 0; k < n; k++) v.push_back(p[k]);
}

// A FORM "PBM " of w x h indices with a 768-byte palette and a ByteRun1 body of literal runs.
inline std::vector<uint8_t> make_pbm(int w, int h, const std::vector<uint8_t>& idx, const std::vector<uint8_t>& pal)
{
    std::vector<uint8_t> body;
    for (size_t i = 0; i < idx.size();) {
        const size_t n = idx.size() - i < 128 ? idx.size() - i : 128;
        body.push_back(static_cast<uint8_t>(n - 1));
        put_bytes(body, idx.data() + i, n);
        i += n;
    }
    if (body.size() & 1) body.push_back(0x80);   // pad byte: a no-op control byte
    std::vector<uint8_t> f;
    put_tag(f, "FORM");
    put_be32(f, 0);
    put_tag(f, "PBM ");
    put_tag(f, "BMHD");
    put_be32(f, 20);
    // size, origin 0, 8 planes, no mask, ByteRun1, pad, no transparent colour, aspect 1:1, page
    const uint8_t bmhd[20] = {uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h), 0, 0, 0, 0, 8, 0,
                              1, 0, 0, 0, 1, 1, uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h)};
    put_bytes(f, bmhd, 20);
    put_tag(f, "CMAP");
    put_be32(f, 768);
    put_bytes(f, pal.data(), pal.size());
    put_tag(f, "BODY");
    put_be32(f, static_cast<uint32_t>(body.size()));
    put_bytes(f, body.data(), body.size());
    const uint32_t form_len = static_cast<uint32_t>(f.size() - 8);
    for (int k = 0; k < 4; k++) f[4 + k] = static_cast<uint8_t>(form_len >> (24 - 8 * k));
    return f;
}

// Palette entry i = (r, g, b) from a function of i.
template <class F> std::vector<uint8_t> make_palette(F rgb)
{
    std::vector<uint8_t> p(768);
    for (int i = 0; i < 256; i++) {
        const uint32_t c = rgb(i);
        p[3 * i] = static_cast<uint8_t>(c >> 16);
        p[3 * i + 1] = static_cast<uint8_t>(c >> 8);
        p[3 * i + 2] = static_cast<uint8_t>(c);
    }
    return p;
}

// An animation container of `count` frames; frame k has every index equal to k + 1 and its
// palette maps index i to 0x010000 * k + i, so a pixel names its frame.
inline std::vector<uint8_t> make_anim(uint32_t count)
{
    const uint32_t frame = 768 + 160 * 120;
    std::vector<uint8_t> c(4 + 4 * count + frame * count);
    auto le32 = [&](size_t at, uint32_t x) {
        for (int k = 0; k < 4; k++) c[at + k] = static_cast<uint8_t>(x >> (8 * k));
    };
    le32(0, count);
    for (uint32_t k = 0; k < count; k++) {
        const uint32_t off = 4 + 4 * count + frame * k;
        le32(4 + 4 * k, off);
        for (int i = 0; i < 256; i++) {
            c[off + 3 * i] = static_cast<uint8_t>(k);
            c[off + 3 * i + 1] = 0;
            c[off + 3 * i + 2] = static_cast<uint8_t>(i);
        }
        for (uint32_t p = 0; p < 160 * 120; p++) c[off + 768 + p] = static_cast<uint8_t>(k + 1);
    }
    return c;
}

}  // namespace fxt
