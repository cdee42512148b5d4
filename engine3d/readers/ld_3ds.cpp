// In-memory 3DS reader. Every read is checked against ld_image_size first; chunk walks stop at a
// header that does not fit the image, and every list is read only within its own chunk.
#include "engine3d/readers/ld_3ds.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#include "engine3d/sc_scene.h"

uint32_t ld_read_pos;
uint32_t ld_image_size;
const double ld_3ds_scale = 10.0;
const double ld_3ds_uv_scale = 227.0;

// 512 / pi turns radians into 1024ths of a turn; the double nearest 1/pi
static const double ld_inv_pi = 0.3183098861837907;

// The reader's loop indices are signed 16-bit: three coordinates per vertex, four words per face
// and per position key, two per roll key must all be counted below 32768.
static const int32_t ld_max_vertices = 10922;
static const int32_t ld_max_faces = 8191;

const uint16_t ld_track_node[2] = {ld_id_camera_node, ld_id_target_node};
const uint16_t ld_track_id[2] = {ld_id_pos_track, ld_id_roll_track};

// Key flags: one float each follows the flags word for tension, continuity, bias, ease to and
// ease from, in that order.
static const uint16_t ld_key_spline_fields = 0x001F;

static bool ld_fits(uint32_t pos, uint32_t bytes)
{
    return pos <= ld_image_size && bytes <= ld_image_size - pos;
}

static uint16_t ld_u16_at(const uint8_t* image, uint32_t pos)
{
    return static_cast<uint16_t>(image[pos] | image[pos + 1] << 8);
}

static uint32_t ld_u32_at(const uint8_t* image, uint32_t pos)
{
    return image[pos] | image[pos + 1] << 8 | image[pos + 2] << 16
        | static_cast<uint32_t>(image[pos + 3]) << 24;
}

static float ld_f32_at(const uint8_t* image, uint32_t pos)
{
    return std::bit_cast<float>(ld_u32_at(image, pos));
}

// A scaled value as a signed 32-bit integer, truncated toward zero; false when it does not fit
// (or is not a number), which the callers treat as a broken image.
bool ld_to_int(double v, int32_t* out)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool ld_position_to_int(float f, int32_t* out)
{
    return ld_to_int(static_cast<double>(f) * ld_3ds_scale, out);
}

bool ld_roll_to_int(float r, int32_t* out)
{
    // radians x 512 x 1/pi, multiplied in that order
    return ld_to_int(static_cast<double>(r) * 512.0 * ld_inv_pi, out);
}

int32_t ld_budget(int64_t b)
{
    return b > INT32_MAX ? INT32_MAX : b < INT32_MIN ? INT32_MIN : static_cast<int32_t>(b);
}

uint32_t ld_chunk_find_mem(const uint8_t* image, uint16_t id, int32_t budget)
{
    int64_t left = budget;
    while (left >= 1) {
        const uint32_t at = ld_read_pos;
        if (!image || !ld_fits(at, 6))
            return 0;
        const uint16_t chunk = ld_u16_at(image, at);
        const uint32_t length = ld_u32_at(image, at + 2);
        // a length below 6 would keep the walk in place
        if (length < 6 || !ld_fits(at, length))
            return 0;
        ld_read_pos = at + 6;
        left -= length;
        if (chunk == id)
            return length;
        ld_read_pos = at + length;
    }
    return 0;
}

uint32_t ld_chunk_main_mem(const uint8_t* image)
{
    const uint32_t at = ld_read_pos;
    if (!image || !ld_fits(at, 2))
        return 0;
    ld_read_pos = at + 2;
    if (ld_u16_at(image, at) != ld_id_main || !ld_fits(at, 6))
        return 0;
    const uint32_t length = ld_u32_at(image, at + 2);
    if (length < 6 || !ld_fits(at, length))
        return 0;
    ld_read_pos = at + 6;
    return length;
}

void ld_name_mem(const uint8_t* image, char* name)
{
    memset(name, 0, 9);
    int stored = 0;
    while (image && ld_read_pos < ld_image_size) {
        const char c = static_cast<char>(image[ld_read_pos++]);
        if (stored < 9)
            name[stored++] = c;
        if (c == 0)
            break;
    }
}

