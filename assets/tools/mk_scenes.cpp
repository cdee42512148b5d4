// The 3D scenes as 3DS files: meshes, lights, cameras and the lattice flight's camera path.
#include "mk_scenes.h"

#include <stdexcept>

namespace mk {

namespace {

double signed_volume(const mesh& m)
{
    double vol = 0;
    for (int i = 0; i < m.nf(); i++) {
        const float* a = &m.v[3 * size_t(m.f[3 * i])];
        const float* b = &m.v[3 * size_t(m.f[3 * i + 1])];
        const float* c = &m.v[3 * size_t(m.f[3 * i + 2])];
        vol += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
               a[2] * (b[0] * c[1] - b[1] * c[0]);
    }
    return vol / 6;
}

// Faces first..last-1 turned so that their normals point away from `centre`.
void orient_from(mesh& m, int first, int last, const double centre[3])
{
    for (int i = first; i < last; i++) {
        uint16_t* f = &m.f[3 * size_t(i)];
        const float* a = &m.v[3 * size_t(f[0])];
        const float* b = &m.v[3 * size_t(f[1])];
        const float* c = &m.v[3 * size_t(f[2])];
        double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        double g[3] = {(a[0] + b[0] + c[0]) / 3 - centre[0], (a[1] + b[1] + c[1]) / 3 - centre[1],
                       (a[2] + b[2] + c[2]) / 3 - centre[2]};
        if (n[0] * g[0] + n[1] * g[1] + n[2] * g[2] < 0)
            std::swap(f[1], f[2]);
    }
}

void check(const mesh& m, int nv, int nf, bool uv)
{
    if (m.nv() != nv || m.nf() != nf || m.uv.empty() == uv)
        throw std::runtime_error("mesh " + m.name + " has the wrong counts");
    // closed meshes, faces counter-clockwise seen from outside: the enclosed volume is positive
    if (signed_volume(m) <= 0)
        throw std::runtime_error("mesh " + m.name + " is turned inside out");
}

// A closed slab of thickness t: a top and a bottom grid of (A+1) x (B+1) points placed by
// `at(i / A, j / B)` in the xy-plane, joined round the border.
template <class F>
void slab(mesh& m, int A, int B, double t, F at)
{
    const int base = m.nv(), first_face = m.nf(), per = (A + 1) * (B + 1);
    double cx = 0, cy = 0;
    for (int side = 0; side < 2; side++)
        for (int i = 0; i <= A; i++)
            for (int j = 0; j <= B; j++) {
                double x, y;
                at(double(i) / A, double(j) / B, x, y);
                m.v.insert(m.v.end(), {float(x), float(y), float(side == 0 ? t / 2 : -t / 2)});
                cx += x / (2 * per);
                cy += y / (2 * per);
            }
    auto id = [&](int side, int i, int j) { return uint16_t(base + side * per + i * (B + 1) + j); };
    for (int side = 0; side < 2; side++)
        for (int i = 0; i < A; i++)
            for (int j = 0; j < B; j++) {
                m.f.insert(m.f.end(), {id(side, i, j), id(side, i + 1, j), id(side, i + 1, j + 1)});
                m.f.insert(m.f.end(), {id(side, i, j), id(side, i + 1, j + 1), id(side, i, j + 1)});
            }
    // the border loop, then a quad of two triangles between top and bottom for each border edge
    std::vector<std::pair<int, int>> loop;
    for (int j = 0; j < B; j++) loop.push_back({0, j});
    for (int i = 0; i < A; i++) loop.push_back({i, B});
    for (int j = B; j > 0; j--) loop.push_back({A, j});
    for (int i = A; i > 0; i--) loop.push_back({i, 0});
    for (size_t k = 0; k < loop.size(); k++) {
        auto p = loop[k], q = loop[(k + 1) % loop.size()];
        m.f.insert(m.f.end(), {id(0, p.first, p.second), id(1, p.first, p.second), id(1, q.first, q.second)});
        m.f.insert(m.f.end(), {id(0, p.first, p.second), id(1, q.first, q.second), id(0, q.first, q.second)});
    }
    // top and bottom face away from the mid-plane; the sides away from the slab's middle
    const double up[3] = {cx, cy, -1e9}, down[3] = {cx, cy, 1e9}, mid[3] = {cx, cy, 0};
    orient_from(m, first_face, first_face + A * B * 2, up);
    orient_from(m, first_face + A * B * 2, first_face + A * B * 4, down);
    orient_from(m, first_face + A * B * 4, m.nf(), mid);
}

chunk light(const std::string& name, float x, float y, float z, float r, float g, float b)
{
    chunk o(0x4000);
    o.str(name);
    chunk l(0x4600);
    l.f32(x).f32(y).f32(z);
    l.add(chunk(0x0010).f32(r).f32(g).f32(b));
    o.add(l);
    return o;
}

chunk camera(const std::string& name, const float pos[3], const float target[3])
{
    chunk o(0x4000);
    o.str(name);
    chunk c(0x4700);
    c.f32(pos[0]).f32(pos[1]).f32(pos[2]).f32(target[0]).f32(target[1]).f32(target[2]);
    c.f32(0.0f).f32(35.0f);  // bank, lens in millimetres
    o.add(c);
    return o;
}

chunk material(const std::string& name)
{
    auto colour = [](uint16_t id, uint8_t r, uint8_t g, uint8_t b) {
        chunk c(id);
        c.add(chunk(0x0011).u8(r).u8(g).u8(b));
        return c;
    };
    chunk mat(0xAFFF);
    mat.add(chunk(0xA000).str(name));
    mat.add(colour(0xA010, 40, 30, 50)).add(colour(0xA020, 200, 120, 140)).add(colour(0xA030, 255, 255, 255));
    return mat;
}

chunk one_key_track(uint16_t id, int values, const float* v)
{
    chunk t(id);
    t.u16(0).u32(0).u32(0).u32(1).u32(0).u16(0);
    for (int i = 0; i < values; i++)
        t.f32(v[i]);
    return t;
}

chunk node_header(uint16_t type, uint16_t node_id, const std::string& name)
{
    chunk n(type);
    n.add(chunk(0xB030).u16(node_id));
    n.add(chunk(0xB010).str(name).u16(0x4000).u16(0).u16(0xffff));
    return n;
}

// Omni light node: its position, one key at frame 0.
chunk kf_light_node(const std::string& name, uint16_t node_id, float x, float y, float z)
{
    const float p[3] = {x, y, z};
    chunk n = node_header(0xB005, node_id, name);
    n.add(one_key_track(0xB020, 3, p));
    return n;
}

// Camera node and its target node, one key each at frame 0.
std::vector<chunk> kf_camera_nodes(const std::string& name, uint16_t node_id, const float pos[3],
                                   const float target[3])
{
    const float fov = 60.0f, roll = 0.0f;
    chunk c = node_header(0xB003, node_id, name);
    c.add(one_key_track(0xB020, 3, pos)).add(one_key_track(0xB023, 1, &fov)).add(one_key_track(0xB024, 1, &roll));
    chunk t = node_header(0xB004, uint16_t(node_id + 1), name);
    t.add(one_key_track(0xB020, 3, target));
    return {c, t};
}

// A crystal: a ring of `sides` points of radius r round the y axis and two tips at +-h.
mesh bipyramid(const std::string& name, int sides, double r, double h)
{
    mesh m;
    m.name = name;
    m.v.insert(m.v.end(), {0.0f, float(h), 0.0f});
    for (int s = 0; s < sides; s++) {
        const double a = 2 * M_PI * s / sides;
        m.v.insert(m.v.end(), {float(r * std::cos(a)), 0.0f, float(r * std::sin(a))});
    }
    m.v.insert(m.v.end(), {0.0f, float(-h), 0.0f});
    const uint16_t top = 0, bottom = uint16_t(sides + 1);
    for (int s = 0; s < sides; s++) {
        const uint16_t p = uint16_t(1 + s), q = uint16_t(1 + (s + 1) % sides);
        m.f.insert(m.f.end(), {top, p, q});
        m.f.insert(m.f.end(), {bottom, p, q});
    }
    const double centre[3] = {0, 0, 0};
    orient_from(m, 0, m.nf(), centre);
    return m;
}

bytes one_mesh_file(const mesh& m) { return file_3ds({}, {obj_mesh(m)}, {kf_mesh_node(m.name, 0)}); }

}  // namespace

// The bouncing pair (the file's units are a tenth of the scene's). The scene sets the bouncer
// at height 420 to rest and lifts the hopper from 1750 to 2510 above it, with a camera 16000
// away that shows only what lies above the floor line. The bouncer's middle sits 180 above its
// pivot, so at rest its foot, some 600 below the pivot, stands on the floor line and its top
// reaches about 1400; the hopper, 320 round, then touches the bouncer's top at the bottom of
// every hop.
constexpr double bouncer_radius = 78, bouncer_lift = 18, hopper_radius = 32;

bytes scene_bouncer()
{
    // a ball with three soft lobes round its waist, raised above its pivot
    mesh m = sphere("Object", 29, 15, bouncer_radius, true);
    for (int i = 0; i < m.nv(); i++) {
        float* p = &m.v[3 * size_t(i)];
        double r = std::sqrt(p[0] * p[0] + p[2] * p[2]), a = std::atan2(p[2], p[0]);
        double k = 1 + 0.18 * std::sin(3 * a) * (r / bouncer_radius);
        p[0] = float(p[0] * k);
        p[2] = float(p[2] * k);
        p[1] = float(p[1] + bouncer_lift);
    }
    check(m, 408, 812, true);
    return one_mesh_file(m);
}

bytes scene_flyers()
{
    mesh m = sphere("Object01", 16, 9, hopper_radius, true);
    check(m, 130, 256, true);
    return one_mesh_file(m);
}

bytes scene_casters()
{
    // the spiked ball: the poles and every other vertex of rings 1, 3, 6 and 8 (of 0..9)
    // pushed out into spikes, each standing alone among unmoved neighbours
    mesh m = sphere("piikkipall", 20, 11, 300, true);
    for (int i = 0; i < m.nv(); i++) {
        const int ring = (i - 1) / 20, seg = (i - 1) % 20;
        const bool pole = i == 0 || i + 1 == m.nv();
        const bool spiked_ring = ring == 1 || ring == 3 || ring == 6 || ring == 8;
        if (pole || (spiked_ring && (seg + ring / 2) % 2 == 0))
            for (int k = 0; k < 3; k++)
                m.v[3 * size_t(i) + size_t(k)] *= 1.9f;
    }
    check(m, 202, 400, true);
    return one_mesh_file(m);
}

bytes scene_box()
{
    mesh m = box("Object01", 45, 45, 45);
    check(m, 8, 12, false);
    return one_mesh_file(m);
}

bytes scene_receivers()
{
    // five petals and a hub: six closed slabs facing the viewer
    mesh m;
    m.name = "Object03";
    for (int p = 0; p < 5; p++) {
        const double a0 = p * 2 * M_PI / 5;
        slab(m, 3, 5, 40, [&](double u, double v, double& x, double& y) {
            // u across the petal, v along it from the hub outwards
            double r = 420 + v * 1800, width = 0.42 * std::sin(M_PI * (0.15 + 0.85 * v)) + 0.05;
            double a = a0 + (u - 0.5) * width;
            x = r * std::cos(a);
            y = r * std::sin(a);
        });
    }
    slab(m, 2, 4, 60, [](double u, double v, double& x, double& y) {
        x = (v - 0.5) * 620;
        y = (u - 0.5) * 620;
    });
    check(m, 270, 516, false);
    const float cam[3] = {0, -2400, 7400}, tgt[3] = {0, 0, 0};
    return file_3ds({material("Material01")},
                    {obj_mesh(m), light("Light01", -3000, 4000, 6000, 1.0f, 0.95f, 0.8f),
                     light("Light02", 3500, -1500, 5000, 0.4f, 0.5f, 0.8f), camera("Camera01", cam, tgt)},
                    {kf_mesh_node(m.name, 0), kf_light_node("Light01", 1, -3000, 4000, 6000),
                     kf_light_node("Light02", 2, 3500, -1500, 5000), kf_camera_nodes("Camera01", 3, cam, tgt)[0],
                     kf_camera_nodes("Camera01", 3, cam, tgt)[1]});
}

bytes scene_orbit()
{
    // Three small chrome trinkets for a ring of 33 about 1800 units apart (the file's units are
    // a tenth of the scene's): a six-sided crystal, a ball and a ring, each under 1500 across.
    mesh a = bipyramid("Object01", 6, 62, 115);
    mesh b = sphere("Object02", 16, 9, 66, true);
    mesh c = torus("Object03", 6, 6, 60, 22);
    check(a, 8, 12, false);
    check(b, 130, 256, true);
    check(c, 36, 72, false);
    return file_3ds({}, {obj_mesh(a), obj_mesh(b), obj_mesh(c)},
                    {kf_mesh_node(a.name, 0), kf_mesh_node(b.name, 1), kf_mesh_node(c.name, 2)});
}

}  // namespace mk
