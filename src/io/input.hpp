// The input readers: the biological file (with "srspec") and the options
// file (with the initial-stock files and the historical catches).
#pragma once

#include "model/state.hpp"

namespace tacsim {

void getpopinn(State& s);
void getoptinn(State& s);

}  // namespace tacsim
