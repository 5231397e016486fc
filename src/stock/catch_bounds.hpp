// Bounds that let the F search tell on which side of the target the float
// catch at a trial F falls without computing it (findf_bounded). The real
// catch C(F) (exact arithmetic on the same inputs) rises with F; it is
// bounded from the float catches computed so far, and the float catch is
// bounded from C(F). docs/design.md ("The F search decides most trials from
// bounds") derives every constant here, and says why the model's search
// (findf) computes every catch instead.
#pragma once

#include <algorithm>
#include <cmath>

namespace tacsim {

// What the bounds need to know about one stock, one selection column and the
// natural mortality, worked out once per search. "Catching ages": those with
// n, s and w all above 0 (the other terms are exactly 0).
struct CatchBounds {
    bool usable = false;  // every age in the ranges where the bounds hold
    float fmin = 0.0f;    // the bounds hold for F in [fmin, fmax] only
    float fmax = 0.0f;
    double half_curv = 0.0;  // half a bound on |C''(F)| for F >= 0: sum of n s^2 w, halved
    double per_f = 0.0;      // sum of n s w, over the least M of catching ages
    double biomass = 0.0;    // sum of n w
    double m_min = 0.0;      // least M and least s of catching ages: every
    double s_min = 0.0;      // catching age's Z is at least m_min + s_min F
    double rho = 0.0;        // the relative bound at fmin: at least its value at any trial F
    double up_factor = HUGE_VAL;  // a real catch above t times this has its float catch above t
};

namespace catch_bounds_detail {
inline constexpr double u = 0x1p-24;  // unit roundoff of float
// Twice the constants of the derivation: the float catch y at F is within
//   rel C + cancel min(F per_f, biomass)   and within
//   (rel + cancel / (m_min + s_min F)) C
// of the real catch C.
inline constexpr double rel = 48.0 * u;
inline constexpr double cancel = 2.1 * u;
// Roundoff of the few double operations of the bounds, relative to the
// magnitudes involved: far more than they can make.
inline constexpr double slack = 1e-12;
}  // namespace catch_bounds_detail

// The per-search figures for ages 0..count-1. An age with no selection and
// no natural mortality (Z = 0 at every F) starts the running catch again:
// the catch is the sum over the ages after the last such age, and only
// those count. Not usable (the search then computes every catch) unless, for
// every one of those ages, n, s, M and w are finite and not negative,
// Z = M + s F > 0 for every F > 0, and every catching age has n in
// [2^-30, 2^64], s in [2^-24, 16], w in [2^-24, 2^24] and M <= 40: then, for
// F in [fmin, fmax], no operation of the float catch underflows or overflows
// and every Z stays in (0, 80].
inline CatchBounds catch_bounds(const float* n, const float* sel, const float* natmor, const float* weca, int count) {
    CatchBounds b;
    double curv = 0.0, sum_k = 0.0, biomass = 0.0;
    float smax = 0.0f, smin = 16.0f, mmin = 40.0f;
    bool ok = count >= 1;
    for (int a = 0; a < count; ++a) {
        const float na = n[a], sa = sel[a], ma = natmor[a], wa = weca[a];
        if (sa == 0.0f && !(ma > 0.0f)) {
            // Only the ages after this one count.
            curv = sum_k = biomass = 0.0;
            smax = 0.0f, smin = 16.0f, mmin = 40.0f;
            ok = true;
            continue;
        }
        // Written so that NaN fails every test; & rather than && keeps the
        // tests free of branches.
        ok &= (na >= 0.0f) & (na <= 0x1p64f) & (sa >= 0.0f) & (sa <= 16.0f) & (ma >= 0.0f) & (ma <= 40.0f) &
              (wa >= 0.0f) & (wa <= 0x1p24f) & ((ma > 0.0f) | (sa >= 0x1p-24f));
        const bool catches = (na > 0.0f) & (sa > 0.0f) & (wa > 0.0f);  // otherwise a term that is exactly 0
        ok &= (!catches) | ((na >= 0x1p-30f) & (sa >= 0x1p-24f) & (wa >= 0x1p-24f));
        const double nw = catches ? static_cast<double>(na) * wa : 0.0;
        const double k = nw * sa;
        curv += k * sa;
        sum_k += k;
        biomass += nw;
        smax = std::max(smax, catches ? sa : 0.0f);
        smin = std::min(smin, catches ? sa : 16.0f);
        mmin = std::min(mmin, catches ? ma : 40.0f);
    }
    if (!ok) return b;
    using namespace catch_bounds_detail;
    b.usable = true;
    b.fmin = 0x1p-12f;
    b.fmax = smax > 0.0f ? std::min(64.0f, 40.0f / smax * 0.999f) : 64.0f;
    b.half_curv = curv * 0.5 * (1.0 + slack);
    b.per_f = mmin > 0.0f ? sum_k / mmin * (1.0 + slack) : HUGE_VAL;
    b.biomass = biomass * (1.0 + slack);
    b.m_min = mmin;
    b.s_min = smin;
    b.rho = rel + cancel / (b.m_min + b.s_min * b.fmin) * (1.0 + slack);
    b.up_factor = b.rho < 0.5 ? 1.0 / (1.0 - b.rho) * (1.0 + 1e-9) : HUGE_VAL;
    return b;
}

// The part beside rel C of the first bound on the float catch's distance
// from the real catch C at F (F in [fmin, fmax]); it grows with F. (The
// second, relative, bound shrinks as F grows: rho, its value at fmin, holds
// for every trial F.)
inline double added_error(const CatchBounds& b, double f) {
    return catch_bounds_detail::cancel * std::min(f * b.per_f, b.biomass);
}

// A catch known at F: the float catch y, and e, a bound on its distance from
// the real catch there. F = 0 has the real catch 0 exactly.
struct CatchPoint {
    double f = 0.0;
    double y = 0.0;
    double e = 0.0;
};

// The point of a float catch y computed at f (within [fmin, fmax]); the
// relative bound taken at fmin, at least its value at f.
inline CatchPoint catch_point(const CatchBounds& b, float f, float y) {
    using namespace catch_bounds_detail;
    const double k = added_error(b, f), r = b.rho;
    // |y - C| <= rel C + k with C <= (y + k) / (1 - rel), and |y - C| <= r C
    // with C <= y / (1 - r).
    const double e1 = rel * (1.0 + 2.0 * rel) * (y + k) + k;
    const double e2 = r < 0.5 ? r * (1.0 + 2.0 * r) * y : HUGE_VAL;
    return {f, y, std::min(e1, e2) * (1.0 + slack)};
}

// Bounds on the real catch at F from the points p and q (p.f < q.f, inv_d
// = 1 / (q.f - p.f), give or take roundoff): the line through them, give or
// take their own errors (weighted as in the line) and the interpolation
// remainder, at most half |C''| times |F - p.f| |F - q.f|.
inline double catch_bound(const CatchBounds& b, const CatchPoint& p, const CatchPoint& q, double inv_d, double f,
                          double sign) {
    using namespace catch_bounds_detail;
    const double wp = (q.f - f) * inv_d, wq = (f - p.f) * inv_d;
    const double line = wp * p.y + wq * q.y;
    const double wpa = std::fabs(wp), wqa = std::fabs(wq);
    const double r = wpa * p.e + wqa * q.e + b.half_curv * std::fabs(f - p.f) * std::fabs(f - q.f);
    // The weights' roundoff (inv_d's included) moves the line by far less
    // than the slack.
    return line + sign * (r + slack * (wpa * p.y + wqa * q.y + r));
}
inline double catch_below(const CatchBounds& b, const CatchPoint& p, const CatchPoint& q, double f) {
    return catch_bound(b, p, q, 1.0 / (q.f - p.f), f, -1.0);
}
inline double catch_above(const CatchBounds& b, const CatchPoint& p, const CatchPoint& q, double f) {
    return catch_bound(b, p, q, 1.0 / (q.f - p.f), f, 1.0);
}

// One of the filter's bounds on the real catch at F, from two points A and
// B (d = |A.f - B.f|), with x = dir (F - A.f) in (0, d):
//   between them (B beyond F): the line through them, the points' errors
//     weighted as in the line, the remainder at most hc x (d - x);
//   A between F and B: the line extended, the errors weighted by 1 + x/d and
//     x/d, the remainder at most hc x (d + x);
// hc half the bound on |C''|. Kept multiplied by d, so that no division is
// needed: d low = a0 + a1 x - hcd x (d + cs x), d high = b0 + b1 x + hcd x
// (d + cs x), compared with tu = d t_up and td = d t_dn, where the levels
// also cover the roundoff.
struct CatchForm {
    double from = 0.0, to = 0.0;  // F range (from, to) where it is used; empty while from >= to
    double anchor = 0.0, dir = 1.0, cs = -1.0, d = 0.0, hcd = 0.0;
    double a0 = 0.0, a1 = 0.0, b0 = 0.0, b1 = 0.0, tu = HUGE_VAL, td = -HUGE_VAL;

