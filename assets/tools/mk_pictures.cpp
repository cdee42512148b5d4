// The show's pictures, each drawn for the effect or screen that shows it.
#include "mk_pictures.h"

#include <algorithm>

#include "mk_art.h"

namespace mk {

namespace {

size_t at(int w, int x, int y) { return size_t(y) * size_t(w) + size_t(x); }

// A starry night sky in entries first..first+47 (gradient) and star entries star..star+7.
void sky(canvas& cv, int first, int star, uint32_t seed, rgb top, rgb bottom)
{
    stops(cv, first, first + 47, {top, bottom});
    stops(cv, star, star + 7, {{90, 90, 120}, {255, 255, 255}});
    for (int y = 0; y < cv.h; y++)
        for (int x = 0; x < cv.w; x++) {
            double t = double(y) / (cv.h - 1) + (fbm(x / 40.0, y / 40.0, 3, seed) - 0.5) * 0.15;
            // ordered dither between neighbouring ramp entries
            static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
            double v = clamp01(t) * 47 + (bayer[y & 3][x & 3] / 16.0 - 0.5);
            cv.at(x, y) = uint8_t(first + clampi(int(v + 0.5), 0, 47));
        }
    rng r(seed);
    for (int i = 0; i < cv.w * cv.h / 300; i++) {
        int x = r.below(cv.w), y = r.below(cv.h);
        cv.at(x, y) = uint8_t(star + r.below(8));
    }
}

// Big shaded letters: `metal` entries m0..m0+63 run dark to light down each letter; an outline
// ring in entry `edge` and a soft drop shadow darkening towards `shadow`.
void shaded_text(canvas& cv, const std::string& s, int x, int y, int scale, int m0, int edge)
{
    const std::vector<double> m = text_mask(cv.w, cv.h, s, x, y, scale);
    const std::vector<double> ring = grow(m, cv.w, cv.h, 2.0);
    const int top = y, bottom = y + 7 * scale;
    for (int py = 0; py < cv.h; py++)
        for (int px = 0; px < cv.w; px++) {
            const size_t i = at(cv.w, px, py);
            if (m[i] >= 0.5) {
                // chrome: a bright horizon band across the middle of the letters
                double t = double(py - top) / (bottom - top);
                double v = t < 0.5 ? 0.35 + 0.65 * (t / 0.5) : 0.15 + 0.5 * (t - 0.5) / 0.5;
                v += 0.12 * std::sin(px * 0.05);
                cv.at(px, py) = uint8_t(level(clamp01(v), m0, m0 + 63));
            } else if (ring[i] > 0.3) {
                cv.at(px, py) = uint8_t(edge);
            }
        }
}

}  // namespace

canvas pic_title()
{
    canvas cv(320, 240);
    sky(cv, 0, 48, 11, {4, 2, 24}, {70, 20, 80});
    stops(cv, 64, 127, {{40, 20, 10}, {150, 80, 30}, {255, 220, 120}, {255, 255, 240}});
    cv.set_colour(128, {10, 4, 20});
    stops(cv, 130, 161, {{60, 200, 255}, {255, 255, 255}});
    // a planet rising behind the name
    stops(cv, 170, 201, {{20, 10, 40}, {120, 60, 160}, {255, 190, 230}});
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double dx = x - 160, dy = y - 375;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d < 190) {
                double lit = clamp01((-dy / 190.0) * 0.9 + (dx / 190.0) * 0.2 + 0.1 -
                                     0.15 * fbm(x / 25.0, y / 6.0, 3, 19));
                cv.at(x, y) = uint8_t(level(lit, 170, 201));
            } else if (d < 196) {
                cv.at(x, y) = uint8_t(level(1 - (d - 190) / 6, 130, 145));
            }
        }
    const std::string name = "ORVANTO";
    const int scale = 7, nx = (320 - text_width(name, scale)) / 2, ny = 60;
    // a soft glow round the name, over the sky
    stops(cv, 202, 233, {{40, 12, 70}, {150, 60, 170}, {255, 170, 240}});
    const std::vector<double> glow = grow(text_mask(320, 240, name, nx, ny, scale), 320, 240, 9.0, true);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            const double g = glow[size_t(y) * 320 + size_t(x)];
            if (g > 0.05 && cv.at(x, y) < 64)
                cv.at(x, y) = uint8_t(level(g * 0.8, 202, 233));
        }
    shaded_text(cv, name, nx, ny, scale, 64, 128);
    const std::string sub = "A REAL-TIME DEMO";
    text(cv, sub, (320 - text_width(sub, 2)) / 2, 140, 2,
         [](int, int y) { return level((y - 140) / 14.0, 130, 161); });
    return cv;
}

