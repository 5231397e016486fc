// The single-precision power function of the model, our own so that results
// do not depend on the platform's math library. It returns, for every pair of
// floats, the bits of the C library's powf on x86-64 with FMA (the library the
// model's reference results were made with), NaN bit patterns included.
//
// Method: |x| = 2^k * z with z near 1; log2 z from a 16-entry table and a
// degree-5 polynomial; t = y * log2|x| in double; 2^t = 2^(j/32) * 2^rr from
// the 32-entry table of the exponential and a cubic in rr. Everything in
// double precision, rounded once to float at the end. The reduction
// r = z * invc - 1 must be one fused multiply-add (two unfused roundings move
// some results by one unit in the last place, for instance 0x1.a7272ep-1 to
// the power 39); the polynomial steps are fused as well.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "model/mathf.hpp"

namespace tacsim {

namespace powf_detail {

inline constexpr std::uint32_t off = 0x3f330000;  // the bits of 0x1.66p-1

// 1/c and log2 c for a point c in each of the 16 subintervals of
// [0x1.66p-1, 0x1.66p+0) (chosen by bits 19..22 of the input's bits less off).
struct LogEntry {
    double invc;
    double logc;
};
alignas(64) inline constexpr LogEntry log2_table[16] = {
    {0x1.661ec79f8f3bep+0, -0x1.efec65b963019p-2}, {0x1.571ed4aaf883dp+0, -0x1.b0b6832d4fca4p-2},
    {0x1.49539f0f010bp+0, -0x1.7418b0a1fb77bp-2},  {0x1.3c995b0b80385p+0, -0x1.39de91a6dcf7bp-2},
    {0x1.30d190c8864a5p+0, -0x1.01d9bf3f2b631p-2}, {0x1.25e227b0b8eap+0, -0x1.97c1d1b3b7afp-3},
    {0x1.1bb4a4a1a343fp+0, -0x1.2f9e393af3c9fp-3}, {0x1.12358f08ae5bap+0, -0x1.960cbbf788d5cp-4},
    {0x1.0953f419900a7p+0, -0x1.a6f9db6475fcep-5}, {0x1p+0, 0x0p+0},
    {0x1.e608cfd9a47acp-1, 0x1.338ca9f24f53dp-4},  {0x1.ca4b31f026aap-1, 0x1.476a9543891bap-3},
    {0x1.b2036576afce6p-1, 0x1.e840b4ac4e4d2p-3},  {0x1.9c2d163a1aa2dp-1, 0x1.40645f0c6651cp-2},
    {0x1.886e6037841edp-1, 0x1.88e9c2c1b9ff8p-2},  {0x1.767dcf5534862p-1, 0x1.ce0a44eb17bccp-2},
};
// log2(1 + r) ~ a4 r + a3 r^2 + a2 r^3 + a1 r^4 + a0 r^5
inline constexpr double a0 = 0x1.27616c9496e0bp-2;
inline constexpr double a1 = -0x1.71969a075c67ap-2;
inline constexpr double a2 = 0x1.ec70a6ca7baddp-2;
inline constexpr double a3 = -0x1.7154748bef6c8p-1;
inline constexpr double a4 = 0x1.71547652ab82bp+0;
// 2^r ~ 1 + c2 r + c1 r^2 + c0 r^3 (the exponential's coefficients, unscaled)
inline constexpr double c0 = 0x1.c6af84b912394p-5;
inline constexpr double c1 = 0x1.ebfce50fac4f3p-3;
inline constexpr double c2 = 0x1.62e42ff0c52d6p-1;
inline constexpr double shift = 0x1.8p+47;            // rounds t to a multiple of 1/32
inline constexpr double overflow = 0x1.fffffffd1d571p+6;  // above: +inf
inline constexpr std::uint64_t sign_bias = 1u << 16;  // lands on the sign bit after << 47

inline constexpr std::uint32_t quiet_bit = 0x00400000;
inline constexpr std::uint32_t default_nan = 0xffc00000;  // the NaN of x86's invalid operations

enum class Parity { none, odd, even };

// Whether the finite non-zero float with bits iy is a whole number, and if so
// whether odd or even.
inline Parity parity(std::uint32_t iy) {
    const int e = static_cast<int>((iy >> 23) & 0xff);
    if (e < 127) return Parity::none;
    if (e > 150) return Parity::even;
    const std::uint32_t unit = std::uint32_t{1} << (150 - e);
    if (iy & (unit - 1)) return Parity::none;
    return (iy & unit) ? Parity::odd : Parity::even;
}

inline bool signalling_nan(std::uint32_t i) {
    return (i & 0x7fffffff) > 0x7f800000 && !(i & quiet_bit);
}

inline float from_bits(std::uint32_t i) { return std::bit_cast<float>(i); }

// x^y for x = 2^k * z (m the bits of such a positive normal float, or of a
// subnormal scaled into that form) and finite non-zero y; neg gives the sign.
inline float pow_main(std::uint32_t m, float y, bool neg) {
    const std::uint32_t tmp = m - off;
    const LogEntry& e = log2_table[(tmp >> 19) & 15];
    const std::int32_t k = static_cast<std::int32_t>(tmp) >> 23;
    const double z = static_cast<double>(from_bits(m - (tmp & 0xff800000)));
    const double r = std::fma(z, e.invc, -1.0);
    const double y0 = e.logc + static_cast<double>(k);
    const double r2 = r * r;
    const double r4 = r2 * r2;
    const double pa = std::fma(r, a0, a1);
    const double pb = std::fma(r, a2, a3);
    double q = std::fma(r, a4, y0);
    q = std::fma(r2, pb, q);
    const double l = std::fma(r4, pa, q);  // log2|x|
    const double t = static_cast<double>(y) * l;
    if (t > overflow) return neg ? -HUGE_VALF : HUGE_VALF;
    if (t <= -150.0) return neg ? -0.0f : 0.0f;
    if (t < -149.0) return neg ? -0x1p-149f : 0x1p-149f;
    double kd = t + shift;
    const std::uint64_t ki = std::bit_cast<std::uint64_t>(kd);
    kd = kd - shift;
    const double rr = t - kd;
    const std::uint64_t sbits =
        static_cast<std::uint64_t>(expf_detail::table[ki % 32]) + ((ki + (neg ? sign_bias : 0)) << 47);
    const double s = std::bit_cast<double>(sbits);
    const double pz = std::fma(rr, c0, c1);
    double py = std::fma(rr, c2, 1.0);
    py = std::fma(rr * rr, pz, py);
    return static_cast<float>(py * s);
}

// Zeros, infinities, NaNs, negative and subnormal x: the library's results.
inline float pow_special(float x, float y) {
    const std::uint32_t ix = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t iy = std::bit_cast<std::uint32_t>(y);
    const std::uint32_t ax = ix & 0x7fffffff;
    const std::uint32_t ay = iy & 0x7fffffff;
    const bool x_negative = (ix >> 31) != 0;
    const bool y_negative = (iy >> 31) != 0;
    if (ay == 0) return signalling_nan(ix) ? from_bits(ix | quiet_bit) : 1.0f;
    if (ix == 0x3f800000) return signalling_nan(iy) ? from_bits(iy | quiet_bit) : 1.0f;
    if (ax > 0x7f800000) {  // x NaN: quiet, and x * x negated for an odd power
        std::uint32_t bits = ix | quiet_bit;
        if (ay < 0x7f800000 && x_negative && parity(iy) == Parity::odd) bits ^= 0x80000000;
        return from_bits(bits);
    }
    if (ay > 0x7f800000) return from_bits(iy | quiet_bit);
    if (ay == 0x7f800000) {
        if (ax == 0x3f800000) return 1.0f;  // (-1)^+-inf
        return (ax < 0x3f800000) == !y_negative ? 0.0f : HUGE_VALF;
    }
    if (ax == 0 || ax == 0x7f800000) {
        const float mag = (ax == 0) == y_negative ? HUGE_VALF : 0.0f;
        return x_negative && parity(iy) == Parity::odd ? -mag : mag;
    }
    bool neg = false;
    if (x_negative) {
        const Parity p = parity(iy);
        if (p == Parity::none) return from_bits(default_nan);
        neg = p == Parity::odd;
    }
    std::uint32_t m = ax;
    if (m < 0x00800000) {  // subnormal: scale by 2^23 exactly and take the exponent back
        m = std::bit_cast<std::uint32_t>(from_bits(ax) * 0x1p23f) - (23u << 23);
    }
    return pow_main(m, y, neg);
}

}  // namespace powf_detail

// x^y rounded to float.
inline float pow_sp(float x, float y) {
    using namespace powf_detail;
    const std::uint32_t ix = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t iy = std::bit_cast<std::uint32_t>(y);
    // x a positive normal float and y finite and non-zero: the main path.
    // Its x^1 is x itself for every such x (the sweep over every base holds
    // it to that), so the recruitment curves' common exponent 1 skips the
    // logarithm and the exponential.
    if (ix - 0x00800000u < 0x7f000000u && 2 * iy - 1 < 2u * 0x7f800000u - 1) {
        if (iy == 0x3f800000u) return x;
        return pow_main(ix, y, false);
    }
    return pow_special(x, y);
}

}  // namespace tacsim
