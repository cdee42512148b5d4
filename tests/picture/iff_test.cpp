// The IFF decoder on hand-made pictures: tag searches, the header query, ByteRun1, messages,
// planar conversion and the bounds kept on data of known length.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "picture/iff.h"

namespace {

using bytes = std::vector<uint8_t>;

void put_tag(bytes& b, const char* t) { for (int i = 0; i < 4; i++) b.push_back(uint8_t(t[i])); }
void put_be32(bytes& b, uint32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s)); }
void chunk(bytes& b, const char* t, const bytes& data)
{
    put_tag(b, t);
    put_be32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
}
bytes bmhd(int w, int h, int planes)
{
    bytes d(20, 0);
    d[0] = uint8_t(w >> 8), d[1] = uint8_t(w), d[2] = uint8_t(h >> 8), d[3] = uint8_t(h);
    d[8] = uint8_t(planes);
    d[10] = 1;
    return d;
}
bytes cmap()
{
    bytes d(768);
    for (int i = 0; i < 768; i++) d[size_t(i)] = uint8_t(i * 7);
    return d;
}
// FORM <type> BMHD CMAP BODY, the FORM length set from the contents
bytes picture(const char* type, int w, int h, int planes, const bytes& body)
{
    bytes f;
    put_tag(f, type);
    chunk(f, "BMHD", bmhd(w, h, planes));
    chunk(f, "CMAP", cmap());
    chunk(f, "BODY", body);
    bytes out;
    put_tag(out, "FORM");
    put_be32(out, uint32_t(f.size()));
    out.insert(out.end(), f.begin(), f.end());
    return out;
}

}  // namespace

TEST(IffDecode, HeaderQueryFillsGlobalsAndLeavesPaletteAlone)
{
    const bytes pic = picture("PBM ", 320, 240, 8, {});
    uint8_t pal[768];
    std::memset(pal, 0xee, sizeof pal);
    iff_width = iff_height = iff_planes = iff_is_pbm = -5;
    EXPECT_EQ(iff_decode(pic.data(), nullptr, pal), -1);
    EXPECT_EQ(iff_width * 1000 + iff_height, 320240);
    EXPECT_EQ(iff_planes, 8);
    EXPECT_EQ(iff_is_pbm, 1);
    EXPECT_STREQ(iff_msg, "Destination is NULL.");
    for (uint8_t b : pal) ASSERT_EQ(b, 0xee);
    // the palette may be null for a query; planes are a signed byte
    const bytes neg = picture("ILBM", 16, 2, -3, {});
    EXPECT_EQ(iff_decode(neg.data(), nullptr, nullptr), -1);
    EXPECT_EQ(iff_planes, -3);
    EXPECT_EQ(iff_is_pbm, 0);
}

TEST(IffDecode, ByteRun1ControlBytes)
{
    // -128 is skipped; -127 repeats 128 times; 127 copies 128 bytes; 1 copies 2
    bytes body = {0x80, 0x81, 0x2a, 0x7f};
    for (int i = 0; i < 128; i++) body.push_back(uint8_t(i));
    body.insert(body.end(), {0x80, 0x01, 0x11, 0x22, 0xff, 0x33});
    const bytes pic = picture("PBM ", 260, 1, 8, body);
    bytes dest(260, 0), pal(768);
    ASSERT_EQ(iff_decode(pic.data(), dest.data(), pal.data()), -1);
    EXPECT_STREQ(iff_msg, "Picture loaded ok.");
    for (int i = 0; i < 128; i++) ASSERT_EQ(dest[size_t(i)], 0x2a);
    for (int i = 0; i < 128; i++) ASSERT_EQ(dest[size_t(128 + i)], i);
    EXPECT_EQ(bytes(dest.begin() + 256, dest.end()), bytes({0x11, 0x22, 0x33, 0x33}));
    EXPECT_EQ(0, std::memcmp(pal.data(), cmap().data(), 768));

    // The final run or copy is cut at the output size: 6 pixels wanted, a run of 8 offered.
    const bytes run = picture("PBM ", 3, 2, 8, {0xf9, 0x44});
    bytes small(8, 0xcc);
    ASSERT_EQ(iff_decode(run.data(), small.data(), pal.data()), -1);
    EXPECT_EQ(small, bytes({0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0xcc, 0xcc}));
    const bytes lit = picture("PBM ", 2, 1, 8, {0x03, 1, 2, 3, 4});
    ASSERT_EQ(iff_decode(lit.data(), small.data(), pal.data()), -1);
    EXPECT_EQ(small[2], 0x44);
}

