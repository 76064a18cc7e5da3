// The traffic lights of the controllers, drawn from their output variables:
// a light head is drawn when the symbol file names all of its lamps, so the
// same table serves every traffic-light program and draws nothing for
// others.
#pragma once

#include <string>

#include "vx/console/session.hpp"

namespace vx::console {

// One line such as "vehicle [R . .]  pedestrian [. G]" (lit lamps by their
// letter, dark ones as '.'), or with colour lit lamps as coloured discs.
// Empty when the program has no light that the table knows.
std::string draw_lights(const Session& session, bool colour);

}  // namespace vx::console
