// Canvas helpers and the writers of IFF "PBM " pictures and animation containers.
#include "mk.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace mk {

void canvas::set_colour(int i, rgb c)
{
    pal[3 * i] = uint8_t(clampi(int(std::lround(c.r)), 0, 255));
    pal[3 * i + 1] = uint8_t(clampi(int(std::lround(c.g)), 0, 255));
    pal[3 * i + 2] = uint8_t(clampi(int(std::lround(c.b)), 0, 255));
}

void canvas::ramp(int first, int last, rgb a, rgb b)
{
    for (int i = first; i <= last; i++) {
        double t = last == first ? 0.0 : double(i - first) / double(last - first);
        set_colour(i, {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t});
    }
}

void canvas::fill(int c) { std::memset(px.data(), c, px.size()); }

void canvas::rect(int x0, int y0, int x1, int y1, int c)
{
    for (int y = std::max(0, y0); y <= std::min(h - 1, y1); y++)
        for (int x = std::max(0, x0); x <= std::min(w - 1, x1); x++)
            at(x, y) = uint8_t(c);
}

void canvas::disc(double cx, double cy, double r, int c)
{
    for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; y++)
        for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; x++) {
            double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            if (dx * dx + dy * dy <= r * r)
                put(x, y, c);
        }
}