// Searches list `id` from mesh data position q within budget; 0 not there, 1 found, -1 broken
// (the chunk cannot hold its count).
static int ld_find_list(const uint8_t* image, uint16_t id, uint32_t q, uint32_t budget, ld_list* l)
{
    ld_read_pos = q;
    const uint32_t length = ld_chunk_find_mem(image, id, ld_budget(budget));
    if (!length)
        return 0;
    l->end = ld_read_pos - 6 + length;
    if (l->end - ld_read_pos < 2)
        return -1;
    l->count = static_cast<int16_t>(ld_u16_at(image, ld_read_pos));
    l->data = ld_read_pos + 2;
    return 1;
}

static bool ld_list_holds(const ld_list& l, int32_t entries, uint32_t entry_bytes)
{
    return static_cast<uint64_t>(entries) * entry_bytes <= l.end - l.data;
}

// True when every float of the list scales into a 32-bit integer.
static bool ld_floats_fit(const uint8_t* image, uint32_t at, int32_t n, double scale)
{
    int32_t v;
    for (int32_t i = 0; i < n; i++)
        if (!ld_to_int(static_cast<double>(ld_f32_at(image, at + 4 * i)) * scale, &v))
            return false;
    return true;
}

static bool ld_faces_fit(const uint8_t* image, const ld_list& f, int32_t vertices)
{
    for (int32_t i = 0; i < f.count * 4; i++) {
        if (i % 4 == 3)
            continue;
        const int32_t index = static_cast<int16_t>(ld_u16_at(image, f.data + 2 * i));
        if (index < 0 || index >= vertices)
            return false;
    }
    return true;
}

int ld_mesh_lists_check(const ld_list* v, const ld_list* f, const ld_list* uv)
{
    if (v->count < 0 || v->count > ld_max_vertices || f->count < 0 || f->count > ld_max_faces)
        return 1;
    if (!ld_list_holds(*v, v->count, 12) || !ld_list_holds(*f, f->count, 8))
        return 1;
    // mapping: one pair per vertex of the mesh, whatever the chunk's own count says
    return uv && !ld_list_holds(*uv, v->count, 8) ? 1 : 0;
}

int ld_mesh_values_check(const uint8_t* image, const ld_list* v, const ld_list* f, const ld_list* uv)
{
    if (!ld_floats_fit(image, v->data, v->count * 3, ld_3ds_scale) || !ld_faces_fit(image, *f, v->count))
        return 1;
    return uv && !ld_floats_fit(image, uv->data, v->count * 2, 256.0 * ld_3ds_uv_scale) ? 1 : 0;
}

// Checks a mesh's lists before anything is allocated: 1 take it, 0 skip it, -1 broken.
static int ld_check_mesh(const uint8_t* image, uint32_t q, uint32_t m, ld_list* v, ld_list* f,
                         ld_list* uv, bool* has_uv)
{
    const int rv = ld_find_list(image, ld_id_vertices, q, m, v);
    const int rf = ld_find_list(image, ld_id_faces, q, m, f);
    const int ruv = ld_find_list(image, ld_id_mapping, q, m, uv);
    if (rv < 0 || rf < 0 || ruv < 0)
        return -1;
    if (rv == 0 || rf == 0)
        return 0;
    *has_uv = ruv == 1;
    const ld_list* map = *has_uv ? uv : nullptr;
    if (ld_mesh_lists_check(v, f, map) || ld_mesh_values_check(image, v, f, map))
        return -1;
    return 1;
}

static void ld_fill_mesh(const uint8_t* image, sc_object* o, const ld_list& v, const ld_list& f,
                         const ld_list* uv)
{
    for (int32_t i = 0; i < v.count * 3; i++)
        ld_to_int(static_cast<double>(ld_f32_at(image, v.data + 4 * i)) * ld_3ds_scale, &o->vertices[i]);
    // the flags word of each face becomes -1, the mark of a triangle
    for (int32_t i = 0; i < f.count * 4; i++)
        o->faces[i] = i % 4 == 3 ? -1 : static_cast<int16_t>(ld_u16_at(image, f.data + 2 * i));
    // 8.8 texels: a coordinate of 1.0 becomes texel 227
    if (uv)
        for (int32_t i = 0; i < v.count * 2; i++)
            ld_to_int(static_cast<double>(ld_f32_at(image, uv->data + 4 * i)) * 256.0 * ld_3ds_uv_scale,
                      &o->uv[i]);
}

