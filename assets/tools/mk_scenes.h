// The 3DS scene makers, one function per asset.
#pragma once

#include "mk.h"

namespace mk {

bytes scene_bouncer();
bytes scene_flyers();
bytes scene_casters();
bytes scene_box();
bytes scene_receivers();
bytes scene_orbit();
bytes scene_lattice();

}  // namespace mk
