// The lattice flight: a cube frame and the camera's keyframed path.
//
// The scene clones the cube into a 7x7x7 lattice 8500 units apart and scales file coordinates
// by 10; at render the camera's position (not its target) is multiplied by -3. The path below
// is laid out in those render units and converted back when written: camera key = C / -30,
// target key = T / 10.
#include <array>
#include <stdexcept>

#include "mk_scenes.h"

namespace mk {

namespace {

constexpr double spacing = 8500;  // render units between neighbouring cubes

// The camera flies a loop between the cube layers y = 0 and y = 8500 (the cubes reach 1500
// either side of their layer, the camera stays within 1200 of the middle), weaving in and out
// across the lattice's middle.
void camera_at(double frame, double c[3])
{
    const double th = 2 * M_PI * frame / 30.0;
    const double r = 1.5 * spacing + 0.5 * spacing * std::sin(3 * th);
    c[0] = r * std::cos(th);
    c[1] = spacing / 2 + 1200 * std::sin(2 * th);
    c[2] = r * std::sin(th);
}

void target_at(double frame, double t[3])
{
    camera_at(frame + 2.2, t);  // a little way ahead along the loop
    t[1] = spacing / 2;
}

// The cube: an open frame, the twelve bevelled edges of a cube whose sides are cut away.
// Each side of half size w keeps only the square of half size h = w - bevel at its middle as
// corners: 24 vertices, all in different places; each edge of the cube is one flat strip
// between the two corner pairs of the sides it joins, two faces, turned outwards: 24 faces.
// The strips meet only at those corners, so no face lies against another (the faces are drawn
// far to near one by one, and walls that meet inside one another's faces let slivers of the
// hidden walls show through as cracks), and the frames leave the view through the lattice
// open. Each corner is shared by two strips, so its normal leans between them and the
// environment map shades every strip in a gradient.
mesh lattice_cube(const std::string& name, double w, double bevel)
{
    mesh m;
    m.name = name;
    const double h = w - bevel;
    // a corner of side (axis, side): pb and pc (each +-h) along the two other axes
    auto corner = [&](int axis, int side, double pb, double pc) {
        double p[3];
        p[axis] = side * w;
        p[(axis + 1) % 3] = pb;
        p[(axis + 2) % 3] = pc;
        return std::array<double, 3>{p[0], p[1], p[2]};
    };
    std::vector<std::array<double, 3>> pts;
    auto index_of = [&](const std::array<double, 3>& q) {
        for (size_t i = 0; i < pts.size(); i++)
            if (pts[i] == q)
                return uint16_t(i);
        pts.push_back(q);
        return uint16_t(pts.size() - 1);
    };
    for (int axis = 0; axis < 3; axis++)
        for (int side = -1; side <= 1; side += 2)
            for (int k = 0; k < 4; k++)
                index_of(corner(axis, side, (k == 0 || k == 3) ? -h : h, k < 2 ? -h : h));
    // the strip along the edge where side (a, s) meets side (b, t), b later than a
    for (int a = 0; a < 3; a++)
        for (int b = a + 1; b < 3; b++) {
            const int c = 3 - a - b;
            for (int s = -1; s <= 1; s += 2)
                for (int t = -1; t <= 1; t += 2) {
                    uint16_t q[4];
                    for (int e = 0; e < 2; e++) {
                        const double pc = e ? h : -h;
                        std::array<double, 3> on_a{}, on_b{};
                        on_a[size_t(a)] = s * w, on_a[size_t(b)] = t * h, on_a[size_t(c)] = pc;
                        on_b[size_t(a)] = s * h, on_b[size_t(b)] = t * w, on_b[size_t(c)] = pc;
                        q[e] = index_of(on_a);
                        q[3 - e] = index_of(on_b);
                    }
                    // wind the quad q0 q1 q2 q3 so that its normal points away from the middle
                    const auto& p0 = pts[q[0]];
                    const auto& p1 = pts[q[1]];
                    const auto& p2 = pts[q[2]];
                    const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
                    const double v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
                    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
                    const double g[3] = {p0[0] + p2[0], p0[1] + p2[1], p0[2] + p2[2]};
                    if (n[0] * g[0] + n[1] * g[1] + n[2] * g[2] >= 0)
                        m.f.insert(m.f.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
                    else
                        m.f.insert(m.f.end(), {q[0], q[2], q[1], q[0], q[3], q[2]});
                }
        }
    if (pts.size() != 24)
        throw std::runtime_error("lattice frame needs 24 corners");
    for (const auto& q : pts)
        m.v.insert(m.v.end(), {float(q[0]), float(q[1]), float(q[2])});
    return m;
}

chunk track_head(uint16_t id, int keys)
{
    chunk t(id);
    t.u16(0).u32(0).u32(0).u32(uint32_t(keys));
    return t;
}

}  // namespace

bytes scene_lattice()
{
    // the cube: a frame 3000 render units across with bars about 600 wide, a third of the
    // spacing, so the rows of frames recede in every direction and the view stays open
    const mesh cube = lattice_cube("Object03", 150, 45);
    if (cube.nv() != 24 || cube.nf() != 24)
        throw std::runtime_error("lattice cube has the wrong counts");

    // position and target keys: every second frame, and frame 15 where the roll starts again
    std::vector<int> frames;
    for (int f = 0; f <= 30; f += 2) {
        if (f == 16)
            frames.push_back(15);
        frames.push_back(f);
    }
    if (frames.size() != 17)
        throw std::runtime_error("lattice path needs 17 keys");

    chunk pos = track_head(0xB020, 17), tgt = track_head(0xB020, 17);
    for (int f : frames) {
        double c[3], t[3];
        // the last key repeats the first exactly, so the loop closes
        camera_at(f == 30 ? 0 : f, c);
        target_at(f == 30 ? 0 : f, t);
        pos.u32(uint32_t(f)).u16(0).f32(float(c[0] / -30)).f32(float(c[1] / -30)).f32(float(c[2] / -30));
        tgt.u32(uint32_t(f)).u16(0).f32(float(t[0] / 10)).f32(float(t[1] / 10)).f32(float(t[2] / 10));
    }
    // roll: one key per frame, a whole turn over frames 0..14 and again over 15..30
    chunk roll = track_head(0xB024, 31);
    for (int f = 0; f <= 30; f++) {
        double deg = f <= 14 ? f * 360.0 / 14 : (f - 15) * 360.0 / 15;
        roll.u32(uint32_t(f)).u16(0).f32(float(deg));
    }
    chunk fov = track_head(0xB023, 1);
    fov.u32(0).u16(0).f32(60.0f);

    chunk target_node(0xB004);
    target_node.add(chunk(0xB030).u16(0));
    target_node.add(chunk(0xB010).str("Camera01").u16(0x4000).u16(0).u16(0xffff));
    target_node.add(tgt);
    chunk camera_node(0xB003);
    camera_node.add(chunk(0xB030).u16(1));
    camera_node.add(chunk(0xB010).str("Camera01").u16(0x4000).u16(0).u16(0xffff));
    camera_node.add(pos).add(fov).add(roll);

    double c0[3], t0[3];
    camera_at(0, c0);
    target_at(0, t0);
    chunk cam_obj(0x4000);
    cam_obj.str("Camera01");
    chunk cam(0x4700);
    cam.f32(float(c0[0] / -30)).f32(float(c0[1] / -30)).f32(float(c0[2] / -30));
    cam.f32(float(t0[0] / 10)).f32(float(t0[1] / 10)).f32(float(t0[2] / 10));
    cam.f32(0.0f).f32(28.0f);
    cam_obj.add(cam);

    return file_3ds({}, {cam_obj, obj_mesh(cube)},
                    {target_node, camera_node, kf_mesh_node(cube.name, 2)});
}

}  // namespace mk
