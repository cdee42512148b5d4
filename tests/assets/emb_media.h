// The catalogue as the tests know it: every asset with its address, size, file and facts.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/emb.h"

struct emb_picture {
    const char* name;
    const uint8_t* data;
    const uint32_t* size;
    int w, h;
};

struct emb_mesh_fact {
    const char* name;
    int verts, faces;
    bool mapping;
};

struct emb_scene {
    const char* name;
    const uint8_t* data;
    const uint32_t* size;
    std::vector<emb_mesh_fact> meshes;     // in file order
    std::vector<std::string> other_objects; // named objects without a mesh, in file order
};

#define EMB_PIC(n, w, h) {#n, n, &n##_size, w, h}
inline const std::vector<emb_picture>& emb_pictures()
{
    static const std::vector<emb_picture> v = {
        EMB_PIC(emb_pic_bounce_bg1, 320, 240),      EMB_PIC(emb_pic_bounce_bg2, 320, 240),
        EMB_PIC(emb_pic_bounce_tex1, 320, 200),     EMB_PIC(emb_pic_bounce_tex0, 320, 200),
        EMB_PIC(emb_pic_lattice_tex, 320, 200),     EMB_PIC(emb_pic_shadow_bg, 320, 240),
        EMB_PIC(emb_pic_shadow_pal, 320, 200),      EMB_PIC(emb_pic_lattice_overlay, 320, 240),
        EMB_PIC(emb_pic_orbit_tex, 256, 256),       EMB_PIC(emb_pic_orbit_border, 320, 240),
        EMB_PIC(emb_pic_blob_stamp, 320, 200),      EMB_PIC(emb_wipe_1, 320, 240),
        EMB_PIC(emb_wipe_2, 320, 240),              EMB_PIC(emb_wipe_6, 320, 240),
        EMB_PIC(emb_wipe_3, 320, 240),              EMB_PIC(emb_wipe_5, 320, 256),
        EMB_PIC(emb_pic_ball_tex, 320, 100),        EMB_PIC(emb_pic_ball_fg, 320, 240),
        EMB_PIC(emb_pic_ball_bg, 320, 240),         EMB_PIC(emb_pic_beams_logo, 320, 240),
        EMB_PIC(emb_pic_end, 320, 240),             EMB_PIC(emb_pic_shatter, 320, 240),
        EMB_PIC(emb_pic_title, 320, 240),           EMB_PIC(emb_pic_mirror_bg, 320, 240),
        EMB_PIC(emb_pic_mirror_drop, 320, 240),     EMB_PIC(emb_pic_mirror_main, 320, 240),
        EMB_PIC(emb_pic_curtain, 320, 240),
    };
    return v;
}
#undef EMB_PIC

#define EMB_3DS(n) #n, n, &n##_size
inline const std::vector<emb_scene>& emb_scenes()
{
    static const std::vector<emb_scene> v = {
        {EMB_3DS(emb_3ds_bouncer), {{"Object", 408, 812, true}}, {}},
        {EMB_3DS(emb_3ds_flyers), {{"Object01", 130, 256, true}}, {}},
        {EMB_3DS(emb_3ds_receivers), {{"Object03", 270, 516, false}}, {"Light01", "Light02", "Camera01"}},
        {EMB_3DS(emb_3ds_casters), {{"piikkipall", 202, 400, true}}, {}},
        {EMB_3DS(emb_3ds_box), {{"Object01", 8, 12, false}}, {}},
        {EMB_3DS(emb_3ds_lattice), {{"Object03", 24, 24, false}}, {"Camera01"}},
        {EMB_3DS(emb_3ds_orbit),
         {{"Object01", 8, 12, false}, {"Object02", 130, 256, true}, {"Object03", 36, 72, false}},
         {}},
    };
    return v;
}
#undef EMB_3DS

// The generated file of an asset: <build>/assets/gen/<name>.<ext>
inline std::string emb_file(const char* name, const char* ext)
{
    const char* dir = std::getenv("ORV_BINARY_DIR");
    return std::string(dir ? dir : ORV_BINARY_DIR) + "/assets/gen/" + name + ext;
}
