// The picture module on hand-made pictures: the IFF decoder (header query, ByteRun1, messages,
// tag searches, bounds, planar conversion, files, the effects' loader), palette expansion, the
// one float-to-int rule, and the diagonal doubling of animation frames.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture/anim.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "tests/picture/pic_build.h"

using pic::bytes;

namespace {

const bytes cmap = pic::palette([](int i) { return uint32_t(i * 0x070707); });
bytes picture(const char* t, int w, int h, int planes, const bytes& body) { return pic::form(t, w, h, planes, cmap, body); }
void set_form_length(bytes& f) { for (int k = 0; k < 4; k++) f[4 + k] = uint8_t((f.size() - 8) >> (24 - 8 * k)); }

}  // namespace

TEST(IffDecode, HeaderQueryFillsGlobalsAndLeavesPaletteAlone)
{
    const bytes p = picture("PBM ", 320, 240, 8, {});
    bytes pal(768, 0xee);
    iff_width = iff_height = iff_planes = iff_is_pbm = -5;
    EXPECT_EQ(iff_decode(p.data(), nullptr, pal.data()), -1);
    EXPECT_EQ(iff_width * 1000 + iff_height, 320240);
    EXPECT_EQ(iff_planes * 10 + iff_is_pbm, 81);
    EXPECT_STREQ(iff_msg, "Destination is NULL.");
    EXPECT_EQ(pal, bytes(768, 0xee));
    const bytes neg = picture("ILBM", 16, 2, -3, {});   // planes are a signed byte
    EXPECT_EQ(iff_decode(neg.data(), nullptr, nullptr), -1);
    EXPECT_EQ(iff_planes * 10 + iff_is_pbm, -30);
}

TEST(IffDecode, ByteRun1ControlBytes)
{
    // -128 is skipped; -127 repeats 128 times; 127 copies 128 bytes; 1 copies 2
    bytes body = {0x80, 0x81, 0x2a, 0x7f};
    for (int i = 0; i < 128; i++) body.push_back(uint8_t(i));
    for (uint8_t b : {0x80, 0x01, 0x11, 0x22, 0xff, 0x33}) body.push_back(b);
    const bytes p = picture("PBM ", 260, 1, 8, body);
    bytes dest(260), pal(768);
    ASSERT_EQ(iff_decode(p.data(), dest.data(), pal.data()), -1);
    EXPECT_STREQ(iff_msg, "Picture loaded ok.");
    for (int i = 0; i < 128; i++) ASSERT_TRUE(dest[i] == 0x2a && dest[128 + i] == i) << i;
    EXPECT_EQ(bytes(dest.begin() + 256, dest.end()), bytes({0x11, 0x22, 0x33, 0x33}));
    EXPECT_EQ(pal, cmap);
    // the final run or copy is cut at the output size: 6 pixels wanted, a run of 8 offered
    const bytes run = picture("PBM ", 3, 2, 8, {0xf9, 0x44});
    bytes small(8, 0xcc);
    ASSERT_EQ(iff_decode(run.data(), small.data(), pal.data()), -1);
    EXPECT_EQ(small, bytes({0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0xcc, 0xcc}));
}

TEST(IffDecode, MessagesAndResults)
{
    const bytes good = picture("PBM ", 4, 1, 8, {0x03, 1, 2, 3, 4});
    auto broken = [&](size_t at, const char* with) { bytes b = good; std::memcpy(b.data() + at, with, 4); return b; };
    const std::pair<bytes, const char*> rows[] = {
        {broken(8, "XXXX"), "Invalid picture."}, {broken(12, "BMHX"), "BMHD not found."},
        {broken(40, "CMAX"), "CMAP not found."}, {broken(816, "BODX"), "BODY not found."},
        {picture("PBM ", 4, 1, 8, {0x03, 1, 2}), "Picture data ends early."},
        {picture("ILBM", 8, 1, 9, bytes(9, 0)), "Unsupported picture."}};
    bytes dest(64), pal(768);
    for (const auto& [data, msg] : rows) {
        EXPECT_EQ(iff_decode(data.data(), dest.data(), pal.data()), 0) << msg;
        EXPECT_STREQ(iff_msg, msg);
    }
    // without a FORM header the length is unknown: only the length-taking entry decodes it
    const bytes headless(good.begin() + 8, good.end());
    EXPECT_EQ(iff_decode(headless.data(), dest.data(), pal.data()), 0);
    EXPECT_STREQ(iff_msg, "Invalid picture.");
    EXPECT_TRUE(iff_decode_n(headless.data(), headless.size(), dest.data(), pal.data()) == -1 && dest[3] == 4);
}

