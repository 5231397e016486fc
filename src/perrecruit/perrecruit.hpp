// Deterministic yield and SSB per recruit with the equilibrium stock under
// density-dependent weights, and the reference points Fmax and F0.1.
#pragma once

#include "model/state.hpp"

namespace tacsim {

void yieldrecr(State& s);
void truncmult(State& s, float& m, int r);
void eqlib(State& s, AgeVec& n, float& ssb, float f, int& flag);
void nw(State& s, float tin, float& tout, float f, const AgeVec& lx, float& r, float& spr, int& flag);

}  // namespace tacsim
