// The starting stock of an iteration: primed from empty under a constant F,
// or drawn as lognormal numbers around the input numbers; and the cumulative
// geometric table of random regime durations.
#include <cmath>

#include "management/management.hpp"
#include "random/random.hpp"
#include "simulation/simulation.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

void prime(State& s, AgeVec& n) {
    // Before the run's first draw the parameters in force may be those of a
    // regime drawn per iteration, which the per-recruit analysis leaves with
    // no function; take the regime of year 1 then.
    if (s.rfun < 1 || s.rfun > 3) rcrparam(s, 1, 0);

    const int last = s.lastage;
    raise_for_outbursts(s);
    n(0) = s.rmax;
    for (int a = 1; a <= last; ++a) n(a) = 0.0f;

    // Warm-up from a fixed spawning stock at which every function gives its
    // full level (the Ricker function peaks at rssb).
    float ssb = s.rssb;
    for (int j = 1; j <= 2 * last + 1; ++j) nextyear(s, n, s.fprime, ssb, 0.0f, 1);

    const float cv = s.rcv;
    AgeVec c;
    for (int j = 1; j <= 2 * last; ++j) {
        const int y = j - 2 * last;
        if (y >= s.minbyr && y >= -15) {
            for (int a = s.firstage; a <= last; ++a) {
                const float sa = s.sel(a, 1);
                // An age without mortality gives no catch (as in the catch
                // equation), not 0/0.
                if (s.natmor(a) + sa * s.fprime <= 0.0f) {
                    c(a) = 0.0f;
                    continue;
                }
                c(a) = n(a) * sa * s.fprime / (s.natmor(a) + sa * s.fprime) *
                       (1.0f - exp_sp(-sa * s.fprime - s.natmor(a)));
            }
            getobscanum(s, c, y);
        }
        calcssb(s, n, ssb, s.fprime, 1);
        updatewema(s, y, n);
        raise_for_outbursts(s);
        nextyear(s, n, s.fprime, ssb, cv, 1);
        if (j >= last) s.ycfac(y) = s.ycf;
    }
    s.rmax = s.rlevel;
}

void getactn(State& s, AgeVec& n) {
    const int k = s.lastage - s.firstage + 1;
    Vec20 mean;
    Mat20 cov;
    Vec20 x;
    for (int a = s.firstage; a <= s.lastage; ++a) {
        const int i = a - s.firstage + 1;
        // An age without fish draws around ln 1; it stays empty below.
        mean(i) = s.nin(a) != 0.0f ? log_sp(s.nin(a)) : 0.0f;
        for (int b = s.firstage; b <= s.lastage; ++b) {
            const int j = b - s.firstage + 1;
            if (s.opt0 == 2) {
                // The diagonal holds the SD of the log numbers, the rest the
                // covariances.
                cov(i, j) = a == b ? s.ninvar(a, a) * s.ninvar(a, a) : s.ninvar(a, b);
            } else {
                cov(i, j) = a == b ? s.nindiag(a) : 0.0f;
            }
        }
    }
    multnorm(s, mean, cov, x, k);
    for (int a = s.firstage; a <= s.lastage; ++a) {
        const float d = s.ninvar(a, a);
        n(a) = s.nin(a) != 0.0f ? exp_sp(x(a - s.firstage + 1) - d * d / 2.0f) : 0.0f;
    }
}

void creategeo(Array<float, 1, maxyear>& geo, float mean, int m) {
    const float p = 1.0f / mean;
    const float lq = log_sp(1.0f - p);
    float sum = 0.0f;
    for (int i = 1; i <= m; ++i) {
        sum = sum + p * exp_sp(lq * static_cast<float>(i - 1));
        geo(i) = sum;
    }
}

}  // namespace tacsim
