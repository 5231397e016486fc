// Equilibrium stock, truncation factor, and the per-recruit table with Fmax
// and F0.1, checked against a yield-per-recruit calculation done by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../stock/stock_testing.hpp"
#include "perrecruit/perrecruit.hpp"
#include "stock/stock.hpp"
#include "support/regime.hpp"

namespace tacsim {
namespace {

using testing::Captured;

// Sets ages 0..last with the given biology; weights and maturity do not
// depend on density unless a test says so.
void set_stock(State& s, int last, const std::vector<float>& m, const std::vector<float>& sel,
               const std::vector<float>& w, const std::vector<float>& mat) {
    s.firstage = 1;
    s.lastage = last;
    s.tsbage = 1;
    s.bref = 1000.0f;
    for (int a = 0; a <= last; ++a) {
        s.natmor(a) = m[a];
        s.sel(a, 1) = s.sel(a, 2) = sel[a];
        for (AgePar* p : {&s.westpar, &s.wecapar}) {
            (*p)(a, 1) = w[a];
            (*p)(a, 3) = 100.0f;
        }
        s.maturpar(a, 1) = mat[a];
        s.maturpar(a, 3) = 1.0f;
        s.weca(a) = s.west(a) = w[a];
        s.matur(a) = mat[a];
    }
}

TEST(PerRecruitTruncation, FactorOfTruncatedDeviates) {
    Captured cap;
    State& s = cap.s();
    s.nreg = 4;
    float m = 0.0f;
    // Normal factor, limits three CVs either side of 1.
    s.regime(1).distribution = 1;
    s.regime(1).truncation = 2;
    s.regime(1).cv = 0.2f;
    s.regime(1).low = 0.4f;
    s.regime(1).high = 1.6f;
    truncmult(s, m, 1);
    EXPECT_GT(m, 0.996f);
    EXPECT_LT(m, 0.997f);
    EXPECT_NEAR(m, 0.9968553f, 2e-6f);

    // The same limits put on the deviate.
    s.regime(1).truncation = 1;
    s.regime(1).low = -3.0f;
    s.regime(1).high = 3.0f;
    truncmult(s, m, 1);
    EXPECT_NEAR(m, 0.9968553f, 2e-6f);

    // Lognormal with limits on the deviate: the mean-one factor.
    s.regime(1).distribution = 2;
    truncmult(s, m, 1);
    EXPECT_NEAR(m, 0.9962606f, 2e-6f);

    // Lognormal with limits on the factor.
    s.regime(1).truncation = 2;
    s.regime(1).low = 0.5f;
    s.regime(1).high = 2.0f;
    truncmult(s, m, 1);
    EXPECT_NEAR(m, 1.0193827f, 5e-6f);

    // No deviate, or an unknown distribution: no effect.
    s.regime(1).cv = 0.0f;
    truncmult(s, m, 1);
    EXPECT_EQ(m, 1.0f);
    s.regime(1).cv = 0.2f;
    s.regime(1).distribution = 5;
    truncmult(s, m, 1);
    EXPECT_EQ(m, 1.0f);
}

TEST(PerRecruitTruncation, AnyModeOtherThanTwoLimitsTheDeviate) {
    Captured cap;
    State& s = cap.s();
    float m = 0.0f;
    s.regime(1).function = 1;
    s.regime(1).distribution = 1;
    s.regime(1).cv = 0.2f;
    s.regime(1).low = -3.0f;
    s.regime(1).high = 3.0f;
    for (int mode : {0, 3}) {
        s.regime(1).truncation = mode;
        s.regime(1).distribution = 1;
        truncmult(s, m, 1);
        EXPECT_NEAR(m, 0.9968553f, 2e-6f) << mode;
        s.regime(1).distribution = 2;
        truncmult(s, m, 1);
        EXPECT_NEAR(m, 0.9962606f, 2e-6f) << mode;
    }
}

// Ages 0..2, M = 0.5, selection 0, 1, 1, stock weights 0, 1, 2, all of ages 1
// and 2 mature.
class PerRecruitEquilibrium : public ::testing::Test {
protected:
    Captured cap;
    State& s = cap.s();
    AgeVec n;
    float ssb = 0.0f;
    int flag = 0;

