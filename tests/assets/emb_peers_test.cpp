// Our decoder and our files against programs and libraries that someone else wrote: netpbm's
// ilbmtoppm reads every generated picture, netpbm's ppmtoilbm writes real ByteRun1 ILBM files for
// our decoder, lib3ds and assimp read every generated 3DS file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "picture/iff.h"
#include "picture/pix.h"
#include "tests/assets/emb_media.h"
#include "tests/support/ts_process.h"

#ifdef ORV_HAVE_LIB3DS
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#endif

namespace {

struct ppm {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // 0x00RRGGBB
};

// A P6 picture with maxval 255 as netpbm writes it.
bool parse_ppm(const std::string& s, ppm* out)
{
    std::istringstream in(s);
    std::string magic;
    int maxval = 0;
    in >> magic >> out->w >> out->h >> maxval;
    if (magic != "P6" || maxval != 255 || out->w <= 0 || out->h <= 0)
        return false;
    const size_t start = size_t(in.tellg()) + 1;
    if (s.size() != start + 3 * size_t(out->w) * size_t(out->h))
        return false;
    out->px.resize(size_t(out->w) * size_t(out->h));
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data()) + start;
    for (size_t i = 0; i < out->px.size(); i++)
        out->px[i] = (uint32_t(p[3 * i]) << 16) | (uint32_t(p[3 * i + 1]) << 8) | p[3 * i + 2];
    return true;
}

std::string temp_path(const char* suffix)
{
    static int n = 0;
    return "/tmp/orv_media_" + std::to_string(getpid()) + "_" + std::to_string(n++) + suffix;
}

void write_file(const std::string& path, const std::string& s)
{
    std::ofstream(path, std::ios::binary).write(s.data(), long(s.size()));
}

}  // namespace

TEST(NetpbmPeer, IlbmtoppmReadsEveryGeneratedPicture)
{
    if (!ts_have_program("ilbmtoppm"))
        GTEST_SKIP() << "netpbm's ilbmtoppm is not installed (package netpbm)";
    for (const emb_picture& p : emb_pictures()) {
        SCOPED_TRACE(p.name);
        std::string out;
        ASSERT_EQ(ts_run({"ilbmtoppm", emb_file(p.name, ".iff")}, &out), 0);
        ppm theirs;
        ASSERT_TRUE(parse_ppm(out, &theirs));
        ASSERT_EQ(theirs.w, p.w);
        ASSERT_EQ(theirs.h, p.h);
        std::vector<uint8_t> px(size_t(p.w) * size_t(p.h)), pal(768);
        ASSERT_EQ(iff_decode_n(p.data, *p.size, px.data(), pal.data()), -1);
        std::vector<uint32_t> ours(px.size());
        pix_expand_palette(px.data(), pal.data(), ours.data(), int32_t(px.size()));
        for (size_t i = 0; i < ours.size(); i++)
            ASSERT_EQ(ours[i], theirs.px[i]) << "pixel " << i;
    }
}

TEST(NetpbmPeer, PpmtoilbmPicturesDecodeThroughPlanarToChunky)
{
    if (!ts_have_program("ppmtoilbm") || !ts_have_program("ilbmtoppm"))
        GTEST_SKIP() << "netpbm's ppmtoilbm / ilbmtoppm are not installed (package netpbm)";
    // 2, 16 and 256 colours: 1, 4 and 8 planes; widths a multiple of 16 (unpadded plane rows)
    for (int colours : {2, 16, 256}) {
        SCOPED_TRACE(colours);
        const int w = 96, h = 40;
        std::string src = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                // long runs and noisy stretches, so both kinds of ByteRun1 run occur
                int c = x < 40 ? (y / 5) % colours : ((x * 7 + y * 13) ^ (x * y)) % colours;
                src += char(c * 37 % 256);
                src += char(c);
                src += char(255 - c);
            }
        const std::string ppm_path = temp_path(".ppm"), ilbm_path = temp_path(".iff");
        write_file(ppm_path, src);
        std::string ilbm;
        ASSERT_EQ(ts_run({"ppmtoilbm", "-maxplanes", "8", "-compress", ppm_path}, &ilbm), 0);
        write_file(ilbm_path, ilbm);
        std::string back;
        ASSERT_EQ(ts_run({"ilbmtoppm", ilbm_path}, &back), 0);
        ppm theirs, orig;
        ASSERT_TRUE(parse_ppm(back, &theirs));
        ASSERT_TRUE(parse_ppm(src, &orig));

        ASSERT_EQ(iff_load_file(ilbm_path.c_str(), nullptr, nullptr), -1);
        EXPECT_EQ(iff_is_pbm, 0);
        EXPECT_EQ(iff_width, w);
        EXPECT_EQ(iff_planes, colours == 2 ? 1 : colours == 16 ? 4 : 8);
        std::vector<uint8_t> body(size_t(w / 8) * size_t(iff_planes) * size_t(h)), px(size_t(w * h)), pal(768);
        ASSERT_EQ(iff_load_file(ilbm_path.c_str(), body.data(), pal.data()), -1) << iff_msg;
        iff_planar_to_chunky(body.data(), px.data());
        std::vector<uint32_t> ours(px.size());
        pix_expand_palette(px.data(), pal.data(), ours.data(), int32_t(px.size()));
        for (size_t i = 0; i < ours.size(); i++) {
            ASSERT_EQ(ours[i], theirs.px[i]) << "pixel " << i;
            ASSERT_EQ(ours[i], orig.px[i]) << "pixel " << i;
        }
        std::remove(ppm_path.c_str());
        std::remove(ilbm_path.c_str());
    }
}

