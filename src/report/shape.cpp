#include "report/shape.hpp"

#include <algorithm>
#include <cmath>

#include "management/rulebook.hpp"

namespace tacsim::report {

int rule_parameter_count(int nrule) {
    const HarvestRule* r = standard_rulebook().find(nrule);
    return r != nullptr ? r->nparams() : 0;
}

RuleShape rule_shape(int nrule, std::span<const float> par, int points) {
    RuleShape shape;
    const HarvestRule* r = standard_rulebook().find(nrule);
    if (r == nullptr || static_cast<int>(par.size()) < r->nparams() || points < 2) return shape;

    OptionVec p;
    p.fill(0.0f);
    float refrec = 0.0f;
    bool has_refrec = false;
    for (int k = 1; k <= r->nparams(); ++k) {
        const RuleParam& rp = r->desc.params[static_cast<std::size_t>(k - 1)];
        p(k) = par[static_cast<std::size_t>(k - 1)];
        if (rp.unit == ParUnit::B1 || rp.unit == ParUnit::B2) shape.triggers.emplace_back(rp.name, p(k));
        if (rp.unit == ParUnit::B3) {
            refrec = p(k);
            has_refrec = true;
        }
    }
    // The triggers in ascending order; from the first that lies far beyond
    // the one below it, they are beyond the drawn range.
    std::vector<float> sorted;
    for (const auto& [name, t] : shape.triggers) {
        if (t > 0.0f && std::isfinite(t)) sorted.push_back(t);
    }
    std::sort(sorted.begin(), sorted.end());
    float top = 0.0f;
    for (float t : sorted) {
        if (top > 0.0f && t > far_trigger_ratio * top) break;
        top = t;
    }
    const float xmax = top > 0.0f ? 2.0f * top : 1.0f;
    shape.xmax = xmax;
    for (const auto& [name, t] : shape.triggers) shape.beyond.push_back(t > xmax);
    for (int i = 0; i < points; ++i) shape.basis.push_back(xmax * static_cast<float>(i) / static_cast<float>(points - 1));
    // The triggers themselves, so that a step or a kink there is drawn exactly.
    for (const auto& [name, t] : shape.triggers) {
        if (t > 0.0f && t < xmax) shape.basis.push_back(t);
    }
    std::sort(shape.basis.begin(), shape.basis.end());
    shape.basis.erase(std::unique(shape.basis.begin(), shape.basis.end()), shape.basis.end());

    std::vector<float> b3cases;
    if (has_refrec) {
        shape.series = {"B3 above RefRec", "B3 at or below RefRec"};
        b3cases = {refrec + std::max(1.0f, std::fabs(refrec)), refrec};
    } else {
        const bool gain = std::find(r->desc.basis.begin(), r->desc.basis.end(), BasisUse::GainDriver) != r->desc.basis.end();
        shape.series = {gain ? "B3 = 0" : "rule"};
        b3cases = {0.0f};
    }
    for (float b3 : b3cases) {
        std::vector<float> values;
        values.reserve(shape.basis.size());
        for (float x : shape.basis) values.push_back(value_at(*r, p, x, b3));
        shape.values.push_back(std::move(values));
    }
    return shape;
}

}  // namespace tacsim::report
