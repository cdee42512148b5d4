// The embedded asset catalogue: every picture, 3D scene and animation the show carries in its
// image, each a byte array under its emb_ name with its size in bytes beside it.
//
// Pictures are IFF FORM "PBM " (iff_decode / iff_decode_n), 3D scenes 3DS files with a 0x4D4D main
// chunk, animations anim containers (anim_blit_frame). The bytes are the asset files that the
// build generates into <build>/assets/gen/<emb name>.<iff|3ds|anim>, linked unchanged. They are
// read-only: nothing writes them at run time.
#pragma once

#include <cstdint>

// The 3D scenes' media
extern "C" const uint8_t emb_3ds_bouncer[];
extern "C" const uint32_t emb_3ds_bouncer_size;
extern "C" const uint8_t emb_3ds_flyers[];
extern "C" const uint32_t emb_3ds_flyers_size;
extern "C" const uint8_t emb_pic_bounce_bg1[];
extern "C" const uint32_t emb_pic_bounce_bg1_size;
extern "C" const uint8_t emb_pic_bounce_bg2[];
extern "C" const uint32_t emb_pic_bounce_bg2_size;
extern "C" const uint8_t emb_pic_bounce_tex1[];
extern "C" const uint32_t emb_pic_bounce_tex1_size;
extern "C" const uint8_t emb_pic_bounce_tex0[];
extern "C" const uint32_t emb_pic_bounce_tex0_size;
extern "C" const uint8_t emb_pic_lattice_tex[];
extern "C" const uint32_t emb_pic_lattice_tex_size;
extern "C" const uint8_t emb_3ds_receivers[];
extern "C" const uint32_t emb_3ds_receivers_size;
extern "C" const uint8_t emb_3ds_casters[];
extern "C" const uint32_t emb_3ds_casters_size;
extern "C" const uint8_t emb_3ds_box[];
extern "C" const uint32_t emb_3ds_box_size;
extern "C" const uint8_t emb_pic_shadow_bg[];
extern "C" const uint32_t emb_pic_shadow_bg_size;
extern "C" const uint8_t emb_pic_shadow_pal[];
extern "C" const uint32_t emb_pic_shadow_pal_size;
extern "C" const uint8_t emb_3ds_lattice[];
extern "C" const uint32_t emb_3ds_lattice_size;
extern "C" const uint8_t emb_pic_lattice_overlay[];
extern "C" const uint32_t emb_pic_lattice_overlay_size;
extern "C" const uint8_t emb_anim_orbit[];
extern "C" const uint32_t emb_anim_orbit_size;
extern "C" const uint8_t emb_3ds_orbit[];
extern "C" const uint32_t emb_3ds_orbit_size;
extern "C" const uint8_t emb_pic_orbit_tex[];
extern "C" const uint32_t emb_pic_orbit_tex_size;
extern "C" const uint8_t emb_pic_orbit_border[];
extern "C" const uint32_t emb_pic_orbit_border_size;

// The blob stamp
extern "C" const uint8_t emb_pic_blob_stamp[];
extern "C" const uint32_t emb_pic_blob_stamp_size;

// The 2D effects' and the timeline's media
extern "C" const uint8_t emb_wipe_1[];
extern "C" const uint32_t emb_wipe_1_size;
extern "C" const uint8_t emb_wipe_2[];
extern "C" const uint32_t emb_wipe_2_size;
extern "C" const uint8_t emb_wipe_6[];
extern "C" const uint32_t emb_wipe_6_size;
extern "C" const uint8_t emb_wipe_3[];
extern "C" const uint32_t emb_wipe_3_size;
extern "C" const uint8_t emb_wipe_5[];
extern "C" const uint32_t emb_wipe_5_size;
extern "C" const uint8_t emb_pic_ball_tex[];
extern "C" const uint32_t emb_pic_ball_tex_size;
extern "C" const uint8_t emb_pic_ball_fg[];
extern "C" const uint32_t emb_pic_ball_fg_size;
extern "C" const uint8_t emb_pic_ball_bg[];
extern "C" const uint32_t emb_pic_ball_bg_size;
extern "C" const uint8_t emb_pic_beams_logo[];
extern "C" const uint32_t emb_pic_beams_logo_size;
extern "C" const uint8_t emb_pic_end[];
extern "C" const uint32_t emb_pic_end_size;
extern "C" const uint8_t emb_pic_shatter[];
extern "C" const uint32_t emb_pic_shatter_size;
extern "C" const uint8_t emb_pic_title[];
extern "C" const uint32_t emb_pic_title_size;
extern "C" const uint8_t emb_pic_mirror_bg[];
extern "C" const uint32_t emb_pic_mirror_bg_size;
extern "C" const uint8_t emb_pic_mirror_drop[];
extern "C" const uint32_t emb_pic_mirror_drop_size;
extern "C" const uint8_t emb_pic_mirror_main[];
extern "C" const uint32_t emb_pic_mirror_main_size;
extern "C" const uint8_t emb_anim_curtain[];
extern "C" const uint32_t emb_anim_curtain_size;
extern "C" const uint8_t emb_pic_curtain[];
extern "C" const uint32_t emb_pic_curtain_size;

// The music: a 12-channel tracker module, writable (the module loader converts it in place)
extern "C" uint8_t emb_module[];
extern "C" const uint32_t emb_module_size;
