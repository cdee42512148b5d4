// Blob trails.
#include "fx/fx_blobs.h"
#include "fx/fx_internal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/emb.h"
#include "picture/iff.h"
#include "picture/pix.h"

static_assert(std::atomic<int32_t>::is_always_lock_free, "the size counter is shared with a signal handler");

uint8_t fx_blobs_palette[768];
std::atomic<int32_t> fx_blobs_size{60};

namespace {

constexpr int W = pix_frame_w, H = 200;   // main's picture slot rows 20..219
constexpr int cell = 20;
constexpr int max_points = 50;

uint8_t fx_blobs_cell[W * H];   // the stamp picture; its top-left 20x20 cell is the disc
// Fade table indexed by the sum of three bytes. 768 entries rather than 256: the blob buffer
// normally holds 0..60 (sums up to 180), but a byte main left above that must not index past it.
uint8_t fx_blobs_fade_table[768];
float fx_blobs_t[6];            // T1..T6 of the current segment
float fx_blobs_points[max_points][2];

int32_t fx_blobs_used_size()
{
    const int32_t s = fx_blobs_size.load();   // once per render: K and n agree
    return s < 10 ? 10 : (s > 479 ? 479 : s);
}

// Ring slot of point i: the chain zigzags across the ring.
int32_t fx_blobs_slot(int32_t i, int32_t n)
{
    if ((i & 1) == 0) return i + 1;
    const int32_t m = n - i;
    return (m & 1) == 0 ? m + 1 : m - 1;
}

void fx_blobs_make_points(float ph1, float R, float K, int32_t n)
{
    for (int32_t i = 0; i < n + 3; i++) {
        const int32_t j = fx_blobs_slot(i, n) % n;   // negative for a negative slot
        const double w = 6.283185307179586 * 10.0 * j / K;
        fx_blobs_points[i][0] = static_cast<float>(160.0 + R * std::sin(ph1 + 0.5 * std::sin(0.9 * ph1) + w));
        fx_blobs_points[i][1] = static_cast<float>(100.0 + 0.8 * R * std::cos(ph1 + 0.5 * std::sin(0.8 * ph1) + w));
    }
}

// Each byte takes the faded sum of itself and the two below, read before they are updated.
void fx_blobs_fade(uint8_t* buf)
{
    for (int i = 0; i < W * H; i++) buf[i] = fx_blobs_fade_table[buf[i] + buf[i + W] + buf[i + 2 * W]];
}

void fx_blobs_add_cell(uint8_t* buf, int32_t cx, int32_t cy, int c0, int c1, int r0, int r1)
{
    for (int r = r0; r <= r1; r++) {
        uint8_t* row = buf + (cy + r) * W + cx;
        const uint8_t* src = fx_blobs_cell + r * W;
        for (int c = c0; c <= c1; c++) {
            const int v = row[c] + src[c];
            row[c] = static_cast<uint8_t>(v > 60 ? 60 : v);
        }
    }
}

}  // namespace

void fx_blobs_init_from(const uint8_t* pic, uint32_t size)
{
    if (iff_decode_fit(pic, size, fx_blobs_cell, W * H, fx_blobs_palette) == 0) {
        std::printf("%s", iff_msg);
        return;
    }
    for (uint8_t& b : fx_blobs_cell) b = b != 0 ? 1 : 0;
}

void fx_blobs_init() { fx_blobs_init_from(emb_pic_blob_stamp, emb_pic_blob_stamp_size); }

void fx_blobs_grow(int32_t n)
{
    // Runs in the signal handler, which main never interrupts: the test and the add are not torn.
    if (fx_blobs_size.load() <= 449) fx_blobs_size.fetch_add(n);
}

void fx_blobs_stamp(int32_t x, int32_t y, int32_t, uint8_t* buf)
{
    const int32_t cx = x - 10, cy = y - 10;
    if (cx >= 0 && cx <= W - cell && cy >= 0 && cy <= H - cell) {
        fx_blobs_add_cell(buf, cx, cy, 0, cell - 1, 0, cell - 1);
        return;
    }
    if (cx > W - 1 || cy > H - 1 || cx <= -cell || cy <= -cell) return;
    const int c0 = cx < 0 ? -cx : 0, c1 = cx > W - cell ? W - 1 - cx : cell - 1;
    const int r0 = cy < 0 ? -cy : 0, r1 = cy > H - cell ? H - 1 - cy : cell - 1;
    fx_blobs_add_cell(buf, cx, cy, c0, c1, r0, r1);
}

