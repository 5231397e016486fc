// The program: the command line read, then a run, a tuning or a report.
#pragma once

namespace tacsim {

// Parses the command line, does what it asks, returns the exit status.
int tacsim_main(int argc, const char* const* argv);

}  // namespace tacsim