    void test(double f, bool& above, bool& below) const {
        if (!(f > from && f < to)) return;
        const double x = dir * (f - anchor), curv = hcd * x * (d + cs * x);
        above |= a0 + a1 * x - curv > tu;
        below |= b0 + b1 * x + curv < td;
    }
};

// The side of t on which the float catch at a trial F falls, where the
// bounds prove it: from the two computed catches nearest the target, lo (not
// above t) and hi (above t), and the ones they replaced, lo2 and hi2;
// worked out again each time a point changes.
//  - Between lo and hi: the real catch is within the bounds of the line
//    through lo and hi; near hi, also of the line through hi2 and hi
//    extended (by at most their spacing), and near lo of lo2 and lo. The
//    float catch is above t where a lower bound times (1 - rho) > t, rho the
//    relative error bound at fmin (it only shrinks with F); and below t
//    where an upper bound times (1 + rel), plus the added error at hi.f (it
//    only grows with F), < t.
//  - Beyond them: the real catch rises with F, so from hi.f on it is at least
//    hi's least real catch, and up to lo.f at most lo's greatest; the same
//    tests.
struct CatchFilter {
    CatchForm between, below_hi, above_lo;
    double up_from = HUGE_VAL, down_to = -HUGE_VAL;
    double fmin = 0.0, fmax = 0.0;

