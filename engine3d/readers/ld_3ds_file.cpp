// 3DS files read in place: the chunk walk seeks through the file and reads headers, names and
// counts as it goes; the lists and tracks it takes are read whole into a small buffer and
// checked, converted and turned into records by the in-memory reader's own rules.
#include "engine3d/readers/ld_3ds_file.h"

#include <cstdlib>
#include <cstring>

#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_file.h"
#include "engine3d/sc_scene.h"

// The most bytes a track the reader accepts can take: its 14-byte header and 16383 roll keys of
// frame, flags, five spline fields and a value (8191 position keys take fewer).
static const uint32_t ld_track_bytes_max = 14 + 16383 * (6 + 5 * 4 + 4);

// Bytes of the camera chunk's data that are read: position, target and bank, seven floats.
static const uint32_t ld_camera_bytes = 28;

// The largest stream buffer a walk asks for.
static const int64_t ld_stream_buffer_max = 1 << 20;

static uint16_t ld_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

static uint32_t ld_u32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static float ld_f32(const uint8_t* p)
{
    const uint32_t v = ld_u32(p);
    float f;
    memcpy(&f, &v, 4);
    return f;
}

// The file's extent as the walk sees it: positions are 32-bit, as in an image in memory.
static int64_t ld_extent(FILE* f)
{
    const int64_t size = ld_file_size(f);
    return size > INT32_MAX ? INT32_MAX : size;
}

// Opens a 3DS file for a walk. The stream gets a buffer that holds the whole file when it is
// small, so the walk's seeks back and forth land in memory instead of reading the same blocks
// again; *buf is that buffer (or null), freed by ld_close.
static FILE* ld_open(const char* path, char** buf)
{
    *buf = nullptr;
    FILE* f = ld_file_open(path);
    const int64_t size = ld_file_size(f);
    if (f && size > BUFSIZ && size <= ld_stream_buffer_max) {
        *buf = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
        // without the buffer the stream keeps its own: slower, no different
        if (*buf && setvbuf(f, *buf, _IOFBF, static_cast<size_t>(size) + 1)) {
            free(*buf);
            *buf = nullptr;
        }
    }
    return f;
}

static void ld_close(FILE* f, char* buf)
{
    fclose(f);
    free(buf);
}

static bool ld_fits(int64_t pos, int64_t bytes, int64_t size)
{
    return pos >= 0 && pos <= size && bytes <= size - pos;
}

uint32_t ld_chunk_find_file(FILE* f, uint16_t id, int32_t budget)
{
    if (!f)
        return 0;
    const int64_t size = ld_extent(f);
    int64_t at = ld_file_pos(f);
    int64_t left = budget;
    while (left >= 1) {
        uint8_t h[6];
        if (!ld_fits(at, 6, size) || ld_file_read(f, h, 6)) {
            ld_file_seek(f, at);
            return 0;
        }
        const uint32_t length = ld_u32(h + 2);
        // a length below 6 would keep the walk in place
        if (length < 6 || !ld_fits(at, length, size)) {
            ld_file_seek(f, at);
            return 0;
        }
        left -= length;
        if (ld_u16(h) == id)
            return length;
        at += length;
        if (ld_file_seek(f, at))
            return 0;
    }
    return 0;
}

uint32_t ld_chunk_main_file(FILE* f)
{
    if (!f)
        return 0;
    const int64_t size = ld_extent(f);
    const int64_t at = ld_file_pos(f);
    uint8_t h[6];
    if (!ld_fits(at, 2, size) || ld_file_read(f, h, 2))
        return 0;
    if (ld_u16(h) != ld_id_main || !ld_fits(at, 6, size) || ld_file_read(f, h + 2, 4)) {
        ld_file_seek(f, at + 2);
        return 0;
    }
    const uint32_t length = ld_u32(h + 2);
    if (length < 6 || !ld_fits(at, length, size)) {
        ld_file_seek(f, at + 2);
        return 0;
    }
    return length;
}

void ld_name_file(FILE* f, char* name)
{
    memset(name, 0, 9);
    if (!f)
        return;
    const int64_t size = ld_extent(f);
    int64_t at = ld_file_pos(f);
    int stored = 0;
    for (int c; at >= 0 && at < size && (c = getc(f)) != EOF; at++) {
        if (stored < 9)
            name[stored++] = static_cast<char>(c);
        if (c == 0)
            break;
    }
}

// Reads `bytes` at file position `pos` into dst: 0, or 1 when they cannot all be read.
static int ld_read_at(FILE* f, int64_t pos, void* dst, uint32_t bytes)
{
    return ld_file_seek(f, pos) || ld_file_read(f, dst, bytes) ? 1 : 0;
}

