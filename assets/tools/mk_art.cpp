// Drawing helpers of the asset generator.
#include "mk_art.h"

#include <algorithm>

namespace mk {

void stops(canvas& cv, int first, int last, std::initializer_list<rgb> cs)
{
    std::vector<rgb> v(cs);
    const int n = int(v.size()) - 1;
    for (int i = first; i <= last; i++) {
        double t = last == first ? 0 : double(i - first) / (last - first) * n;
        int k = std::min(int(t), n - 1);
        double f = t - k;
        cv.set_colour(i, {v[k].r + (v[k + 1].r - v[k].r) * f, v[k].g + (v[k + 1].g - v[k].g) * f,
                          v[k].b + (v[k + 1].b - v[k].b) * f});
    }
}

static double lattice(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xffffff) / 16777215.0;
}

static double smooth_noise(double x, double y, uint32_t seed)
{
    int xi = int(std::floor(x)), yi = int(std::floor(y));
    double fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    double a = lattice(xi, yi, seed), b = lattice(xi + 1, yi, seed);
    double c = lattice(xi, yi + 1, seed), d = lattice(xi + 1, yi + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

double fbm(double x, double y, int octaves, uint32_t seed)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * smooth_noise(x, y, seed + uint32_t(o) * 101u);
        norm += amp;
        x *= 2.03;
        y *= 2.03;
        amp *= 0.5;
    }
    return sum / norm;
}

std::vector<double> text_mask(int w, int h, const std::string& s, int x0, int y0, int scale)
{
    std::vector<double> m(size_t(w) * size_t(h), 0.0);
    // supersample the glyph cells with rounded corners: distance to the cell's pixel block
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int hits = 0;
            for (int sy = 0; sy < 3; sy++)
                for (int sx = 0; sx < 3; sx++) {
                    double px = x + (sx + 0.5) / 3 - x0, py = y + (sy + 0.5) / 3 - y0;
                    if (px < 0 || py < 0)
                        continue;
                    int ci = int(px / (6 * scale));
                    double lx = px - ci * 6 * scale;
                    int col = int(lx / scale), row = int(py / scale);
                    if (ci < int(s.size()) && col < 5 && row < 7 && glyph_bit(s[size_t(ci)], col, row))
                        hits++;
                }
            m[size_t(y) * size_t(w) + size_t(x)] = hits / 9.0;
        }
    return m;
}

std::vector<double> grow(const std::vector<double>& m, int w, int h, double r, bool soft)
{
    std::vector<double> out(m.size(), 0.0);
    const int ri = int(std::ceil(r));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            double best = 0;
            for (int dy = -ri; dy <= ri; dy++)
                for (int dx = -ri; dx <= ri; dx++) {
                    int xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= w || yy >= h)
                        continue;
                    double v = m[size_t(yy) * size_t(w) + size_t(xx)];
                    if (v <= best)
                        continue;
                    double d = std::sqrt(double(dx * dx + dy * dy));
                    double f = soft ? clamp01(1.0 - d / (r + 1.0)) : clamp01(r + 0.5 - d);
                    best = std::max(best, v * f);
                }
            out[size_t(y) * size_t(w) + size_t(x)] = best;
        }
    return out;
}

}  // namespace mk
