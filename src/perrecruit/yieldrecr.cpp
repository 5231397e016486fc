// Yield and SSB per recruit at equilibrium over a grid of F-factors for each
// recruitment regime, with the reference points Fmax and F0.1, and the effect
// of truncating the recruitment deviate on mean recruitment.
#include <cmath>
#include <vector>

#include "perrecruit/perrecruit.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

namespace {

constexpr int kYieldrecr = 22;
constexpr int kCatchAge = 23;
constexpr int kSsbAge = 24;

bool on(const State& s, int u) { return s.iout(u) == 1; }

void banner(OutFile& out, const char* text, int r) {
    static const char* const stars = "********************************";
    list_write(out, {stars});
    list_write(out, {text, r});
    list_write(out, {stars});
}

// Regime r in force for its analysis, drawn at its level.
void load_regime(State& s, int r) {
    put_in_force(s, r);
    s.rmax = s.rlevel;
}

// One free-form record: the F-factor and a value per age 0..lastage.
void age_row(OutFile& out, std::vector<Item>& items, float f, const AgeVec& v, int last) {
    items.clear();
    items.emplace_back(f);
    for (int a = 0; a <= last; ++a) items.emplace_back(v(a));
    list_write(out, items);
}

struct RefPoints {
    float fmax = 0.0f, ymax = 0.0f, smax = 0.0f;
    float f01 = -1.0f, y01 = -1.0f, s01 = -1.0f;
};

void write_refpoints(OutFile& out, const RefPoints& p) {
    static const Layout lfmax("('F at Ymax (approx): ',f5.2)");
    static const Layout lymax("('Yield at Fmax: ',f8.2)");
    static const Layout lsmax("('SSB at Fmax: ',f8.2)");
    static const Layout lf01("('F0.1: ',f8.3)");
    static const Layout ly01("('Yield at F0.1: ',f8.2)");
    static const Layout ls01("('SSB at F0.1: ',f8.2)");
    fmt_write(out, lfmax, {p.fmax});
    fmt_write(out, lymax, {p.ymax});
    fmt_write(out, lsmax, {p.smax});
    list_write(out, {});
    fmt_write(out, lf01, {p.f01});
    fmt_write(out, ly01, {p.y01});
    fmt_write(out, ls01, {p.s01});
}

// The table, the age distributions and the reference points of the regime
// whose parameters are in force.
void analyse(State& s, int r, std::vector<Item>& items) {
    static const Layout lrow("(f6.3,3f10.2,2f8.3,2f8.2,f10.2)");
    const int last = s.lastage;
    const bool yr = on(s, kYieldrecr), ca = on(s, kCatchAge), sa = on(s, kSsbAge);

    if (yr) {
        for (int a = 0; a <= last; ++a) {
            list_write(s.unit(kYieldrecr), {"age sel weca west matur", a, s.sel(a, 2), s.weca(a), s.west(a), s.matur(a)});
        }
        list_write(s.unit(kYieldrecr), {});
        list_write(s.unit(kYieldrecr), {"Yield and SSB per recruit with deterministic recruitment dependent on SSB: "});
    }

    // Mean recruitment level: raised for outbursts, scaled for truncation.
    raise_for_outbursts(s);
    float tm = 1.0f;
    truncmult(s, tm, r);
    s.rmax = s.rmax * tm;
    const float level = s.rmax;

    AgeVec n, cn, ssba;
    float ssb = 0.0f, tsb = 0.0f, y = 0.0f, agec = 0.0f, ages = 0.0f;
    int flag = 0;

    const float f0 = 0.0001f;
    eqlib(s, n, ssb, f0, flag);
    yield(s, n, y, f0, 1);
    const float slope0 = y / f0;

    if (yr) {
        list_write(s.unit(kYieldrecr),
                   {"F-factor  Yield       SSB      TSB   %Virg   Y/SSB Age_catch Age_SSB Recruits"});
    }

    RefPoints p;
    float coarse = -1.0f, ycoarse = 0.0f, yprev = 0.0f, s0 = 0.0f;
    for (int k = 0; k <= 100; ++k) {
        const float f = static_cast<float>(k) * 0.01f;
        eqlib(s, n, ssb, f, flag);
        if (flag == 1) break;
        calcssba(s, n, ssb, ssba, f, ages, 1);
        calctsb(s, n, tsb);
        yielda(s, n, y, cn, f, agec, 1);
        if (k == 0) s0 = ssb;
        const float slope = (y - yprev) / 0.01f;
        yprev = y;
        const float row[9] = {f, y, ssb, tsb, 100.0f * ssb / s0, y / ssb, agec, ages, n(0)};
        for (int c = 1; c <= 9; ++c) s.prtable(r, k, c) = row[c - 1];
        s.prrows(r) = k + 1;
        if (yr) {
            fmt_write(s.unit(kYieldrecr), lrow,
                      {row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], row[8]});
        }
        if (ca) age_row(s.unit(kCatchAge), items, f, cn, last);
        if (sa) age_row(s.unit(kSsbAge), items, f, ssba, last);
        if (y > p.ymax) {
            p.ymax = y;
            p.fmax = f;
            p.smax = ssb;
        }
        if (f > 0.0f && slope < 0.1f * slope0 && coarse < 0.0f) {
            coarse = f;
            ycoarse = y;
        }
    }

