// Stock arithmetic: catch for a given F (Baranov), F for a given catch,
// spawning, total and exploitable biomass, and the year step with its plus
// group. Single precision throughout; the order of the products matters for
// the last bit of every result and is kept as written.
#include <algorithm>
#include <cmath>

#include "stock/catch_terms.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"

namespace tacsim {

namespace {

// The selection column isel by age, in one contiguous row.
struct SelRow {
    float v[nages];
    SelRow(const State& s, int isel) {
        for (int a = 0; a < nages; ++a) v[a] = s.sel(a, isel);
    }
};

// Catch in weight at F f: the per-age terms, added in age order. An age
// without mortality starts the running catch again.
float catch_at(const State& s, const AgeVec& n, const SelRow& sel, float f, CatchTermsFn terms = catch_terms) {
    float z[nages], term[nages];
    terms(n.data(), sel.v, s.natmor.data(), s.weca.data(), f, s.lastage + 1, z, term);
    float sum = 0.0f;
    for (int a = 0; a <= s.lastage; ++a) sum = z[a] > 0.0f ? sum + term[a] : 0.0f;
    return sum;
}

}  // namespace

void yield(State& s, const AgeVec& n, float& y, float f, int isel) { y = catch_at(s, n, SelRow(s, isel), f); }

void yielda(State& s, const AgeVec& n, float& y, AgeVec& cn, float f, float& agec, int isel) {
    float sum = 0.0f;
    float agesum = 0.0f;
    for (int a = 0; a <= s.lastage; ++a) {
        const float sa = s.sel(a, isel);
        const float z = s.natmor(a) + sa * f;
        if (z > 0.0f) {
            cn(a) = (1.0f - exp_sp(-z)) * n(a) * sa * f / z;
            sum = sum + cn(a) * s.weca(a);
            agesum = agesum + static_cast<float>(a) * cn(a) * s.weca(a);
        } else {
            // Only the running catch restarts; the age-weighted sum is kept.
            cn(a) = 0.0f;
            sum = 0.0f;
        }
    }
    y = sum;
    agec = sum > 0.0f ? agesum / sum : -1.0f;
}

namespace {

// Arguments of the exponentials of the survival to spawning of ages
// firstage..lastage, at x[a - firstage]; returns how many.
std::size_t spawning_arguments(const State& s, float f, int isel, float* x) {
    const int first = s.firstage;
    for (int a = first; a <= s.lastage; ++a) x[a - first] = -s.sel(a, isel) * f * s.fprop - s.natmor(a) * s.mprop;
    return static_cast<std::size_t>(std::max(s.lastage - first + 1, 0));
}

// Survival to spawning of ages firstage..lastage, at e[a - firstage].
void spawning_survival(const State& s, float f, int isel, float* e) {
    float x[nages];
    exp_sp(x, e, spawning_arguments(s, f, isel, x));
}

float ssb_of(const State& s, const AgeVec& n, const float* e) {
    float sum = 0.0f;
    for (int a = s.firstage; a <= s.lastage; ++a) sum = sum + n(a) * e[a - s.firstage] * s.west(a) * s.matur(a);
    return sum;
}

// Arguments of the exponentials of the survival over the year of ages
// 0..lastage, at x[a]; returns how many.
std::size_t survival_arguments(const State& s, float f, int isel, float* x) {
    const int last = s.lastage;
    for (int a = 0; a <= last - 2; ++a) x[a] = -s.natmor(a) - s.sel(a, isel) * f;
    const float zl = s.natmor(last) + s.sel(last, isel) * f;
    const float zl1 = s.natmor(last - 1) + s.sel(last - 1, isel) * f;
    x[last - 1] = -zl1;
    x[last] = -zl;
    return static_cast<std::size_t>(last + 1);
}

}  // namespace

void calcssb(State& s, const AgeVec& n, float& ssb, float f, int isel) {
    float e[nages];
    spawning_survival(s, f, isel, e);
    ssb = ssb_of(s, n, e);
}

void calcssb_survival(State& s, const AgeVec& n, float& ssb, float f, int isel, float* survival) {
    float x[2 * nages], e[2 * nages];
    const std::size_t k = spawning_arguments(s, f, isel, x);
    const std::size_t m = survival_arguments(s, f, isel, x + k);
    exp_sp(x, e, k + m);
    ssb = ssb_of(s, n, e);
    std::copy(e + k, e + k + m, survival);
}

void calcssba(State& s, const AgeVec& n, float& ssb, AgeVec& ssba, float f, float& ages, int isel) {
    float e[nages];
    spawning_survival(s, f, isel, e);
    float sum = 0.0f;
    float agesum = 0.0f;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        ssba(a) = n(a) * e[a - s.firstage] * s.matur(a);
        sum = sum + ssba(a) * s.west(a);
        agesum = agesum + static_cast<float>(a) * ssba(a) * s.west(a);
    }
    ssb = sum;
    // An empty spawning stock has no mean age; -1 as for an empty catch.
    ages = sum > 0.0f ? agesum / sum : -1.0f;
}

