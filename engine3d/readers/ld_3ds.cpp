// In-memory 3DS reader and the chunk walker it shares with the file reader. Every read goes
// through a cursor that checks it against the cursor's size first; chunk walks stop at a header
// that does not fit, or at the end of the bytes, and every list is read only within its chunk.
#include "engine3d/readers/ld_3ds.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#include "engine3d/readers/ld_3ds_internal.h"
#include "engine3d/readers/ld_file.h"
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

// Node and track ids of a track selector `which`: node [which / 2], track [which % 2].
static const uint16_t ld_track_node[2] = {ld_id_camera_node, ld_id_target_node};
static const uint16_t ld_track_id[2] = {ld_id_pos_track, ld_id_roll_track};

// Key flags: one float each follows the flags word for tension, continuity, bias, ease to and
// ease from, in that order.
static const uint16_t ld_key_spline_fields = 0x001F;

// The most bytes a track the reader accepts can take: its 14-byte header and 16383 roll keys of
// frame, flags, five spline fields and a value (8191 position keys take fewer).
static const uint32_t ld_track_bytes_max = 14 + 16383 * (6 + 5 * 4 + 4);

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

// ---- the cursor

bool ld_cur_seek(ld_cursor* c, int64_t pos)
{
    pos = pos < 0 ? 0 : pos > c->size ? c->size : pos;
    const bool moved = c->image || (c->f && !ld_file_seek(c->f, pos));
    if (moved)
        c->pos = pos;
    return moved;
}

bool ld_cur_read(ld_cursor* c, void* dst, uint32_t bytes)
{
    if (c->pos < 0 || c->pos > c->size || bytes > c->size - c->pos)
        return false;
    bool read = c->image != nullptr;
    if (read)
        memcpy(dst, c->image + c->pos, bytes);
    else if (c->f && !ld_file_read(c->f, dst, bytes))
        read = true;
    else if (c->f)
        ld_file_seek(c->f, c->pos);  // a short read: back to where it began
    if (read)
        c->pos += bytes;
    return read;
}

bool ld_cur_read_at(ld_cursor* c, int64_t pos, void* dst, uint32_t bytes)
{
    return ld_cur_seek(c, pos) && ld_cur_read(c, dst, bytes);
}

// ---- the chunk walk

uint32_t ld_walk_find(ld_cursor* c, uint16_t id, int32_t budget)
{
    int64_t left = budget;
    while (left >= 1) {
        const int64_t at = c->pos;
        uint8_t h[6];
        if (!ld_cur_read(c, h, 6))
            return 0;
        const uint32_t length = ld_u32_at(h, 2);
        // a length below 6 would keep the walk in place
        if (length < 6) {
            ld_cur_seek(c, at);
            return 0;
        }
        left -= length;
        if (ld_u16_at(h, 0) == id)
            return length;
        // a chunk that runs into the end: the search stops there
        if (!ld_cur_seek(c, at + length) || at + length > c->size)
            return 0;
    }
    return 0;
}

uint32_t ld_walk_main(ld_cursor* c)
{
    const int64_t at = c->pos;
    uint8_t h[6];
    if (!ld_cur_read(c, h, 2))
        return 0;
    if (ld_u16_at(h, 0) != ld_id_main || !ld_cur_read(c, h + 2, 4))
        return 0;
    const uint32_t length = ld_u32_at(h, 2);
    if (length < 6) {
        ld_cur_seek(c, at + 2);
        return 0;
    }
    return length;
}

void ld_walk_name(ld_cursor* c, char* name)
{
    memset(name, 0, 9);
    int stored = 0;
    for (char ch; ld_cur_read(c, &ch, 1);) {
        if (stored < 9)
            name[stored++] = ch;
        if (ch == 0)
            break;
    }
}

// A cursor over the image for the chunk-level operations, at ld_read_pos.
static ld_cursor ld_mem_cursor(const uint8_t* image)
{
    return {image, nullptr, ld_read_pos, ld_image_size > INT32_MAX ? INT32_MAX : ld_image_size};
}

