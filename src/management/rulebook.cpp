#include "management/rulebook.hpp"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace tacsim {

namespace {

// The summary headings after the rule's parameters: the shared options and
// the statistics of the summary records.
constexpr const char* kSummaryTail =
    "Filter Except_F Percent Except_P MinTAC MaxTAC Bias_obs Bias_impl CVyr_obs CVyr_impl CV_recr CV_biosurv "
    "Cmean C10 C50 C90 Fmean F10 F50 F90 Smean SSB10 SSB50 SSB90 Tmean TSB10 TSB50 TSB90 IAV Risklim "
    "Probtrig Crash";

// Data items of a layout, repeat counts and groups included.
int data_items(const std::vector<Layout::Node>& nodes) {
    int n = 0;
    for (const Layout::Node& k : nodes) {
        switch (k.kind) {
            case Layout::Node::IntW:
            case Layout::Node::RealWD:
            case Layout::Node::Chars: n += k.repeat; break;
            case Layout::Node::Group: n += k.repeat * data_items(k.kids); break;
            default: break;
        }
    }
    return n;
}

std::string names_then(const RuleDescription& r, const std::string& tail) {
    std::string line;
    for (const RuleParam& p : r.params) line += p.name + " ";
    return line + tail;
}

[[noreturn]] void bad_rule(const RuleDescription& r, const std::string& what) {
    throw std::invalid_argument("harvest rule " + std::to_string(r.number) + " (" + r.name + "): " + what);
}

Layout parsed(const RuleDescription& r, const std::string& text, int items, const char* which) {
    std::optional<Layout> l;
    try {
        l.emplace(text);
    } catch (const std::logic_error& e) {
        bad_rule(r, std::string(which) + ": " + e.what());
    }
    if (data_items(l->root().kids) != items) {
        bad_rule(r, std::string(which) + " \"" + text + "\" must hold " + std::to_string(items) + " values");
    }
    return std::move(*l);
}

}  // namespace

void Rulebook::add(RuleDescription d) {
    const int n = static_cast<int>(d.params.size());
    if (d.number < 1 || d.number > 99) bad_rule(d, "the number must lie within 1..99");
    if (find(d.number) != nullptr) bad_rule(d, "the number is taken");
    if (n < 1 || n > 10) bad_rule(d, "a rule has 1 to 10 parameters");
    if (static_cast<int>(d.basis.size()) > maxbasis) bad_rule(d, "a basis has at most 5 elements");
    if (d.ptrig < 0 || d.ptrig > n) bad_rule(d, "the Ptrig trigger must be one of the parameters, or 0");
    if ((d.vtypes & 0xFu) == 0) bad_rule(d, "no value type (1..4) is accepted");
    if (d.eval == nullptr) bad_rule(d, "no function evaluates it");
    Layout opt = parsed(d, d.option_layout, n + 12, "the option layout");
    Layout sum = parsed(d, d.summary_layout, n + 12 + 20, "the summary layout");
    if (d.label_line.empty()) {
        std::string tail;
        for (std::string_view t : kSharedOptions) {
            if (!t.empty()) tail += (tail.empty() ? "" : " ") + std::string(t);
        }
        d.label_line = names_then(d, tail);
    }
    if (d.summary_heading.empty()) d.summary_heading = names_then(d, kSummaryTail);
    const int number = d.number;
    const auto at = std::find_if(rules_.begin(), rules_.end(),
                                 [number](const HarvestRule& r) { return r.desc.number > number; });
    rules_.insert(at, HarvestRule{std::move(d), std::move(opt), std::move(sum)});
}

const HarvestRule* Rulebook::find(int number) const {
    for (const HarvestRule& r : rules_)
        if (r.desc.number == number) return &r;
    return nullptr;
}

const Rulebook& standard_rulebook() {
    static const Rulebook book = [] {
        Rulebook b;
        for (RuleDescription& r : standard_rule_descriptions()) b.add(std::move(r));
        return b;
    }();
    return book;
}

