// Pictures of the 3D scenes and the shattering screen: textures, backdrops and overlays.
#include <algorithm>

#include "mk_art.h"
#include "mk_pictures.h"

namespace mk {

// Sunset over the sea behind two ranges of hills: the picture that breaks into shards.
canvas pic_shatter()
{
    canvas cv(320, 240);
    stops(cv, 0, 79, {{30, 10, 60}, {180, 50, 90}, {255, 140, 60}, {255, 230, 150}});   // sky
    stops(cv, 80, 111, {{255, 200, 80}, {255, 255, 230}});                             // sun
    stops(cv, 112, 143, {{20, 5, 35}, {90, 30, 70}});                                  // far hills
    stops(cv, 144, 175, {{5, 0, 10}, {40, 10, 30}});                                   // near hills
    stops(cv, 176, 255, {{10, 5, 40}, {110, 40, 90}, {255, 150, 70}, {255, 240, 200}}); // sea
    const double horizon = 150;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double far = 118 - 30 * fbm(x / 60.0, 1.5, 5, 31);
            double near = 140 - 22 * fbm(x / 40.0 + 7, 3.5, 5, 37);
            double sd = std::sqrt((x - 200.0) * (x - 200.0) + (y - 128.0) * (y - 128.0));
            int c;
            if (y < horizon) {
                c = level(clamp01(y / horizon + 0.1 * fbm(x / 30.0, y / 8.0, 3, 3) - 0.05), 0, 79);
                if (sd < 26)
                    c = level(1 - sd / 26, 80, 111);
                if (y > far)
                    c = level((y - far) / 40.0, 112, 143);
                if (y > near && x < 170)
                    c = level((y - near) / 30.0, 144, 175);
            } else {
                double d = (y - horizon) / (240 - horizon);
                double ripple = fbm(x / 25.0, (y - horizon) * 1.2 / (0.15 + d), 3, 41);
                double glitter = std::exp(-std::pow((x - 200) / (8 + 60 * d), 2)) * (ripple > 0.55 ? 1 : 0.25);
                double v = 0.45 - 0.35 * d + 0.2 * ripple + 0.6 * glitter;
                c = level(clamp01(v), 176, 255);
            }
            cv.at(x, y) = uint8_t(c);
        }
    return cv;
}

// The wall behind the shadow scene: large stone tiles under a spotlight; shadows halve it.
canvas pic_shadow_bg()
{
    canvas cv(320, 240);
    stops(cv, 0, 255, {{8, 6, 12}, {60, 45, 50}, {150, 120, 100}, {235, 215, 180}, {255, 250, 235}});
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double spot = std::exp(-((x - 190.0) * (x - 190.0) + (y - 100.0) * (y - 100.0)) / 22000.0);
            int tx = (x + (((y / 40) & 1) ? 30 : 0)) % 60, ty = y % 40;
            bool joint = tx < 2 || ty < 2;
            double grain = fbm(x / 9.0, y / 9.0, 4, 17);
            double v = 0.18 + 0.7 * spot + 0.12 * (grain - 0.5);
            if (joint)
                v *= 0.55;
            else if (tx < 4 || ty < 4)
                v *= 1.12;  // bevel catching the light
            cv.at(x, y) = uint8_t(level(clamp01(v), 0, 255));
        }
    return cv;
}

// Only the palette counts: entry 0 black, entries 1..127 one smooth ramp from deep violet through
// coral to pale gold, the shading of the shadow scene's objects. The picture shows the ramp.
canvas pic_shadow_pal()
{
    canvas cv(320, 200);
    stops(cv, 1, 127, {{18, 6, 40}, {90, 30, 110}, {220, 80, 90}, {250, 170, 90}, {255, 245, 200}});
    stops(cv, 128, 255, {{0, 0, 0}, {0, 0, 0}});
    for (int y = 20; y < 180; y++)
        for (int x = 0; x < 320; x++)
            cv.at(x, y) = uint8_t(1 + x * 127 / 320);
    return cv;
}

