// The set of output files: names, units, switches, header lines and closing.
#pragma once

#include <string>
#include <vector>

#include "model/state.hpp"

namespace tacsim {

// The options a rule's legacy option labels name, in their order, each with
// its option number: the rule's parameters 1..n, then 11..16 and 18..23
// (option 17 is not named). Empty for an unknown rule.
struct OptionName {
    int option;
    std::string name;
};
std::vector<OptionName> option_names(int rule);
// Name of the legacy file of unit k (11..27) as this run names it.
std::string unit_file_name(const State& s, int k);

void prepfiles(State& s);
void header(State& s, int u);
void closefiles(State& s);

}  // namespace tacsim
