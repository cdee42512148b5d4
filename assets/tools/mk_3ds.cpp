// The 3DS chunk writer and the mesh builders.
#include "mk.h"

#include <cstring>
#include <stdexcept>

namespace mk {

chunk& chunk::u8(uint8_t v)
{
    data.push_back(v);
    return *this;
}
chunk& chunk::u16(uint16_t v)
{
    data.push_back(uint8_t(v));
    data.push_back(uint8_t(v >> 8));
    return *this;
}
chunk& chunk::u32(uint32_t v)
{
    u16(uint16_t(v));
    return u16(uint16_t(v >> 16));
}
chunk& chunk::f32(float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u32(u);
}
chunk& chunk::str(const std::string& s)
{
    data.insert(data.end(), s.begin(), s.end());
    data.push_back(0);
    return *this;
}
chunk& chunk::add(chunk c)
{
    kids.push_back(std::move(c));
    return *this;
}

bytes chunk::bytes_out() const
{
    bytes body = data;
    for (const chunk& k : kids) {
        bytes kb = k.bytes_out();
        body.insert(body.end(), kb.begin(), kb.end());
    }
    bytes out;
    const uint32_t len = uint32_t(body.size() + 6);
    out.push_back(uint8_t(id));
    out.push_back(uint8_t(id >> 8));
    for (int i = 0; i < 4; i++)
        out.push_back(uint8_t(len >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

chunk obj_mesh(const mesh& m)
{
    if (m.nv() > 10922 || m.nf() > 8191 || (!m.uv.empty() && m.uv.size() != m.v.size() / 3 * 2))
        throw std::runtime_error("mesh " + m.name + " does not fit the format");
    chunk verts(0x4110);
    verts.u16(uint16_t(m.nv()));
    for (float f : m.v)
        verts.f32(f);
    chunk faces(0x4120);
    faces.u16(uint16_t(m.nf()));
    for (int i = 0; i < m.nf(); i++)
        faces.u16(m.f[3 * i]).u16(m.f[3 * i + 1]).u16(m.f[3 * i + 2]).u16(0);
    chunk smooth(0x4150);  // every face in smoothing group 1: one smooth surface
    for (int i = 0; i < m.nf(); i++)
        smooth.u32(1);
    faces.add(smooth);
    chunk tri(0x4100);
    tri.add(verts);
    if (!m.uv.empty()) {
        chunk map(0x4140);
        map.u16(uint16_t(m.nv()));
        for (float f : m.uv)
            map.f32(f);
        tri.add(map);
    }
    chunk axes(0x4160);  // local axes: identity, origin 0
    const float ident[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (float f : ident)
        axes.f32(f);
    tri.add(axes);
    tri.add(faces);
    chunk obj(0x4000);
    obj.str(m.name);
    obj.add(tri);
    return obj;
}

static chunk track(uint16_t id, int keys)
{
    chunk t(id);
    t.u16(0).u32(0).u32(0).u32(uint32_t(keys));
    return t;
}

chunk kf_mesh_node(const std::string& name, uint16_t node_id)
{
    chunk node(0xB002);
    node.add(chunk(0xB030).u16(node_id));
    node.add(chunk(0xB010).str(name).u16(0x4000).u16(0).u16(0xffff));
    node.add(chunk(0xB013).f32(0).f32(0).f32(0));  // pivot
    chunk pos = track(0xB020, 1);
    pos.u32(0).u16(0).f32(0).f32(0).f32(0);
    chunk rot = track(0xB021, 1);
    rot.u32(0).u16(0).f32(0).f32(0).f32(0).f32(0);
    chunk scl = track(0xB022, 1);
    scl.u32(0).u16(0).f32(1).f32(1).f32(1);
    node.add(pos).add(rot).add(scl);
    return node;
}

bytes file_3ds(const std::vector<chunk>& before, const std::vector<chunk>& objects,
               const std::vector<chunk>& nodes)
{
    chunk editor(0x3D3D);
    editor.add(chunk(0x3D3E).u32(3));  // mesh version
    for (const chunk& c : before)
        editor.add(c);
    editor.add(chunk(0x0100).f32(1.0f));  // master scale
    for (const chunk& c : objects)
        editor.add(c);
    chunk kf(0xB000);
    kf.add(chunk(0xB00A).u16(5).str("MAXSCENE").u32(30));
    kf.add(chunk(0xB008).u32(0).u32(30));  // segment 0..30
    kf.add(chunk(0xB009).u32(0));          // current frame
    for (const chunk& c : nodes)
        kf.add(c);
    chunk main(0x4D4D);
    main.add(chunk(0x0002).u32(3));  // version
    main.add(editor);
    main.add(kf);
    return main.bytes_out();
}

// Latitude bands between two poles: segs x (bands - 1) ring vertices and the poles; faces wound
// counter-clockwise seen from outside. u runs 0..1..0 around, so a texture has no seam.
mesh sphere(const std::string& name, int segs, int bands, double r, bool uv)
{
    mesh m;
    m.name = name;
    auto vert = [&](double x, double y, double z, double u, double v) {
        m.v.push_back(float(x));
        m.v.push_back(float(y));
        m.v.push_back(float(z));
        if (uv) {
            m.uv.push_back(float(u));
            m.uv.push_back(float(v));
        }
    };
    vert(0, r, 0, 0.5, 0);
    for (int b = 1; b < bands; b++) {
        const double th = M_PI * b / bands;
        for (int s = 0; s < segs; s++) {
            const double ph = 2 * M_PI * s / segs;
            vert(r * std::sin(th) * std::cos(ph), r * std::cos(th), r * std::sin(th) * std::sin(ph),
                 1.0 - std::fabs(2.0 * s / segs - 1.0), double(b) / bands);
        }
    }
    vert(0, -r, 0, 0.5, 1);
    const int south = 1 + segs * (bands - 1);
    auto ring = [&](int b, int s) { return uint16_t(1 + (b - 1) * segs + (s % segs)); };
    auto face = [&](int a, int b, int c) {
        m.f.push_back(uint16_t(a));
        m.f.push_back(uint16_t(b));
        m.f.push_back(uint16_t(c));
    };
    for (int s = 0; s < segs; s++)
        face(0, ring(1, s + 1), ring(1, s));
    for (int b = 1; b < bands - 1; b++)
        for (int s = 0; s < segs; s++) {
            face(ring(b, s), ring(b, s + 1), ring(b + 1, s + 1));
            face(ring(b, s), ring(b + 1, s + 1), ring(b + 1, s));
        }
    for (int s = 0; s < segs; s++)
        face(south, ring(bands - 1, s), ring(bands - 1, s + 1));
    return m;
}

mesh box(const std::string& name, double sx, double sy, double sz)
{
    mesh m;
    m.name = name;
    for (int i = 0; i < 8; i++) {
        m.v.push_back(float(i & 1 ? sx : -sx));
        m.v.push_back(float(i & 2 ? sy : -sy));
        m.v.push_back(float(i & 4 ? sz : -sz));
    }
    // two triangles per side, counter-clockwise from outside
    const uint16_t q[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                              {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (auto& s : q) {
        m.f.insert(m.f.end(), {s[0], s[1], s[2]});
        m.f.insert(m.f.end(), {s[0], s[2], s[3]});
    }
    return m;
}

mesh torus(const std::string& name, int segs, int sides, double R, double r)
{
    mesh m;
    m.name = name;
    for (int i = 0; i < segs; i++)
        for (int j = 0; j < sides; j++) {
            const double a = 2 * M_PI * i / segs, b = 2 * M_PI * j / sides;
            const double d = R + r * std::cos(b);
            m.v.push_back(float(d * std::cos(a)));
            m.v.push_back(float(r * std::sin(b)));
            m.v.push_back(float(d * std::sin(a)));
        }
    auto idx = [&](int i, int j) { return uint16_t((i % segs) * sides + (j % sides)); };
    for (int i = 0; i < segs; i++)
        for (int j = 0; j < sides; j++) {
            m.f.insert(m.f.end(), {idx(i, j), idx(i, j + 1), idx(i + 1, j + 1)});
            m.f.insert(m.f.end(), {idx(i, j), idx(i + 1, j + 1), idx(i + 1, j)});
        }
    return m;
}

}  // namespace mk