    // F0.1 refined in steps of 0.001 around the coarse value.
    if (coarse > 0.0f) {
        yprev = ycoarse;
        for (int j = 0; j <= 20; ++j) {
            const float f = coarse + static_cast<float>(j - 11) / 1000.0f;
            eqlib(s, n, ssb, f, flag);
            calcssba(s, n, ssb, ssba, f, ages, 1);
            yielda(s, n, y, cn, f, agec, 1);
            if (j > 0) {
                const float slope = (y - yprev) / 0.001f;
                if (f > 0.0f && slope < 0.1f * slope0 && p.f01 < 0.0f) {
                    p.f01 = f;
                    p.y01 = y;
                    p.s01 = ssb;
                }
            }
            yprev = y;
        }
    }

    const float ref[7] = {p.fmax, p.ymax, p.smax, p.f01, p.y01, p.s01, level};
    for (int c = 1; c <= 7; ++c) s.prref(r, c) = ref[c - 1];
    if (yr) write_refpoints(s.unit(kYieldrecr), p);
    list_write(s.con, {});
    write_refpoints(s.con, p);
}

}  // namespace

void yieldrecr(State& s) {
    std::vector<Item> items;
    items.reserve(maxage + 2);
    const bool yr = on(s, kYieldrecr);

    for (int r = 1; r <= s.nreg; ++r) {
        s.prrows(r) = 0;
        load_regime(s, r);
        banner(s.con, "Y/R for recruitment regime: ", r);
        if (yr) banner(s.unit(kYieldrecr), "Recruitment regime: ", r);
        for (int u : {kCatchAge, kSsbAge}) {
            if (!on(s, u)) continue;
            banner(s.unit(u), "Recruitment regime: ", r);
            list_write(s.unit(u), {});
            list_write(s.unit(u), {"F Age 0-maxage"});
        }

        if (s.rfun >= 1 && s.rfun <= 3) {
            analyse(s, r, items);
        } else {
            // Parameters drawn per iteration: no equilibrium to speak of.
            static const char* const none = "No per-recruit analysis: recruitment parameters are drawn per iteration";
            list_write(s.con, {none});
            if (yr) list_write(s.unit(kYieldrecr), {none});
        }

        s.rmax = s.rlevel;
        list_write(s.con, {});
        list_write(s.con, {});
        for (int u : {kYieldrecr, kCatchAge, kSsbAge}) {
            if (!on(s, u)) continue;
            list_write(s.unit(u), {});
            list_write(s.unit(u), {});
        }
    }

    for (int u : {kYieldrecr, kCatchAge, kSsbAge}) {
        if (s.unit(u).is_open()) s.unit(u).close(&s.con);
    }
}

void truncmult(State& s, float& m, int r) {
    const Regime& g = s.regime(r);
    constexpr float kNoFactor = -8.0f;
    const float cv = g.cv;
    // No deviate, or no known distribution of it: truncation changes nothing.
    if (cv <= 0.0f || (g.distribution != 1 && g.distribution != 2)) {
        m = 1.0f;
        return;
    }
    const bool normal = g.distribution == 1;
    float lo = g.low, hi = g.high;
    if (g.truncation == 2) {
        // Limits on the factor, turned into limits on the normal deviate.
        if (normal) {
            lo = (g.low - 1.0f) / cv;
            hi = (g.high - 1.0f) / cv;
        } else {
            // A lognormal factor is always positive: a limit at or below 0
            // lies below every factor, and its deviate limit is -8, below
            // which the normal mass is nothing in single precision. An upper
            // limit there admits nothing; a lower one cut at it is lowered.
            lo = g.low > 0.0f ? log_sp(g.low) / cv : kNoFactor;
            hi = g.high > 0.0f ? log_sp(g.high) / cv : kNoFactor;
            if (lo > hi) lo = hi;
        }
    }
    const float step = (hi - lo) / 100.0f;
    float z = lo + step / 2.0f;
    float sum = 0.0f;
    for (int k = 1; k <= 99; ++k) {
        const float d = exp_sp(-z * z / 2.0f) * 0.39894816f * step;
        float mult;
        if (normal) {
            mult = 1.0f + cv * z;
        } else if (g.truncation == 2) {
            mult = exp_sp(cv * z);
        } else {
            mult = exp_sp(cv * z - cv * cv / 2.0f);
        }
        // Far out in a tail the density is 0 while a lognormal factor may
        // overflow; such a point adds nothing (0 times infinity is no number).
        if (d != 0.0f) sum = sum + d * mult;
        z = z + step;
    }
    m = sum;
}

}  // namespace tacsim
