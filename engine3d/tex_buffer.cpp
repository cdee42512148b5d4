// Texture areas: 1024-aligned, with the allocation's address kept just before the texels.
#include "engine3d/tex_buffer.h"

#include <cstdlib>
#include <cstring>

tex_buffer tex_alloc(int32_t bits)
{
    const int32_t bytes = (bits + 7) >> 3;
    if (bytes < 1 || bytes > 4)
        return nullptr;
    uint8_t* p = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes) * tex_area_texels + 2048));
    if (!p)
        return nullptr;
    // Rounding down to 1024 and stepping 2048 on leaves at least 1024 bytes in front of the
    // texels for the stored address, and the whole area inside the allocation.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(1023)) + 2048;
    uint8_t* t = p + (start - reinterpret_cast<uintptr_t>(p));
    std::memcpy(t - sizeof(uint8_t*), &p, sizeof p);
    return t;
}

void tex_free(tex_buffer t)
{
    if (!t)
        return;
    uint8_t* p;
    std::memcpy(&p, t - sizeof(uint8_t*), sizeof p);
    std::free(p);
}
