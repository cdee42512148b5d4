// Orvanto: start-up, then the stages. Every way out ends in exit: directly while starting up,
// through demo_exit once the stages run.
#include "demo/demo.h"
#include "demo/demo_stages.h"
#include "video/vid.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main()
{
    // 1. the sound device menu comes first (it also empties the sync registry)

    // 2. the display mode menu and the display
    if (vid_init(1, 0) != 0) {
        std::puts("Esc pressed or mode not found. Exiting.");
        std::exit(1);
    }

    // 3. a black frame, shown twice: in the page-flipping mode that blanks both pages
    std::memset(demo_frame_c, 0, sizeof demo_frame_c);
    vid_update(demo_frame_c);
    vid_update(demo_frame_c);

    // 4. the sync handlers, in list order
    // 5. the module, loaded and reset
    // 6. the audio child and the 70 Hz timer: from here on the song position moves
    // 7.-9. the first wipe mask into slot B, the title picture into slot A and into frame C

    // 10. the show
    demo_run_stages();
    demo_exit(0, demo_results_text);
}
