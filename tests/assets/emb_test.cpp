// The embedded assets against the facts their users rely on: picture layout and dimensions,
// bodies consumed exactly, animation container layout, 3DS chunk trees, object lists and the
// lattice flight's camera path. The embedded bytes are the generated files, unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "assets/emb.h"
#include "picture/anim.h"
#include "picture/iff.h"
#include "tests/assets/emb_media.h"

namespace {

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t le32(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct iff_chunk {
    std::string tag;
    size_t at;  // offset of the data
    uint32_t len;
};

// The FORM's chunks in order; fails the test if a chunk runs past the FORM.
std::vector<iff_chunk> iff_chunks(const uint8_t* d, size_t size)
{
    std::vector<iff_chunk> out;
    size_t at = 12;
    while (at + 8 <= size) {
        iff_chunk c{std::string(reinterpret_cast<const char*>(d + at), 4), at + 8, be32(d + at + 4)};
        EXPECT_LE(c.at + c.len, size) << c.tag;
        if (c.at + c.len > size)
            break;
        out.push_back(c);
        at = c.at + c.len + (c.len & 1);
    }
    EXPECT_EQ(at, size);
    return out;
}

}  // namespace

TEST(EmbPictures, LayoutDimensionsAndExactBodies)
{
    for (const emb_picture& p : emb_pictures()) {
        SCOPED_TRACE(p.name);
        const uint8_t* d = p.data;
        const size_t size = *p.size;
        ASSERT_GT(size, 12u);
        EXPECT_EQ(0, std::memcmp(d, "FORM", 4));
        EXPECT_EQ(be32(d + 4), size - 8);
        EXPECT_EQ(0, std::memcmp(d + 8, "PBM ", 4));
        std::vector<iff_chunk> cs = iff_chunks(d, size);
        ASSERT_EQ(cs.size(), 21u);
        std::vector<std::string> want = {"BMHD", "CMAP", "DPPS"};
        want.insert(want.end(), 16, "CRNG");
        want.insert(want.end(), {"TINY", "BODY"});
        for (size_t i = 0; i < cs.size(); i++)
            EXPECT_EQ(cs[i].tag, want[i]) << i;
        EXPECT_EQ(cs[0].len, 20u);
        EXPECT_EQ(cs[1].len, 768u);
        EXPECT_EQ(cs[2].len, 110u);
        for (int i = 3; i < 19; i++) {
            EXPECT_EQ(cs[size_t(i)].len, 8u);
            EXPECT_EQ(be16(d + cs[size_t(i)].at + 4), 0u) << "colour cycling range active";
        }
        EXPECT_EQ(cs[20].at + cs[20].len, size) << "BODY must end the file";
        const uint8_t* bm = d + cs[0].at;
        EXPECT_EQ(int(be16(bm)), p.w);
        EXPECT_EQ(int(be16(bm + 2)), p.h);
        EXPECT_EQ(bm[8], 8);   // planes
        EXPECT_EQ(bm[9], 0);   // no mask
        EXPECT_EQ(bm[10], 1);  // ByteRun1

        // decodes to its size, and needs every byte of its body: one byte less runs out
        std::vector<uint8_t> px(size_t(p.w) * size_t(p.h)), pal(768);
        ASSERT_EQ(iff_decode_n(d, size, px.data(), pal.data()), -1);
        EXPECT_EQ(0, std::memcmp(pal.data(), d + cs[1].at, 768));
        EXPECT_EQ(iff_decode_n(d, size - 1, px.data(), pal.data()), 0);
        EXPECT_STREQ(iff_msg, "Picture data ends early.");
    }
}

TEST(EmbPictures, ContentsTheirUsersNeed)
{
    std::map<std::string, std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> pics;
    for (const emb_picture& p : emb_pictures()) {
        std::vector<uint8_t> px(size_t(p.w) * size_t(p.h)), pal(768);
        ASSERT_EQ(iff_decode_n(p.data, *p.size, px.data(), pal.data()), -1) << p.name;
        pics[p.name] = {px, pal};
    }
    auto max_index = [&](const char* n) { return *std::max_element(pics[n].first.begin(), pics[n].first.end()); };
    // textures whose copies or quantised levels pick other palette ranges
    EXPECT_LE(max_index("emb_pic_lattice_tex"), 15);
    EXPECT_LE(std::max(max_index("emb_pic_bounce_tex0"), max_index("emb_pic_bounce_tex1")), 63);
    // wipe masks spread over the whole tick range
    for (const char* w : {"emb_wipe_1", "emb_wipe_2", "emb_wipe_3", "emb_wipe_5", "emb_wipe_6"}) {
        const auto& px = pics[w].first;
        EXPECT_LE(*std::min_element(px.begin(), px.end()), 8) << w;
        EXPECT_GE(*std::max_element(px.begin(), px.end()), 240) << w;
    }
    // the shadow palette: 127 steps rising smoothly in brightness from entry 1 to 127
    const auto& sp = pics["emb_pic_shadow_pal"].second;
    for (int i = 2; i <= 127; i++) {
        int a = sp[size_t(3 * i - 3)] + sp[size_t(3 * i - 2)] + sp[size_t(3 * i - 1)];
        int b = sp[size_t(3 * i)] + sp[size_t(3 * i + 1)] + sp[size_t(3 * i + 2)];
        EXPECT_GE(b, a) << i;
        EXPECT_LE(b - a, 30) << i;
    }
    // the blob stamp: a disc about 19 pixels across in the top-left 20x20 cell, indices <= 60
    const auto& st = pics["emb_pic_blob_stamp"].first;
    int inside = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            uint8_t v = st[size_t(320 * y + x)];
            inside += v != 0;
            EXPECT_LE(v, 60);
        }
    EXPECT_NEAR(inside, 3.14159 * 9.5 * 9.5, 25);
    EXPECT_NE(st[320 * 10 + 10], 0);
    EXPECT_EQ(st[0], 0);
    // the ball textures: four 51x51 cells at columns 0, 51, 102, 153, filled
    const auto& bt = pics["emb_pic_ball_tex"].first;
    for (int y = 0; y < 51; y++)
        for (int x = 0; x < 204; x++)
            ASSERT_NE(bt[size_t(320 * y + x)], 0) << x << "," << y;
    // overlays with index 0 as background: the lattice overlay hangs from column 319
    const auto& lo = pics["emb_pic_lattice_overlay"].first;
    for (int y = 0; y < 240; y++)
        EXPECT_NE(lo[size_t(320 * y + 319)], 0) << y;
    EXPECT_EQ(lo[320 * 120 + 160], 0);
    EXPECT_EQ(pics["emb_pic_orbit_border"].first[320 * 120 + 160], 0);
    // The orbit's border is laid over row by row from the left up to the first 0 (rows 3..239)
    // and from the right up to the first 0 (rows 200..239): nothing of it lies where it would
    // never be shown, and the bars it draws are whole: the top bar (rows 3..12) without a hole,
    // the left bar down every row, a post up the right from row 205.
    const auto& ob = pics["emb_pic_orbit_border"].first;
    for (int y = 0; y < 240; y++) {
        SCOPED_TRACE(y);
        const uint8_t* row = &ob[size_t(320 * y)];
        int from_left = 0, from_right = 0;
        while (y >= 3 && from_left < 320 && row[from_left] != 0) from_left++;
        while (y >= 200 && from_left < 320 && from_right < 319 && row[319 - from_right] != 0) from_right++;
        for (int x = from_left; x < 320 - from_right; x++) ASSERT_EQ(row[x], 0) << x;
        EXPECT_TRUE(y < 3 || y > 12 || from_left == 320) << "the top bar has no hole";
        EXPECT_TRUE(y < 3 || from_left >= 10) << "the left bar runs down every row";
        EXPECT_TRUE(y < 205 || from_left == 320 || from_right >= 10) << "the right post";
    }
    // the beams logo lets the rays through both round it and through its letters
    const auto& bl = pics["emb_pic_beams_logo"].first;
    long zeros = std::count(bl.begin(), bl.end(), 0);
    EXPECT_GT(zeros, 76800 / 3);
    EXPECT_LT(zeros, 76800 - 5000);
}