void calctsb(State& s, const AgeVec& n, float& tsb) {
    float sum = 0.0f;
    for (int a = s.tsbage; a <= s.lastage; ++a) sum = sum + n(a) * s.west(a);
    tsb = sum;
}

void calcbplus(State& s, const AgeVec& n, float& b) {
    float sum = 0.0f;
    for (int a = s.bpage; a <= s.lastage; ++a) sum = sum + n(a) * s.weca(a);
    b = sum;
}

// Multiplicative search: the step grows the trial F by half or shrinks it by
// half, and is cut to 60 % each time the target catch is crossed.
void findf(State& s, const AgeVec& n, float& t, float& f, int& flag, int isel) {
    constexpr int max_steps = 10000;
    flag = 0;
    if (t < 0.0001f) {
        f = 0.0f;
        return;
    }
    const SelRow sel(s, isel);
    const CatchTermsFn terms = catch_terms_here();
    const float ymax = catch_at(s, n, sel, s.fcap, terms);
    if (t > ymax) {
        flag = 1;
        f = s.fcap;
    } else {
        float step = 0.5f;
        f = 0.5f;
        float y = catch_at(s, n, sel, f, terms);
        int steps = 0;
        for (;;) {
            if (++steps > max_steps) {
                // Only non-finite numbers keep the search from settling.
                stop_with(s, {"No convergence in the search for F"});
            }
            if (y > t) {
                if (f < 0.001f) {
                    f = 0.0f;
                    t = 0.0f;
                    flag = 2;
                    break;
                }
                f = f * (1.0f - step);
            } else {
                f = f * (1.0f + step);
            }
            const float yprev = y;
            y = catch_at(s, n, sel, f, terms);
            if ((y - t) * (yprev - t) <= 0.0f) {
                step = step * 0.6f;
                if (step < 0.00001f) break;
            }
        }
    }
    if (flag >= 1) t = catch_at(s, n, sel, f, terms);  // the catch actually taken
}

void nextyear(State& s, AgeVec& n, float f, float ssb, float cv, int isel) {
    float x[nages], e[nages];
    exp_sp(x, e, survival_arguments(s, f, isel, x));
    nextyear_survival(s, n, e, ssb, cv);
}

void nextyear_survival(State& s, AgeVec& n, const float* e, float ssb, float cv) {
    // Survival of each age over the year: ages 0..last-2 move up one age;
    // last-1 and last make the plus group.
    const int last = s.lastage;
    for (int a = last - 2; a >= 0; --a) n(a + 1) = n(a) * e[a];
    // Plus group: its own survivors and those of the age below, where the age
    // below already holds its new value.
    n(last) = n(last) * e[last] + n(last - 1) * e[last - 1];
    float r = 0.0f;
    recr(s, r, ssb, cv);
    n(0) = r;
}

}  // namespace tacsim
