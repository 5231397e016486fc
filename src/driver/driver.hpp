// The run driver: seed, file names, scratch file, then the stages in order.
#pragma once

#include <cstdio>

#include "driver/options.hpp"
#include "model/state.hpp"

namespace tacsim {

// Runs the whole program on the working folder as the argument-less command
// does; returns the exit status. Standard output and the error stream go to
// the state's `con` and `err`, which the caller attaches.
int run(State& s);

// The same with the folders and modes of the command line; `term` is the
// terminal for the progress line (nullptr: none).
int run(State& s, const RunOptions& opts, std::FILE* term = nullptr);

// The program: parses the command line, runs, returns the exit status.
int tacsim_main(int argc, const char* const* argv);

}  // namespace tacsim