// Environment map in 16 levels (indices 0..15): a bright sky above, a dim floor below and a
// sun; the lattice's cube sides are flat, so each side takes one tone of it and the tones must
// stay apart from one another and from entry 0, the black behind the cubes (no texel is below
// 3). The palette repeats it in three colourways, entries 0..15, 16..31 and 32..47.
canvas pic_lattice_tex()
{
    canvas cv(320, 200);
    stops(cv, 0, 15, {{0, 8, 30}, {30, 90, 180}, {170, 220, 255}, {255, 255, 255}});
    stops(cv, 16, 31, {{30, 10, 0}, {170, 90, 20}, {255, 210, 110}, {255, 255, 240}});
    stops(cv, 32, 47, {{30, 0, 20}, {160, 20, 90}, {255, 130, 200}, {255, 240, 255}});
    stops(cv, 48, 255, {{0, 0, 0}, {0, 0, 0}});
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            double nx = (x - 159.5) / 160, ny = (y - 99.5) / 100;
            double r = std::sqrt(nx * nx + ny * ny);
            double v = 0.6 - 0.4 * ny - 0.08 * nx;  // sky over a dim floor, lit from the left
            v += 0.7 * std::exp(-((nx + 0.3) * (nx + 0.3) + (ny + 0.35) * (ny + 0.35)) / 0.05);  // sun
            v *= 1.0 - 0.2 * r * r;
            if (std::fabs(ny - 0.1) < 0.03)
                v += 0.2;  // the horizon's glint
            cv.at(x, y) = uint8_t(clampi(int(clamp01(v) * 15.99), 3, 15));
        }
    return cv;
}

// A strip along the right edge, cut in a wavy left border, with the name down it; each row of
// the strip runs unbroken from column 319 (the overlay is copied right to left up to its first 0).
canvas pic_lattice_overlay()
{
    canvas cv(320, 240);
    stops(cv, 1, 48, {{10, 10, 30}, {50, 60, 110}, {120, 150, 220}});
    stops(cv, 49, 80, {{255, 180, 60}, {255, 255, 220}});
    for (int y = 0; y < 240; y++) {
        int left = 276 + int(6 * std::sin(y / 17.0) + 3 * std::sin(y / 5.0));
        for (int x = left; x < 320; x++) {
            double v = 0.25 + 0.6 * double(x - left) / (320 - left) * (0.7 + 0.3 * std::sin(y / 9.0));
            if (x - left < 2)
                v = 0.95;  // a lit rim
            cv.at(x, y) = uint8_t(level(clamp01(v), 1, 48));
        }
    }
    const std::string name = "ORVANTO";
    for (size_t i = 0; i < name.size(); i++) {
        const std::string ch(1, name[i]);
        const int y = 12 + int(i) * 31;
        text(cv, ch, 291, y, 3, [&](int, int py) { return level((py - y) / 21.0, 49, 80); });
    }
    return cv;
}

// Environment map for the orbiting objects: a chrome sphere's view, sky over ground with a sun,
// 256 smooth steps. Expanded in three channel orders it gives three metals.
canvas pic_orbit_tex()
{
    canvas cv(256, 256);
    stops(cv, 0, 255, {{5, 5, 20}, {40, 30, 80}, {120, 80, 60}, {230, 160, 90}, {255, 240, 210}, {255, 255, 255}});
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            double nx = (x - 127.5) / 128, ny = (y - 127.5) / 128;
            double r2 = nx * nx + ny * ny;
            double v = ny < 0 ? 0.55 - 0.35 * ny : 0.3 - 0.25 * ny;  // bright towards the horizon
            v += 0.12 * std::sin(nx * 10) * (ny > 0 ? ny : 0);       // furrows on the ground
            v += 0.8 * std::exp(-((nx - 0.35) * (nx - 0.35) + (ny + 0.4) * (ny + 0.4)) / 0.03);
            v *= 1.0 - 0.4 * r2;
            cv.at(x, y) = uint8_t(clampi(int(clamp01(v) * 255), 0, 255));
        }
    return cv;
}