int ld_mesh_add(const uint8_t* image, sc_scene* scene, const char* name, const ld_list* v,
                const ld_list* f, const ld_list* uv)
{
    sc_object* o = obj_alloc(v->count, f->count, uv ? 1 : 0);
    if (!o)
        return 1;
    if (sc_add_object(scene, o)) {
        obj_free(o);
        return 1;
    }
    ld_fill_mesh(image, o, *v, *f, uv);
    o->vertex_count = v->count;
    o->face_count = f->count;
    const int finished = obj_finish(o);
    // obj_finish clears the first ten name bytes: at most 9 characters reach the object
    memcpy(o->name, name, 9);
    return finished ? 1 : 0;
}

// Reads one named object whose data begins at ld_read_pos; o_len is its chunk's length.
// 0 taken or skipped, 1 failure.
static int ld_read_object(const uint8_t* image, sc_scene* scene, uint32_t o_len)
{
    char name[9];
    ld_name_mem(image, name);
    const uint32_t m = ld_chunk_find_mem(image, ld_id_mesh, ld_budget(o_len));
    if (!m)
        return 0;  // a light or a camera
    const uint32_t q = ld_read_pos;
    ld_list v, f, uv;
    bool has_uv = false;
    const int check = ld_check_mesh(image, q, m, &v, &f, &uv, &has_uv);
    if (check <= 0)
        return check < 0 ? 1 : 0;
    return ld_mesh_add(image, scene, name, &v, &f, has_uv ? &uv : nullptr);
}

static uint32_t ld_start(const uint8_t* image, uint32_t size)
{
    ld_read_pos = 0;
    ld_image_size = size > INT32_MAX ? INT32_MAX : size;
    return image ? ld_chunk_main_mem(image) : 0;
}

int ld_3ds_meshes_mem_n(const uint8_t* image, uint32_t size, sc_scene* scene)
{
    const uint32_t l = ld_start(image, size);
    if (!l)
        return 1;
    const uint32_t editor = ld_chunk_find_mem(image, ld_id_editor, ld_budget(l));
    if (!editor)
        return 1;
    // Only the objects' own lengths are taken from the budget, not the siblings stepped over, so
    // the last search may walk on past the editor chunk until the budget is spent.
    int64_t budget = editor;
    for (;;) {
        const uint32_t o_len = ld_chunk_find_mem(image, ld_id_object, ld_budget(budget));
        if (!o_len)
            return 0;
        const uint32_t p = ld_read_pos;
        if (ld_read_object(image, scene, o_len))
            return 1;
        budget -= o_len;
        ld_read_pos = p + o_len - 6;
    }
}

// The image's size from its own main chunk header, for callers that do not know it.
static uint32_t ld_declared_size(const uint8_t* image)
{
    if (!image || ld_u16_at(image, 0) != ld_id_main)
        return 0;
    return ld_u32_at(image, 2);
}

int ld_3ds_meshes_mem(const uint8_t* image, sc_scene* scene)
{
    return ld_3ds_meshes_mem_n(image, ld_declared_size(image), scene);
}

