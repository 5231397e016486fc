// The shape of a harvest rule: its value against the decision basis, from 0
// to twice the highest trigger, computed by the rule code of the simulation.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "model/state.hpp"

namespace tacsim::report {

struct RuleShape {
    std::vector<float> basis;                     // basis values (B1 = B2 = x)
    std::vector<std::string> series;              // one per recruitment case
    std::vector<std::vector<float>> values;       // (series, basis point)
    std::vector<std::pair<std::string, float>> triggers;  // name, value
};

// Number of rule parameters of rule `nrule` (1..8), 0 for any other.
int rule_parameter_count(int nrule);

// The shape of rule `nrule` with its parameters `par` (in the order of the
// rule's options, at least rule_parameter_count(nrule) of them). The first
// two basis elements are set to x; where the rule reads the recruitment
// indicator B3 (rules 5 and 6) there is a series for B3 above RefRec and one
// for B3 at or below it; rule 3 is drawn with B3 = 0 (no gain).
// `scratch` is a state the rule is evaluated in (its rule and parameters are
// overwritten), so that many shapes need not allocate a state each.
RuleShape rule_shape(State& scratch, int nrule, std::span<const float> par, int points = 101);
RuleShape rule_shape(int nrule, std::span<const float> par, int points = 101);

}  // namespace tacsim::report
