#include "demo/demo_stages.h"

#include "demo/demo.h"
#include "sound/pt.h"
#include "video/vid.h"

bool demo_song_before(unsigned limit)
{
    return static_cast<uint32_t>(pt_getpos()) > limit;
}

// Stage 0: wait for the module's first row, polling Escape; nothing is drawn.
static void stage0()
{
    while (demo_song_before(500)) {
        if (vid_escape()) demo_exit(1, "Meinaan, sano.");
    }
}

void demo_run_stages()
{
    stage0();
}
