// Keyframed camera: one Catmull-Rom segment per track through the four keys around the frame.
#include "engine3d/kf.h"


#include "engine3d/sc_scene.h"
#include "engine3d/sp.h"

// Index of the first key whose frame is not below f (0 when f is at or before the first key),
// or the last key.
static int32_t kf_find_key(const int32_t* keys, int32_t count, int32_t stride, float f)
{
    int32_t i = 0;
    while (i < count - 1 && static_cast<double>(keys[i * stride]) < f)
        i++;
    return i;
}

// A spline result as a signed 32-bit integer, truncated toward zero. Values beyond the range
// (far extrapolation past the last key of a wild track) saturate; a NaN becomes 0.
static int32_t kf_to_int(float v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483648.0f)
        return INT32_MAX;
    if (v <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Evaluates one track of `count` keys of 1 + n words (frame, n values) at frame f into out.
static void kf_eval_track(const int32_t* keys, int32_t count, int n, float f, int32_t* out)
{
    const int32_t stride = 1 + n;
    const int32_t i = kf_find_key(keys, count, stride, f);
    const int32_t* k0 = keys + (i >= 2 ? i - 2 : 0) * stride;
    const int32_t* k1 = keys + (i >= 1 ? i - 1 : 0) * stride;
    const int32_t* k2 = keys + i * stride;
    const int32_t* k3 = keys + (i + 1 < count ? i + 1 : count - 1) * stride;
    // s: 0 at k1, 1 at k2; 0 when both are the same frame (always so at the first key)
    const double span = static_cast<double>(k2[0]) - k1[0];
    const float s = span != 0.0 ? static_cast<float>((f - static_cast<double>(k1[0])) / span) : 0.0f;
    float p0[3], p1[3], p2[3], p3[3], r[3];
    for (int j = 0; j < n; j++) {
        p0[j] = static_cast<float>(k0[1 + j]);
        p1[j] = static_cast<float>(k1[1 + j]);
        p2[j] = static_cast<float>(k2[1 + j]);
        p3[j] = static_cast<float>(k3[1 + j]);
    }
    sp_tcb_segment(p0, p1, p2, p3, r, s, n);
    for (int j = 0; j < n; j++)
        out[j] = kf_to_int(r[j]);
}

int kf_camera_eval(sc_scene* scene, const kf_camera_path* path, double t)
{
    if (!scene || !path || !(t >= 0.0 && t <= 100.0))
        return 1;
    // the difference in 64 bits: frames are whole 32-bit words and may lie far apart
    const int64_t span = static_cast<int64_t>(path->end_frame) - path->start_frame;
    if (span == 0)
        return 1;
    // a track without keys has nothing to give: refuse before touching the scene
    if (path->pos_count < 1 || !path->pos_keys || path->roll_count < 1 || !path->roll_keys
        || path->target_count < 1 || !path->target_keys)
        return 1;
    // the frame, a fraction of a frame, rounded to float
    const float f = static_cast<float>(path->start_frame + static_cast<double>(span) * t * 0.01);
    int32_t pos[3], roll[1], target[3];
    kf_eval_track(path->pos_keys, path->pos_count, 3, f, pos);
    kf_eval_track(path->roll_keys, path->roll_count, 1, f, roll);
    kf_eval_track(path->target_keys, path->target_count, 3, f, target);
    scene->cam_x = pos[0];
    scene->cam_y = pos[1];
    scene->cam_z = pos[2];
    scene->roll = roll[0];
    scene->target_x = target[0];
    scene->target_y = target[1];
    scene->target_z = target[2];
    return 0;
}
