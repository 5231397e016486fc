// Decision basis: window values by kind, mean, minimum and trend, the
// constraint bases, the true-stock basis and the stops.
#include "mgmt_fixture.hpp"

namespace tacsim::testing {
namespace {

using BasisCombine = MgmtTest;

TEST_F(BasisCombine, RegressFitsTheLeastSquaresLine) {
    const float x[] = {1.0f, 2.0f, 3.0f};
    const float y[] = {10.0f, 12.0f, 14.0f};
    float a = 0.0f, b = 0.0f, ybar = 0.0f;
    regress(x, y, a, b, 3, ybar);
    EXPECT_FLOAT_EQ(b, 2.0f);
    EXPECT_FLOAT_EQ(ybar, 12.0f);
    EXPECT_FLOAT_EQ(a, 8.0f);
}

TEST_F(BasisCombine, MeanMinimumAndTrendOfTheRecruitmentIndex) {
    const int Y = 10;
    s().nbasis = 4;
    s().rindex(7) = 10.0f;
    s().rindex(8) = 12.0f;
    s().rindex(9) = 14.0f;
    for (int i = 1; i <= 4; ++i) {
        s().bkind(i) = 4;
        s().bfirst(i) = -3;
        s().blast(i) = -1;
    }
    s().bhow(1) = 1;
    s().bhow(2) = 2;
    s().bhow(3) = 3;
    s().bhow(4) = 1;
    s().bfirst(4) = -2;
    s().blast(4) = -2;  // one year
    BasisVec basis;
    basis.fill(-9.0f);
    buildbasis(s(), Y, basis);
    EXPECT_FLOAT_EQ(basis(1), 12.0f);
    EXPECT_FLOAT_EQ(basis(2), 10.0f);
    EXPECT_NEAR(basis(3), 0.1667f, 1e-4f);
    EXPECT_FLOAT_EQ(basis(4), 12.0f);
    EXPECT_EQ(basis(5), -9.0f);  // beyond nbasis: untouched

    // A falling trend is negative in the decision basis, positive as a
    // constraint basis.
    s().rindex(7) = 14.0f;
    s().rindex(9) = 10.0f;
    buildbasis(s(), Y, basis);
    EXPECT_NEAR(basis(3), -0.1667f, 1e-4f);
    EXPECT_FLOAT_EQ(basis(2), 10.0f);
    s().cbkind(2) = 4;
    s().cbfirst(2) = -3;
    s().cblast(2) = -1;
    s().cbhow(2) = 3;
    float cb = 0.0f;
    buildcbasis(s(), cb, 2, Y);
    EXPECT_NEAR(cb, 0.1667f, 1e-4f);

    // A trend over values whose mean is not positive is 0.
    s().rindex(7) = -4.0f;
    s().rindex(8) = 0.0f;
    s().rindex(9) = 2.0f;
    buildbasis(s(), Y, basis);
    EXPECT_EQ(basis(3), 0.0f);
    buildcbasis(s(), cb, 2, Y);
    EXPECT_EQ(cb, 0.0f);
}

using BasisWindow = MgmtTest;

TEST_F(BasisWindow, HistoryBeforeTheAssessmentYearProjectionFromIt) {
    const int Y = 10;
    s().lag = -1;  // latest assessment in Y-1
    s().nbasis = 3;
    s().bkind(1) = 3;  // recruits
    s().bfirst(1) = -2;
    s().blast(1) = 0;
    s().bhow(1) = 1;
    s().nperc(1, 8, 9) = 100.0f;  // history of the assessment of year 9
    s().nperc(1, 8, 10) = 999.0f;  // another assessment: not read
    s().bkind(2) = 1;  // SSB with the perceived F of the window year
    s().bhow(2) = 1;
    s().bkind(3) = 2;  // biomass above an age
    s().bhow(3) = 2;
    s().bfirst(3) = -1;
    for (int a = 0; a <= 6; ++a) s().nprojn(a, 9) = ntrue_(a);
    for (int a = 0; a <= 6; ++a) s().nprojn(a, 10) = 2.0f * ntrue_(a);
    s().fprop = 0.5f;
    s().fperc(10) = 0.4f;
    BasisVec basis;
    buildbasis(s(), Y, basis);
    EXPECT_FLOAT_EQ(basis(1), (100.0f + ntrue_(1) + 2.0f * ntrue_(1)) / 3.0f);

    AgeVec n2;
    n2.fill(0.0f);
    for (int a = 1; a <= 6; ++a) n2(a) = 2.0f * ntrue_(a);
    float ssb = 0.0f, b9 = 0.0f;
    calcssb(s(), n2, ssb, 0.4f, 1);
    EXPECT_FLOAT_EQ(basis(2), ssb);
    calcbplus(s(), ntrue_, b9);
    EXPECT_FLOAT_EQ(basis(3), b9);  // the smaller of years 9 and 10
}

TEST_F(BasisWindow, SurveyNotYetPerformedStopsWithThreeLines) {
    s().bkind(1) = 5;
    s().bfirst(1) = -2;
    s().blast(1) = -1;
    s().ssbsurv(8) = 50.0f;
    s().ssbsurv(9) = -1.0f;
    BasisVec basis;
    EXPECT_THROW(buildbasis(s(), 10, basis), StopRun);
    const auto lines = console();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], " A biomass survey is included in the decision basis");
    EXPECT_EQ(lines[1], " in year TAC year +           -1 which is before it has been performed");
    EXPECT_EQ(lines[2], " Correct the specification of the basis in the opt.inn file");

