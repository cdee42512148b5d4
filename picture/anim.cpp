// Animation containers: 160x120 palettised frames drawn diagonally doubled into a 320x240 frame.
#include "picture/anim.h"

// Rebuilt from the drawn frame's palette by every blit.
static uint32_t anim_pal32[256];

static uint32_t anim_le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint32_t anim_frame_count(const uint8_t* container) { return anim_le32(container); }

// Draws the frame at `frame` (768 palette bytes, then 160x120 indices); rows 0..118 only: row
// 119's writes would reach row 240, past the end of the frame.
static void anim_draw(const uint8_t* frame, uint32_t* dst)
{
    for (int i = 0; i < 256; i++)
        anim_pal32[i] = (uint32_t(frame[3 * i]) << 16) | (uint32_t(frame[3 * i + 1]) << 8) |
                        frame[3 * i + 2];
    const uint32_t* pal = anim_pal32;
    const uint8_t* px = frame + 768;
    for (int i = 0; i < 119; i++) {
        const uint8_t* s = px + 160 * i;
        uint32_t* d = dst + 640 * i;  // output row 2i
        for (int j = 0; j < 160; j++) {
            const uint32_t p = pal[s[j]];
            // (2i+2, 2j+1), (2i+1, 2j+2), (2i+1, 2j+1), (2i, 2j): for j = 159 the second lands
            // in column 0 of the next row, which the next source row overwrites (row 238 keeps it)
            d[641] = p;
            d[322] = p;
            d[321] = p;
            d[0] = p;
            d += 2;
        }
    }
}

uint32_t* anim_blit_frame_n(uint32_t index, const uint8_t* container, size_t size, uint32_t* dst)
{
    if (size < 4)
        return nullptr;
    const uint32_t count = anim_le32(container);
    if (index >= count)
        return nullptr;
    if (4 + 4 * uint64_t(index) + 4 > size)
        return nullptr;
    const uint64_t off = anim_le32(container + 4 + 4 * size_t(index));
    if (off + anim_frame_bytes > size)
        return nullptr;
    anim_draw(container + off, dst);
    return dst;
}

uint32_t* anim_blit_frame(uint32_t index, const uint8_t* container, uint32_t* dst)
{
    // The container's own size is the one its count implies.
    const uint64_t count = anim_le32(container);
    const uint64_t size = 4 + 4 * count + uint64_t(anim_frame_bytes) * count;
    return anim_blit_frame_n(index, container, size_t(size), dst);
}
