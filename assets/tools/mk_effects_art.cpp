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

// One breaking wave in soft outlines on black, for the way the effect lays it twice: source
// column c shows at screen column c - x0 and, mirrored, at 319 - c + x0 (x0 swings from 40 to
// 120), from source row 1 down, below a top edge at row 20 to 60. The crest stands at column
// 150 and its lip curls towards higher columns, so the unmirrored wave rises on the left of the
// screen and the mirrored one on the right, and their lips reach for each other over the
// trough in the middle, meeting there when x0 is smallest. Columns below 40 are never shown; the water runs on to the bottom row
// so the foot of the screen is always covered.
canvas pic_mirror_main()
{
    canvas cv(320, 240);
    stops(cv, 1, 40, {{4, 14, 48}, {10, 40, 100}, {20, 80, 150}, {40, 120, 180}});     // water, deep to light
    stops(cv, 41, 64, {{60, 150, 200}, {170, 220, 240}, {250, 252, 255}});            // foam
    stops(cv, 65, 80, {{6, 10, 30}, {20, 50, 110}});                                   // outline shades
    const double cx = 150, cy = 96, inner = 22, outer = 46, tip = 0.9;  // the lip's circle; tip angle
    const double crest = cy - outer;                                          // row of the crest
    auto back = [&](double c) { return crest + 90 * std::pow(std::max(0.0, cx - c) / 110, 1.5); };
    auto trough = [&](double c) { return 178 + 5 * std::sin(c / 11.0) + 3 * std::sin(c / 4.3); };
    auto face = [&](double c) { return std::min(trough(c), cy + 0.8 * inner + 2.2 * std::max(0.0, c - cx + inner)); };
    for (int y = 1; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            const double c = x + 0.5, r = y + 0.5;
            const double dx = c - cx, dy = r - cy, d = std::hypot(dx, dy), th = std::atan2(dy, dx);
            // the lip: a ring over the top of the circle, thinning to its tip
            const double along = clamp01((th + M_PI) / (tip + M_PI));  // from the left over the top
            const double thick = (outer - inner) * (along < 0.55 ? 1 : std::pow(1 - (along - 0.55) / 0.45, 0.6));
            const bool ring = th <= tip && d >= inner && d <= inner + thick;
            const bool hollow = d < inner || (dy > 0 && dx > -inner && r < face(c));
            bool in = false;
            double depth = 0;  // distance below the surface, for the bands
            bool foam = false;
            if (c < cx && r > back(c) && !hollow)
                in = true;
            if (c >= cx - inner && r > face(c))
                in = true;
            if (in) {
                // the bands follow the back, and right of the hollow's wall the face, without a seam
                const double join = face(cx - inner) - back(cx - inner);
                const double db = r - back(std::min(c, cx)), df = c >= cx - inner ? r - face(c) + join : 1e9;
                depth = std::min(db, df);
                // a crest of broken foam along the back near the top
                foam = db < 3 + 5 * fbm(c / 5.0, 0.5, 2, 63) && c > cx - 70 && c < cx;
            }
            if (ring && r < cy + outer) {
                in = true;
                depth = std::max(0.0, (inner + thick) - d) * 2.5;
                foam = d > inner + thick - 5 - 3 * fbm(th * 9, 0.5, 2, 67) || along > 0.82;
            }
            if (!in)
                continue;
            int col;
            if (foam) {
                col = level(clamp01(0.45 + 0.55 * fbm(c / 6.0, r / 6.0, 3, 61)), 41, 64);
            } else {
                // bands along the surface, darker with depth
                const double band = std::fmod(depth / 9.0, 1.0);
                const double v = clamp01(0.95 - depth / 160.0) * (band < 0.18 ? 0.6 : 1.0);
                col = level(v, 1, 40);
            }
            cv.at(x, y) = uint8_t(col);
        }
    // the trough's spray: flecks of foam along the surface
    rng g(88);
    for (int i = 0; i < 70; i++) {
        const double c = 180 + g.unit() * 140, rr = trough(c) - 2 - g.unit() * 10;
        cv.disc(c, rr, 1.2 + g.unit() * 1.8, level(0.6 + 0.4 * g.unit(), 41, 64));
    }
    // a soft outline: pixels beside a hole take the dark outline shades
    canvas src = cv;
    for (int y = 1; y < 239; y++)
        for (int x = 1; x < 319; x++)
            if (src.get(x, y) && (!src.get(x - 1, y) || !src.get(x + 1, y) || !src.get(x, y - 1) || !src.get(x, y + 1)))
                cv.at(x, y) = uint8_t(src.get(x, y) >= 41 && src.get(x, y) <= 64 ? 80 : 70);
    return cv;
}

