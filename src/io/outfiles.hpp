// The set of output files: names, units, switches, header lines and closing.
#pragma once

#include "model/state.hpp"

namespace tacsim {

void prepfiles(State& s);
void header(State& s, int u);
void closefiles(State& s);

}  // namespace tacsim
