// The harvest rules as data: one description per rule (its number, name,
// parameters with their header labels and units, the decision-basis elements
// it reads, the parameter whose trigger Ptrig counts, the meanings of its
// value it accepts, the layouts of its result records and the function that
// evaluates it). The options reader, the result headers, the summary records,
// Ptrig and the rule table of the input guide all take a rule from here.
//
// The rules of the program are in standard_rulebook(). A run uses the
// rulebook its state points to (the standard one unless a caller, such as a
// test, hands it another), so a rule can be added for one run without the
// program gaining it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.hpp"
#include "model/state.hpp"

namespace tacsim {

using OptionVec = Array<float, 1, noptions>;  // the option values of a set, slots 1..23

// The rule value for the option values of a set (the rule's own parameters
// in slots 1, 2, ..., read by name through NamedOptions) and the decision
// basis. Pure: no state, no draws.
using RuleFn = float (*)(const OptionVec& par, const BasisVec& basis);

// The options every rule shares, slots 11..23 of a set, by the names of the
// result headers; slot 17 has none (no rule reads it).
inline constexpr std::array<std::string_view, 13> kSharedOptions = {
    "Filter",   "Trig_filt", "Percent",  "Trig_perc", "MinTAC",  "MaxTAC",    "",
    "Bias_obs", "Bias_impl", "CVyr_obs", "CVyr_impl", "CV_recr", "CV_biosurv"};
inline constexpr int kFirstShared = 11;

// The slot of a shared option: s.par(shared("Filter")). Found while
// compiling: a name that is not one does not compile.
consteval int shared(std::string_view name) {
    for (std::size_t k = 0; k < kSharedOptions.size(); ++k) {
        if (!name.empty() && kSharedOptions[k] == name) return kFirstShared + static_cast<int>(k);
    }
    throw "not the name of a shared option";
}

// The unit of a rule parameter.
enum class ParUnit : unsigned char {
    B1,          // a level of basis element 1 (a trigger on it)
    B2,          // a level of basis element 2 (the upper trigger)
    B3,          // a level of basis element 3 (the recruitment indicator)
    Value,       // in the unit of the rule value: an F, a harvest rate or a TAC, as vtype says
    Proportion,  // a proportion of the rule's base value (no unit)
    PerB3,       // per unit of basis element 3
    Steepness,   // steepness of a logistic curve (no unit)
};

// A rule's parameter as its function and its description know it.
struct ParamSpec {
    std::string_view name;  // the label of the result headers
    ParUnit unit;
};
// A rule's parameters in order: the first in slot 1 of the option values.
template <std::size_t N>
using ParamList = std::array<ParamSpec, N>;

// The slot of the parameter `name` in `list`, found while compiling.
template <std::size_t N>
consteval int slot_of(const ParamList<N>& list, std::string_view name) {
    for (std::size_t k = 0; k < N; ++k) {
        if (list[k].name == name) return static_cast<int>(k) + 1;
    }
    throw "not the name of a parameter of the rule";
}

// The option values of a set as a rule function reads them, by the names
// of the rule's parameter list:
//   constexpr ParamList<2> kMine = {{{"Btrig", ParUnit::B1}, {"Target", ParUnit::Value}}};
//   const NamedOptions<kMine> o(par);   ... o["Target"] ...
// A misspelt name does not compile; a read costs what par(k) costs.
template <const auto& List>
class NamedOptions {
public:
    struct Name {
        int slot;
        consteval Name(const char* name) : slot(slot_of(List, name)) {}  // NOLINT: a name converts
    };
    explicit NamedOptions(const OptionVec& par) : par_(par) {}
    float operator[](Name n) const { return par_(n.slot); }

private:
    const OptionVec& par_;
};

// What a decision-basis element is to the rule that reads it.
enum class BasisUse : unsigned char {
    LowerTrigger,  // compared with the lower triggers (B0, Btrig1)
    UpperTrigger,  // compared with the upper trigger (Btrig2)
    BothTriggers,  // compared with every trigger
    Recruitment,   // the recruitment indicator compared with RefRec
    GainDriver,    // scales the target through Gain
};

struct RuleParam {
    std::string name;  // the label of the result headers
    ParUnit unit;
};
// The description's parameters from a rule's parameter list.
template <std::size_t N>
std::vector<RuleParam> params_of(const ParamList<N>& list) {
    std::vector<RuleParam> p;
    for (const ParamSpec& q : list) p.push_back({std::string(q.name), q.unit});
    return p;
}

// A rule as its author writes it down.
struct RuleDescription {
    int number = 0;
    std::string name{};              // a few words
    std::vector<RuleParam> params{}; // slots 1..n of the option values, n <= 10
    std::vector<BasisUse> basis{};   // element k+1 read for basis[k]; may be empty
    int ptrig = 1;                   // Ptrig counts B1 below parameter ptrig (1..n); 0: no trigger, Ptrig 0
    unsigned vtypes = 0xFu;          // bit v-1 set: value type v (1 F, 2, 3 harvest rates, 4 TAC) accepted
    std::string option_layout{};     // per-set header record: the parameters, options 11..16 and 18..23
    std::string summary_layout{};    // summary record: the same values, then the 20 statistics
    std::string label_line{};        // per-set header labels; empty: the names, then the common ones
    std::string summary_heading{};   // summary column heading; empty: the names, then the common ones
    RuleFn eval = nullptr;
};

// A rule ready for use: its description with the layouts parsed and the
// heading lines filled in.
struct HarvestRule {
    RuleDescription desc;
    Layout option_layout;
    Layout summary_layout;
    int nparams() const { return static_cast<int>(desc.params.size()); }
};

class Rulebook {
public:
    // Adds a rule. Throws std::invalid_argument naming the fault when the
    // number is taken or outside 1..99, a layout does not hold exactly its
    // values, there are more than 10 parameters or more basis elements than
    // a basis has, the Ptrig parameter is not one of the parameters, or the
    // function is missing.
    void add(RuleDescription desc);
    const HarvestRule* find(int number) const;
    // In order of their numbers.
    const std::vector<HarvestRule>& rules() const { return rules_; }

private:
    std::vector<HarvestRule> rules_;
};

// The rules of the program, 1..8.
const Rulebook& standard_rulebook();
// The descriptions of rules 1..8 (rules.cpp).
std::vector<RuleDescription> standard_rule_descriptions();

// The rulebook of a run: the one the state points to, else the standard one.
const Rulebook& rulebook(const State& s);
// The rule of the run (nrule), or nullptr when the rulebook has no such rule.
const HarvestRule* run_rule(const State& s);

// The value of rule r for the option values of a set and a decision basis.
inline float evaluate(const HarvestRule& r, const OptionVec& par, const BasisVec& basis) {
    return r.desc.eval(par, basis);
}
// The rule's shape: its value when every stock indicator it reads (the
// elements compared with triggers) equals b and element 3 equals b3.
float value_at(const HarvestRule& r, const OptionVec& par, float b, float b3 = 0.0f);

// The slot (1..23) of the option `name` of rule r: one of its parameters
// or a shared option; 0 when it has none of that name.
int option_slot(const HarvestRule& r, std::string_view name);
// The option `name` of the run's rule in the option values of the state
// (par), for the callers that set options by hand (tests, benchmarks).
// Throws std::invalid_argument when the rule has no such option.
float& option(State& s, std::string_view name);

// The 23 option names of a rule as the per-set headers label them: its
// parameters, then Filter .. MaxTAC (11..16) and Bias_obs .. CV_biosurv
// (18..23); "" for the parameter slots it does not use and for option 17,
// which no header names.
std::array<std::string, noptions> option_names(const HarvestRule& r);
// The same for the run's rule; all "" when the run's rulebook has no such rule.
std::array<std::string, noptions> option_names(const State& s);

// Words of a unit, as the input guide gives them ("level of B1", ...).
const char* unit_text(ParUnit u);
// The input guide's table of rules, in Markdown, from the rulebook.
std::string rules_markdown(const Rulebook& book);

}  // namespace tacsim