namespace {

void be16(bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void be32(bytes& b, uint32_t v)
{
    be16(b, v >> 16);
    be16(b, v & 0xffff);
}
void tag(bytes& b, const char* t)
{
    for (int i = 0; i < 4; i++)
        b.push_back(uint8_t(t[i]));
}

void iff_chunk(bytes& out, const char* id, const bytes& data, bool pad)
{
    tag(out, id);
    be32(out, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (pad && (data.size() & 1))
        out.push_back(0);
}

// One row: replicate runs of 3..128 equal bytes, literal runs of 1..128 bytes between them.
void byterun1_row(bytes& out, const uint8_t* p, int w)
{
    int i = 0;
    while (i < w) {
        int run = 1;
        while (i + run < w && run < 128 && p[i + run] == p[i])
            run++;
        if (run >= 3) {
            out.push_back(uint8_t(int8_t(1 - run)));
            out.push_back(p[i]);
            i += run;
            continue;
        }
        // literal: up to the next run of three or the end, at most 128 bytes
        int start = i, len = 0;
        while (i < w && len < 128) {
            if (i + 2 < w && p[i] == p[i + 1] && p[i] == p[i + 2])
                break;
            i++;
            len++;
        }
        out.push_back(uint8_t(len - 1));
        out.insert(out.end(), p + start, p + start + len);
    }
}

// Makes an odd-length ByteRun1 stream one byte longer without changing what it unpacks to:
// a literal run of two or more bytes becomes two literal runs, or else a replicate run of four
// or more gives its last two bytes to a literal (three bytes more). False when neither exists.
bool lengthen_to_even(bytes& s)
{
    for (size_t i = 0; i < s.size();) {
        int n = int8_t(s[i]);
        if (n >= 1) {  // literal of n + 1 >= 2 bytes: split after its first byte
            s.insert(s.begin() + long(i) + 2, uint8_t(n - 1));
            s[i] = 0;
            return true;
        }
        i += n >= 0 ? size_t(n) + 2 : 2;
    }
    for (size_t i = 0; i < s.size();) {
        int n = int8_t(s[i]);
        if (n <= -3) {  // 1 - n >= 4 copies: run of 1 - n - 2, then a literal of two
            uint8_t v = s[i + 1];
            s[i] = uint8_t(int8_t(n + 2));
            const uint8_t lit[3] = {1, v, v};
            s.insert(s.begin() + long(i) + 2, lit, lit + 3);
            return true;
        }
        i += n >= 0 ? size_t(n) + 2 : 2;
    }
    return false;
}

long find_tag(const bytes& b, const char* t)
{
    for (size_t i = 0; i + 4 <= b.size(); i++)
        if (std::memcmp(b.data() + i, t, 4) == 0)
            return long(i);
    return -1;
}

}  // namespace

bytes byterun1_rows(const uint8_t* px, int w, int h)
{
    bytes out;
    for (int y = 0; y < h; y++)
        byterun1_row(out, px + size_t(y) * size_t(w), w);
    return out;
}

bytes iff_pbm(const canvas& cv)
{
    bytes bmhd;
    be16(bmhd, uint32_t(cv.w));
    be16(bmhd, uint32_t(cv.h));
    be16(bmhd, 0);  // x origin
    be16(bmhd, 0);  // y origin
    bmhd.push_back(8);  // planes
    bmhd.push_back(0);  // no mask
    bmhd.push_back(1);  // ByteRun1
    bmhd.push_back(0);  // pad
    be16(bmhd, 0);      // transparent colour
    bmhd.push_back(5);  // aspect 5:6, a 320x200 screen's pixels
    bmhd.push_back(6);
    be16(bmhd, uint32_t(cv.w));  // page size
    be16(bmhd, uint32_t(cv.h));

    bytes cmap(cv.pal, cv.pal + 768);

    bytes dpps(110, 0);  // perspective state of the paint program: none in use
    dpps[1] = 1;

    bytes crng;  // sixteen colour cycling ranges, none active (flags 0)
    for (int i = 0; i < 16; i++) {
        be16(crng, 0);       // pad
        be16(crng, 0x0aaa);  // rate
        be16(crng, 0);       // flags: inactive
        crng.push_back(0);   // low
        crng.push_back(0);   // high
    }

    // TINY: a quarter-size thumbnail, each pixel the top-left one of its 4x4 cell, ByteRun1 rows
    const int tw = cv.w / 4, th = cv.h / 4;
    bytes thumb(size_t(tw) * size_t(th));
    for (int y = 0; y < th; y++)
        for (int x = 0; x < tw; x++)
            thumb[size_t(y) * size_t(tw) + size_t(x)] = cv.get(4 * x, 4 * y);
    bytes tiny;
    be16(tiny, uint32_t(tw));
    be16(tiny, uint32_t(th));
    bytes tb = byterun1_rows(thumb.data(), tw, th);
    tiny.insert(tiny.end(), tb.begin(), tb.end());

    bytes body = byterun1_rows(cv.px.data(), cv.w, cv.h);
    if ((body.size() & 1) && !lengthen_to_even(body))
        throw std::runtime_error("picture body cannot be made even");

    bytes form;
    tag(form, "PBM ");
    iff_chunk(form, "BMHD", bmhd, true);
    iff_chunk(form, "CMAP", cmap, true);
    iff_chunk(form, "DPPS", dpps, true);
    for (int i = 0; i < 16; i++)
        iff_chunk(form, "CRNG", bytes(crng.begin() + 8 * i, crng.begin() + 8 * i + 8), true);
    iff_chunk(form, "TINY", tiny, true);
    const long body_at = long(form.size()) + 8;
    iff_chunk(form, "BODY", body, true);

    bytes out;
    tag(out, "FORM");
    be32(out, uint32_t(form.size()));
    out.insert(out.end(), form.begin(), form.end());
    // the decoder takes the first occurrence of each tag
    if (find_tag(out, "BMHD") != 12 || find_tag(out, "CMAP") != 40 ||
        find_tag(out, "BODY") != body_at || body_at > 64001)
        throw std::runtime_error("a chunk tag occurs early in the picture's data");
    return out;
}

bytes anim_container(const std::vector<canvas>& frames)
{
    bytes out;
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; i++)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    const uint32_t n = uint32_t(frames.size());
    le32(n);
    for (uint32_t k = 0; k < n; k++)
        le32(4 + 4 * n + k * (768 + 19200));
    for (const canvas& f : frames) {
        if (f.w != 160 || f.h != 120)
            throw std::runtime_error("animation frames are 160x120");
        out.insert(out.end(), f.pal, f.pal + 768);
        out.insert(out.end(), f.px.begin(), f.px.end());
    }
    return out;
}

void write_file(const std::string& path, const bytes& b)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(b.data(), 1, b.size(), f) != b.size() || std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace mk
