// Population dynamics: stock arithmetic, recruitment, weights and maturity.
#pragma once

#include "model/state.hpp"

namespace tacsim {

// ---- stock arithmetic (isel: selection column 1 = input pattern, 2 = the
//      pattern the fleet realised this year)
void yield(State& s, const AgeVec& n, float& y, float f, int isel);
void yielda(State& s, const AgeVec& n, float& y, AgeVec& cn, float f, float& agec, int isel);
void calcssb(State& s, const AgeVec& n, float& ssb, float f, int isel);
void calcssba(State& s, const AgeVec& n, float& ssb, AgeVec& ssba, float f, float& ages, int isel);
void calctsb(State& s, const AgeVec& n, float& tsb);
void calcbplus(State& s, const AgeVec& n, float& b);
// F that takes the catch t (flag 0 taken, 1 limited by fcap, 2 driven to 0);
// may lower t.
void findf(State& s, const AgeVec& n, float& t, float& f, int& flag, int isel);
void nextyear(State& s, AgeVec& n, float f, float ssb, float cv, int isel);
// A projection year in two steps with the exponentials of both in one run:
// calcssb that also gives the survival over the year at the same F (ages
// 0..lastage), then nextyear with that survival.
void calcssb_survival(State& s, const AgeVec& n, float& ssb, float f, int isel, float* survival);
void nextyear_survival(State& s, AgeVec& n, const float* survival, float ssb, float cv);

// ---- recruitment
// Whether the regime in force has outbursts: a mean interval above one year
// and a factor above 1. Otherwise no outburst year is drawn, and the mean
// level is not raised for them either.
inline bool outbursts_on(const State& s) { return s.obmean > 1.0f && s.obfac > 1.0f; }
// The mean level over the years when outbursts multiply recruitment.
inline void raise_for_outbursts(State& s) {
    if (outbursts_on(s)) s.rmax = ((s.obfac - 1.0f) / s.obmean + 1.0f) * s.rlevel;
}
void rcrparam(State& s, int y, int mode);
void recr(State& s, float& r, float ssb, float cv);

// ---- weights and maturity
void updatewema(State& s, int y, const AgeVec& n);
void calcwema(State& s, int a, float tsb, float cyc, float e, float g, int noise);

}  // namespace tacsim