TEST(IffDecode, MessagesAndResults)
{
    bytes dest(64), pal(768);
    struct row {
        const char* what;
        bytes data;
        int32_t result;
        const char* msg;
    };
    bytes no_form = picture("PBM ", 4, 1, 8, {0x03, 1, 2, 3, 4});
    std::memcpy(no_form.data() + 8, "XXXX", 4);
    bytes no_bmhd = picture("PBM ", 4, 1, 8, {0x03, 1, 2, 3, 4});
    std::memcpy(no_bmhd.data() + 12, "BMHX", 4);
    bytes no_cmap = picture("PBM ", 4, 1, 8, {0x03, 1, 2, 3, 4});
    std::memcpy(no_cmap.data() + 40, "CMAX", 4);
    bytes no_body = picture("PBM ", 4, 1, 8, {0x03, 1, 2, 3, 4});
    std::memcpy(no_body.data() + 816, "BODX", 4);
    bytes short_body = picture("PBM ", 4, 1, 8, {0x03, 1, 2});
    bytes deep = picture("ILBM", 8, 1, 9, bytes(9, 0));
    const row rows[] = {
        {"no form type", no_form, 0, "Invalid picture."},
        {"no header", no_bmhd, 0, "BMHD not found."},
        {"no palette", no_cmap, 0, "CMAP not found."},
        {"no body", no_body, 0, "BODY not found."},
        {"body ends before the picture", short_body, 0, "Picture data ends early."},
        {"nine planes", deep, 0, "Unsupported picture."},
    };
    for (const row& r : rows) {
        EXPECT_EQ(iff_decode(r.data.data(), dest.data(), pal.data()), r.result) << r.what;
        EXPECT_STREQ(iff_msg, r.msg) << r.what;
    }
    // without a FORM header the length is unknown: only the length-taking entry decodes it
    const bytes bare = picture("PBM ", 4, 1, 8, {0x03, 1, 2, 3, 4});
    bytes headless(bare.begin() + 8, bare.end());
    EXPECT_EQ(iff_decode(headless.data(), dest.data(), pal.data()), 0);
    EXPECT_STREQ(iff_msg, "Invalid picture.");
    EXPECT_EQ(iff_decode_n(headless.data(), headless.size(), dest.data(), pal.data()), -1);
    EXPECT_EQ(dest[3], 4);
}

TEST(IffDecode, TagSearches)
{
    bytes dest(64), pal(768);
    // "ILBM" is looked for first: data holding both is planar
    bytes both;
    put_tag(both, "FORM");
    put_be32(both, 0);
    put_tag(both, "ILBM");
    put_tag(both, "PBM ");
    chunk(both, "BMHD", bmhd(16, 1, 2));
    both[4] = 0, both[7] = uint8_t(both.size() - 8);
    ASSERT_EQ(iff_decode(both.data(), nullptr, nullptr), -1);
    EXPECT_EQ(iff_is_pbm, 0);

    // a "BODY" inside an earlier chunk is taken as the body: the first occurrence wins
    bytes f;
    put_tag(f, "PBM ");
    chunk(f, "BMHD", bmhd(2, 1, 8));
    chunk(f, "CMAP", cmap());
    chunk(f, "TINY", {'B', 'O', 'D', 'Y', 0, 0, 0, 2, 0x01, 0x05, 0x06});
    chunk(f, "BODY", {0x01, 0x07, 0x08});
    bytes early;
    put_tag(early, "FORM");
    put_be32(early, uint32_t(f.size()));
    early.insert(early.end(), f.begin(), f.end());
    ASSERT_EQ(iff_decode(early.data(), dest.data(), pal.data()), -1);
    EXPECT_EQ(dest[0], 5);
    EXPECT_EQ(dest[1], 6);

    // tags are searched at offsets 0..64001 only: a body tag at 64002 is not found, at 64001 it is
    for (int at : {64001, 64002}) {
        bytes g;
        put_tag(g, "FORM");
        put_be32(g, 0);
        put_tag(g, "PBM ");
        chunk(g, "BMHD", bmhd(2, 1, 8));
        chunk(g, "CMAP", cmap());
        g.resize(size_t(at), 0);
        chunk(g, "BODY", {0x01, 0x07, 0x08});
        const uint32_t len = uint32_t(g.size() - 8);
        g[4] = uint8_t(len >> 24), g[5] = uint8_t(len >> 16), g[6] = uint8_t(len >> 8), g[7] = uint8_t(len);
        EXPECT_EQ(iff_decode(g.data(), dest.data(), pal.data()), at == 64001 ? -1 : 0) << at;
        EXPECT_STREQ(iff_msg, at == 64001 ? "Picture loaded ok." : "BODY not found.");
    }
}

