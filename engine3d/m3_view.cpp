// View-matrix maths: the rotation matrix, point rotation and translation, the projection.
#include "engine3d/m3_view.h"

#include <cmath>
#include <cstring>

double m3_view[9];

void m3_normalize(double v[3])
{
    const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.001 || std::isnan(len)) {
        const double inv = 1.0 / len;
        v[0] *= inv;
        v[1] *= inv;
        v[2] *= inv;
    } else {
        v[0] = 1.0;
        v[1] = v[2] = 0.0;
    }
}

void m3_cross(const double a[3], const double b[3], double out[3])
{
    const double r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    std::memcpy(out, r, sizeof r);
}

void m3_mat_mul(const double a[9], const double b[9], double out[9])
{
    double t[9];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            t[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    std::memcpy(out, t, sizeof t);
}

void m3_matrix_euler(int32_t ax, int32_t ay, int32_t az)
{
    const double a = ax * m3_angle_unit, b = ay * m3_angle_unit, c = az * m3_angle_unit;
    const double sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b);
    const double sc = std::sin(c), cc = std::cos(c);
    double* m = m3_view;
    m[0] = cb * cc - sa * sb * sc;
    m[1] = ca * sc;
    m[2] = -sb * cc - sa * cb * sc;
    m[3] = -cb * sc - sa * sb * cc;
    m[4] = ca * cc;
    m[5] = sb * sc - sa * cb * cc;
    m[6] = ca * sb;
    m[7] = sa;
    m[8] = ca * cb;
}

void m3_matrix_axis_angle(double axis[3], double angle, double out[9])
{
    m3_normalize(axis);
    const double w = std::cos(angle / 2), s = std::sin(angle / 2);
    const double x = axis[0] * s, y = axis[1] * s, z = axis[2] * s;
    out[0] = 1 - 2 * (y * y + z * z);
    out[1] = 2 * (x * y - w * z);
    out[2] = 2 * (x * z + w * y);
    out[3] = 2 * (x * y + w * z);
    out[4] = 1 - 2 * (x * x + z * z);
    out[5] = 2 * (y * z - w * x);
    out[6] = 2 * (x * z - w * y);
    out[7] = 2 * (y * z + w * x);
    out[8] = 1 - 2 * (x * x + y * y);
}

void m3_matrix_look_dir(double dx, double dy, double dz, double roll)
{
    double* row0 = m3_view;
    double* row1 = m3_view + 3;
    double* row2 = m3_view + 6;
    row2[0] = -dx;
    row2[1] = -dy;
    row2[2] = -dz;
    m3_normalize(row2);
    const double up[3] = {0.0, 0.0, -1.0};
    m3_cross(row2, up, row0);
    m3_normalize(row0);
    m3_cross(row2, row0, row1);
    m3_normalize(row1);
    double axis[3] = {row2[0], row2[1], row2[2]};
    double r[9];
    m3_matrix_axis_angle(axis, roll, r);
    m3_mat_mul(m3_view, r, m3_view);
}

void m3_matrix_fwd_up(double f[3], double u[3])
{
    m3_normalize(f);
    m3_normalize(u);
    m3_cross(u, f, m3_view);
    m3_normalize(m3_view);
    std::memcpy(m3_view + 3, u, 3 * sizeof(double));
    std::memcpy(m3_view + 6, f, 3 * sizeof(double));
}

void m3_rotate_points(int32_t n, const int32_t* in, int32_t* out)
{
    const double* m = m3_view;
    for (int32_t i = n - 1; i >= 0; i--) {
        const double x = in[3 * i], y = in[3 * i + 1], z = in[3 * i + 2];
        // All three components are formed before any is stored: in may be out.
        const int32_t rx = m3_trunc(m[0] * x + m[1] * y + m[2] * z);
        const int32_t ry = m3_trunc(m[3] * x + m[4] * y + m[5] * z);
        const int32_t rz = m3_trunc(m[6] * x + m[7] * y + m[8] * z);
        out[3 * i] = rx;
        out[3 * i + 1] = ry;
        out[3 * i + 2] = rz;
    }
}

void m3_rotate_points_euler(int32_t n, const int32_t* in, int32_t* out, int32_t ax, int32_t ay,
                            int32_t az)
{
    m3_matrix_euler(ax, ay, az);
    m3_rotate_points(n, in, out);
}

static int32_t wrap_add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

void m3_translate_points(int32_t n, int32_t* p, int32_t dx, int32_t dy, int32_t dz)
{
    for (int32_t i = 0; i < n; i++) {
        p[3 * i] = wrap_add(p[3 * i], dx);
        p[3 * i + 1] = wrap_add(p[3 * i + 1], dy);
        p[3 * i + 2] = wrap_add(p[3 * i + 2], dz);
    }
}

void m3_project_points(int32_t n, int32_t* cam, int32_t* scr, int32_t w, int32_t h, int32_t focal)
{
    const double sx = 128.0 * (3.0 * w);                            // 24.8 x scale: 1.5 w pixels
    const double sy = static_cast<double>(static_cast<int32_t>(
                          static_cast<uint32_t>(h) * static_cast<uint32_t>(focal))) * 2.0;
    const double cx = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(w) * 128u));
    const double cy = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(h) * 128u));
    for (int32_t i = 0; i < n; i++) {
        int32_t* p = cam + 3 * i;
        // camera space: -z is forward; 64-bit so that -INT32_MIN is a distance like any other
        int64_t d = -static_cast<int64_t>(p[2]);
        if (d <= 10) {
            d = 10;
            p[2] = m3_near_mark;  // too near: every face using this point is refused
        }
        const double dd = static_cast<double>(d);
        scr[2 * i] = m3_trunc(sx * p[0] / dd + cx);
        scr[2 * i + 1] = m3_trunc(cy - sy * p[1] / dd);
    }
}
