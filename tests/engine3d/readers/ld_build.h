#pragma once
// Builds 3DS images byte by byte for the reader's tests and fuzz seeds.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using ld_bytes = std::vector<uint8_t>;

inline void ld_put16(ld_bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void ld_put32(ld_bytes& b, uint32_t v)
{
    ld_put16(b, v & 0xffff);
    ld_put16(b, v >> 16);
}

inline void ld_putf(ld_bytes& b, float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    ld_put32(b, v);
}

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
    ld_put16(b, id);
    ld_put32(b, static_cast<uint32_t>(body.size() + 6));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline ld_bytes ld_text(const std::string& s)
{
    ld_bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

inline ld_bytes ld_vertex_list(const std::vector<float>& xyz, int count = -1)
{
    ld_bytes b;
    ld_put16(b, count >= 0 ? static_cast<uint32_t>(count) : static_cast<uint32_t>(xyz.size() / 3));
    for (float f : xyz)
        ld_putf(b, f);
    return ld_chunk(0x4110, b);
}

// Faces as a, b, c, flags quadruples.
inline ld_bytes ld_face_list(const std::vector<uint16_t>& abcf, int count = -1)
{
    ld_bytes b;
    ld_put16(b, count >= 0 ? static_cast<uint32_t>(count) : static_cast<uint32_t>(abcf.size() / 4));
    for (uint16_t v : abcf)
        ld_put16(b, v);
    return ld_chunk(0x4120, b);
}

inline ld_bytes ld_mapping(uint16_t count, const std::vector<float>& uv)
{
    ld_bytes b;
    ld_put16(b, count);
    for (float f : uv)
        ld_putf(b, f);
    return ld_chunk(0x4140, b);
}

inline ld_bytes ld_object(const std::string& name, const ld_bytes& children)
{
    return ld_chunk(0x4000, ld_cat({ld_text(name), children}));
}

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

inline ld_bytes ld_track(uint16_t id, const std::vector<ld_key>& keys, int count = -1)
{
    ld_bytes b;
    ld_put16(b, 0);  // track flags
    ld_put32(b, 0);
    ld_put32(b, 0);
    ld_put16(b, count >= 0 ? static_cast<uint32_t>(count) : static_cast<uint32_t>(keys.size()));
    ld_put16(b, 0);
    for (const ld_key& k : keys) {
        ld_put32(b, k.frame);
        ld_put16(b, k.flags);
        for (float f : k.spline)
            ld_putf(b, f);
        for (float f : k.values)
            ld_putf(b, f);
    }
    return ld_chunk(id, b);
}

inline ld_bytes ld_node(uint16_t id, const std::string& name, const ld_bytes& tracks)
{
    ld_bytes hdr = ld_text(name);
    ld_put16(hdr, 0);
    ld_put16(hdr, 0);
    ld_put16(hdr, 0xffff);
    return ld_chunk(id, ld_cat({ld_chunk(0xB010, hdr), tracks}));
}

inline ld_bytes ld_segment(uint32_t start, uint32_t end)
{
    ld_bytes b;
    ld_put32(b, start);
    ld_put32(b, end);
    return ld_chunk(0xB008, b);
}

inline ld_bytes ld_kf_header()
{
    ld_bytes b;
    ld_put16(b, 5);
    ld_bytes n = ld_text("scene");
    b.insert(b.end(), n.begin(), n.end());
    ld_put32(b, 100);
    return ld_chunk(0xB00A, b);
}
