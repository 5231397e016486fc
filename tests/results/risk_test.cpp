// Sorting, fractiles, the risk of SSB below Blim and the normal
// distribution function.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "results/results.hpp"
#include "results_fixture.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

TEST(RiskSort, AscendingStableAndFractiles) {
    ValueSet x, scratch;
    x.size_to(maxiter);
    for (int i = 1; i <= maxiter; ++i) x(i) = static_cast<float>(maxiter + 1 - i);
    sort(x);
    for (int i = 1; i <= maxiter; ++i) ASSERT_EQ(x(i), static_cast<float>(i));

    // -0 and +0 compare equal: a stable sort keeps them in input order.
    for (int i = 1; i <= maxiter; ++i) x(i) = (i % 2 == 0) ? 1.0f : ((i % 4 == 1) ? -0.0f : 0.0f);
    sort(x);
    for (int i = 1; i <= 500; ++i) ASSERT_EQ(std::signbit(x(i)), i % 2 == 1) << "position " << i;

    // 1..1000 in a scrambled order: 100, 500 and 899 (0.9 in single
    // precision lies just below 0.9).
    for (int i = 1; i <= maxiter; ++i) x(i) = static_cast<float>((i * 373) % maxiter + 1);
    float f10 = 0, f50 = 0, f90 = 0;
    fractiles(x, scratch, f10, f50, f90);
    EXPECT_EQ(f10, 100.0f);
    EXPECT_EQ(f50, 500.0f);
    EXPECT_EQ(f90, 899.0f);
}

TEST(RiskSort, NanPlacedByForwardSearch) {
    // Each value goes before the first placed value strictly greater than
    // it; a NaN is greater than nothing and nothing is greater than it.
    ValueSet x;
    x.size_to(maxiter);
    const float nan = std::nanf("");
    x(1) = 3.0f;
    x(2) = nan;
    x(3) = 1.0f;
    for (int i = 4; i <= maxiter; ++i) x(i) = 5.0f;
    x(10) = 2.0f;
    sort(x);
    EXPECT_EQ(x(1), 1.0f);
    EXPECT_EQ(x(2), 2.0f);
    EXPECT_EQ(x(3), 3.0f);
    EXPECT_TRUE(std::isnan(x(4)));
    for (int i = 5; i <= maxiter; ++i) ASSERT_EQ(x(i), 5.0f) << "position " << i;

}

// The plain insertion sort the fast one must reproduce: each value goes
// before the first value already placed that is strictly greater.
void insertion_sort(ValueSet& x) {
    for (int i = 2; i <= maxiter; ++i) {
        const float v = x(i);
        int j = 1;
        while (j <= i - 1 && !(x(j) > v)) ++j;
        for (int m = i; m > j; --m) x(m) = x(m - 1);
        x(j) = v;
    }
}

TEST(RiskSort, SameBitsAsInsertionSortOnRandomAndAdversarialSets) {
    std::mt19937 gen(6);
    std::uniform_int_distribution<int> pick(0, 1 << 30);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Value makers: continuous, few distinct values, signed zeros and
    // infinities, NaN-heavy, and arbitrary bit patterns.
    auto value = [&](int kind, int i) -> float {
        const int r = pick(gen);
        switch (kind) {
            case 0: return static_cast<float>(r % 100000) / 7.0f - 5000.0f;
            case 1: return static_cast<float>(r % 5);
            case 2: { const float z[] = {0.0f, -0.0f, inf, -inf, 1.0f, -1.0f}; return z[r % 6]; }
            case 3: return r % 3 == 0 ? nan : static_cast<float>(r % 7) - 3.0f;
            case 4: return std::bit_cast<float>(static_cast<std::uint32_t>(r) * 4u + static_cast<std::uint32_t>(i % 4));
            case 5: return static_cast<float>(maxiter - i);             // descending
            case 6: return i == 1 || i == maxiter ? nan : static_cast<float>(i % 50);  // NaN at both ends
            case 8: return r % 2 ? 0.0f : -0.0f;                           // zeros of both signs only
            case 9: { const float z[] = {0.0f, -0.0f, -2.0f, 3.0f}; return z[r % 4]; }  // zeros among others
            default: return r % 100 == 0 ? -nan : static_cast<float>(r % 1000) * 0.5f;
        }
    };
    ValueSet x, want;
    x.size_to(maxiter);
    for (int kind = 0; kind <= 10; ++kind) {
        for (int trial = 0; trial < 12; ++trial) {
            for (int i = 1; i <= maxiter; ++i) x(i) = value(kind, i);
            want = x;
            insertion_sort(want);
            // The fractile positions by selection, and every position of
            // some sets (a position at a time, and all at once).
            ValueSet sel = x, scratch;
            constexpr int pos[] = {1, 50, 100, 250, 500, 750, 899, 949, 1000};
            float got[9];
            sorted_at(sel, scratch, pos, 9, got);
            for (int k = 0; k < 9; ++k)
                ASSERT_EQ(std::bit_cast<std::uint32_t>(got[k]), std::bit_cast<std::uint32_t>(want(pos[k])))
                    << "set kind " << kind << ", trial " << trial << ", position " << pos[k];
            if (trial == 0) {
                std::vector<int> every(maxiter);
                for (int i = 0; i < maxiter; ++i) every[i] = i + 1;
                std::vector<float> all(maxiter);
                sel = x;
                sorted_at(sel, scratch, every.data(), maxiter, all.data());
                for (int i = 1; i <= maxiter; ++i)
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(all[i - 1]), std::bit_cast<std::uint32_t>(want(i)))
                        << "set kind " << kind << ", position " << i;
            }
            sort(x);
            for (int i = 1; i <= maxiter; ++i)
                ASSERT_EQ(std::bit_cast<std::uint32_t>(x(i)), std::bit_cast<std::uint32_t>(want(i)))
                    << "set kind " << kind << ", trial " << trial << ", position " << i;
        }
    }
    // All NaN, and a NaN before any number.
    for (int i = 1; i <= maxiter; ++i) x(i) = i % 2 ? nan : -nan;
    want = x;
    sort(x);
    for (int i = 1; i <= maxiter; ++i) ASSERT_EQ(std::signbit(x(i)), std::signbit(want(i)));
}

