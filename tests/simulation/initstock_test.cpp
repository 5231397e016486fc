// The starting stock: priming under a constant F, lognormal draws around the
// input numbers, and the geometric table of regime durations.
#include <gtest/gtest.h>

#include <cmath>

#include "simulation/simulation.hpp"
#include "stock/stock_testing.hpp"

namespace tacsim {
namespace {

using testing::Captured;

// Ages 0..3, recruitment at age 1, M = 0.2, selection 0, 0.5, 1, 1, fprime
// 0.4, hockey stick well below the stock so that recruitment is the level.
class InitStock : public ::testing::Test {
protected:
    Captured cap;
    State& s = cap.s();
    AgeVec n;

    void SetUp() override {
        s.seed = 15349668.0;
        s.firstage = 1;
        s.lastage = 3;
        s.tsbage = 1;
        s.fprime = 0.4f;
        s.minbyr = -2;
        s.bref = 1000.0f;
        const float sel[] = {0.0f, 0.5f, 1.0f, 1.0f};
        for (int a = 0; a <= 3; ++a) {
            s.natmor(a) = 0.2f;
            s.sel(a, 1) = sel[a];
            for (AgePar* p : {&s.westpar, &s.wecapar, &s.maturpar}) {
                (*p)(a, 1) = a >= 2 ? 1.0f : 0.5f;
                (*p)(a, 2) = 0.0f;
                (*p)(a, 3) = 10.0f;
            }
            s.west(a) = s.westpar(a, 1);
            s.matur(a) = s.maturpar(a, 1);
        }
        for (int y = -15; y <= maxyear; ++y) s.ycfac(y) = 1.0f;
        s.rfun = 1;
        s.rdist = 1;
        s.rlevel = s.rmax = 1000.0f;
        s.rssb = 10.0f;
        s.rpow = 1.0f;
        s.rref = 500.0f;
        s.ycslope = 0.1f;
        s.ycmin = 0.5f;
        s.ycmax = 1.5f;
    }
};

TEST_F(InitStock, PrimeBuildsTheStockAndItsHistory) {
    prime(s, n);
    EXPECT_FLOAT_EQ(n(0), 1000.0f);
    EXPECT_FLOAT_EQ(n(1), 1000.0f * std::exp(-0.2f));
    EXPECT_FLOAT_EQ(n(2), 1000.0f * std::exp(-0.6f));
    EXPECT_EQ(s.rmax, 1000.0f);
    // Observed catches (no observation error here) of years minbyr..0 only.
    const float c1 = 1000.0f * std::exp(-0.2f) * 0.2f / 0.4f * (1.0f - std::exp(-0.4f));
    const float c2 = 1000.0f * std::exp(-0.6f) * 0.4f / 0.6f * (1.0f - std::exp(-0.6f));
    EXPECT_FLOAT_EQ(s.canobs(1, 0), c1);
    EXPECT_FLOAT_EQ(s.canobs(2, 0), c2);
    EXPECT_FLOAT_EQ(s.canobs(1, -2), c1);
    EXPECT_EQ(s.canobs(1, -3), 0.0f);
    EXPECT_EQ(s.canobs(0, 0), 0.0f);
    // Growth factors of the last lastage + 1 year classes: 1 + 0.1 * (500 - 1000) / 500.
    for (int y = -3; y <= 0; ++y) EXPECT_FLOAT_EQ(s.ycfac(y), 0.9f) << y;
    EXPECT_EQ(s.ycfac(-4), 1.0f);
    // Weights of year 1 at age 2 carry the factor of the year class of -2.
    EXPECT_FLOAT_EQ(s.westyr(1, 2), 0.9f);
}

TEST_F(InitStock, PrimeAgeWithoutMortalityHasNoCatch) {
    // No natural mortality and no selection at the recruitment age: its
    // catch is 0, not 0/0, and the older ages are as before.
    s.natmor(1) = 0.0f;
    s.sel(1, 1) = 0.0f;
    prime(s, n);
    for (int y = -2; y <= 0; ++y) {
        EXPECT_EQ(s.canobs(1, y), 0.0f) << y;
        EXPECT_TRUE(std::isfinite(s.canobs(2, y))) << y;
        EXPECT_GT(s.canobs(2, y), 0.0f) << y;
    }
}

TEST_F(InitStock, PrimeWithoutHistoryYears) {
    s.minbyr = 1;
    prime(s, n);
    for (int y = -15; y <= 0; ++y) EXPECT_EQ(s.canobs(1, y), 0.0f);
}

TEST_F(InitStock, PrimeRaisesTheLevelForOutbursts) {
    s.obfac = 3.0f;
    s.obmean = 4.0f;
    prime(s, n);
    EXPECT_FLOAT_EQ(n(0), 1500.0f);
    EXPECT_FLOAT_EQ(n(1), 1500.0f * std::exp(-0.2f));
    EXPECT_EQ(s.rmax, 1000.0f);
}

TEST_F(InitStock, PrimeWarmsUpRickerAtItsPeak) {
    s.rfun = 3;
    s.rssb = 400.0f;
    s.minbyr = -15;
    prime(s, n);
    // The first recorded year follows the warm-up alone, whose recruitment is
    // the full level.
    const float c1 = 1000.0f * std::exp(-0.2f) * 0.2f / 0.4f * (1.0f - std::exp(-0.4f));
    EXPECT_FLOAT_EQ(s.canobs(1, -5), c1);
}

TEST_F(InitStock, PrimeLoadsYearOneWhenNoFunctionIsInForce) {
    s.rfun = 12;  // left by the analysis of a regime drawn per iteration
    s.nreg = 2;
    s.ireg(1) = 2;
    s.regime(2).function = 1;
    s.regime(2).distribution = 1;
    s.regime(2).level = 300.0f;
    s.regime(2).ssb = 10.0f;
    s.regime(2).exponent = 1.0f;
    prime(s, n);
    EXPECT_EQ(s.rfun, 1);
    EXPECT_FLOAT_EQ(n(0), 300.0f);
    EXPECT_EQ(s.rmax, 300.0f);
}

TEST_F(InitStock, DrawnNumbersAroundTheInput) {
    s.opt0 = 2;
    for (int a = 1; a <= 3; ++a) {
        s.nin(a) = 100.0f * static_cast<float>(a);
        s.ninvar(a, a) = 0.3f;  // SD of the log numbers, no correlations
    }
    n(0) = -5.0f;
    const int draws = 4000;
    double sumlog[4] = {}, sum[4] = {};
    for (int i = 0; i < draws; ++i) {
        getactn(s, n);
        for (int a = 1; a <= 3; ++a) {
            sumlog[a] += std::log(n(a) / s.nin(a));
            sum[a] += n(a) / s.nin(a);
        }
    }
    EXPECT_EQ(n(0), -5.0f);  // below the recruitment age: left alone
    for (int a = 1; a <= 3; ++a) {
        EXPECT_NEAR(sumlog[a] / draws, -0.045, 0.015) << a;  // median nin e^(-d^2/2)
        EXPECT_NEAR(sum[a] / draws, 1.0, 0.02) << a;        // mean nin
    }

    // Independent ages from variances: no mean correction.
    s.opt0 = 3;
    for (int a = 1; a <= 3; ++a) {
        s.ninvar(a, a) = 0.0f;
        s.nindiag(a) = 0.09f;
    }
    double sl = 0.0, sl2 = 0.0;
    for (int i = 0; i < draws; ++i) {
        getactn(s, n);
        const double l = std::log(n(2) / s.nin(2));
        sl += l;
        sl2 += l * l;
    }
    EXPECT_NEAR(sl / draws, 0.0, 0.015);
    EXPECT_NEAR(std::sqrt(sl2 / draws - (sl / draws) * (sl / draws)), 0.3, 0.02);
}

TEST_F(InitStock, GeometricTable) {
    Array<float, 1, maxyear> geo;
    creategeo(geo, 2.0f, 40);
    EXPECT_EQ(geo(1), 0.5f);
    EXPECT_EQ(geo(2), 0.75f);
    EXPECT_EQ(geo(3), 0.875f);
    EXPECT_NEAR(geo(40), 1.0f, 1e-6f);
    creategeo(geo, 4.0f, 3);
    EXPECT_FLOAT_EQ(geo(3), 0.25f + 0.1875f + 0.140625f);
}

}  // namespace
}  // namespace tacsim
