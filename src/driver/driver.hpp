// The run driver: seed, file names, scratch file, then the stages in order.
#pragma once

#include <cstdio>
#include <functional>

#include "driver/options.hpp"
#include "driver/runlife.hpp"
#include "model/state.hpp"
#include "report/report.hpp"

namespace tacsim {

// Runs the whole program on the working folder as the argument-less command
// does; returns the exit status. Standard output and the error stream go to
// the state's `con` and `err`, which the caller attaches.
int run(State& s);

class Processes;

// The same with the folders and modes of the command line; `term` is the
// terminal for the progress line (nullptr: none); on the processes of an MPI
// run when `procs` says there are several. `on_set`, when given, is told of
// every option set this run simulates, right after it ends, with the state
// holding its results.
int run(State& s, const RunOptions& opts, std::FILE* term = nullptr, const Processes* procs = nullptr,
        const std::function<void(State&, long long)>& on_set = {});

// Writes report.html into `dir` from the tables there; a table that is
// missing or unreadable, or a page that cannot be written, stops with the
// message on the error stream (exit status 1).
void write_report_page(State& s, const std::string& dir, const report::RunContext& context);
// The same for a page of several runs (or one run) into `out`, nothing
// written into the runs' folders.
void write_comparison_page(State& s, const std::vector<report::RunSource>& runs, const std::string& out,
                           const report::RunContext& context);

}  // namespace tacsim
