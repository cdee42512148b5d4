// The embedded 3DS scenes, walked chunk by chunk: lengths, versions, the object lists in file
// order, the keyframer segment and tracks, and the lattice flight's camera path.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "tests/assets/emb_media.h"

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
float lef(const uint8_t* p)
{
    uint32_t u = le32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

struct c3 {
    uint16_t id;
    const uint8_t* data;  // behind the header
    size_t len;           // of the data
};

// Children of a chunk from `skip` bytes into its data; every child must fit its parent.
std::vector<c3> kids(const c3& c, size_t skip = 0)
{
    std::vector<c3> out;
    size_t at = skip;
    while (at + 6 <= c.len) {
        const uint32_t l = le32(c.data + at + 2);
        EXPECT_GE(l, 6u);
        EXPECT_LE(at + l, c.len) << std::hex << le16(c.data + at);
        if (l < 6 || at + l > c.len)
            break;
        out.push_back({le16(c.data + at), c.data + at + 6, l - 6});
        at += l;
    }
    EXPECT_EQ(at, c.len) << "chunk " << std::hex << c.id;
    return out;
}

const c3* find(const std::vector<c3>& v, uint16_t id)
{
    for (const c3& c : v)
        if (c.id == id) return &c;
    return nullptr;
}

size_t name_len(const c3& obj) { return std::strlen(reinterpret_cast<const char*>(obj.data)) + 1; }

struct key {
    uint32_t frame;
    std::vector<float> v;
};

// A track's keys; every key's flag word must be 0 (no spline parameters in the key).
std::vector<key> track(const c3& t, int values)
{
    std::vector<key> out;
    const uint32_t n = le32(t.data + 10);
    size_t at = 14;
    for (uint32_t k = 0; k < n; k++) {
        EXPECT_LE(at + 6 + 4 * size_t(values), t.len);
        if (at + 6 + 4 * size_t(values) > t.len)
            break;
        key kk{le32(t.data + at), {}};
        EXPECT_EQ(le16(t.data + at + 4), 0) << "key flags";
        for (int i = 0; i < values; i++)
            kk.v.push_back(lef(t.data + at + 6 + 4 * size_t(i)));
        out.push_back(kk);
        at += 6 + 4 * size_t(values);
    }
    EXPECT_EQ(at, t.len) << "track " << std::hex << t.id;
    return out;
}

int track_values(uint16_t id) { return id == 0xB021 ? 4 : (id == 0xB020 || id == 0xB022 || id == 0xB025) ? 3 : 1; }

}  // namespace

