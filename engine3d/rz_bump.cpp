// Bump work buffers and the bump pass over the whole 8-bit target.
#include "engine3d/rz.h"
#include "engine3d/rz_fill.h"
#include "engine3d/pal_shade.h"

// One zero entry before and after each buffer: the first pixel of the pass looks one entry
// before the screen (its upper-left neighbour), the last one on a 640 x 480 screen one after.
static uint8_t rz_bump_height_area[rz_bump_entries + 2];
static uint8_t rz_bump_colour_area[rz_bump_entries + 2];
static uint16_t rz_bump_env_area[rz_bump_entries + 2];
uint8_t* const rz_bump_height = rz_bump_height_area + 1;
uint8_t* const rz_bump_colour = rz_bump_colour_area + 1;
uint16_t* const rz_bump_env = rz_bump_env_area + 1;

constexpr int32_t rz_bump_table_last = static_cast<int32_t>(sizeof pal_bump_table) - 1;

void rz_bump_pass8()
{
    if (!rz_target || rz_bits > 8)
        return;
    uint8_t* const target = static_cast<uint8_t*>(rz_target);
    const uint8_t* const h = rz_bump_height;
    const int32_t w = rz_width;
    const int32_t end = (rz_height - 1) * w; // every row but the first and the last
    for (int32_t i = w; i < end; i++) {
        const int32_t ur = h[i - w + 1], dl = h[i + w - 1], ul = h[i - w - 1], dr = h[i + w + 1];
        if (!ur || !dl || !ul || !dr)
            continue;
        // Each unit of height slope moves the environment lookup by a row (ur - dl) or a
        // column (ul - dr); 32768 centres the map in the table's zero margins. Steep slopes
        // near the map's edges would leave the table: the index is clamped into it, where
        // the margins read 0.
        int32_t t = rz_bump_env[i] + (ur - dl) * 256 + 32768 + ul - dr;
        t = t < 0 ? 0 : (t > rz_bump_table_last ? rz_bump_table_last : t);
        target[i] = static_cast<uint8_t>(rz_bump_colour[i] + pal_bump_table[t]);
    }
}
