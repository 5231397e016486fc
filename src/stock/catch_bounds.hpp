// Bounds that let the F search tell on which side of the target the float
// catch at a trial F falls without computing it: an estimate of the real
// catch from two catches computed before, how far the real catch can be from
// that estimate, and how far the float catch can be from the real catch.
// docs/design.md ("The F search decides most trials from bounds") derives
// every constant here.
#pragma once

#include <algorithm>
#include <cmath>

namespace tacsim {

// What the bounds need to know about one stock, one selection column and the
// natural mortality, worked out once per search.
struct CatchBounds {
    bool usable = false;  // every age in the ranges where the bounds hold
    float fmin = 0.0f;    // trial F values in [fmin, fmax] only
    float fmax = 0.0f;
    double half_curv = 0.0;  // half a bound on |C''(F)|, all F >= 0: sum of n s^2 w, halved
    double per_f = 0.0;      // sum of n s w / M, where the cancellation in 1 - e^-Z is bounded by F times this
    double biomass = 0.0;    // sum of n w, the F-free bound on the same
};

namespace catch_bounds_detail {
inline constexpr double u = 0x1p-24;  // unit roundoff of float
// Relative and cancellation parts of the bound on the float catch's error,
// twice what the derivation gives.
inline constexpr double rel = 48.0 * u;
inline constexpr double cancel = 2.1 * u;
// Roundoff of the few double operations of the estimate, relative to the
// magnitudes involved: far more than they can make.
inline constexpr double slack = 1e-12;
}  // namespace catch_bounds_detail

// The per-search figures for ages 0..count-1. An age with no selection and
// no natural mortality (Z = 0 at every F) starts the running catch again:
// the catch is the sum over the ages after the last such age, and only
// those count. Not usable (the search then computes every catch) unless, for
// every one of those ages, n, s, M and w are finite and not negative,
// Z = M + s F > 0 for every F > 0, and every age that catches anything (n, s
// and w all above 0) has n in [2^-30, 2^64], s in [2^-24, 16], w in
// [2^-24, 2^24] and M <= 40: then, for F in [fmin, fmax], no operation of the
// float catch underflows or overflows and every Z stays in (0, 80].
inline CatchBounds catch_bounds(const float* n, const float* sel, const float* natmor, const float* weca, int count) {
    CatchBounds b;
    double curv = 0.0, per_f = 0.0, biomass = 0.0;
    float smax = 0.0f;
    int first = 0;
    for (int a = count - 1; a >= 0; --a) {
        if (sel[a] == 0.0f && !(natmor[a] > 0.0f)) {
            first = a + 1;
            break;
        }
    }
    bool ok = count >= 1;
    for (int a = first; a < count; ++a) {
        const float na = n[a], sa = sel[a], ma = natmor[a], wa = weca[a];
        // Written so that NaN fails every test.
        ok = ok && na >= 0.0f && na <= 0x1p64f && sa >= 0.0f && sa <= 16.0f && ma >= 0.0f && ma <= 40.0f &&
             wa >= 0.0f && wa <= 0x1p24f && (ma > 0.0f || sa >= 0x1p-24f);
        if (!(na > 0.0f && sa > 0.0f && wa > 0.0f)) continue;  // a term that is exactly 0
        ok = ok && na >= 0x1p-30f && sa >= 0x1p-24f && wa >= 0x1p-24f;
        const double k = static_cast<double>(na) * sa * wa;
        curv += k * sa;
        per_f += ma > 0.0f ? k / ma : HUGE_VAL;
        biomass += static_cast<double>(na) * wa;
        smax = std::max(smax, sa);
    }
    if (!ok) return b;
    b.usable = true;
    b.fmin = 0x1p-12f;
    b.fmax = smax > 0.0f ? std::min(64.0f, 40.0f / smax * 0.999f) : 64.0f;
    using namespace catch_bounds_detail;
    b.half_curv = curv * 0.5 * (1.0 + slack);
    b.per_f = per_f * (1.0 + slack);
    b.biomass = biomass * (1.0 + slack);
    return b;
}

// The cancellation part of the float catch's error bound at F.
inline double cancellation_bound(const CatchBounds& b, double f) {
    return catch_bounds_detail::cancel * std::min(f * b.per_f, b.biomass);
}

// A catch known at F: the float catch y, and e, a bound on its distance from
// the real catch there. F = 0 has the real catch 0 exactly.
struct CatchPoint {
    double f = 0.0;
    double y = 0.0;
    double e = 0.0;
};

// The point of a float catch y computed at f (within [fmin, fmax]).
inline CatchPoint catch_point(const CatchBounds& b, float f, float y) {
    using namespace catch_bounds_detail;
    const double k = cancellation_bound(b, f);
    // |y - C| <= rel C + k with C <= (y + k) / (1 - rel).
    return {f, y, rel * (1.0 + 2.0 * rel) * (y + k) + k};
}

// The side of t on which the float catch at f falls, proven from the points
// p and q (at different F): +1 above, -1 below, 0 when not proven (then the
// catch must be computed). f within [fmin, fmax].
inline int catch_side(const CatchBounds& b, const CatchPoint& p, const CatchPoint& q, float f, float t) {
    using namespace catch_bounds_detail;
    const double x = f;
    const double d = q.f - p.f;
    const double wp = (q.f - x) / d, wq = (x - p.f) / d;
    const double est = wp * p.y + wq * q.y;  // the line through the two points
    const double dp = std::fabs(x - p.f), dq = std::fabs(x - q.f);
    const double wpa = std::fabs(wp), wqa = std::fabs(wq);
    // Real catch within est +- r: the points' own errors, the interpolation
    // remainder, and the roundoff of these lines.
    const double r = wpa * p.e + wqa * q.e + b.half_curv * dp * dq + slack * (wpa * p.y + wqa * q.y + t);
    // Float catch within est +- r + err.
    const double err = rel * (est + r) + cancellation_bound(b, x);
    const double gap = est - t, room = (r + err) * (1.0 + slack);
    if (gap > room) return 1;
    if (-gap > room) return -1;
    return 0;
}

}  // namespace tacsim