TEST(Emb3ds, ChunkTreesAndObjectLists)
{
    for (const emb_scene& s : emb_scenes()) {
        SCOPED_TRACE(s.name);
        ASSERT_EQ(le16(s.data), 0x4D4D);
        ASSERT_EQ(le32(s.data + 2), *s.size);
        const c3 main{0x4D4D, s.data + 6, *s.size - 6};
        const std::vector<c3> top = kids(main);
        ASSERT_EQ(top.size(), 3u);
        EXPECT_EQ(top[0].id, 0x0002);
        EXPECT_EQ(le32(top[0].data), 3u);
        ASSERT_EQ(top[1].id, 0x3D3D);
        ASSERT_EQ(top[2].id, 0xB000);

        const std::vector<c3> ed = kids(top[1]);
        const c3* mv = find(ed, 0x3D3E);
        ASSERT_NE(mv, nullptr);
        EXPECT_EQ(le32(mv->data), 3u);
        size_t mi = 0;   // meshes in order with their counts, then the other objects
        std::vector<std::string> others;
        for (const c3& o : ed) {
            if (o.id != 0x4000) continue;
            const std::string name(reinterpret_cast<const char*>(o.data));
            EXPECT_NE(name[0], '$');
            const std::vector<c3> parts = kids(o, name_len(o));
            const c3* tri = find(parts, 0x4100);
            if (tri == nullptr) {
                others.push_back(name);
                continue;
            }
            const std::vector<c3> mk = kids(*tri);
            const c3 *v = find(mk, 0x4110), *f = find(mk, 0x4120), *uv = find(mk, 0x4140);
            ASSERT_TRUE(v && f);
            const int nv = le16(v->data), nf = le16(f->data);
            EXPECT_EQ(v->len, 2 + 12 * size_t(nv));
            for (int i = 0; i < nf; i++) {
                for (int k = 0; k < 3; k++) ASSERT_LT(le16(f->data + 2 + 8 * i + 2 * k), nv);
                ASSERT_EQ(le16(f->data + 2 + 8 * i + 6), 0);
            }
            kids(*f, 2 + 8 * size_t(nf));  // only whole sub-chunks after the faces
            EXPECT_TRUE(!uv || (le16(uv->data) == nv && uv->len == 2 + 8 * size_t(nv))) << name;
            ASSERT_LT(mi, s.meshes.size());
            EXPECT_EQ(name, s.meshes[mi].name);
            EXPECT_EQ(nv, s.meshes[mi].verts);
            EXPECT_EQ(nf, s.meshes[mi].faces);
            EXPECT_EQ(uv != nullptr, s.meshes[mi].mapping);
            mi++;
        }
        EXPECT_EQ(mi, s.meshes.size());
        EXPECT_EQ(others, s.other_objects);

        // keyframer: segment 0..30; every track's keys have flag words 0; mesh nodes one key at 0
        const std::vector<c3> kf = kids(top[2]);
        const c3* seg = find(kf, 0xB008);
        ASSERT_NE(seg, nullptr);
        EXPECT_EQ(le32(seg->data), 0u);
        EXPECT_EQ(le32(seg->data + 4), 30u);
        ASSERT_NE(find(kf, 0xB00A), nullptr);
        int mesh_nodes = 0;
        for (const c3& n : kf)
            if (n.id >= 0xB001 && n.id <= 0xB007)
                for (const c3& t : kids(n))
                    if (t.id >= 0xB020 && t.id <= 0xB029) {
                        std::vector<key> ks = track(t, track_values(t.id));
                        if (n.id == 0xB002) {
                            EXPECT_EQ(ks.size(), 1u);
                            EXPECT_EQ(ks[0].frame, 0u);
                            mesh_nodes += t.id == 0xB020;
                        }
                    }
        EXPECT_EQ(mesh_nodes, int(s.meshes.size()));
    }
}

