// Harvest rules: the shape of each rule at and around its triggers, the
// floors and the fallbacks where a rule would divide by zero.
#include <cmath>
#include <initializer_list>

#include "mgmt_fixture.hpp"

namespace tacsim::testing {
namespace {

class Rule : public MgmtTest {
protected:
    void params(int nrule, std::initializer_list<float> p) {
        s().nrule = nrule;
        int k = 1;
        for (float v : p) s().par(k++) = v;
    }
    float eval(float b1, float b2 = 0.0f, float b3 = 0.0f) {
        BasisVec basis;
        basis.fill(0.0f);
        basis(1) = b1;
        basis(2) = b2;
        basis(3) = b3;
        float v = -99.0f;
        rule(s(), v, basis);
        return v;
    }
};

TEST_F(Rule, One) {
    // Btrig1, Btrig2, Target, Alfa1, Alfa2
    params(1, {100.0f, 200.0f, 0.3f, 1.0f, 0.5f});
    EXPECT_FLOAT_EQ(eval(50.0f), 0.15f);
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(100.0f, 200.0f), 0.3f);  // at both triggers: neither adjustment
    EXPECT_FLOAT_EQ(eval(150.0f, 300.0f), 0.3f * (1.0f + 0.5f * 100.0f / 200.0f));
    // Below the lower trigger and above the upper one: only the lower adjustment.
    EXPECT_FLOAT_EQ(eval(50.0f, 300.0f), 0.15f);
    params(1, {100.0f, 200.0f, 0.3f, 3.0f, 0.5f});
    EXPECT_EQ(eval(50.0f), 0.0f);  // -0.15 floored
    // No lower trigger: the target below it.
    params(1, {0.0f, 200.0f, 0.3f, 1.0f, 0.5f});
    EXPECT_FLOAT_EQ(eval(-5.0f), 0.3f);
}

TEST_F(Rule, Two) {
    // B0, Btrig1, Btrig2, Target, Level1, Alfa2
    params(2, {50.0f, 100.0f, 200.0f, 0.3f, 0.1f, 0.5f});
    EXPECT_FLOAT_EQ(eval(50.0f, 0.0f), 0.1f);
    EXPECT_FLOAT_EQ(eval(20.0f, 0.0f), 0.1f);
    EXPECT_FLOAT_EQ(eval(75.0f, 0.0f), 0.2f);
    EXPECT_FLOAT_EQ(eval(100.0f, 200.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(100.0f, 300.0f), 0.3f * 1.25f);
    params(2, {50.0f, 100.0f, 200.0f, 0.3f, 0.1f, -4.0f});
    EXPECT_LT(eval(100.0f, 300.0f), 0.0f);  // not floored
    // No upper trigger: the target, no division.
    params(2, {50.0f, 100.0f, 0.0f, 0.3f, 0.1f, 0.5f});
    EXPECT_FLOAT_EQ(eval(100.0f, 0.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(100.0f, 500.0f), 0.3f);
}

TEST_F(Rule, Three) {
    // Btrig1, Btrig2, Target, Alfa1, Alfa2, Gain
    params(3, {100.0f, 200.0f, 0.3f, 1.0f, 0.5f, 0.0f});
    EXPECT_FLOAT_EQ(eval(50.0f, 0.0f, 7.0f), 0.15f);  // as rule 1
    EXPECT_FLOAT_EQ(eval(150.0f, 300.0f, 7.0f), 0.3f * 1.25f);
    params(3, {100.0f, 200.0f, 0.3f, 1.0f, 0.5f, 0.5f});
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f, 2.0f), 0.6f);
    EXPECT_FLOAT_EQ(eval(50.0f, 150.0f, 2.0f), 0.3f);
    EXPECT_EQ(eval(150.0f, 150.0f, -4.0f), 0.0f);  // floored
}

TEST_F(Rule, FourLogistic) {
    // Btrig1, Btrig2, Target, Slope1, Slope2, Vmax
    params(4, {100.0f, 200.0f, 0.3f, 4.0f, 2.0f, 0.5f});
    EXPECT_NEAR(eval(0.0f, 0.0f), 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(eval(100.0f, 100.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(99.9999f, 0.0f) + 1.0f, 0.3f + 1.0f);
    const float half = 1.0f / (1.0f + std::exp(-4.0f * 0.5f)) - 0.5f;
    const float whole = 1.0f / (1.0f + std::exp(-4.0f)) - 0.5f;
    EXPECT_FLOAT_EQ(eval(50.0f, 0.0f), 0.3f * half / whole);
    EXPECT_FLOAT_EQ(eval(100.0f, 200.0f), 0.3f);
    // Far above the upper trigger: half way from Target to Vmax.
    EXPECT_NEAR(eval(100.0f, 1e6f), 0.4f, 1e-6f);
    // A flat lower slope: the straight line it tends to.
    params(4, {100.0f, 200.0f, 0.3f, 0.0f, 2.0f, 0.5f});
    EXPECT_FLOAT_EQ(eval(25.0f, 0.0f), 0.075f);
    // Vmax below zero: floored.
    params(4, {100.0f, 200.0f, 0.3f, 4.0f, 2.0f, -5.0f});
    EXPECT_EQ(eval(100.0f, 1e6f), 0.0f);
}

TEST_F(Rule, FiveRecruitmentChoosesTheBase) {
    // Btrig1, Btrig2, RefRec, Alfa1, Alfa2, Vlow, Vhigh
    params(5, {100.0f, 200.0f, 1000.0f, 1.0f, 0.5f, 0.2f, 0.4f});
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f, 1000.0f), 0.2f);  // equal counts as low
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f, 1001.0f), 0.4f);
    EXPECT_FLOAT_EQ(eval(50.0f, 150.0f, 2000.0f), 0.2f);
    EXPECT_FLOAT_EQ(eval(150.0f, 400.0f, 0.0f), 0.3f);
    params(5, {100.0f, 200.0f, 1000.0f, 1.0f, 0.5f, -0.2f, 0.4f});
    EXPECT_EQ(eval(150.0f, 150.0f, 0.0f), 0.0f);
}

