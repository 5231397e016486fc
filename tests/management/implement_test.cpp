// Implementation model: the catch taken, its age composition, the realised
// exploitation pattern and F.
#include <cmath>

#include "mgmt_fixture.hpp"

namespace tacsim::testing {
namespace {

class Implement : public MgmtTest {
protected:
    float tac_ = 0.0f, catch_ = -1.0f, f_ = -1.0f;
    int flag_ = -1;
    AgeVec cnum_{};

    void run(float tac) {
        tac_ = tac;
        implement(s(), tac_, catch_, ntrue_, f_, flag_, cnum_);
    }
    float weight() {
        float w = 0.0f;
        for (int a = 1; a <= 6; ++a) w += s().weca(a) * cnum_(a);
        return w;
    }
};

TEST_F(Implement, WithoutErrorsTakesExactlyTheTac) {
    const double expect = seed_after(1);
    run(150.0f);
    EXPECT_EQ(s().seed, expect);  // the yearly deviate only
    EXPECT_EQ(catch_, 150.0f);
    EXPECT_EQ(flag_, 0);
    EXPECT_EQ(cnum_(0), 0.0f);
    EXPECT_NEAR(weight(), 150.0f, 1e-3f);
    for (int a = 1; a <= 6; ++a) EXPECT_NEAR(s().sel(a, 2), s().sel(a, 1), 0.02f) << "age " << a;
    float y = 0.0f;
    yield(s(), ntrue_, y, f_, 2);
    EXPECT_NEAR(y, 150.0f, 0.01f);
}

TEST_F(Implement, BiasScalesTheCatchAndAgeErrorsDrawPerAge) {
    s().par(shared("Bias_impl")) = 0.1f;
    run(150.0f);
    EXPECT_EQ(s().biasimpl, 0.1f);
    EXPECT_FLOAT_EQ(catch_, 1.1f * 150.0f);
    EXPECT_NEAR(weight(), catch_, 1e-3f);
    float y = 0.0f;
    yield(s(), ntrue_, y, f_, 2);
    EXPECT_NEAR(y, catch_, 0.01f);

    // A yearly error has median 1 + bias (no log-normal correction).
    s().par(shared("CVyr_impl")) = 0.2f;
    s().cvimpage(2) = 0.3f;
    s().cvimpage(4) = 0.3f;
    double seed = s().seed;
    const float z = snrn(rnx(seed));
    rnx(seed);
    rnx(seed);
    run(150.0f);
    EXPECT_EQ(s().seed, seed);
    EXPECT_FLOAT_EQ(catch_, 150.0f * (1.1f * std::exp(0.2f * z)));
    EXPECT_NEAR(weight(), catch_, 1e-3f);
}

TEST_F(Implement, ZeroTacAndATacBeyondTheStock) {
    run(0.0f);
    EXPECT_EQ(catch_, 0.0f);
    EXPECT_EQ(f_, 0.0f);
    for (int a = 0; a <= 6; ++a) EXPECT_EQ(cnum_(a), 0.0f);
    for (int a = 1; a <= 6; ++a) EXPECT_EQ(s().sel(a, 2), 0.0f);

    // More than the highest F can take: the TAC itself is cut to that catch.
    float most = 0.0f;
    yield(s(), ntrue_, most, s().fcap, 1);
    run(1e6f);
    EXPECT_EQ(tac_, most);
    // The realised pattern can take a little less again at the highest F.
    EXPECT_LE(catch_, most);
    EXPECT_EQ(flag_, 1);
    EXPECT_EQ(f_, s().fcap);
}

TEST_F(Implement, AgeCaughtBeyondItsNumbersGetsTheHighestF) {
    // Age 6 holds almost nothing but is fished at full selection.
    ntrue_(6) = 0.001f;
    s().cvimpage(6) = 5.0f;
    // Find a draw that inflates the age-6 catch beyond the fish there.
    bool seen = false;
    for (int tries = 0; tries < 50 && !seen; ++tries) {
        run(150.0f);
        seen = cnum_(6) * std::exp(0.1f) >= ntrue_(6);
    }
    ASSERT_TRUE(seen);
    // The pattern is each age's F over the mean F of ages 3..5 (so its mean
    // there is 1), and age 6 has the highest F: the mean F is 2 over its
    // pattern value. Each other age's F then leaves, in Pope's
    // approximation, the survivors its catch leaves (the catch taken in
    // the middle of the year).
    EXPECT_NEAR((s().sel(3, 2) + s().sel(4, 2) + s().sel(5, 2)) / 3.0f, 1.0f, 1e-6f);
    const float fbar = s().fcap / s().sel(6, 2);
    for (int a = 1; a <= 5; ++a) {
        const float m = s().natmor(a), fa = s().sel(a, 2) * fbar;
        const float survivors = ntrue_(a) * std::exp(-m) - cnum_(a) * std::exp(-m / 2.0f);
        EXPECT_NEAR(ntrue_(a) * std::exp(-m - fa), survivors, 1e-4f * ntrue_(a)) << "age " << a;
    }
}

}  // namespace
}  // namespace tacsim::testing
