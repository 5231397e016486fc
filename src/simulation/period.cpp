// The legacy stream's period against the iterations a run asks for: the
// draws of an option set are counted in a trial of its first iterations and
// scaled to the run's number.
#include <string>

#include "io/outfiles.hpp"
#include "perrecruit/perrecruit.hpp"
#include "random/random.hpp"
#include "simulation/parallel.hpp"

namespace tacsim {

namespace {

// Digits in groups of three: 5,882,352.
std::string grouped(long long v) {
    const std::string d = std::to_string(v);
    std::string out;
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i > 0 && d[i] != '-' && d[i - 1] != '-' && (d.size() - i) % 3 == 0) out += ',';
        out += d[i];
    }
    return out;
}

}  // namespace

LegacyDraws legacy_draws(const State& s, int trial) {
    LegacyDraws d;
    auto w = make_state();
    prepare_worker(*w, s);
    // Everything the trial writes is held and dropped.
    for (const LegacyFile& f : legacy_files) w->unit(f.unit).hold(s.unit(f.unit).name());
    w->con.hold("standard output");
    w->err.hold("error stream");
    static_cast<Model&>(*w) = static_cast<const Model&>(s);
    try {
        // The per-recruit analysis, whose recruitment values the first set
        // starts from.
        yieldrecr(*w);
    } catch (...) {
        return LegacyDraws{};  // the run stops there itself
    }
    SetJob job;
    job.k = 1;
    SweepOrder(s).values(job.par);
    job.start = std::make_shared<Model>(static_cast<const Model&>(*w));
    SetOutcome o;
    d.iterations = std::min(trial, s.nsim);
    runset_held(*w, job, o, d.iterations, nullptr, nullptr, nullptr, true);
    // A set that stops stops the run itself, with its own message.
    if (o.stop) return LegacyDraws{};
    d.counted = legacy_draws_between(start_seed, w->seed);
    if (d.counted <= 0) return LegacyDraws{};
    d.per_set = d.counted * s.nsim / d.iterations;
    return d;
}

void check_legacy_period(State& s, int trial) {
    if (s.rng.on != 0 || s.nsim == maxiter) return;
    const LegacyDraws d = legacy_draws(s, trial);
    if (d.per_set <= legacy_period) return;
    long long most = d.counted > 0 ? legacy_period * d.iterations / d.counted : 0;
    s.err.put(std::to_string(s.nsim) + " iterations per option set are too many for the legacy random stream: " +
              "a set would draw about " + grouped(d.per_set) + " numbers (" + grouped(d.counted) + " in the first " +
              std::to_string(d.iterations) + " iterations of the first option set, scaled), more than the " +
              grouped(legacy_period) + " of its period, after which its draws repeat. Give --seed S for the " +
              "counter-based stream, which has no such limit, or at most about --nsim " + std::to_string(most));
    s.err.end_record();
    stop(s);
}

}  // namespace tacsim
