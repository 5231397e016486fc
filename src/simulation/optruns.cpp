// The option sweep: every combination of the option ranges, each simulated
// and summarised in turn.
#include <charconv>

#include "io/outfiles.hpp"
#include "records/records.hpp"
#include "management/rulebook.hpp"
#include "results/results.hpp"
#include "results/tables.hpp"
#include "random/draws.hpp"
#include "simulation/observer.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

namespace {

// Result arrays back to "not yet simulated" before an option set.
void resetresults(State& s) {
    s.ssbres.fill(-1.0f);
    s.catchres.fill(-1.0f);
    s.tacres.fill(-1.0f);
    s.fres.fill(-1.0f);
    s.fdecres.fill(-1.0f);
    s.icrash.fill(0);
    // Years without a decision of their own must not show values of an
    // earlier option set.
    s.basisres.fill(0.0f);
    s.precres.fill(0.0f);
}

void runset(State& s, long long set) {
    if (s.observer != nullptr) s.observer->set_started(s, set);
    stream_set(s, set);
    setbegin(s);
    bootruns(s);
    setend(s);
    if (s.tables != nullptr) s.tables->endset(s, set);
    if (s.observer != nullptr) s.observer->set_finished(s, set);
    setflush(s);
    if (s.observer != nullptr) s.observer->set_saved(s, set);
}

}  // namespace

void setbegin(State& s) {
    resetresults(s);
    if (s.iout(11) == 1) {
        list_write(s.unit(11), {"Options for this run:"});
        header(s, 11);
    }
    for (const LegacyFile& f : legacy_files) {
        if (f.kind == FileKind::per_set && s.iout(f.unit) == 1) header(s, f.unit);
    }

    {
        const float* p = s.par.data();
        const Item items[noptions] = {p[0],  p[1],  p[2],  p[3],  p[4],  p[5],  p[6],  p[7],
                                      p[8],  p[9],  p[10], p[11], p[12], p[13], p[14], p[15],
                                      p[16], p[17], p[18], p[19], p[20], p[21], p[22]};
        list_write(s.con, std::span<const Item>(items, noptions));
    }
    s.con.restart_capture();

    s.cvrec = s.par(shared("CV_recr"));
    s.cvsurv = s.par(shared("CV_biosurv"));
    s.seed = start_seed;
}

void setend(State& s) { bootprint(s); }

void setflush(State& s) {
    // Whatever happens later in the run, the finished option sets are on disk.
    for (const LegacyFile& f : legacy_files) {
        if (s.unit(f.unit).is_open()) s.unit(f.unit).flush(&s.con);
    }
    if (s.tables != nullptr) s.tables->commit(&s.con);
    s.con.flush();
}

SweepOrder::SweepOrder(const State& s) : range_(s.parrange) {
    for (int k = 1; k <= noptions; ++k) {
        nst_(k) = optsteps(s, k);
        idx_(k) = 0;
    }
}

void SweepOrder::values(Array<float, 1, noptions>& par) const {
    for (int k = 1; k <= noptions; ++k) par(k) = range_(k, 1) + range_(k, 3) * static_cast<float>(idx_(k));
}

void SweepOrder::advance() {
    int k = noptions;
    while (k >= 1 && idx_(k) >= nst_(k)) {
        idx_(k) = 0;
        --k;
    }
    if (k < 1) {
        done_ = true;
        return;
    }
    ++idx_(k);
}

int optsteps(const State& s, int k) {
    const float lo = s.parrange(k, 1), hi = s.parrange(k, 2), step = s.parrange(k, 3);
    if (!(step > 0.0f)) return 0;
    // The factor 1.001 lets the highest value be reached despite rounding.
    const float q = (hi * 1.001f - lo) / step;
    if (!(q < 2.0e9f)) return 2000000000;
    // A range of one negative value with a step that is small against it
    // comes out a step or more below its lowest value: it still gives that
    // value, as every range does.
    if (!(q > 0.0f)) return 0;
    return static_cast<int>(q);
}

long long countsets(const State& s) {
    long long total = 1;
    for (int k = 1; k <= noptions; ++k) total *= static_cast<long long>(optsteps(s, k)) + 1;
    return total;
}

void checkranges(State& s) {
    for (int k = 1; k <= noptions; ++k) {
        if (s.parrange(k, 2) < s.parrange(k, 1)) {
            if (s.messages_to_err) {
                // "opt.inn line 14: the range of Target (option 3) runs
                // downwards: 0.5 to 0.3 by 0.1"
                const auto text = [](float v) {
                    char b[32];
                    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
                };
                const std::string name = option_names(s)[k - 1];
                std::string m = in_path(s, s.optfile);
                if (s.rangeline[k] > 0) m += " line " + std::to_string(s.rangeline[k]);
                m += ": the range of " + (name.empty() ? "option " + std::to_string(k)
                                                       : name + " (option " + std::to_string(k) + ")");
                m += " runs downwards: " + text(s.parrange(k, 1)) + " to " + text(s.parrange(k, 2)) + " by " +
                     text(s.parrange(k, 3));
                s.err.put(m);
                s.err.end_record();
                stop(s);
            }
            list_write(s.con, {"Mis-specified options range, option", k});
            list_write(s.con, {s.parrange(k, 1), s.parrange(k, 2), s.parrange(k, 3)});
            stop(s);
        }
    }
}

void optruns(State& s) {
    checkranges(s);
    if (results_columns(s) != s.nsim) size_results(s);
    if (s.observer != nullptr) s.observer->sweep_started(s, countsets(s));
    const long long done = s.observer != nullptr ? s.observer->sets_done() : 0;
    long long set = 0;
    sweep(s, [&set, done](State& st) {
        if (++set > done) runset(st, set);
    });
}

}  // namespace tacsim
