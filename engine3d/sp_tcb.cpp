// Kochanek-Bartels spline segment. Every intermediate the curve is defined by (the four tangent
// weights, the four cubic coefficients and the result) is rounded to float; the sums that make
// them are formed in double.
#include "engine3d/sp.h"

const float sp_tcb_params[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

void sp_tcb_segment(const float* p0, const float* p1, const float* p2, const float* p3, float* out,
                    float s, int n)
{
    const double t0 = sp_tcb_params[0], c0 = sp_tcb_params[1], b0 = sp_tcb_params[2];
    const double t1 = sp_tcb_params[3], c1 = sp_tcb_params[4], b1 = sp_tcb_params[5];
    // tangent at p1 = w0 (p1 - p0) + w1 (p2 - p1); tangent at p2 = w2 (p2 - p1) + w3 (p3 - p2)
    const double w0 = static_cast<float>((1.0 - t0) * (1.0 + c0) * (1.0 + b0) * 0.5);
    const double w1 = static_cast<float>((1.0 - t0) * (1.0 - c0) * (1.0 - b0) * 0.5);
    const double w2 = static_cast<float>((1.0 - t1) * (1.0 + c1) * (1.0 - b1) * 0.5);
    const double w3 = static_cast<float>((1.0 - t1) * (1.0 - c1) * (1.0 + b1) * 0.5);
    const double ds = s;
    for (int j = 0; j < n; j++) {
        const double k0 = p0[j], k1 = p1[j], k2 = p2[j], k3 = p3[j];
        const double a = static_cast<float>(-w0 * k0 + (w0 - w1 - w2 + 2.0) * k1
                                            + (w1 + w2 - w3 - 2.0) * k2 + w3 * k3);
        const double b = static_cast<float>(2.0 * w0 * k0 + (-2.0 * w0 + 2.0 * w1 + w2 - 3.0) * k1
                                            + (-2.0 * w1 - w2 + w3 + 3.0) * k2 - w3 * k3);
        const double c = static_cast<float>(-w0 * k0 + (w0 - w1) * k1 + w1 * k2);
        const double d = k1;
        out[j] = static_cast<float>(a * ds * ds * ds + b * ds * ds + c * ds + d);
    }
}
