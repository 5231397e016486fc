// The single-precision exponential of the model, our own so that results do
// not depend on the platform's math library. It returns, for every float, the
// bits of the C library's expf on x86-64 with FMA (the library the model's
// reference results were made with); an exhaustive test over all 2^32 inputs
// holds it to that.
//
// Method: x/ln2 = k/32 + r/ln2 with k an integer; exp(x) = 2^(k/32) * e^r,
// 2^(k/32) from a 32-entry table and the exponent bits of k, e^r from a cubic
// in r. Everything in double precision, rounded once to float at the end; the
// reduction uses exactly one fused multiply-add. The one-value form takes it
// without one (a call into the math library where the build does not fuse):
// 32/ln2 split into a high part of 29 bits, whose product with the float x is
// exact and lies within a factor 2 of k (so taking k off is exact too), and
// the low rest. That gives the fused result's bits for every float (checked
// over all 2^32; the exhaustive test holds the result to the library's).
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tacsim {

namespace expf_detail {

inline constexpr double inv_ln2_n = 0x1.71547652b82fep+0 * 32;  // 32 / ln 2
inline constexpr double shift = 0x1.8p+52;                      // rounds to an integer
inline constexpr double c0 = 0x1.c6af84b912394p-5 / (32.0 * 32.0 * 32.0);
inline constexpr double c1 = 0x1.ebfce50fac4f3p-3 / (32.0 * 32.0);
inline constexpr double c2 = 0x1.62e42ff0c52d6p-1 / 32.0;
// inv_ln2_n = inv_ln2_hi + inv_ln2_lo, the high part with 29 significant bits.
inline constexpr double inv_ln2_hi =
    std::bit_cast<double>(std::bit_cast<std::uint64_t>(inv_ln2_n) & ~((std::uint64_t{1} << 24) - 1));
inline constexpr double inv_ln2_lo = inv_ln2_n - inv_ln2_hi;
// Above this x the result overflows to infinity; below the other it is 0.
inline constexpr float overflow_bound = 0x1.62e42ep6f;
inline constexpr float underflow_bound = -0x1.9fe368p6f;

// Bits of the double nearest 2^(i/32), less i << 47 (the part that k's
// low bits would add to the exponent field twice).
alignas(64) inline constexpr std::int64_t table[32] = {
    0x3ff0000000000000, 0x3fefd9b0d3158574, 0x3fefb5586cf9890f, 0x3fef9301d0125b51,
    0x3fef72b83c7d517b, 0x3fef54873168b9aa, 0x3fef387a6e756238, 0x3fef1e9df51fdee1,
    0x3fef06fe0a31b715, 0x3feef1a7373aa9cb, 0x3feedea64c123422, 0x3feece086061892d,
    0x3feebfdad5362a27, 0x3feeb42b569d4f82, 0x3feeab07dd485429, 0x3feea47eb03a5585,
    0x3feea09e667f3bcd, 0x3fee9f75e8ec5f74, 0x3feea11473eb0187, 0x3feea589994cce13,
    0x3feeace5422aa0db, 0x3feeb737b0cdc5e5, 0x3feec49182a3f090, 0x3feed503b23e255d,
    0x3feee89f995ad3ad, 0x3feeff76f2fb5e47, 0x3fef199bdd85529c, 0x3fef3720dcef9069,
    0x3fef5818dcfba487, 0x3fef7c97337b9b5f, 0x3fefa4afa2a490da, 0x3fefd0765b6e4540,
};

}  // namespace expf_detail

// e^x rounded to float, one value.
inline float exp_sp(float x) {
    using namespace expf_detail;
    const std::uint32_t abstop = (std::bit_cast<std::uint32_t>(x) >> 20) & 0x7ff;
    if (abstop >= 0x42b) {  // |x| >= 88, infinities and NaN
        if (x == -std::numeric_limits<float>::infinity()) return 0.0f;
        if (abstop >= 0x7f8) return x + x;  // NaN stays NaN, +inf stays +inf
        if (x > overflow_bound) return std::numeric_limits<float>::infinity();
        if (x < underflow_bound) return 0.0f;
    }
    const double xd = static_cast<double>(x);
    const double z = inv_ln2_n * xd;
    double kd = z + shift;
    const std::uint64_t ki = std::bit_cast<std::uint64_t>(kd);
    kd = kd - shift;
    const double r = (inv_ln2_hi * xd - kd) + inv_ln2_lo * xd;  // = fma(inv_ln2_n, xd, -kd)
    const std::uint64_t t = static_cast<std::uint64_t>(table[ki % 32]) + (ki << 47);
    const double s = std::bit_cast<double>(t);
    const double p = c0 * r + c1;
    const double q = c2 * r + 1.0;
    const double y = (p * (r * r) + q) * s;
    return static_cast<float>(y);
}

// y[i] = exp_sp(x[i]) for i < n, in vectors where the processor has them
// (chosen at run time); the same bits as one value at a time.
void exp_sp(const float* x, float* y, std::size_t n);

}  // namespace tacsim