TEST(Emb3ds, LatticeCameraPath)
{
    const c3 main{0x4D4D, emb_3ds_lattice + 6, emb_3ds_lattice_size - 6};
    const std::vector<c3> kf = kids(kids(main)[2]);
    // the target node comes before the camera node, both named for the camera
    const c3* target = find(kf, 0xB004);
    const c3* camera = find(kf, 0xB003);
    ASSERT_TRUE(target && camera);
    EXPECT_LT(target->data, camera->data);
    std::vector<c3> tk = kids(*target), ck = kids(*camera);
    EXPECT_STREQ(reinterpret_cast<const char*>(find(tk, 0xB010)->data), "Camera01");
    EXPECT_STREQ(reinterpret_cast<const char*>(find(ck, 0xB010)->data), "Camera01");
    const std::vector<key> pos = track(*find(ck, 0xB020), 3);
    const std::vector<key> roll = track(*find(ck, 0xB024), 1);
    const std::vector<key> tgt = track(*find(tk, 0xB020), 3);
    ASSERT_EQ(pos.size(), 17u);
    ASSERT_EQ(roll.size(), 31u);
    ASSERT_EQ(tgt.size(), 17u);
    for (const auto* t : {&pos, &tgt}) {
        EXPECT_EQ(t->front().frame, 0u);
        EXPECT_EQ(t->back().frame, 30u);
        EXPECT_EQ(t->front().v, t->back().v);  // the loop closes exactly
        bool has15 = false;
        for (size_t i = 1; i < t->size(); i++) {
            EXPECT_GT((*t)[i].frame, (*t)[i - 1].frame);
            has15 |= (*t)[i].frame == 15;
        }
        EXPECT_TRUE(has15);
    }
    for (uint32_t f = 0; f <= 30; f++) {
        EXPECT_EQ(roll[f].frame, f);
        EXPECT_GE(roll[f].v[0], 0.0f);
        EXPECT_LE(roll[f].v[0], 360.0f);
    }
    EXPECT_EQ(roll[14].v[0], 360.0f);
    EXPECT_EQ(roll[15].v[0], 0.0f);

    // The scene scales file units by 10, and the camera's position by -3 more at render; the
    // cubes (half size 190 file units) sit 8500 apart at -25500..25500. Along the path,
    // sampled as a Catmull-Rom curve through the keys, the camera stays inside the lattice and
    // outside every cube.
    auto at = [&](size_t i) {
        const key& k = pos[std::min(i, pos.size() - 1)];
        return std::array<double, 3>{k.v[0] * -30.0, k.v[1] * -30.0, k.v[2] * -30.0};
    };
    for (size_t i = 0; i + 1 < pos.size(); i++)
        for (int s = 0; s < 8; s++) {
            const double t = s / 8.0;
            auto p0 = at(i == 0 ? pos.size() - 2 : i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2 == pos.size() ? 1 : i + 2);
            double p[3];
            for (int c = 0; c < 3; c++)
                p[c] = 0.5 * (2 * p1[c] + (-p0[c] + p2[c]) * t + (2 * p0[c] - 5 * p1[c] + 4 * p2[c] - p3[c]) * t * t +
                              (-p0[c] + 3 * p1[c] - 3 * p2[c] + p3[c]) * t * t * t);
            double nearest = 1e9;
            for (int x = -3; x <= 3; x++)
                for (int y = -3; y <= 3; y++)
                    for (int z = -3; z <= 3; z++) {
                        double d = std::max({std::fabs(p[0] - 8500 * x), std::fabs(p[1] - 8500 * y), std::fabs(p[2] - 8500 * z)});
                        nearest = std::min(nearest, d);
                    }
            EXPECT_GT(nearest, 1900 + 300) << "key " << i << " + " << t;
            for (double c : p)
                EXPECT_LT(std::fabs(c), 25500.0);
        }
}

