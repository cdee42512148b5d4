// 3DS files read in place: the file is a cursor for the chunk walker the in-memory reader uses
// (ld_3ds_internal.h), so both take the same chunks, budgets, limits and conversions; what is
// file-specific here is opening, the lists read into a buffer, and the camera object.
#include "engine3d/readers/ld_3ds_file.h"

#include <cstdlib>
#include <cstring>

#include "engine3d/readers/ld_3ds.h"
#include "engine3d/readers/ld_3ds_internal.h"
#include "engine3d/readers/ld_file.h"
#include "engine3d/sc_scene.h"

// Bytes of the camera chunk's data that are read: position, target and bank, seven floats.
static const uint32_t ld_camera_bytes = 28;

// The largest stream buffer a walk asks for.
static const int64_t ld_stream_buffer_max = 1 << 20;

// A cursor over the open file at its position (no bytes for a null file); positions are
// 32-bit, as in an image in memory.
static ld_cursor ld_file_cursor(FILE* f)
{
    const int64_t size = ld_file_size(f);
    return {nullptr, f, f ? ld_file_pos(f) : 0, size < 0 ? 0 : size > INT32_MAX ? INT32_MAX : size};
}

uint32_t ld_chunk_find_file(FILE* f, uint16_t id, int32_t budget)
{
    if (!f)
        return 0;
    ld_cursor c = ld_file_cursor(f);
    return ld_walk_find(&c, id, budget);
}

uint32_t ld_chunk_main_file(FILE* f)
{
    if (!f)
        return 0;
    ld_cursor c = ld_file_cursor(f);
    return ld_walk_main(&c);
}

void ld_name_file(FILE* f, char* name)
{
    ld_cursor c = ld_file_cursor(f);
    ld_walk_name(&c, name);
}

int32_t* ld_3ds_track_file(FILE* f, int32_t* count, int which, int32_t budget)
{
    if (!f)
        return nullptr;
    ld_cursor c = ld_file_cursor(f);
    return ld_walk_track(&c, count, which, budget);
}

uint8_t* ld_load_lists(ld_cursor* c, ld_list* v, ld_list* fc, ld_list* uv)
{
    const uint32_t vb = 12 * static_cast<uint32_t>(v->count), fb = 8 * static_cast<uint32_t>(fc->count);
    const uint32_t ub = uv ? 8 * static_cast<uint32_t>(v->count) : 0;
    uint8_t* buf = static_cast<uint8_t*>(malloc(vb + fb + ub + 1));
    if (!buf || !ld_cur_read_at(c, v->data, buf, vb) || !ld_cur_read_at(c, fc->data, buf + vb, fb) ||
        (uv && !ld_cur_read_at(c, uv->data, buf + vb + fb, ub))) {
        free(buf);
        return nullptr;
    }
    *v = {0, vb, v->count};
    *fc = {vb, vb + fb, fc->count};
    if (uv)
        *uv = {vb + fb, vb + fb + ub, uv->count};
    return buf;
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

int ld_3ds_meshes_file(const char* path, sc_scene* scene)
{
    char* buf;
    FILE* f = ld_open(path, &buf);
    if (!f)
        return 1;
    ld_cursor c = ld_file_cursor(f);
    const int r = ld_walk_meshes(&c, scene);
    ld_close(f, buf);
    return r;
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
    ld_cursor c = ld_file_cursor(f);
    const int r = ld_walk_keys(&c, path_out);
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
        ld_cursor c = ld_file_cursor(f);
        if (!ld_cur_seek(&c, p + o_len - 6))
            return false;
    }
}

// Position, target and bank of the camera chunk whose data begins at the file's position.
static bool ld_read_camera(FILE* f, uint32_t c_len, sc_scene* scene)
{
    uint8_t b[ld_camera_bytes];
    ld_cursor c = ld_file_cursor(f);
    if (c_len - 6 < ld_camera_bytes || !ld_cur_read(&c, b, ld_camera_bytes))
        return false;
    int32_t v[7];
    for (int i = 0; i < 7; i++) {
        uint32_t bits = b[4 * i] | b[4 * i + 1] << 8 | b[4 * i + 2] << 16 | static_cast<uint32_t>(b[4 * i + 3]) << 24;
        float value;
        memcpy(&value, &bits, 4);
        // the bank angle in radians becomes the look-at camera's roll
        if (!(i < 6 ? ld_position_to_int(value, &v[i]) : ld_roll_to_int(value, &v[i])))
            return false;
    }
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
