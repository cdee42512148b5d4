// The lattice flight: a cube of three open square tubes and the camera's keyframed path.
//
// The scene clones the cube into a 7x7x7 lattice 8500 units apart and scales file coordinates
// by 10; at render the camera's position (not its target) is multiplied by -3. The path below
// is laid out in those render units and converted back when written: camera key = C / -30,
// target key = T / 10.
#include <stdexcept>

#include "mk_scenes.h"

namespace mk {

namespace {

constexpr double spacing = 8500;  // render units between neighbouring cubes

// The camera flies a loop between the cube layers y = 0 and y = 8500 (the cubes reach 1900
// either side of their layer), weaving in and out across the lattice's middle.
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

// One open square tube along `axis`: half width w, half length l, eight vertices, eight faces
// turned outwards from the axis.
void tube(mesh& m, int axis, double w, double l)
{
    const int base = m.nv();
    for (int end = 0; end < 2; end++)
        for (int k = 0; k < 4; k++) {
            double p[3];
            const double s = (k == 0 || k == 3) ? -w : w, t = (k < 2) ? -w : w;
            p[axis] = end ? l : -l;
            p[(axis + 1) % 3] = s;
            p[(axis + 2) % 3] = t;
            m.v.insert(m.v.end(), {float(p[0]), float(p[1]), float(p[2])});
        }
    for (int k = 0; k < 4; k++) {
        uint16_t a = uint16_t(base + k), b = uint16_t(base + (k + 1) % 4);
        uint16_t c = uint16_t(base + 4 + (k + 1) % 4), d = uint16_t(base + 4 + k);
        // pick the winding whose normal points away from the axis
        const float* pa = &m.v[3 * size_t(a)];
        const float* pb = &m.v[3 * size_t(b)];
        const float* pc = &m.v[3 * size_t(c)];
        double u[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        double v[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        double g[3] = {(pa[0] + pb[0]) / 2, (pa[1] + pb[1]) / 2, (pa[2] + pb[2]) / 2};
        g[axis] = 0;
        if (n[0] * g[0] + n[1] * g[1] + n[2] * g[2] >= 0)
            m.f.insert(m.f.end(), {a, b, c, a, c, d});
        else
            m.f.insert(m.f.end(), {a, c, b, a, d, c});
    }
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
    // the cube: three nested open tubes of slightly different widths, so each side of the cube
    // is one wall with the others' rims framing it
    mesh cube;
    cube.name = "Object03";
    tube(cube, 0, 190, 190);
    tube(cube, 1, 177, 190);
    tube(cube, 2, 164, 190);
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
