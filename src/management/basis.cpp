// Decision basis: the stock indicators a harvest rule reads. Each element
// summarises one quantity (SSB, biomass above an age, recruits, recruitment
// index, SSB survey, biomass survey) over a window of years placed relative
// to the TAC year, as a mean, a minimum or a relative trend. The same
// machinery gives the bases of the TAC filter and of the TAC-change limit,
// and the basis of the true stock for the trace file.
#include <cmath>

#include "management/management.hpp"
#include "stock/stock.hpp"

namespace tacsim {

namespace {

// Longest window: years -15..45.
constexpr int maxwin = maxproj + 15 + 1;

// Numbers at age (ages firstage..lastage, 0 elsewhere) of window year y for
// TAC year ty: the perceived history of the latest assessment before it, the
// latest decision projection from the assessment year on.
void window_numbers(const State& s, int y, int ty, AgeVec& n) {
    n.fill(0.0f);
    const int ay = ty + s.lag;
    if (y < ay) {
        for (int a = s.firstage; a <= s.lastage; ++a) n(a) = s.nperc(a, y, ay);
    } else {
        for (int a = s.firstage; a <= s.lastage; ++a) n(a) = s.nprojn(a, y);
    }
}

[[noreturn]] void survey_not_done(State& s, int offset) {
    list_write(messages(s), {"A biomass survey is included in the decision basis"});
    list_write(messages(s), {"in year TAC year + ", offset, "which is before it has been performed"});
    list_write(messages(s), {"Correct the specification of the basis in the opt.inn file"});
    stop(s);
}

[[noreturn]] void short_trend(State& s) {
    list_write(messages(s), {"You ask for a trend over less than two years"});
    list_write(messages(s), {"Check definition of basis on the opt.inn file"});
    stop(s);
}

// Value of one window year of a perceived basis element of the given kind.
float perceived_value(State& s, int kind, int y, int ty) {
    AgeVec n;
    switch (kind) {
        case 1: {
            window_numbers(s, y, ty, n);
            float ssb = 0.0f;
            calcssb(s, n, ssb, s.fperc(y), 1);
            return ssb;
        }
        case 2: {
            window_numbers(s, y, ty, n);
            float b = 0.0f;
            calcbplus(s, n, b);
            return b;
        }
        case 3:
            window_numbers(s, y, ty, n);
            return n(s.firstage);
        case 4:
            return s.rindex(y);
        case 5:
            if (s.ssbsurv(y) < 0.0f) survey_not_done(s, y - ty);
            return s.ssbsurv(y);
        case 6:
            if (s.bsurv(y) < 0.0f) survey_not_done(s, y - ty);
            return s.bsurv(y);
        default:
            return 0.0f;
    }
}

// Combines the n values of a window: 1 mean, 2 minimum, 3 relative trend
// (slope over mean; its absolute value when `absolute`).
float combine(State& s, const float* val, int n, int how, bool absolute) {
    switch (how) {
        case 1: {
            float sum = 0.0f;
            for (int i = 0; i < n; ++i) sum = sum + val[i];
            return sum / static_cast<float>(n);
        }
        case 2: {
            float m = val[0];
            for (int i = 1; i < n; ++i)
                if (val[i] < m) m = val[i];
            return m;
        }
        case 3: {
            if (n < 2) short_trend(s);
            float x[maxwin];
            for (int i = 0; i < n; ++i) x[i] = static_cast<float>(i + 1);
            float a = 0.0f, b = 0.0f, ybar = 0.0f;
            regress(x, val, a, b, n, ybar);
            if (!(ybar > 0.0f)) return 0.0f;
            const float t = b / ybar;
            return absolute ? std::fabs(t) : t;
        }
        default:
            return 0.0f;
    }
}

float perceived_element(State& s, int kind, int first, int last, int how, int ty, bool absolute) {
    float val[maxwin];
    const int n = last - first + 1;
    if (n < 1 || n > maxwin) return 0.0f;  // refused when the options are read
    for (int i = 0; i < n; ++i) val[i] = perceived_value(s, kind, ty + first + i, ty);
    return combine(s, val, n, how, absolute);
}

}  // namespace

void regress(const float* x, const float* yv, float& a, float& b, int n, float& ybar) {
    const float fn = static_cast<float>(n);
    float sy = 0.0f, sx = 0.0f;
    for (int i = 0; i < n; ++i) {
        sy = sy + yv[i];
        sx = sx + x[i];
    }
    ybar = sy / fn;
    const float xbar = sx / fn;
    float sxy = 0.0f, sxx = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float dx = x[i] - xbar;
        sxy = sxy + yv[i] * dx;
        sxx = sxx + dx * dx;
    }
    b = sxy / sxx;
    a = ybar - b * xbar;
}

void buildbasis(State& s, int y, BasisVec& basis) {
    for (int i = 1; i <= s.nbasis; ++i)
        basis(i) = perceived_element(s, s.bkind(i), s.bfirst(i), s.blast(i), s.bhow(i), y, false);
}

void buildcbasis(State& s, float& cb, int j, int y) {
    cb = perceived_element(s, s.cbkind(j), s.cbfirst(j), s.cblast(j), s.cbhow(j), y, true);
}

void compbasis(State& s, const NHist& nhist) {
    float val[maxwin];
    AgeVec n;
    for (int i = 1; i <= s.nbasis; ++i) {
        for (int y = 1; y <= maxyear; ++y) {
            const int first = y + s.bfirst(i);
            const int last = y + s.blast(i);
            if (first < 0 || last > maxyear) {
                s.truebas(i, y) = -1.0f;
                continue;
            }
            const int nv = last - first + 1;
            if (nv < 1) {
                s.truebas(i, y) = 0.0f;
                continue;
            }
            for (int k = 0; k < nv; ++k) {
                const int yy = first + k;
                n.fill(0.0f);
                for (int a = 0; a <= s.lastage; ++a) n(a) = nhist(a, yy);
                float v = 0.0f;
                switch (s.bkind(i)) {
                    case 1:
                    case 5:
                        calcssb(s, n, v, s.fperc(yy), 1);
                        break;
                    case 2:
                    case 6:
                        calcbplus(s, n, v);
                        break;
                    case 3:
                        v = s.rindex(yy);
                        break;
                    case 4:
                        v = n(s.firstage);
                        break;
                    default:
                        break;
                }
                val[k] = v;
            }
            s.truebas(i, y) = combine(s, val, nv, s.bhow(i), false);
        }
    }
}

}  // namespace tacsim
