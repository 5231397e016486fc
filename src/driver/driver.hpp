// The run driver: seed, file names, scratch file, then the stages in order.
#pragma once

#include "model/state.hpp"

namespace tacsim {

// Runs the whole program in the current directory; returns the exit status.
// Standard output and the error stream go to the state's `con` and `err`,
// which the caller attaches.
// Option sets run on `jobs` threads (1: one after the other); the results
// are the same bytes for every number of threads.
int run(State& s, int jobs = 1);
// Threads of a run when none are asked for: one per core.
int default_jobs();

}  // namespace tacsim
