#pragma once
// Fixed-point square root and cosine tables.
#include <cstdint>

extern int32_t fp_sqrt_table[4096];
// 8.8 square root of the index, after fp_sqrt_table_init.
extern int32_t fp_cos_table[1281];
// 1.15 cosine, one step 25 / 4096 radians, entry 256 = cos 0, after fp_cos_table_init.

void fp_sqrt_table_init();
int32_t fp_sqrt_lookup(int32_t x, int32_t* shift);
// Square root of x from the table: x is divided by 64 while above 4095 and *shift raised by 3
// each time; the caller scales the result by 2^shift.
int32_t fp_pow(int32_t x, int32_t n);
// 16384 x (x / 4096)^n in 32-bit steps v = (v x x) >> 12; n <= 0 gives 16384.
void fp_cos_table_init();
