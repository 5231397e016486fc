// Random deviates: the one uniform generator of the run, normal deviates made
// from one uniform each, and multivariate normal draws.
#pragma once

#include "model/array.hpp"

namespace tacsim {

struct State;

using Vec20 = Array<float, 1, 20>;
using Mat20 = Array<float, 1, 20, 1, 20>;

// Uniform deviate in (0, 1]; advances the seed.
float rnx(double& seed);
// The legacy stream comes back to any seed after this many draws (the order
// of the multiplier 23 modulo 100000001).
inline constexpr long long legacy_period = 5882352;
// The draws that lead the legacy stream from seed `from` to seed `to` (both
// whole numbers below the modulus), fewer than the period; -1 when `to`
// does not follow from `from`.
long long legacy_draws_between(double from, double to);
// Standard normal deviate from one uniform deviate.
float snrn(float u);
// count standard normal deviates z[0..count-1], one uniform each, in order:
// the same numbers as count calls of snrn(rnx(seed)). Drawn in a loop of
// their own, with the seed in a register, several are under way at once.
void normal_deviates(double& seed, float* z, int count);
// z[k] = snrn(z[k]) for k < count, in vectors where the processor has them
// (chosen at run time); the same bits as one at a time.
void normal_quantiles(float* z, int count);
// x(1..n) jointly normal with the given means and covariance.
void multnorm(State& s, const Vec20& mean, const Mat20& cov, Vec20& x, double& seed, int n);
// The same from the run's stream (random/draws.hpp).
void multnorm(State& s, const Vec20& mean, const Mat20& cov, Vec20& x, int n);
// Inverse of the leading n x n block of the symmetric matrix a.
void syminv(State& s, const Mat20& a, Mat20& ainv, int n);

}  // namespace tacsim