// The sky behind the waves: a low sun with rays of two warm tones round it, soft at any zoom
// (the effect shows a 200..239 column wide window of it round column 160).
canvas pic_mirror_bg()
{
    canvas cv(320, 240);
    stops(cv, 0, 127, {{120, 30, 40}, {220, 90, 60}, {255, 170, 90}, {255, 225, 160}});   // rays
    stops(cv, 128, 191, {{150, 45, 50}, {235, 120, 70}, {255, 200, 120}});               // rays between
    stops(cv, 192, 255, {{255, 220, 150}, {255, 250, 225}});                             // the sun
    const double sx = 160, sy = 112;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            const double dx = x + 0.5 - sx, dy = y + 0.5 - sy, d = std::hypot(dx, dy);
            if (d < 30) {
                cv.at(x, y) = uint8_t(level(clamp01(1.2 - d / 30), 192, 255));
                continue;
            }
            const double a = std::atan2(dy, dx);
            const double ray = std::sin(a * 12 + 0.15 * std::sin(d / 25.0));
            const double soft = clamp01(ray * 3 + 0.5);  // a soft edge between the rays
            const double v = clamp01(1.05 - d / 190.0 + 0.05 * fbm(x / 20.0, y / 20.0, 3, 71));
            cv.at(x, y) = uint8_t(soft > 0.5 ? level(v, 0, 127) : level(v, 128, 191));
        }
    return cv;
}

// A beach ball for the overlay, which is laid with source row r0 + k at screen row k: at rest
// (r0 = 0) it sits on the water in the middle, rows 146..202; lifted by up to 180 rows it leaves
// the top of the frame, so it bounces in from above. Index 0 lets the picture below show.
canvas pic_mirror_drop()
{
    canvas cv(320, 240);
    const rgb pans[4] = {{230, 40, 40}, {250, 250, 245}, {40, 90, 220}, {250, 200, 30}};
    for (int p = 0; p < 4; p++)
        stops(cv, 1 + 60 * p, 60 + 60 * p, {{pans[p].r * 0.15 + 4, pans[p].g * 0.15 + 4, pans[p].b * 0.15 + 4},
                                            pans[p], {255, 255, 255}});
    const double bx = 160, by = 174, br = 28;
    for (int y = int(by - br) - 1; y <= int(by + br) + 1; y++)
        for (int x = int(bx - br) - 1; x <= int(bx + br) + 1; x++) {
            const double nx = (x + 0.5 - bx) / br, ny = (y + 0.5 - by) / br;
            const double n2 = nx * nx + ny * ny;
            if (n2 > 1)
                continue;
            const double nz = std::sqrt(1 - n2);
            // six panels round an axis tilted towards the viewer
            const double ax = nx, ay = ny * 0.8 + nz * 0.6;
            const double az = -ny * 0.6 + nz * 0.8;
            const double lon = std::atan2(az, ax) + 0.4;
            int pan = int(std::floor(lon / (M_PI / 3) + 12)) % 6;
            pan = pan == 5 ? 1 : (pan == 4 ? 3 : pan % 4);
            if (std::fabs(ay) > 0.93)
                pan = 1;  // the white caps
            const double diff = std::max(0.0, -0.4 * nx - 0.6 * ny + 0.7 * nz);
            const double spec = std::pow(std::max(0.0, 2 * diff * nz - 0.7), 30);
            const double v = clamp01(0.2 + 0.55 * diff + 0.6 * spec);
            cv.at(x, y) = uint8_t(level(v, 1 + 60 * pan, 60 + 60 * pan));
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
// is the flames' (indices 0..60, black through violet, magenta and orange to pale yellow).
canvas pic_blob_stamp()
{
    canvas cv(320, 200);
    // Most of the trails' bytes are the faded low values (a stamp saturates at 60, the fade keeps
    // at most 40 and roughly halves what it finds), so the ramp rises steeply at its low end:
    // entry i takes the colour at (i / 60)^0.7 of the way from black through violet, magenta
    // and orange to a pale yellow, and only the stamps' fresh cores reach it.
    const rgb flame[] = {{0, 0, 0}, {45, 0, 90}, {170, 20, 130}, {250, 80, 40}, {255, 180, 40}, {255, 245, 190}};
    for (int i = 0; i <= 60; i++) {
        const double t = std::pow(i / 60.0, 0.7) * 5;
        const int k = std::min(int(t), 4);
        const double f = t - k;
        cv.set_colour(i, {flame[k].r + (flame[k + 1].r - flame[k].r) * f, flame[k].g + (flame[k + 1].g - flame[k].g) * f,
                          flame[k].b + (flame[k + 1].b - flame[k].b) * f});
    }
    stops(cv, 61, 255, {{255, 245, 190}, {255, 255, 255}});
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
        // The doubled blit reaches row 0 and column 0 of the frame only at every other pixel,
        // and row 238 likewise: the frame fades to its darkest entry towards its top and left
        // edges and its last rows, so those pixels sit beside black without showing as dots.
        for (int y = 0; y < 120; y++)
            for (int x = 0; x < 160; x++) {
                const int edge = std::min({x, y, 118 - y});
                if (edge >= 4)
                    continue;
                const double k = edge <= 0 ? 0 : edge / 4.0;
                cv.at(x, y) = uint8_t(clampi(int(cv.at(x, y) * k), 1, 255));
            }
        frames.push_back(cv);
    }
    return frames;
}

}  // namespace mk