TEST(IffDecode, TagSearches)
{
    bytes dest(64), pal(768);
    // "ILBM" is looked for first: data holding both is planar
    bytes both = picture("ILBM", 16, 1, 2, {});
    both.insert(both.begin() + 12, {'P', 'B', 'M', ' '});
    set_form_length(both);
    ASSERT_EQ(iff_decode(both.data(), nullptr, nullptr), -1);
    EXPECT_EQ(iff_is_pbm, 0);
    // the first "BODY" wins, even inside an earlier chunk; tags are searched at offsets 0..64001
    for (int at : {0, 64001, 64002}) {
        bytes g = picture("PBM ", 2, 1, 8, {});
        g.resize(g.size() - 8);   // no BODY yet
        if (at == 0) pic::chunk(g, "TINY", {'B', 'O', 'D', 'Y', 0, 0, 0, 2, 0x01, 0x05, 0x06});
        g.resize(std::max<size_t>(g.size(), size_t(at)), 0);
        pic::chunk(g, "BODY", {0x01, 0x07, 0x08});
        set_form_length(g);
        EXPECT_EQ(iff_decode(g.data(), dest.data(), pal.data()), at == 64002 ? 0 : -1) << at;
        EXPECT_STREQ(iff_msg, at == 64002 ? "BODY not found." : "Picture loaded ok.");
        EXPECT_EQ(dest[0], at == 0 ? 5 : 7) << at;
    }
}

TEST(IffDecode, BoundedByTheDataLength)
{
    // every cut of a valid picture decodes or fails, reading nothing past the cut (the sanitizer
    // build watches the exact-size copies)
    const bytes p = picture("PBM ", 4, 2, 8, {0x07, 1, 2, 3, 4, 5, 6, 7, 8});
    for (size_t n = 0; n <= p.size(); n++) {
        const bytes cut(p.begin(), p.begin() + long(n));
        bytes dest(8), pal(768);
        EXPECT_EQ(iff_decode_n(cut.data(), cut.size(), dest.data(), pal.data()), n == p.size() ? -1 : 0) << n;
    }
    // a CMAP cut short by the data's end comes out zero-filled; one of two colours followed by
    // more data takes that data
    bytes f = pic::form("PBM ", 2, 1, 8, {9, 8, 7, 6, 5, 4}, {});
    f.erase(f.begin(), f.begin() + 8);
    f.resize(f.size() - 8);
    bytes pal(768, 0xee), dest(2);
    EXPECT_EQ(iff_decode_n(f.data(), f.size(), dest.data(), pal.data()), 0);
    EXPECT_STREQ(iff_msg, "BODY not found.");
    EXPECT_EQ(pal[5] * 1000 + pal[6] + pal[767], 4000);
    pic::chunk(f, "BODY", {0x01, 0x03, 0x04});
    f.resize(f.size() + 800, 0x5a);
    EXPECT_EQ(iff_decode_n(f.data(), f.size(), dest.data(), pal.data()), -1);
    EXPECT_EQ(bytes(pal.begin() + 6, pal.begin() + 10), bytes({'B', 'O', 'D', 'Y'}));
    EXPECT_EQ(pal[767], 0x5a);
}

