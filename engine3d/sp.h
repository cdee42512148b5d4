#pragma once
// Kochanek-Bartels (tension, continuity, bias) spline segments on single-precision floats.

extern const float sp_tcb_params[6];
// Tension, continuity and bias of the segment's first key (0..2) and of its second key (3..5).
// All 0.0, so every segment is the Catmull-Rom segment.

void sp_tcb_segment(const float* p0, const float* p1, const float* p2, const float* p3, float* out,
                    float s, int n);
// The cubic Hermite segment from p1 (s = 0) to p2 (s = 1) with tangents taken from the four
// keys, evaluated at s for n components (the camera uses 1 or 3); s beyond 0..1 extrapolates.
// Weights, coefficients and results are each rounded to float. Keeps no state.
