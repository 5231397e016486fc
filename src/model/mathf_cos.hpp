// The single-precision cosine of the model, our own so that results do not
// depend on the platform's math library. It returns, for every float, the
// bits of the C library's cosf on x86-64 with FMA (the library the model's
// reference results were made with), NaN bit patterns included.
//
// Method: y = n pi/2 + r with |r| <= about pi/4; cos(y) is +-cos(r) or
// +-sin(r) by the quadrant n, each from a polynomial in r. Below |y| = 120
// the quadrant comes from one multiply by 2/pi and r = y - n pi/2 from one
// fused multiply-add (two roundings there move 22 results by one unit in the
// last place, for instance at y = 0x1.1475b6p+4); above, an exact integer
// reduction with 2/pi in 32-bit words. Everything in double precision,
// rounded once to float at the end.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace tacsim {

namespace cosf_detail {

inline constexpr double hpi_inv = 0x1.45f306dc9c883p+23;  // 2/pi * 2^24
inline constexpr double hpi = 0x1.921fb54442d18p+0;       // pi/2
inline constexpr double pi63 = 0x1.921fb54442d18p-62;     // 2 pi * 2^-64
// cos(r) ~ c0 + c1 r^2 + c2 r^4 + c3 r^6 + c4 r^8
inline constexpr double c0 = 0x1p+0;
inline constexpr double c1 = -0x1.ffffffd0c621cp-2;
inline constexpr double c2 = 0x1.55553e1068f19p-5;
inline constexpr double c3 = -0x1.6c087e89a359dp-10;
inline constexpr double c4 = 0x1.99343027bf8c3p-16;
// sin(r) ~ r + s1 r^3 + s2 r^5 + s3 r^7
inline constexpr double s1 = -0x1.555545995a603p-3;
inline constexpr double s2 = 0x1.1107605230bc4p-7;
inline constexpr double s3 = -0x1.994eb3774cf24p-13;

// The binary expansion of 2/pi: p[j] = floor(2^(8j+8) * 2/pi) mod 2^32.
alignas(64) inline constexpr std::uint32_t two_over_pi[24] = {
    0x000000a2, 0x0000a2f9, 0x00a2f983, 0xa2f9836e, 0xf9836e4e, 0x836e4e44, 0x6e4e4415, 0x4e441529,
    0x441529fc, 0x1529fc27, 0x29fc2757, 0xfc2757d1, 0x2757d1f5, 0x57d1f534, 0xd1f534dd, 0xf534ddc0,
    0x34ddc0db, 0xddc0db62, 0xc0db6295, 0xdb629599, 0x6295993c, 0x95993c43, 0x993c4390, 0x3c439041,
};

inline constexpr std::uint32_t default_nan = 0xffc00000;  // the NaN of x86's invalid operations

}  // namespace cosf_detail

// cos(y) rounded to float.
inline float cos_sp(float y) {
    using namespace cosf_detail;
    const std::uint32_t a = std::bit_cast<std::uint32_t>(y);
    const std::uint32_t e = (a >> 20) & 0x7ff;  // sign cleared
    const double x = static_cast<double>(y);
    double r;
    std::uint32_t n;  // the quadrant, taken modulo 4
    if (e < 0x398) return 1.0f;  // |y| < 2^-12
    if (e < 0x3f4) {             // |y| < 0.75
        r = x;
        n = 0;
    } else if (e < 0x42f) {  // |y| < 120
        const double t = x * hpi_inv;
        const std::int32_t q = (static_cast<std::int32_t>(t) + 0x800000) >> 24;
        r = std::fma(-static_cast<double>(q), hpi, x);
        n = static_cast<std::uint32_t>(q);
    } else if (e < 0x7f8) {  // finite: |y| times 2/pi in fixed point, exactly
        const std::uint32_t j = (a >> 26) & 15;
        const std::uint32_t m = ((a & 0x7fffff) | 0x800000) << ((a >> 23) & 7);
        const std::uint32_t p0 = m * two_over_pi[j];
        const std::uint64_t p1 = static_cast<std::uint64_t>(m) * two_over_pi[j + 4];
        const std::uint64_t p2 = static_cast<std::uint64_t>(m) * two_over_pi[j + 8];
        std::uint64_t f = ((static_cast<std::uint64_t>(p0) << 32) | (p2 >> 32)) + p1;
        const std::uint64_t q = (f + (std::uint64_t{1} << 61)) >> 62;
        f = f - (q << 62);
        r = static_cast<double>(static_cast<std::int64_t>(f)) * pi63;
        n = static_cast<std::uint32_t>(q);
    } else if ((a & 0x7fffffff) == 0x7f800000) {
        return std::bit_cast<float>(default_nan);
    } else {
        return std::bit_cast<float>(a | 0x00400000);  // NaN made quiet
    }
    const double r2 = r * r;
    double v;
    if ((n & 1) == 0) {
        const double r4 = r2 * r2;
        const double r6 = r2 * r4;
        const double ca = std::fma(r2, c1, c0);
        const double cb = std::fma(r2, c4, c3);
        const double cc = std::fma(r4, c2, ca);
        v = std::fma(r6, cb, cc);
        if (n & 2) v = -v;
    } else {
        const double rs = (n & 2) == 0 ? -r : r;
        const double r3 = r2 * rs;
        const double r5 = r2 * r3;
        const double sa = std::fma(r2, s3, s2);
        const double ss = std::fma(r3, s1, rs);
        v = std::fma(r5, sa, ss);
    }
    return static_cast<float>(v);
}

}  // namespace tacsim
