// The run driver: seed, file names, scratch file, then the stages in order.
#pragma once

#include "model/state.hpp"

namespace tacsim {

// Runs the whole program in the current directory; returns the exit status.
// Standard output and the error stream go to the state's `con` and `err`,
// which the caller attaches.
int run(State& s);

}  // namespace tacsim