    // +1 above t, -1 below t, 0 not proven.
    int side(double f) const {
        if (!(f >= fmin && f <= fmax)) return 0;
        bool above = f >= up_from, below = f <= down_to;
        between.test(f, above, below);
        below_hi.test(f, above, below);
        above_lo.test(f, above, below);
        return above ? 1 : (below ? -1 : 0);
    }
};

namespace catch_bounds_detail {
// The form from A and B; between them (F from A towards B) or beyond A
// (away from B), up to one spacing and within (lo, hi).
inline CatchForm catch_form(const CatchPoint& a, const CatchPoint& b, bool between, double lo, double hi,
                            double hc, double t_up, double t_dn) {
    CatchForm c;
    c.anchor = a.f;
    c.d = std::fabs(a.f - b.f);
    if (!(c.d > 0.0)) return c;
    const bool rightwards = (b.f > a.f) == between;
    c.dir = rightwards ? 1.0 : -1.0;
    c.cs = between ? -1.0 : 1.0;
    c.hcd = hc * c.d;
    c.from = std::max(rightwards ? a.f : a.f - c.d, lo);
    c.to = std::min(rightwards ? a.f + c.d : a.f, hi);
    const double sb = between ? 1.0 : -1.0;  // the sign of B's weight
    c.a0 = (a.y - a.e) * c.d;
    c.a1 = sb * ((b.y - sb * b.e) - (a.y - a.e));
    c.b0 = (a.y + a.e) * c.d;
    c.b1 = sb * ((b.y + sb * b.e) - (a.y + a.e));
    // Every magnitude in test(), times slack, is far more than its roundoff.
    const double off = slack * (a.y + b.y + a.e + b.e + 2.0 * hc * c.d * c.d) * c.d;
    c.tu = t_up * c.d + off;
    c.td = t_dn * c.d - off;
    return c;
}
}  // namespace catch_bounds_detail

// The filter for target t from the points lo and hi (have_hi false: no hi
// yet) and lo2, hi2 (no point where their F is below 0). lo at F = 0 is the
// real catch 0; every other point at an F within [fmin, fmax].
inline CatchFilter catch_filter(const CatchBounds& b, const CatchPoint& lo, const CatchPoint& hi, bool have_hi,
                                const CatchPoint& lo2, const CatchPoint& hi2, double t) {
    using namespace catch_bounds_detail;
    CatchFilter c;
    c.fmin = b.fmin;
    c.fmax = b.fmax;
    // Above: lower bound times (1 - rho) > t.
    const double t_up = t * b.up_factor;
    if (have_hi && hi.y - hi.e > t_up * (1.0 + slack)) c.up_from = hi.f;
    if (lo.f >= b.fmin && (lo.y + lo.e) * (1.0 + rel) * (1.0 + slack) + added_error(b, lo.f) < t * (1.0 - 1e-9))
        c.down_to = lo.f;
    if (!have_hi) return c;
    // Below: upper bound times (1 + rel) + the added error at hi.f < t. The
    // forms stay below hi.f, where the added error is at most that.
    constexpr double below_factor = 1.0 / (1.0 + rel) * (1.0 - 1e-9);
    const double t_dn = (t * (1.0 - 1e-9) - added_error(b, hi.f)) * below_factor;
    const double hc = b.half_curv;
    if (lo.f < hi.f) c.between = catch_form(lo, hi, true, lo.f, hi.f, hc, t_up, t_dn);
    if (hi2.f > hi.f) c.below_hi = catch_form(hi, hi2, false, b.fmin, hi.f, hc, t_up, t_dn);
    if (lo2.f >= 0.0 && lo2.f < lo.f) c.above_lo = catch_form(lo, lo2, false, lo.f, hi.f, hc, t_up, t_dn);
    return c;
}

}  // namespace tacsim
