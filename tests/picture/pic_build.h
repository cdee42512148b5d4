// Pictures and animation containers built in the tests, with chosen indices and palettes, so a
// decoded or drawn pixel can be traced back to where it came from.
#pragma once

#include <cstdint>
#include <vector>

namespace pic {

using bytes = std::vector<uint8_t>;

inline void be32(bytes& b, uint32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s)); }
inline void tag(bytes& b, const char* t) { for (int i = 0; i < 4; i++) b.push_back(uint8_t(t[i])); }
inline void chunk(bytes& b, const char* t, const bytes& d)
{
    tag(b, t);
    be32(b, uint32_t(d.size()));
    for (uint8_t x : d) b.push_back(x);   // push_back: GCC 12 warns falsely about insert here
}
inline bytes bmhd(int w, int h, int planes)
{
    bytes d(20, 0);
    d[0] = uint8_t(w >> 8), d[1] = uint8_t(w), d[2] = uint8_t(h >> 8), d[3] = uint8_t(h);
    d[8] = uint8_t(planes), d[10] = 1;
    return d;
}
// "FORM" <length> <type> BMHD CMAP BODY.
inline bytes form(const char* type, int w, int h, int planes, const bytes& cmap, const bytes& body)
{
    bytes f;
    tag(f, type);
    chunk(f, "BMHD", bmhd(w, h, planes));
    chunk(f, "CMAP", cmap);
    chunk(f, "BODY", body);
    bytes out;
    tag(out, "FORM");
    be32(out, uint32_t(f.size()));
    for (uint8_t x : f) out.push_back(x);
    return out;
}
// 256 colours 0xRRGGBB = colour(i).
template <class C> bytes palette(C colour)
{
    bytes p;
    for (int i = 0; i < 256; i++)
        for (int s = 16; s >= 0; s -= 8) p.push_back(uint8_t(colour(i) >> s));
    return p;
}
// A chunky picture of w x h indices at(y, x), stored as literal ByteRun1 runs.
template <class A, class C> bytes pbm(int w, int h, A at, C colour)
{
    bytes idx, body;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) idx.push_back(uint8_t(at(y, x)));
    for (size_t i = 0; i < idx.size(); i += 128) {
        const size_t n = idx.size() - i < 128 ? idx.size() - i : 128;
        body.push_back(uint8_t(n - 1));
        for (size_t k = 0; k < n; k++) body.push_back(idx[i + k]);
    }
    return form("PBM ", w, h, 8, palette(colour), body);
}

// Colour of index e in frame k of the containers below.
inline uint32_t frame_colour(uint32_t k, uint32_t e) { return (k << 16) | ((e & 255) << 8) | (255 - (e & 255)); }
// An animation container of `count` 160x120 frames; frame k's pixel (i, j) has index at(k, i, j).
template <class A> bytes anim(uint32_t count, A at)
{
    const uint32_t frame = 768 + 160 * 120;
    bytes c(4 + 4 * count + frame * count);
    auto le32 = [&](size_t p, uint32_t v) {
        for (int i = 0; i < 4; i++) c[p + i] = uint8_t(v >> (8 * i));
    };
    le32(0, count);
    for (uint32_t k = 0; k < count; k++) {
        const uint32_t off = 4 + 4 * count + frame * k;
        le32(4 + 4 * k, off);
        for (uint32_t e = 0; e < 256; e++)
            for (int s = 0; s < 3; s++) c[off + 3 * e + s] = uint8_t(frame_colour(k, e) >> (16 - 8 * s));
        for (int i = 0; i < 120; i++)
            for (int j = 0; j < 160; j++) c[off + 768 + 160 * i + j] = uint8_t(at(k, i, j));
    }
    return c;
}
// Frame k drawn in one colour, frame_colour(k, k + 1).
inline bytes plain_anim(uint32_t count) { return anim(count, [](uint32_t k, int, int) { return k + 1; }); }
inline uint32_t plain_colour(uint32_t k) { return frame_colour(k, k + 1); }

}  // namespace pic
