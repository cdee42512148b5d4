#pragma once
// Builds 3DS images byte by byte for the readers' tests.
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using ld_bytes = std::vector<uint8_t>;

inline void ld_put16(ld_bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void ld_put32(ld_bytes& b, uint32_t v) { ld_put16(b, v & 0xffff), ld_put16(b, v >> 16); }
inline void ld_putf(ld_bytes& b, float f) { ld_put32(b, std::bit_cast<uint32_t>(f)); }

inline ld_bytes ld_cat(std::initializer_list<ld_bytes> parts)
{
    ld_bytes out;
    for (const ld_bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A chunk: id, length = 6 + body, body.
inline ld_bytes ld_chunk(uint16_t id, const ld_bytes& body)
{
    ld_bytes b;
    ld_put16(b, id), ld_put32(b, static_cast<uint32_t>(body.size() + 6));
    return ld_cat({b, body});
}

inline ld_bytes ld_text(const std::string& s) { return ld_bytes(s.c_str(), s.c_str() + s.size() + 1); }

// A list chunk: its count (the values' own unless given), then the values as floats or words.
template <class T> ld_bytes ld_list(uint16_t id, uint32_t per, const std::vector<T>& values, int count = -1)
{
    ld_bytes b;
    ld_put16(b, count >= 0 ? uint32_t(count) : uint32_t(values.size() / per));
    for (T v : values) {
        if constexpr (sizeof(T) == 4)
            ld_putf(b, v);
        else
            ld_put16(b, v);
    }
    return ld_chunk(id, b);
}
inline ld_bytes ld_vertex_list(const std::vector<float>& xyz, int count = -1) { return ld_list(0x4110, 3, xyz, count); }
// Faces as a, b, c, flags quadruples.
inline ld_bytes ld_face_list(const std::vector<uint16_t>& abcf, int count = -1) { return ld_list(0x4120, 4, abcf, count); }
inline ld_bytes ld_mapping(uint16_t count, const std::vector<float>& uv) { return ld_list(0x4140, 2, uv, count); }

inline ld_bytes ld_object(const std::string& name, const ld_bytes& children) { return ld_chunk(0x4000, ld_cat({ld_text(name), children})); }
inline ld_bytes ld_mesh(const ld_bytes& children) { return ld_chunk(0x4100, children); }
inline ld_bytes ld_main(const ld_bytes& children) { return ld_chunk(0x4D4D, children); }
inline ld_bytes ld_editor(const ld_bytes& children) { return ld_chunk(0x3D3D, children); }

// A key: frame, flags, the spline fields the flags announce, then the values.
struct ld_key {
    uint32_t frame;
    std::vector<float> values;
    uint16_t flags = 0;
    std::vector<float> spline = {};
};

// A track: flags, 8 unused bytes, the key count (the keys' own unless given) and its high half, the keys.
inline ld_bytes ld_track(uint16_t id, const std::vector<ld_key>& keys, int count = -1)
{
    ld_bytes b(10, 0);
    ld_put16(b, count >= 0 ? uint32_t(count) : uint32_t(keys.size())), ld_put16(b, 0);
    for (const ld_key& k : keys) {
        ld_put32(b, k.frame), ld_put16(b, k.flags);
        for (float f : k.spline)
            ld_putf(b, f);
        for (float f : k.values)
            ld_putf(b, f);
    }
    return ld_chunk(id, b);
}

// A keyframer node: its header (name, two flag words, no parent), then its tracks.
inline ld_bytes ld_node(uint16_t id, const std::string& name, const ld_bytes& tracks)
{
    return ld_chunk(id, ld_cat({ld_chunk(0xB010, ld_cat({ld_text(name), {0, 0, 0, 0, 0xff, 0xff}})), tracks}));
}

inline ld_bytes ld_segment(uint32_t start, uint32_t end) { return ld_chunk(0xB008, {uint8_t(start), 0, 0, 0, uint8_t(end), 0, 0, 0}); }

inline ld_bytes ld_kf_header() { return ld_chunk(0xB00A, ld_cat({{5, 0}, ld_text("scene"), {100, 0, 0, 0}})); }
