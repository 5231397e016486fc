// Valid input at 0 where a formula would give no number (0 * inf, 0 / 0,
// ln 0): the value there joins the finite values just beside it.
#include <gtest/gtest.h>

#include <cmath>

#include "perrecruit/perrecruit.hpp"
#include "results/results.hpp"
#include "simulation/simulation.hpp"
#include "stock/stock.hpp"
#include "stock_testing.hpp"

namespace tacsim {
namespace {

using testing::Captured;

TEST(BesideZero, TruncationFactorOfALognormalRegime) {
    Captured cap;
    State& s = cap.s();
    float m = 0.0f;
    auto factor = [&](int mode, float cv, float lo, float hi) {
        s.regime(1).distribution = 2;
        s.regime(1).truncation = mode;
        s.regime(1).cv = cv;
        s.regime(1).low = lo;
        s.regime(1).high = hi;
        truncmult(s, m, 1);
        return m;
    };
    // Deviates 0.03..180 in steps of 1.8: from about 60 up the points have
    // density 0 and a factor beyond the largest float; they add nothing.
    EXPECT_NEAR(factor(1, 1.5f, 0.03f, 180.0f), 0.955f, 0.0005f);

    // Limits on the factor: a lower limit of 0 cuts at deviate -8, as does
    // the positive limit e^(-8 cv); an upper limit at or beside 0 admits
    // nothing.
    const float at0 = factor(2, 0.5f, 0.0f, 3.0f);
    EXPECT_NEAR(at0, factor(2, 0.5f, std::exp(-4.0f), 3.0f), 1e-6f);
    EXPECT_EQ(at0, factor(2, 0.5f, -1.0f, 3.0f));
    EXPECT_EQ(factor(2, 0.5f, -1.0f, 0.0f), 0.0f);
    EXPECT_EQ(factor(2, 0.5f, 0.0f, 1e-30f), 0.0f);
}

TEST(BesideZero, NormalDistributionOfTheRiskFarOut) {
    // With sd 1e-18 z*z is finite, with 1e-20 it overflows: the same 0 and 1.
    for (float sd : {1e-18f, 1e-20f}) {
        float p = 0.5f;
        cumnorm(1.0f, 0.0f, sd, p);
        EXPECT_EQ(p, 1.0f) << sd;
        cumnorm(-1.0f, 0.0f, sd, p);
        EXPECT_EQ(p, 0.0f) << sd;
    }
}

TEST(BesideZero, YearZeroAgeWithoutFish) {
    // Ages 1..3 with correlated log numbers: an empty age 2 draws as an input
    // of 1 does, for the ages above it; a tiny number is nearly empty.
    Captured cap;
    State& s = cap.s();
    s.firstage = 1;
    s.lastage = 3;
    s.opt0 = 2;
    for (int a = 1; a <= 3; ++a)
        for (int b = 1; b <= 3; ++b) s.ninvar(a, b) = a == b ? 0.3f : 0.05f;
    auto draw = [&](float n2) {
        s.seed = 15349668.0;
        s.nin(1) = 400.0f;
        s.nin(2) = n2;
        s.nin(3) = 100.0f;
        AgeVec n;
        getactn(s, n);
        return n;
    };
    const AgeVec one = draw(1.0f), empty = draw(0.0f), tiny = draw(1e-30f);
    EXPECT_EQ(empty(2), 0.0f);
    EXPECT_EQ(empty(1), one(1));
    EXPECT_EQ(empty(3), one(3));
    EXPECT_LT(tiny(2), 1e-29f);
    EXPECT_NEAR(tiny(3), one(3), 1e-4f * one(3));
}

TEST(BesideZero, DensityAndYearClassTermsWithoutACoefficient) {
    Captured cap;
    State& s = cap.s();
    s.firstage = 1;
    s.lastage = 3;
    for (AgePar* p : {&s.westpar, &s.wecapar, &s.maturpar}) {
        for (int a = 1; a <= 3; ++a) {
            (*p)(a, 1) = 0.25f * static_cast<float>(a);
            (*p)(a, 2) = 0.0f;
            (*p)(a, 3) = 10.0f;
        }
    }
    s.maturpar(3, 3) = 1.0f;
    // Coefficient 0 with reference biomass 0, and 1e-30 with a positive one:
    // the base values either way.
    for (float d : {0.0f, 1e-30f}) {
        s.bref = d == 0.0f ? 0.0f : 500.0f;
        for (AgePar* p : {&s.westpar, &s.wecapar, &s.maturpar})
            for (int a = 1; a <= 3; ++a) (*p)(a, 4) = d;
        calcwema(s, 2, 800.0f, 1.0f, 1.0f, 1.0f, 0);
        EXPECT_EQ(s.west(2), 0.5f) << d;
        EXPECT_EQ(s.weca(2), 0.5f) << d;
        EXPECT_EQ(s.matur(2), 0.5f) << d;
    }

    // Year-class factor: slope 0 with reference recruitment 0, and 1e-30
    // with a positive one, give 1, which the limits still act on.
    s.rfun = 1;
    s.rmax = s.rlevel = 100.0f;
    s.rssb = 1.0f;
    s.ycmin = 0.5f;
    s.ycmax = 2.0f;
    for (float slope : {0.0f, 1e-30f}) {
        s.ycslope = slope;
        s.rref = slope == 0.0f ? 0.0f : 50.0f;
        float r = 0.0f;
        recr(s, r, 10.0f, 0.0f);
        EXPECT_EQ(s.ycf, 1.0f) << slope;
        s.ycmin = 1.2f;
        recr(s, r, 10.0f, 0.0f);
        EXPECT_EQ(s.ycf, 1.2f) << slope;
        s.ycmin = 0.5f;
    }
}

TEST(BesideZero, OutburstLevelOnlyWithOutbursts) {
    // Outbursts are on above a mean interval of 1 year and a factor of 1: the
    // level of 100 with factor 3 is raised to 300 just above an interval of
    // 1, and left alone at 1, at 0.5 (where it used to triple) and at 0.
    Captured cap;
    State& s = cap.s();
    s.rlevel = 100.0f;
    s.obfac = 3.0f;
    const float above1 = std::nextafter(1.0f, 2.0f);
    for (float mean : {above1, 1.0f, 0.5f, 0.0f}) {
        s.obmean = mean;
        s.rmax = s.rlevel;
        raise_for_outbursts(s);
        if (mean > 1.0f) {
            EXPECT_NEAR(s.rmax, 300.0f, 1e-4f);
        } else {
            EXPECT_EQ(s.rmax, 100.0f) << mean;
        }
    }
    s.obmean = 4.0f;
    s.obfac = 1.0f;
    s.rmax = s.rlevel;
    raise_for_outbursts(s);
    EXPECT_EQ(s.rmax, 100.0f);
}

}  // namespace
}  // namespace tacsim