TEST(IffDecode, BoundedByTheDataLength)
{
    // every cut of a valid picture decodes or fails, reading nothing past the cut (ASan watches
    // the exact-size copies); a CMAP cut short comes out zero-filled
    const bytes pic = picture("PBM ", 4, 2, 8, {0x07, 1, 2, 3, 4, 5, 6, 7, 8});
    for (size_t n = 0; n <= pic.size(); n++) {
        std::vector<uint8_t> cut(pic.begin(), pic.begin() + long(n));
        bytes dest(8, 0), pal(768, 0xee);
        int32_t r = iff_decode_n(cut.data(), cut.size(), dest.data(), pal.data());
        EXPECT_EQ(r, n == pic.size() ? -1 : 0) << n;
    }
    bytes f;
    put_tag(f, "PBM ");
    chunk(f, "BMHD", bmhd(2, 1, 8));
    put_tag(f, "CMAP");
    put_be32(f, 6);
    f.insert(f.end(), {9, 8, 7, 6, 5, 4});
    uint8_t pal[768];
    std::memset(pal, 0xee, sizeof pal);
    uint8_t dest[2];
    EXPECT_EQ(iff_decode_n(f.data(), f.size(), dest, pal), 0);
    EXPECT_STREQ(iff_msg, "BODY not found.");
    EXPECT_EQ(pal[5], 4);
    EXPECT_EQ(pal[6] | pal[767], 0);

    // a CMAP of two colours still gives 768 bytes: what follows the chunk fills the rest
    chunk(f, "BODY", {0x01, 0x03, 0x04});
    f.resize(f.size() + 800, 0x5a);
    EXPECT_EQ(iff_decode_n(f.data(), f.size(), dest, pal), -1);
    const uint8_t follow[] = {'B', 'O', 'D', 'Y', 0, 0, 0, 3, 0x01, 0x03, 0x04, 0x5a};
    EXPECT_EQ(0, std::memcmp(pal + 6, follow, sizeof follow));
    EXPECT_EQ(pal[767], 0x5a);
    EXPECT_EQ(dest[1], 4);
}

TEST(IffPlanar, UnpacksAndConverts)
{
    // 16x1, 2 planes: plane 0 = 0b10101010 0b11110000, plane 1 = 0b11001100 0b00001111
    const bytes pic = picture("ILBM", 16, 1, 2, {0x03, 0xaa, 0xf0, 0xcc, 0x0f});
    bytes body(4), pal(768), px(16);
    ASSERT_EQ(iff_decode(pic.data(), body.data(), pal.data()), -1);
    EXPECT_EQ(body, bytes({0xaa, 0xf0, 0xcc, 0x0f}));
    iff_planar_to_chunky(body.data(), px.data());
    EXPECT_EQ(px, bytes({3, 2, 1, 0, 3, 2, 1, 0, 1, 1, 1, 1, 2, 2, 2, 2}));

    // the _ex form sets the globals itself; columns past the last whole byte come out 0
    const uint8_t src[2] = {0xff, 0x80};  // 12 wide, 1 plane: one whole byte per row
    uint8_t out[24];
    std::memset(out, 0x77, sizeof out);
    iff_planar_to_chunky_ex(src, out, 12, 2, 1);
    EXPECT_EQ(iff_width, 12);
    EXPECT_EQ(iff_planes, 1);
    const uint8_t want[24] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(out, want, 24));
}

TEST(IffLoadFile, ReadsWholeFilesAndReportsErrors)
{
    uint8_t dest[4], pal[768];
    EXPECT_EQ(iff_load_file("/nonexistent/picture.iff", dest, pal), 0);
    EXPECT_STREQ(iff_msg, "File not found!");

    char path[] = "/tmp/orv_iff_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(iff_load_file(path, dest, pal), 0);  // empty: nothing to find
    EXPECT_STREQ(iff_msg, "Invalid picture.");
    const bytes pic = picture("PBM ", 2, 2, 8, {0xfd, 0x09});
    ASSERT_EQ(write(fd, pic.data(), pic.size() - 1), ssize_t(pic.size() - 1));  // last byte missing
    close(fd);
    EXPECT_EQ(iff_load_file(path, dest, pal), 0);
    EXPECT_STREQ(iff_msg, "Picture data ends early.");
    FILE* f = std::fopen(path, "ab");
    std::fputc(0x09, f);
    std::fclose(f);
    EXPECT_EQ(iff_load_file(path, dest, pal), -1);
    EXPECT_STREQ(iff_msg, "Picture loaded ok.");
    EXPECT_EQ(dest[3], 9);
    EXPECT_EQ(iff_load_file(path, nullptr, nullptr), -1);
    EXPECT_STREQ(iff_msg, "Destination is NULL.");
    std::remove(path);

    // Not a regular file: a directory (whose size reads as LONG_MAX) and a FIFO with no writer
    // (whose open would block for ever) are refused at once.
    EXPECT_EQ(iff_load_file("/tmp", dest, pal), 0);
    EXPECT_STREQ(iff_msg, "Disk error.");
    char fifo[] = "/tmp/orv_iff_fifo_XXXXXX";
    ASSERT_NE(mkdtemp(fifo), nullptr);
    const std::string fifo_path = std::string(fifo) + "/p";
    ASSERT_EQ(mkfifo(fifo_path.c_str(), 0600), 0);
    EXPECT_EQ(iff_load_file(fifo_path.c_str(), dest, pal), 0);
    EXPECT_STREQ(iff_msg, "Disk error.");
    std::remove(fifo_path.c_str());
    rmdir(fifo);
}
