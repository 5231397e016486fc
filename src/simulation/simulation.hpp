// Simulation control: the loop over the iterations of one option set and
// the sweep over all option sets.
#pragma once

#include "driver/state.hpp"

namespace tacsim {

void bootruns(State& s);
void optruns(State& s);

}  // namespace tacsim
