// Pictures of the 2D effects: balls, beams, mirror, curtain, blobs and the animations.
#include <algorithm>

#include "mk_art.h"
#include "mk_pictures.h"

namespace mk {

namespace {

// Phong-lit sphere: light from the upper left, returns 0..1 brightness and 0..1 highlight.
void sphere_light(double nx, double ny, double& diffuse, double& spec)
{
    double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
    const double lx = -0.45, ly = -0.55, lz = 0.70;
    double d = std::max(0.0, nx * lx + ny * ly + nz * lz);
    double rz = 2 * d * nz - lz;  // reflection towards the viewer
    diffuse = 0.12 + 0.88 * d;
    spec = std::pow(std::max(0.0, rz), 24);
}

}  // namespace

canvas pic_ball_tex()
{
    canvas cv(320, 100);
    const rgb base[4][3] = {{{60, 0, 0}, {230, 40, 30}, {255, 230, 210}},
                            {{0, 10, 60}, {40, 110, 240}, {220, 240, 255}},
                            {{10, 40, 10}, {60, 200, 80}, {230, 255, 220}},
                            {{50, 30, 0}, {230, 170, 40}, {255, 255, 220}}};
    for (int b = 0; b < 4; b++)
        stops(cv, 1 + 60 * b, 60 + 60 * b, {base[b][0], base[b][1], base[b][2]});
    for (int b = 0; b < 4; b++)
        for (int y = 0; y < 51; y++)
            for (int x = 0; x < 51; x++) {
                double nx = (x - 25.0) / 25.5, ny = (y - 25.0) / 25.5;
                const double r = std::sqrt(nx * nx + ny * ny);
                if (r > 0.999) {  // the corners outside the disc carry the rim's colour
                    nx *= 0.999 / r;
                    ny *= 0.999 / r;
                }
                double d, s;
                sphere_light(nx, ny, d, s);
                double v = 0.75 * d + s * 0.6;
                // the even textures carry a band round the ball, the odd ones two stripes; the
                // bands follow a tilted equator
                const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
                const double e = (ny * 0.85 + nx * 0.3 - nz * 0.43);
                const bool band = (b % 2 == 0) ? std::fabs(e) < 0.17 : std::fabs(std::fabs(e) - 0.45) < 0.1;
                if (band)
                    v = v * 0.6;
                cv.at(51 * b + x, y) = uint8_t(level(clamp01(v), 1 + 60 * b, 60 + 60 * b));
            }
    return cv;
}

// The inside of an open box seen from its front: the back wall at Z = 250, the left wall at
// X = -200 and the floor at Y = 100, under the projection x = 70 X / Z + 160, y = 70 Y / Z + 120.
canvas pic_ball_bg()
{
    canvas cv(320, 240);
    stops(cv, 1, 63, {{20, 16, 30}, {120, 90, 70}, {235, 205, 160}});     // floor, light tiles
    stops(cv, 64, 127, {{10, 8, 16}, {70, 45, 40}, {150, 110, 90}});      // floor, dark tiles
    stops(cv, 128, 191, {{10, 14, 30}, {50, 80, 130}, {150, 190, 230}});  // left wall
    stops(cv, 192, 255, {{14, 16, 40}, {60, 90, 150}, {170, 210, 250}});  // back wall
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            const double rx = (x + 0.5 - 160) / 70.0, ry = (y + 0.5 - 120) / 70.0;  // X/Z, Y/Z
            double z = 250;
            int kind = 3;  // back wall
            if (ry > 0 && 100 / ry < z) {
                z = 100 / ry;
                kind = 0;
            }
            if (rx < 0 && -200 / rx < z) {
                z = -200 / rx;
                kind = 2;
            }
            const double X = rx * z, Y = ry * z;
            double light = clamp01(1.15 - (z - 40) / 330.0);  // nearer is brighter
            if (kind == 0) {
                bool dark = ((int(std::floor(X / 50)) + int(std::floor(z / 30))) & 1) != 0;
                // a soft pool of light in the middle of the floor
                double pool = std::exp(-((X - 150) * (X - 150) / 40000.0 + (z - 150) * (z - 150) / 8000.0));
                double v = clamp01(light * 0.55 + pool * 0.5);
                cv.at(x, y) = uint8_t(dark ? level(v, 64, 127) : level(v, 1, 63));
            } else if (kind == 2) {
                double v = clamp01(light * 0.7 + 0.15 * std::sin(Y / 40.0) * 0.2);
                bool seam = std::fmod(std::fabs(z), 40.0) < 1.6;
                cv.at(x, y) = uint8_t(level(seam ? v * 0.6 : v, 128, 191));
            } else {
                double glow = std::exp(-((X - 150) * (X - 150) + (Y + 60) * (Y + 60)) / 60000.0);
                double v = clamp01(0.25 + 0.6 * glow);
                bool seam = std::fmod(X + 1000, 80.0) < 2.0 || std::fmod(Y + 1000, 80.0) < 2.0;
                cv.at(x, y) = uint8_t(level(seam ? v * 0.65 : v, 192, 255));
            }
        }
    return cv;
}

