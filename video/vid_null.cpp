// The headless driver: the contract of video/vid.h with no display behind it.
#include "video/vid.h"
#include "video/vid_null.h"

#include <cstring>

int vid_null_open = 0;
int vid_null_w = 0, vid_null_h = 0;
int64_t vid_null_frames = 0;
uint64_t vid_null_hash = 0;
uint32_t vid_null_last[4 * pix_frame_pixels];
void (*vid_null_on_frame)(const uint32_t* frame) = nullptr;
int (*vid_null_escape_hook)() = nullptr;

uint64_t vid_null_frame_hash(const uint32_t* frame, int pixels)
{
    uint64_t h = 14695981039346656037ull;
    const auto* b = reinterpret_cast<const uint8_t*>(frame);
    for (size_t i = 0; i < static_cast<size_t>(pixels) * 4; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

int vid_init(int res, int flags)
{
    if (res == 1) return vid_init_size(pix_frame_w, pix_frame_h, flags);
    if (res == 2) return vid_init_size(pix_frame_w, 200, flags);
    return 1;
}

int vid_init_size(int width, int height, int)
{
    // the same sizes as the X driver's plain window takes
    if (width <= 0 || height <= 0 || width % 2 != 0 || width > 4096 || height > 4096 ||
        width * height > 4 * pix_frame_pixels)
        return 1;
    vid_null_w = width;
    vid_null_h = height;
    vid_null_frames = 0;
    vid_null_open = 1;
    return 0;
}

void vid_update(const uint32_t* frame)
{
    const int pixels = vid_null_w * vid_null_h;
    std::memcpy(vid_null_last, frame, static_cast<size_t>(pixels) * 4);
    vid_null_hash = vid_null_frame_hash(frame, pixels);
    ++vid_null_frames;
    if (vid_null_on_frame) vid_null_on_frame(frame);
}

int vid_escape() { return vid_null_escape_hook ? vid_null_escape_hook() : 0; }

void vid_close() { vid_null_open = 0; }
