// Observation model: how the managers perceive the stock. Perceived numbers
// in the assessment year carry a yearly error and an age error averaged along
// each cohort; earlier years are reconstructed backwards from the observed
// catches; catches, the recruitment index and the surveys carry their own
// log-normal errors. The random draws are made in a fixed order, which is
// part of the behaviour of a run.
#include <algorithm>
#include <cmath>

#include "random/draws.hpp"
#include "management/management.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

namespace {

float normal_draw(State& s) { return draw_normal(s); }

// Perceived number at age a in year y of the assessment of year ay; an age
// below 0 counts as no fish, so callers treat it like a non-positive number.
float perceived(const State& s, int a, int y, int ay) {
    if (a < 0) return 0.0f;
    return s.nperc(a, y, ay);
}

// Terminal total and fishing mortality of the cohort pair ending in year y
// (the numbers at lastage-2 in year y and lastage-1 in year y+1). When the
// pair is unusable (a number not positive, or an F not positive) the pair one
// year earlier is tried, as long as its later year is not before year 0; the
// fallback is the highest F the fleet can exert.
void terminal_mortality(const State& s, int y, int ay, float& z, float& f) {
    const int old = s.lastage - 1;
    const float mold = s.natmor(old);
    for (int later = y + 1;; --later) {
        if (later != y + 1 && later < 0) break;
        const float nlater = perceived(s, old, later, ay);
        const float nearlier = perceived(s, old - 1, later - 1, ay);
        if (nlater > 0.0f && nearlier > 0.0f) {
            const float zt = log_sp(nearlier / nlater);
            const float ft = zt - mold;
            if (ft > 0.0f) {
                z = zt;
                f = ft;
                return;
            }
        }
    }
    f = s.fcap;
    z = s.fcap + mold;
}

}  // namespace

