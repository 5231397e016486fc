// What the command line asks of a run. Adding an option is a field here and
// one line in the parser (driver/cli.cpp).
#pragma once

#include <string>

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
};

}  // namespace tacsim
