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
    d[0] = uint8_t(w >> 8), d[1] = uint8_t(w), d[2] = uint8_t(h >> 8), d[3] = uint8_t(h), d[8] = uint8_t(planes), d[10] = 1;
    return d;
}
// "FORM" <length> <type> BMHD CMAP BODY.
inline bytes form(const char* type, int w, int h, int planes, const bytes& cmap, const bytes& body)
{
    bytes f, out;
    tag(f, type);
    chunk(f, "BMHD", bmhd(w, h, planes));
    chunk(f, "CMAP", cmap);
    chunk(f, "BODY", body);
    chunk(out, "FORM", f);
    return out;
}
// 256 colours 0xRRGGBB = colour(i).
template <class C> bytes palette(C colour)
{
    bytes p;
    for (int i = 0; i < 768; i++) p.push_back(uint8_t(colour(i / 3) >> (16 - 8 * (i % 3))));
    return p;
}
// A chunky picture of w x h indices at(y, x), stored as literal ByteRun1 runs.
template <class A, class C> bytes pbm(int w, int h, A at, C colour)
{
    bytes body;
    for (int i = 0; i < w * h; i++) {
        if (i % 128 == 0) body.push_back(uint8_t((w * h - i < 128 ? w * h - i : 128) - 1));
        body.push_back(uint8_t(at(i / w, i % w)));
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
    auto le32 = [&](size_t p, uint32_t v) { for (int i = 0; i < 4; i++) c[p + i] = uint8_t(v >> (8 * i)); };
    le32(0, count);
    for (uint32_t k = 0; k < count; k++) {
        const uint32_t off = 4 + 4 * count + frame * k;
        le32(4 + 4 * k, off);
        for (uint32_t e = 0; e < 768; e++) c[off + e] = uint8_t(frame_colour(k, e / 3) >> (16 - 8 * (e % 3)));
        for (int p = 0; p < 160 * 120; p++) c[off + 768 + p] = uint8_t(at(k, p / 160, p % 160));
    }
    return c;
}
// Frame k drawn in one colour, plain_colour(k).
inline bytes plain_anim(uint32_t count) { return anim(count, [](uint32_t k, int, int) { return k + 1; }); }
inline uint32_t plain_colour(uint32_t k) { return frame_colour(k, k + 1); }

}  // namespace pic
