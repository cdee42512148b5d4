// Object rotation, the scene's three camera forms and the per-object camera transform.
#include "engine3d/sc_transform.h"

#include "engine3d/m3_view.h"
#include "engine3d/rz.h"

// Modes whose drawing reads normals: flat, gouraud, environment map, bump.
static bool uses_normals(const sc_object* o)
{
    return (o->mode & 27) != 0 && o->rot_normals;
}

void obj_rotate(sc_object* o)
{
    m3_matrix_euler(o->angle_x, o->angle_y, o->angle_z);
    if (uses_normals(o) && o->normals)
        m3_rotate_points(o->vertex_count, o->normals, o->rot_normals);
    m3_rotate_points(o->vertex_count, o->vertices, o->cam_vertices);
}

static int32_t wrap_sub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

void sc_set_camera(const sc_scene* s)
{
    if (s->cam_mode == 0) {
        // look-at with roll: differences in 32 bits, then doubles
        m3_matrix_look_dir(wrap_sub(s->target_x, s->cam_x), wrap_sub(s->target_y, s->cam_y),
                           wrap_sub(s->target_z, s->cam_z), s->roll * m3_angle_unit);
    } else if (s->cam_mode == 2) {
        double f[3] = {static_cast<double>(s->target_x), static_cast<double>(s->target_y),
                       static_cast<double>(s->target_z)};
        double u[3] = {static_cast<double>(s->angle_x), static_cast<double>(s->angle_y),
                       static_cast<double>(s->roll)};
        m3_matrix_fwd_up(f, u);
    } else {
        m3_matrix_euler(s->angle_x, s->angle_y, s->roll);
    }
}

void sc_rotate_object(const sc_scene* s, sc_object* o)
{
    sc_set_camera(s);
    if (uses_normals(o))
        m3_rotate_points(o->vertex_count, o->rot_normals, o->rot_normals);
    m3_rotate_points(o->vertex_count, o->cam_vertices, o->cam_vertices);
}

void sc_transform_object(const sc_scene* s, sc_object* o)
{
    m3_translate_points(o->vertex_count, o->cam_vertices, wrap_sub(o->pos_x, s->cam_x),
                        wrap_sub(o->pos_y, s->cam_y), wrap_sub(o->pos_z, s->cam_z));
    sc_rotate_object(s, o);
    m3_project_points(o->vertex_count, o->cam_vertices, o->scr_vertices, rz_width, rz_height, s->focal);
}