void obsmodel(State& s, const AgeVec& ntrue, int y, int flag) {
    s.biasobs = s.par(shared("Bias_obs"));
    s.cvobs = s.par(shared("CVyr_obs"));

    // Error factors of each year: a yearly factor common to all ages times an
    // age factor. The first assessment also draws the years its cohort
    // averaging reaches back to.
    // The draws come in the order of the years and ages; the exponentials of
    // the ages are then taken all at once.
    const int y0 = (y == 0) ? -s.ncorr : y;
    const int first = std::max(s.firstage, 0);
    const auto ages = static_cast<std::size_t>(std::max(s.lastage - first + 1, 0));
    float x[maxage + 1], ex[maxage + 1];
    for (int yy = y0; yy <= y; ++yy) {
        // The year's deviate, then those of the ages with an age error, in
        // age order: one run of draws.
        int drawn = 0;
        for (int a = first; a <= s.lastage; ++a) drawn += s.cvage(a) > 0.0f ? 1 : 0;
        float dev[maxage + 2];
        draw_normals(s, dev, drawn + 1);
        const float fy = (1.0f + s.biasobs) * exp_sp(s.cvobs * dev[0] - s.cvobs * s.cvobs / 2.0f);
        for (int a = 0; a < first && a <= s.lastage; ++a) s.nperc(a, y, y) = ntrue(a);
        drawn = 1;
        for (int a = first; a <= s.lastage; ++a) {
            float e = 0.0f;
            if (s.cvage(a) > 0.0f) e = s.cvage(a) * dev[drawn++];
            x[a - first] = e - s.cvage(a) * s.cvage(a) / 2.0f;
        }
        exp_sp(x, ex, ages);
        for (int a = first; a <= s.lastage; ++a) s.obserr(a, yy) = ex[a - first] * fy;
    }

    // Each age gets the weighted mean of the errors its cohort met in this
    // and earlier years.
    for (int a = 0; a <= s.lastage; ++a) {
        float wsum = 0.0f;
        float esum = 0.0f;
        for (int j = 0; j <= s.ncorr; ++j) {
            if (a - j < s.firstage) continue;
            esum = esum + s.corrw(j) * s.obserr(a - j, y - j);
            wsum = wsum + s.corrw(j);
        }
        const float g = (wsum > 0.0f) ? esum / wsum : 1.0f;
        s.nperc(a, y, y) = ntrue(a) * g;
    }

    if (flag <= 0) return;

    // Perceived history of this assessment, reconstructed backwards from the
    // observed catches. The slice starts empty so that nothing left by an
    // earlier iteration is read.
    const int ay = y;
    const int back = -s.minbyr;
    // Survival factors of each age, over a year and over half a year, used
    // for every cohort and year below.
    AgeVec em, emhalf;
    const auto all = static_cast<std::size_t>(std::max(s.lastage + 1, 0));
    for (int a = 0; a <= s.lastage; ++a) x[a] = s.natmor(a) / 2.0f;
    exp_sp(s.natmor.data(), em.data(), all);
    exp_sp(x, emhalf.data(), all);
    const int yfirst = ay + s.minbyr;
    for (int yy = yfirst; yy < ay; ++yy)
        for (int a = 0; a <= maxage; ++a) s.nperc(a, yy, ay) = 0.0f;

    // Cohorts present in the assessment year, followed back in time. The
    // number of the cohort one year later stays in a register (v) rather
    // than being read back from where it was just stored.
    for (int a = s.firstage; a <= s.lastage; ++a) {
        float v = s.nperc(a, ay, ay);
        for (int j = 1; j <= back; ++j) {
            const int ac = a - j;
            if (ac < s.firstage) break;
            v = v * em(ac) + s.canobs(ac, ay - j) * emhalf(ac);
            s.nperc(ac, ay - j, ay) = v;
        }
    }

    // Year by year, latest first: the age below the plus group (and the plus
    // group) from the catch equation with a terminal mortality, then that
    // cohort back in time.
    const int old = s.lastage - 1;
    for (int yy = ay - 1; yy >= yfirst; --yy) {
        float z = 0.0f;
        float f = 0.0f;
        terminal_mortality(s, yy, ay, z, f);
        const float div = f * (1.0f - exp_sp(-z));
        float v = s.canobs(old, yy) * z / div;
        s.nperc(old, yy, ay) = v;
        s.nperc(s.lastage, yy, ay) = s.canobs(s.lastage, yy) * z / div;
        for (int j = 1; j <= back; ++j) {
            const int ac = old - j;
            if (ac < s.firstage || yy - j < yfirst) break;
            v = v * em(ac) + s.canobs(ac, yy - j) * emhalf(ac);
            s.nperc(ac, yy - j, ay) = v;
        }
    }

    // Perceived reference F of the reconstructed years.
    const float nref = static_cast<float>(s.fbar2 - s.fbar1 + 1);
    for (int yy = yfirst; yy < ay; ++yy) {
        float sum = 0.0f;
        for (int a = s.fbar1; a <= s.fbar2; ++a) {
            const float nyoung = perceived(s, a - 1, yy, ay);
            const float nold = s.nperc(a, yy + 1, ay);
            if (nyoung > 0.0f && nold > 0.0f)
                sum = sum + (log_sp(nyoung / nold) - s.natmor(a));
            else
                sum = sum + s.fcap;
        }
        s.fperc(yy) = sum / nref;
    }
}

void getobscanum(State& s, const AgeVec& ctrue, int y) {
    for (int a = 0; a <= maxage; ++a) s.canobs(a, y) = 0.0f;
    float x[maxage + 1], e[maxage + 1];
    const int first = std::max(s.firstage, 0);
    float dev[maxage + 1];
    draw_normals(s, dev, s.lastage - first + 1);
    for (int a = first; a <= s.lastage; ++a) x[a - first] = s.cvcanum(a) * dev[a - first];
    exp_sp(x, e, static_cast<std::size_t>(std::max(s.lastage - first + 1, 0)));
    for (int a = first; a <= s.lastage; ++a) s.canobs(a, y) = ctrue(a) * e[a - first];
}

void obsrecruit(State& s, int y, const AgeVec& n, float cv) {
    const float z = normal_draw(s);
    s.rindex(y) = n(0) * exp_sp(cv * z);
}

void obssurvey(State& s, int y, const AgeVec& n, float f, float cv, int mode) {
    float ssb = 0.0f;
    calcssb(s, n, ssb, f, mode);
    const float z1 = normal_draw(s);
    s.ssbsurv(y) = ssb * exp_sp(cv * z1);
    float b = 0.0f;
    calcbplus(s, n, b);
    const float z2 = normal_draw(s);
    s.bsurv(y) = b * exp_sp(cv * z2);
}

}  // namespace tacsim