// The frame over the orbit, drawn for the way it is laid over the scene: row by row from the
// left up to the first 0 (rows 3..239) and from the right up to the first 0 (rows 200..239).
// So every row of the picture is one run from column 0, plus in rows 200..239 one run from
// column 319: a steel tube up the left with a riveted plate at each end, a tube along the top
// from row 3 in whole rows that runs on past the right edge through a brass coupling, a tube
// along the bottom in whole rows, and a short post in the bottom right corner on a riveted plate,
// its top rounded on its inner side (each of its rows reaches column 319). Nothing lies in rows
// 0..2, nothing on the right between the top tube and row 200.
canvas pic_orbit_border()
{
    canvas cv(320, 240);
    stops(cv, 1, 96, {{14, 16, 26}, {55, 62, 88}, {120, 132, 165}, {200, 210, 235}, {255, 255, 255}});  // steel
    stops(cv, 97, 160, {{30, 16, 4}, {120, 72, 20}, {215, 160, 60}, {255, 235, 170}});                  // brass
    // light from the upper left, a little in front
    const double lx = -0.45, ly = -0.55, lz = 0.70;
    auto lit = [&](double nx, double ny) {
        const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
        const double d = std::max(0.0, nx * lx + ny * ly + nz * lz);
        const double rz = 2 * d * nz - lz;  // reflected light towards the viewer
        return clamp01(0.12 + 0.7 * d + 0.5 * std::pow(std::max(0.0, rz), 24));
    };
    auto steel = [&](double v) { return level(v, 1, 96); };
    auto brass = [&](double v) { return level(v, 97, 160); };
    // tubes: a horizontal one across rows y0..y1 from column x0 to x1, a vertical one likewise
    auto htube = [&](int x0, int x1, int y0, int y1, bool gold) {
        const double c = (y0 + y1 + 1) / 2.0, r = (y1 - y0 + 1) / 2.0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                const double v = lit(0, (y + 0.5 - c) / r * 0.97);
                cv.put(x, y, gold ? brass(v) : steel(v));
            }
    };
    auto vtube = [&](int x0, int x1, int y0, int y1) {
        const double c = (x0 + x1 + 1) / 2.0, r = (x1 - x0 + 1) / 2.0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                cv.put(x, y, steel(lit((x + 0.5 - c) / r * 0.97, 0)));
    };
    // a plate with bevelled edges and a brass rivet in its middle
    auto plate = [&](int x0, int y0, int x1, int y1) {
        const double b = 3;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                const double el = x - x0 + 0.5, er = x1 + 0.5 - x, et = y - y0 + 0.5, eb = y1 + 0.5 - y;
                const double e = std::min({el, er, et, eb});
                double nx = 0, ny = 0;
                if (e < b) {
                    const double tilt = 0.6;
                    if (e == el) nx = -tilt;
                    else if (e == er) nx = tilt;
                    else if (e == et) ny = -tilt;
                    else ny = tilt;
                }
                cv.put(x, y, steel(0.85 * lit(nx, ny) + 0.06));
            }
        const double cx = (x0 + x1 + 1) / 2.0, cy = (y0 + y1 + 1) / 2.0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                const double nx = (x + 0.5 - cx) / 5.0, ny = (y + 0.5 - cy) / 5.0;
                if (nx * nx + ny * ny < 1)
                    cv.put(x, y, brass(lit(nx * 0.9, ny * 0.9)));
                else if (nx * nx + ny * ny < 1.5)
                    cv.put(x, y, steel(0.08));  // the rivet's seat
            }
    };
    vtube(0, 11, 3, 239);                // left
    htube(0, 319, 3, 14, false);         // top, whole rows: it runs on past the right edge
    htube(290, 295, 3, 14, true);        // a brass coupling where it leaves the frame
    htube(301, 304, 3, 14, true);
    htube(0, 319, 228, 239, false);      // bottom, whole rows
    vtube(308, 319, 206, 239);           // the post in the bottom right corner
    // its top, rounded on the inner side only: every row of it must reach column 319
    for (int y = 200; y < 206; y++)
        for (int x = 308; x <= 319; x++) {
            const double nx = (x + 0.5 - 320) / 12.0, ny = (y + 0.5 - 206) / 6.0;
            if (nx * nx + ny * ny < 1)
                cv.put(x, y, steel(lit(nx * 0.5 + 0.4 * (x + 0.5 - 314) / 6, ny * 0.9)));
        }
    for (int y = 214; y < 218; y++)      // a brass collar on the post
        for (int x = 308; x <= 319; x++)
            cv.put(x, y, brass(lit((x + 0.5 - 314) / 6 * 0.97, 0)));
    plate(0, 3, 21, 24);                 // top left
    plate(0, 218, 21, 239);              // bottom left
    plate(298, 218, 319, 239);           // bottom right
    return cv;
}