    void SetUp() override {
        set_stock(s, 2, {0.5f, 0.5f, 0.5f}, {0.0f, 1.0f, 1.0f}, {0.0f, 1.0f, 2.0f}, {0.0f, 1.0f, 1.0f});
        s.rfun = 2;
        s.rmax = 1000.0f;
        s.rssb = 500.0f;
    }
};

TEST_F(PerRecruitEquilibrium, ShepherdWithConstantWeights) {
    eqlib(s, n, ssb, 0.0f, flag);
    EXPECT_EQ(flag, 0);
    // lx = 1, e^-0.5, e^-1 / (1 - e^-0.5); spr = 2.4764575; r = 1000 - 500 / spr.
    EXPECT_NEAR(n(0), 798.09870f, 1e-3f);
    EXPECT_NEAR(n(1), 798.09870f * 0.60653066f, 1e-3f);
    EXPECT_NEAR(n(2), 798.09870f * 0.93496342f, 1e-3f);
    EXPECT_NEAR(ssb, 1976.4575f, 2e-3f);
}

TEST_F(PerRecruitEquilibrium, PlusGroupReceivesTheSurvivorsOfTheAgeBelow) {
    eqlib(s, n, ssb, 0.4f, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_NEAR(n(1) / n(0), std::exp(-0.5f), 1e-6f);
    EXPECT_NEAR(n(2) / n(1), std::exp(-0.9f) / (1.0f - std::exp(-0.9f)), 1e-5f);
}

TEST_F(PerRecruitEquilibrium, NoEquilibriumStock) {
    s.rfun = 1;
    s.rssb = 2476.46f;  // spr * rmax at f = 0 just below the break point
    for (int a = 0; a <= 2; ++a) n(a) = 9.0f;
    eqlib(s, n, ssb, 0.0f, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ssb, 0.0f);
    for (int a = 0; a <= 2; ++a) EXPECT_EQ(n(a), 0.0f);
    s.rssb = 2476.45f;
    eqlib(s, n, ssb, 0.0f, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(n(0), 1000.0f);
}

TEST_F(PerRecruitEquilibrium, DensityDependentWeightsAtTheirFixedPoint) {
    for (int a = 0; a <= 2; ++a) {
        s.westpar(a, 4) = 0.2f;
        s.maturpar(a, 4) = 0.0f;
    }
    s.rmax = 1500.0f;
    eqlib(s, n, ssb, 0.2f, flag);
    EXPECT_EQ(flag, 0);
    const float tsb = n(1) * s.west(1) + n(2) * s.west(2);
    const float dens = 1.0f + (1000.0f - tsb) * 0.2f / 1000.0f;
    EXPECT_NEAR(s.west(1), dens * 1.0f, 1e-3f);
    EXPECT_NEAR(s.west(2), dens * 2.0f, 2e-3f);
    // The recruitment is the Shepherd equilibrium at the weights in force.
    const float spr = ssb / n(0);
    EXPECT_NEAR(n(0), 1500.0f - 500.0f / spr, 0.5f);
    EXPECT_LT(s.west(1), 0.9f);  // a stock well above bref grows slowly
}

// Ages 0..5, M = 0.2, selection 0, 0.2, 0.6, 1, 1, 1; weights 0, 0.2, 0.5, 0.9,
// 1.3, 1.6; maturity 0, 0, 0.5, 1, 1, 1. Recruitment flat at 1000 (segmented
// function with a tiny break point), so the table is 1000 x yield per recruit.
class PerRecruitTable : public ::testing::Test {
protected:
    Captured cap;
    State& s = cap.s();

    void SetUp() override {
        set_stock(s, 5, std::vector<float>(6, 0.2f), {0.0f, 0.2f, 0.6f, 1.0f, 1.0f, 1.0f},
                  {0.0f, 0.2f, 0.5f, 0.9f, 1.3f, 1.6f}, {0.0f, 0.0f, 0.5f, 1.0f, 1.0f, 1.0f});
        testing::one_regime(s, 1, 1, 1000.0f, 0.001f);
        s.regime(1).truncation = 1;
        cap.open_unit(22, 0);
        cap.open_unit(23, 1);
        cap.open_unit(24, 2);
    }

    struct Row {
        float f, y, ssb, tsb, virg, yssb, agec, ages, rec;
    };
    // The grid rows of the Yieldrecr table.
    std::vector<Row> rows() {
        std::vector<Row> out;
        std::istringstream in(cap.unit_text(22, 0));
        std::string line;
        bool table = false;
        while (std::getline(in, line)) {
            if (line.find("F-factor") != std::string::npos) {
                table = true;
                continue;
            }
            Row r;
            if (table && std::sscanf(line.c_str(), "%f %f %f %f %f %f %f %f %f", &r.f, &r.y, &r.ssb, &r.tsb,
                                     &r.virg, &r.yssb, &r.agec, &r.ages, &r.rec) == 9) {
                out.push_back(r);
            } else {
                table = false;
            }
        }
        return out;
    }
};

TEST_F(PerRecruitTable, MatchesTextbookYieldPerRecruit) {
    yieldrecr(s);
    const std::vector<Row> t = rows();
    ASSERT_EQ(t.size(), 101u);
    EXPECT_EQ(t[0].f, 0.0f);
    EXPECT_EQ(t[0].y, 0.0f);
    EXPECT_EQ(t[0].virg, 100.0f);
    EXPECT_EQ(t[0].yssb, 0.0f);
    EXPECT_EQ(t[0].agec, -1.0f);
    EXPECT_NEAR(t[10].y, 250.13f, 0.011f);
    EXPECT_NEAR(t[10].ssb, 2824.52f, 0.011f);
    EXPECT_NEAR(t[30].y, 380.47f, 0.011f);
    EXPECT_NEAR(t[50].y, 393.87f, 0.011f);
    EXPECT_NEAR(t[100].y, 355.62f, 0.011f);
    EXPECT_EQ(t[30].rec, 1000.0f);

    const std::string con = cap.console();
    EXPECT_NE(con.find("F at Ymax (approx):  0.46\r\n"), std::string::npos) << con;
    EXPECT_NE(con.find("Yield at Fmax:   394.41\r\n"), std::string::npos) << con;
    // F0.1 where the slope falls to a tenth of the slope at the origin: 0.2347.
    float f01 = 0.0f;
    const auto at = con.find("F0.1: ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(con.c_str() + at, "F0.1: %f", &f01), 1);
    EXPECT_NEAR(f01, 0.2347f, 0.0015f);
    for (int u = 22; u <= 24; ++u) EXPECT_FALSE(s.unit(u).is_open());
    EXPECT_EQ(s.rmax, s.rlevel);
}

TEST_F(PerRecruitTable, YieldStillRisingAndNoF01) {
    for (int a = 0; a <= 5; ++a) s.sel(a, 1) = 0.1f;
    yieldrecr(s);
    const std::string con = cap.console();
    EXPECT_NE(con.find("\r\nF at Ymax (approx):  1.00\r\n"), std::string::npos) << con;
    EXPECT_NE(con.find("\r\nF0.1:   -1.000\r\nYield at F0.1:    -1.00\r\nSSB at F0.1:    -1.00\r\n\r\n\r\n"),
              std::string::npos)
        << con;
}

TEST_F(PerRecruitTable, GridEndsWhereNoEquilibriumExists) {
    s.regime(1).ssb = 1514.0f;  // spr * 1000 falls below this between F 0.30 and 0.31
    yieldrecr(s);
    const std::vector<Row> t = rows();
    ASSERT_EQ(t.size(), 31u);
    EXPECT_NEAR(t.back().f, 0.30f, 1e-6f);
    const std::string con = cap.console();
    EXPECT_NE(con.find("F at Ymax (approx):  0.30\r\n"), std::string::npos) << con;
}

TEST_F(PerRecruitTable, RegimeDrawnPerIterationGetsNoTable) {
    s.nreg = 2;
    s.regime(2).function = 12;
    s.regime(2).level = 500.0f;
    yieldrecr(s);
    const std::string con = cap.console();
    const std::string msg =
        " Y/R for recruitment regime:            2\r\n ********************************\r\n"
        " No per-recruit analysis: recruitment parameters are drawn per iteration\r\n\r\n\r\n";
    ASSERT_GE(con.size(), msg.size());
    EXPECT_EQ(con.substr(con.size() - msg.size()), msg);
    const std::string yr = cap.unit_text(22, 0);
    EXPECT_NE(yr.find(" Recruitment regime:            2\r\n ********************************\r\n"
                      " No per-recruit analysis: recruitment parameters are drawn per iteration\r\n\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(s.rfun, 12);
    EXPECT_EQ(s.rmax, 500.0f);
}

}  // namespace
}  // namespace tacsim
