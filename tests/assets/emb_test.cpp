// The embedded assets against the catalogue, their users and peer readers: the linked bytes are
// the generated files; pictures are PBM FORMs of the listed size whose bodies decode exactly, as
// netpbm shows them, with the index ranges their users need; animation containers have the listed
// layout; 3DS scenes have whole chunk trees, keys without spline fields (the lattice's camera path
// among them), and the listed objects in order as our reader and lib3ds take them.
#include <gtest/gtest.h>

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

#include "assets/emb.h"
#include "engine3d/readers/ld_3ds.h"
#include "engine3d/sc_scene.h"
#include "picture/anim.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "tests/support/ts_process.h"

namespace {

struct emb_mesh {
    std::string name;
    int verts, faces;
    bool mapping;
    bool operator==(const emb_mesh&) const = default;
};

struct emb_asset {
    const char* name;
    const uint8_t* data;
    uint32_t size;
    std::string ext;                       // ".iff", ".3ds", ".anim" or ".mod"
    int w = 0, h = 0;                      // a picture's size; an animation's frame count in w
    std::vector<emb_mesh> meshes = {};     // 3DS: the meshes in file order
    std::vector<std::string> others = {};  // 3DS: named lights and cameras, in file order
};

#define PIC(n, w, h) {#n, n, n##_size, ".iff", w, h}
#define TDS(n, ...) {#n, n, n##_size, ".3ds", 0, 0, __VA_ARGS__}
const std::vector<emb_asset> catalogue = {
    TDS(emb_3ds_bouncer, {{"Object", 408, 812, true}}), TDS(emb_3ds_flyers, {{"Object01", 130, 256, true}}),
    PIC(emb_pic_bounce_bg1, 320, 240), PIC(emb_pic_bounce_bg2, 320, 240), PIC(emb_pic_bounce_tex1, 320, 200),
    PIC(emb_pic_bounce_tex0, 320, 200), PIC(emb_pic_lattice_tex, 320, 200),
    TDS(emb_3ds_receivers, {{"Object03", 270, 516, false}}, {"Light01", "Light02", "Camera01"}),
    TDS(emb_3ds_casters, {{"piikkipall", 202, 400, true}}), TDS(emb_3ds_box, {{"Object01", 8, 12, false}}),
    PIC(emb_pic_shadow_bg, 320, 240), PIC(emb_pic_shadow_pal, 320, 200),
    TDS(emb_3ds_lattice, {{"Object03", 24, 24, false}}, {"Camera01"}), PIC(emb_pic_lattice_overlay, 320, 240),
    {"emb_anim_orbit", emb_anim_orbit, emb_anim_orbit_size, ".anim", 51},
    TDS(emb_3ds_orbit, {{"Object01", 8, 12, false}, {"Object02", 130, 256, true}, {"Object03", 36, 72, false}}),
    PIC(emb_pic_orbit_tex, 256, 256), PIC(emb_pic_orbit_border, 320, 240),
    PIC(emb_pic_blob_stamp, 320, 200),
    PIC(emb_wipe_1, 320, 240), PIC(emb_wipe_2, 320, 240), PIC(emb_wipe_6, 320, 240), PIC(emb_wipe_3, 320, 240),
    PIC(emb_wipe_5, 320, 256), PIC(emb_pic_ball_tex, 320, 100), PIC(emb_pic_ball_fg, 320, 240),
    PIC(emb_pic_ball_bg, 320, 240), PIC(emb_pic_beams_logo, 320, 240), PIC(emb_pic_end, 320, 240),
    PIC(emb_pic_shatter, 320, 240), PIC(emb_pic_title, 320, 240), PIC(emb_pic_mirror_bg, 320, 240),
    PIC(emb_pic_mirror_drop, 320, 240), PIC(emb_pic_mirror_main, 320, 240),
    {"emb_anim_curtain", emb_anim_curtain, emb_anim_curtain_size, ".anim", 20}, PIC(emb_pic_curtain, 320, 240),
    {"emb_module", emb_module, emb_module_size, ".mod"},
};
#undef PIC
#undef TDS

std::vector<emb_asset> of_kind(const std::string& ext)
{
    std::vector<emb_asset> out;
    for (const emb_asset& a : catalogue)
        if (a.ext == ext) out.push_back(a);
    return out;
}

std::string file_of(const emb_asset& a) { return ts_build_path("assets/gen/" + std::string(a.name) + a.ext); }

uint32_t be(const uint8_t* p, int n) { return n == 0 ? 0 : be(p, n - 1) << 8 | p[n - 1]; }
uint32_t le(const uint8_t* p, int n) { return n == 0 ? 0 : le(p + 1, n - 1) << 8 | p[0]; }

struct picture {
    std::vector<uint8_t> px, pal = std::vector<uint8_t>(768);
    std::vector<uint32_t> rgb() const
    {
        std::vector<uint32_t> out(px.size());
        pix_expand_palette(px.data(), pal.data(), out.data(), int32_t(px.size()));
        return out;
    }
};

picture decoded(const emb_asset& a)
{
    picture p;
    p.px.resize(size_t(a.w) * size_t(a.h));
    EXPECT_EQ(iff_decode_n(a.data, a.size, p.px.data(), p.pal.data()), -1) << a.name;
    return p;
}
picture decoded(const char* name)
{
    auto named = [&](const emb_asset& a) { return a.name == std::string(name); };
    return decoded(*std::find_if(catalogue.begin(), catalogue.end(), named));
}

// A 3DS chunk: its id and its data behind the 6-byte header.
struct chunk {
    uint16_t id;
    const uint8_t* d;
    uint32_t len;
};

// The sub-chunks of a chunk's data; they must fill it exactly.
std::vector<chunk> kids(const chunk& c)
{
    std::vector<chunk> out;
    uint32_t at = 0, l;
    for (; at + 6 <= c.len && (l = le(c.d + at + 2, 4)) >= 6 && l <= c.len - at; at += l)
        out.push_back({uint16_t(le(c.d + at, 2)), c.d + at + 6, l - 6});
    EXPECT_EQ(at, c.len) << "sub-chunks of " << std::hex << c.id;
    return out;
}

const chunk* find(const std::vector<chunk>& v, uint16_t id)
{
    auto i = std::find_if(v.begin(), v.end(), [&](const chunk& c) { return c.id == id; });
    return i == v.end() ? nullptr : &*i;
}

// A keyframer track's keys. Every key's flag word is 0, so a key is its frame, the flag word and
// the values: 4 for rotation, 3 for position, scale and colour, else 1.
struct track {
    std::vector<uint32_t> frames;
    std::vector<std::vector<float>> values;
};

track keys(const chunk& t)
{
    const uint32_t n = t.id == 0xB021 ? 4 : (t.id == 0xB020 || t.id == 0xB022 || t.id == 0xB025) ? 3 : 1;
    track k;
    uint32_t at = 14;
    for (uint32_t i = le(t.d + 10, 4); i > 0 && at + 6 + 4 * n <= t.len; i--, at += 6 + 4 * n) {
        EXPECT_EQ(le(t.d + at + 4, 2), 0u) << "key flags, track " << std::hex << t.id;
        k.frames.push_back(le(t.d + at, 4));
        k.values.emplace_back(n);
        std::memcpy(k.values.back().data(), t.d + at + 6, 4 * n);
    }
    EXPECT_EQ(at, t.len) << "track " << std::hex << t.id;
    return k;
}

// Opaque pixels of an overlay that its user never copies: it copies each row from an edge up to
// the row's first transparent pixel (from the left for rows left.., from the right down to
// column 1 for rows right..).
int hidden(const std::vector<bool>& opaque, int left, int right)
{
    int n = 0;
    for (int y = 0; y < 240; y++) {
        const auto row = opaque.begin() + 320 * y;
        int l = 0, r = 319;
        while (y >= left && l < 320 && row[l]) l++;
        while (y >= right && r >= 1 && row[r]) r--;
        n += l <= r ? int(std::count(row + l, row + r + 1, true)) : 0;
    }
    return n;
}

// The pixels of a P6 picture with maxval 255 as netpbm writes it; empty if it is not one.
std::vector<uint32_t> ppm_pixels(const std::string& s, int w, int h)
{
    int pw = 0, ph = 0, head = 0;
    sscanf(s.c_str(), "P6 %d %d 255%n", &pw, &ph, &head);
    if (head == 0 || pw != w || ph != h || s.size() != size_t(head + 1 + 3 * w * h)) return {};
    std::vector<uint32_t> px(size_t(w * h));
    for (size_t i = 0; i < px.size(); i++) px[i] = be(reinterpret_cast<const uint8_t*>(s.data()) + head + 1 + 3 * i, 3);
    return px;
}

}  // namespace

