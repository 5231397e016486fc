// Observation model: perceived numbers, the cohort-averaged errors, the
// backward reconstruction and the draws of catch, index and survey errors.
#include <cmath>

#include "mgmt_fixture.hpp"

namespace tacsim::testing {
namespace {

using ObsModel = MgmtTest;

TEST_F(ObsModel, WithoutErrorsPerceivesTheTrueNumbersAndWithBiasScalesThem) {
    s().cvage.fill(0.0f);
    obsmodel(s(), ntrue_, 5, 0);
    for (int a = 0; a <= 6; ++a) EXPECT_EQ(s().nperc(a, 5, 5), ntrue_(a)) << "age " << a;

    s().par(shared("Bias_obs")) = 0.5f;
    obsmodel(s(), ntrue_, 6, 0);
    EXPECT_EQ(s().biasobs, 0.5f);
    EXPECT_EQ(s().nperc(0, 6, 6), ntrue_(0));  // below the recruitment age: no error
    for (int a = 1; a <= 6; ++a) EXPECT_FLOAT_EQ(s().nperc(a, 6, 6), 1.5f * ntrue_(a)) << "age " << a;
}

TEST_F(ObsModel, DrawsOneYearDeviateAndOneDeviatePerAgeWithAnAgeError) {
    s().cvage(2) = 0.3f;
    s().cvage(5) = 0.3f;
    const double expect = seed_after(1 + 2);
    obsmodel(s(), ntrue_, 4, 0);
    EXPECT_EQ(s().seed, expect);

    // The first assessment also draws the years its averaging reaches back to.
    s().ncorr = 2;
    s().corrw(0) = 0.5f;
    s().corrw(1) = 0.5f;
    const double expect0 = seed_after(3 * (1 + 2));
    obsmodel(s(), ntrue_, 0, 0);
    EXPECT_EQ(s().seed, expect0);
    EXPECT_NE(s().obserr(2, -2), 0.0f);
    EXPECT_NE(s().obserr(5, -1), 0.0f);
}

TEST_F(ObsModel, AveragesTheErrorsAlongTheCohort) {
    s().ncorr = 2;
    s().corrw(0) = 3.0f;
    s().corrw(1) = 1.0f;
    s().corrw(2) = 0.0f;
    s().par(shared("CVyr_obs")) = 0.4f;  // yearly errors only
    obsmodel(s(), ntrue_, 0, 0);
    for (int a = 2; a <= 6; ++a) {
        const float g = (3.0f * s().obserr(a, 0) + 1.0f * s().obserr(a - 1, -1)) / 4.0f;
        EXPECT_FLOAT_EQ(s().nperc(a, 0, 0), ntrue_(a) * g) << "age " << a;
    }
    // The youngest age has no younger cohort member: its own factor.
    EXPECT_FLOAT_EQ(s().nperc(1, 0, 0), ntrue_(1) * s().obserr(1, 0));

    // No weights at all: the true numbers, although the factors were drawn.
    s().ncorr = 0;
    s().corrw.fill(0.0f);
    const double before = s().seed;
    obsmodel(s(), ntrue_, 3, 0);
    EXPECT_NE(s().seed, before);
    for (int a = 0; a <= 6; ++a) EXPECT_EQ(s().nperc(a, 3, 3), ntrue_(a));
}

// A true history with constant F, the catches it gives, and the
// reconstruction of it from the catches.
class ObsReconstruction : public MgmtTest {
protected:
    static constexpr int Y = 10;
    static constexpr float F = 0.3f;
    Array<float, 0, maxage, Y - 4, Y> truen{};

