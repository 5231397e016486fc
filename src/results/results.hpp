// Statistics over the iterations of an option set and the files that report
// them: yearly tables, window summaries, risk, distributions, trajectories,
// recovery and the trace files of single iterations.
#pragma once

#include "driver/state.hpp"

namespace tacsim {

using ValueSet = Array<float, 1, maxiter>;

void bootprint(State& s);
void sort(ValueSet& x);
void risk(State& s, const ValueSet& values, float blim, float sigma, int method, float& result);
void cumnorm(float x, float mean, float sd, float& p);

void printbas(State& s, const Array<float, 0, maxage, 0, maxyear>& nhist);
void printsr(State& s, const Array<float, 0, maxage, 0, maxyear>& nhist);
void printwema(State& s);
void printrecr(State& s);

}  // namespace tacsim
