// Deterministic yield and SSB per recruit with the equilibrium stock under
// density-dependent weights, and the reference points Fmax and F0.1.
#pragma once

#include "model/state.hpp"

namespace tacsim {

void yieldrecr(State& s);
// The factor by which truncating the deviate of regime r (its CV,
// distribution, truncation and limits as bio.inn gives them) changes mean
// recruitment; 1 without a deviate.
void truncmult(State& s, float& m, int r);
void eqlib(State& s, AgeVec& n, float& ssb, float f, int& flag);
// Yield and SSB per recruit at F-factor f for the base weights and
// maturities at age (the values at the reference biomass), ages 0..lastage
// with the oldest a plus group. Nothing of the state is changed.
void perrecruit(const State& s, float f, float& ypr, float& spr);
// The F-factor at which the SSB per recruit falls to `target`: 0 when the
// unfished value is not above it, -1 when no F-factor up to 1e6 reaches it.
float fforspr(const State& s, float target);
// Slope at SSB 0 of the recruitment function `rfun` with mean level `level`
// and SSB parameter `rssb`; infinite when rssb is not positive, NaN for a
// function without a fixed form.
float originslope(int rfun, float level, float rssb);
void nw(State& s, float tin, float& tout, float f, const AgeVec& lx, float& r, float& spr, int& flag);

}  // namespace tacsim
