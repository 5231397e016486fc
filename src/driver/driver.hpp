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

class Processes;

// The same with the folders and modes of the command line; `term` is the
// terminal for the progress line (nullptr: none); on the processes of an MPI
// run when `procs` says there are several.
int run(State& s, const RunOptions& opts, std::FILE* term = nullptr, const Processes* procs = nullptr);

// Threads of a run when none are asked for: the cores shared among the
// run's processes on this machine.
int default_jobs(int processes_here = 1);

// The program: parses the command line, runs, returns the exit status.
int tacsim_main(int argc, const char* const* argv);

}  // namespace tacsim