// Reads k keys of v words from the track data at ld_read_pos up to end into keys; false when a
// key reaches past the chunk, carries unknown flags or a value beyond 32 bits.
static bool ld_read_keys(const uint8_t* image, uint32_t end, int32_t k, int v, int which, int32_t* keys)
{
    uint32_t at = ld_read_pos;
    for (int32_t key = 0; key < k; key++) {
        if (end - at < 6)
            return false;
        const uint16_t flags = ld_u16_at(image, at + 4);
        if (flags & ~ld_key_spline_fields)
            return false;
        keys[key * v] = static_cast<int32_t>(ld_u32_at(image, at));
        // step over the spline fields the flags announce: they are not values
        const uint32_t fields = static_cast<uint32_t>(std::popcount(static_cast<unsigned>(flags)));
        const uint32_t bytes = 6 + 4 * fields + 4 * static_cast<uint32_t>(v - 1);
        if (end - at < bytes)
            return false;
        at += 6 + 4 * fields;
        for (int j = 1; j < v; j++, at += 4) {
            const float value = ld_f32_at(image, at);
            if (!(which == 1 ? ld_roll_to_int(value, &keys[key * v + j])
                             : ld_position_to_int(value, &keys[key * v + j])))
                return false;
        }
    }
    ld_read_pos = at;
    return true;
}

int32_t* ld_track_keys(const uint8_t* image, uint32_t end, int which, int32_t* count)
{
    const int v = which == 1 ? 2 : 4;
    *count = 0;
    // track flags (2), 8 unused bytes, key count (2), its high half (2)
    if (end - ld_read_pos < 14)
        return nullptr;
    const int32_t k = static_cast<int16_t>(ld_u16_at(image, ld_read_pos + 10));
    ld_read_pos += 14;
    if (k < 1 || k * v > 32767)
        return nullptr;
    int32_t* keys = static_cast<int32_t*>(malloc(static_cast<size_t>(k) * v * sizeof(int32_t)));
    if (!keys)
        return nullptr;
    if (!ld_read_keys(image, end, k, v, which, keys)) {
        free(keys);
        return nullptr;
    }
    *count = k;
    return keys;
}

static int32_t* ld_read_track(const uint8_t* image, int32_t* count, int which, int32_t budget)
{
    const uint32_t n = ld_chunk_find_mem(image, ld_track_node[which / 2], budget);
    if (!n)
        return nullptr;
    const uint32_t t = ld_chunk_find_mem(image, ld_track_id[which % 2], ld_budget(n));
    if (!t)
        return nullptr;
    return ld_track_keys(image, ld_read_pos - 6 + t, which, count);
}

int32_t* ld_3ds_track_mem(const uint8_t* image, int32_t* count, int which, int32_t budget)
{
    if (!image || !count || which < 0 || which > 2)
        return nullptr;
    const uint32_t s = ld_read_pos;
    int32_t* keys = ld_read_track(image, count, which, budget);
    ld_read_pos = s;
    return keys;
}

int ld_3ds_keys_mem_n(const uint8_t* image, uint32_t size, const char* name, kf_camera_path* path)
{
    (void)name;  // the first camera and target nodes behind the header are taken
    const uint32_t l = ld_start(image, size);
    if (!l || !path)
        return 1;
    const uint32_t k = ld_chunk_find_mem(image, ld_id_keyframer, ld_budget(l));
    if (!k)
        return 1;
    const uint32_t h = ld_chunk_find_mem(image, ld_id_kf_header, ld_budget(k));
    if (!h)
        return 1;
    ld_read_pos = ld_read_pos + h - 6;
    // every track search starts behind the header, so nodes and segment may come in any order
    const int32_t r = ld_budget(static_cast<int64_t>(k) - h);
    path->pos_keys = ld_3ds_track_mem(image, &path->pos_count, 0, r);
    if (!path->pos_keys)
        return 1;
    path->roll_keys = ld_3ds_track_mem(image, &path->roll_count, 1, r);
    if (!path->roll_keys)
        return 1;
    path->target_keys = ld_3ds_track_mem(image, &path->target_count, 2, r);
    if (!path->target_keys)
        return 1;
    const uint32_t seg = ld_chunk_find_mem(image, ld_id_segment, r);
    if (!seg || seg - 6 < 8)
        return 1;
    path->start_frame = static_cast<int32_t>(ld_u32_at(image, ld_read_pos));
    path->end_frame = static_cast<int32_t>(ld_u32_at(image, ld_read_pos + 4));
    ld_read_pos += 8;
    return 0;
}

int ld_3ds_keys_mem(const uint8_t* image, const char* name, kf_camera_path* path)
{
    return ld_3ds_keys_mem_n(image, ld_declared_size(image), name, path);
}
