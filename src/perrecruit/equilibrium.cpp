// The equilibrium stock at a fishing level: survivorship per recruit, and the
// fixed point in total stock biomass where density-dependent weights, SSB per
// recruit and the equilibrium recruitment agree.
#include <cmath>

#include "perrecruit/perrecruit.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

void nw(State& s, float tin, float& tout, float f, const AgeVec& lx, float& r, float& spr, int& flag) {
    flag = 0;
    if (tin >= 0.0f) {
        for (int a = s.firstage; a <= s.lastage; ++a) calcwema(s, a, tin, 1.0f, 1.0f, 1.0f, 0);
    }
    float sum = 0.0f;
    for (int a = 0; a <= s.lastage; ++a) {
        sum = sum + lx(a) * exp_sp(-s.natmor(a) * s.mprop - s.sel(a, 1) * s.fprop * f) * s.west(a) * s.matur(a);
    }
    spr = sum;
    // Equilibrium solutions of the stock-recruitment functions without their
    // exponent; an unknown function leaves r as it was.
    switch (s.rfun) {
        case 1:
            r = spr * s.rmax > s.rssb ? s.rmax : 0.0f;
            break;
        case 2:
            r = s.rmax - s.rssb / spr;
            if (r < 0.0f) r = 0.0f;
            break;
        case 3:
            r = (1.0f - log_sp(s.rssb / (spr * s.rmax))) * s.rssb / spr;
            break;
        default:
            break;
    }
    if (r <= 0.0f) {
        r = 0.0f;
        flag = 1;
        return;
    }
    AgeVec n;
    for (int a = 0; a <= s.lastage; ++a) n(a) = lx(a) * r;
    calctsb(s, n, tout);
}

void eqlib(State& s, AgeVec& n, float& ssb, float f, int& flag) {
    constexpr int max_monotone = 10000;
    const int last = s.lastage;
    flag = 0;

    AgeVec lx;
    lx(0) = 1.0f;
    for (int a = 0; a <= last - 2; ++a) lx(a + 1) = lx(a) * exp_sp(-(s.natmor(a) + f * s.sel(a, 1)));
    // Plus group: the survivors of the age below enter it and it keeps its own
    // survivors, a geometric series.
    const float zl1 = s.natmor(last - 1) + f * s.sel(last - 1, 1);
    const float zl = s.natmor(last) + f * s.sel(last, 1);
    lx(last) = lx(last - 1) * exp_sp(-zl1) / (1.0f - exp_sp(-zl));

    for (int a = 0; a <= last; ++a) {
        s.west(a) = s.westpar(a, 1);
        s.matur(a) = s.maturpar(a, 1);
    }

    float r = 0.0f;
    float spr = 0.0f;
    int nwflag = 0;
    // One turn of the cycle TSB -> weights -> SSB per recruit -> recruitment
    // -> TSB. False when no equilibrium stock exists at this F.
    auto eval = [&](float tin, float& tout) {
        nw(s, tin, tout, f, lx, r, spr, nwflag);
        return nwflag == 0;
    };
    auto none = [&]() {
        flag = 1;
        ssb = 0.0f;
        for (int a = 0; a <= last; ++a) n(a) = 0.0f;
    };
    auto settled = [](float t1, float t0) { return std::fabs(log_sp(t1 / t0)) < 0.0001f; };

    float t0 = -1.0f;
    float t1 = 0.0f;
    if (!eval(t0, t1)) return none();
    bool done = false;
    for (int turn = 0; turn < 2 && !done; ++turn) {
        t0 = t1;
        if (!eval(t0, t1)) return none();
        done = settled(t1, t0);
    }
    if (!done) {
        // Monotone phase: follow the iteration while it keeps moving one way.
        float t2 = 0.0f;
        if (!eval(t1, t2)) return none();
        for (int evals = 1; (t2 - t1) * (t1 - t0) > 0.0f && evals < max_monotone; ++evals) {
            t0 = t1;
            t1 = t2;
            if (!eval(t1, t2)) return none();
        }
        // Step phase: walk x towards the fixed point, reversing and cutting
        // the step to a tenth at each crossing.
        float step = (t1 - t0) / 10.0f;
        float dprev = t1 - t0;
        float x = t0 - step;
        int count = 0;
        do {
            x = x + step;
            ++count;
            if (!eval(x, t1)) return none();
            const float d = t1 - x;
            if (d * dprev <= 0.0f) step = -step / 10.0f;
            dprev = d;
            if (count > 100) {
                stop_with(s, {"no convergence", t0, t1, spr, r, s.west(5), step});
            }
            // Also ends when the step no longer moves x in single precision.
            // A NaN step never ends the search: only the cap above does.
        } while (!(std::fabs(step) <= 0.001f) && x + step != x);
    }

    ssb = r * spr;
    for (int a = 0; a <= last; ++a) n(a) = lx(a) * r;
}

}  // namespace tacsim
