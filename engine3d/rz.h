// Polygon rasteriser: convex screen-space polygons into an 8-bit (palette index) or 32-bit
// (0x00RRGGBB) pixel buffer, flat, gouraud, affine or perspective textured, with one or two
// textures and an optional depth buffer. One module of file-level state, used from the main
// loop's drawing only.
//
// Order of use: rz_set_screen, then optionally rz_zbuffer(1); per frame the caller sets
// rz_target (and refills rz_zbuf itself when it uses one); per polygon rz_set_mode (when the
// mode changes), rz_set_texture (for the slots the mode reads) and rz_draw_poly.
#pragma once

#include <cstdint>

// One polygon corner: eight signed 32-bit words in this order. Besides x and y only the words
// the current mode interpolates are read (and, in the flat mode, shade of the first vertex).
struct rz_vertex {
    int32_t x;     // 24.8 screen x, pixels x 256
    int32_t y;     // 24.8 screen y, growing downward
    int32_t tu1;   // 8.8 first texture pair: column x 256
    int32_t tv1;   //     row x 256
    int32_t tu2;   // 8.8 second pair (environment map, second texture)
    int32_t tv2;
    int32_t shade; // 8.8 gouraud shade / shade level; flat mode: low byte = the colour index
    int32_t depth; // depth-buffer modes: camera distance; perspective modes: distance x 256 (> 0)
};
// Polygons are given clockwise on the screen. Differences of a word between two corners must
// stay below 2^23 in size (for x, 32768 pixels): they are shifted left by 8 in 32-bit words.

// rz_mode_flags: one word per object (and per rz_set_mode call) selecting the features.
typedef uint32_t rz_mode_flags;
enum : uint32_t {
    rz_flag_flat = 1,          // one colour per polygon
    rz_flag_gouraud = 2,       // shade interpolated
    rz_flag_texture = 4,       // texture slot 1 through the first pair
    rz_flag_envmap = 8,        // texture slot 1 through the second pair (from vertex normals)
    rz_flag_bump = 16,         // both pairs into the bump work buffers
    rz_flag_depth = 32,        // depth buffer
    rz_flag_perspective = 64,  // perspective-correct texture
    rz_flag_double_sided = 128 // read by the face list only
};
// Known whole values: 1 2 4 6 8 12 16 36 40 68 72 100 104 140 on 8-bit targets, 4 8 36 40 68 72
// on 32-bit targets. 140 draws texture 1 plus texture 2 with texel 0 of texture 1 transparent.

// Texture area: texel (0, 0) of 256 x 272 texels (256 rows of texture and 16 spare), 256 per
// row: bytes on 8-bit targets, u32 on 32-bit targets. A tex_buffer is such a pointer.
constexpr int32_t rz_tex_texels = 256 * 272;
// Largest screen and the size of the edge tables / bump work buffers.
constexpr int32_t rz_max_width = 640;
constexpr int32_t rz_max_height = 480;
constexpr int32_t rz_max_slots = 8;
constexpr int32_t rz_edge_rows = 640;

// ---- State (file-level; read freely, write only where said) ----
extern int32_t rz_width;  // screen width in pixels (1..640), also the row pitch; initially 320
extern int32_t rz_height; // screen height (1..480); initially 200
extern int32_t rz_bits;   // 8 = one byte per pixel, above 8 = one u32 per pixel; initially 8
extern void* rz_target;   // rz_width x rz_height pixels, rows packed; set by the caller before
                          // drawing; null draws nothing
extern uint32_t* rz_zbuf; // depth buffer, same layout as the target, or null; set by rz_zbuffer
extern const void* rz_tex1; // texture slots (texture areas as above), or null
extern const void* rz_tex2;
extern uint32_t rz_mode;  // the mode the face list last handed to rz_set_mode (its cache; the
                          // rasteriser itself never reads or writes it); initially 0

extern void (*rz_edge_fn)(rz_vertex a, rz_vertex b); // chosen by rz_set_mode
extern void (*rz_span_fn)(const rz_vertex* v);
extern int32_t rz_slots[rz_max_slots]; // vertex word numbers the edge scanners interpolate,
extern int32_t rz_nslots;              // ascending: slot 0 is x, depth (if any) is last
extern const uint32_t rz_word_masks[8]; // per mode bit k (1 << k): the vertex words it adds
                                         // (bit k of a mask = vertex word k)

