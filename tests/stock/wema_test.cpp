// Weights and maturity: density dependence, the ogive read at an effective
// age, limits, and the order and number of draws.
#include <gtest/gtest.h>

#include <cmath>

#include "random/random.hpp"
#include "stock/stock.hpp"
#include "stock_testing.hpp"

namespace tacsim {
namespace {

using testing::Captured;

// Ages 1..5 with an ogive 0.1, 0.3, 0.6, 0.9, 1.0; base weights 0.5 per age
// of life; wide limits; density coefficient 0.2 on every value.
class Wema : public ::testing::Test {
protected:
    Captured cap;
    State& s = cap.s();

    void SetUp() override {
        s.seed = 15349668.0;
        s.firstage = 1;
        s.lastage = 5;
        s.tsbage = 1;
        s.bref = 1000.0f;
        const float ogive[] = {0.0f, 0.1f, 0.3f, 0.6f, 0.9f, 1.0f};
        for (int a = 0; a <= 5; ++a) {
            for (AgePar* p : {&s.westpar, &s.wecapar, &s.maturpar}) {
                (*p)(a, 2) = -100.0f;
                (*p)(a, 3) = 100.0f;
                (*p)(a, 4) = 0.2f;
                (*p)(a, 5) = 0.0f;
            }
            s.westpar(a, 1) = 0.5f * static_cast<float>(a);
            s.wecapar(a, 1) = 0.6f * static_cast<float>(a);
            s.maturpar(a, 1) = ogive[a];
        }
        for (int y = -15; y <= maxyear; ++y) s.ycfac(y) = 1.0f;
    }
};

TEST_F(Wema, DensityAndCommonFactorsScaleTheBaseValues) {
    // TSB 1500: density factor 1 - 500 * 0.2 / 1000 = 0.9; K = 1.1 * 1 * 1.
    calcwema(s, 2, 1500.0f, 1.0f, 1.0f, 1.1f, 0);
    EXPECT_FLOAT_EQ(s.west(2), 0.99f * 1.0f);
    EXPECT_FLOAT_EQ(s.weca(2), 0.99f * 1.2f);
    // Effective age 2 * 0.99 = 1.98: between ogive ages 1 and 2.
    EXPECT_FLOAT_EQ(s.matur(2), 0.1f + 0.98f * 0.2f);
    // Ogive read beyond its ends.
    calcwema(s, 1, 1000.0f, 0.5f, 1.0f, 1.0f, 0);  // effective age 0.5
    EXPECT_FLOAT_EQ(s.matur(1), 0.1f);
    calcwema(s, 5, 1000.0f, 1.1f, 1.0f, 1.0f, 0);  // effective age 5.5
    EXPECT_FLOAT_EQ(s.matur(5), 1.0f);
    calcwema(s, 3, 500.0f, 1.0f, 1.0f, 1.0f, 0);  // 3 * 1.1 = 3.3
    EXPECT_FLOAT_EQ(s.matur(3), 0.6f + 0.3f * 0.3f);
}

TEST_F(Wema, LimitsAndMaturityBetweenZeroAndOne) {
    s.wecapar(2, 2) = 1.5f;  // raised to the lower limit
    s.westpar(2, 3) = 0.7f;  // lowered to the upper limit
    s.maturpar(2, 2) = 0.8f;
    s.maturpar(2, 3) = 0.5f;  // lower above upper: the upper one wins
    calcwema(s, 2, 1000.0f, 1.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(s.weca(2), 1.5f);
    EXPECT_EQ(s.west(2), 0.7f);
    EXPECT_EQ(s.matur(2), 0.5f);

    s.maturpar(5, 1) = 1.4f;  // an ogive above 1 is cut
    calcwema(s, 4, 1000.0f, 1.0f, 1.2f, 1.0f, 0);  // effective age 4.8
    EXPECT_EQ(s.matur(4), 1.0f);
    s.maturpar(4, 3) = -0.2f;
    calcwema(s, 4, 1000.0f, 1.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(s.matur(4), 0.0f);
}

TEST_F(Wema, UpdateStoresNextYearAndAdvancesTheStream) {
    AgeVec n;
    for (int a = 1; a <= 5; ++a) {
        n(a) = 200.0f / (0.5f * static_cast<float>(a));
        s.west(a) = s.westpar(a, 1);  // TSB = 1000 = bref: no density effect
    }
    s.wcv = 0.0f;
    s.ycfac(3) = 1.2f;  // the year class now of age 2 in year 5
    double seed = s.seed;
    for (int i = 0; i < 1 + 3 * 5; ++i) rnx(seed);  // common factor, then 3 per age
    updatewema(s, 5, n);
    EXPECT_EQ(s.seed, seed);
    EXPECT_FLOAT_EQ(s.westyr(6, 2), 1.2f);
    EXPECT_FLOAT_EQ(s.westyr(6, 3), 1.5f);
    EXPECT_FLOAT_EQ(s.wecayr(6, 2), 1.2f * 1.2f);
    EXPECT_FLOAT_EQ(s.maturyr(6, 4), 0.9f);
    EXPECT_EQ(s.westyr(6, 0), 0.0f);
}

TEST_F(Wema, CycleAndOldYearClasses) {
    AgeVec n;
    for (int a = 1; a <= 5; ++a) {
        n(a) = 100.0f;
        s.westpar(a, 4) = s.wecapar(a, 4) = s.maturpar(a, 4) = 0.0f;
    }
    s.wper = 10.0f;
    s.wamp = 0.2f;
    updatewema(s, 5, n);  // half a period: cycle factor 0.8
    EXPECT_NEAR(s.west(2), 0.8f, 1e-6f);

    s.wper = 0.001f;  // no cycle
    s.ycfac(-11) = 2.0f;
    updatewema(s, -10, n);  // before -lastage every year class has factor 1
    EXPECT_FLOAT_EQ(s.west(1), 0.5f);
    EXPECT_FLOAT_EQ(s.westyr(-9, 1), 0.5f);
    updatewema(s, -5, n);  // year class of -6 at age 1 is used from here on
    s.ycfac(-6) = 1.5f;
    updatewema(s, -5, n);
    EXPECT_FLOAT_EQ(s.west(1), 0.75f);
}

}  // namespace
}  // namespace tacsim