TEST(RiskCumnorm, KnownValuesSymmetryAndAccuracy) {
    float p = 0, q = 0;
    cumnorm(0.0f, 0.0f, 1.0f, p);
    EXPECT_EQ(p, 0.5f);
    cumnorm(1.96f, 0.0f, 1.0f, p);
    EXPECT_NEAR(p, 0.97498f, 5e-6f);
    cumnorm(1196.0f, 1000.0f, 100.0f, q);
    EXPECT_NEAR(q, p, 1e-6f);
    double worst = 0.0;
    for (int k = -600; k <= 600; ++k) {
        const float z = static_cast<float>(k) / 100.0f;
        cumnorm(z, 0.0f, 1.0f, p);
        cumnorm(-z, 0.0f, 1.0f, q);
        ASSERT_NEAR(p + q, 1.0f, 1e-6f) << "z = " << z;
        worst = std::max(worst, std::fabs(p - 0.5 * std::erfc(-z / std::sqrt(2.0))));
    }
    EXPECT_LT(worst, 0.00005);
}

TEST(RiskMethods, FractionNormalAndLognormal) {
    ResultsState rs;
    ValueSet v;
    v.size_to(maxiter);
    for (int i = 1; i <= maxiter; ++i) v(i) = (i <= 250) ? 50.0f : (i <= 260 ? 100.0f : 150.0f);
    float r = -1;
    risk(rs.s(), v, 100.0f, 0.0f, 0, r);
    EXPECT_EQ(r, 0.25f);  // equal to Blim is not below it
    risk(rs.s(), v, 0.0f, 0.0f, 0, r);  // nothing is checked for the plain fraction
    EXPECT_EQ(r, 0.0f);

    v.fill(100.0f);
    risk(rs.s(), v, 100.0f, 0.1f, 1, r);
    EXPECT_NEAR(r, 0.5f, 1e-5f);
    v.fill(0.0f);
    risk(rs.s(), v, 100.0f, 0.2f, 2, r);  // no SSB: certainly below
    EXPECT_EQ(r, 1.0f);
    EXPECT_TRUE(rs.records(0).empty());
}

TEST(RiskMethods, SenselessSettingsStopTheRun) {
    ValueSet v;
    v.size_to(maxiter);
    v.fill(1.0f);
    const char* const first[2] = {" You ask for the risk to Blim=0", " You ask for the risk to Blim with sigma=0"};
    for (int c = 0; c < 2; ++c) {
        ResultsState rs;
        float r = 0;
        const float blim = c == 0 ? 0.0f : 100.0f;
        EXPECT_EQ(rs.status_of([&](State& s) { risk(s, v, blim, 0.0f, 1 + c, r); }), 1);
        const auto out = rs.records(0);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0], first[c]);
        EXPECT_EQ(out[1], " That does not make sense - correct the opt.inn file");
    }
}

}  // namespace
}  // namespace tacsim
