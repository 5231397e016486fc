// What the command line asks of a run. Adding an option is a field here and
// one line in the parser (driver/cli.cpp).
#pragma once

#include <string>
#include <vector>

namespace tacsim {

struct RunOptions {
    // Folder holding bio.inn and opt.inn and the files they name; empty: the
    // working folder, and file names in messages stay bare.
    std::string dir;
    // Folder the result files go to (created when missing); empty: `dir`.
    std::string output;
    // Read and check the inputs, print a summary and an estimate of the run
    // time, write nothing.
    bool check = false;
    // No progress line on a terminal.
    bool quiet = false;
    // Threads the option sets run on; 0: one per core.
    int jobs = 0;
    // Also write the results as CSV tables and a record of the run
    // (run.json); with `iterations` also every iteration's series.
    bool csv = false;
    bool iterations = false;
    // The command line as given, for the record of the run.
    std::vector<std::string> args;
    // After the run, write report.html into the results folder; the run then
    // also writes the CSV tables it is drawn from and sample_iterations.csv.
    bool report = false;
    // `tacsim report [DIR]`: no run, only report.html from the tables of an
    // earlier run in `report_dir` (empty: the working folder).
    bool report_only = false;
    std::string report_dir;
};

}  // namespace tacsim
