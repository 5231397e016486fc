// The single-precision natural logarithm of the model, our own so that
// results do not depend on the platform's math library. It returns, for
// every float, the bits of the C library's logf on x86-64 (glibc; its builds
// with and without fused multiply-add agree everywhere), NaN patterns
// included; an exhaustive test over all 2^32 inputs holds it to that.
//
// Method: x = 2^k * z with z in [0.699, 1.398); z lies in one of 16
// subintervals, each with a point c near which 1/c and ln c are tabulated;
// ln x = k ln2 + ln c + log1p(r), r = z/c - 1, log1p(r) from a quartic in r.
// Everything in double precision, rounded once to float at the end. Whether
// the multiply-adds are fused or not never changes the float, so the scalar
// form (unfused) and the vector forms (fused where the processor can) agree.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tacsim {

namespace logf_detail {

inline constexpr std::uint32_t off = 0x3f330000;  // the bits of 0x1.66p-1: z >= this
inline constexpr double ln2 = 0x1.62e42fefa39efp-1;
// log1p(r) ~ r + a2 r^2 + a1 r^3 + a0 r^4 for |r| below about 1/32.
inline constexpr double a0 = -0x1.00ea348b88334p-2;
inline constexpr double a1 = 0x1.5575b0be00b6ap-2;
inline constexpr double a2 = -0x1.ffffef20a4123p-2;

// 1/c and ln c of the 16 subintervals, in two columns (so that vectors can
// hold a column in registers).
alignas(64) inline constexpr double invc[16] = {
    0x1.661ec79f8f3bep+0, 0x1.571ed4aaf883dp+0, 0x1.49539f0f010bp+0,  0x1.3c995b0b80385p+0,
    0x1.30d190c8864a5p+0, 0x1.25e227b0b8eap+0,  0x1.1bb4a4a1a343fp+0, 0x1.12358f08ae5bap+0,
    0x1.0953f419900a7p+0, 0x1p+0,               0x1.e608cfd9a47acp-1, 0x1.ca4b31f026aap-1,
    0x1.b2036576afce6p-1, 0x1.9c2d163a1aa2dp-1, 0x1.886e6037841edp-1, 0x1.767dcf5534862p-1,
};
alignas(64) inline constexpr double logc[16] = {
    -0x1.57bf7808caadep-2, -0x1.2bef0a7c06ddbp-2, -0x1.01eae7f513a67p-2, -0x1.b31d8a68224e9p-3,
    -0x1.6574f0ac07758p-3, -0x1.1aa2bc79c81p-3,   -0x1.a4e76ce8c0e5ep-4, -0x1.1973c5a611cccp-4,
    -0x1.252f438e10c1ep-5, 0x0p+0,                0x1.aa5aa5df25984p-5,  0x1.c5e53aa362eb4p-4,
    0x1.526e57720db08p-3,  0x1.bc2860d22477p-3,   0x1.1058bc8a07ee1p-2,  0x1.4043057b6ee09p-2,
};

// Whether the bit pattern ix is not a positive normal float (zero,
// subnormal, negative, infinite or NaN): one unsigned comparison.
constexpr bool special(std::uint32_t ix) { return ix - 0x00800000u >= 0x7f000000u; }

// ln x for the bit pattern ix of a positive normal float (or of a subnormal
// scaled as log_sp does: then k runs below -126).
inline float log_normal(std::uint32_t ix) {
    const std::uint32_t tmp = ix - off;
    const unsigned i = (tmp >> 19) % 16;
    const int k = static_cast<std::int32_t>(tmp) >> 23;  // arithmetic shift
    const std::uint32_t iz = ix - (tmp & 0xff800000u);
    const double z = static_cast<double>(std::bit_cast<float>(iz));
    const double r = z * invc[i] - 1.0;
    const double y0 = logc[i] + static_cast<double>(k) * ln2;
    const double r2 = r * r;
    double p = a1 * r + a2;
    p = a0 * r2 + p;
    const double y = p * r2 + (y0 + r);
    return static_cast<float>(y);
}

// The special inputs: +-0 give -inf, +inf gives +inf, negative x and NaN
// give NaN (the default NaN, or the input NaN made quiet), a subnormal is
// scaled into the normal range first.
float log_special(float x);

}  // namespace logf_detail

// ln x rounded to float, one value.
inline float log_sp(float x) {
    const std::uint32_t ix = std::bit_cast<std::uint32_t>(x);
    if (logf_detail::special(ix)) [[unlikely]]
        return logf_detail::log_special(x);
    return logf_detail::log_normal(ix);
}

// y[i] = log_sp(x[i]) for i < n, in vectors where the processor has them
// (chosen at run time); the same bits as one value at a time.
void log_sp(const float* x, float* y, std::size_t n);

}  // namespace tacsim
