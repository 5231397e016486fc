// TAC decision: project the perceived stock, build the decision basis, apply
// the harvest rule, turn the rule value into a TAC, search for a rule value
// that reproduces itself when the basis depends on the TAC, then apply the
// filter, the limit on the TAC change, the period fill and the minimum and
// maximum TAC. Runs every TAC year of every iteration: nothing is allocated.
#include <cmath>

#include "random/draws.hpp"
#include "management/management.hpp"
#include "random/random.hpp"
#include "stock/stock.hpp"
#include "model/mathf.hpp"
#include "model/mathf_log.hpp"

namespace tacsim {

namespace {

// TAC implied by the rule value v, from the projected numbers at the start
// of the TAC year.
float implied_tac(State& s, int y, const AgeVec& nout, const BasisVec& basis, float v) {
    switch (s.vtype) {
        case 1: {
            float c = 0.0f;
            yield(s, nout, c, v, 1);
            s.fdecres(y, s.iter) = v;
            return c;
        }
        case 2: {
            float b = 0.0f;
            calcbplus(s, nout, b);
            return v * b;
        }
        case 3:
            return v * basis(1);
        default:  // 4, the TAC itself (other codes are refused when read)
            return v;
    }
}

// Writes the TAC d into the TAC period: the same value every year, or linear
// steps from the previous year's TAC up to d.
void fill_period(const State& s, TacVec& tac, int y, float d) {
    const float p = tac(y - 1);
    const bool steps = s.ntacyr >= 2 && s.tacfill == 2;
    for (int k = y; k <= y + s.ntacyr - 1; ++k) {
        if (steps)
            tac(k) = tac(k - 1) + (d - p) / static_cast<float>(s.ntacyr);
        else
            tac(k) = d;
    }
}

// Numbers at the start of the TAC year of the latest projection.
void projected_start(const State& s, int y, AgeVec& nout) {
    nout.fill(0.0f);
    for (int a = 0; a <= s.lastage; ++a) nout(a) = s.nprojn(a, y);
}

// Whether a constraint basis passes its trigger: a trend below it, any other
// combination above it.
bool trigger_passed(int how, float cb, float trig) {
    if (how == 3) return cb < trig;
    return cb > trig;
}

}  // namespace

void project(State& s, const AgeVec& nstart, AgeVec& nout, const TacVec& tacv, TacVec& catchv, int y, int& flag) {
    flag = 0;
    AgeVec n = nstart;
    const int ay = y + s.lag;
    for (int a = 0; a <= s.lastage; ++a) s.nprojn(a, ay) = n(a);
    if (s.lastbyr < 1 && s.lag >= 0) {
        nout = n;
        s.precres(y, s.iter) = n(s.firstage);
        return;
    }
    const int recyear = (ay + s.mrlast > 1) ? ay + s.mrlast : 1;
    float f = 0.0f;
    for (int yy = ay; yy <= y + s.lastbyr; ++yy) {
        if (yy > y + s.ntacyr - 1) {
            // after the TAC period: the F of the year before
            yield(s, n, catchv(yy), f, 1);
        } else {
            // years up to the end of the TAC period take their TAC
            catchv(yy) = tacv(yy);
            int fl = 0;
            findf(s, n, catchv(yy), f, fl, 1);
            if (fl == 1) flag = 1;
        }
        if (yy <= maxyear) s.fperc(yy) = f;
        // The spawning stock and the survival over the year at the year's F,
        // their exponentials in one run.
        float ssb = 0.0f;
        float survival[maxage + 1];
        calcssb_survival(s, n, ssb, f, 1, survival);
        if (yy == y) nout = n;
        if (s.recproj == 2) {
            rcrparam(s, recyear, 0);
            nextyear_survival(s, n, survival, ssb, 0.0f);
        } else {
            nextyear_survival(s, n, survival, ssb, 0.0f);
            if (s.recproj == 1) n(0) = s.meanrec;
        }
        if (yy + 1 <= maxproj)
            for (int a = 0; a <= s.lastage; ++a) s.nprojn(a, yy + 1) = n(a);
        if (yy == y) s.precres(y, s.iter) = n(s.firstage);
    }
}

void getmeanrecr(State& s, int y) {
    const int ay = y + s.lag;
    float sum = 0.0f;
    int count = 0;
    for (int yy = ay + s.mrfirst; yy <= ay + s.mrlast; ++yy) {
        const float r = s.nperc(s.firstage, yy, ay);
        if (r > 0.0f) {
            sum = sum + log_sp(r);
            ++count;
        }
    }
    s.meanrec = (count > 0) ? exp_sp(sum / static_cast<float>(count)) : 0.0f;
}

void decideprimtac(State& s, int y, const AgeVec& nstart, BasisVec& basis, TacVec& tac, float& v) {
    AgeVec nout;
    TacVec catchv;
    int flag = 0;
    project(s, nstart, nout, tac, catchv, y, flag);
    buildbasis(s, y, basis);
    rule(s, v, basis);
    fill_period(s, tac, y, implied_tac(s, y, nout, basis, v));
}

void getvfromv(State& s, int y, const AgeVec& nstart, BasisVec& basis, TacVec& tac, float vin, float& vout) {
    // The numbers at the start of the TAC year do not depend on the TACs
    // being searched: take those of the latest projection.
    AgeVec nout;
    projected_start(s, y, nout);
    fill_period(s, tac, y, implied_tac(s, y, nout, basis, vin));
    TacVec catchv;
    int flag = 0;
    project(s, nstart, nout, tac, catchv, y, flag);
    buildbasis(s, y, basis);
    rule(s, vout, basis);
    fill_period(s, tac, y, implied_tac(s, y, nout, basis, vout));
}

void hcr(State& s, TacVec& tac, int y) {
    const int it = s.iter;
    const int ay = y + s.lag;
    const int pend = y + s.ntacyr - 1;  // last year of the TAC period

    // TACs decided so far, the last one carried forward provisionally.
    for (int k = 0; k <= y - 1; ++k) tac(k) = s.tacres(k, it);
    for (int k = y; k <= y + s.lastbyr; ++k) tac(k) = tac(k - 1);

    // Perceived stock of the assessment year, with the recruits replaced by
    // the mean or blurred as the options say.
    AgeVec nstart;
    nstart.fill(0.0f);
    for (int a = 0; a <= s.lastage; ++a) nstart(a) = s.nperc(a, ay, ay);
    if (s.recobs == 1 || s.recproj == 1) getmeanrecr(s, y);
    for (int a = 0; a <= s.firstage; ++a) {
        if (s.recobs == 1) {
            nstart(a) = s.meanrec;
        } else if (s.recobs == 2) {
            const float z = draw_normal(s);
            nstart(a) = nstart(a) * exp_sp(s.recobscv * z);
        }
    }

    // The projections of this decision use the weights and maturity of the
    // assessment year throughout.
    for (int a = s.firstage; a <= s.lastage; ++a) {
        s.west(a) = s.westyr(ay, a);
        s.weca(a) = s.wecayr(ay, a);
        s.matur(a) = s.maturyr(ay, a);
    }

    BasisVec basis;
    basis.fill(0.0f);
    float v = 0.0f;
    decideprimtac(s, y, nstart, basis, tac, v);

    // When the basis reaches beyond the TAC year it depends on the TAC: search
    // for a rule value whose TAC gives back the same rule value.
    if (s.lastbyr > 0) {
        for (int k = 1;; ++k) {
            float vold = v;
            decideprimtac(s, y, nstart, basis, tac, v);
            float d;
            if (vold > 0.0f && v > 0.0f) {
                const float l = log_sp(vold / v);
                d = l * l;
            } else if (vold <= 0.0f && v == 0.0f) {
                d = 0.0f;
            } else {
                d = 1.0f;
            }
            if (d <= 1e-6f) break;
            if (k <= 4) continue;
            const float vmid = (v + vold) / 2.0f;
            float vout = 0.0f;
            getvfromv(s, y, nstart, basis, tac, vmid, vout);
            vold = vmid;
            v = vout;
            if (k > 30) {
                list_write(s.con, {"Eternal loop in search for v that reproduces itself in subroutine hcr"});
                list_write(s.con, {"Iteration", it, "year", y});
                list_write(s.con, {"set v=", vmid});
                break;
            }
            if (vmid == 0.0f) {
                if (std::fabs(vout - vmid) <= 1e-6f) break;
            } else if (std::fabs(vout - vmid) / vmid <= 1e-6f) {
                break;
            }
        }
    }

    TacVec trial;
    AgeVec nout;
    TacVec catchv;
    int flag = 0;
    float cb = 0.0f;

    // Filter: a trial path that moves only part of the way towards the new
    // TACs; taken when its basis passes the trigger. The TAC year is blended
    // with the previous TAC in every case.
    const float filt = s.par(shared("Filter"));
    if (filt < 1.0f && y > 0) {
        trial = tac;
        const int first = y + s.cbfirst(1);
        const int last = y + ((s.cblast(1) > s.ntacyr) ? s.cblast(1) : s.ntacyr);
        for (int k = (first > 0 ? first : 0); k <= last; ++k) {
            if (k < y)
                trial(k) = tac(k);
            else
                trial(k) = filt * tac(k) + (1.0f - filt) * trial(k - 1);
        }
        project(s, nstart, nout, trial, catchv, y, flag);
        buildcbasis(s, cb, 1, y);
        if (trigger_passed(s.cbhow(1), cb, s.par(shared("Trig_filt"))))
            for (int k = y; k <= pend; ++k) tac(k) = trial(k);
        tac(y) = filt * tac(y) + (1.0f - filt) * tac(y - 1);
    }

    // Period refill from the TAC year's value.
    if (s.ntacyr > 1) {
        if (s.tacfill == 1) {
            for (int k = y + 1; k <= pend; ++k) tac(k) = tac(y);
        } else if (s.tacfill == 2) {
            const float step = tac(y) - tac(y - 1);
            for (int k = y + 1; k <= pend; ++k) tac(k) = tac(k - 1) + step;
        }
    }

    // Limit on the change from the previous TAC.
    const float p = s.par(shared("Percent")) / 100.0f;
    if (p > 0.0f && y > 0) {
        const float r = tac(y) / tac(y - 1) - 1.0f;
        if (std::fabs(r) > p) {
            const float f = (r < 0.0f) ? 1.0f - p : 1.0f + p;
            if (s.pctmode == 1) {
                tac(y) = tac(y - 1) * f;
                if (s.ntacyr > 1)
                    for (int k = y + 1; k <= pend; ++k) tac(k) = tac(k - 1) * f;
            } else if (s.pctmode == 2) {
                trial = tac;
                const int first = y + s.cbfirst(2);
                const int last = y + ((s.cblast(2) > s.ntacyr) ? s.cblast(2) : s.ntacyr);
                for (int k = (first > 0 ? first : 0); k <= last; ++k) {
                    if (k < y)
                        trial(k) = tac(k);
                    else
                        trial(k) = trial(k - 1) * f;
                }
                project(s, nstart, nout, trial, catchv, y, flag);
                buildcbasis(s, cb, 2, y);
                if (trigger_passed(s.cbhow(2), cb, s.par(shared("Trig_perc"))))
                    for (int k = y; k <= pend; ++k) tac(k) = trial(k);
            }
        }
    }

    // Lowest and highest TAC; a TAC that is not a number takes the bound.
    const float mintac = s.par(shared("MinTAC")), maxtac = s.par(shared("MaxTAC"));
    for (int k = y; k <= pend; ++k) {
        if (mintac > 0.0f) tac(k) = std::fmax(tac(k), mintac);
        if (maxtac > 0.0f) tac(k) = std::fmin(tac(k), maxtac);
    }

    // Back to the weights and maturity of the TAC year.
    for (int a = s.firstage; a <= s.lastage; ++a) {
        s.west(a) = s.westyr(y, a);
        s.weca(a) = s.wecayr(y, a);
        s.matur(a) = s.maturyr(y, a);
    }

    // The basis of the last rule evaluation, also for the further years the
    // decision covers.
    for (int k = y; k <= pend && k <= maxyear; ++k)
        for (int i = 1; i <= s.nbasis; ++i) s.basisres(k, i, it) = basis(i);
}

}  // namespace tacsim
