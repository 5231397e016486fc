// The simulation loop of one option set: 1000 iterations, each with its own
// regimes, outbursts, historic observation errors and starting stock, then
// the year-0 catch and the managed years 1..40.
#include <algorithm>
#include <cmath>

#include "random/draws.hpp"
#include "records/records.hpp"
#include "management/management.hpp"
#include "random/random.hpp"
#include "results/results.hpp"
#include "simulation/observer.hpp"
#include "simulation/simulation.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_pow.hpp"

namespace tacsim {

namespace {

// Regime of a period from one uniform deviate: equal chances, a deviate of
// exactly 1 counts as the last regime.
int drawnregime(State& s) {
    const float u = draw_uniform(s);
    int r = static_cast<int>(u * static_cast<float>(s.nreg)) + 1;
    if (r > s.nreg) r = s.nreg;
    return r;
}

// Random regime start years: durations of at least two years from the
// cumulative geometric table, counted from `regbase`.
void drawstarts(State& s) {
    creategeo(s.geo, s.regdur, maxyear);
    s.regstart(1) = 1;
    int yr = s.regbase;
    int k = 1;
    do {
        const float u = draw_uniform(s);
        int d = maxyear;
        for (int dd = 2; dd <= maxyear; ++dd) {
            if (s.geo(dd) >= u) {
                d = dd;
                break;
            }
        }
        yr += d;
        if (yr > 0 && yr <= maxyear && k <= maxreg) {
            s.regstart(k + 1) = yr;
            ++k;
        }
    } while (yr < maxyear);
    // End mark, and every later slot too, so that nothing of an earlier
    // iteration is read through the outburst windows.
    for (int j = k + 1; j <= maxreg + 1; ++j) s.regstart(j) = maxyear;
}

// Outburst years of regime g's window [ys, ye], the intervals counted from
// year `from`.
void outbursts(State& s, const Regime& g, int from, int ys, int ye) {
    if (!g.outbursts_on()) return;
    switch (g.outburst_law) {
        case 1: {  // lognormal intervals, the sum kept unrounded
            float x = static_cast<float>(from);
            for (;;) {
                const float z = draw_normal(s);
                x = x + g.outburst_interval * exp_sp(g.outburst_spread * z);
                const float xr = x + 0.5f;
                if (!(xr < 1.0e9f && xr > -1.0e9f)) break;  // far outside any window
                const int k = static_cast<int>(xr);
                if (k > ye || k < ys) break;
                s.iob(k) = 1;
            }
            break;
        }
        case 2: {  // geometric intervals
            const float p = 1.0f / g.outburst_interval;
            int k = from;
            for (;;) {
                const float u = draw_uniform(s);
                float sum = 0.0f;
                int d = 0;
                do {
                    ++d;
                    sum = sum + p * pow_sp(1.0f - p, static_cast<float>(d - 1));
                } while (!(sum >= u) && d < maxyear);
                k += d;
                if (k > ye || k < ys) break;
                s.iob(k) = 1;
            }
            break;
        }
        case 3: {  // uniform intervals, marking years up to 39 whatever the regime
            int k = from;
            for (;;) {
                const float u = draw_uniform(s);
                const float step = g.outburst_interval * (g.outburst_spread * u + 1.0f - g.outburst_spread / 2.0f) + 0.5f;
                if (!(step < 1.0e9f && step > -1.0e9f)) break;  // far beyond any model year
                k += static_cast<int>(step);
                if (k > maxyear - 1) break;
                if (k >= -15) s.iob(k) = 1;
            }
            break;
        }
        default:
            break;
    }
}

// Historic observation-error factors of years -lastage..0.
void historicerrors(State& s) {
    const float bias = s.par(shared("Bias_obs"));
    const float cv = s.par(shared("CVyr_obs"));
    for (int y = -s.lastage; y <= 0; ++y) {
        const float z = draw_normal(s);
        const float e = (1.0f + bias) * exp_sp(cv * z - cv * cv / 2.0f);
        for (int a = 0; a <= s.lastage; ++a) {
            if (a < s.firstage) {
                s.obserr(a, y) = 1.0f;
            } else {
                const float c = s.cvage(a);
                float za = 0.0f;
                if (c > 0.0f) za = draw_normal(s) * c;
                s.obserr(a, y) = exp_sp(za - c * c / 2.0f) * e;
            }
        }
    }
}

// Starting stock of year 0 and the year classes still below recruitment age.
void startstock(State& s, AgeVec& n) {
    switch (s.opt0) {
        case 1:
            prime(s, n);
            break;
        case 2:
        case 3:
            getactn(s, n);
            break;
        case 4:
            // The input numbers as the managers would perceive them, with
            // the observation bias reversed.
            s.par(shared("Bias_obs")) = -s.par(shared("Bias_obs"));
            obsmodel(s, s.nin, 0, 0);
            s.par(shared("Bias_obs")) = -s.par(shared("Bias_obs"));
            for (int a = 0; a <= maxage; ++a) {
                n(a) = s.nperc(a, 0, 0);
                s.nprojn(a, 0) = n(a);
            }
            break;
        default:
            stop_with(s, {"Incomprehensible code for initial numbers 0 ", s.opt0});
    }
    if (s.opt0 > 1 && s.firstage > 0) {
        for (int i = 0; i <= s.firstage - 1; ++i) {
            rcrparam(s, -i, 1);
            float r = 0.0f;
            recr(s, r, s.ssbpre(s.firstage - 1 - i), s.rcv);
            n(i) = r;
            s.ycfac(-i) = s.ycf;
        }
    }
}

// The stock step from year y to y + 1 (y = 0..39) under F `f` with
// spawning stock `ssb`: the regime of year y put in force with its cycle
// and outburst (the one place it is for these years), the mean weights of
// year y, the survival and recruitment, the observed recruitment and survey
// of year y. `isel`: the selection column (1 the input pattern in year 0,
// 2 the realised selection later).
void stockstep(State& s, AgeVec& n, int y, float f, float ssb, int isel) {
    rcrparam(s, y, 1);
    updatewema(s, y, n);
    nextyear(s, n, f, ssb, s.rcv, isel);
    obsrecruit(s, y, n, s.cvrec);
    obssurvey(s, y, n, f, s.cvsurv, isel);
    s.ycfac(y + 1) = s.ycf;
}

// Year 0: the known catch (or the priming F), its implementation, the first
// perception and the step to year 1.
void yearzero(State& s, AgeVec& n) {
    const int it = s.iter;
    for (int a = 0; a <= s.lastage; ++a) s.nhist(a, 0) = n(a);
    s.recres(0, it) = n(0);

    float c0 = 0.0f, f0 = 0.0f;
    int flag = 0;
    if (s.opt0 == 1) {
        f0 = s.fprime;
        yield(s, n, c0, f0, 1);
    } else {
        c0 = s.catch0;
        findf(s, n, c0, f0, flag, 1);
    }
    float ssb0 = 0.0f, tsb0 = 0.0f;
    calcssb(s, n, ssb0, f0, 1);
    s.ssbres(0, it) = ssb0;
    calctsb(s, n, tsb0);
    s.tsbres(0, it) = tsb0;
    s.fres(0, it) = f0;
    s.catchres(0, it) = c0;
    s.tacres(0, it) = c0;

    implement(s, s.tacres(0, it), s.catchres(0, it), n, s.fres(0, it), flag, s.catnum);
    getobscanum(s, s.catnum, 0);
    obsmodel(s, n, 0, 1);

    if (s.opt0 == 1) {
        s.fdecres(0, it) = f0;
    } else {
        // The F that the year-0 catch implies on the stock as perceived in
        // year 0.
        AgeVec np;
        for (int a = 0; a <= maxage; ++a) np(a) = s.nperc(a, 0, 0);
        float c = c0, f = 0.0f;
        int fl = 0;
        findf(s, np, c, f, fl, 1);
        s.fdecres(0, it) = f;
    }

    stockstep(s, n, 0, f0, ssb0, 1);
    for (int a = 0; a <= s.lastage; ++a) s.nhist(a, 1) = n(a);
    s.recres(1, it) = n(0);
}

// One managed year y = 1..40.
void simyear(State& s, AgeVec& n, int y) {
    const int it = s.iter;
    for (int a = 0; a <= s.lastage; ++a) n(a) = s.nhist(a, y);
    obsmodel(s, n, y, 1);

    if (s.tacres(y, it) < 0.0f) {
        hcr(s, s.tac, y);
        const int last = std::min(y + s.ntacyr - 1, maxyear);
        for (int k = y; k <= last; ++k) s.tacres(k, it) = s.tac(k);
        // The later years of the TAC period were decided on this year's basis.
        for (int k = y + 1; k <= last; ++k) {
            for (int i = 1; i <= maxbasis; ++i) s.basisres(k, i, it) = s.basisres(y, i, it);
        }
    }

    int flag = 0;
    implement(s, s.tacres(y, it), s.catchres(y, it), n, s.fres(y, it), flag, s.catnum);
    getobscanum(s, s.catnum, y);

    float ssb = 0.0f, tsb = 0.0f;
    calcssb(s, n, ssb, s.fres(y, it), 2);
    s.ssbres(y, it) = ssb;
    calctsb(s, n, tsb);
    s.tsbres(y, it) = tsb;

    if (ssb < s.blim / 10.0f || flag == 1) s.icrash(y, it) = 1;

    if (y <= maxyear - 1) {
        stockstep(s, n, y, s.fres(y, it), ssb, 2);
        for (int a = 0; a <= s.lastage; ++a) {
            s.weca(a) = s.wecayr(y + 1, a);
            s.west(a) = s.westyr(y + 1, a);
            s.matur(a) = s.maturyr(y + 1, a);
            s.nhist(a, y + 1) = n(a);
        }
        s.recres(y + 1, it) = n(0);
    }
}

}  // namespace

void checkregimecode(State& s) {
    if (s.nreg > 1 && s.regtype != 1 && s.regtype != 2)
        stop_with(s, {"Incomprehensible code for regime shift", s.regtype});
}

void drawregimes(State& s) {
    if (s.nreg > 1) {
        checkregimecode(s);
        if (s.regtype == 2) drawstarts(s);
    }
    for (int y = 0; y <= maxyear; ++y) s.ireg(y) = 1;
    if (s.nreg <= 1) return;

    for (int j = 2; j <= maxreg; ++j) {
        const int first = s.regstart(j);
        // A random start at the end mark makes no period: the period before
        // it already runs to the last year.
        if (s.regtype == 2 && first >= maxyear) break;
        const int next = s.regstart(j + 1);
        const int last = (next == maxyear) ? maxyear : next - 1;
        const int r = (s.regtype == 1) ? j : drawnregime(s);
        for (int y = std::max(first, 0); y <= std::min(last, maxyear); ++y) s.ireg(y) = r;
        if (last >= maxyear) break;
    }
}

void drawoutbursts(State& s) {
    for (int y = -15; y <= maxyear; ++y) s.iob(y) = 0;
    for (int r = 1; r <= s.nreg; ++r) {
        const Regime& g = s.regime(r);
        const int ys = (r == 1) ? 0 : s.regstart(r);
        const int ye = (r == s.nreg) ? maxyear : s.regstart(r + 1);
        outbursts(s, g, g.outburst_offset + ys, ys, ye);
    }
    // The outburst law of the last regime stays in force: priming raises
    // its level by it (see the moments of the regime in force in
    // stock/stock.hpp).
    if (s.nreg < 1) return;
    s.obmean = s.regime(s.nreg).outburst_interval;
    s.obfac = s.regime(s.nreg).outburst_factor;
}

void bootruns(State& s) {
    s.seed = start_seed;
    for (int it = 1; it <= s.nsim; ++it) bootiter(s, it);
}

void bootiter(State& s, int it) {
    AgeVec& n = s.nwork;
    if (s.observer != nullptr) s.observer->iteration(s, it);
    s.iter = it;
    stream_iteration(s, it);
    drawregimes(s);
    drawoutbursts(s);

    for (int a = 0; a <= s.lastage; ++a) {
        n(a) = -1.0f;
        s.weca(a) = s.wecayr(0, a);
        s.west(a) = s.westyr(0, a);
        s.matur(a) = s.maturyr(0, a);
        for (int y = 0; y <= maxyear; ++y) s.nhist(a, y) = -1.0f;
    }
    for (int y = -15; y <= maxyear; ++y) {
        s.ycfac(y) = 1.0f;
        s.ssbsurv(y) = -1.0f;
        s.bsurv(y) = -1.0f;
    }

    historicerrors(s);
    startstock(s, n);
    yearzero(s, n);
    for (int y = 1; y <= maxyear; ++y) simyear(s, n, y);
    for (int y = 0; y <= maxyear; ++y) s.regres(y, it) = s.ireg(y);

    if (s.iout(19) == 1 && it <= 100) printbas(s, s.nhist);
    if (s.iout(20) == 1 && it <= 99) printsr(s, s.nhist);
    if (s.iout(25) == 1 && it <= 9) printwema(s);
    if (s.iout(26) == 1 && it <= 19) printrecr(s);
}

}  // namespace tacsim