static int32_t* ld_read_track(FILE* f, int32_t* count, int which, int32_t budget)
{
    const uint32_t n = ld_chunk_find_file(f, ld_track_node[which / 2], budget);
    if (!n)
        return nullptr;
    const uint32_t t = ld_chunk_find_file(f, ld_track_id[which % 2], ld_budget(n));
    if (!t)
        return nullptr;
    *count = 0;
    // the track's data up to its chunk's end, or as much of it as any accepted track can use
    const uint32_t data = t - 6;
    const uint32_t bytes = data < ld_track_bytes_max ? data : ld_track_bytes_max;
    uint8_t* buf = static_cast<uint8_t*>(malloc(bytes ? bytes : 1));
    if (!buf || ld_file_read(f, buf, bytes)) {
        free(buf);
        return nullptr;
    }
    const uint32_t pos = ld_read_pos, size = ld_image_size;
    ld_read_pos = 0;
    ld_image_size = bytes;
    int32_t* keys = ld_track_keys(buf, bytes, which, count);
    ld_read_pos = pos;
    ld_image_size = size;
    free(buf);
    return keys;
}

int32_t* ld_3ds_track_file(FILE* f, int32_t* count, int which, int32_t budget)
{
    if (!f || !count || which < 0 || which > 2)
        return nullptr;
    const int64_t s = ld_file_pos(f);
    int32_t* keys = ld_read_track(f, count, which, budget);
    if (ld_file_seek(f, s)) {
        free(keys);
        return nullptr;
    }
    return keys;
}

// Searches list `id` from mesh data position q within budget; 0 not there, 1 found, -1 broken
// (the chunk cannot hold its count, or the count cannot be read).
static int ld_find_list(FILE* f, uint16_t id, int64_t q, uint32_t budget, ld_list* l)
{
    if (ld_file_seek(f, q))
        return -1;
    const uint32_t length = ld_chunk_find_file(f, id, ld_budget(budget));
    if (!length)
        return 0;
    const int64_t at = ld_file_pos(f);
    l->end = static_cast<uint32_t>(at - 6 + length);
    uint8_t c[2];
    if (l->end - at < 2 || ld_file_read(f, c, 2))
        return -1;
    l->count = static_cast<int16_t>(ld_u16(c));
    l->data = static_cast<uint32_t>(at + 2);
    return 1;
}

// The entries of checked lists, read into one buffer: vertices, faces, then mapping
// coordinates; the lists are moved to their places in it. Null when the reads fail or memory
// is short.
static uint8_t* ld_load_lists(FILE* f, ld_list* v, ld_list* fc, ld_list* uv)
{
    const uint32_t vb = 12 * static_cast<uint32_t>(v->count), fb = 8 * static_cast<uint32_t>(fc->count);
    const uint32_t ub = uv ? 8 * static_cast<uint32_t>(v->count) : 0;
    uint8_t* buf = static_cast<uint8_t*>(malloc(vb + fb + ub + 1));
    if (!buf || ld_read_at(f, v->data, buf, vb) || ld_read_at(f, fc->data, buf + vb, fb) ||
        (uv && ld_read_at(f, uv->data, buf + vb + fb, ub))) {
        free(buf);
        return nullptr;
    }
    *v = {0, vb, v->count};
    *fc = {vb, vb + fb, fc->count};
    if (uv)
        *uv = {vb + fb, vb + fb + ub, uv->count};
    return buf;
}

// Reads one named object whose data begins at the file's position; o_len is its chunk's
// length. 0 taken or skipped, 1 failure.
static int ld_read_object(FILE* f, sc_scene* scene, uint32_t o_len)
{
    char name[9];
    ld_name_file(f, name);
    const uint32_t m = ld_chunk_find_file(f, ld_id_mesh, ld_budget(o_len));
    if (!m)
        return 0;  // a light or a camera
    const int64_t q = ld_file_pos(f);
    // all three searches begin at the mesh's data: its lists may come in any order
    ld_list v, fc, uv;
    const int rv = ld_find_list(f, ld_id_vertices, q, m, &v);
    const int rf = ld_find_list(f, ld_id_faces, q, m, &fc);
    const int ruv = ld_find_list(f, ld_id_mapping, q, m, &uv);
    if (rv < 0 || rf < 0 || ruv < 0)
        return 1;
    if (rv == 0 || rf == 0)
        return 0;
    ld_list* map = ruv == 1 ? &uv : nullptr;
    if (ld_mesh_lists_check(&v, &fc, map))
        return 1;
    uint8_t* lists = ld_load_lists(f, &v, &fc, map);
    if (!lists)
        return 1;
    int r = ld_mesh_values_check(lists, &v, &fc, map);
    if (r == 0)
        r = ld_mesh_add(lists, scene, name, &v, &fc, map);
    free(lists);
    return r;
}

static int ld_meshes(FILE* f, sc_scene* scene)
{
    const uint32_t l = ld_chunk_main_file(f);
    if (!l)
        return 1;
    const uint32_t editor = ld_chunk_find_file(f, ld_id_editor, ld_budget(l));
    if (!editor)
        return 1;
    // Only the objects' own lengths are taken from the budget, as in memory: the last search
    // may walk on past the editor chunk until the budget is spent.
    int64_t budget = editor;
    for (;;) {
        const uint32_t o_len = ld_chunk_find_file(f, ld_id_object, ld_budget(budget));
        if (!o_len)
            return 0;
        const int64_t p = ld_file_pos(f);
        if (ld_read_object(f, scene, o_len))
            return 1;
        budget -= o_len;
        if (ld_file_seek(f, p + o_len - 6))
            return 1;
    }
}

