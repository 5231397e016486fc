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

// Labels of the options written in the header of each option set, by rule:
// the rule's parameters (options 1..rule_parameters(rule)), then options
// 11..16 and 18..23; blank-separated. Empty for an unknown rule.
const char* set_labels(int rule);
int rule_parameters(int rule);
// File name of result unit k (11..27); unit 12 is named after its summary
// years (`unit12name`), so empty here.
const char* unit_file(int k);
// Name of the summary file of the years sumyr1..sumyr2 (unit 12).
std::string summary_file(const State& s);

}  // namespace tacsim