TEST_F(Rule, SixRuleTwoShapeAroundTheRecruitmentBase) {
    // B0, Btrig1, Btrig2, RefRec, Alfa2, V0, Vlow, Vhigh
    params(6, {50.0f, 100.0f, 200.0f, 1000.0f, 0.5f, 0.05f, 0.2f, 0.4f});
    EXPECT_FLOAT_EQ(eval(40.0f, 0.0f, 5000.0f), 0.05f);
    EXPECT_FLOAT_EQ(eval(75.0f, 0.0f, 5000.0f), 0.05f + 0.35f * 0.5f);
    EXPECT_FLOAT_EQ(eval(75.0f, 0.0f, 1000.0f), 0.05f + 0.15f * 0.5f);
    EXPECT_FLOAT_EQ(eval(100.0f, 150.0f, 5000.0f), 0.4f);
    EXPECT_FLOAT_EQ(eval(100.0f, 400.0f, 0.0f), 0.2f * 1.5f);
    params(6, {50.0f, 100.0f, -1.0f, 1000.0f, 0.5f, 0.05f, 0.2f, 0.4f});
    EXPECT_FLOAT_EQ(eval(100.0f, 400.0f, 0.0f), 0.2f);  // no upper trigger
    params(6, {50.0f, 100.0f, 200.0f, 1000.0f, 0.5f, -0.05f, 0.2f, 0.4f});
    EXPECT_FLOAT_EQ(eval(10.0f, 0.0f, 0.0f), -0.05f);  // not floored
}

TEST_F(Rule, SevenPiecewiseOnB1) {
    // Btrig1, Btrig2, Target, Alfa1, Alfa2
    params(7, {100.0f, 200.0f, 0.3f, 1.0f, 0.1f});
    EXPECT_FLOAT_EQ(eval(100.0f, 999.0f), 0.1f);
    EXPECT_FLOAT_EQ(eval(200.0f, -999.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(250.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(150.0f), 0.2f);
    EXPECT_FLOAT_EQ(eval(50.0f), 0.05f);
    params(7, {100.0f, 200.0f, 0.3f, 3.0f, 0.1f});
    EXPECT_EQ(eval(50.0f), 0.0f);
    // No positive lower trigger (a trend basis can fall below 0): Alfa2
    // itself below it, floored at 0; never a division by the trigger.
    params(7, {0.0f, 0.1f, 0.3f, 1.0f, 0.2f});
    EXPECT_FLOAT_EQ(eval(-0.5f), 0.2f);
    EXPECT_FLOAT_EQ(eval(0.05f), 0.2f + 0.1f * 0.5f);
    params(7, {-1.0f, 0.1f, 0.3f, 1.0f, 0.2f});
    EXPECT_FLOAT_EQ(eval(-3.0f), 0.2f);
    params(7, {0.0f, 0.1f, 0.3f, 1.0f, -0.2f});
    EXPECT_EQ(eval(-0.5f), 0.0f);
}

TEST_F(Rule, EightHeldWithinItsBounds) {
    // Btrig1, Btrig2, Vstd, Alfa1, Alfa2, Vlow, Vhigh
    params(8, {100.0f, 200.0f, 0.3f, 1.0f, 1.0f, 0.2f, 0.5f});
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f), 0.3f);
    EXPECT_FLOAT_EQ(eval(10.0f, 150.0f), 0.2f);
    EXPECT_FLOAT_EQ(eval(150.0f, 1000.0f), 0.5f);
    for (float b = 0.0f; b <= 2000.0f; b += 37.0f) {
        const float v = eval(b, b);
        EXPECT_GE(v, 0.2f);
        EXPECT_LE(v, 0.5f);
    }
    params(8, {100.0f, 200.0f, -0.3f, 1.0f, 1.0f, -1.0f, 0.5f});
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f), -0.3f);  // not floored
    params(8, {100.0f, 200.0f, 0.3f, 1.0f, 1.0f, 0.6f, 0.5f});
    EXPECT_FLOAT_EQ(eval(150.0f, 150.0f), 0.5f);  // Vlow above Vhigh: Vhigh
}

TEST_F(Rule, UnknownRuleStops) {
    s().nrule = 9;
    EXPECT_THROW(eval(1.0f), StopRun);
    const auto lines = console();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], " Unknown harvest rule           9");
}

}  // namespace
}  // namespace tacsim::testing
