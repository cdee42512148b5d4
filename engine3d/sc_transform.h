#pragma once
// Object and camera transforms of scene objects into their work arrays.
#include "engine3d/sc_scene.h"

void obj_rotate(sc_object* object);
// Object rotation: vertices (and, for modes with bits 1, 2, 8 or 16, normals) into the work
// arrays by the object's Euler angles.
void sc_set_camera(const sc_scene* scene);
// m3_view from the scene's camera words and mode (0 look-at, 2 vector, other Euler).
void sc_rotate_object(const sc_scene* scene, sc_object* object);
// Camera rotation of the object's work arrays in place.
void sc_transform_object(const sc_scene* scene, sc_object* object);
// After obj_rotate: translate by position - camera, camera-rotate and project at the
// rasteriser's screen size.