TEST(EmbCatalogue, EveryGeneratedFileLinkedUnchanged)
{
    // the build generates exactly the catalogue's files, and links each one's bytes as they are
    const auto files = std::filesystem::directory_iterator(ts_build_path("assets/gen"));
    EXPECT_EQ(std::distance(begin(files), end(files)), long(catalogue.size()));
    for (const emb_asset& a : catalogue) {
        std::ifstream in(file_of(a), std::ios::binary);
        const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
        EXPECT_TRUE(file == std::vector<uint8_t>(a.data, a.data + a.size)) << a.name;
    }
}

TEST(EmbPictures, PbmFormsOfTheListedSizeWithExactBodies)
{
    for (const emb_asset& a : of_kind(".iff")) {
        SCOPED_TRACE(a.name);
        ASSERT_GT(a.size, 12u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.data), 4), "FORM");
        EXPECT_EQ(be(a.data + 4, 4), a.size - 8);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.data + 8), 4), "PBM ");
        std::string tags, want = "BMHD CMAP DPPS ";
        std::vector<size_t> at;
        size_t p = 12;
        for (; p + 8 <= a.size; p += 8 + be(a.data + p + 4, 4) + (be(a.data + p + 4, 4) & 1)) {
            tags += std::string(reinterpret_cast<const char*>(a.data + p), 4) + " ";
            at.push_back(p + 8);
        }
        EXPECT_EQ(p, a.size);
        for (int i = 0; i < 16; i++) want += "CRNG ";
        ASSERT_EQ(tags, want + "TINY BODY ");
        for (size_t i = 3; i < 19; i++) EXPECT_EQ(be(a.data + at[i] + 4, 2), 0u) << "active colour cycling range";
        const uint8_t* bm = a.data + at[0];
        EXPECT_EQ(int(be(bm, 2)), a.w);
        EXPECT_EQ(int(be(bm + 2, 2)), a.h);
        EXPECT_EQ(bm[8], 8);   // planes
        EXPECT_EQ(bm[10], 1);  // ByteRun1
        EXPECT_EQ(be(a.data + at[1] - 4, 4), 768u);
        // it decodes with the CMAP's palette and needs every byte of its body
        const picture pic = decoded(a);
        EXPECT_EQ(0, std::memcmp(pic.pal.data(), a.data + at[1], 768));
        std::vector<uint8_t> px(pic.px.size()), pal(768);
        EXPECT_EQ(iff_decode_n(a.data, a.size - 1, px.data(), pal.data()), 0);
    }
}

