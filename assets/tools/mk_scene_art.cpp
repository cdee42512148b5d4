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

// Environment map in 16 levels (indices 0..15): a sky above a horizon and a bright sun; the
// palette repeats it in three colourways, entries 0..15, 16..31 and 32..47.
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
            double v = ny < 0.1 ? 0.45 - 0.3 * ny : 0.25 - 0.2 * ny;  // sky over a dark floor
            v += 0.9 * std::exp(-((nx + 0.3) * (nx + 0.3) + (ny + 0.35) * (ny + 0.35)) / 0.05);  // sun
            v *= 1.0 - 0.35 * r * r;
            if (std::fabs(ny - 0.1) < 0.03)
                v += 0.25;  // the horizon's glint
            cv.at(x, y) = uint8_t(clampi(int(clamp01(v) * 15.99), 0, 15));
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

// Backdrops of the bouncing object: a sunset over a chequered plain (1), and night (2).
canvas pic_bounce_bg(int variant)
{
    canvas cv(320, 240);
    if (variant == 1) {
        stops(cv, 0, 127, {{40, 10, 70}, {200, 60, 110}, {255, 180, 90}});
        stops(cv, 128, 191, {{20, 5, 30}, {120, 40, 90}});
        stops(cv, 192, 255, {{10, 0, 20}, {70, 30, 100}});
    } else {
        stops(cv, 0, 127, {{0, 0, 10}, {10, 20, 70}, {60, 100, 170}});
        stops(cv, 128, 191, {{0, 5, 15}, {30, 70, 110}});
        stops(cv, 192, 255, {{0, 0, 5}, {20, 40, 80}});
    }
    const int horizon = 150;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            if (y < horizon) {
                double v = double(y) / horizon;
                cv.at(x, y) = uint8_t(level(v, 0, 127));
                continue;
            }
            // the plain: a perspective chequerboard fading into the haze at the horizon
            double z = 4000.0 / (y - horizon + 1);
            double X = (x - 160) * z / 256;
            bool dark = ((int(std::floor(X / 60)) + int(std::floor(z / 60))) & 1) != 0;
            double v = clamp01(1.0 - z / 4000.0);
            cv.at(x, y) = uint8_t(dark ? level(v, 192, 255) : level(v, 128, 191));
        }
    if (variant == 2) {
        rng r(4);
        for (int i = 0; i < 220; i++)
            cv.at(r.below(320), r.below(horizon - 20)) = uint8_t(100 + r.below(28));
    } else {
        cv.disc(230, 115, 26, 127);
    }
    return cv;
}

// Textures of the bouncing object, indices 0..63: texels below 4 are holes (transparent); the
// rest falls into 15 levels once quantised by 4. The palette holds each level lit by the 16
// steps of the environment map: entry 16 x level + light.
canvas pic_bounce_tex(int variant)
{
    canvas cv(320, 200);
    const rgb lv[16] = {{0, 0, 0},      {40, 10, 60},   {70, 20, 100},  {100, 30, 140},
                        {130, 40, 170}, {160, 60, 190}, {190, 80, 200}, {220, 100, 200},
                        {240, 130, 180}, {250, 160, 150}, {255, 190, 120}, {255, 210, 100},
                        {255, 230, 120}, {255, 240, 160}, {255, 250, 200}, {255, 255, 240}};
    for (int l = 0; l < 16; l++)
        for (int e = 0; e < 16; e++) {
            double k = 0.35 + 0.65 * e / 15.0, hi = e > 11 ? (e - 11) / 4.0 * 0.5 : 0;
            cv.set_colour(16 * l + e, {lv[l].r * k + (255 - lv[l].r * k) * hi, lv[l].g * k + (255 - lv[l].g * k) * hi,
                                       lv[l].b * k + (255 - lv[l].b * k) * hi});
        }
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            double u = x / 320.0, v = y / 200.0;
            int t;
            if (variant == 0) {
                // scales: rows of round plates with gaps between them
                double row = v * 10, col = u * 16 + (int(row) & 1) * 0.5;
                double fx = col - std::floor(col) - 0.5, fy = row - std::floor(row) - 0.3;
                double d = std::sqrt(fx * fx + fy * fy);
                t = d > 0.48 ? 0 : clampi(4 + int((1 - d / 0.48) * 59), 4, 63);
            } else {
                // the inside: a striped lining, bright and dark bands
                double s = 0.5 + 0.5 * std::sin(u * 40 + std::sin(v * 12) * 2);
                t = clampi(8 + int(s * 55), 4, 63);
            }
            cv.at(x, y) = uint8_t(t);
        }
    return cv;
}

}  // namespace mk