// Foregrounds in the lower left, over rows 70..209: a column with a ball on it (columns 0..119)
// and, for the other variant, a stack of blocks (columns 160..279). Index 0 lets the scene show.
canvas pic_ball_fg()
{
    canvas cv(320, 240);
    stops(cv, 1, 60, {{30, 25, 20}, {170, 150, 120}, {250, 240, 220}});  // stone
    stops(cv, 61, 120, {{40, 0, 20}, {200, 40, 90}, {255, 210, 230}});  // the ball on top
    stops(cv, 121, 180, {{10, 20, 40}, {60, 120, 200}, {220, 240, 255}}); // blocks
    // column: a cylinder from row 120 to 209, x 25..85, capitals at both ends
    for (int y = 100; y < 210; y++)
        for (int x = 10; x < 110; x++) {
            double half = (y < 118 || y > 200) ? 38 : 28;
            double nx = (x + 0.5 - 55) / half;
            if (y >= 110 && std::fabs(nx) <= 1) {
                double d, s;
                sphere_light(nx, 0, d, s);
                double flute = 0.85 + 0.15 * std::cos(nx * 9);
                cv.at(x, y) = uint8_t(level(clamp01(d * flute + s * 0.3), 1, 60));
            }
        }
    for (int y = 70; y < 112; y++)
        for (int x = 34; x < 77; x++) {
            double nx = (x + 0.5 - 55) / 20.5, ny = (y + 0.5 - 90) / 20.5;
            if (nx * nx + ny * ny <= 1) {
                double d, s;
                sphere_light(nx, ny, d, s);
                cv.at(x, y) = uint8_t(level(clamp01(d * 0.8 + s), 61, 120));
            }
        }
    // blocks: three bevelled cubes stacked off-centre
    struct blk {
        int x, y, s;
    } blocks[3] = {{170, 150, 60}, {215, 170, 40}, {185, 105, 45}};
    for (const blk& b : blocks)
        for (int y = b.y; y < std::min(210, b.y + b.s); y++)
            for (int x = b.x; x < b.x + b.s; x++) {
                int e = std::min({x - b.x, y - b.y, b.x + b.s - 1 - x, b.y + b.s - 1 - y});
                double v = 0.55 + 0.25 * (1.0 - double(y - b.y) / b.s);
                if (e < 4)
                    v = (x - b.x < 4 || y - b.y < 4) ? 0.95 : 0.3;  // lit and shaded bevels
                cv.at(x, y) = uint8_t(level(v, 121, 180));
            }
    return cv;
}

