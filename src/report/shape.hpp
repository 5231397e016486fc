// The shape of a harvest rule: its value against the decision basis, from 0
// to twice the highest trigger that shapes it, computed by the rule code of
// the simulation (the rule's entry in the rulebook).
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tacsim::report {

struct RuleShape {
    std::vector<float> basis;                             // basis values x
    std::vector<std::string> series;                      // one per case of the recruitment indicator
    std::vector<std::vector<float>> values;               // (series, basis point)
    std::vector<std::pair<std::string, float>> triggers;  // name, value
    std::vector<bool> beyond;                             // per trigger: beyond the drawn range
    float xmax = 0.0f;                                    // end of the drawn range
};

// How far a trigger may lie beyond the next lower one and still set the
// drawn range: a trigger more than this many times the next lower trigger
// (the usual "no upper trigger" value, say Btrig2 = 10000 above Btrig1 = 460)
// lies beyond the axis and is only named at its edge.
inline constexpr float far_trigger_ratio = 4.0f;

// Number of rule parameters of rule `nrule`, 0 for a rule the program does
// not have.
int rule_parameter_count(int nrule);

// The shape of rule `nrule` with its parameters `par` (in the order of the
// rule's options, at least rule_parameter_count(nrule) of them). Every stock
// indicator the rule compares with a trigger is set to x; where the rule
// reads the recruitment indicator B3 against RefRec there is a series for B3
// above RefRec and one for B3 at or below it; a rule whose target grows with
// B3 is drawn with B3 = 0. The range runs from 0 to twice the highest
// trigger that is not far beyond the others (far_trigger_ratio), 1 when no
// trigger is positive. Empty for an unknown rule or too few parameters.
RuleShape rule_shape(int nrule, std::span<const float> par, int points = 101);

}  // namespace tacsim::report