TEST(IffDecode, FitRefusesWhatTheEffectsCannotHold)
{
    const bytes p = picture("PBM ", 4, 2, 8, {0x07, 1, 2, 3, 4, 5, 6, 7, 8});
    bytes dest(8, 0xcc), pal(768, 0xcc);
    // too large, planar, cut short: refused; only the last writes, and then zeroes what it wrote
    EXPECT_EQ(iff_decode_fit(p.data(), uint32_t(p.size()), dest.data(), 7, pal.data()), 0);
    EXPECT_STREQ(iff_msg, iff_too_large);
    const bytes planar = picture("ILBM", 16, 1, 1, {0x01, 0xff, 0xff});
    EXPECT_EQ(iff_decode_fit(planar.data(), uint32_t(planar.size()), dest.data(), 8, pal.data()), 0);
    EXPECT_TRUE(dest == bytes(8, 0xcc) && pal == bytes(768, 0xcc)) << "the planar picture wrote";
    EXPECT_EQ(iff_decode_fit(p.data(), uint32_t(p.size() - 2), dest.data(), 8, pal.data()), 0);
    EXPECT_STREQ(iff_msg, "Picture data ends early.");
    EXPECT_TRUE(dest == bytes(8, 0) && pal == bytes(768, 0)) << "the cut picture's bytes stay";
    EXPECT_TRUE(iff_decode_fit(p.data(), uint32_t(p.size()), dest.data(), 8, pal.data()) == -1 && dest[7] == 8);
}