// A ring round the rays' source and a plate with the name cut out of it: the rays shine
// through the ring, through the letters and round both.
canvas pic_beams_logo()
{
    canvas cv(320, 240);
    stops(cv, 1, 64, {{20, 10, 5}, {120, 70, 30}, {240, 200, 120}, {255, 250, 230}});
    stops(cv, 65, 96, {{5, 5, 10}, {60, 60, 80}});
    const std::string name = "ORVANTO";
    const int scale = 5, tw = text_width(name, scale);
    const int tx = (320 - tw) / 2, ty = 150;
    std::vector<double> letters = text_mask(320, 240, name, tx, ty, scale);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            // a ring round the ray source (the rays fan out from (107.5, 55.5)) and a bar
            // lower down that holds the letters
            double dx = x + 0.5 - 107.5, dy = y + 0.5 - 55.5;
            double d = std::sqrt(dx * dx + dy * dy);
            bool ring = d > 36 && d < 50;
            bool bar = y >= ty - 12 && y < ty + 7 * scale + 12 && x >= tx - 16 && x < tx + tw + 16;
            if (!(ring || bar))
                continue;
            if (letters[size_t(y) * 320 + size_t(x)] >= 0.5)
                continue;  // cut out: the rays show
            double v;
            if (ring)
                v = 0.5 + 0.5 * std::cos((d - 43) / 7.0 * 1.5) * (0.6 - 0.4 * dy / 50.0);
            else
                v = 0.3 + 0.6 * (1.0 - double(y - (ty - 12)) / (7 * scale + 24)) + 0.1 * std::sin(x * 0.3);
            cv.at(x, y) = uint8_t(level(clamp01(v), 1, 64));
        }
    return cv;
}

}  // namespace mk

namespace mk {

// Half a butterfly in soft outlines on black: the effect draws it twice, once mirrored, so the
// two halves meet in the middle. Its body lies at the right, its wings reach to the left.
canvas pic_mirror_main()
{
    canvas cv(320, 240);
    stops(cv, 1, 48, {{20, 0, 30}, {120, 20, 110}, {230, 70, 120}, {255, 170, 80}});  // wing
    stops(cv, 49, 80, {{0, 20, 50}, {40, 160, 220}, {220, 255, 255}});               // eye spots
    stops(cv, 81, 100, {{10, 8, 6}, {110, 90, 60}});                                 // body
    struct wing {
        double cx, cy, rx, ry, turn;
    } wings[2] = {{200, 78, 104, 64, -0.35}, {222, 168, 78, 50, 0.45}};
    struct spot {
        double x, y, r;
    } spots[2] = {{168, 66, 20}, {212, 178, 13}};
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 300; x++) {
            // inside measure of the nearer wing: 0 on its outline, 1 at its centre
            double in = -1;
            for (const wing& w : wings) {
                const double dx = x + 0.5 - w.cx, dy = y + 0.5 - w.cy;
                const double u = (dx * std::cos(w.turn) + dy * std::sin(w.turn)) / w.rx;
                const double v = (-dx * std::sin(w.turn) + dy * std::cos(w.turn)) / w.ry;
                in = std::max(in, 1 - std::sqrt(u * u + v * v));
            }
            if (in <= 0)
                continue;
            const double from_body = std::hypot(x - 300.0, (y - 120.0) * 1.3) / 200.0;
            double v = clamp01(0.25 + 0.75 * from_body);
            // veins fanning out from the body
            const double ang = std::atan2(y - 120.0, 300.0 - x);
            if (std::fabs(std::sin(ang * 9)) < 0.08 && in > 0.08)
                v *= 0.55;
            int c = level(v, 1, 48);
            for (const spot& sp : spots) {
                const double d = std::hypot(x - sp.x, y - sp.y) / sp.r;
                if (d < 1)
                    c = d > 0.8 ? 8 : level(1 - d, 49, 80);
            }
            // soft outline: the last pixels fade through the dark wing colours towards black
            if (in < 0.06)
                c = level(in / 0.06 * 0.2, 1, 48);
            cv.at(x, y) = uint8_t(c);
        }
    for (int y = 55; y < 190; y++)
        for (int x = 292; x < 306; x++) {
            const double half = y < 80 ? 4 + (y - 55) * 0.1 : 6.5 - std::max(0.0, (y - 150) * 0.1);
            const double d = std::fabs(x + 0.5 - 299) / half;
            if (d < 1)
                cv.at(x, y) = uint8_t(level(1 - d * d, 81, 100));
        }
    return cv;
}

