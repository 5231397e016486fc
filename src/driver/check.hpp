// --check: what a run of these inputs would do, without writing a file.
#pragma once

#include <cstdio>

#include "model/state.hpp"

namespace tacsim {

// Prints the summary of the inputs read into `s` (stock, regimes, harvest
// rule, swept options and their values, number of option sets, files to be
// written) and an estimate of the run time from a short timed trial. A stop
// in the trial ends the check as it would end the run. The estimate is for
// a run on `jobs` threads.
void print_check(State& s, std::FILE* out, int jobs = 1);

}  // namespace tacsim
