// Simulation control: the loop over the iterations of one option set and
// the sweep over all option sets.
#pragma once

#include "model/state.hpp"

namespace tacsim {

// All 1000 iterations of the option set in `par`, years 0..40 each; fills
// the result arrays and writes the trace files of the first iterations.
void bootruns(State& s);
// Every seed of an option set's random stream starts here.
inline constexpr double start_seed = 15349668.0;

// Every option set of the ranges in `parrange`, in sweep order: headers,
// progress line, simulation and statistics per set; the state's observer is
// told of each set and iteration.
void optruns(State& s);

// Stops the run when an option's highest value lies below its lowest.
void checkranges(State& s);
// Stops the run when there is more than one regime and the regime-shift code
// is neither 1 (fixed start years) nor 2 (random start years).
void checkregimecode(State& s);

// ---- pieces of one iteration's set-up (exposed for tests)

// The starting stock: primed from empty under the constant F `fprime` (the
// observation model sees the catches of the priming years), or drawn as
// lognormal numbers around the input numbers.
void prime(State& s, AgeVec& n);
void getactn(State& s, AgeVec& n);
// The cumulative geometric table of random regime durations.
void creategeo(Array<float, 1, maxyear>& geo, float mean, int m);

// Regime in force in each year 0..40 (`ireg`); with random regimes also the
// start years (`regstart`). Draws from the run's random stream.
void drawregimes(State& s);
// Outburst years (`iob`) of every regime's window.
void drawoutbursts(State& s);

// ---- the sweep (exposed for tests)

// Number of steps of option k above its lowest value, never negative: a
// range whose highest value times 1.001 lies below the lowest (a negative
// range of one value with a step that is small against it) gives 0, its
// lowest value only.
int optsteps(const State& s, int k);
// Number of option sets of the whole sweep.
long long countsets(const State& s);

// The option sets of the sweep in order, option 23 varying fastest and
// option 1 slowest; `values` puts the current set's values into `par`.
class SweepOrder {
public:
    explicit SweepOrder(const State& s);
    bool done() const { return done_; }
    void values(Array<float, 1, noptions>& par) const;
    void advance();

private:
    const Array<float, 1, noptions, 1, 3>& range_;
    Array<int, 1, noptions> nst_, idx_;
    bool done_ = false;
};

// Calls perset(s) once per option set with `par` holding its values.
template <class F>
void sweep(State& s, F&& perset) {
    for (SweepOrder o(s); !o.done(); o.advance()) {
        o.values(s.par);
        perset(s);
    }
}

// ---- one option set in pieces (the sweep runs them in turn; the parallel
//      sweep runs them on its workers)

// Before the first iteration of the set in `par`: result arrays reset, the
// headers of the per-set files, the option values on standard output, the
// random stream back to its start.
void setbegin(State& s);
// Iteration `it` of the current set.
void bootiter(State& s, int it);
// After the last iteration: the statistics and the result files.
void setend(State& s);
// The finished set's records handed to the system.
void setflush(State& s);

}  // namespace tacsim