// A kaleidoscope of soft petals, pleasant at any zoom.
canvas pic_mirror_bg()
{
    canvas cv(320, 240);
    stops(cv, 0, 255, {{10, 0, 30}, {60, 20, 110}, {20, 90, 160}, {120, 220, 200}, {250, 250, 200},
                       {240, 120, 60}, {90, 10, 60}, {10, 0, 30}});
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double dx = x - 159.5, dy = y - 119.5;
            double a = std::atan2(dy, dx), r = std::sqrt(dx * dx + dy * dy);
            double v = 0.5 + 0.25 * std::sin(a * 8 + r / 14.0) + 0.25 * std::sin(r / 9.0 - std::cos(a * 4) * 2);
            v = std::fmod(v + r / 300.0, 1.0);
            cv.at(x, y) = uint8_t(clampi(int(v * 255), 0, 255));
        }
    return cv;
}

// Glossy drips hanging from the top edge; index 0 lets the picture below show.
canvas pic_mirror_drop()
{
    canvas cv(320, 240);
    stops(cv, 1, 63, {{0, 10, 30}, {30, 120, 200}, {200, 240, 255}, {255, 255, 255}});
    rng r(77);
    std::vector<double> len(320);
    // drips: a band along the top, and tongues of several lengths with round ends
    std::vector<std::pair<double, double>> drops;
    for (int i = 0; i < 14; i++)
        drops.push_back({10 + i * 22.0 + r.below(10), 40 + r.below(150)});
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double best = 18 + 4 * std::sin(x / 13.0) - y;  // the band: > 0 inside
            double nx = 0;
            for (auto& d : drops) {
                double w = 7 + (d.second / 40.0);
                double dx = x - d.first;
                if (std::fabs(dx) < w && y < d.second) {
                    double in = w - std::fabs(dx);
                    if (in > best) {
                        best = in;
                        nx = dx / w;
                    }
                }
                double ey = y - d.second, rr = std::sqrt(dx * dx + ey * ey);
                if (w + 2 - rr > best) {
                    best = w + 2 - rr;
                    nx = dx / (w + 2);
                }
            }
            if (best <= 0)
                continue;
            double v = 0.35 + 0.45 * (1 - std::fabs(nx)) + (nx < -0.3 && nx > -0.6 ? 0.3 : 0);
            if (best < 1.5)
                v *= 0.6;
            cv.at(x, y) = uint8_t(level(clamp01(v), 1, 63));
        }
    return cv;
}

// The ground below the curtain's wavy horizon: a lake at night, reeds on its far shore.
canvas pic_curtain()
{
    canvas cv(320, 240);
    stops(cv, 0, 127, {{0, 4, 12}, {10, 40, 70}, {60, 120, 150}, {200, 230, 240}});   // water
    stops(cv, 128, 191, {{2, 6, 4}, {20, 40, 25}, {60, 90, 50}});                    // shore
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double shore = 70 + 10 * fbm(x / 50.0, 0.5, 4, 5) + 6 * std::sin(x / 31.0);
            if (y < shore) {
                double v = 0.3 + 0.5 * fbm(x / 12.0, y / 6.0, 4, 9) * (y / shore);
                cv.at(x, y) = uint8_t(level(v, 128, 191));
            } else {
                double depth = (y - shore) / (240 - shore);
                double wave = fbm(x / 30.0, (y - shore) * 0.5 / (0.2 + depth), 4, 13);
                // the moon's path on the water
                double path = std::exp(-std::pow((x - 200) / (10 + 70 * depth), 2)) * (wave > 0.5 ? 1 : 0.3);
                double v = 0.15 + 0.3 * depth + 0.25 * wave + 0.45 * path;
                cv.at(x, y) = uint8_t(level(clamp01(v), 0, 127));
            }
        }
    return cv;
}

// The blob stamp: a filled disc about 19 pixels across in the top-left 20x20 cell; the palette
// is the flames' (indices 0..60 black through red and orange to white).
canvas pic_blob_stamp()
{
    canvas cv(320, 200);
    stops(cv, 0, 60, {{0, 0, 0}, {90, 0, 0}, {220, 60, 0}, {255, 170, 20}, {255, 250, 200}});
    stops(cv, 61, 255, {{255, 250, 200}, {255, 255, 255}});
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            double dx = x - 9.5, dy = y - 9.5;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d <= 9.6)
                cv.at(x, y) = uint8_t(level(1 - d / 9.6, 20, 60));
        }
    return cv;
}

