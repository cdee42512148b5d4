// Scene list and object life: allocation, closing, normals, borrow counts and freeing.
#include "engine3d/sc_scene.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine3d/eng_render.h"
#include "engine3d/m3_view.h"
#include "picture/pix.h"

int32_t sc_live_scenes = 0;

static int32_t* alloc_words(int32_t count)
{
    // At least one word, so that an empty array is still a real allocation to free.
    return static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(count > 0 ? count : 1)));
}

int sc_init(sc_scene* scene)
{
    if (!scene || eng_start() != 0)
        return 1;
    std::memset(scene, 0, sizeof *scene);
    scene->head = static_cast<sc_node**>(std::malloc(sizeof(sc_node*)));
    if (!scene->head)
        return 1;
    *scene->head = nullptr;
    scene->angle_y = 128;
    scene->target_z = 128;
    scene->focal = 256;
    sc_live_scenes++;
    return 0;
}

void sc_release(sc_scene* scene)
{
    // A scene not set up (or released already) has no cell: it is not counted twice.
    if (!scene || !scene->head)
        return;
    std::free(scene->head);
    scene->head = nullptr;
    scene->iterator = nullptr;
    if (--sc_live_scenes == 0)
        eng_stop();
}

int sc_copy(sc_scene* dst, const sc_scene* src)
{
    if (!dst || !src)
        return 1;
    *dst = *src;
    return 0;
}

int sc_add_object(sc_scene* scene, sc_object* object)
{
    if (!scene || !object || !scene->head)
        return 1;
    sc_node* node = static_cast<sc_node*>(std::malloc(sizeof(sc_node)));
    if (!node)
        return 1;
    node->next = nullptr;
    node->object = object;
    sc_node** link = scene->head;
    while (*link)
        link = &(*link)->next;
    *link = node;
    object->list_refs++;
    scene->count++;
    return 0;
}

sc_object* sc_add_instance(sc_scene* scene, sc_object* source)
{
    if (!source)
        return nullptr;
    sc_object* inst = static_cast<sc_object*>(std::malloc(sizeof(sc_object)));
    if (!inst)
        return nullptr;
    *inst = *source;
    const int32_t n = source->vertex_count;
    // The work arrays are the instance's own; until they exist it borrows nothing, so a
    // failure part way frees only what was made.
    inst->geom_borrow = 0;
    inst->normals_borrow = 0;
    inst->list_refs = 0;
    inst->cam_vertices = alloc_words(n * 3);
    inst->rot_normals = source->normals ? alloc_words(n * 3) : nullptr;
    inst->scr_vertices = alloc_words(n * 2);
    if (!inst->cam_vertices || !inst->scr_vertices || (source->normals && !inst->rot_normals)) {
        std::free(inst->cam_vertices);
        std::free(inst->rot_normals);
        std::free(inst->scr_vertices);
        std::free(inst);
        return nullptr;
    }
    // A chain of instances passes its counts on: only zero or non-zero matters.
    inst->geom_borrow = source->geom_borrow + 1;
    inst->normals_borrow = source->normals ? source->normals_borrow + 1 : source->normals_borrow;
    if (sc_add_object(scene, inst) != 0) {
        obj_free(inst);
        return nullptr;
    }
    return inst;
}

// Unlinks the node at *link and drops its reference on the object.
static void unlink_node(sc_scene* scene, sc_node** link)
{
    sc_node* node = *link;
    *link = node->next;
    if (scene->iterator == node)
        scene->iterator = nullptr;
    node->object->list_refs--;
    scene->count--;
    std::free(node);
}

void sc_remove_object(sc_scene* scene, sc_object* object)
{
    if (!scene || !object || !scene->head)
        return;
    for (sc_node** link = scene->head; *link; link = &(*link)->next) {
        if ((*link)->object == object) {
            unlink_node(scene, link);
            return;
        }
    }
}

void sc_free_objects(sc_scene* scene)
{
    if (!scene || !scene->head)
        return;
    while (*scene->head) {
        sc_object* object = (*scene->head)->object;
        unlink_node(scene, scene->head);
        obj_free(object);
    }
    scene->iterator = nullptr;
}

void sc_rewind(sc_scene* scene)
{
    if (scene)
        scene->iterator = nullptr;
}

sc_object* sc_next(sc_scene* scene)
{
    if (!scene || !scene->head)
        return nullptr;
    scene->iterator = scene->iterator ? scene->iterator->next : *scene->head;
    return scene->iterator ? scene->iterator->object : nullptr;
}

