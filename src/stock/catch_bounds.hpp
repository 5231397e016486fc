// Bounds that let the F search tell on which side of the target the float
// catch at a trial F falls without computing it. The real catch C(F) (exact
// arithmetic on the same inputs) rises with F; it is bounded from the float
// catches computed so far, and the float catch is bounded from C(F). From
// these, two thresholds: above one the float catch is surely above the
// target, below the other surely below. docs/design.md ("The F search
// decides most trials from bounds") derives every constant here.
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
    double rho = 0.0;        // relative_error below at fmin: at least its value at any trial F
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
    int first = 0;
    for (int a = count - 1; a >= 0; --a) {
        if (sel[a] == 0.0f && !(natmor[a] > 0.0f)) {
            first = a + 1;
            break;
        }
    }
    double curv = 0.0, sum_k = 0.0, biomass = 0.0;
    float smax = 0.0f, smin = 16.0f, mmin = 40.0f;
    bool ok = count >= 1;
    for (int a = first; a < count; ++a) {
        const float na = n[a], sa = sel[a], ma = natmor[a], wa = weca[a];
        // Written so that NaN fails every test.
        ok = ok && na >= 0.0f && na <= 0x1p64f && sa >= 0.0f && sa <= 16.0f && ma >= 0.0f && ma <= 40.0f &&
             wa >= 0.0f && wa <= 0x1p24f && (ma > 0.0f || sa >= 0x1p-24f);
        if (!(na > 0.0f && sa > 0.0f && wa > 0.0f)) continue;  // a term that is exactly 0
        ok = ok && na >= 0x1p-30f && sa >= 0x1p-24f && wa >= 0x1p-24f;
        const double nw = static_cast<double>(na) * wa;
        const double k = nw * sa;
        curv += k * sa;
        sum_k += k;
        biomass += nw;
        smax = std::max(smax, sa);
        smin = std::min(smin, sa);
        mmin = std::min(mmin, ma);
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
    return b;
}

