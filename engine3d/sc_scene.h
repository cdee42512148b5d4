#pragma once
// Scene and object records of the 3D engine: the scene list, mesh objects and their life.
#include <cstdint>

#include "engine3d/tex_buffer.h"

struct sc_object;

struct sc_node {
    sc_node* next;     // null at the end of the list
    sc_object* object;
};

struct sc_scene {
    sc_node** head;     // malloc'd one-word cell holding the first node (null when empty)
    sc_node* iterator;  // node last returned by sc_next; null = before the first
    int32_t count;      // number of nodes in the list
    int32_t angle_x;    // Euler camera: angle about x; vector camera: up x
    int32_t angle_y;    // Euler camera: angle about y; vector camera: up y (128 after sc_init)
    int32_t roll;       // look-at camera: roll; Euler camera: angle about z; vector camera: up z
    int32_t target_x;   // look-at camera: point looked at; vector camera: forward vector
    int32_t target_y;
    int32_t target_z;   // 128 after sc_init
    int32_t cam_x;      // camera position, world units
    int32_t cam_y;
    int32_t cam_z;
    int32_t focal;      // 256 after sc_init; scales the vertical projection, culling uses focal >> 6
    int32_t cam_mode;   // 0 look-at with roll, 2 vector camera, anything else Euler camera
    char name[12];
};
// Angles are 1024ths of a turn. Owned by its user; sc_init fills it, sc_release frees the cell.

struct sc_object {
    int32_t vertex_count;
    int32_t face_count;       // at most 30000
    int32_t* vertices;        // vertex_count x (x, y, z), object space
    int32_t* faces;           // face_count x 4 vertex indices; the fourth is -1 for a triangle
    int32_t* uv;              // vertex_count x (u, v) 8.8 texel coordinates, or null
    int32_t* normals;         // vertex_count x (x, y, z), length about 30976, or null
    int32_t angle_x, angle_y, angle_z;  // object rotation, 1024ths of a turn
    int32_t pos_x, pos_y, pos_z;        // world position of the object's origin
    uint32_t mode;            // rz_mode_flags: what the face list draws and binds
    char name[12];            // NUL-terminated
    tex_buffer tex_a;         // slot 1 for modes 4, 6, 12 (& 31); slot 2 for 16
    tex_buffer tex_back;      // slot 1 for the back faces of double-sided objects (flag 128)
    tex_buffer tex_b;         // slot 1 for mode 8; slot 2 for 12
    tex_buffer tex_c;         // slot 1 for mode 16
    int32_t radius;           // 1 + truncated sqrt of the largest squared vertex length
    int32_t depth;            // minus the camera-space z of the origin, or sc_culled
    int32_t geom_borrow;      // 0: owns vertices, faces and uv; else borrows them
    int32_t normals_borrow;   // 0: owns normals; else borrows them
    int32_t list_refs;        // scene nodes pointing here; obj_free does nothing while non-zero
    int32_t* rot_normals;     // vertex_count x 3 work array (camera-space normals), or null
    int32_t* cam_vertices;    // vertex_count x 3 work array, camera space
    int32_t* scr_vertices;    // vertex_count x (x, y) work array, 24.8 screen coordinates
};
// Textures are never allocated or freed by the engine: the effects own them.

constexpr int32_t sc_culled = INT32_MIN;
// Depth word of an object that the last cull rejected (0x80000000).

constexpr int32_t obj_max_faces = 30000;
// obj_alloc and obj_from_packed refuse more faces than this.

extern int32_t sc_live_scenes;
// Scenes set up by sc_init and not yet released; the release that leaves 0 stops the engine.

// Scene operations: 0 success, 1 failure unless said otherwise.
int sc_init(sc_scene* scene);
// Zeroes the record, allocates the empty list cell, angle y = 128, target z = 128, focal 256,
// look-at camera; counts a live scene and clears the face-sort mode. 1 for null or no memory.
void sc_release(sc_scene* scene);
// Frees the list cell (call sc_free_objects first); the last live scene frees the depth buffer.
// A scene without a cell (never set up, or released already) is left alone.
int sc_copy(sc_scene* dst, const sc_scene* src);
// Copies the whole record (the copy shares src's list: release only one of the two);
// 1 when either is null.
int sc_add_object(sc_scene* scene, sc_object* object);
// Appends object at the end of the list and counts the reference; 1 for null or no memory.
sc_object* sc_add_instance(sc_scene* scene, sc_object* source);
// A new object sharing source's geometry and normals with work arrays of its own, appended to
// scene; null for a null argument or no memory (nothing is then left allocated).
void sc_remove_object(sc_scene* scene, sc_object* object);
// Unlinks the first node pointing at object; the object stays.
void sc_free_objects(sc_scene* scene);
// Removes every node and obj_frees its object, in list order; the list cell stays.
void sc_rewind(sc_scene* scene);
// Iterator back before the first object.
sc_object* sc_next(sc_scene* scene);
// The next object in list order, or null after the last (the call after that starts again).

// Object operations.
sc_object* obj_alloc(int32_t vertex_count, int32_t face_count, int has_uv);
// A new object with vertex, face, work and (when has_uv) uv arrays, contents for the caller to
// fill; null when face_count > 30000, a count is negative, or memory is short.
int obj_finish(sc_object* object);
// Closes a filled object: mode 1, zero angles and position, reversed winding, radius, normals.
// 0, or 1 when out of memory (the object is then left without normals it owned).
int obj_make_normals(sc_object* object);
// Vertex normals: the mean of the normals (length 30976) of a vertex's first 15 faces.
// Overwrites existing normals, borrowed ones too. 0, or 1 when out of memory.
void obj_free(sc_object* object);
// Frees the object and the arrays it owns; nothing while a scene list still holds it.
sc_object* obj_from_packed(const uint8_t* image, int64_t size, sc_object* object, int has_uv);
// Builds (or fills) and finishes an object from a packed 16-bit mesh image of `size` bytes;
// null when the image is shorter than obj_packed_size says, has more than 30000 faces or
// negative counts, a given object lacks room for them, or memory is short.
int64_t obj_packed_size(const uint8_t* image, int has_uv);
// Bytes of the packed mesh image at `image`: 4 + 6 (n + f), plus 2n with texture coordinates.
void obj_centre(sc_object* object);
// Moves the vertices so that their mean x and y are 0, adding the means to the position.
