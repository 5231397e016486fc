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
// Whether the outbursts in force happen (outbursts_happen).
inline bool outbursts_on(const State& s) { return outbursts_happen(s.obmean, s.obfac); }
// The mean level over the years when outbursts multiply recruitment.
inline void raise_for_outbursts(State& s) {
    if (outbursts_on(s)) s.rmax = ((s.obfac - 1.0f) / s.obmean + 1.0f) * s.rlevel;
}
// The regime in force (the fields rreg .. obfac of the model) is what recr
// draws from. It is put in force at these moments, in this order, and each
// leaves something the next one reads:
//  1. Start of the run, the per-recruit analysis: each regime in turn
//     (put_in_force), its level raised for outbursts and scaled for
//     truncation, then put back; the last regime stays in force.
//  2. Start of an iteration, the outburst years (drawoutbursts): they leave
//     the outburst interval and factor of the last regime in force, and
//     nothing else.
//  3. Priming (prime): keeps the function, level, SSB parameter and CV in
//     force, those of step 1 in the first iteration and of the previous
//     iteration's last step (6 or 5) later, unless their function is not
//     1..3 (a regime drawn per iteration), when it puts the regime of year 1
//     in force without its cycle. It raises the level by the outburst law of
//     step 2 before its first warm-up year and before each year of its
//     history; recr puts the level back after each draw, so the other
//     warm-up years draw at the plain level.
//  4. A starting stock from numbers with year classes below the recruitment
//     age: the regime of year 0 (regime 1) for each, the youngest drawn at
//     the level of year 0's cycle and outburst, the others (years before 0)
//     at the level the draw before left.
//  5. The stock step of each year 0..39 (rcrparam(y, 1) in stockstep,
//     simulation/bootruns.cpp): the regime of the year with its cycle and
//     outburst.
//  6. A decision projection with recruitment by regime (recproj 2): the
//     regime of the year it looks at, without cycle; the next stock step
//     (5) puts its own back.
// Puts regime r as bio.inn gives it in force; not the level of the next
// draw (rmax), which each moment sets itself.
void put_in_force(State& s, int r);
// Puts the regime of year y in force (years before 1: regime 1; after 40:
// that of year 40), with the iteration's parameter set when it is drawn per
// iteration, and the level of the next draw: with mode > 0 and a cycle, the
// cycle and an outburst of year y (years outside 0..40 keep the level of
// the draw before); otherwise the regime's level.
void rcrparam(State& s, int y, int mode);
// One recruitment from `ssb` with the regime in force and deviate CV `cv`;
// sets the growth factor of the year class (ycf) and puts the level of the
// next draw back to the regime's level: a cycle or outburst serves one draw.
void recr(State& s, float& r, float ssb, float cv);

// ---- weights and maturity
void updatewema(State& s, int y, const AgeVec& n);
void calcwema(State& s, int a, float tsb, float cyc, float e, float g, int noise);

}  // namespace tacsim
