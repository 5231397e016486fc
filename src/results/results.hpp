// Statistics over the iterations of an option set and the files that report
// them: yearly tables, window summaries, risk, distributions, trajectories,
// recovery and the trace files of single iterations.
#pragma once

#include "model/state.hpp"

namespace tacsim {

// The values of the iterations 1..nsim of one year or window.
using ValueSet = Array<float, 1, dyn>;
using YearVec = Array<float, 0, maxyear>;
using NHistArr = Array<float, 0, maxage, 0, maxyear>;

void bootprint(State& s);
// The one sort of the values of an option set: ascending, in the order of
// the insertion sort that puts each value before the first value already
// placed that is strictly greater. Equal values (+0 and -0 among them) keep
// their input order; a NaN goes where that insertion sort puts it.
void sort(ValueSet& x);
void risk(State& s, const ValueSet& values, float blim, float sigma, int method, float& result);
// Stops the run when a Blim or its sigma makes no sense for a risk method
// other than 0 (one that weighs values by their distance from Blim).
void checkriskref(State& s, float blim, float sigma);
void cumnorm(float x, float mean, float sd, float& p);
// The probability that an SSB of v lies below Blim by risk method `method`
// (0: 1 or 0; 1 and 2: Blim uncertain, normally or lognormally with sigma):
// one iteration's share of the risk.
float pbelow(float v, float blim, float sigma, int method);

void printbas(State& s, const NHistArr& nhist);
void printsr(State& s, const NHistArr& nhist);
void printwema(State& s);
void printrecr(State& s);

// ---- building blocks of bootprint (exposed for tests)

// Positions of the 10 %, 50 % and 90 % fractiles in 1000 sorted values.
inline constexpr int i10 = 100, i50 = 500, i90 = 899;
// The 5 %, 25 %, 75 % and 95 % fractiles by the same rule: the position is
// 1000 times the single-precision fraction, truncated (0.05f lies just
// above 0.05 and 0.95f just below 0.95).
inline constexpr int i05 = 50, i25 = 250, i75 = 750, i95 = 949;
// The position of fraction f in n sorted values by that rule: n times the
// single-precision fraction (in double), truncated, at least 1 (the
// constants above for n = 1000).
int fractile_at(int n, float f);

// Mean over the iterations of year y, accumulated term by term.
float yearmean(const ResArr& a, int y);
// Per year 0..40, as fractions: the risk to Blim by the run's risk method,
// the share of iterations whose decision basis lay below the trigger (0 in
// year 0, which has no decision), and the share crashed by that year (after
// crashperm).
void yearlyrisks(State& s, YearVec& plim, YearVec& ptrig, YearVec& pcrash);
// The values the sort would place at the positions pos[0] < pos[1] < ...
// (1..n), without sorting all of x: x is reordered, scratch (of x's size)
// overwritten.
void sorted_at(ValueSet& x, ValueSet& scratch, const int* pos, int npos, float* out);

// The 10 %, 50 % and 90 % fractiles of w (reordered; scratch overwritten).
void fractiles(ValueSet& w, ValueSet& scratch, float& f10, float& f50, float& f90);
// Relative TAC change 2(t1 - t0)/(t0 + t1) between two years; false (and
// r = 0) when either TAC is not positive.
bool relchange(float t0, float t1, float& r);
// The TAC change from year y - 1 to y (y >= 1) of every iteration in %
// (`w`), and the mean over the iterations in %: the one computation behind
// the legacy table of TAC changes, its file of each iteration's change and
// the CSV table.
float tac_changes(const State& s, int y, ValueSet& w);
// Crash flags made permanent: from year 1 on, a crash stays set.
void crashperm(State& s);

// The twenty statistics of a window of model years first..last, in the
// order of the summary record (Cmean, C10, C50, C90, Fmean, ..., IAV,
// Risklim, Probtrig, Crash). plim, ptrig and pcrash are fractions by year.
using WindowStats = Array<float, 1, 20>;
void windowstats(const State& s, int first, int last, const YearVec& plim, const YearVec& ptrig,
                 const YearVec& pcrash, WindowStats& out);

// Recovery from falls below Blim within k = 1..5 years: numbers of drops
// and of recoveries per horizon.
using Horizons = Array<int, 1, 5>;
void recovery(const State& s, Horizons& drops, Horizons& recoveries);

// The per-iteration files of an option set.
void writedistr(State& s);     // S0_distr and F_distr
void writetraj(State& s);      // Traj, iterations 1..20
void writerecovery(State& s);  // Recovery

}  // namespace tacsim