// The floor of the bouncing object's backdrops below the horizon at row 150: the pattern
// (1 where bright, 0 where dark, at ground position X across and Z away) is sampled 4 x 4 times
// in every pixel, so the edges are anti-aliased; entries 144..255 hold 8 steps of haze, each a
// 14-step blend from the dark colour to the bright one, fading into `haze` at the horizon.
template <class F>
static void bounce_floor(canvas& cv, rgb dark, rgb bright, rgb haze, F pattern)
{
    const int horizon = 150;
    for (int h = 0; h < 8; h++)
        for (int m = 0; m < 14; m++) {
            const double fm = m / 13.0, fh = std::pow(h / 7.0, 1.5);
            auto mix = [&](double a, double b, double c) { return (a + (b - a) * fm) * (1 - fh) + c * fh; };
            cv.set_colour(144 + 14 * h + m, {mix(dark.r, bright.r, haze.r), mix(dark.g, bright.g, haze.g),
                                             mix(dark.b, bright.b, haze.b)});
        }
    for (int y = horizon; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double cover = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    const double py = y + (sy + 0.5) / 4 - horizon, px = x + (sx + 0.5) / 4 - 160;
                    const double z = 2400.0 / py, X = px * z / 160;
                    cover += pattern(X, z);
                }
            const double z = 2400.0 / (y + 0.5 - horizon);
            const int h = clampi(int(std::lround(7 * clamp01((z - 30) / 300))), 0, 7);
            cv.at(x, y) = uint8_t(144 + 14 * h + clampi(int(std::lround(cover / 16 * 13)), 0, 13));
        }
}