// Current polygon's bounding box in whole pixels, clipped to the screen (rz_draw_poly).
extern int32_t rz_ymin, rz_ymax, rz_xmin, rz_xmax;
// Edge tables [slot][row]: the slot's vertex word on the left / right edge at that row, 16.16
// (an 8.8 word shifted left by 8); the perspective scanner keeps the plain camera distance in
// the depth slot and perspective-correct texture coordinates in the others. Rows 0..479 used.
extern int32_t rz_edge_left[rz_max_slots][rz_edge_rows];
extern int32_t rz_edge_right[rz_max_slots][rz_edge_rows];

// Bump work buffers (written by rz_span_bump_prep8, read by rz_bump_pass8), indexed like the
// target (row x rz_width + column), 640 x 480 entries each.
extern uint8_t* const rz_bump_height; // heights (texels of slot 1)
extern uint8_t* const rz_bump_colour; // colours (texels of slot 2)
extern uint16_t* const rz_bump_env;   // environment-map texel index of the second pair

// ---- Set-up ----
int rz_set_screen(int32_t width, int32_t height, int32_t bits);
// 0 and sets rz_width/rz_height/rz_bits; 1 and nothing changed when bits < 8, width outside
// 1..640 or height outside 1..480. Touches neither the target nor the depth buffer.

int rz_zbuffer(int create);
// create != 0: makes a zero-filled rz_width x rz_height u32 depth buffer in rz_zbuf and returns
// 0; 1 when one exists already (it stays) or memory is short. create == 0: frees it (none is
// fine), rz_zbuf = null, returns 0. The depth fillers draw nothing when the screen has grown
// beyond the size the buffer was made for, or when there is no buffer.

void rz_set_texture(const void* texture, int slot);
// Slot 1 sets rz_tex1, slot 2 rz_tex2; other slots are ignored. The texture fillers draw
// nothing while a slot they read is null.

int rz_set_mode(uint32_t flags);
// Chooses the edge scanner, span filler and slot list for the mode and the current rz_bits;
// 0 for a known value, 1 for any other (the mode-4/8 filler is chosen, the slot list is the
// union of the value's bits all the same).

void rz_draw_poly(int n, const rz_vertex* v);
// Draws the polygon of n corners (n < 1 draws nothing) with the current mode, textures, target
// and depth buffer. Writes only inside the target, the depth buffer and the bump buffers, and
// reads texels only inside the texture areas, whatever the vertices.

// ---- Edge scanners (through rz_edge_fn, from rz_draw_poly only) ----
void rz_edge_affine(rz_vertex a, rz_vertex b);
void rz_edge_persp(rz_vertex a, rz_vertex b);
// Scan the edge a -> b into rz_edge_left (a lower on the screen than b) or rz_edge_right,
// rows clipped to the screen. rz_edge_persp skips an edge with a depth of 0 or less and marks
// its rows with depth 0 so that the filler skips them.

// ---- Span fillers (through rz_span_fn, from rz_draw_poly only) ----
// Each draws the edge-table rows rz_ymax - 1 down to rz_ymin, every span right to left. The
// span of edge row y lands in target row y + 1, except for rz_span_tex8 and rz_span_tex32
// (row y).
void rz_span_flat8(const rz_vertex* v);      // mode 1: low byte of v[0].shade
void rz_span_gouraud8(const rz_vertex* v);   // mode 2: shade integer part
void rz_span_tex8(const rz_vertex* v);       // modes 4, 8: tex1, 8.8 affine
void rz_span_tex_z8(const rz_vertex* v);     // modes 36, 40: tex1, affine depth test
void rz_span_texp8(const rz_vertex* v);      // modes 68, 72: tex1, perspective
void rz_span_texp_z8(const rz_vertex* v);    // modes 100, 104: perspective, float depth test
void rz_span_tex_shade8(const rz_vertex* v); // mode 6: texel + shade level
void rz_span_tex2_add8(const rz_vertex* v);  // mode 12: tex1 + tex2 texels
void rz_span_tex2_mask8(const rz_vertex* v); // mode 140: as 12, tex1 texel 0 transparent
void rz_span_bump_prep8(const rz_vertex* v); // mode 16: fills the bump work buffers
void rz_span_tex32(const rz_vertex* v);      // modes 4, 8 on 32-bit targets
void rz_span_tex_z32(const rz_vertex* v);    // modes 36, 40 on 32-bit targets
void rz_span_texp32(const rz_vertex* v);     // modes 68, 72 on 32-bit targets

void rz_bump_pass8();
// Over the whole 8-bit target (every row but the first and the last): where the four diagonal
// neighbours in rz_bump_height are all non-zero, pixel = colour + the bump table's entry at the
// environment index displaced by the height slopes (the index clamped into the table).
// Does nothing on a 32-bit target or without a target.
