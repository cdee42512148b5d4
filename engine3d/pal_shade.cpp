// Shaded palettes (levels x base colours), texel quantising and bump material preparation.
#include "engine3d/pal_shade.h"

#include <cstdlib>
#include <cstring>

uint8_t pal_bump_table[131072];
int32_t pal_bump_users = 0;

void pal_pow2_levels(int32_t* levels, int32_t* shift)
{
    int32_t p = 2, s = 1;
    while (*levels > p && p < 128) {
        p *= 2;
        s++;
    }
    *levels = p;
    *shift = s;
}

// Entry e = i * L + c of a shaded palette: i the level, c the base colour. Calls put(e, i, c)
// for every pair whose entry and ramp colour (i * step) exist; with L <= 16 and
// (L - 1) * step < 256 that is every pair, each entry exactly once when L = 16.
template <typename Put>
static void for_each_entry(int32_t levels, int32_t step, Put put)
{
    int32_t shift;
    pal_pow2_levels(&levels, &shift);
    const int32_t colours = 256 / levels;
    for (int32_t c = 0; c < colours; c++) {
        for (int32_t i = 0; i < levels; i++) {
            const int64_t e = static_cast<int64_t>(i) * levels + c;
            const int64_t r = static_cast<int64_t>(i) * step;
            if (e > 255 || r < 0 || r > 255)
                continue;
            put(static_cast<int32_t>(e), static_cast<int32_t>(r), c);
        }
    }
}

void pal_shade_ramp(const uint8_t* base, const uint8_t* ramp, uint8_t* out, int32_t levels,
                    int32_t step)
{
    // A ramp channel of 0 keeps about half the base channel (x 255/512), 255 nearly all (x 510/512).
    for_each_entry(levels, step, [&](int32_t e, int32_t r, int32_t c) {
        for (int k = 0; k < 3; k++)
            out[3 * e + k] = static_cast<uint8_t>(((ramp[3 * r + k] + 255) * base[3 * c + k]) >> 9);
    });
}

void pal_blend(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t levels, int32_t step,
               int32_t percent)
{
    if (percent < 1 || percent > 99)
        return;
    for_each_entry(levels, step, [&](int32_t e, int32_t r, int32_t c) {
        for (int k = 0; k < 3; k++)
            out[3 * e + k] = static_cast<uint8_t>((a[3 * c + k] * (100 - percent) + b[3 * r + k] * percent) / 100);
    });
}

// The low byte of (t / divisor) << shift, t unsigned: the group's level in the high bits.
static uint8_t quantise(uint8_t t, uint32_t divisor, int32_t shift)
{
    return static_cast<uint8_t>((t / divisor) << shift);
}

void pal_quantise_texels(tex_buffer texture, int32_t levels, int32_t divisor)
{
    if (divisor == 0 || !texture)
        return;
    int32_t shift;
    pal_pow2_levels(&levels, &shift);
    for (int32_t i = 0; i < 65536; i++)
        texture[i] = quantise(texture[i], static_cast<uint32_t>(divisor), shift);
}

uint8_t* pal_bump_prepare(sc_object* object, const uint8_t* palette, int32_t levels,
                          int32_t divisor)
{
    if (divisor == 0 || !object || !object->tex_a || !palette)
        return nullptr;
    // 65536 used; the slack absorbs coordinate overshoot like a texture's spare rows.
    uint8_t* map = static_cast<uint8_t*>(std::calloc(66560, 1));
    if (!map)
        return nullptr;
    object->tex_c = map;
    int32_t shift;
    pal_pow2_levels(&levels, &shift);
    uint8_t* tex = object->tex_a;
    for (int32_t i = 0; i < 65536; i++) {
        const uint8_t* rgb = palette + 3 * tex[i];
        map[i] = static_cast<uint8_t>((rgb[0] + rgb[1] + rgb[2]) * 2 / 3);
        tex[i] = quantise(tex[i], static_cast<uint32_t>(divisor), shift);
    }
    if (object->tex_b) {
        std::memset(pal_bump_table, 0, sizeof pal_bump_table);
        std::memcpy(pal_bump_table + 32768, object->tex_b, 65536);
    }
    pal_bump_users++;
    return map;
}

void pal_bump_release(sc_object* object)
{
    if (!object || !object->tex_c)
        return;
    std::free(object->tex_c);
    // Cleared so that a second release cannot free the map twice.
    object->tex_c = nullptr;
    if (pal_bump_users > 0)
        pal_bump_users--;
}
