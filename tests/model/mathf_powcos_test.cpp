// The model's power function and cosine against the C library's powf and
// cosf. Known library results, written down as bit patterns, on every
// platform; comparisons with the library where it is the variant the model's
// reference results were made with (x86-64 with fused multiply-add); every
// float in the long tests (Exhaustive*, run by ctest as "exhaustive").
#include <gtest/gtest.h>

#include <math.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "model/mathf_cos.hpp"
#include "model/mathf_pow.hpp"
#include "support/float_sweep.hpp"

namespace {

using tacsim::cos_sp;
using tacsim::pow_sp;

using tacsim::testing::bits;
using tacsim::testing::every_pattern;
using tacsim::testing::Mismatches;
float from(std::uint32_t u) { return tacsim::testing::of_bits(u); }

// The library's values, kept out of reach of compile-time folding.
float library_pow(float x, float y) {
    volatile float vx = x, vy = y;
    return ::powf(vx, vy);
}
float library_cos(float y) {
    volatile float v = y;
    return ::cosf(v);
}

// Results of the library on x86-64 with FMA, as bit patterns {x, y, x^y}:
// inputs where a build without the fused reduction is one unit off, then the
// special paths (NaN patterns, signs of zeros and infinities, overflow,
// underflow to subnormals, subnormal and negative bases).
constexpr std::uint32_t known_pow[][3] = {
    {0x3f539397, 0x421c0000, 0x3a1b076a}, {0xbf539397, 0x421c0000, 0xba1b076a},
    {0x3fd39397, 0x421c0000, 0x4d9b076a}, {0x3f20f857, 0x41200000, 0x3c1e4bf3},
    {0xbf20f857, 0x41200000, 0x3c1e4bf3}, {0x1ce50597, 0x3f333333, 0x274057e2},
    {0xc0000000, 0x3f000000, 0xffc00000}, {0x7f800001, 0x00000000, 0x7fc00001},
    {0xff800001, 0x00000000, 0xffc00001}, {0x3f800000, 0x7f800001, 0x7fc00001},
    {0x3f800000, 0xffc00000, 0x3f800000}, {0xffc00001, 0x40400000, 0x7fc00001},
    {0xffc00001, 0x40000000, 0xffc00001}, {0xff800001, 0xc0400000, 0x7fc00001},
    {0x7fc00000, 0x7fc00001, 0x7fc00000}, {0x40000000, 0xff800001, 0xffc00001},
    {0x80000000, 0xc0400000, 0xff800000}, {0x80000000, 0xc0000000, 0x7f800000},
    {0xff800000, 0x40400000, 0xff800000}, {0xff800000, 0xc0400000, 0x80000000},
    {0xbf800000, 0x7f800000, 0x3f800000}, {0x3f000000, 0xff800000, 0x7f800000},
    {0xc0400000, 0x7f800000, 0x7f800000}, {0xc0000000, 0x42fe0000, 0xff000000},
    {0xc0000000, 0x43000000, 0x7f800000}, {0x40000000, 0xc3150000, 0x00000001},
    {0xc0000000, 0xc3150000, 0x80000001}, {0x40000000, 0xc3160000, 0x00000000},
    {0x3fc00000, 0xc3808000, 0x00000000}, {0x00000001, 0x3f000000, 0x1a3504f3},
    {0x80000003, 0xbf800000, 0xff800000}, {0x00000001, 0x3bdbeb62, 0x3f000000},
    {0x7f7fffff, 0xbf800000, 0x00200000}, {0x00800000, 0xbf800000, 0x7e800000},
    {0xc0a00000, 0x4c000000, 0x7f800000}, {0xbf800001, 0x4b7fffff, 0xc0ec7322},
};

// {y, cos y}: the eleven inputs (and their negatives) where a build without
// the fused reduction is one unit off, then each path: tiny, below 0.75,
// below 120, the exact reduction of large arguments, infinities and NaNs.
constexpr std::uint32_t known_cos[][2] = {
    {0x418a3adb, 0xb7b4f770}, {0x418a3adc, 0xb7a4f770}, {0x418a3add, 0xb794f770},
    {0x418a3ade, 0xb784f770}, {0x41bc76d9, 0xbb803f6b}, {0x4202eb4b, 0x3e821ce2},
    {0x42687a55, 0xb552257c}, {0x4280ce28, 0x34fdd672}, {0x42870e40, 0xbc866cc4},
    {0x42c55faa, 0xbe8a34d1}, {0x42d8d23e, 0xbcd25ea8},
    {0x00000000, 0x3f800000}, {0xb9000000, 0x3f800000}, {0x3f400000, 0x3f3b4ff6},
    {0xbf3ffffe, 0x3f3b4ff8}, {0x42efffff, 0x3f506e74}, {0x42f00000, 0x3f506e2a},
    {0xc2f00000, 0x3f506e2a}, {0x7149f2ca, 0xbf1c9222}, {0xff7fffff, 0x3f5a5f96},
    {0x4116cbe4, 0xbf800000}, {0x7f800000, 0xffc00000}, {0xff800000, 0xffc00000},
    {0x7f800001, 0x7fc00001}, {0xffc00001, 0xffc00001},
};

// Whether the library is the variant of the reference results: one input of
// each function where the build without fused multiply-add differs, and the
// NaN of an invalid operation, which differs on other processors.
bool library_is_reference() {
    return bits(library_cos(from(0x418a3adb))) == 0xb7b4f770 && bits(library_cos(from(0x7f800000))) == 0xffc00000 &&
           bits(library_pow(from(0x3f539397), 39.0f)) == 0x3a1b076a &&
           bits(library_pow(-2.0f, 0.5f)) == 0xffc00000;
}

TEST(PowCos, KnownLibraryBitsOnEveryPlatform) {
    for (const auto& k : known_pow)
        EXPECT_EQ(bits(pow_sp(from(k[0]), from(k[1]))), k[2])
            << std::hex << "pow of 0x" << k[0] << ", 0x" << k[1];
    for (const auto& k : known_cos) {
        EXPECT_EQ(bits(cos_sp(from(k[0]))), k[1]) << std::hex << "cos of 0x" << k[0];
        if (!std::isnan(from(k[0]))) {
            EXPECT_EQ(bits(cos_sp(-from(k[0]))), k[1]) << std::hex << "cos of -0x" << k[0];
        }
    }
}

// Floats that exercise each path of the power function, as bases and exponents.
std::vector<float> special_values() {
    std::vector<std::uint32_t> u = {0x00000000, 0x00000001, 0x00000003, 0x007fffff, 0x00800000, 0x3f000000,
                                    0x3f7fffff, 0x3f800000, 0x3f800001, 0x40000000, 0x40400000, 0x3f333333,
                                    0x4b7fffff, 0x4b800000, 0x4b800001, 0x4c000000, 0x42fe0000, 0x43000000,
                                    0x43150000, 0x43160000, 0x7f7fffff, 0x7f800000, 0x7f800001, 0x7fc00000,
                                    0x3e800000, 0x3fb504f3, 0x41200000, 0x421c0000};
    std::vector<float> v;
    for (std::uint32_t i : u) {
        v.push_back(from(i));
        v.push_back(from(i | 0x80000000));
    }
    return v;
}

// A pair of one of seven kinds: any bit patterns; the model's 1 - p to a
// whole power; the model's ssb (or ssb / rssb) to a recruitment exponent;
// results anywhere from overflow down into the subnormals; negative bases to
// whole powers; bases within a few thousand units of 1 to large powers;
// subnormal bases.
struct PairKinds {
    std::mt19937 gen{29};
    std::uniform_int_distribution<std::uint32_t> any;
    std::uniform_real_distribution<float> unit{0.0f, 1.0f};
    std::pair<float, float> operator()(int kind) {
        const std::uint32_t u = any(gen);
        switch (kind) {
            case 0: return {from(u), from(any(gen))};
            case 1: return {1.0f - unit(gen), static_cast<float>(u % 2001)};
            case 2: {
                const float x = std::ldexp(1.0f + unit(gen), static_cast<int>(u % 54) - 30);
                const float fixed[4] = {1.0f, 0.5f, 2.0f, 0.7f};
                return {x, (u >> 8) % 5 == 0 ? fixed[(u >> 12) % 4] : 5.0f * unit(gen)};
            }
            case 3: {
                float x = from(u & 0x7fffffff);
                if (!(x > 0.0f && x < 3e38f) || x == 1.0f) x = 3.0f;
                return {x, (282.0f * unit(gen) - 152.0f) / std::log2(x)};
            }
            case 4: return {-from(u & 0x7fffffff), static_cast<float>(static_cast<int>(any(gen) % 601) - 300)};
            case 5: {
                const float y = std::ldexp(1.0f + unit(gen), static_cast<int>(u % 31));
                return {from(0x3f800000 + (any(gen) % 65536) - 32768), (u >> 31) ? -y : y};
            }
            default: return {from((u & 0x807fffff) | 1), 40.0f * unit(gen) - 20.0f};
        }
    }
};

void random_pairs_give_the_library_bits(int per_kind) {
    PairKinds pairs;
    for (int kind = 0; kind < 7; ++kind) {
        int bad = 0;
        for (int i = 0; i < per_kind; ++i) {
            const auto [x, y] = pairs(kind);
            if (bits(pow_sp(x, y)) != bits(::powf(x, y)) && ++bad <= 3)
                ADD_FAILURE() << "kind " << kind << ": " << std::hexfloat << x << " ^ " << y << " gives "
                              << pow_sp(x, y) << ", the library " << ::powf(x, y);
        }
    }
}

TEST(PowSp, SpecialAndRandomPairsGiveTheLibraryBits) {
    if (!library_is_reference()) GTEST_SKIP() << "the C library here is not the fused multiply-add variant";
    const std::vector<float> v = special_values();
    for (float x : v)
        for (float y : v)
            ASSERT_EQ(bits(pow_sp(x, y)), bits(library_pow(x, y))) << std::hexfloat << x << " ^ " << y;
    random_pairs_give_the_library_bits(100000);
}

TEST(CosSp, ModelArgumentsGiveTheLibraryBits) {
    if (!library_is_reference()) GTEST_SKIP() << "the C library here is not the fused multiply-add variant";
    // (year - phase) * 2 pi / period as the recruitment and weight cycles form it.
    for (float period : {0.5f, 1.0f, 2.0f, 3.7f, 7.0f, 10.0f, 25.0f, 1000.0f})
        for (float phase = -5.0f; phase <= 10.0f; phase += 0.25f)
            for (int y = -15; y <= 40; ++y)
                for (float c : {6.28f, 6.283185f}) {
                    const float arg = (static_cast<float>(y) - phase) * c / period;
                    ASSERT_EQ(bits(cos_sp(arg)), bits(library_cos(arg))) << std::hexfloat << arg;
                }
}

TEST(ExhaustiveCos, EveryFloatGivesTheLibraryBits) {
    if (!library_is_reference()) GTEST_SKIP() << "the C library here is not the fused multiply-add variant";
    const Mismatches m = every_pattern([](std::uint32_t u) { return bits(cos_sp(from(u))) == bits(::cosf(from(u))); });
    EXPECT_EQ(m.count, 0u) << "first differing input pattern 0x" << std::hex << m.first;
}

// Every x for the exponents the model meets: whole numbers (outburst
// intervals) and recruitment exponents; also y = -1 and -2.5 for negative
// powers and non-integers of negative bases.
TEST(ExhaustivePow, EveryBaseGivesTheLibraryBits) {
    if (!library_is_reference()) GTEST_SKIP() << "the C library here is not the fused multiply-add variant";
    for (float y : {1.0f, 2.0f, 0.5f, 0.7f, 1.3f, 3.0f, 10.0f, 39.0f, -1.0f, -2.5f}) {
        const Mismatches m = every_pattern(
            [y](std::uint32_t u) { return bits(pow_sp(from(u), y)) == bits(::powf(from(u), y)); });
        EXPECT_EQ(m.count, 0u) << "y = " << y << ": first differing base pattern 0x" << std::hex << m.first;
    }
    random_pairs_give_the_library_bits(20000000);
}

}  // namespace