TEST(Lib3dsPeer, ReadsEveryGeneratedScene)
{
#ifndef ORV_HAVE_LIB3DS
    GTEST_SKIP() << "built without lib3ds (package lib3ds-dev)";
#else
    for (const emb_scene& s : emb_scenes()) {
        SCOPED_TRACE(s.name);
        Lib3dsFile* f = lib3ds_file_load(emb_file(s.name, ".3ds").c_str());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->mesh_version, 3u);
        EXPECT_EQ(f->segment_from, 0);
        EXPECT_EQ(f->segment_to, 30);
        // lib3ds keeps meshes in file order
        size_t i = 0;
        for (Lib3dsMesh* m = f->meshes; m; m = m->next, i++) {
            ASSERT_LT(i, s.meshes.size());
            EXPECT_STREQ(m->name, s.meshes[i].name);
            EXPECT_EQ(int(m->points), s.meshes[i].verts);
            EXPECT_EQ(int(m->faces), s.meshes[i].faces);
            EXPECT_EQ(int(m->texels), s.meshes[i].mapping ? s.meshes[i].verts : 0);
        }
        EXPECT_EQ(i, s.meshes.size());
        std::vector<std::string> others;
        for (Lib3dsLight* l = f->lights; l; l = l->next)
            others.push_back(l->name);
        for (Lib3dsCamera* c = f->cameras; c; c = c->next)
            others.push_back(c->name);
        EXPECT_EQ(others, s.other_objects);
        if (std::strcmp(s.name, "emb_3ds_lattice") == 0) {
            Lib3dsNode* cam = lib3ds_file_node_by_name(f, "Camera01", LIB3DS_CAMERA_NODE);
            Lib3dsNode* tgt = lib3ds_file_node_by_name(f, "Camera01", LIB3DS_TARGET_NODE);
            ASSERT_TRUE(cam && tgt);
            auto count3 = [](Lib3dsLin3Key* k) { int n = 0; for (; k; k = k->next) n++; return n; };
            auto count1 = [](Lib3dsLin1Key* k) { int n = 0; for (; k; k = k->next) n++; return n; };
            EXPECT_EQ(count3(cam->data.camera.pos_track.keyL), 17);
            EXPECT_EQ(count1(cam->data.camera.roll_track.keyL), 31);
            EXPECT_EQ(count3(tgt->data.target.pos_track.keyL), 17);
        }
        lib3ds_file_free(f);
    }
#endif
}

TEST(AssimpPeer, ReadsEveryGeneratedScene)
{
    if (!ts_have_program("assimp"))
        GTEST_SKIP() << "assimp is not installed (package assimp-utils)";
    for (const emb_scene& s : emb_scenes()) {
        SCOPED_TRACE(s.name);
        std::string out;
        ASSERT_EQ(ts_run({"assimp", "info", emb_file(s.name, ".3ds")}, &out, 60000), 0) << out;
        // "    0 (0): [verts / bones / faces | triangle]", one line per mesh in file order
        size_t i = 0, at = out.find("Meshes:  (name)");
        ASSERT_NE(at, std::string::npos);
        std::istringstream lines(out.substr(at));
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line) && line.find("): [") != std::string::npos) {
            int idx, verts, bones, faces;
            ASSERT_EQ(std::sscanf(line.c_str(), " %d (%*d): [%d / %d / %d", &idx, &verts, &bones, &faces), 4);
            ASSERT_LT(i, s.meshes.size());
            EXPECT_EQ(faces, s.meshes[i].faces);
            // assimp takes every face's corners apart and joins them again by position, normal and
            // texture coordinate; with mapping coordinates its rounding of the computed normals
            // leaves some corners apart, so only meshes without them keep the file's count
            if (s.meshes[i].mapping)
                EXPECT_GE(verts, s.meshes[i].verts);
            else
                EXPECT_EQ(verts, s.meshes[i].verts);
            i++;
        }
        EXPECT_EQ(i, s.meshes.size());
        for (const emb_mesh_fact& m : s.meshes)
            EXPECT_NE(out.find(std::string("╴") + m.name + " (mesh"), std::string::npos) << m.name;
        for (const std::string& o : s.other_objects)
            EXPECT_NE(out.find(std::string("╴") + o + "\n"), std::string::npos) << o;
    }
}
