// The asset generator's shared pieces: an 8-bit canvas with its palette, drawing helpers, a
// bitmap font, the IFF "PBM " writer, the animation container writer and the 3DS chunk writer.
// Everything is deterministic: no clock, no std::rand, only the fixed-seed generator below.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace mk {

using bytes = std::vector<uint8_t>;

// xorshift32 with a fixed seed per asset: the same bytes on every build.
struct rng {
    uint32_t s;
    explicit rng(uint32_t seed) : s(seed ? seed : 0x9e3779b9u) {}
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    double unit() { return (next() >> 8) * (1.0 / 16777216.0); }  // [0, 1)
    int below(int n) { return int(next() % uint32_t(n)); }
};

struct rgb {
    double r, g, b;  // 0..255
};

// An 8-bit picture with its 256-colour palette.
struct canvas {
    int w, h;
    bytes px;
    uint8_t pal[768] = {};
    canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_), 0) {}
    uint8_t& at(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
    uint8_t get(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
    bool in(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    void put(int x, int y, int c)
    {
        if (in(x, y))
            at(x, y) = uint8_t(c);
    }
    void set_colour(int i, rgb c);
    // entries first..last: a straight blend from a to b
    void ramp(int first, int last, rgb a, rgb b);
    void fill(int c);
    void rect(int x0, int y0, int x1, int y1, int c);  // inclusive corners, clipped
    void disc(double cx, double cy, double r, int c);
};

// Bitmap font: 5x7 glyphs for A-Z, 0-9 and a little punctuation, each pixel drawn as a
// scale x scale block; `shade(x, y)` picks the index of each covered pixel.
int text_width(const std::string& s, int scale);
template <class F>
void text(canvas& cv, const std::string& s, int x, int y, int scale, F shade);
bool glyph_bit(char ch, int col, int row);  // col 0..4, row 0..6

template <class F>
void text(canvas& cv, const std::string& s, int x, int y, int scale, F shade)
{
    int cx = x;
    for (char ch : s) {
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++)
                if (glyph_bit(ch, col, row))
                    for (int dy = 0; dy < scale; dy++)
                        for (int dx = 0; dx < scale; dx++) {
                            int px = cx + col * scale + dx, py = y + row * scale + dy;
                            if (cv.in(px, py))
                                cv.at(px, py) = uint8_t(shade(px, py));
                        }
        cx += 6 * scale;
    }
}

// Signed distance-style helpers for soft shapes.
inline double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// IFF FORM "PBM ": BMHD (8 planes, ByteRun1), CMAP, DPPS, sixteen inactive CRNG, TINY, BODY last,
// the BODY ending at the end of the file. Checks that the first "BMHD", "CMAP" and "BODY" in the
// file are the chunks themselves and throws when the picture cannot be stored that way.
bytes iff_pbm(const canvas& cv);
// ByteRun1 of each row on its own; never emits the -128 no-op.
bytes byterun1_rows(const uint8_t* px, int w, int h);

// Animation container: count, offsets, then each frame's palette and 160x120 indices.
bytes anim_container(const std::vector<canvas>& frames);

// 3DS chunks: a chunk is its id, its length (header included) and its bytes.
struct chunk {
    uint16_t id;
    bytes data;
    std::vector<chunk> kids;
    chunk(uint16_t i) : id(i) {}
    chunk& u8(uint8_t v);
    chunk& u16(uint16_t v);
    chunk& u32(uint32_t v);
    chunk& f32(float v);
    chunk& str(const std::string& s);  // NUL-terminated
    chunk& add(chunk c);
    bytes bytes_out() const;
};

struct mesh {
    std::string name;
    std::vector<float> v;        // x, y, z per vertex
    std::vector<uint16_t> f;     // a, b, c per face
    std::vector<float> uv;       // u, v per vertex, or empty
    int nv() const { return int(v.size() / 3); }
    int nf() const { return int(f.size() / 3); }
};

// Named object chunk 0x4000 of a triangle mesh (0x4110, 0x4120 with flags 0, 0x4140 if uv, 0x4160).
chunk obj_mesh(const mesh& m);
// Keyframer node 0xB002 for a mesh: one position, rotation and scale key at frame 0.
chunk kf_mesh_node(const std::string& name, uint16_t node_id);
// Main chunk: version 3, editor (mesh version 3 then `objects`), keyframer (segment 0..30, then
// `nodes`).
bytes file_3ds(const std::vector<chunk>& editor_extra_before, const std::vector<chunk>& objects,
               const std::vector<chunk>& nodes);

// Mesh builders.
mesh sphere(const std::string& name, int segs, int bands, double r, bool uv);
mesh box(const std::string& name, double sx, double sy, double sz);
mesh torus(const std::string& name, int segs, int sides, double R, double r);

void write_file(const std::string& path, const bytes& b);

}  // namespace mk
