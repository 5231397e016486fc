// The rule's shape is the simulation's own rule evaluated over the basis.
#include <gtest/gtest.h>

#include "report/shape.hpp"

namespace tacsim::report {
namespace {

float at(const RuleShape& s, std::size_t series, float x) {
    for (std::size_t j = 0; j < s.basis.size(); ++j) {
        if (s.basis[j] == x) return s.values[series][j];
    }
    ADD_FAILURE() << "no basis point " << x;
    return -1.0f;
}

TEST(ReportShape, RuleOneFromZeroToTwiceTheHighestTrigger) {
    // Btrig1 100, Btrig2 300, Target 0.3, Alfa1 1, Alfa2 0.5
    const float par[] = {100.0f, 300.0f, 0.3f, 1.0f, 0.5f};
    const RuleShape s = rule_shape(1, par);
    ASSERT_EQ(s.series.size(), 1u);
    EXPECT_EQ(s.basis.front(), 0.0f);
    EXPECT_EQ(s.basis.back(), 600.0f);
    EXPECT_TRUE(std::is_sorted(s.basis.begin(), s.basis.end()));
    ASSERT_EQ(s.triggers.size(), 2u);
    EXPECT_EQ(s.triggers[0].first, "Btrig1");
    EXPECT_EQ(s.triggers[1].second, 300.0f);
    EXPECT_FLOAT_EQ(at(s, 0, 0.0f), 0.0f);          // a straight cut to 0 below Btrig1
    EXPECT_FLOAT_EQ(at(s, 0, 54.0f), 0.3f * 0.54f);
    EXPECT_FLOAT_EQ(at(s, 0, 100.0f), 0.3f);        // the trigger is a point of the grid
    EXPECT_FLOAT_EQ(at(s, 0, 300.0f), 0.3f);
    EXPECT_FLOAT_EQ(at(s, 0, 600.0f), 0.3f * 1.5f);  // a rise of Alfa2 per Btrig2 above it
    EXPECT_EQ(s.beyond, std::vector<bool>({false, false}));
    // "No upper trigger": Btrig2 far above Btrig1 does not stretch the range;
    // it is beyond it. A trigger four times the one below still sets it.
    const float far[] = {460.0f, 10000.0f, 0.3f, 1.0f, 0.0f};
    const RuleShape f = rule_shape(1, far);
    EXPECT_EQ(f.xmax, 920.0f);
    EXPECT_EQ(f.basis.back(), 920.0f);
    EXPECT_EQ(f.beyond, std::vector<bool>({false, true}));
    const float near[] = {100.0f, 400.0f, 0.3f, 1.0f, 0.0f};
    EXPECT_EQ(rule_shape(1, near).xmax, 800.0f);
}

TEST(ReportShape, RecruitmentRulesGiveBothCasesOfTheIndicator) {
    // Rule 5: Btrig1 100, Btrig2 1000, RefRec 50, Alfa1 0, Alfa2 0, Vlow 0.2, Vhigh 0.4
    const float par[] = {100.0f, 1000.0f, 50.0f, 0.0f, 0.0f, 0.2f, 0.4f};
    const RuleShape s = rule_shape(5, par);
    ASSERT_EQ(s.series.size(), 2u);
    EXPECT_FLOAT_EQ(at(s, 0, 150.0f), 0.4f);  // B3 above RefRec: Vhigh
    EXPECT_FLOAT_EQ(at(s, 1, 150.0f), 0.2f);  // B3 at RefRec counts as low
    // Rule 2 marks B0 too: B0 50, Btrig1 100, Btrig2 400, Target 0.3, Level1 0.05
    const float par2[] = {50.0f, 100.0f, 400.0f, 0.3f, 0.05f, 0.0f};
    const RuleShape s2 = rule_shape(2, par2);
    ASSERT_EQ(s2.triggers.size(), 3u);
    EXPECT_FLOAT_EQ(at(s2, 0, 50.0f), 0.05f);
    EXPECT_FLOAT_EQ(at(s2, 0, 100.0f), 0.3f);
}

TEST(ReportShape, NoShapeForAnUnknownRuleOrTooFewParameters) {
    const float par[] = {1.0f, 2.0f};
    EXPECT_TRUE(rule_shape(9, par).values.empty());
    EXPECT_TRUE(rule_shape(1, par).values.empty());
    EXPECT_EQ(rule_parameter_count(6), 8);
    EXPECT_EQ(rule_parameter_count(0), 0);
}

}  // namespace
}  // namespace tacsim::report
