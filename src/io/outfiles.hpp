// The set of output files: names, units, switches, header lines and closing.
#pragma once

#include <string_view>
#include <vector>

#include "model/state.hpp"

namespace tacsim {

// An option as the per-set headers of a rule name it, and its number k of
// par(k).
struct NamedOption {
    std::string_view name;
    int index;
};
// The options that rule `rule` names, in the order of its headers (none for
// a rule number out of range).
std::vector<NamedOption> named_options(int rule);

void prepfiles(State& s);
void header(State& s, int u);
void closefiles(State& s);

}  // namespace tacsim
