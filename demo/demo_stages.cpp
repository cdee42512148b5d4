// The stages of the show, written out one by one. Each takes its start work once, then loops:
// read the song position and leave when it has passed the stage's last row; draw, wait for the
// next tick, show; poll Escape. The clock is read afresh at every use, so two times in one pass
// may differ by a tick.
#include "demo/demo_stages.h"
#include "demo/demo_internal.h"

#include "assets/emb.h"
#include "demo/clk.h"
#include "demo/demo.h"
#include "demo/demo_sync.h"
#include "fx/fx_balls.h"
#include "fx/fx_beams.h"
#include "fx/fx_blobs.h"
#include "fx/fx_curtain.h"
#include "fx/fx_mirror.h"
#include "fx/tr_transition.h"
#include "picture/iff.h"
#include "picture/pix.h"
#include "scenes/fx_bounce.h"
#include "scenes/fx_lattice.h"
#include "scenes/fx_orbit.h"
#include "scenes/fx_shadow.h"
#include "scenes/fx_shatter.h"
#include "sound/pt.h"
#include "video/vid.h"

#include <cstring>
#include <limits>

int32_t (*demo_clock)() = clk_gettick;
int32_t (*demo_wait)() = frame_wait;

const uint32_t demo_stage_until[demo_stage_count] = {
    500, 99, 199, 499, 531, 599, 631, 799, 899, 931, 1031, 1199,
    1231, 1399, 1431, 1499, 1531, 1699, 1731, 1899, 1931, 2459, 0,
};

const char* const demo_stage_message[demo_stage_count] = {
    "Meinaan, sano.",
    "Juu-sano.",
    "Juu-pati.",
    "Kuin kaunis Jurmala",
    "S\xE4\xE4kin siin\xE4",
    "Mek kotios",
    "Me mukiis",
    "Juueiokiiresaatana",
    "Schn\xE4g",
    "Nak/gi",
    "Jez",
    "Ymmin p\xE4\xE4 oli taikinasta",
    "Maa-ampiainen, tuo el\xE4imist\xE4 aggressiivisin",
    "T\xE4\xE4ll\xE4 me lev\xE4t\xE4\xE4n",
    "Nax",
    "Pox",
    "Rax",
    "Eik\xE4 mee hermot",
    "Eik\xE4 mee Tuskot",
    "T\xE4\xE4 rulz",
    "T\xE4\xE4 suks",
    "P\xE5jerkele!",
    "Vi\xE4 ehrit",
};

bool demo_song_before(unsigned limit)
{
    return static_cast<uint32_t>(pt_getpos()) > limit;
}

bool demo_stage_goes_on(int32_t pos, uint32_t until)
{
    return static_cast<uint32_t>(pos) <= until;
}

// ---- Times ----------------------------------------------------------------------------------

static_assert(std::numeric_limits<long double>::digits >= 64,
              "the curtain's time needs a 64-bit-mantissa product");

int32_t demo_curtain_time(int32_t c)
{
    // the double just below 1/3, widened: 3k x it lies just under k and is cut to k - 1
    const long double third = 0.3333333333333333;
    return static_cast<int32_t>(static_cast<long double>(c) * third);
}

double demo_beams_time(int32_t c) { return 0.25 * c; }

double demo_shadow_time(int32_t t3) { return static_cast<double>(t3 + 1); }

int32_t demo_balls_time(int32_t t20) { return t20 / 4; }

int32_t demo_shatter_time(int32_t t10) { return 10 * t10; }

void demo_beat_settle()
{
    if (sync_beat.load() > 1) sync_beat.store(0);
}

// ---- Stage helpers --------------------------------------------------------------------------