uint32_t ld_chunk_find_mem(const uint8_t* image, uint16_t id, int32_t budget)
{
    if (!image)
        return 0;
    ld_cursor c = ld_mem_cursor(image);
    const uint32_t length = ld_walk_find(&c, id, budget);
    ld_read_pos = static_cast<uint32_t>(c.pos);
    return length;
}

uint32_t ld_chunk_main_mem(const uint8_t* image)
{
    if (!image)
        return 0;
    ld_cursor c = ld_mem_cursor(image);
    const uint32_t length = ld_walk_main(&c);
    ld_read_pos = static_cast<uint32_t>(c.pos);
    return length;
}

void ld_name_mem(const uint8_t* image, char* name)
{
    ld_cursor c = ld_mem_cursor(image);
    if (!image)
        c.size = 0;
    ld_walk_name(&c, name);
    ld_read_pos = static_cast<uint32_t>(c.pos);
}

// ---- meshes

// Searches list `id` from mesh data position q within budget; 0 not there, 1 found, -1 broken
// (the chunk cannot hold its count, or it cannot be read).
static int ld_find_list(ld_cursor* c, uint16_t id, int64_t q, uint32_t budget, ld_list* l)
{
    if (!ld_cur_seek(c, q))
        return -1;
    const uint32_t length = ld_walk_find(c, id, ld_budget(budget));
    if (!length)
        return 0;
    const int64_t end = c->pos - 6 + length;
    l->end = static_cast<uint32_t>(end < c->size ? end : c->size);
    uint8_t n[2];
    if (l->end - c->pos < 2 || !ld_cur_read(c, n, 2))
        return -1;
    l->count = static_cast<int16_t>(ld_u16_at(n, 0));
    l->data = static_cast<uint32_t>(c->pos);
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

// 0 when the counts are within the reader's limits and each chunk holds its entries (uv, when
// not null, one pair per vertex whatever the chunk's own count says); 1 otherwise.
static int ld_mesh_lists_check(const ld_list* v, const ld_list* f, const ld_list* uv)
{
    if (v->count < 0 || v->count > ld_max_vertices || f->count < 0 || f->count > ld_max_faces)
        return 1;
    if (!ld_list_holds(*v, v->count, 12) || !ld_list_holds(*f, f->count, 8))
        return 1;
    return uv && !ld_list_holds(*uv, v->count, 8) ? 1 : 0;
}

// 0 when every coordinate scales into 32 bits and every face index names a vertex of the list.
static int ld_mesh_values_check(const uint8_t* image, const ld_list* v, const ld_list* f, const ld_list* uv)
{
    if (!ld_floats_fit(image, v->data, v->count * 3, ld_3ds_scale) || !ld_faces_fit(image, *f, v->count))
        return 1;
    return uv && !ld_floats_fit(image, uv->data, v->count * 2, 256.0 * ld_3ds_uv_scale) ? 1 : 0;
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

// Makes the object of checked lists in `image` (uv null: no mapping), appends it to scene, fills,
// finishes and names it. 0, or 1 when memory is short or sc_add_object fails (the object is then
// freed; an obj_finish failure leaves it appended).
static int ld_mesh_add(const uint8_t* image, sc_scene* scene, const char* name, const ld_list* v,
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

// Reads one named object whose data begins at the cursor; o_len is its chunk's length.
// 0 taken or skipped, 1 failure.
static int ld_read_object(ld_cursor* c, sc_scene* scene, uint32_t o_len)
{
    char name[9];
    ld_walk_name(c, name);
    const uint32_t m = ld_walk_find(c, ld_id_mesh, ld_budget(o_len));
    if (!m)
        return 0;  // a light or a camera
    // all three searches begin at the mesh's data: its lists may come in any order
    const int64_t q = c->pos;
    ld_list v, f, uv;
    const int rv = ld_find_list(c, ld_id_vertices, q, m, &v);
    const int rf = ld_find_list(c, ld_id_faces, q, m, &f);
    const int ruv = ld_find_list(c, ld_id_mapping, q, m, &uv);
    if (rv < 0 || rf < 0 || ruv < 0)
        return 1;
    if (rv == 0 || rf == 0)
        return 0;  // no vertex or face list: nothing to draw
    ld_list* map = ruv == 1 ? &uv : nullptr;
    if (ld_mesh_lists_check(&v, &f, map))
        return 1;
    // in memory the lists are read in place; from a file they are loaded first
    uint8_t* loaded = c->image ? nullptr : ld_load_lists(c, &v, &f, map);
    const uint8_t* bytes = c->image ? c->image : loaded;
    if (!bytes)
        return 1;
    int r = ld_mesh_values_check(bytes, &v, &f, map);
    if (r == 0)
        r = ld_mesh_add(bytes, scene, name, &v, &f, map);
    free(loaded);
    return r;
}

int ld_walk_meshes(ld_cursor* c, sc_scene* scene)
{
    const uint32_t l = ld_walk_main(c);
    if (!l)
        return 1;
    const uint32_t editor = ld_walk_find(c, ld_id_editor, ld_budget(l));
    if (!editor)
        return 1;
    // Only the objects' own lengths are taken from the budget, not the siblings stepped over, so
    // the last search may walk on past the editor chunk until the budget is spent.
    int64_t budget = editor;
    for (;;) {
        const uint32_t o_len = ld_walk_find(c, ld_id_object, ld_budget(budget));
        if (!o_len)
            return 0;
        const int64_t p = c->pos;
        if (ld_read_object(c, scene, o_len))
            return 1;
        budget -= o_len;
        if (!ld_cur_seek(c, p + o_len - 6))
            return 1;
    }
}

// A cursor over size bytes of image from its start, for the top-level readers; a null image
// has no bytes.
static ld_cursor ld_start(const uint8_t* image, uint32_t size)
{
    ld_read_pos = 0;
    ld_image_size = size > INT32_MAX ? INT32_MAX : size;
    return {image, nullptr, 0, image ? ld_image_size : 0};
}

int ld_3ds_meshes_mem_n(const uint8_t* image, uint32_t size, sc_scene* scene)
{
    ld_cursor c = ld_start(image, size);
    const int r = ld_walk_meshes(&c, scene);
    ld_read_pos = static_cast<uint32_t>(c.pos);
    return r;
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

// ---- the keyframer

// Reads k keys of v words from track bytes p at `at` up to end into keys; false when a key
// reaches past the end, carries unknown flags or a value beyond 32 bits.
static bool ld_read_keys(const uint8_t* p, uint32_t at, uint32_t end, int32_t k, int v, int which, int32_t* keys)
{
    for (int32_t key = 0; key < k; key++) {
        if (end - at < 6)
            return false;
        const uint16_t flags = ld_u16_at(p, at + 4);
        if (flags & ~ld_key_spline_fields)
            return false;
        keys[key * v] = static_cast<int32_t>(ld_u32_at(p, at));
        // step over the spline fields the flags announce: they are not values
        const uint32_t fields = static_cast<uint32_t>(std::popcount(static_cast<unsigned>(flags)));
        const uint32_t bytes = 6 + 4 * fields + 4 * static_cast<uint32_t>(v - 1);
        if (end - at < bytes)
            return false;
        at += 6 + 4 * fields;
        for (int j = 1; j < v; j++, at += 4) {
            const float value = ld_f32_at(p, at);
            if (!(which == 1 ? ld_roll_to_int(value, &keys[key * v + j])
                             : ld_position_to_int(value, &keys[key * v + j])))
                return false;
        }
    }
    return true;
}

// The keys of a track's data p of `bytes` bytes: its header (flags, 8 unused bytes, key count,
// the count's high half), then the keys. count is 0 unless the track is taken.
static int32_t* ld_track_keys(const uint8_t* p, uint32_t bytes, int which, int32_t* count)
{
    const int v = which == 1 ? 2 : 4;
    *count = 0;
    if (bytes < 14)
        return nullptr;
    const int32_t k = static_cast<int16_t>(ld_u16_at(p, 10));
    if (k < 1 || k * v > 32767)
        return nullptr;
    int32_t* keys = static_cast<int32_t*>(malloc(static_cast<size_t>(k) * v * sizeof(int32_t)));
    if (!keys)
        return nullptr;
    if (!ld_read_keys(p, 14, bytes, k, v, which, keys)) {
        free(keys);
        return nullptr;
    }
    *count = k;
    return keys;
}

static int32_t* ld_find_track(ld_cursor* c, int32_t* count, int which, int32_t budget)
{
    const uint32_t n = ld_walk_find(c, ld_track_node[which / 2], budget);
    if (!n)
        return nullptr;
    const uint32_t t = ld_walk_find(c, ld_track_id[which % 2], ld_budget(n));
    if (!t)
        return nullptr;
    *count = 0;
    // the track's data up to its chunk's end or the end of the bytes, or as much of it as any
    // accepted track can use
    const int64_t left = c->size - c->pos;
    int64_t bytes = t - 6 < left ? t - 6 : left;
    bytes = bytes < ld_track_bytes_max ? bytes : ld_track_bytes_max;
    if (c->image)
        return ld_track_keys(c->image + c->pos, static_cast<uint32_t>(bytes), which, count);
    uint8_t* buf = static_cast<uint8_t*>(malloc(static_cast<size_t>(bytes) + 1));
    int32_t* keys = nullptr;
    if (buf && ld_cur_read(c, buf, static_cast<uint32_t>(bytes)))
        keys = ld_track_keys(buf, static_cast<uint32_t>(bytes), which, count);
    free(buf);
    return keys;
}

int32_t* ld_walk_track(ld_cursor* c, int32_t* count, int which, int32_t budget)
{
    if (!count || which < 0 || which > 2)
        return nullptr;
    const int64_t s = c->pos;
    int32_t* keys = ld_find_track(c, count, which, budget);
    // back where it began, even when that was past the end
    c->pos = s;
    if (!c->image && (!c->f || ld_file_seek(c->f, s))) {
        free(keys);
        return nullptr;
    }
    return keys;
}

int32_t* ld_3ds_track_mem(const uint8_t* image, int32_t* count, int which, int32_t budget)
{
    if (!image)
        return nullptr;
    ld_cursor c = ld_mem_cursor(image);
    return ld_walk_track(&c, count, which, budget);
}

int ld_walk_keys(ld_cursor* c, kf_camera_path* path)
{
    const uint32_t l = ld_walk_main(c);
    if (!l || !path)
        return 1;
    const uint32_t k = ld_walk_find(c, ld_id_keyframer, ld_budget(l));
    if (!k)
        return 1;
    const uint32_t h = ld_walk_find(c, ld_id_kf_header, ld_budget(k));
    if (!h || !ld_cur_seek(c, c->pos + h - 6))
        return 1;
    // every track search starts behind the header, so nodes and segment may come in any order
    const int32_t r = ld_budget(static_cast<int64_t>(k) - h);
    path->pos_keys = ld_walk_track(c, &path->pos_count, 0, r);
    if (!path->pos_keys)
        return 1;
    path->roll_keys = ld_walk_track(c, &path->roll_count, 1, r);
    if (!path->roll_keys)
        return 1;
    path->target_keys = ld_walk_track(c, &path->target_count, 2, r);
    if (!path->target_keys)
        return 1;
    const uint32_t seg = ld_walk_find(c, ld_id_segment, r);
    uint8_t frames[8];
    if (!seg || seg - 6 < 8 || !ld_cur_read(c, frames, 8))
        return 1;
    path->start_frame = static_cast<int32_t>(ld_u32_at(frames, 0));
    path->end_frame = static_cast<int32_t>(ld_u32_at(frames, 4));
    return 0;
}

int ld_3ds_keys_mem_n(const uint8_t* image, uint32_t size, const char* name, kf_camera_path* path)
{
    (void)name;  // the first camera and target nodes behind the header are taken
    ld_cursor c = ld_start(image, size);
    const int r = ld_walk_keys(&c, path);
    ld_read_pos = static_cast<uint32_t>(c.pos);
    return r;
}

int ld_3ds_keys_mem(const uint8_t* image, const char* name, kf_camera_path* path)
{
    return ld_3ds_keys_mem_n(image, ld_declared_size(image), name, path);
}