TEST(EmbPictures, NetpbmShowsEveryPictureAsWeDecodeIt)
{
    if (!ts_have_program("ilbmtoppm")) GTEST_SKIP() << "netpbm's ilbmtoppm is not installed (package netpbm)";
    for (const emb_asset& a : of_kind(".iff")) {
        std::string out;
        ASSERT_EQ(ts_run({"ilbmtoppm", file_of(a)}, &out), 0) << a.name;
        EXPECT_TRUE(decoded(a).rgb() == ppm_pixels(out, a.w, a.h)) << a.name;
    }
}

TEST(EmbPictures, IndexRangesTheirUsersNeed)
{
    // texels the scenes add to: the lattice's copies at +16 and +32, the bounce's quantising
    // into 16 levels of 4 (0..63)
    auto max_of = [](const char* n) { const picture p = decoded(n); return *std::max_element(p.px.begin(), p.px.end()); };
    EXPECT_LE(max_of("emb_pic_lattice_tex"), 15);
    EXPECT_LE(std::max(max_of("emb_pic_bounce_tex0"), max_of("emb_pic_bounce_tex1")), 63);
    // the shadow scene shades through entries 1..127: they brighten step by step
    const picture sp = decoded("emb_pic_shadow_pal");
    for (size_t i = 6; i <= 3 * 127; i += 3)
        EXPECT_GE(sp.pal[i] + sp.pal[i + 1] + sp.pal[i + 2], sp.pal[i - 3] + sp.pal[i - 2] + sp.pal[i - 1]) << i / 3;
    // the blob stamp: a filled disc about 19 pixels across in the top-left 20x20 cell
    const picture st = decoded("emb_pic_blob_stamp");
    int inside = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) inside += st.px[size_t(320 * y + x)] != 0;
    EXPECT_NEAR(inside, 3.14159 * 9.5 * 9.5, 25);
    EXPECT_TRUE(st.px[0] == 0 && st.px[320 * 10 + 10] != 0);
    // overlays: index 0 is their background (it shows in the middle, and the orbit's copy stops
    // at a pixel of value 0), and their user's copy rule shows every other pixel
    const picture lo = decoded("emb_pic_lattice_overlay"), ob = decoded("emb_pic_orbit_border");
    const std::vector<uint32_t> ob32 = ob.rgb();
    std::vector<bool> lo_opaque(76800), ob_opaque(76800);
    for (size_t i = 0; i < 76800; i++) {
        lo_opaque[i] = lo.px[i] != 0;
        ob_opaque[i] = ob32[i] != 0;
    }
    EXPECT_FALSE(lo_opaque[320 * 120 + 160] || ob_opaque[320 * 120 + 160]);
    EXPECT_EQ(hidden(lo_opaque, 240, 0), 0);
    EXPECT_EQ(hidden(ob_opaque, 3, 200), 0);
}

