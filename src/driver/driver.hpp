// The run driver: seed, file names, scratch file, then the stages in order.
#pragma once

#include "driver/options.hpp"
#include "model/state.hpp"

namespace tacsim {

// Runs the whole program on the working folder as the argument-less command
// does; returns the exit status. Standard output and the error stream go to
// the state's `con` and `err`, which the caller attaches.
int run(State& s);

// Threads of a run when none are asked for: the cores shared among the
// run's processes on this machine.
int default_jobs(int processes_here = 1);

class Processes;

// The same with the folders and modes of the command line, on the processes
// of an MPI run when `procs` says there are several.
int run(State& s, const RunOptions& opts, const Processes* procs = nullptr);

// The program: parses the command line, runs, returns the exit status.
int tacsim_main(int argc, const char* const* argv);

}  // namespace tacsim