namespace {

// The sub-chunk `id` (vertices 0x4110, faces 0x4120) of the mesh `name` in a 3DS image.
c3 mesh_part(const uint8_t* data, uint32_t size, const std::string& name, uint16_t id)
{
    const std::vector<c3> top = kids(c3{0x4D4D, data + 6, size - 6});
    const c3* ed = find(top, 0x3D3D);
    for (const c3& o : ed ? kids(*ed) : std::vector<c3>{}) {
        if (o.id != 0x4000 || name != reinterpret_cast<const char*>(o.data)) continue;
        const std::vector<c3> parts = kids(o, name_len(o));
        const c3* tri = find(parts, 0x4100);
        const std::vector<c3> mesh = tri ? kids(*tri) : std::vector<c3>{};
        if (const c3* c = find(mesh, id)) return *c;
    }
    return {id, nullptr, 0};
}

std::vector<std::array<float, 3>> mesh_vertices(const uint8_t* data, uint32_t size, const std::string& name)
{
    std::vector<std::array<float, 3>> out;
    const c3 v = mesh_part(data, size, name, 0x4110);
    for (int i = 0; v.data && i < le16(v.data); i++)
        out.push_back({lef(v.data + 2 + 12 * i), lef(v.data + 6 + 12 * i), lef(v.data + 10 + 12 * i)});
    return out;
}

std::vector<std::array<int, 3>> mesh_faces(const uint8_t* data, uint32_t size, const std::string& name)
{
    std::vector<std::array<int, 3>> out;
    const c3 f = mesh_part(data, size, name, 0x4120);
    for (int i = 0; f.data && i < le16(f.data); i++)
        out.push_back({le16(f.data + 2 + 8 * i), le16(f.data + 4 + 8 * i), le16(f.data + 6 + 8 * i)});
    return out;
}

struct extent {
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    float reach = 0;  // farthest vertex from the pivot
};

extent extent_of(const std::vector<std::array<float, 3>>& vs)
{
    extent e;
    for (const auto& p : vs) {
        for (int k = 0; k < 3; k++) {
            e.lo[k] = std::min(e.lo[k], p[k]);
            e.hi[k] = std::max(e.hi[k], p[k]);
        }
        e.reach = std::max(e.reach, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
    }
    return e;
}

}  // namespace

// The meshes are sized for the scenes that show them (the scenes multiply file units by 10).
TEST(Emb3ds, MeshesFitTheirScenes)
{
    // The orbit: 33 objects on a ring of radius 6900..11900, about 1800 apart on average, seen
    // from 40000 away: each object spins within 1200 of its pivot and is no speck either.
    for (const char* name : {"Object01", "Object02", "Object03"}) {
        SCOPED_TRACE(name);
        const auto vs = mesh_vertices(emb_3ds_orbit, emb_3ds_orbit_size, name);
        ASSERT_FALSE(vs.empty());
        const extent e = extent_of(vs);
        EXPECT_LE(e.reach * 10, 1200);
        EXPECT_GE(e.reach * 10, 500);
    }
    // The bouncer rests with its pivot at height 420 and the hopper's middle comes down to 1750
    // above the same point. The bouncer's foot stands on the floor line (a little below height
    // 0 with this camera), its middle above the pivot; the hopper lands on the bouncer's top
    // without sinking into it and without a visible gap.
    const auto bv = mesh_vertices(emb_3ds_bouncer, emb_3ds_bouncer_size, "Object");
    const auto hv = mesh_vertices(emb_3ds_flyers, emb_3ds_flyers_size, "Object01");
    ASSERT_EQ(bv.size(), 408u);
    ASSERT_EQ(hv.size(), 130u);
    const extent b = extent_of(bv), h = extent_of(hv);
    const double foot = 420 + 10.0 * b.lo[1], top = 420 + 10.0 * b.hi[1];
    EXPECT_GE(foot, -300);
    EXPECT_LE(foot, 0);
    EXPECT_GT(b.hi[1] + b.lo[1], 0);  // raised above its pivot
    const double landing = 1750 + 10.0 * h.lo[1];
    EXPECT_GE(landing, top);
    EXPECT_LE(landing, top + 100);
    EXPECT_LT(h.reach, b.reach);  // the hopper is the smaller one

    // The shadow scene's spiked ball: 42 spikes (the poles and ten on each of four rings)
    // standing out of a ball, no two joined by an edge, so that each reads as a spike, in the
    // light and in the shadows it casts.
    const auto sv = mesh_vertices(emb_3ds_casters, emb_3ds_casters_size, "piikkipall");
    const auto sf = mesh_faces(emb_3ds_casters, emb_3ds_casters_size, "piikkipall");
    ASSERT_EQ(sv.size(), 202u);
    ASSERT_EQ(sf.size(), 400u);
    std::vector<bool> spike(sv.size());
    float inner = 1e9f;
    for (const auto& p : sv)
        inner = std::min(inner, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
    int spikes = 0;
    for (size_t i = 0; i < sv.size(); i++) {
        const auto& p = sv[i];
        spike[i] = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) > 1.5f * inner;
        spikes += spike[i];
    }
    EXPECT_EQ(spikes, 42);
    for (const auto& f : sf)
        for (int k = 0; k < 3; k++)
            EXPECT_FALSE(spike[size_t(f[k])] && spike[size_t(f[(k + 1) % 3])]) << f[k] << "-" << f[(k + 1) % 3];
}
