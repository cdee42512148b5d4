#pragma once
// Engine start and stop, culling and the whole-scene render.
#include "engine3d/sc_scene.h"

int eng_start();
// Clears the face-sort mode; 0. Every sc_init calls it.
void eng_stop();
// Frees the rasteriser's depth buffer. Called when the last live scene is released.
int sc_cull(sc_scene* scene);
// Sets every object's depth word (minus camera-space z of its origin, or sc_culled outside the
// view pyramid widened by the bounding sphere) and empties the face list; 0, or 1 when out of
// memory (nothing changed then).
int sc_render(sc_scene* scene);
// Culls, transforms the visible objects, fills the face list and draws it far to near into the
// rasteriser's target. 0; 1 when the cull ran out of memory, the frame then being skipped.