int ld_3ds_meshes_file(const char* path, sc_scene* scene)
{
    char* buf;
    FILE* f = ld_open(path, &buf);
    if (!f)
        return 1;
    const int r = ld_meshes(f, scene);
    ld_close(f, buf);
    return r;
}

static int ld_keys(FILE* f, kf_camera_path* path)
{
    const uint32_t l = ld_chunk_main_file(f);
    if (!l)
        return 1;
    const uint32_t k = ld_chunk_find_file(f, ld_id_keyframer, ld_budget(l));
    if (!k)
        return 1;
    const uint32_t h = ld_chunk_find_file(f, ld_id_kf_header, ld_budget(k));
    if (!h || ld_file_seek(f, ld_file_pos(f) + h - 6))
        return 1;
    // every track search starts behind the header, so nodes and segment may come in any order
    const int32_t r = ld_budget(static_cast<int64_t>(k) - h);
    path->pos_keys = ld_3ds_track_file(f, &path->pos_count, 0, r);
    if (!path->pos_keys)
        return 1;
    path->roll_keys = ld_3ds_track_file(f, &path->roll_count, 1, r);
    if (!path->roll_keys)
        return 1;
    path->target_keys = ld_3ds_track_file(f, &path->target_count, 2, r);
    if (!path->target_keys)
        return 1;
    const uint32_t seg = ld_chunk_find_file(f, ld_id_segment, r);
    uint8_t frames[8];
    if (!seg || seg - 6 < 8 || ld_file_read(f, frames, 8))
        return 1;
    path->start_frame = static_cast<int32_t>(ld_u32(frames));
    path->end_frame = static_cast<int32_t>(ld_u32(frames + 4));
    return 0;
}

int ld_3ds_keys_file(const char* path, const char* name, kf_camera_path* path_out)
{
    (void)name;  // the first camera and target nodes behind the header are taken
    if (!path_out)
        return 1;
    char* buf;
    FILE* f = ld_open(path, &buf);
    if (!f)
        return 1;
    const int r = ld_keys(f, path_out);
    ld_close(f, buf);
    return r;
}

// Walks the editor's named objects to the n-th that holds a camera chunk; true with the file at
// that chunk's data and its length in *c_len. Each object's name goes to the scene's name.
static bool ld_find_camera(FILE* f, int n, sc_scene* scene, int64_t budget, uint32_t* c_len)
{
    for (;;) {
        const uint32_t o_len = ld_chunk_find_file(f, ld_id_object, ld_budget(budget));
        if (!o_len)
            return false;
        const int64_t p = ld_file_pos(f);
        ld_name_file(f, scene->name);
        *c_len = ld_chunk_find_file(f, ld_id_camera, ld_budget(o_len));
        if (*c_len && --n == 0)
            return true;
        budget -= o_len;
        if (ld_file_seek(f, p + o_len - 6))
            return false;
    }
}

// Position, target and bank of the camera chunk whose data begins at the file's position.
static bool ld_read_camera(FILE* f, uint32_t c_len, sc_scene* scene)
{
    uint8_t b[ld_camera_bytes];
    if (c_len - 6 < ld_camera_bytes || ld_file_read(f, b, ld_camera_bytes))
        return false;
    int32_t v[7];
    for (int i = 0; i < 6; i++)
        if (!ld_position_to_int(ld_f32(b + 4 * i), &v[i]))
            return false;
    // the bank angle in radians becomes the look-at camera's roll
    if (!ld_roll_to_int(ld_f32(b + 24), &v[6]))
        return false;
    scene->cam_x = v[0];
    scene->cam_y = v[1];
    scene->cam_z = v[2];
    scene->target_x = v[3];
    scene->target_y = v[4];
    scene->target_z = v[5];
    scene->roll = v[6];
    return true;
}

static int ld_camera(FILE* f, int n, sc_scene* scene)
{
    const uint32_t l = ld_chunk_main_file(f);
    if (!l)
        return 1;
    const uint32_t editor = ld_chunk_find_file(f, ld_id_editor, ld_budget(l));
    if (!editor || sc_init(scene))
        return 1;
    uint32_t c_len = 0;
    if (!ld_find_camera(f, n, scene, editor, &c_len) || !ld_read_camera(f, c_len, scene)) {
        sc_release(scene);
        return 1;
    }
    return 0;
}

int ld_3ds_camera_file(const char* path, int n, sc_scene* scene)
{
    if (n < 1 || !scene)
        return 1;
    char* buf;
    FILE* f = ld_open(path, &buf);
    if (!f)
        return 1;
    const int r = ld_camera(f, n, scene);
    ld_close(f, buf);
    return r;
}