namespace {

int32_t stage_start[demo_stage_count];   // sK: the clock when stage K took its start tick

void take_start(int k) { stage_start[k] = demo_clock(); }

int32_t since(int k) { return demo_clock() - stage_start[k]; }

// What an effect whose init could not get its memory renders: a black frame, cleared before
// every use because transitions compose into the frame they are given.
uint32_t demo_frame_black[pix_frame_pixels];

uint32_t* or_black(uint32_t* f)
{
    if (f) return f;
    std::memset(demo_frame_black, 0, sizeof demo_frame_black);
    return demo_frame_black;
}

void into_a(const uint8_t* pic, uint32_t size) { iff_decode_n(pic, size, demo_pic_a, demo_pal_a); }

// a wipe mask into slot B, which is its own palette destination: the pixels overwrite the palette
void into_b(const uint8_t* pic, uint32_t size) { iff_decode_n(pic, size, demo_pic_b, demo_pic_b); }

void expand_a(uint32_t* frame) { pix_expand_palette(demo_pic_a, demo_pal_a, frame, pix_frame_pixels); }

// the blob effect's 320x200 feedback buffer lies in slot A from row 20 on
uint8_t* blob_buffer() { return demo_pic_a + 20 * pix_frame_w; }

void expand_blobs() { pix_expand_palette(demo_pic_a, fx_blobs_palette, demo_frame_c, pix_frame_pixels); }

uint32_t* curtain() { return or_black(fx_curtain_render(static_cast<uint32_t>(demo_curtain_time(demo_clock())))); }

uint32_t* beams() { return or_black(fx_beams_render(demo_beams_time(demo_clock()))); }

uint32_t* mirror() { return or_black(fx_mirror_render(since(14), static_cast<uint32_t>(sync_beat.load()))); }

uint32_t* balls(int32_t variant) { return or_black(fx_balls_render(demo_balls_time(since(20)), variant)); }

// The loop of stages 1 to 21: `pass` draws, waits and shows; Escape ends the show.
template <class Pass>
void run_loop(int k, Pass pass)
{
    while (demo_stage_goes_on(pt_getpos(), demo_stage_until[k])) {
        pass();
        if (vid_escape() == 1) demo_exit(1, demo_stage_message[k]);
    }
}

// Stages that draw nothing: read the position and poll Escape only.
void run_idle(int k)
{
    run_loop(k, [] {});
}

// ---- The stages -----------------------------------------------------------------------------

// Waits for the module's first row (the position is -37 until then).
void stage0()
{
    while (demo_song_before(demo_stage_until[0])) {
        if (vid_escape() == 1) demo_exit(1, demo_stage_message[0]);
    }
}

// The title picture wipes in over black. Its start tick is the clock's first reading.
void stage1()
{
    take_start(1);
    run_loop(1, [] {
        std::memset(demo_frame_d, 0, sizeof demo_frame_d);
        demo_wait();
        vid_update(tr_maskwipe32(since(1), demo_pic_b, demo_frame_d, demo_frame_c, demo_frame_d));
    });
}

// From the title to the shadow scene's background picture.
void stage2()
{
    into_b(emb_wipe_2, emb_wipe_2_size);
    into_a(emb_pic_shadow_bg, emb_pic_shadow_bg_size);
    take_start(2);
    run_loop(2, [] {
        expand_a(demo_frame_d);
        demo_wait();
        vid_update(tr_maskwipe32(since(2), demo_pic_b, demo_frame_c, demo_frame_d, demo_frame_d));
    });
}

// The shadow scene in frame C: first drawn at t3, then at t3 + 1 in every pass.
void stage3()
{
    fx_shadow_init();
    take_start(3);
    fx_shadow_render(demo_frame_c, static_cast<double>(since(3)));
    run_loop(3, [] {
        fx_shadow_render(demo_frame_c, demo_shadow_time(since(3)));
        demo_wait();
        vid_update(demo_frame_c);
    });
}

// From the shadow scene to the wave curtain.
void stage4()
{
    fx_curtain_init();
    into_b(emb_wipe_3, emb_wipe_3_size);
    take_start(4);
    run_loop(4, [] {
        fx_shadow_render(demo_frame_c, demo_shadow_time(since(3)));
        uint32_t* f = curtain();
        demo_wait();
        vid_update(tr_maskwipe32(since(4), demo_pic_b, demo_frame_c, f, f));
    });
}

// The wave curtain alone.
void stage5()
{
    fx_shadow_free();
    run_loop(5, [] {
        demo_wait();
        vid_update(curtain());
    });
}

// From the curtain to the lattice flight, drawn into frame C at the clock's time.
void stage6()
{
    fx_lattice_init();
    take_start(6);
    run_loop(6, [] {
        uint32_t* f = curtain();
        fx_lattice_render(demo_frame_c, demo_clock());
        demo_wait();
        vid_update(tr_crossfade32(since(6), f, demo_frame_c, f));
    });
}

// The lattice flight alone.
void stage7()
{
    fx_curtain_free();
    run_loop(7, [] {
        fx_lattice_render(demo_frame_c, demo_clock());
        demo_wait();
        vid_update(demo_frame_c);
    });
}

// From the lattice flight to the picture that will break up; as fast as frames can be drawn.
void stage8()
{
    into_b(emb_wipe_5, emb_wipe_5_size);
    into_a(emb_pic_shatter, emb_pic_shatter_size);
    take_start(8);
    run_loop(8, [] {
        expand_a(demo_frame_d);
        fx_lattice_render(demo_frame_c, demo_clock());
        vid_update(tr_maskwipe32(since(8), demo_pic_b, demo_frame_c, demo_frame_d, demo_frame_d));
    });
}

// Nothing is drawn: stage 8's last frame stays on the screen.
void stage9()
{
    fx_lattice_free();
    fx_beams_init();
    fx_shatter_init();
    run_idle(9);
}

// The picture of stage 8 breaks up over the light beams.
void stage10()
{
    take_start(10);
    expand_a(demo_frame_d);
    run_loop(10, [] {
        uint32_t* f = beams();
        fx_shatter_render(f, demo_frame_d, demo_shatter_time(since(10)));
        demo_wait();
        vid_update(f);
    });
}

// The light beams alone.
void stage11()
{
    fx_shatter_free();
    run_loop(11, [] {
        demo_wait();
        vid_update(beams());
    });
}

// From the beams to the bouncing object.
void stage12()
{
    fx_bounce_init();
    into_b(emb_wipe_1, emb_wipe_1_size);
    take_start(12);
    run_loop(12, [] {
        fx_bounce_render(demo_frame_c, since(12));
        uint32_t* f = beams();
        demo_wait();
        vid_update(tr_maskwipe32(since(12), demo_pic_b, f, demo_frame_c, demo_frame_d));
    });
}

// The bouncing object alone.
void stage13()
{
    fx_beams_free();
    run_loop(13, [] {
        fx_bounce_render(demo_frame_c, since(12));
        demo_wait();
        vid_update(demo_frame_c);
    });
}

// From the bouncing object to the mirror wave, whose zoom restarts on the beat.
void stage14()
{
    fx_mirror_init();
    take_start(14);
    run_loop(14, [] {
        fx_bounce_render(demo_frame_c, since(12));
        uint32_t* f = mirror();
        demo_beat_settle();
        demo_wait();
        vid_update(tr_crossfade32(since(14), demo_frame_c, f, f));
    });
}

// The mirror wave alone; the beat counter is settled after the frame is shown.
void stage15()
{
    fx_bounce_free();
    run_loop(15, [] {
        demo_wait();
        vid_update(mirror());
        demo_beat_settle();
    });
}

// From the mirror wave to the blob trails, which work in slot A and are expanded into frame C.
void stage16()
{
    fx_blobs_init();
    fx_blobs_size.store(60);
    take_start(16);
    std::memset(demo_pic_a, 0, sizeof demo_pic_a);
    run_loop(16, [] {
        uint32_t* f = mirror();
        sync_beat.store(0);
        fx_blobs_render(blob_buffer(), since(16));
        expand_blobs();
        demo_wait();
        vid_update(tr_crossfade32(since(16), f, demo_frame_c, demo_frame_c));
    });
}

// The blob trails alone.
void stage17()
{
    fx_mirror_free();
    run_loop(17, [] {
        fx_blobs_render(blob_buffer(), since(16));
        expand_blobs();
        demo_wait();
        vid_update(demo_frame_c);
    });
}

// From the blobs to the orbiting objects.
void stage18()
{
    fx_orbit_init();
    take_start(18);
    run_loop(18, [] {
        fx_blobs_render(blob_buffer(), since(16));
        expand_blobs();
        fx_orbit_render(demo_frame_d, demo_clock());
        demo_wait();
        vid_update(tr_crossfade32(since(18), demo_frame_c, demo_frame_d, demo_frame_d));
    });
}

// The orbiting objects alone.
void stage19()
{
    run_loop(19, [] {
        fx_orbit_render(demo_frame_d, demo_clock());
        demo_wait();
        vid_update(demo_frame_d);
    });
}

// From the orbiting objects to the bouncing balls.
void stage20()
{
    fx_balls_init();
    into_b(emb_wipe_6, emb_wipe_6_size);
    take_start(20);
    run_loop(20, [] {
        fx_orbit_render(demo_frame_d, demo_clock());
        uint32_t* f = balls(0);
        demo_wait();
        vid_update(tr_maskwipe32(since(20), demo_pic_b, demo_frame_d, f, f));
    });
}

// The balls alone; from order 24 on they take their second textures and foreground half.
void stage21()
{
    fx_orbit_free();
    run_loop(21, [] {
        demo_wait();
        const int32_t variant = static_cast<uint32_t>(pt_getpos()) > 2399 ? 1 : 0;
        vid_update(balls(variant));
    });
}

// The end picture, four seconds on screen, then wiped out to black; Escape in the wipe only
// cuts it short, and the show ends normally.
[[noreturn]] void stage22()
{
    fx_balls_free();
    into_a(emb_pic_end, emb_pic_end_size);
    expand_a(demo_frame_c);
    vid_update(demo_frame_c);
    take_start(22);
    while (demo_clock() < stage_start[22] + 280) {
        if (vid_escape() == 1) demo_exit(1, demo_stage_message[22]);
    }
    const int32_t s = demo_clock();
    into_b(emb_wipe_3, emb_wipe_3_size);
    while (demo_clock() < s + 256) {
        std::memset(demo_frame_d, 0, sizeof demo_frame_d);
        demo_wait();
        vid_update(tr_maskwipe32(demo_clock() - s, demo_pic_b, demo_frame_c, demo_frame_d, demo_frame_d));
        if (vid_escape() == 1) break;
    }
    demo_exit(0, demo_results_text);
}

void (*const stages[demo_stage_count])() = {
    stage0, stage1, stage2, stage3, stage4, stage5, stage6, stage7, stage8, stage9, stage10, stage11,
    stage12, stage13, stage14, stage15, stage16, stage17, stage18, stage19, stage20, stage21, stage22,
};

} // namespace

void demo_run_stage(int k)
{
    if (k >= 0 && k < demo_stage_count) stages[k]();
}

void demo_run_stages()
{
    for (int k = 0; k < 22; ++k) stages[k]();
    stage22();
}