const Rulebook& rulebook(const State& s) { return s.rulebook != nullptr ? *s.rulebook : standard_rulebook(); }

const HarvestRule* run_rule(const State& s) { return rulebook(s).find(s.nrule); }

float value_at(const HarvestRule& r, const OptionVec& par, float b, float b3) {
    BasisVec basis;
    basis.fill(0.0f);
    for (std::size_t k = 0; k < r.desc.basis.size(); ++k) {
        const BasisUse u = r.desc.basis[k];
        const bool stock = u != BasisUse::Recruitment && u != BasisUse::GainDriver;
        basis(static_cast<int>(k) + 1) = stock ? b : b3;
    }
    return evaluate(r, par, basis);
}

std::array<std::string, noptions> option_names(const HarvestRule& r) {
    std::array<std::string, noptions> names;
    for (std::size_t k = 0; k < r.desc.params.size(); ++k) names[k] = r.desc.params[k].name;
    for (std::size_t k = 0; k < kSharedOptions.size(); ++k) names[kFirstShared - 1 + k] = kSharedOptions[k];
    return names;
}

int option_slot(const HarvestRule& r, std::string_view name) {
    const std::array<std::string, noptions> names = option_names(r);
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (!name.empty() && names[k] == name) return static_cast<int>(k) + 1;
    }
    return 0;
}

float& option(State& s, std::string_view name) {
    const HarvestRule* r = run_rule(s);
    const int k = r != nullptr ? option_slot(*r, name) : 0;
    if (k == 0) {
        throw std::invalid_argument("harvest rule " + std::to_string(s.nrule) + " has no option " + std::string(name));
    }
    return s.par(k);
}

std::array<std::string, noptions> option_names(const State& s) {
    const HarvestRule* r = run_rule(s);
    return r != nullptr ? option_names(*r) : std::array<std::string, noptions>{};
}

const char* unit_text(ParUnit u) {
    switch (u) {
        case ParUnit::B1: return "level of B1";
        case ParUnit::B2: return "level of B2";
        case ParUnit::B3: return "level of B3";
        case ParUnit::Value: return "rule value";
        case ParUnit::Proportion: return "proportion";
        case ParUnit::PerB3: return "per unit of B3";
        case ParUnit::Steepness: return "steepness";
    }
    return "";
}

std::string rules_markdown(const Rulebook& book) {
    static const char* const uses[] = {"lower triggers", "upper trigger", "both triggers", "recruitment", "gain"};
    std::string md =
        "| Rule | Name | Parameters, in order (unit) | Basis elements read | Ptrig counts B1 below | vtype |\n"
        "|---|---|---|---|---|---|\n";
    for (const HarvestRule& r : book.rules()) {
        const RuleDescription& s = r.desc;
        md += "| " + std::to_string(s.number) + " | " + s.name + " | ";
        for (std::size_t k = 0; k < s.params.size(); ++k) {
            md += (k > 0 ? ", " : "") + s.params[k].name + " (" + unit_text(s.params[k].unit) + ")";
        }
        md += " | ";
        if (s.basis.empty()) md += "none";
        for (std::size_t k = 0; k < s.basis.size(); ++k) {
            md += (k > 0 ? ", B" : "B") + std::to_string(k + 1) + " (" + uses[static_cast<int>(s.basis[k])] + ")";
        }
        md += " | ";
        md += s.ptrig > 0 ? s.params[static_cast<std::size_t>(s.ptrig - 1)].name : std::string("none (Ptrig 0)");
        md += " | ";
        std::string v;
        for (int t = 1; t <= 4; ++t)
            if (s.vtypes & (1u << (t - 1))) v += (v.empty() ? "" : ", ") + std::to_string(t);
        md += v + " |\n";
    }
    return md;
}

}  // namespace tacsim