// The six segment parameters: tension, bias, continuity at the start, then at the end.
static void fx_blobs_set_params(const float* t6) { std::memcpy(fx_blobs_t, t6, sizeof fx_blobs_t); }

// p: four points (x, y) of the chain. The Kochanek-Bartels segment from the second point to the
// third as exactly 20 stamps, at s = 0, 0.05, ..., 0.95.
static void fx_blobs_spline(const float* p, uint8_t* buf)
{
    const float* T = fx_blobs_t;
    // tangent weights: T1/T4 tension, T2/T5 bias, T3/T6 continuity
    const float a = 0.5f * (1 - T[0]) * (1 + T[1]) * (1 + T[2]);
    const float b = 0.5f * (1 - T[0]) * (1 - T[1]) * (1 - T[2]);
    const float e = 0.5f * (1 - T[3]) * (1 + T[4]) * (1 - T[5]);
    const float f = 0.5f * (1 - T[3]) * (1 - T[4]) * (1 + T[5]);
    float c3[2], c2[2], c1[2], c0[2];   // Hermite curve as a cubic in s, per axis
    for (int k = 0; k < 2; k++) {
        const float p0 = p[k], p1 = p[2 + k], p2 = p[4 + k], p3 = p[6 + k];
        const float m1 = a * (p1 - p0) + b * (p2 - p1);
        const float m2 = e * (p2 - p1) + f * (p3 - p2);
        c3[k] = 2 * p1 - 2 * p2 + m1 + m2;
        c2[k] = -3 * p1 + 3 * p2 - 2 * m1 - m2;
        c1[k] = m1;
        c0[k] = p1;
    }
    // 0.05f is 0.05000000074505806: twenty steps pass 1.0, so exactly 20 stamps
    const float step = 0.05f;
    for (float s = 0.0f; s <= 1.0f; s += step) {
        const float x = ((c3[0] * s + c2[0]) * s + c1[0]) * s + c0[0];
        const float y = ((c3[1] * s + c2[1]) * s + c1[1]) * s + c0[1];
        // a curve thrown far off the buffer draws nothing there anyway; keep the cast defined
        if (std::fabs(x) < 1e6f && std::fabs(y) < 1e6f)
            fx_blobs_stamp(static_cast<int32_t>(x), static_cast<int32_t>(y), 1, buf);
    }
}

void fx_blobs_render(uint8_t* buf, int32_t t)
{
    const float ph1 = static_cast<float>(0.021 * t);
    const float ph2 = static_cast<float>(0.123 * t);
    const float ph3 = static_cast<float>(0.147 * t);
    const int32_t size = fx_blobs_used_size();
    const float R = static_cast<float>(50.0 * (1.5 + 0.25 * std::cos(1.6 * ph1)));
    const float K = static_cast<float>(0.25 * size * (4 + 0.5 * std::sin(double{ph1})));   // not a float sine
    const int32_t n = size / 10;
    fx_blobs_make_points(ph1, R, K, n);

    // The float phase's sine in double: a float sine would round values just below 1 up to 1.
    const int32_t step = static_cast<int32_t>(29.0 + std::sin(double{ph3}) + (std::rand() % 4));   // 28..33
    for (int k = 0; k < 768; k++) {
        const int32_t v = k * step / 120;
        fx_blobs_fade_table[k] = static_cast<uint8_t>(v < 40 ? v : 40);
    }
    fx_blobs_fade(buf);

    for (int32_t i = 0; i < n; i++) {
        const double p = (i & 1) == 0 ? 1.4 * ph2 : ph2;
        const float T6[6] = {static_cast<float>(3 * std::sin(0.02345 * p)),    static_cast<float>(3 * std::sin(0.01324987 * p)),
                             static_cast<float>(3 * std::sin(0.0312978 * p)),  static_cast<float>(3 * std::sin(0.02348 * p)),
                             static_cast<float>(3 * std::sin(0.07872 * p)),    static_cast<float>(3 * std::sin(0.092978 * p))};
        fx_blobs_set_params(T6);
        fx_blobs_spline(&fx_blobs_points[i][0], buf);
    }
}