TEST(IffPlanar, UnpacksAndConverts)
{
    // 16x1, 2 planes: plane 0 = 0b10101010 0b11110000, plane 1 = 0b11001100 0b00001111
    const bytes p = picture("ILBM", 16, 1, 2, {0x03, 0xaa, 0xf0, 0xcc, 0x0f});
    bytes body(4), pal(768), px(16);
    ASSERT_EQ(iff_decode(p.data(), body.data(), pal.data()), -1);
    iff_planar_to_chunky(body.data(), px.data());
    EXPECT_EQ(px, bytes({3, 2, 1, 0, 3, 2, 1, 0, 1, 1, 1, 1, 2, 2, 2, 2}));
    // columns past the last whole byte of a plane row come out 0: 12 wide, 1 plane, 2 rows
    const uint8_t src[2] = {0xff, 0x80};
    bytes out(24, 0x77);
    iff_planar_to_chunky_ex(src, out.data(), 12, 2, 1);
    EXPECT_EQ(iff_width * 100 + iff_height * 10 + iff_planes, 1221);
    EXPECT_EQ(out, bytes({1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(IffLoadFile, ReadsWholeFilesAndReportsErrors)
{
    uint8_t dest[4], pal[768];
    EXPECT_EQ(iff_load_file("/nonexistent/picture.iff", dest, pal), 0);
    EXPECT_STREQ(iff_msg, "File not found!");
    char dir[] = "/tmp/orv_iff_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/p", fifo = std::string(dir) + "/f";
    const bytes p = picture("PBM ", 2, 2, 8, {0xfd, 0x09});
    for (size_t n : {size_t(0), p.size() - 1, p.size()}) {   // empty, last byte missing, whole
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_EQ(std::fwrite(p.data(), 1, n, f), n);
        std::fclose(f);
        EXPECT_EQ(iff_load_file(path.c_str(), dest, pal), n == p.size() ? -1 : 0);
        EXPECT_STREQ(iff_msg, n == 0 ? "Invalid picture." : n < p.size() ? "Picture data ends early." : "Picture loaded ok.");
    }
    EXPECT_EQ(dest[3], 9);
    // not regular files: a directory (whose size reads as LONG_MAX) and a FIFO with no writer
    // (whose open would block for ever) are refused at once
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const char* q : {static_cast<const char*>(dir), fifo.c_str()}) {
        EXPECT_EQ(iff_load_file(q, dest, pal), 0) << q;
        EXPECT_STREQ(iff_msg, "Disk error.");
    }
    EXPECT_TRUE(std::remove(path.c_str()) == 0 && std::remove(fifo.c_str()) == 0 && rmdir(dir) == 0);
}

TEST(PixExpand, FourPixelsAStepNothingBelowFour)
{
    const pic::bytes pal = pic::palette([](int i) { return i == 1 ? 0x123456u : i == 255 ? 0xff8001u : 0u; });
    std::vector<uint8_t> src(pix_frame_pixels + 4);
    for (size_t i = 0; i < src.size(); i++) src[i] = uint8_t(i % 3 == 0 ? 1 : i % 3 == 1 ? 255 : 0);
    const int32_t cases[][2] = {{4, 4}, {7, 4}, {pix_frame_pixels + 1, pix_frame_pixels}, {3, 0}, {-8, 0}};
    for (const auto& c : cases) {   // count -> pixels written
        std::vector<uint32_t> dst(src.size(), 0xdeadbeef);
        pix_expand_palette(src.data(), pal.data(), dst.data(), c[0]);
        for (int i = 0; i < int(dst.size()); i++) {
            const uint32_t want = i >= c[1] ? 0xdeadbeefu : i % 3 == 0 ? 0x123456u : i % 3 == 1 ? 0xff8001u : 0u;
            ASSERT_EQ(dst[i], want) << "count " << c[0] << " pixel " << i;
        }
    }
}

TEST(PixTrunc, TowardZeroSaturatingNanZero)
{
    const struct {
        double v;
        int32_t want;
    } cases[] = {{2.9, 2}, {-2.9, -2}, {2147483646.5, 2147483646}, {2147483647.0, INT32_MAX}, {1e300, INT32_MAX},
                 {-2147483648.0, INT32_MIN}, {-2147483648.5, INT32_MIN}, {-1e300, INT32_MIN}, {std::nan(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(pix_trunc(c.v), c.want) << c.v;
}

TEST(AnimBlit, DiagonalDoubling)
{
    // frame k's pixel (i, j) has index i + j + k
    const auto c = pic::anim(3, [](uint32_t k, int i, int j) { return i + j + int(k); });
    std::vector<uint32_t> dst(pix_frame_pixels, 0);
    ASSERT_EQ(anim_blit_frame(2, c.data(), dst.data()), dst.data());
    auto px = [&](int r, int col) { return dst[pix_frame_w * r + col]; };
    auto src = [&](int i, int j) { return pic::frame_colour(2, uint32_t(i + j + 2)); };
    // every 2x2 cell: the source pixel top-left and bottom-right, the one above top-right and
    // the one to the left bottom-left
    for (int i = 1; i < 119; i++)
        for (int j = 1; j < 160; j++)
            ASSERT_TRUE(px(2 * i, 2 * j) == src(i, j) && px(2 * i + 1, 2 * j + 1) == src(i, j) &&
                        px(2 * i, 2 * j + 1) == src(i - 1, j) && px(2 * i + 1, 2 * j) == src(i, j - 1))
                << i << "," << j;
    // row 0 odd columns, row 239 and row 238's even columns 2..318 keep what dst held; the last
    // column's right-hand write runs into column 0 of the next row, where row 238 keeps it
    for (int col = 0; col < pix_frame_w; col++) {
        ASSERT_EQ(px(0, col), col % 2 == 0 ? src(0, col / 2) : 0u) << col;
        ASSERT_EQ(px(239, col), 0u);
        if (col >= 2 && col % 2 == 0) { ASSERT_EQ(px(238, col), 0u) << col; }
    }
    EXPECT_EQ(px(238, 0), src(118, 159));
    EXPECT_EQ(px(2, 0), src(1, 0));
}

TEST(AnimBlit, FramesOutsideTheContainerAreRefused)
{
    const auto c = pic::plain_anim(3);
    std::vector<uint32_t> dst(pix_frame_pixels, 7);
    EXPECT_EQ(anim_frame_count(c.data()), 3u);
    EXPECT_TRUE(!anim_blit_frame(3, c.data(), dst.data()) && !anim_blit_frame(0xffffffffu, c.data(), dst.data()));
    EXPECT_EQ(dst, std::vector<uint32_t>(pix_frame_pixels, 7));
    EXPECT_TRUE(anim_blit_frame(2, c.data(), dst.data()) == dst.data() && dst[0] == pic::plain_colour(2));
    // an offset past the end; a frame the given size cuts; an offset table the data cannot hold
    auto bad = c;
    bad[4 + 4 + 3] = 0x7f;
    EXPECT_EQ(anim_blit_frame(1, bad.data(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(1, bad.data(), bad.size(), dst.data()), nullptr);
    EXPECT_EQ(anim_blit_frame_n(0, c.data(), c.size() - 1, dst.data()), dst.data());
    EXPECT_EQ(anim_blit_frame_n(2, c.data(), c.size() - 1, dst.data()), nullptr);
    const uint8_t huge[] = {0xff, 0xff, 0xff, 0x7f, 8, 0, 0, 0};
    EXPECT_TRUE(!anim_blit_frame_n(5, huge, sizeof huge, dst.data()) && !anim_blit_frame_n(0, huge, 3, dst.data()));
}