TEST(EmbAnims, ContainerLayout)
{
    struct row {
        const char* name;
        const uint8_t* data;
        uint32_t size;
        uint32_t frames;
    } rows[] = {{"emb_anim_orbit", emb_anim_orbit, emb_anim_orbit_size, 51},
                {"emb_anim_curtain", emb_anim_curtain, emb_anim_curtain_size, 20}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(r.size, 4 + 4 * r.frames + anim_frame_bytes * r.frames);
        ASSERT_EQ(le32(r.data), r.frames);
        long zeros = 0;
        for (uint32_t k = 0; k < r.frames; k++) {
            const uint32_t off = le32(r.data + 4 + 4 * k);
            ASSERT_EQ(off, 4 + 4 * r.frames + k * anim_frame_bytes);
            EXPECT_EQ(0, std::memcmp(r.data + off, r.data + 4 + 4 * r.frames, 768)) << "palette of frame " << k;
            for (int i = 0; i < 768; i++)
                ASSERT_LE(r.data[off + uint32_t(i)], 248);
            zeros += std::count(r.data + off + 768, r.data + off + anim_frame_bytes, 0);
        }
        const double share = double(zeros) / (19200.0 * r.frames);
        if (r.frames == 51)
            EXPECT_GT(share, 0.8);  // black background: the orbit scene's depth mask keys on 0
        else
            EXPECT_EQ(zeros, 0);
        std::vector<uint32_t> dst(76800);
        EXPECT_EQ(anim_blit_frame(r.frames - 1, r.data, dst.data()), dst.data());
        EXPECT_EQ(anim_blit_frame(r.frames, r.data, dst.data()), nullptr);
    }
}

TEST(EmbFiles, EmbeddedBytesAreTheGeneratedFiles)
{
    for (const emb_picture& p : emb_pictures())
        EXPECT_EQ(read_file(emb_file(p.name, ".iff")), std::vector<uint8_t>(p.data, p.data + *p.size)) << p.name;
    for (const emb_scene& s : emb_scenes())
        EXPECT_EQ(read_file(emb_file(s.name, ".3ds")), std::vector<uint8_t>(s.data, s.data + *s.size)) << s.name;
    EXPECT_EQ(read_file(emb_file("emb_anim_orbit", ".anim")),
              std::vector<uint8_t>(emb_anim_orbit, emb_anim_orbit + emb_anim_orbit_size));
    EXPECT_EQ(read_file(emb_file("emb_anim_curtain", ".anim")),
              std::vector<uint8_t>(emb_anim_curtain, emb_anim_curtain + emb_anim_curtain_size));
}