    void SetUp() override {
        MgmtTest::SetUp();
        s().minbyr = -4;
        s().cvage.fill(0.0f);
        const float start[] = {0.0f, 900.0f, 700.0f, 500.0f, 300.0f, 200.0f, 260.0f};
        for (int a = 1; a <= 6; ++a) truen(a, Y - 4) = start[a];
        for (int y = Y - 4; y < Y; ++y) {
            truen(1, y + 1) = 1000.0f + 50.0f * static_cast<float>(y);
            for (int a = 2; a <= 5; ++a) truen(a, y + 1) = truen(a - 1, y) * std::exp(-(0.2f + F * s().sel(a - 1, 1)));
            truen(6, y + 1) = truen(6, y) * std::exp(-(0.2f + F)) + truen(5, y) * std::exp(-(0.2f + F));
        }
        for (int y = Y - 4; y < Y; ++y)
            for (int a = 1; a <= 6; ++a) {
                const float z = 0.2f + F * s().sel(a, 1);
                s().canobs(a, y) = truen(a, y) * F * s().sel(a, 1) * (1.0f - std::exp(-z)) / z;
            }
        for (int a = 1; a <= 6; ++a) ntrue_(a) = truen(a, Y);
    }
};

TEST_F(ObsReconstruction, RecoversTheTrueHistoryAndItsF) {
    obsmodel(s(), ntrue_, Y, 1);
    for (int y = Y - 4; y < Y; ++y) {
        for (int a = 1; a <= 6; ++a)
            EXPECT_NEAR(s().nperc(a, y, Y) / truen(a, y), 1.0f, 0.02f) << "age " << a << " year " << y;
        // The mean mortality of the pairs ending at ages 3..5 (ages 2..4 fished).
        EXPECT_NEAR(s().fperc(y), F * (0.6f + 1.0f + 1.0f) / 3.0f, 0.01f) << "year " << y;
    }
    EXPECT_EQ(s().fperc(Y - 5), 0.0f);  // not reached back to
}

TEST_F(ObsReconstruction, CohortWithoutCatchIsTheSurvivorsRaisedByNaturalMortality) {
    for (int y = Y - 4; y < Y; ++y)
        for (int a = 0; a <= maxage; ++a) s().canobs(a, y) = 0.0f;
    // Stale numbers from an earlier iteration in this assessment's slice.
    for (int y = Y - 4; y < Y; ++y)
        for (int a = 0; a <= maxage; ++a) s().nperc(a, y, Y) = 12345.0f;
    obsmodel(s(), ntrue_, Y, 1);
    EXPECT_FLOAT_EQ(s().nperc(4, Y - 1, Y), ntrue_(5) * std::exp(0.2f));
    EXPECT_FLOAT_EQ(s().nperc(3, Y - 2, Y), ntrue_(5) * std::exp(0.2f) * std::exp(0.2f));
    for (int y = Y - 4; y < Y; ++y) {
        // No catch at the terminal ages: nothing there, and no division by
        // a zero or negative F.
        EXPECT_EQ(s().nperc(5, y, Y), 0.0f) << "year " << y;
        EXPECT_EQ(s().nperc(6, y, Y), 0.0f) << "year " << y;
        EXPECT_EQ(s().nperc(0, y, Y), 0.0f) << "year " << y;  // stale value cleared
        EXPECT_TRUE(std::isfinite(s().fperc(y)));
    }
    // Pairs with no fish contribute fcap to the perceived F.
    // With no catch each cohort pair only shows natural mortality (F 0); pairs
    // with no fish count as the highest F.
    EXPECT_NEAR(s().fperc(Y - 1), 0.0f, 1e-5f);
    EXPECT_FLOAT_EQ(s().fperc(Y - 4), 2.0f);
}

TEST_F(ObsReconstruction, TwoAgesOnlyFallBackToTheHighestF) {
    s().firstage = 0;
    s().lastage = 1;
    s().fbar1 = 0;
    s().fbar2 = 1;
    s().minbyr = -1;
    s().natmor(0) = 0.2f;
    s().canobs(0, Y - 1) = 50.0f;
    s().canobs(1, Y - 1) = 40.0f;
    obsmodel(s(), ntrue_, Y, 1);
    const float z = 2.0f + 0.2f;
    EXPECT_FLOAT_EQ(s().nperc(0, Y - 1, Y), 50.0f * z / (2.0f * (1.0f - std::exp(-z))));
    EXPECT_FLOAT_EQ(s().nperc(1, Y - 1, Y), 40.0f * z / (2.0f * (1.0f - std::exp(-z))));
    EXPECT_TRUE(std::isfinite(s().fperc(Y - 1)));
}

using ObsCatch = MgmtTest;

TEST_F(ObsCatch, CatchIndexAndSurveysDrawInOrderWithMedianOneErrors) {
    AgeVec c;
    c.fill(0.0f);
    for (int a = 0; a <= 6; ++a) c(a) = 10.0f * static_cast<float>(a + 1);
    s().canobs(9, 3) = 5.0f;
    double expect = seed_after(6);
    getobscanum(s(), c, 3);
    EXPECT_EQ(s().seed, expect);  // a draw for every age 1..6, also without error
    EXPECT_EQ(s().canobs(0, 3), 0.0f);
    EXPECT_EQ(s().canobs(9, 3), 0.0f);
    for (int a = 1; a <= 6; ++a) EXPECT_EQ(s().canobs(a, 3), c(a));

    // With an error the first age takes the first deviate, unbiased in logs.
    s().cvcanum(1) = 0.5f;
    double seed = s().seed;
    const float z = snrn(rnx(seed));
    getobscanum(s(), c, 4);
    EXPECT_FLOAT_EQ(s().canobs(1, 4), c(1) * std::exp(0.5f * z));

    seed = s().seed;
    const float zr = snrn(rnx(seed));
    obsrecruit(s(), 4, ntrue_, 0.2f);
    EXPECT_FLOAT_EQ(s().rindex(4), ntrue_(0) * std::exp(0.2f * zr));

    expect = seed_after(2);
    obssurvey(s(), 4, ntrue_, 0.3f, 0.0f, 1);
    EXPECT_EQ(s().seed, expect);
    float ssb = 0.0f, b = 0.0f;
    calcssb(s(), ntrue_, ssb, 0.3f, 1);
    calcbplus(s(), ntrue_, b);
    EXPECT_EQ(s().ssbsurv(4), ssb);
    EXPECT_EQ(s().bsurv(4), b);
}

}  // namespace
}  // namespace tacsim::testing
