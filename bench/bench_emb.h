// What the benchmarks share: the largest embedded 3DS scene.
#pragma once

#include <cstdint>

#include "assets/emb.h"

struct bench_bytes {
    const uint8_t* bytes;
    uint32_t size;
};

// The largest of the embedded 3DS scenes (the first of equal ones).
inline bench_bytes bench_largest_3ds()
{
    const bench_bytes scenes[] = {
        {emb_3ds_bouncer, emb_3ds_bouncer_size}, {emb_3ds_flyers, emb_3ds_flyers_size},
        {emb_3ds_receivers, emb_3ds_receivers_size}, {emb_3ds_casters, emb_3ds_casters_size},
        {emb_3ds_box, emb_3ds_box_size}, {emb_3ds_lattice, emb_3ds_lattice_size},
        {emb_3ds_orbit, emb_3ds_orbit_size}};
    bench_bytes largest = scenes[0];
    for (const bench_bytes& s : scenes)
        if (s.size > largest.size)
            largest = s;
    return largest;
}
