// Engine start and stop, bounding-sphere culling and the whole-scene render.
#include "engine3d/eng_render.h"

#include <cstdlib>
#include <cstring>

#include "engine3d/fl_face_list.h"
#include "engine3d/m3_view.h"
#include "engine3d/rz.h"
#include "engine3d/sc_transform.h"

// Object centres of the last cull, grown when a scene holds more objects than before, so that
// a frame allocates nothing once the largest scene has been seen.
static int32_t* cull_centres = nullptr;
static int32_t cull_capacity = 0;

int eng_start()
{
    fl_sort_mode = 0;
    return 0;
}

void eng_stop()
{
    rz_zbuffer(0);
    std::free(cull_centres);
    cull_centres = nullptr;
    cull_capacity = 0;
}

static int32_t list_length(const sc_scene* s)
{
    int32_t n = 0;
    for (const sc_node* node = s->head ? *s->head : nullptr; node; node = node->next)
        n++;
    return n;
}

static bool reserve_centres(int32_t n)
{
    if (n <= cull_capacity)
        return true;
    int32_t* grown = static_cast<int32_t*>(std::realloc(cull_centres, sizeof(int32_t) * 3 * static_cast<size_t>(n)));
    if (!grown)
        return false;
    cull_centres = grown;
    cull_capacity = n;
    return true;
}

static int64_t abs64(int64_t v)
{
    return v < 0 ? -v : v;
}

// Inside the view pyramid (slopes 1/3 sideways, 1/(focal >> 6) vertically), widened by the
// bounding sphere: k = 23 r / 16 sideways, r in depth. Formed in 64 bits so that far objects
// cannot wrap into view.
static bool sphere_visible(const int32_t* c, int32_t r, int32_t f6)
{
    const int64_t k = (23 * static_cast<int64_t>(r)) >> 4;
    const int64_t ahead = static_cast<int64_t>(r) - c[2];
    return 3 * (abs64(c[0]) - k) <= ahead && (abs64(c[1]) - k) * f6 <= ahead;
}

int sc_cull(sc_scene* s)
{
    if (!s)
        return 1;
    const int32_t f6 = s->focal >> 6;
    const int32_t n = list_length(s);
    if (!reserve_centres(n))
        return 1;
    int32_t i = 0;
    for (sc_node* node = s->head ? *s->head : nullptr; node; node = node->next, i++) {
        cull_centres[3 * i] = node->object->pos_x;
        cull_centres[3 * i + 1] = node->object->pos_y;
        cull_centres[3 * i + 2] = node->object->pos_z;
    }
    m3_translate_points(n, cull_centres, static_cast<int32_t>(0u - static_cast<uint32_t>(s->cam_x)),
                        static_cast<int32_t>(0u - static_cast<uint32_t>(s->cam_y)),
                        static_cast<int32_t>(0u - static_cast<uint32_t>(s->cam_z)));
    sc_set_camera(s);
    m3_rotate_points(n, cull_centres, cull_centres);
    i = 0;
    for (sc_node* node = s->head ? *s->head : nullptr; node; node = node->next, i++) {
        const int32_t* c = cull_centres + 3 * i;
        node->object->depth = sphere_visible(c, node->object->radius, f6)
                                  ? static_cast<int32_t>(0u - static_cast<uint32_t>(c[2]))
                                  : sc_culled;
    }
    fl_reset();
    return 0;
}

int sc_render(sc_scene* s)
{
    // A cull that ran out of memory leaves last frame's depths and list: skip the frame.
    if (sc_cull(s) != 0)
        return 1;
    for (sc_node* node = s->head ? *s->head : nullptr; node; node = node->next) {
        sc_object* o = node->object;
        if (o->depth == sc_culled)
            continue;
        obj_rotate(o);
        sc_transform_object(s, o);
        fl_add_object(o);
    }
    fl_flush();
    return 0;
}