sc_object* obj_alloc(int32_t vertex_count, int32_t face_count, int has_uv)
{
    if (face_count > obj_max_faces || face_count < 0 || vertex_count < 0)
        return nullptr;
    sc_object* o = static_cast<sc_object*>(std::calloc(1, sizeof(sc_object)));
    if (!o)
        return nullptr;
    o->uv = has_uv ? alloc_words(vertex_count * 2) : nullptr;
    o->cam_vertices = alloc_words(vertex_count * 3);
    o->scr_vertices = alloc_words(vertex_count * 2);
    o->faces = alloc_words(face_count * 4);
    o->vertices = alloc_words(vertex_count * 3);
    if (!o->vertices || !o->faces || !o->cam_vertices || !o->scr_vertices || (has_uv && !o->uv)) {
        obj_free(o);
        return nullptr;
    }
    o->vertex_count = vertex_count;
    o->face_count = face_count;
    return o;
}

// Largest squared vertex length, unsigned 64-bit: three squares of at most 2^62 each stay below
// 2^64, so no coordinate of 32 bits can wrap it; radius = its exact integer square root plus 1,
// saturated at INT32_MAX.
static int32_t bounding_radius(const sc_object* o)
{
    uint64_t best = 0;
    for (int32_t i = 0; i < o->vertex_count; i++) {
        uint64_t d = 0;
        for (int k = 0; k < 3; k++) {
            const int64_t c = o->vertices[3 * i + k];
            const uint64_t a = static_cast<uint64_t>(c < 0 ? -c : c);
            d += a * a;
        }
        if (d > best)
            best = d;
    }
    // The double's root is within one of the exact one (best < 3 x 2^62, root < 2^32): settle
    // it; (r + 1)^2 stays below 2^64 for every such r.
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(best)));
    while (r > 0 && r * r > best)
        r--;
    while ((r + 1) * (r + 1) <= best)
        r++;
    return r < INT32_MAX ? static_cast<int32_t>(r + 1) : INT32_MAX;
}

int obj_finish(sc_object* o)
{
    if (!o)
        return 1;
    std::memset(o->name, 0, 10);
    o->mode = 1;
    o->angle_x = o->angle_y = o->angle_z = 0;
    o->pos_x = o->pos_y = o->pos_z = 0;
    o->depth = 0;
    // The meshes come with the other winding: clockwise on the screen is what the face list
    // takes as a front face.
    for (int32_t i = 0; i < o->face_count; i++) {
        int32_t* f = o->faces + 4 * i;
        const int32_t t = f[0];
        f[0] = f[2];
        f[2] = t;
    }
    o->radius = bounding_radius(o);
    return obj_make_normals(o);
}

static bool valid_vertex(const sc_object* o, int32_t v)
{
    return v >= 0 && v < o->vertex_count;
}

// Normal of one face from its first three corners, scaled to length 30976 (121 x 256, so that
// an environment coordinate 32768 +- a component stays within texels 7..249). Degenerate
// faces, and faces naming a vertex the object lacks, get (0, 0, 0).
static void face_normal(const sc_object* o, const int32_t* f, int32_t* out)
{
    out[0] = out[1] = out[2] = 0;
    if (!valid_vertex(o, f[0]) || !valid_vertex(o, f[1]) || !valid_vertex(o, f[2]))
        return;
    const int32_t* p0 = o->vertices + 3 * f[0];
    const int32_t* p1 = o->vertices + 3 * f[1];
    const int32_t* p2 = o->vertices + 3 * f[2];
    double a[3], b[3];
    for (int k = 0; k < 3; k++) {
        a[k] = static_cast<double>(static_cast<int64_t>(p1[k]) - p0[k]);
        b[k] = static_cast<double>(static_cast<int64_t>(p2[k]) - p0[k]);
    }
    const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len == 0.0 || !std::isfinite(len))
        return;
    for (int k = 0; k < 3; k++)
        out[k] = static_cast<int32_t>(n[k] * 30976.0 / len);
}

// Registers up to 15 faces per vertex (a count and 15 face numbers per vertex), in face order.
static void register_faces(const sc_object* o, int32_t* table)
{
    std::memset(table, 0, sizeof(int32_t) * 16 * static_cast<size_t>(o->vertex_count));
    for (int32_t i = 0; i < o->face_count; i++) {
        for (int s = 0; s < 4; s++) {
            const int32_t v = o->faces[4 * i + s];
            if (!valid_vertex(o, v))
                continue;
            int32_t* entry = table + 16 * v;
            if (entry[0] < 15)
                entry[1 + entry[0]++] = i;
        }
    }
}