// The two bounds on the float catch's distance from the real catch C at F
// (F in [fmin, fmax]): the part beside rel C, growing with F; and the
// relative bound, shrinking as F grows.
inline double added_error(const CatchBounds& b, double f) {
    return catch_bounds_detail::cancel * std::min(f * b.per_f, b.biomass);
}
inline double relative_error(const CatchBounds& b, double f) {
    using namespace catch_bounds_detail;
    return rel + cancel / (b.m_min + b.s_min * f) * (1.0 + slack);
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
    const double k = added_error(b, f), r = relative_error(b, f);
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

// The bounds of catch_below and catch_above from two points on one side of
// F, A the nearer, B the farther (d = |A.f - B.f|, x = |F - A.f|): the line
// through them extended, the points' errors weighted by 1 + x/d and x/d,
// and the remainder at most half |C''| times x (d + x).
//   below: (A.y - A.e) + x ((A.y - A.e) - (B.y + B.e)) / d - hc x (d + x)
//   above: (A.y + A.e) + x ((A.y + A.e) - (B.y - B.e)) / d + hc x (d + x)
struct CatchReach {
    double from = 0.0, to = 0.0;  // F range (from, to) where it is used; empty while from >= to
    double anchor = 0.0, d = 0.0;
    double low0 = 0.0, low1 = 0.0, high0 = 0.0, high1 = 0.0;
};

// The side of t on which the float catch at a trial F falls, where the
// bounds prove it: from the two computed catches nearest the target, lo (not
// above t) and hi (above t), and the ones they replaced, lo2 and hi2;
// worked out again each time a point changes.
//  - Between lo and hi: the real catch is within catch_below and
//    catch_above of lo and hi; near hi, also within those of hi and hi2
//    (the line extended), and near lo of lo and lo2. The float catch is
//    above t where the greatest lower bound times (1 - rho) > t, rho the
//    relative error bound at fmin (it only shrinks with F); and below t
//    where the least upper bound times (1 + rel), plus the added error at
//    hi.f (it only grows with F), < t.
//  - Beyond them: the real catch rises with F, so from hi.f on it is at least
//    hi's least real catch, and up to lo.f at most lo's greatest; the same
//    tests.
// The roundoff of these double operations is covered by moving the levels
// by more than it can be.
struct CatchFilter {
    double t_up = HUGE_VAL;  // the least real catch that proves "above"
    double t_dn = -HUGE_VAL;  // the greatest one that proves "below"
    double p = 0.0, q = 0.0;  // lo.f and hi.f (no F between them while p >= q)
    double low0 = 0.0, low1 = 0.0, high0 = 0.0, high1 = 0.0, hc = 0.0;
    CatchReach below_hi, above_lo;
    double up_from = HUGE_VAL, down_to = -HUGE_VAL;
    double fmin = 0.0, fmax = 0.0;

    static void reach(const CatchReach& r, double x, double hc, double& low, double& high) {
        const double curv = hc * x * (r.d + x);
        low = std::max(low, r.low0 + r.low1 * x - curv);
        high = std::min(high, r.high0 + r.high1 * x + curv);
    }

    // +1 above t, -1 below t, 0 not proven.
    int side(double f) const {
        if (!(f >= fmin && f <= fmax)) return 0;
        double low = -HUGE_VAL, high = HUGE_VAL;
        if (f > p && f < q) {
            const double dx = f - p, curv = hc * dx * (q - f);
            low = low0 + low1 * dx - curv;
            high = high0 + high1 * dx + curv;
        }
        if (f > below_hi.from && f < below_hi.to) reach(below_hi, below_hi.anchor - f, hc, low, high);
        if (f > above_lo.from && f < above_lo.to) reach(above_lo, f - above_lo.anchor, hc, low, high);
        if (low > t_up || f >= up_from) return 1;
        if (high < t_dn || f <= down_to) return -1;
        return 0;
    }
};

namespace catch_bounds_detail {
// The reach from A away from B, up to one spacing d and no farther than
// limit; its largest magnitude goes into mag.
inline CatchReach catch_reach(const CatchPoint& a, const CatchPoint& b, double limit, double hc, double& mag) {
    CatchReach r;
    r.anchor = a.f;
    r.d = std::fabs(a.f - b.f);
    if (!(r.d > 0.0)) return r;
    const double inv_d = 1.0 / r.d;
    r.low0 = a.y - a.e;
    r.low1 = (r.low0 - (b.y + b.e)) * inv_d;
    r.high0 = a.y + a.e;
    r.high1 = (r.high0 - (b.y - b.e)) * inv_d;
    if (a.f < b.f) {
        r.from = std::max(a.f - r.d, limit);
        r.to = a.f;
    } else {
        r.from = a.f;
        r.to = std::min(a.f + r.d, limit);
    }
    mag += a.y + b.y + a.e + b.e + std::fabs(r.low1 * r.d) + std::fabs(r.high1 * r.d) + 2.0 * hc * r.d * r.d;
    return r;
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
    c.hc = b.half_curv;
    // Above: lower bound (1 - rho) > t.
    const double up = b.rho < 0.5 ? t / (1.0 - b.rho) * (1.0 + 1e-9) : HUGE_VAL;
    if (have_hi && hi.y - hi.e > up * (1.0 + slack)) c.up_from = hi.f;
    if (lo.f >= b.fmin && (lo.y + lo.e) * (1.0 + rel) * (1.0 + slack) + added_error(b, lo.f) < t * (1.0 - 1e-9))
        c.down_to = lo.f;
    if (!have_hi) return c;
    double mag = 0.0;
    if (lo.f < hi.f) {
        const double d = hi.f - lo.f, inv_d = 1.0 / d;
        c.p = lo.f;
        c.q = hi.f;
        c.low0 = lo.y - lo.e;
        c.low1 = ((hi.y - hi.e) - c.low0) * inv_d;
        c.high0 = lo.y + lo.e;
        c.high1 = ((hi.y + hi.e) - c.high0) * inv_d;
        // Every magnitude in side() between the points.
        mag += lo.y + hi.y + lo.e + hi.e + c.hc * d * d;
    }
    // The reaches stay below hi.f, where the added error is at most its
    // value at hi.f.
    if (hi2.f > hi.f) c.below_hi = catch_reach(hi, hi2, b.fmin, c.hc, mag);
    if (lo2.f >= 0.0 && lo2.f < lo.f) c.above_lo = catch_reach(lo, lo2, hi.f, c.hc, mag);
    // Roundoff far below slack times the magnitudes.
    const double off = slack * mag;
    c.t_up = up + off;
    c.t_dn = (t * (1.0 - 1e-9) - added_error(b, hi.f)) / (1.0 + rel) * (1.0 - 1e-9) - off;
    return c;
}

}  // namespace tacsim
