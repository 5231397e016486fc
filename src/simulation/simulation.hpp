// Simulation control: the loop over the iterations of one option set and
// the sweep over all option sets.
#pragma once

#include "model/state.hpp"

namespace tacsim {

// All 1000 iterations of the option set in `par`, years 0..40 each; fills
// the result arrays and writes the trace files of the first iterations.
void bootruns(State& s);
// Every option set of the ranges in `parrange`, in sweep order: headers,
// progress line, simulation and statistics per set.
void optruns(State& s);

// Stops the run when an option's highest value lies below its lowest.
void checkranges(State& s);
// Stops the run when there is more than one regime and the regime-shift code
// is neither 1 (fixed start years) nor 2 (random start years).
void checkregimecode(State& s);

// ---- pieces of one iteration's set-up (exposed for tests)

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

// Calls perset(s) once per option set with `par` holding its values, option
// 23 varying fastest and option 1 slowest.
template <class F>
void sweep(State& s, F&& perset) {
    Array<int, 1, noptions> nst, idx;
    for (int k = 1; k <= noptions; ++k) {
        nst(k) = optsteps(s, k);
        idx(k) = 0;
    }
    for (;;) {
        for (int k = 1; k <= noptions; ++k) {
            s.par(k) = s.parrange(k, 1) + s.parrange(k, 3) * static_cast<float>(idx(k));
        }
        perset(s);
        int k = noptions;
        while (k >= 1 && idx(k) >= nst(k)) {
            idx(k) = 0;
            --k;
        }
        if (k < 1) return;
        ++idx(k);
    }
}

}  // namespace tacsim