    // The biomass survey alike; once performed the value is read.
    s().bkind(1) = 6;
    s().bsurv(8) = 70.0f;
    s().bsurv(9) = 30.0f;
    buildbasis(s(), 10, basis);
    EXPECT_FLOAT_EQ(basis(1), 50.0f);
}

TEST_F(BasisWindow, TrendOverOneYearStops) {
    s().bkind(1) = 4;
    s().bhow(1) = 3;
    s().rindex(10) = 5.0f;
    BasisVec basis;
    EXPECT_THROW(buildbasis(s(), 10, basis), StopRun);
    const auto lines = console();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " You ask for a trend over less than two years");
    EXPECT_EQ(lines[1], " Check definition of basis on the opt.inn file");
}

using BasisTrue = MgmtTest;

TEST_F(BasisTrue, TrueBasisFromTheTrueNumbersAndMinusOneOutsideTheYears) {
    s().nbasis = 2;
    s().bkind(1) = 4;  // true numbers at the recruitment age
    s().bfirst(1) = -1;
    s().blast(1) = 0;
    s().bhow(1) = 3;
    s().bkind(2) = 3;  // recruitment index
    s().bfirst(2) = 0;
    s().blast(2) = 1;
    s().bhow(2) = 1;
    NHist nhist;
    nhist.fill(0.0f);
    for (int y = 0; y <= maxyear; ++y) {
        nhist(1, y) = 100.0f + 10.0f * static_cast<float>(y);
        s().rindex(y) = static_cast<float>(y);
    }
    compbasis(s(), nhist);
    EXPECT_FLOAT_EQ(s().truebas(1, 1), 10.0f / 105.0f);
    EXPECT_FLOAT_EQ(s().truebas(1, 40), 10.0f / 495.0f);
    EXPECT_EQ(s().truebas(2, 40), -1.0f);
    EXPECT_FLOAT_EQ(s().truebas(2, 39), 39.5f);
    s().bfirst(1) = -2;
    compbasis(s(), nhist);
    EXPECT_EQ(s().truebas(1, 1), -1.0f);
    EXPECT_NE(s().truebas(1, 2), -1.0f);
}

}  // namespace
}  // namespace tacsim::testing
