// The model's logarithm against the C library's logf: fixed results of the
// library at chosen inputs and every processor target in the quick tests,
// every one of the 2^32 floats in the long one (Exhaustive*, run by ctest as
// "exhaustive").
#include <gtest/gtest.h>

#include <hwy/targets.h>
#include <math.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "model/mathf_log.hpp"
#include "support/float_sweep.hpp"

namespace {

using tacsim::log_sp;

using tacsim::testing::bits;
using tacsim::testing::Mismatches;
using tacsim::testing::of_bits;

// Bits of the reference library's logf (glibc on x86-64) at chosen inputs:
// where its result is not the correctly rounded one (so a correctly rounding
// or otherwise different library shows), a result halfway between two floats
// before the final rounding (ties to even), just above the smallest normal,
// a subnormal, and the NaN of a negative input.
struct Known {
    std::uint32_t x, log;
};
constexpr Known known[] = {
    {0x3f004e10, 0xbf30d627},  // 0x1.009c2p-1
    {0x3f80520e, 0x3b23e77d},  // 0x1.00a41cp+0
    {0x408071cc, 0x3fb1e3b2},  // 0x1.00e398p+2
    {0x4140b738, 0x401f45ac},  // 0x1.816e7p+3
    {0x4b40ea11, 0x4182d221},  // 0x1.81d422p+23
    {0x7be241cc, 0x42a77e9e},  // 0x1.c48398p+120: halfway, rounded to even
    {0x008178ac, 0xc2aea675},  // 0x1.02f158p-126
    {0x00000001, 0xc2ce8ed0},  // the smallest subnormal
    {0x3f800000, 0x00000000},  // 1 gives +0
    {0x00000000, 0xff800000},  // 0 gives -inf
    {0xbf800000, 0xffc00000},  // -1 gives the default NaN
};

// The C library's value, kept out of reach of compile-time folding.
float library_log(float x) {
    volatile float v = x;
    return ::logf(v);
}

// Whether the C library here is the one the model's results were made with,
// judged by its own results at the inputs above alone.
bool library_is_reference() {
    for (const Known& k : known)
        if (bits(library_log(of_bits(k.x))) != k.log) return false;
    return true;
}

TEST(LogSp, KnownLibraryResultsAndSpecialInputs) {
    for (const Known& k : known) {
        EXPECT_EQ(bits(log_sp(of_bits(k.x))), k.log) << std::hex << "x = 0x" << k.x;
    }
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(log_sp(inf), inf);
    EXPECT_EQ(log_sp(-0.0f), -inf);
    EXPECT_EQ(bits(log_sp(-inf)), 0xffc00000u);
    // A NaN comes back quiet, with its sign and payload.
    EXPECT_EQ(bits(log_sp(of_bits(0x7f800001))), 0x7fc00001u);
    EXPECT_EQ(bits(log_sp(of_bits(0xffc01234))), 0xffc01234u);
}

std::vector<float> edge_inputs() {
    std::vector<float> v;
    for (const Known& k : known) v.push_back(of_bits(k.x));
    const float inf = std::numeric_limits<float>::infinity();
    for (float x : {inf, -inf, -0.0f, -1e-30f, 4.0f, 1e30f, std::numeric_limits<float>::max(),
                    std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min() * 12345,
                    std::numeric_limits<float>::quiet_NaN(), of_bits(0xff800123)})
        v.push_back(x);
    return v;
}

// The array form on each processor target compiled in and available here
// gives the one-value bits, NaNs included, in full vectors and in the
// remainder, with and without special inputs among the lanes.
TEST(LogSp, EveryTargetGivesTheOneValueBits) {
    std::mt19937 gen(20261207);
    std::uniform_int_distribution<std::uint32_t> any;
    std::uniform_real_distribution<float> deviate(-0.5f, 0.5f);
    std::vector<float> x = edge_inputs();
    for (int i = 0; i < 20000; ++i) x.push_back(of_bits(any(gen)));
    for (int i = 0; i < 20000; ++i) {
        const float d = 1.0f / deviate(gen);  // the squares of the normal deviates
        x.push_back(d * d);
    }
    x.push_back(0.5f);  // an odd count leaves a remainder
    tacsim::testing::every_target_gives_the_one_value_bits(
        x, [](const float* in, float* out, std::size_t n) { tacsim::log_sp(in, out, n); },
        [](float v) { return log_sp(v); }, tacsim::testing::same_bits);
}

// All 2^32 inputs, in two halves on two threads, through both forms, bit for
// bit (NaN patterns too).
TEST(Exhaustive, LogGivesTheLibraryBitsForEveryFloat) {
    if (!library_is_reference())
        GTEST_SKIP() << "the C library's logf here does not give the reference results at the known inputs";
    const Mismatches m = tacsim::testing::every_pattern_in_chunks(
        [](const float* x, std::size_t n, std::uint32_t base, Mismatches& bad) {
            float y[4096];
            tacsim::log_sp(x, y, n);
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t want = bits(::logf(x[i]));
                if (bits(y[i]) != want || bits(log_sp(x[i])) != want) bad.add(base + static_cast<std::uint32_t>(i));
            }
        });
    EXPECT_EQ(m.count, 0u) << "first differing input pattern 0x" << std::hex << m.first;
}

}  // namespace
