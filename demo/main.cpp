// Orvanto: start-up, then the stages. Every way out ends in exit: directly while starting up,
// through demo_exit once the stages run.
#include "assets/emb.h"
#include "demo/demo.h"
#include "demo/demo_stages.h"
#include "demo/demo_sync.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "sound/pt.h"
#include "sound/sd_audio.h"
#include "sound/sd_device.h"
#include "sound/sync.h"
#include "video/vid.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main()
{
    // 0. the standard streams: a closed one must not be handed to the sound device or the display
    demo_std_streams();

    // 1. the sound device menu comes first (it also empties the sync registry)
    if (sd_menu() == 0) {
        std::puts("Sound device failure. Exiting.");
        std::exit(1);
    }

    // 2. the display mode menu and the display
    if (vid_init(1, 0) != 0) {
        std::puts("Esc pressed or mode not found. Exiting.");
        std::exit(1);
    }

    // 3. a black frame, shown twice: in the page-flipping mode that blanks both pages
    std::memset(demo_frame_c, 0, sizeof demo_frame_c);
    vid_update(demo_frame_c);
    vid_update(demo_frame_c);

    // 4. the sync handlers, in list order up to the empty entry
    for (const sync_handler* h = demo_sync_handlers; h->callback; ++h) sync_register(h);

    // 5. the module, loaded (its patterns converted in place) and the replay reset
    pt_start_sized(emb_module, emb_module_size);
    // 6. the audio child and the 70 Hz timer: from here on the song position moves and the sync
    // handlers may run at any moment
    sd_fork(70);

    // 7. stage 1's wipe mask into slot B: the palette is written first and the pixels over it
    iff_decode_n(emb_wipe_1, emb_wipe_1_size, demo_pic_b, demo_pic_b);
    // 8.-9. the title picture into slot A, and as a frame into frame C for stage 1 to wipe in
    iff_decode_n(emb_pic_title, emb_pic_title_size, demo_pic_a, demo_pal_a);
    pix_expand_palette(demo_pic_a, demo_pal_a, demo_frame_c, 76800);

    // 10. the show
    demo_run_stages();
}
