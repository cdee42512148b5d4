#pragma once
// Keyframed camera: a camera path read from a 3DS keyframer, evaluated once per frame into a
// scene's look-at camera words.
#include <cstdint>

struct sc_scene;

struct kf_camera_path {
    int32_t start_frame;   // first frame of the segment
    int32_t end_frame;     // last frame of the segment
    int32_t pos_count;     // camera position keys
    int32_t* pos_keys;     // pos_count x (frame, x, y, z), world units
    int32_t roll_count;    // camera roll keys
    int32_t* roll_keys;    // roll_count x (frame, roll), roll in 1024ths of a turn
    int32_t target_count;  // target position keys
    int32_t* target_keys;  // target_count x (frame, x, y, z), world units
};
// Filled by ld_3ds_keys_mem; each key array is one malloc block that belongs to the caller.
// Keys are in ascending frame order.

int kf_camera_eval(sc_scene* scene, const kf_camera_path* path, double t);
// Places the camera at t percent (0..100) of the frame segment: camera x, y, z, roll and
// target x, y, z of the scene, each track a Catmull-Rom segment through its four nearest keys.
// 0 when set; 1, with the scene untouched, when t is outside 0..100 (or not a number), the
// segment is empty, or a track has no keys.
