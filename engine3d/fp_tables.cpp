// Fixed-point square root (8.8) and cosine (1.15) tables.
#include "engine3d/fp_tables.h"

int32_t fp_sqrt_table[4096];
int32_t fp_cos_table[1281];

void fp_sqrt_table_init()
{
    // The 2k + 1 entries from k * k share the integer part k; the fraction steps linearly.
    int32_t i = 0;
    for (int32_t k = 0; i < 4096; k++) {
        const int32_t s = 65536 / (2 * k + 1);
        for (int32_t j = 0; j <= 2 * k && i < 4096; j++)
            fp_sqrt_table[i++] = k * 256 + ((j * s) >> 8);
    }
}

int32_t fp_sqrt_lookup(int32_t x, int32_t* shift)
{
    while (x > 4095) {
        x >>= 6;
        *shift += 3;
    }
    // Negative inputs have no root: they read entry 0.
    return fp_sqrt_table[x < 0 ? 0 : x];
}

int32_t fp_pow(int32_t x, int32_t n)
{
    // 32-bit steps that wrap like the machine words they were made for.
    int32_t v = 16384;
    for (int32_t i = 0; i < n; i++)
        v = static_cast<int32_t>(static_cast<int64_t>(v) * x >> 12);
    return v;
}

void fp_cos_table_init()
{
    for (int32_t i = 0; i < 512; i++) {
        const int32_t x = -6400 + 25 * i;  // 4.12 radians
        const int32_t p2 = fp_pow(x, 2), p4 = fp_pow(x, 4), p6 = fp_pow(x, 6), p8 = fp_pow(x, 8);
        uint32_t c = static_cast<uint32_t>(32767 - p2 + p4 / 12 - p6 / 360 + p8 / 20160);
        // keep the low 22 bits, sign-extended
        c = (c & 0x3fffff) ^ 0x200000;
        const int32_t cs = static_cast<int32_t>(c) - 0x200000;
        fp_cos_table[i] = cs;
        fp_cos_table[512 + i] = -cs;
        if (i <= 256)
            fp_cos_table[1024 + i] = cs;
    }
}