// Backdrops of the bouncing object, one per phase, the horizon at row 150 where the object comes
// to rest. Before tick 539: a desert at dusk, a low sun behind two ranges of hills, clouds lit
// from below, a floor of pale and dark stone tiles. From tick 539: a city at night under a
// moon, a glowing grid on the ground.
canvas pic_bounce_bg(int variant)
{
    canvas cv(320, 240);
    const int horizon = 150;
    if (variant == 1) {
        stops(cv, 0, 79, {{22, 20, 70}, {90, 50, 120}, {200, 90, 120}, {255, 150, 90}, {255, 215, 140}});  // sky
        stops(cv, 80, 95, {{255, 220, 150}, {255, 250, 225}});                                           // sun
        stops(cv, 96, 119, {{90, 50, 100}, {150, 80, 120}, {220, 130, 120}});                            // far hills
        stops(cv, 120, 143, {{30, 12, 35}, {70, 30, 55}, {150, 70, 70}});                                // near hills
        const double sx = 228, sy = 100, sr = 19;
        for (int y = 0; y < horizon; y++)
            for (int x = 0; x < 320; x++) {
                const double ds = std::hypot(x + 0.5 - sx, y + 0.5 - sy);
                // the sky brightens towards the horizon and round the sun; clouds in streaks
                double v = std::pow(y / double(horizon), 1.3) * 0.8 + 0.35 * std::exp(-ds * ds / 5000.0);
                const double cl = fbm(x / 70.0, y / 9.0, 4, 151);
                if (cl > 0.55 && y < 115)
                    v += (cl - 0.55) * 2.2 * (0.4 + 0.6 * y / 115.0);
                int c = level(clamp01(v), 0, 79);
                if (ds < sr)
                    c = level(clamp01(1.1 - ds / sr * 0.6), 80, 95);
                // two ranges of hills, the far one hazy with its ridge lit by the sun
                const double far = 116 - 34 * std::pow(fbm(x / 60.0, 0.5, 4, 157), 1.6);
                const double near = 134 - 20 * std::pow(fbm(x / 38.0 + 9, 2.5, 4, 163), 1.4);
                if (y >= far)
                    c = level(clamp01(0.75 - (y - far) / 50.0 + 0.15 * fbm(x / 6.0, y / 6.0, 3, 171) + (y - far < 1.5 ? 0.25 : 0)), 96, 119);
                if (y >= near)
                    c = level(clamp01(0.5 - (y - near) / 35.0 + 0.2 * fbm(x / 5.0, y / 5.0, 3, 173) + (y - near < 1.5 ? 0.2 : 0)), 120, 143);
                cv.at(x, y) = uint8_t(c);
            }
        bounce_floor(cv, {70, 35, 50}, {235, 190, 150}, {255, 190, 130}, [](double X, double z) {
            return ((int(std::floor(X / 14)) + int(std::floor(z / 14))) & 1) ? 1.0 : 0.0;
        });
    } else {
        stops(cv, 0, 79, {{2, 2, 14}, {10, 12, 45}, {40, 20, 80}, {130, 40, 120}});                      // sky
        stops(cv, 80, 95, {{120, 130, 170}, {250, 250, 255}});                                           // stars, moon
        stops(cv, 96, 119, {{4, 4, 16}, {20, 18, 50}});                                                  // towers
        stops(cv, 120, 143, {{120, 90, 20}, {255, 230, 140}});                                           // windows
        rng g(4);
        for (int y = 0; y < horizon; y++)
            for (int x = 0; x < 320; x++) {
                double v = std::pow(y / double(horizon), 2.2) + 0.12 * fbm(x / 40.0, y / 12.0, 3, 181) * y / horizon;
                cv.at(x, y) = uint8_t(level(clamp01(v), 0, 79));
            }
        for (int i = 0; i < 160; i++) {
            const int x = g.below(320), y = g.below(110);
            cv.at(x, y) = uint8_t(level(0.3 + 0.7 * g.unit(), 80, 95));
        }
        // the moon, with a few dark seas
        const double mx = 78, my = 44, mr = 22;
        for (int y = 0; y < 80; y++)
            for (int x = 40; x < 120; x++) {
                const double d = std::hypot(x + 0.5 - mx, y + 0.5 - my) / mr;
                if (d < 1)
                    cv.at(x, y) = uint8_t(level(clamp01(1.0 - 0.25 * d * d - 0.3 * (fbm(x / 7.0, y / 7.0, 3, 191) > 0.58)), 80, 95));
                else if (d < 1.6)
                    cv.at(x, y) = uint8_t(std::max<int>(cv.at(x, y), level(0.5 * (1.6 - d), 0, 79) + 20));
            }
        // towers of several heights with lit windows
        for (int x0 = -6; x0 < 320;) {
            const int w = 14 + g.below(22), top = horizon - 12 - g.below(60);
            const int shade = g.below(24);
            for (int y = top; y < horizon; y++)
                for (int x = std::max(0, x0); x < std::min(320, x0 + w); x++) {
                    const bool win = (x - x0) % 5 >= 2 && (x - x0) % 5 < 4 && (y - top) % 6 >= 3 && x - x0 > 1 && x0 + w - x > 2 &&
                                     y < horizon - 4 && ((x / 5 * 31 + y / 6 * 17 + x0) % 7) < 3;
                    cv.at(x, y) = uint8_t(win ? level(0.4 + 0.6 * ((x * 7 + y) % 5) / 4.0, 120, 143) : 96 + shade);
                }
            x0 += w + g.below(4);
        }
        bounce_floor(cv, {6, 4, 24}, {80, 240, 255}, {130, 40, 120}, [](double X, double z) {
            const double fx = X / 18 - std::floor(X / 18), fz = z / 18 - std::floor(z / 18);
            return fx < 0.07 || fz < 0.07 ? 1.0 : 0.0;
        });
    }
    return cv;
}

