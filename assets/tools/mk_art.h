// Drawing helpers of the asset generator shared by the picture and animation makers.
#pragma once

#include "mk.h"

namespace mk {

// Palette entries first..last through a list of colour stops spread evenly.
void stops(canvas& cv, int first, int last, std::initializer_list<rgb> cs);
// Smooth value noise in 0..1, periodic over `period` cells, several octaves.
double fbm(double x, double y, int octaves, uint32_t seed);
// Index of a level 0..1 inside the palette range first..last.
inline int level(double t, int first, int last)
{
    return clampi(first + int(t * (last - first) + 0.5), first, last);
}
// Letters of `s` as a coverage mask (0..1) at `scale`, with a 3x3 supersampled soft edge;
// returns the mask as w x h doubles.
std::vector<double> text_mask(int w, int h, const std::string& s, int x, int y, int scale);
// The same mask grown by `r` pixels: a hard edge for outlines, or fading out over r for glows.
std::vector<double> grow(const std::vector<double>& m, int w, int h, double r, bool soft = false);

}  // namespace mk
