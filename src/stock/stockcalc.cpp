// Stock arithmetic: catch for a given F (Baranov), F for a given catch,
// spawning, total and exploitable biomass, and the year step with its plus
// group. Single precision throughout; the order of the products matters for
// the last bit of every result and is kept as written.
#include <cmath>

#include "stock/stock.hpp"
#include "model/mathf.hpp"

namespace tacsim {

void yield(State& s, const AgeVec& n, float& y, float f, int isel) {
    float sum = 0.0f;
    const int last = s.lastage;
    for (int a = 0; a <= last; ++a) {
        const float sa = s.sel(a, isel);
        const float z = s.natmor(a) + sa * f;
        if (z > 0.0f) {
            sum = sum + n(a) * sa * f * (1.0f - exp_sp(-z)) / z * s.weca(a);
        } else {
            // No mortality at this age: the running catch starts again.
            sum = 0.0f;
        }
    }
    y = sum;
}

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

void calcssb(State& s, const AgeVec& n, float& ssb, float f, int isel) {
    float sum = 0.0f;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        sum = sum + n(a) * exp_sp(-s.sel(a, isel) * f * s.fprop - s.natmor(a) * s.mprop) * s.west(a) * s.matur(a);
    }
    ssb = sum;
}

void calcssba(State& s, const AgeVec& n, float& ssb, AgeVec& ssba, float f, float& ages, int isel) {
    float sum = 0.0f;
    float agesum = 0.0f;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        ssba(a) = n(a) * exp_sp(-s.sel(a, isel) * f * s.fprop - s.natmor(a) * s.mprop) * s.matur(a);
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
    float ymax = 0.0f;
    yield(s, n, ymax, s.fcap, isel);
    if (t > ymax) {
        flag = 1;
        f = s.fcap;
    } else {
        float step = 0.5f;
        f = 0.5f;
        float y = 0.0f;
        yield(s, n, y, f, isel);
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
            yield(s, n, y, f, isel);
            if ((y - t) * (yprev - t) <= 0.0f) {
                step = step * 0.6f;
                if (step < 0.00001f) break;
            }
        }
    }
    if (flag >= 1) yield(s, n, t, f, isel);  // the catch actually taken
}

void nextyear(State& s, AgeVec& n, float f, float ssb, float cv, int isel) {
    const int last = s.lastage;
    for (int a = last - 2; a >= 0; --a) {
        n(a + 1) = n(a) * exp_sp(-s.natmor(a) - s.sel(a, isel) * f);
    }
    // Plus group: its own survivors and those of the age below, where the age
    // below already holds its new value.
    const float zl = s.natmor(last) + s.sel(last, isel) * f;
    const float zl1 = s.natmor(last - 1) + s.sel(last - 1, isel) * f;
    n(last) = n(last) * exp_sp(-zl) + n(last - 1) * exp_sp(-zl1);
    float r = 0.0f;
    recr(s, r, ssb, cv);
    n(0) = r;
}

}  // namespace tacsim
