// Management procedure: what the managers perceive (observation model), the
// decision basis, the harvest rules, the TAC decision and its implementation
// by the fleet.
#pragma once

#include "management/rulebook.hpp"
#include "model/state.hpp"

namespace tacsim {

using NHist = Array<float, 0, maxage, 0, maxyear>;  // true numbers (age, year)

// ---- observation model
void obsmodel(State& s, const AgeVec& ntrue, int y, int flag);
void getobscanum(State& s, const AgeVec& ctrue, int y);
void obsrecruit(State& s, int y, const AgeVec& n, float cv);
void obssurvey(State& s, int y, const AgeVec& n, float f, float cv, int mode);

// ---- decision basis
void buildbasis(State& s, int y, BasisVec& basis);
void buildcbasis(State& s, float& cb, int j, int y);
void compbasis(State& s, const NHist& nhist);
// Least-squares line through the points (x(i), yv(i)), i = 0..n-1.
void regress(const float* x, const float* yv, float& a, float& b, int n, float& ybar);

// ---- harvest rules (described in management/rulebook.hpp)
// The value of the run's rule (nrule) for the option set in `par`; a rule
// the run's rulebook does not hold stops the run.
void rule(State& s, float& v, const BasisVec& basis);
float rule1(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule2(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule3(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule4(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule5(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule6(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule7(const Array<float, 1, noptions>& par, const BasisVec& basis);
float rule8(const Array<float, 1, noptions>& par, const BasisVec& basis);

// ---- TAC decision
void hcr(State& s, TacVec& tac, int y);
void decideprimtac(State& s, int y, const AgeVec& nstart, BasisVec& basis, TacVec& tac, float& v);
void getvfromv(State& s, int y, const AgeVec& nstart, BasisVec& basis, TacVec& tac, float vin, float& vout);
void project(State& s, const AgeVec& nstart, AgeVec& nout, const TacVec& tacv, TacVec& catchv, int y, int& flag);
void getmeanrecr(State& s, int y);

// ---- implementation by the fleet
void implement(State& s, float& tac, float& catchv, AgeVec& ntrue, float& f, int& flag, AgeVec& cnum);

}  // namespace tacsim
