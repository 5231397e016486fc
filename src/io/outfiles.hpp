// The set of output files: names, units, switches, header lines and closing.
#pragma once

#include <string>
#include <vector>

#include "model/state.hpp"

namespace tacsim {

// Name of the legacy file of unit k (11..27) as this run names it.
std::string unit_file_name(const State& s, int k);

void prepfiles(State& s);
void header(State& s, int u);
void closefiles(State& s);

// File name of result unit k (11..27); unit 12 is named after its summary
// years (`unit12name`), so empty here.
const char* unit_file(int k);
// Name of the summary file of the years sumyr1..sumyr2 (unit 12).
std::string summary_file(const State& s);

}  // namespace tacsim
