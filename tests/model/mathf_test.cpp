// The model's exponential against the C library's expf: selected inputs and
// every processor target in the quick tests, every one of the 2^32 floats in
// the long one (Exhaustive*, run by ctest as "exhaustive").
#include <gtest/gtest.h>

#include <hwy/targets.h>
#include <math.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "model/mathf.hpp"
#include "support/float_sweep.hpp"

namespace {

using tacsim::exp_sp;
using tacsim::testing::Mismatches;
using tacsim::testing::same_float;

// The C library's value, kept out of reach of compile-time folding.
float library_exp(float x) {
    volatile float v = x;
    return ::expf(v);
}

// The C library's exponential has two variants on x86-64, which differ in the
// last bit at two inputs only. The reference runs were made with the one for
// processors with fused multiply-add; these are its results there, and the
// other variant's. The variant is told from the library's own results, never
// from the code under test, and the reference is the library's result with
// the fused variant's bits at those two inputs: the same truth on either.
constexpr float kSplitInputs[2] = {0x1.04845ep+5f, -0x1.f8cbb2p+5f};
constexpr std::uint32_t kFusedBits[2] = {0x56fc9f1cu, 0x11fa2993u};
constexpr std::uint32_t kPlainBits[2] = {0x56fc9f1bu, 0x11fa2992u};

bool known_library() {
    const std::uint32_t got[2] = {std::bit_cast<std::uint32_t>(library_exp(kSplitInputs[0])),
                                  std::bit_cast<std::uint32_t>(library_exp(kSplitInputs[1]))};
    return (got[0] == kFusedBits[0] && got[1] == kFusedBits[1]) ||
           (got[0] == kPlainBits[0] && got[1] == kPlainBits[1]);
}

float reference_exp(float x) {
    const std::uint32_t b = std::bit_cast<std::uint32_t>(x);
    for (int k = 0; k < 2; ++k)
        if (b == std::bit_cast<std::uint32_t>(kSplitInputs[k])) return std::bit_cast<float>(kFusedBits[k]);
    return ::expf(x);
}

// The only skip: a C library of another kind (the environment).
#define SKIP_UNLESS_KNOWN_LIBRARY() \
    if (!known_library()) GTEST_SKIP() << "the C library's expf here is neither known variant"

// The two inputs where the variants part give the reference bits on every
// machine, whatever its library.
TEST(ExpSp, SplitInputsGiveTheReferenceBits) {
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(exp_sp(kSplitInputs[k])), kFusedBits[k])
            << std::hexfloat << kSplitInputs[k];
}

std::vector<float> edge_inputs() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> v = {0.0f, -0.0f, 1.0f, -1.0f, 0x1.04845ep+5f, -0x1.f8cbb2p+5f,
                            0x1.62e42ep6f, 0x1.62e430p6f, -0x1.9fe368p6f, -0x1.9fe36ap6f,
                            88.0f, -88.0f, 88.5f, -100.0f, -87.5f, -103.9f,
                            std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max(), inf, -inf,
                            std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN()};
    // Results near the smallest normal and in the subnormal range.
    for (float x = -87.4f; x > -104.0f; x -= 0.37f) v.push_back(x);
    return v;
}

TEST(ExpSp, EdgeInputsGiveTheReferenceBits) {
    SKIP_UNLESS_KNOWN_LIBRARY();
    for (float x : edge_inputs()) EXPECT_TRUE(same_float(exp_sp(x), reference_exp(x))) << std::hexfloat << x;
    // NaN keeps its sign, as x + x does in the library.
    EXPECT_TRUE(std::signbit(exp_sp(-std::numeric_limits<float>::quiet_NaN())));
    EXPECT_EQ(exp_sp(-std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_EQ(exp_sp(0x1.62e430p6f), std::numeric_limits<float>::infinity());
}

// The array form on each processor target compiled in and available here
// gives the one-value bits, in full vectors and in the remainder.
TEST(ExpSp, EveryTargetGivesTheOneValueBits) {
    std::mt19937 gen(20261207);
    std::uniform_int_distribution<std::uint32_t> bits;
    std::uniform_real_distribution<float> model_range(-30.0f, 5.0f);
    std::vector<float> x = edge_inputs();
    for (int i = 0; i < 20000; ++i) x.push_back(std::bit_cast<float>(bits(gen)));
    for (int i = 0; i < 20000; ++i) x.push_back(model_range(gen));
    x.push_back(0.5f);  // an odd count leaves a remainder
    tacsim::testing::every_target_gives_the_one_value_bits(
        x, [](const float* in, float* out, std::size_t n) { tacsim::exp_sp(in, out, n); },
        [](float v) { return exp_sp(v); });
}

// All 2^32 inputs, in two halves on two threads, through both forms.
TEST(Exhaustive, ExpGivesTheReferenceBitsForEveryFloat) {
    SKIP_UNLESS_KNOWN_LIBRARY();
    const Mismatches m = tacsim::testing::every_pattern_in_chunks(
        [](const float* x, std::size_t n, std::uint32_t base, Mismatches& bad) {
            float y[4096];
            tacsim::exp_sp(x, y, n);
            for (std::size_t i = 0; i < n; ++i) {
                const float want = reference_exp(x[i]);
                if (!same_float(y[i], want) || !same_float(exp_sp(x[i]), want)) bad.add(base + static_cast<std::uint32_t>(i));
            }
        });
    EXPECT_EQ(m.count, 0u) << "first differing input pattern 0x" << std::hex << m.first;
}

}  // namespace