// The orbit scene's backdrop: a three-armed galaxy turning a third of a turn in 51 frames, so
// the loop is seamless. Mostly black (index 0): the scene keys its depth mask on it.
std::vector<canvas> anim_orbit()
{
    std::vector<canvas> frames;
    rng r(2025);
    struct star {
        double rad, ang, bright;
    };
    std::vector<star> stars;
    for (int i = 0; i < 900; i++) {
        int arm = r.below(3);
        double rad = 6 + 70 * std::pow(r.unit(), 0.8);
        double ang = arm * 2 * M_PI / 3 + rad / 22.0 + (r.unit() - 0.5) * 0.6;
        stars.push_back({rad, ang, 0.3 + 0.7 * r.unit()});
    }
    for (int f = 0; f < 51; f++) {
        canvas cv(160, 120);
        stops(cv, 0, 63, {{0, 0, 0}, {60, 40, 110}, {180, 160, 240}, {248, 240, 248}});
        const double turn = f * (2 * M_PI / 3) / 51;
        for (const star& s : stars) {
            double a = s.ang + turn;
            int x = int(80 + s.rad * std::cos(a)), y = int(60 + s.rad * 0.55 * std::sin(a));
            if (cv.in(x, y))
                cv.at(x, y) = uint8_t(std::max<int>(cv.at(x, y), level(s.bright, 1, 63)));
        }
        for (int y = 55; y < 66; y++)  // the bright core
            for (int x = 70; x < 91; x++) {
                double d = std::sqrt((x - 80) * (x - 80) / 4.0 + (y - 60) * (y - 60));
                if (d < 5.5)
                    cv.at(x, y) = uint8_t(level(1 - d / 5.5, 20, 63));
            }
        frames.push_back(cv);
    }
    return frames;
}

// The curtain: northern lights over a starry sky, two folds of rays with a sharp lower edge and
// a long glow upwards; played forwards and backwards. No pixel has index 0.
std::vector<canvas> anim_curtain()
{
    std::vector<canvas> frames;
    rng r(31);
    std::vector<std::pair<int, int>> stars;
    for (int i = 0; i < 90; i++)
        stars.push_back({r.below(160), r.below(120)});
    for (int f = 0; f < 20; f++) {
        canvas cv(160, 120);
        stops(cv, 0, 255, {{0, 2, 12}, {0, 30, 40}, {10, 140, 90}, {120, 240, 160}, {200, 160, 220},
                           {248, 248, 230}});
        const double t = f / 19.0;
        for (int y = 0; y < 120; y++)
            for (int x = 0; x < 160; x++) {
                double v = 0.06 + 0.06 * y / 120.0;
                for (int fold = 0; fold < 2; fold++) {
                    const double base = (fold ? 70 : 52) + 14 * std::sin(x / (fold ? 23.0 : 17.0) + t * (fold ? -1.6 : 2.0)) +
                                        6 * std::sin(x / 9.0 - t * 2.5 + fold);
                    const double d = y - base;  // > 0 below the lower edge
                    const double fall = d > 0 ? std::exp(-d * d / 6.0) : std::exp(d / (fold ? 16.0 : 24.0));
                    const double rays = 0.35 + 0.65 * fbm(x / 3.5 + t * (fold ? 1.5 : -2.0), fold * 7.0 + t, 3, 43);
                    v += (fold ? 0.55 : 0.75) * fall * rays * rays;
                }
                cv.at(x, y) = uint8_t(clampi(int(v * 255), 1, 255));
            }
        for (auto& st : stars)
            if (cv.at(st.first, st.second) < 40)
                cv.at(st.first, st.second) = uint8_t(150 + (st.first * 7 + f) % 40);
        frames.push_back(cv);
    }
    return frames;
}

}  // namespace mk
