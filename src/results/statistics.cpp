// Run statistics of an option set: the yearly tables of the Results file,
// the window summaries of the Years file, First_5 and All_years, and the
// line on standard output.
#include <cmath>

#include "records/records.hpp"
#include "management/rulebook.hpp"
#include "results/itembuf.hpp"
#include "results/results.hpp"

namespace tacsim {

namespace {

void emptyrecord(OutFile& out) { list_write(out, std::span<const Item>()); }

void copyyear(const ResArr& a, int y, ValueSet& w) {
    const int n = a.upper(1);
    for (int i = 1; i <= n; ++i) w(i) = a(y, i);
}

// One fractile table over years 0..40.
void fractable(State& s, const char* title, const char* heading, const Layout& row, const ResArr& a) {
    OutFile& out = s.unit(11);
    list_write(out, {title});
    list_write(out, {heading});
    ValueSet& w = s.values;
    for (int y = 0; y <= maxyear; ++y) {
        const float mean = yearmean(a, y);
        copyyear(a, y, w);
        float f10 = 0.0f, f50 = 0.0f, f90 = 0.0f;
        fractiles(w, s.scratch, f10, f50, f90);
        fmt_write(out, row, {y + s.year0, mean, f10, f50, f90});
    }
    emptyrecord(out);
}

void yearlytables(State& s, const YearVec& plim, const YearVec& ptrig, const YearVec& pcrash) {
    static const Layout meanrow("(i5,2x,f7.3,3f7.0,4f7.1)");
    static const Layout row10("(i5,2x,4f10.1)");
    static const Layout row7f3("(i5,2x,4f7.3)");
    static const Layout row7f1("(i5,2x,4f7.1)");
    static const Layout iavrow("(2i5,f7.1)");
    static constexpr const char* head10 = "Year        Mean       10%       50%       90%";
    static constexpr const char* head7 = "Year    Mean    10%    50%    90%";

    const float nit = static_cast<float>(s.nsim);
    OutFile& out = s.unit(11);
    list_write(out, {"Yearly true mean values"});
    list_write(out, {"Year    F      SSB     Catch  TAC  AbsIAV  Ptrig   Plim   Pcrash"});
    for (int y = 0; y <= maxyear; ++y) {
        float absiav = 0.0f;
        if (y > 0) {
            for (int i = 1; i <= s.nsim; ++i) {
                float r = 0.0f;
                if (relchange(s.tacres(y - 1, i), s.tacres(y, i), r)) absiav = absiav + std::fabs(r) / nit;
            }
        }
        fmt_write(out, meanrow,
                  {y + s.year0, yearmean(s.fres, y), yearmean(s.ssbres, y), yearmean(s.catchres, y),
                   yearmean(s.tacres, y), 100.0f * absiav, 100.0f * ptrig(y), 100.0f * plim(y),
                   100.0f * pcrash(y)});
    }
    emptyrecord(out);

    fractable(s, "Fractiles for TAC", head10, row10, s.tacres);
    fractable(s, "Fractiles for True F", head7, row7f3, s.fres);
    fractable(s, "Fractiles for True SSB", head10, row10, s.ssbres);
    fractable(s, "Fractiles for True TSB", head10, row10, s.tsbres);
    fractable(s, "Fractiles for Recruitment", head10, row10, s.recres);

    // Signed relative TAC change; each iteration's value also goes to
    // IAV_distr.
    const bool distr = s.iout(18) == 1;
    list_write(out, {"Fractiles for IAV [(TAC(y)-TAC(y-1)]/[(TAC(y-1)+TAC(y))/2] in %"});
    list_write(out, {head7});
    ValueSet& w = s.values;
    for (int y = 1; y <= maxyear; ++y) {
        const float mean = tac_changes(s, y, w);
        if (distr)
            for (int i = 1; i <= s.nsim; ++i) fmt_write(s.unit(18), iavrow, {i, y, w(i)});
        float f10 = 0.0f, f50 = 0.0f, f90 = 0.0f;
        fractiles(w, s.scratch, f10, f50, f90);
        fmt_write(out, row7f1, {y + s.year0, mean, f10, f50, f90});
    }
    emptyrecord(out);
}

// One summary record: the option values of the set, then the statistics.
void summaryrecord(State& s, OutFile& out, const WindowStats& st) {
    const HarvestRule* rule = run_rule(s);
    if (rule == nullptr) return;
    ItemBuf<48> items;
    for (int j = 1; j <= rule->nparams(); ++j) items.add(s.par(j));
    for (int j = 11; j <= 16; ++j) items.add(s.par(j));
    for (int j = 18; j <= 23; ++j) items.add(s.par(j));
    for (int j = 1; j <= 20; ++j) items.add(st(j));
    fmt_write(out, rule->summary_layout, items.span());
}

}  // namespace

float yearmean(const ResArr& a, int y) {
    const int n = a.upper(1);
    const float nit = static_cast<float>(n);
    float sum = 0.0f;
    for (int i = 1; i <= n; ++i) sum = sum + a(y, i) / nit;
    return sum;
}

void yearlyrisks(State& s, YearVec& plim, YearVec& ptrig, YearVec& pcrash) {
    // The trigger that Ptrig counts the first basis element below, as the
    // rule's description names it; none: Ptrig is 0.
    const HarvestRule* rule = run_rule(s);
    const int trig = rule != nullptr ? rule->desc.ptrig : 0;
    const float btrig = trig > 0 ? s.par(trig) : 0.0f;
    const float nit = static_cast<float>(s.nsim);
    ValueSet& w = s.values;
    for (int y = 0; y <= maxyear; ++y) {
        copyyear(s.ssbres, y, w);
        risk(s, w, s.blim, s.blimsig, s.riskmeth, plim(y));
    }
    for (int y = 0; y <= maxyear; ++y) {
        float sum = 0.0f;
        for (int i = 1; i <= s.nsim; ++i) sum = sum + static_cast<float>(s.icrash(y, i)) / nit;
        pcrash(y) = sum;
    }
    // Fraction of iterations whose decision basis lay below the trigger
    // (no decision in year 0).
    ptrig(0) = 0.0f;
    for (int y = 1; y <= maxyear; ++y) {
        int below = 0;
        for (int i = 1; i <= s.nsim; ++i) {
            if (trig > 0 && s.basisres(y, 1, i) < btrig) ++below;
        }
        ptrig(y) = static_cast<float>(below) / nit;
    }
}

int fractile_at(int n, float f) {
    const auto at = static_cast<int>(static_cast<double>(n) * static_cast<double>(f));
    return at < 1 ? 1 : (at > n ? n : at);
}

void fractiles(ValueSet& w, ValueSet& scratch, float& f10, float& f50, float& f90) {
    const int n = w.upper(0);
    const int pos[] = {fractile_at(n, 0.1f), fractile_at(n, 0.5f), fractile_at(n, 0.9f)};
    float v[3];
    sorted_at(w, scratch, pos, 3, v);
    f10 = v[0];
    f50 = v[1];
    f90 = v[2];
}

bool relchange(float t0, float t1, float& r) {
    if (t0 > 0.0f && t1 > 0.0f) {
        r = 2.0f * (t1 - t0) / (t0 + t1);
        return true;
    }
    r = 0.0f;
    return false;
}

float tac_changes(const State& s, int y, ValueSet& w) {
    const float nit = static_cast<float>(s.nsim);
    float mean = 0.0f;
    for (int i = 1; i <= s.nsim; ++i) {
        float r = 0.0f;
        relchange(s.tacres(y - 1, i), s.tacres(y, i), r);
        mean = mean + r / nit;
        w(i) = 100.0f * r;
    }
    return 100.0f * mean;
}

void crashperm(State& s) {
    for (int i = 1; i <= s.nsim; ++i) {
        for (int y = 2; y <= maxyear; ++y) {
            if (s.icrash(y - 1, i) > s.icrash(y, i)) s.icrash(y, i) = s.icrash(y - 1, i);
        }
    }
}

void windowstats(const State& s, int first, int last, const YearVec& plim, const YearVec& ptrig,
                 const YearVec& pcrash, WindowStats& out) {
    const float nf = static_cast<float>(last - first + 1);
    const ResArr* const arrs[4] = {&s.catchres, &s.fres, &s.ssbres, &s.tsbres};
    const float nit = static_cast<float>(s.nsim);
    ValueSet& w = s.values;
    for (int q = 0; q < 4; ++q) {
        const ResArr& a = *arrs[q];
        float total = 0.0f;
        for (int i = 1; i <= s.nsim; ++i) {
            float mi = 0.0f;
            for (int y = first; y <= last; ++y) {
                total = total + a(y, i) / nf / nit;
                mi = mi + a(y, i) / nf;
            }
            w(i) = mi;
        }
        float f10 = 0.0f, f50 = 0.0f, f90 = 0.0f;
        fractiles(w, s.scratch, f10, f50, f90);
        out(4 * q + 1) = total;
        out(4 * q + 2) = f10;
        out(4 * q + 3) = f50;
        out(4 * q + 4) = f90;
    }
    float iav = 0.0f, rmax = 0.0f, tmax = 0.0f;
    for (int i = 1; i <= s.nsim; ++i) {
        for (int y = first; y <= last; ++y) {
            float r = 0.0f;
            if (y > 0 && relchange(s.tacres(y - 1, i), s.tacres(y, i), r)) iav = iav + std::fabs(r) / nf / nit;
        }
    }
    for (int y = first; y <= last; ++y) {
        if (plim(y) > rmax) rmax = plim(y);
        if (ptrig(y) > tmax) tmax = ptrig(y);
    }
    out(17) = 100.0f * iav;
    out(18) = 100.0f * rmax;
    out(19) = 100.0f * tmax;
    out(20) = 100.0f * pcrash(last);
}

void bootprint(State& s) {
    crashperm(s);
    YearVec plim, pcrash, ptrig;
    yearlyrisks(s, plim, ptrig, pcrash);

    if (s.iout(11) == 1) yearlytables(s, plim, ptrig, pcrash);

    WindowStats st;
    if (s.iout(12) == 1) {
        windowstats(s, s.sumyr1, s.sumyr2, plim, ptrig, pcrash, st);
        summaryrecord(s, s.unit(12), st);
    }
    if (s.iout(14) == 1) {
        windowstats(s, 1, 5, plim, ptrig, pcrash, st);
        summaryrecord(s, s.unit(14), st);
    }
    if (s.iout(21) == 1) {
        windowstats(s, 1, maxyear, plim, ptrig, pcrash, st);
        summaryrecord(s, s.unit(21), st);
        list_write(s.con, {"All years: Cmean", st(1), "SSBmean", st(9), "risklim", st(18)});
    }

    writedistr(s);
    writetraj(s);
    writerecovery(s);
}

}  // namespace tacsim