canvas pic_end()
{
    canvas cv(320, 240);
    sky(cv, 0, 48, 23, {0, 0, 0}, {10, 30, 60});
    stops(cv, 64, 127, {{20, 40, 80}, {80, 160, 255}, {230, 250, 255}});
    cv.set_colour(128, {0, 0, 10});
    stops(cv, 130, 161, {{120, 120, 140}, {255, 240, 200}});
    // a pale moon over a dark range of hills, and the name's colours once more
    stops(cv, 170, 201, {{30, 40, 70}, {170, 180, 200}, {250, 250, 240}});
    stops(cv, 202, 233, {{2, 4, 10}, {14, 22, 40}});
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            const double md = std::hypot(x - 291.0, y - 26.0);
            if (md < 17)
                cv.at(x, y) = uint8_t(level(clamp01(1.0 - 0.5 * fbm(x / 6.0, y / 6.0, 3, 71) - (md / 17) * 0.3), 170, 201));
            const double ridge = 205 - 22 * fbm(x / 45.0, 2.5, 5, 73);
            if (y > ridge)
                cv.at(x, y) = uint8_t(level((y - ridge) / 40.0, 202, 233));
        }
    const std::string a = "THE END";
    shaded_text(cv, a, (320 - text_width(a, 6)) / 2, 50, 6, 64, 128);
    const char* lines[] = {"THANK YOU FOR WATCHING", "ORVANTO", "SEE YOU NEXT TIME"};
    int y = 122;
    for (const char* l : lines) {
        std::string s(l);
        text(cv, s, (320 - text_width(s, 2)) / 2, y, 2,
             [&](int, int py) { return level((py - y) / 14.0, 130, 161); });
        y += 24;
    }
    return cv;
}

// Wipe masks: grey levels whose value is the tick (0..255) at which the pixel changes over.
static canvas grey(int w, int h)
{
    canvas cv(w, h);
    stops(cv, 0, 255, {{0, 0, 0}, {255, 255, 255}});
    return cv;
}

canvas wipe_radial()
{
    canvas cv = grey(320, 240);
    const double maxd = std::sqrt(160.0 * 160 + 120 * 120);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double d = std::sqrt((x - 159.5) * (x - 159.5) + (y - 119.5) * (y - 119.5)) / maxd;
            cv.at(x, y) = uint8_t(clampi(int(d * 255), 0, 255));
        }
    return cv;
}

canvas wipe_diagonal()
{
    canvas cv = grey(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            cv.at(x, y) = uint8_t(clampi(int((x + y * 320.0 / 240) / 640.0 * 255 + 0.5), 0, 255));
    return cv;
}

canvas wipe_spiral()
{
    canvas cv = grey(320, 240);
    const double maxd = std::sqrt(160.0 * 160 + 120 * 120);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double dx = x - 159.5, dy = y - 119.5;
            double a = (std::atan2(dy, dx) + M_PI) / (2 * M_PI);  // 0..1 round the centre
            double d = std::sqrt(dx * dx + dy * dy) / maxd;      // 0..1 outwards
            // one arm wound three times round the centre: the sweep goes round and outwards
            double v = std::fmod(a + d * 3.0, 1.0);
            cv.at(x, y) = uint8_t(clampi(int((0.75 * v + 0.25 * d) * 255), 0, 255));
        }
    return cv;
}

canvas wipe_blinds()
{
    canvas cv = grey(320, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 320; x++) {
            int slat = y % 32;           // 8 slats, each closing from its top edge
            double sweep = x / 320.0;    // and the slats start one after another left to right
            cv.at(x, y) = uint8_t(clampi(int(slat * 6 + sweep * 60), 0, 255));
        }
    return cv;
}

canvas wipe_dissolve()
{
    canvas cv = grey(320, 240);
    std::vector<std::pair<double, int>> v(76800);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            v[at(320, x, y)] = {fbm(x / 23.0, y / 23.0, 5, 61), int(at(320, x, y))};
    // equalise: every level 0..255 takes the same share of the pixels
    std::sort(v.begin(), v.end());
    for (size_t k = 0; k < v.size(); k++)
        cv.px[size_t(v[k].second)] = uint8_t(k * 256 / v.size());
    return cv;
}

}  // namespace mk
