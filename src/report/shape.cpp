#include "report/shape.hpp"

#include <algorithm>
#include <cmath>

#include "management/management.hpp"

namespace tacsim::report {

namespace {

// What the shape needs of each rule: its parameter count, the positions
// (1-based) of its biomass triggers and of RefRec (0: none), and names.
struct RuleForm {
    int count;
    std::vector<int> triggers;
    int refrec;
    std::vector<const char*> names;
};

const RuleForm* form_of(int nrule) {
    static const RuleForm forms[8] = {
        {5, {1, 2}, 0, {"Btrig1", "Btrig2"}},
        {6, {1, 2, 3}, 0, {"B0", "Btrig1", "Btrig2"}},
        {6, {1, 2}, 0, {"Btrig1", "Btrig2"}},
        {6, {1, 2}, 0, {"Btrig1", "Btrig2"}},
        {7, {1, 2}, 3, {"Btrig1", "Btrig2"}},
        {8, {1, 2, 3}, 4, {"B0", "Btrig1", "Btrig2"}},
        {5, {1, 2}, 0, {"Btrig1", "Btrig2"}},
        {7, {1, 2}, 0, {"Btrig1", "Btrig2"}},
    };
    return (nrule >= 1 && nrule <= 8) ? &forms[nrule - 1] : nullptr;
}

}  // namespace

int rule_parameter_count(int nrule) {
    const RuleForm* f = form_of(nrule);
    return f ? f->count : 0;
}

RuleShape rule_shape(State& s, int nrule, std::span<const float> par, int points) {
    RuleShape shape;
    const RuleForm* form = form_of(nrule);
    if (form == nullptr || static_cast<int>(par.size()) < form->count || points < 2) return shape;

    float top = 0.0f;
    for (std::size_t k = 0; k < form->triggers.size(); ++k) {
        const float t = par[static_cast<std::size_t>(form->triggers[k] - 1)];
        shape.triggers.emplace_back(form->names[k], t);
        if (std::isfinite(t)) top = std::max(top, t);
    }
    const float xmax = (top > 0.0f) ? 2.0f * top : 1.0f;
    for (int i = 0; i < points; ++i) shape.basis.push_back(xmax * static_cast<float>(i) / static_cast<float>(points - 1));
    // The triggers themselves, so that a step or kink there is drawn exactly.
    for (const auto& [name, t] : shape.triggers) {
        if (t > 0.0f && t < xmax) shape.basis.push_back(t);
    }
    std::sort(shape.basis.begin(), shape.basis.end());
    shape.basis.erase(std::unique(shape.basis.begin(), shape.basis.end()), shape.basis.end());

    std::vector<float> b3cases;
    if (form->refrec > 0) {
        const float refrec = par[static_cast<std::size_t>(form->refrec - 1)];
        shape.series = {"B3 above RefRec", "B3 at or below RefRec"};
        b3cases = {refrec + std::max(1.0f, std::fabs(refrec)), refrec};
    } else {
        shape.series = {nrule == 3 ? "B3 = 0" : "rule"};
        b3cases = {0.0f};
    }

    s.nrule = nrule;
    for (int k = 0; k < form->count; ++k) s.par(k + 1) = par[static_cast<std::size_t>(k)];
    BasisVec basis;
    for (float b3 : b3cases) {
        std::vector<float> values;
        values.reserve(shape.basis.size());
        for (float x : shape.basis) {
            basis.fill(0.0f);
            basis(1) = x;
            basis(2) = x;
            basis(3) = b3;
            float v = 0.0f;
            rule(s, v, basis);
            values.push_back(v);
        }
        shape.values.push_back(std::move(values));
    }
    return shape;
}

RuleShape rule_shape(int nrule, std::span<const float> par, int points) {
    auto s = make_state();
    return rule_shape(*s, nrule, par, points);
}

}  // namespace tacsim::report
