// Catch equation, F search, biomasses and the year step, against values
// worked out by hand (double precision, compared with a float tolerance).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "stock/stock.hpp"
#include "stock_testing.hpp"

namespace tacsim {
namespace {

using testing::Captured;

// Ages 0..3, M = 0.2, selection 0, 0.5, 1, 1; weights 0, 1, 2, 3; numbers
// 1000, 800, 600, 400; deterministic recruitment of 7 (hockey stick above
// its break point).
class StockArithmetic : public ::testing::Test {
protected:
    Captured cap;
    State& s = cap.s();
    AgeVec n;

    void SetUp() override {
        s.firstage = 1;
        s.lastage = 3;
        s.tsbage = 1;
        s.bpage = 2;
        s.fcap = 2.0f;
        const float sel[] = {0.0f, 0.5f, 1.0f, 1.0f};
        const float num[] = {1000.0f, 800.0f, 600.0f, 400.0f};
        for (int a = 0; a <= 3; ++a) {
            s.natmor(a) = 0.2f;
            s.sel(a, 1) = sel[a];
            s.sel(a, 2) = 2.0f * sel[a];
            s.weca(a) = static_cast<float>(a);
            s.west(a) = static_cast<float>(a);
            s.matur(a) = a >= 2 ? 1.0f : 0.0f;
            n(a) = num[a];
        }
        s.rfun = 1;
        s.rlevel = s.rmax = 7.0f;
        s.rssb = 1.0f;
        s.rref = 1.0f;
        s.ycmin = 0.0f;
        s.ycmax = 10.0f;
    }
};

TEST_F(StockArithmetic, YieldFollowsBaranovInWeight) {
    float y = 0.0f;
    yield(s, n, y, 0.5f, 1);
    EXPECT_NEAR(y, 1024.0508f, 1e-3f);
    yield(s, n, y, 0.0f, 1);
    EXPECT_EQ(y, 0.0f);
    // Column 2 doubles selection: same as F = 1 on column 1.
    float y2 = 0.0f, y1 = 0.0f;
    yield(s, n, y2, 0.5f, 2);
    yield(s, n, y1, 1.0f, 1);
    EXPECT_FLOAT_EQ(y2, y1);
}

TEST_F(StockArithmetic, AgeWithoutMortalityRestartsRunningYield) {
    s.natmor(2) = 0.0f;
    s.sel(2, 1) = 0.0f;
    float y = 0.0f, agec = 0.0f;
    AgeVec cn;
    yield(s, n, y, 0.5f, 1);
    EXPECT_NEAR(y, 431.49831f, 1e-3f);  // only age 3 remains
    yielda(s, n, y, cn, 0.5f, agec, 1);
    EXPECT_NEAR(y, 431.49831f, 1e-3f);
    EXPECT_EQ(cn(2), 0.0f);
    EXPECT_NEAR(cn(1), 800.0f * 0.25f * (1.0f - std::exp(-0.45f)) / 0.45f, 1e-3f);
    // The age-weighted sum keeps age 1 although the yield forgot it.
    EXPECT_NEAR(agec, 3.373244f, 1e-5f);
}

TEST_F(StockArithmetic, MeanAgesOfEmptyCatchAndSpawningStockAreMinusOne) {
    float y = 0.0f, agec = 0.0f, ssb = 0.0f, ages = 0.0f;
    AgeVec cn, ssba;
    yielda(s, n, y, cn, 0.0f, agec, 1);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(agec, -1.0f);
    AgeVec empty;
    calcssba(s, empty, ssb, ssba, 0.3f, ages, 1);
    EXPECT_EQ(ssb, 0.0f);
    EXPECT_EQ(ages, -1.0f);
}

TEST_F(StockArithmetic, BiomassesCountOnlyTheirOwnAges) {
    s.fprop = 0.5f;
    s.mprop = 0.5f;
    s.matur(0) = 1.0f;  // maturing fish below the recruitment age never count
    s.west(0) = 1.0f;
    n(0) = 1.0e6f;
    float ssb = 0.0f, ssb2 = 0.0f, ages = 0.0f;
    AgeVec ssba;
    calcssb(s, n, ssb, 0.5f, 1);
    EXPECT_NEAR(ssb, 1691.2514f, 2e-3f);
    calcssba(s, n, ssb2, ssba, 0.5f, ages, 1);
    EXPECT_NEAR(ssb2, ssb, 1e-3f);
    EXPECT_NEAR(ages, 2.5f, 1e-6f);
    EXPECT_EQ(ssba(0), 0.0f);  // not written
    EXPECT_EQ(ssba(1), 0.0f);  // immature
    EXPECT_NEAR(ssba(2), 600.0f * std::exp(-0.35f), 1e-3f);
    float tsb = 0.0f, bplus = 0.0f;
    calctsb(s, n, tsb);
    EXPECT_EQ(tsb, 800.0f + 1200.0f + 1200.0f);  // from tsbage = 1
    calcbplus(s, n, bplus);
    EXPECT_EQ(bplus, 1200.0f + 1200.0f);  // from bpage = 2
}

TEST_F(StockArithmetic, FindFEdgeCases) {
    float t = 0.00005f, f = 9.0f;
    int flag = 9;
    findf(s, n, t, f, flag, 1);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(t, 0.00005f);

    // An empty stock cannot give any catch: limited by fcap, catch 0.
    AgeVec empty;
    t = 10.0f;
    findf(s, empty, t, f, flag, 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(f, 2.0f);
    EXPECT_EQ(t, 0.0f);

    // More than fcap takes: the catch becomes what fcap takes.
    t = 5000.0f;
    findf(s, n, t, f, flag, 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(f, 2.0f);
    EXPECT_NEAR(t, 2405.9364f, 2e-3f);
}

TEST_F(StockArithmetic, FindFSolvesTheCatchEquation) {
    float t = 0.0f, f = 0.0f;
    int flag = 9;
    yield(s, n, t, 0.5f, 1);  // the catch F = 0.5 takes exactly
    const float asked = t;
    findf(s, n, t, f, flag, 1);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(t, asked);
    EXPECT_NEAR(f, 0.5f, 1e-4f);

    t = 300.0f;
    findf(s, n, t, f, flag, 1);
    EXPECT_EQ(flag, 0);
    float y = 0.0f;
    yield(s, n, y, f, 1);
    EXPECT_NEAR(y, 300.0f, 0.05f);
}

TEST_F(StockArithmetic, FindFDrivenToZeroByATinyCatch) {
    for (int a = 0; a <= 3; ++a) n(a) = 1.0e7f;
    float t = 0.0002f, f = 0.0f;
    int flag = 0;
    findf(s, n, t, f, flag, 1);
    EXPECT_EQ(flag, 2);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(t, 0.0f);
}

TEST_F(StockArithmetic, FindFStopsOnNumbersThatNeverSettle) {
    n(2) = std::numeric_limits<float>::quiet_NaN();
    float t = 100.0f, f = 0.0f;
    int flag = 0;
    EXPECT_THROW(findf(s, n, t, f, flag, 1), StopRun);
    EXPECT_NE(cap.console().find("No convergence in the search for F"), std::string::npos);
}

TEST_F(StockArithmetic, NextYearAgesTheStockIntoThePlusGroup) {
    nextyear(s, n, 0.5f, 5.0f, 0.0f, 1);
    EXPECT_EQ(n(0), 7.0f);
    EXPECT_NEAR(n(1), 818.73075f, 1e-3f);
    EXPECT_NEAR(n(2), 510.10252f, 1e-3f);
    // Own survivors plus those of age 2, which already holds its new value.
    EXPECT_NEAR(n(3), 451.94354f, 1e-3f);
}

TEST_F(StockArithmetic, NextYearWithTwoAges) {
    s.lastage = 1;
    n(0) = 100.0f;
    n(1) = 50.0f;
    s.sel(1, 1) = 1.0f;
    nextyear(s, n, 0.5f, 5.0f, 0.0f, 1);
    EXPECT_NEAR(n(1), 106.70234f, 1e-4f);  // takes the unchanged age 0
    EXPECT_EQ(n(0), 7.0f);
    EXPECT_EQ(n(2), 600.0f);  // beyond the stock: untouched
}

}  // namespace
}  // namespace tacsim