TEST(EmbAnims, ContainerLayout)
{
    for (const emb_asset& a : of_kind(".anim")) {
        SCOPED_TRACE(a.name);
        const uint32_t n = uint32_t(a.w), head = 4 + 4 * n;
        ASSERT_EQ(a.size, head + anim_frame_bytes * n);
        ASSERT_EQ(anim_frame_count(a.data), n);
        long zeros = 0;
        for (uint32_t k = 0, off = head; k < n; k++, off += anim_frame_bytes) {
            ASSERT_EQ(le(a.data + 4 + 4 * k, 4), off);
            EXPECT_EQ(0, std::memcmp(a.data + off, a.data + head, 768)) << "palette of frame " << k;
            EXPECT_LE(*std::max_element(a.data + off, a.data + off + 768), 248);
            zeros += std::count(a.data + off + 768, a.data + off + anim_frame_bytes, 0);
        }
        // the orbit's black background keys its depth mask; the curtain has no index 0
        EXPECT_TRUE(n == 51 ? zeros > 19200L * n / 2 : zeros == 0) << zeros;
        std::vector<uint32_t> dst(pix_frame_pixels);
        EXPECT_EQ(anim_blit_frame(n - 1, a.data, dst.data()), dst.data());
        EXPECT_EQ(anim_blit_frame(n, a.data, dst.data()), nullptr);
    }
}

TEST(Emb3ds, ChunkTreesKeysAndTheCameraPath)
{
    for (const emb_asset& a : of_kind(".3ds")) {
        SCOPED_TRACE(a.name);
        ASSERT_EQ(le(a.data, 2), 0x4D4Du);
        ASSERT_EQ(le(a.data + 2, 4), a.size);
        const std::vector<chunk> top = kids({0x4D4D, a.data + 6, a.size - 6});
        ASSERT_EQ(top.size(), 3u);
        ASSERT_TRUE(top[0].id == 0x0002 && top[1].id == 0x3D3D && top[2].id == 0xB000);
        EXPECT_EQ(le(top[0].d, 4), 3u);
        kids(top[1]);
        // keyframer (its segment is read by lib3ds below): every mesh node's tracks hold one key, at frame 0
        const std::vector<chunk> kf = kids(top[2]);
        std::map<std::pair<uint16_t, uint16_t>, track> cam;  // (node, track) of camera and target
        size_t mesh_nodes = 0;
        for (const chunk& n : kf) {
            if (n.id < 0xB001 || n.id > 0xB007) continue;
            const std::vector<chunk> parts = kids(n);
            mesh_nodes += n.id == 0xB002;
            for (const chunk& t : parts) {
                if (t.id < 0xB020 || t.id > 0xB029) continue;
                const track k = keys(t);
                if (n.id == 0xB002) {
                    EXPECT_EQ(k.frames, std::vector<uint32_t>{0});
                } else if (n.id == 0xB003 || n.id == 0xB004) {
                    ASSERT_TRUE(find(parts, 0xB010));
                    EXPECT_STREQ(reinterpret_cast<const char*>(find(parts, 0xB010)->d), "Camera01");
                    cam[{n.id, t.id}] = k;
                }
            }
        }
        EXPECT_EQ(mesh_nodes, a.meshes.size());
        if (a.name != std::string("emb_3ds_lattice")) continue;
        // the camera path: position and target 17 keys over 0..30 with equal ends, roll one per frame
        for (auto id : {std::pair<uint16_t, uint16_t>{0xB003, 0xB020}, {0xB004, 0xB020}}) {
            const track& k = cam[id];
            ASSERT_EQ(k.frames.size(), 17u);
            EXPECT_TRUE(std::adjacent_find(k.frames.begin(), k.frames.end(), std::greater_equal<>()) == k.frames.end());
            EXPECT_TRUE(k.frames[0] == 0 && k.frames[16] == 30);
            EXPECT_EQ(k.values.front(), k.values.back());
        }
        const track& roll = cam[{0xB003, 0xB024}];
        ASSERT_EQ(roll.frames.size(), 31u);
        for (uint32_t f = 0; f <= 30; f++) EXPECT_EQ(roll.frames[f], f);
    }
}

