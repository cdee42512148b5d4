// Writes every picture, animation and 3D scene of the show into the folder given as the only
// argument, each file named after its emb_ symbol. Same bytes on every run.
#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "mk_pictures.h"
#include "mk_scenes.h"

using namespace mk;

namespace {

bytes anim(const std::vector<canvas>& frames)
{
    // every frame shares the first one's palette, and no palette byte exceeds 248
    for (const canvas& f : frames)
        for (int i = 0; i < 768; i++)
            if (f.pal[i] != frames[0].pal[i] || f.pal[i] > 248)
                throw std::runtime_error("animation palette breaks its rules");
    return anim_container(frames);
}

struct asset {
    const char* file;
    std::function<bytes()> make;
};

const asset assets[] = {
    {"emb_3ds_bouncer.3ds", scene_bouncer},
    {"emb_3ds_flyers.3ds", scene_flyers},
    {"emb_pic_bounce_bg1.iff", [] { return iff_pbm(pic_bounce_bg(1)); }},
    {"emb_pic_bounce_bg2.iff", [] { return iff_pbm(pic_bounce_bg(2)); }},
    {"emb_pic_bounce_tex1.iff", [] { return iff_pbm(pic_bounce_tex(1)); }},
    {"emb_pic_bounce_tex0.iff", [] { return iff_pbm(pic_bounce_tex(0)); }},
    {"emb_pic_lattice_tex.iff", [] { return iff_pbm(pic_lattice_tex()); }},
    {"emb_3ds_receivers.3ds", scene_receivers},
    {"emb_3ds_casters.3ds", scene_casters},
    {"emb_3ds_box.3ds", scene_box},
    {"emb_pic_shadow_bg.iff", [] { return iff_pbm(pic_shadow_bg()); }},
    {"emb_pic_shadow_pal.iff", [] { return iff_pbm(pic_shadow_pal()); }},
    {"emb_3ds_lattice.3ds", scene_lattice},
    {"emb_pic_lattice_overlay.iff", [] { return iff_pbm(pic_lattice_overlay()); }},
    {"emb_anim_orbit.anim", [] { return anim(anim_orbit()); }},
    {"emb_3ds_orbit.3ds", scene_orbit},
    {"emb_pic_orbit_tex.iff", [] { return iff_pbm(pic_orbit_tex()); }},
    {"emb_pic_orbit_border.iff", [] { return iff_pbm(pic_orbit_border()); }},
    {"emb_pic_blob_stamp.iff", [] { return iff_pbm(pic_blob_stamp()); }},
    {"emb_wipe_1.iff", [] { return iff_pbm(wipe_radial()); }},
    {"emb_wipe_2.iff", [] { return iff_pbm(wipe_diagonal()); }},
    {"emb_wipe_6.iff", [] { return iff_pbm(wipe_dissolve()); }},
    {"emb_wipe_3.iff", [] { return iff_pbm(wipe_spiral()); }},
    {"emb_wipe_5.iff", [] { return iff_pbm(wipe_blinds()); }},
    {"emb_pic_ball_tex.iff", [] { return iff_pbm(pic_ball_tex()); }},
    {"emb_pic_ball_fg.iff", [] { return iff_pbm(pic_ball_fg()); }},
    {"emb_pic_ball_bg.iff", [] { return iff_pbm(pic_ball_bg()); }},
    {"emb_pic_beams_logo.iff", [] { return iff_pbm(pic_beams_logo()); }},
    {"emb_pic_end.iff", [] { return iff_pbm(pic_end()); }},
    {"emb_pic_shatter.iff", [] { return iff_pbm(pic_shatter()); }},
    {"emb_pic_title.iff", [] { return iff_pbm(pic_title()); }},
    {"emb_pic_mirror_bg.iff", [] { return iff_pbm(pic_mirror_bg()); }},
    {"emb_pic_mirror_drop.iff", [] { return iff_pbm(pic_mirror_drop()); }},
    {"emb_pic_mirror_main.iff", [] { return iff_pbm(pic_mirror_main()); }},
    {"emb_anim_curtain.anim", [] { return anim(anim_curtain()); }},
    {"emb_pic_curtain.iff", [] { return iff_pbm(pic_curtain()); }},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    try {
        for (const asset& a : assets)
            write_file(dir + "/" + a.file, a.make());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
