#pragma once
// View-matrix maths, transform and projection. Angles are 1024ths of a turn; every conversion
// from floating point to integer truncates toward zero.
#include <cstdint>

#include "picture/pix.h"

extern double m3_view[9];
// The one rotation matrix, row-major M0..M8; a point is a column vector. Every setter overwrites
// it and every user sets it right before applying it.

constexpr double m3_angle_unit = 0.006135923151542565;
// Radians per 1024th of a turn (2 pi / 1024).

constexpr int32_t m3_near_mark = 0x2000000;
// Camera z written by m3_project_points over points at distance 10 or less; the face list
// refuses every face that uses such a point.

inline int32_t m3_trunc(double v) { return pix_trunc(v); }
// The view maths' conversion into 32 bits: pix_trunc (toward zero, saturating, NaN gives 0).

void m3_matrix_euler(int32_t ax, int32_t ay, int32_t az);
// m3_view from three angles (not reduced; any 32-bit value is valid).
void m3_matrix_axis_angle(double axis[3], double angle, double out[9]);
// Rotation by `angle` radians about axis (normalised in place) into out, not m3_view.
void m3_matrix_look_dir(double dx, double dy, double dz, double roll);
// m3_view for looking along d with `roll` radians about the viewing direction.
void m3_matrix_fwd_up(double f[3], double u[3]);
// m3_view from forward and up (both normalised in place; the caller passes them perpendicular).
void m3_mat_mul(const double a[9], const double b[9], double out[9]);
// out = a x b; out may be a or b.
void m3_cross(const double a[3], const double b[3], double out[3]);
// out = a x b (cross product); out may be a or b.
void m3_normalize(double v[3]);
// Unit length when longer than 0.001, else (1, 0, 0).

void m3_rotate_points(int32_t n, const int32_t* in, int32_t* out);
// out = m3_view applied to n points (x, y, z); out may equal in; n <= 0 does nothing.
void m3_rotate_points_euler(int32_t n, const int32_t* in, int32_t* out, int32_t ax, int32_t ay,
                            int32_t az);
// m3_matrix_euler then m3_rotate_points.
void m3_translate_points(int32_t n, int32_t* points, int32_t dx, int32_t dy, int32_t dz);
// Adds (dx, dy, dz) to every point, wrapping at 32 bits.
void m3_project_points(int32_t n, int32_t* cam, int32_t* scr, int32_t w, int32_t h, int32_t focal);
// Perspective projection of camera-space points (-z forward) to 24.8 screen points with the
// centre at (w/2, h/2): x = 1.5 w x / d + w / 2, y = h / 2 - (h focal / 128) y / d, d = -z but
// at least 10; a point at d = 10 gets camera z = m3_near_mark.
