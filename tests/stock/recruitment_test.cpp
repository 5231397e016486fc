// Stock-recruitment functions, deviates and their truncation, the parameters
// of the regime in force, and the year-class growth factor.
#include <gtest/gtest.h>

#include <cmath>

#include "stock/stock.hpp"
#include "stock_testing.hpp"

namespace tacsim {
namespace {

using testing::Captured;

class Recruit : public ::testing::Test {
protected:
    Captured cap;
    State& s = cap.s();

    void SetUp() override {
        s.seed = 15349668.0;
        s.rfun = 1;
        s.rdist = 1;
        s.rtrunc = 1;
        s.rlevel = s.rmax = 1000.0f;
        s.rssb = 500.0f;
        s.rpow = 1.0f;
        s.rlow = -1.0e9f;
        s.rhigh = 1.0e9f;
        s.rref = 1000.0f;
        s.ycslope = 0.5f;
        s.ycmin = 0.8f;
        s.ycmax = 1.2f;
    }
    float draw(float ssb, float cv) {
        float r = 0.0f;
        recr(s, r, ssb, cv);
        return r;
    }
};

TEST_F(Recruit, DeterministicFunctions) {
    EXPECT_EQ(draw(500.0f, 0.0f), 1000.0f);   // hockey stick at the break point
    EXPECT_EQ(draw(2000.0f, 0.0f), 1000.0f);  // and above it
    s.rpow = 2.0f;
    EXPECT_NEAR(draw(250.0f, 0.0f), 250.0f, 1e-3f);  // 1000 * 0.5^2

    s.rfun = 2;
    s.rpow = 1.0f;
    EXPECT_NEAR(draw(500.0f, 0.0f), 500.0f, 1e-3f);  // half the level at rssb
    EXPECT_NEAR(draw(1500.0f, 0.0f), 750.0f, 1e-3f);

    s.rfun = 3;
    EXPECT_EQ(draw(500.0f, 0.0f), 1000.0f);  // Ricker peaks at rssb
    EXPECT_NEAR(draw(1000.0f, 0.0f), 2000.0f * std::exp(-1.0f), 1e-3f);
}

TEST_F(Recruit, NoDeviateDrawsNothingButSetsTheGrowthFactor) {
    s.rmax = 3000.0f;  // a raised level serves one draw only
    const double seed = s.seed;
    EXPECT_EQ(draw(400.0f, 0.0f), 2400.0f);
    EXPECT_EQ(s.seed, seed);
    EXPECT_EQ(s.rmax, s.rlevel);
    EXPECT_EQ(s.ycf, 0.8f);  // 1 + 0.5 * (1000 - 2400) / 1000 = 0.3, raised to ycmin
    EXPECT_FLOAT_EQ((draw(180.0f, 0.0f), s.ycf), 1.2f);  // 1.3, lowered to ycmax
    EXPECT_FLOAT_EQ((draw(400.0f, 0.0f), s.ycf), 1.1f);  // 800: within the limits
}

TEST_F(Recruit, LognormalFactorHasMeanOne) {
    s.rdist = 2;
    double sum = 0.0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) sum += draw(1000.0f, 0.3f);
    EXPECT_NEAR(sum / n, 1000.0, 10.0);
}

TEST_F(Recruit, TruncationOfTheDeviateOrOfTheFactor) {
    s.rlow = 0.9f;
    s.rhigh = 1.1f;
    s.rtrunc = 1;  // limits on z: factor 1 + 0.5 z in 1.45..1.55
    for (int i = 0; i < 200; ++i) {
        const float r = draw(1000.0f, 0.5f);
        ASSERT_GE(r, 1449.99f);
        ASSERT_LE(r, 1550.01f);
    }
    s.rtrunc = 2;  // limits on the factor itself
    for (int i = 0; i < 200; ++i) {
        const float r = draw(1000.0f, 0.5f);
        ASSERT_GE(r, 899.99f);
        ASSERT_LE(r, 1100.01f);
    }
}

TEST_F(Recruit, NegativeRecruitmentIsRedrawn) {
    for (int i = 0; i < 500; ++i) ASSERT_GE(draw(1000.0f, 3.0f), 0.0f);
}

TEST_F(Recruit, UnknownCodesStop) {
    s.rfun = 4;
    EXPECT_THROW(draw(100.0f, 0.0f), StopRun);
    EXPECT_NE(cap.console().find("Incomprehensible recruit function"), std::string::npos);

    s.rfun = 1;
    s.rdist = 3;
    EXPECT_NO_THROW(draw(100.0f, 0.0f));  // the distribution is not looked at
    EXPECT_THROW(draw(100.0f, 0.2f), StopRun);
    EXPECT_NE(cap.console().find("Incomprehensible recruit distribution"), std::string::npos);
}

TEST_F(Recruit, LimitsThatAdmitNoDeviateStop) {
    s.nreg = 2;
    s.rreg = 2;  // the regime loaded last
    s.rlow = 1.0f;
    s.rhigh = 0.5f;
    s.rtrunc = 2;
    EXPECT_THROW(draw(100.0f, 0.2f), StopRun);
    EXPECT_EQ(cap.console(),
              " Recruitment truncation limits admit no deviate in regime           2\r\n");
}

// Regime 1: level 1000 with a cycle; regime 2: level 300, Ricker, no cycle.
class RecruitParams : public Recruit {
protected:
    void SetUp() override {
        Recruit::SetUp();
        s.nreg = 2;
        s.regime(1).function = 1;
        s.regime(1).distribution = 2;
        s.regime(1).truncation = 1;
        s.regime(1).level = 1000.0f;
        s.regime(1).ssb = 400.0f;
        s.regime(1).cv = 0.3f;
        s.regime(1).low = -2.0f;
        s.regime(1).high = 2.0f;
        s.regime(1).exponent = 1.0f;
        s.regime(1).amplitude = 0.5f;   // amplitude
        s.regime(1).period = 10.0f;  // period
        s.regime(1).outburst_factor = 3.0f;  // outburst factor
        s.regime(2).function = 3;
        s.regime(2).distribution = 1;
        s.regime(2).truncation = 2;
        s.regime(2).level = 300.0f;
        s.regime(2).ssb = 50.0f;
        s.regime(2).cv = 0.1f;
        for (int y = 1; y <= maxyear; ++y) s.ireg(y) = y >= 10 ? 2 : 1;
    }
};

TEST_F(RecruitParams, RegimeOfTheYear) {
    rcrparam(s, 12, 1);
    EXPECT_EQ(s.rfun, 3);
    EXPECT_EQ(s.rtrunc, 2);
    EXPECT_EQ(s.rlevel, 300.0f);
    EXPECT_EQ(s.rmax, 300.0f);  // no cycle in regime 2
    rcrparam(s, -4, 1);         // history years take regime 1
    EXPECT_EQ(s.rfun, 1);
    EXPECT_EQ(s.rdist, 2);
    EXPECT_EQ(s.rcv, 0.3f);
    EXPECT_EQ(s.rlow, -2.0f);
    EXPECT_EQ(s.obfac, 3.0f);
    EXPECT_EQ(s.rmax, 300.0f);  // outside 0..40 the level in force stays
}

TEST_F(RecruitParams, CycleUsesTheConstant628) {
    rcrparam(s, 5, 1);
    // cos(3.14) = -0.99999873, not -1
    EXPECT_FLOAT_EQ(s.rmax, 1000.0f * (1.0f - 0.5f * 0.99999873f));
    EXPECT_NE(s.rmax, 500.0f);
    s.ireg(5) = 1;
    s.iob(5) = 1;
    rcrparam(s, 5, 1);
    EXPECT_FLOAT_EQ(s.rmax, 3.0f * 1000.0f * (1.0f - 0.5f * 0.99999873f));
    rcrparam(s, 5, 0);  // projections: no cycle, no outburst
    EXPECT_EQ(s.rmax, 1000.0f);
}

TEST_F(RecruitParams, OutburstWithoutCycleChangesNothing) {
    s.regime(1).period = 0.0f;
    s.iob(3) = 1;
    rcrparam(s, 3, 1);
    EXPECT_EQ(s.rmax, 1000.0f);
}

TEST_F(RecruitParams, ParametersDrawnPerIteration) {
    s.srflag(2) = 1;
    s.iter = 7;
    s.srpar.size_to(s.nsim);
    s.srpar(7, 2, 1) = 2.9999f;  // codes are read with a small margin
    s.srpar(7, 2, 2) = 1.0f;
    s.srpar(7, 2, 3) = 640.0f;
    s.srpar(7, 2, 4) = 20.0f;
    s.srpar(7, 2, 5) = 0.4f;
    rcrparam(s, 15, 1);
    EXPECT_EQ(s.rfun, 3);
    EXPECT_EQ(s.rdist, 1);
    EXPECT_EQ(s.rlevel, 640.0f);
    EXPECT_EQ(s.rssb, 20.0f);
    EXPECT_EQ(s.rcv, 0.4f);
    EXPECT_EQ(s.rtrunc, 2);  // still from the regime

    s.iter = 8;
    s.srpar(8, 2, 1) = -1.0f;
    EXPECT_THROW(rcrparam(s, 15, 1), StopRun);
    const std::string out = cap.console();
    EXPECT_NE(out.find(" Need         1000  sets of recruitment parameters for\r\n"), std::string::npos);
    EXPECT_NE(out.find(" Only got           7\r\n"), std::string::npos);
    EXPECT_NE(out.find(" Amend the srspec file\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tacsim