int obj_make_normals(sc_object* o)
{
    if (!o)
        return 1;
    const int32_t n = o->vertex_count;
    if (!o->normals) {
        o->normals = alloc_words(n * 3);
        std::free(o->rot_normals);
        o->rot_normals = alloc_words(n * 3);
        o->normals_borrow = 0;
    } else if (!o->rot_normals) {
        o->rot_normals = alloc_words(n * 3);
    }
    int32_t* table = alloc_words(n * 16);
    int32_t* fnorm = alloc_words(o->face_count * 3);
    if (!o->normals || !o->rot_normals || !table || !fnorm) {
        if (o->normals_borrow == 0) {
            std::free(o->normals);
            std::free(o->rot_normals);
            o->normals = o->rot_normals = nullptr;
        }
        std::free(table);
        std::free(fnorm);
        return 1;
    }
    for (int32_t i = 0; i < o->face_count; i++)
        face_normal(o, o->faces + 4 * i, fnorm + 3 * i);
    register_faces(o, table);
    std::memset(o->normals, 0, sizeof(int32_t) * 3 * static_cast<size_t>(n));
    for (int32_t v = 0; v < n; v++) {
        const int32_t* entry = table + 16 * v;
        if (entry[0] == 0)
            continue;
        int32_t sum[3] = {0, 0, 0};
        for (int32_t j = 1; j <= entry[0]; j++)
            for (int k = 0; k < 3; k++)
                sum[k] += fnorm[3 * entry[j] + k];
        for (int k = 0; k < 3; k++)
            o->normals[3 * v + k] = sum[k] / entry[0];
    }
    std::free(table);
    std::free(fnorm);
    return 0;
}

void obj_free(sc_object* o)
{
    if (!o || o->list_refs != 0)
        return;
    if (o->geom_borrow == 0) {
        std::free(o->faces);
        std::free(o->vertices);
        std::free(o->uv);
    } else {
        o->geom_borrow--;
    }
    if (o->normals_borrow == 0)
        std::free(o->normals);
    else
        o->normals_borrow--;
    std::free(o->cam_vertices);
    std::free(o->scr_vertices);
    std::free(o->rot_normals);
    std::free(o);
}

static int32_t read_s16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

int64_t obj_packed_size(const uint8_t* image, int has_uv)
{
    const int64_t n = read_s16(image), f = read_s16(image + 2);
    return 4 + 6 * (n + f) + (has_uv ? 2 * n : 0);
}

sc_object* obj_from_packed(const uint8_t* image, int64_t size, sc_object* o, int has_uv)
{
    if (!image || size < 4)
        return nullptr;
    const int32_t n = read_s16(image), f = read_s16(image + 2);
    if (f > obj_max_faces || n < 0 || f < 0 || size < obj_packed_size(image, has_uv))
        return nullptr;
    if (!o) {
        o = obj_alloc(n, f, has_uv);
        if (!o)
            return nullptr;
    } else if (o->vertex_count < n || o->face_count < f || (has_uv && !o->uv)) {
        return nullptr;
    }
    const uint8_t* p = image + 4;
    for (int32_t i = 0; i < 3 * n; i++, p += 2)
        o->vertices[i] = read_s16(p);
    for (int32_t i = 0; i < f; i++) {
        for (int k = 0; k < 3; k++, p += 2)
            o->faces[4 * i + k] = read_s16(p);
        o->faces[4 * i + 3] = -1;
    }
    if (has_uv)
        for (int32_t i = 0; i < 2 * n; i++)
            o->uv[i] = static_cast<int32_t>(*p++) * 256;
    obj_finish(o);
    return o;
}

void obj_centre(sc_object* o)
{
    if (!o || o->vertex_count <= 0)
        return;
    double sx = 0.0, sy = 0.0;
    for (int32_t i = 0; i < o->vertex_count; i++) {
        sx += o->vertices[3 * i];
        sy += o->vertices[3 * i + 1];
    }
    const double mx = sx / o->vertex_count, my = sy / o->vertex_count;
    // Means of 32-bit values stay within 32 bits; the moved coordinates wrap like the rest of
    // the engine's 32-bit point arithmetic.
    const int32_t dx = static_cast<int32_t>(mx), dy = static_cast<int32_t>(my);
    for (int32_t i = 0; i < o->vertex_count; i++) {
        o->vertices[3 * i] = static_cast<int32_t>(static_cast<uint32_t>(o->vertices[3 * i]) - static_cast<uint32_t>(dx));
        o->vertices[3 * i + 1] = static_cast<int32_t>(static_cast<uint32_t>(o->vertices[3 * i + 1]) - static_cast<uint32_t>(dy));
    }
    o->pos_x = pix_trunc(o->pos_x + mx);
    o->pos_y = pix_trunc(o->pos_y + my);
}