TEST(Emb3ds, ObjectsAsOurReaderAndLib3dsTakeThem)
{
    for (const emb_asset& a : of_kind(".3ds")) {
        SCOPED_TRACE(a.name);
        // ours: the meshes with names cut to 9 bytes, none marked '$', every face within its mesh
        sc_scene s;
        ASSERT_EQ(sc_init(&s), 0);
        EXPECT_EQ(ld_3ds_meshes_mem_n(a.data, a.size, &s), 0);
        std::vector<emb_mesh> got, want;
        sc_rewind(&s);
        while (sc_object* o = sc_next(&s)) {
            got.push_back({o->name, o->vertex_count, o->face_count, o->uv != nullptr});
            EXPECT_NE(o->name[0], '$');
            for (int i = 0; i < 4 * o->face_count; i++)
                ASSERT_TRUE(i % 4 == 3 ? o->faces[i] == -1 : o->faces[i] >= 0 && o->faces[i] < o->vertex_count) << i;
        }
        sc_free_objects(&s);
        sc_release(&s);
        for (emb_mesh m : a.meshes) want.push_back({m.name.substr(0, 9), m.verts, m.faces, m.mapping});
        EXPECT_EQ(got, want);
        // lib3ds: the meshes with whole names and one mapping pair per vertex, lights, cameras
        Lib3dsFile* f = lib3ds_file_load(file_of(a).c_str());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->mesh_version, 3u);
        EXPECT_TRUE(f->segment_from == 0 && f->segment_to == 30);
        got.clear();
        std::vector<std::string> others;
        for (Lib3dsMesh* m = f->meshes; m; m = m->next) {
            got.push_back({m->name, int(m->points), int(m->faces), m->texels != 0});
            EXPECT_TRUE(m->texels == 0 || m->texels == m->points) << m->name;
        }
        for (Lib3dsLight* l = f->lights; l; l = l->next) others.push_back(l->name);
        for (Lib3dsCamera* c = f->cameras; c; c = c->next) others.push_back(c->name);
        EXPECT_EQ(got, a.meshes);
        EXPECT_EQ(others, a.others);
        lib3ds_file_free(f);
    }
}

TEST(Emb3ds, AssimpReadsTheListedMeshes)
{
    if (!ts_have_program("assimp")) GTEST_SKIP() << "assimp is not installed (package assimp-utils)";
    for (const emb_asset& a : of_kind(".3ds")) {
        SCOPED_TRACE(a.name);
        std::string out;
        ASSERT_EQ(ts_run({"assimp", "info", file_of(a)}, &out, 60000), 0) << out;
        // one line per mesh in file order: "    0 (0): [verts / bones / faces | triangle]"
        const size_t at = out.find("Meshes:  (name)");
        ASSERT_NE(at, std::string::npos);
        std::istringstream lines(out.substr(at));
        std::string line;
        size_t i = 0;
        for (std::getline(lines, line); std::getline(lines, line) && line.find("): [") != std::string::npos; i++) {
            int idx, verts, bones, faces;
            ASSERT_EQ(std::sscanf(line.c_str(), " %d (%*d): [%d / %d / %d", &idx, &verts, &bones, &faces), 4);
            ASSERT_LT(i, a.meshes.size());
            EXPECT_EQ(faces, a.meshes[i].faces);
            // assimp splits corners by position, normal and texture coordinate, and its rounding of
            // the computed normals leaves some mapped corners apart: only unmapped meshes keep the count
            if (a.meshes[i].mapping)
                EXPECT_GE(verts, a.meshes[i].verts);
            else
                EXPECT_EQ(verts, a.meshes[i].verts);
        }
        EXPECT_EQ(i, a.meshes.size());
    }
}
