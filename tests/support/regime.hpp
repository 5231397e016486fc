// The recruitment regime the tests and the benchmark build by hand: one
// regime of the given function (1 hockey stick, 2 Beverton-Holt, 3 Ricker)
// and distribution (1 normal, 2 lognormal) with its level and SSB parameter,
// exponent 1 and no deviates, cycle or outbursts.
#pragma once

#include "model/state.hpp"
#include "stock/stock.hpp"

namespace tacsim::testing {

inline void one_regime(State& s, int function, int distribution, float level, float ssb) {
    s.nreg = 1;
    s.regime(1).function = function;
    s.regime(1).distribution = distribution;
    s.regime(1).level = level;
    s.regime(1).ssb = ssb;
    s.regime(1).exponent = 1.0f;
}

// The same regime in force in every year (for projections that draw
// recruits from the SSB), with the reference recruitment at its level and no
// year-class factor.
inline void one_regime_in_force(State& s, int function, int distribution, float level, float ssb) {
    one_regime(s, function, distribution, level, ssb);
    for (int y = -15; y <= maxyear; ++y) s.ireg(y) = 1;
    s.rref = level;
    s.ycmin = 1.0f;
    s.ycmax = 1.0f;
    rcrparam(s, 1, 0);
}

}  // namespace tacsim::testing