// Textures of the bouncing object, indices 0..63. The scene quantises them by 4 into 16 levels
// (level = index / 4; level 0, indices below 4, is a hole in the face texture) and colours level
// i with palette entry 4 i of the face texture's palette, which scales the environment map's
// colour between one half (black) and all of it (white). So the levels run from black to white
// with a warm tint in the middle, entries 4 i to 4 i + 3 all hold level i's colour, and the
// designs are bold shapes in a few far-apart levels. Face: a white band round the middle with
// the name in black; dark bands above and below with gold stars cut through by
// star-shaped holes; gold stripes between. Reverse: a gold and black chevron lining.
canvas pic_bounce_tex(int variant)
{
    canvas cv(320, 200);
    const rgb ramp[16] = {{0, 0, 0},       {0, 0, 0},       {40, 20, 10},    {80, 40, 20},
                          {120, 60, 30},   {160, 70, 30},   {200, 80, 30},   {230, 100, 30},
                          {255, 130, 40},  {255, 160, 50},  {255, 190, 60},  {255, 215, 80},
                          {255, 230, 130}, {255, 240, 180}, {255, 250, 220}, {255, 255, 255}};
    for (int l = 0; l < 16; l++)
        for (int j = 0; j < 4; j++)
            cv.set_colour(4 * l + j, ramp[l]);
    stops(cv, 64, 255, {{0, 0, 0}, {0, 0, 0}});
    const int hole = 0, black = 1, ember = 6, gold = 10, white = 15;
    auto lv = [](int l) { return 4 * l + 1; };
    auto star = [](double x, double y, double cx, double cy, double r) {
        // a five-pointed star of outer radius r: radius of its outline at the point's angle
        const double a = std::atan2(y - cy, x - cx) + M_PI / 2, d = std::hypot(x - cx, y - cy);
        const double k = std::fabs(std::fmod(a * 5 / (2 * M_PI) + 100.5, 1.0) - 0.5) * 2;  // 0 at a tip, 1 between
        return d < r * (1 - 0.55 * k);
    };
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            int l;
            if (variant == 0) {
                const double yy = y + 0.5;
                if (yy > 72 && yy < 128)
                    l = white;
                else if ((yy > 62 && yy < 68) || (yy > 132 && yy < 138))
                    l = gold;
                else if (yy > 56 && yy < 144)
                    l = black;
                else {
                    l = (int(yy) / 6) % 5 == 0 ? ember : black;  // thin ember stripes round the caps
                    for (int k = 0; k < 8; k++) {
                        const double cx = 20 + 40 * k, cy = yy < 100 ? 32 : 168;
                        if (star(x + 0.5, yy, cx + (yy < 100 ? 0 : 20), cy, 17))
                            l = gold;
                        if (star(x + 0.5, yy, cx + (yy < 100 ? 0 : 20), cy, 8))
                            l = hole;
                    }
                }
            } else {
                const double cz = std::fabs(std::fmod(x / 20.0 + 100, 2.0) - 1);  // 0..1 zigzag across
                const double band = std::fmod(y / 16.0 + cz + 100, 2.0);
                l = band < 1 ? gold : black;
                if (std::fabs(band - 1) < 0.12 || band < 0.12)
                    l = white;
            }
            cv.at(x, y) = uint8_t(lv(l) - (l == hole ? 1 : 0));
        }
    if (variant == 0)
        text(cv, "ORVANTO", (320 - text_width("ORVANTO", 7)) / 2, 100 - 24, 7, [&](int, int) { return lv(black); });
    return cv;
}

}  // namespace mk
