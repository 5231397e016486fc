// TAC decision: one evaluation without a search, the self-consistent rule
// value, the search that gives up, the filter and the change limit at their
// triggers, the period fill, MinTAC and MaxTAC (also for a TAC that is not a
// number), the recruit treatment, the search step from a midpoint rule value,
// and a projection that starts the year before the TAC year.
#include <cmath>
#include <limits>

#include "mgmt_fixture.hpp"

namespace tacsim::testing {
namespace {

constexpr int Y = 5;

class Decision : public MgmtTest {
protected:
    void SetUp() override {
        MgmtTest::SetUp();
        perceive(Y, 100.0f);
        s().tac.fill(-5.0f);
    }
    // The rule value is the TAC itself: rule 1 with a fixed target.
    void fixed_tac(float target) {
        s().vtype = 4;
        option(s(), "Target") = target;
    }
    float tac(int y) { return s().tac(y); }
    // The fixture's SSB: spawning at the start of the year, so whatever the
    // F, the sum of numbers x weight x maturity (36 + 144 + 225 + 180 + 300).
    static constexpr float kSsb = 885.0f;
    // The catch the fixture's stock `n` gives at F (the catch equation).
    float catch_at(const AgeVec& n, float f) {
        float c = 0.0f;
        yield(s(), n, c, f, 1);
        return c;
    }
};

TEST_F(Decision, WithoutFutureBasisYearsTheRuleIsEvaluatedOnce) {
    for (int a = 0; a <= maxage; ++a) s().nprojn(a, Y + 1) = -7.0f;
    hcr(s(), s().tac, Y);
    EXPECT_EQ(tac(Y), catch_at(ntrue_, 0.3f));  // the TAC of a constant F is its catch
    EXPECT_EQ(s().fdecres(Y, 1), 0.3f);
    EXPECT_EQ(tac(Y - 1), 100.0f);
    EXPECT_EQ(s().nprojn(2, Y + 1), -7.0f);  // nothing projected beyond the TAC year
    EXPECT_FLOAT_EQ(s().basisres(Y, 1, 1), kSsb);
    EXPECT_EQ(s().precres(Y, 1), ntrue_(1));
}

TEST_F(Decision, SearchFindsARuleValueThatReproducesItself) {
    // F falls with the SSB of the year after the TAC year, which falls with
    // the TAC: the rule value depends on itself.
    s().lastbyr = 1;
    s().bfirst(1) = 1;
    s().blast(1) = 1;
    option(s(), "Btrig1") = 2000.0f;  // far above the stock
    option(s(), "Alfa1") = 1.0f;
    s().meanrec = -1.0f;
    hcr(s(), s().tac, Y);
    const float v = s().fdecres(Y, 1);
    EXPECT_GT(v, 0.0f);
    EXPECT_LT(v, 0.3f);
    EXPECT_FLOAT_EQ(s().meanrec, ntrue_(1));  // the mean over the assessment year alone

    // The TAC left gives back the same rule value.
    AgeVec nstart = ntrue_;
    AgeVec nout;
    TacVec catchv;
    int flag = 0;
    project(s(), nstart, nout, s().tac, catchv, Y, flag);
    EXPECT_EQ(flag, 0);
    BasisVec basis;
    basis.fill(0.0f);
    buildbasis(s(), Y, basis);
    float again = 0.0f;
    rule(s(), again, basis);
    EXPECT_NEAR(again / v, 1.0f, 1e-3f);
    float c = 0.0f;
    yield(s(), nout, c, v, 1);
    EXPECT_FLOAT_EQ(tac(Y), c);
    EXPECT_NEAR(s().basisres(Y, 1, 1) / basis(1), 1.0f, 1e-3f);
}

TEST_F(Decision, SearchThatCannotSettleGivesUpWithAMessage) {
    // A rule that jumps from a high to a low TAC at an SSB trigger that lies
    // between the SSBs after the low TAC and after the midpoint.
    s().vtype = 4;
    s().nrule = 7;
    s().lastbyr = 1;
    s().bfirst(1) = 1;
    s().blast(1) = 1;
    auto ssb_after = [&](float t) {
        TacVec path = s().tac;
        for (int k = 0; k < Y; ++k) path(k) = 100.0f;
        path(Y) = t;
        path(Y + 1) = t;
        AgeVec nout;
        TacVec catchv;
        int flag = 0;
        project(s(), ntrue_, nout, path, catchv, Y, flag);
        BasisVec basis;
        buildbasis(s(), Y, basis);
        return basis(1);
    };
    const float trig = (ssb_after(110.0f) + ssb_after(20.0f)) / 2.0f;
    ASSERT_GT(ssb_after(20.0f), trig);
    ASSERT_LT(ssb_after(100.0f), trig);
    option(s(), "Btrig1") = trig * 0.9999f;
    option(s(), "Btrig2") = trig;
    option(s(), "Target") = 200.0f;
    option(s(), "Alfa1") = 0.0f;
    option(s(), "Alfa2") = 20.0f;
    hcr(s(), s().tac, Y);
    const auto lines = console();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], " Eternal loop in search for v that reproduces itself in subroutine hcr");
    EXPECT_EQ(lines[1], " Iteration           1 year           5");
    EXPECT_EQ(lines[2], " set v=   110.00000    ");
    EXPECT_EQ(tac(Y), 20.0f);  // implied by the last rule evaluation
}

TEST_F(Decision, ChangeLimitFromZeroKeepsZeroAndCompoundsOverThePeriod) {
    fixed_tac(100.0f);
    s().par(shared("Percent")) = 10.0f;
    perceive(Y, 0.0f);
    hcr(s(), s().tac, Y);
    EXPECT_EQ(tac(Y), 0.0f);

    perceive(Y, 100.0f);
    fixed_tac(105.0f);
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 105.0f);  // within the limit

    fixed_tac(200.0f);
    s().ntacyr = 3;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 100.0f * 1.1f);
    EXPECT_FLOAT_EQ(tac(Y + 1), 100.0f * 1.1f * 1.1f);
    EXPECT_FLOAT_EQ(tac(Y + 2), 100.0f * 1.1f * 1.1f * 1.1f);

    fixed_tac(50.0f);
    s().ntacyr = 1;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 90.0f);
}

TEST_F(Decision, FilterSwitchesOnAtItsTriggerAndThenBlendsTwice) {
    fixed_tac(200.0f);
    s().par(shared("Filter")) = 0.5f;
    s().cbkind(1) = 4;
    s().cbfirst(1) = -1;
    s().cblast(1) = -1;
    s().cbhow(1) = 1;
    s().rindex(Y - 1) = 10.0f;
    s().par(shared("Trig_filt")) = 20.0f;  // index below the trigger: only the blend
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 150.0f);
    s().par(shared("Trig_filt")) = 5.0f;  // index above: the filtered path, blended once more
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 125.0f);

    // A trend passes when below its trigger.
    s().cbhow(1) = 3;
    s().cbfirst(1) = -2;
    s().rindex(Y - 2) = 10.0f;
    s().par(shared("Trig_filt")) = 0.01f;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 125.0f);
    s().par(shared("Trig_filt")) = 0.0f;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 150.0f);

    s().par(shared("Filter")) = 1.0f;  // no filter
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 200.0f);
}

TEST_F(Decision, ChangeLimitPastItsTriggerTakesTheLimitedPath) {
    fixed_tac(200.0f);
    s().par(shared("Percent")) = 10.0f;
    s().pctmode = 2;
    s().ntacyr = 2;
    s().cbkind(2) = 4;
    s().cbfirst(2) = -1;
    s().cblast(2) = -1;
    s().cbhow(2) = 1;
    s().rindex(Y - 1) = 10.0f;
    s().par(shared("Trig_perc")) = 20.0f;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 200.0f);
    EXPECT_FLOAT_EQ(tac(Y + 1), 200.0f);
    s().par(shared("Trig_perc")) = 5.0f;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 110.0f);
    EXPECT_FLOAT_EQ(tac(Y + 1), 121.0f);
}

TEST_F(Decision, PeriodFillStepsOnceAndBoundsHoldEveryYear) {
    fixed_tac(130.0f);
    s().ntacyr = 3;
    s().tacfill = 2;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 110.0f);
    EXPECT_FLOAT_EQ(tac(Y + 1), 120.0f);
    EXPECT_FLOAT_EQ(tac(Y + 2), 130.0f);
    for (int k = Y; k <= Y + 2; ++k) EXPECT_EQ(s().basisres(k, 1, 1), s().basisres(Y, 1, 1));
    EXPECT_EQ(s().basisres(Y + 3, 1, 1), 0.0f);

    s().par(shared("MinTAC")) = 115.0f;
    s().par(shared("MaxTAC")) = 125.0f;
    hcr(s(), s().tac, Y);
    EXPECT_FLOAT_EQ(tac(Y), 115.0f);
    EXPECT_FLOAT_EQ(tac(Y + 1), 120.0f);
    EXPECT_FLOAT_EQ(tac(Y + 2), 125.0f);

    s().tacfill = 1;
    s().par(shared("MinTAC")) = 0.0f;
    s().par(shared("MaxTAC")) = 0.0f;
    hcr(s(), s().tac, Y);
    for (int k = Y; k <= Y + 2; ++k) EXPECT_FLOAT_EQ(tac(k), 130.0f);
}

TEST_F(Decision, ATacThatIsNotANumberTakesTheBound) {
    fixed_tac(std::numeric_limits<float>::quiet_NaN());
    s().par(shared("MinTAC")) = 115.0f;
    hcr(s(), s().tac, Y);
    EXPECT_EQ(tac(Y), 115.0f);
    s().par(shared("MinTAC")) = 0.0f;
    s().par(shared("MaxTAC")) = 125.0f;
    hcr(s(), s().tac, Y);
    EXPECT_EQ(tac(Y), 125.0f);
    s().par(shared("MaxTAC")) = 0.0f;  // no bound: nothing to take
    hcr(s(), s().tac, Y);
    EXPECT_TRUE(std::isnan(tac(Y)));
}

TEST_F(Decision, RecruitsTakeTheMeanOrADrawnErrorAndWeightsReturnToTheTacYear) {
    s().recobs = 1;
    s().mrfirst = -2;
    s().mrlast = 0;
    s().nperc(1, Y - 2, Y) = 100.0f;
    s().nperc(1, Y - 1, Y) = 0.0f;  // not positive: left out of the mean
    s().nperc(1, Y, Y) = 400.0f;
    hcr(s(), s().tac, Y);
    EXPECT_NEAR(s().meanrec, 200.0f, 1e-3f);
    EXPECT_EQ(s().precres(Y, 1), s().meanrec);

    s().recobs = 2;
    s().recobscv = 0.3f;
    double seed = s().seed;
    rnx(seed);
    const float z = snrn(rnx(seed));
    hcr(s(), s().tac, Y);
    EXPECT_EQ(s().seed, seed);  // ages 0 and 1
    EXPECT_FLOAT_EQ(s().precres(Y, 1), 400.0f * std::exp(0.3f * z));

    // Assessment a year before the TAC year: its weights in the projection,
    // those of the TAC year afterwards.
    s().recobs = 3;
    s().lag = -1;
    perceive(Y - 1, 100.0f);
    for (int a = 0; a <= 6; ++a) {
        s().westyr(Y - 1, a) = 9.0f;
        s().wecayr(Y, a) = 0.5f;
    }
    hcr(s(), s().tac, Y);
    EXPECT_EQ(s().west(3), s().westyr(Y, 3));
    EXPECT_EQ(s().weca(3), 0.5f);
    EXPECT_GT(tac(Y), 0.0f);
}

TEST_F(Decision, SearchStepTakesTheTacOfTheMidpointFromTheLatestBasis) {
    // Rule 1 as a fixed harvest rate of 0.2 on basis element 1 (the SSB of
    // the TAC year), two-year TACs in linear steps from the previous TAC.
    s().vtype = 3;
    option(s(), "Target") = 0.2f;
    s().lastbyr = 1;
    s().ntacyr = 2;
    s().tacfill = 2;
    s().meanrec = ntrue_(1);
    for (int k = Y - 1; k <= Y + 1; ++k) s().tac(k) = 100.0f;
    for (int a = 0; a <= 6; ++a) s().nprojn(a, Y) = ntrue_(a);
    AgeVec nstart = ntrue_;
    BasisVec basis;
    basis.fill(0.0f);
    basis(1) = 1000.0f;  // the basis of the latest evaluation
    float vout = 0.0f;
    getvfromv(s(), Y, nstart, basis, s().tac, 0.5f, vout);
    EXPECT_EQ(vout, 0.2f);

    // The projection took the first of two steps towards 0.5 x 1000 in the
    // TAC year: its F takes a catch of 300.
    EXPECT_NEAR(catch_at(ntrue_, s().fperc(Y)), 300.0f, 0.01f);

    // The TACs left are those of the new rule value, 0.2 of the new basis,
    // in two steps from 100.
    EXPECT_FLOAT_EQ(basis(1), kSsb);
    EXPECT_FLOAT_EQ(tac(Y), 100.0f + (0.2f * kSsb - 100.0f) / 2.0f);
    EXPECT_FLOAT_EQ(tac(Y + 1), 0.2f * kSsb);
}

TEST_F(Decision, ProjectionFromTheYearBeforeTakesThatYearsTac) {
    // Assessment a year before the TAC year, no basis year after it: the
    // projection still steps through the assessment year and the TAC year.
    s().lag = -1;
    s().lastbyr = 0;
    s().meanrec = 321.0f;
    for (int a = 0; a <= maxage; ++a) s().nprojn(a, Y + 1) = -7.0f;
    TacVec path;
    path.fill(0.0f);
    path(Y - 1) = 80.0f;
    path(Y) = 120.0f;
    AgeVec nout;
    TacVec catchv;
    int flag = 0;
    project(s(), ntrue_, nout, path, catchv, Y, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(catchv(Y - 1), 80.0f);
    EXPECT_EQ(catchv(Y), 120.0f);
    EXPECT_EQ(s().nprojn(3, Y - 1), ntrue_(3));

    // Each year's F takes that year's catch, and the numbers survive it: each
    // age one year older, the plus group its own survivors and those that
    // have just reached the age below it; the recruits are the mean.
    auto survive = [&](const AgeVec& n, float f) {
        auto left = [&](int a) { return std::exp(-s().natmor(a) - s().sel(a, 1) * f); };
        AgeVec m{};
        m(0) = 321.0f;
        for (int a = 1; a <= 5; ++a) m(a) = n(a - 1) * left(a - 1);
        m(6) = n(6) * left(6) + m(5) * left(5);
        return m;
    };
    auto expect_near = [](float got, float want, const char* what, int a) {
        EXPECT_NEAR(got, want, 2e-6f * want) << what << ", age " << a;
    };
    EXPECT_NEAR(catch_at(ntrue_, s().fperc(Y - 1)), 80.0f, 0.01f);
    const AgeVec tacyear = survive(ntrue_, s().fperc(Y - 1));
    for (int a = 0; a <= 6; ++a) {
        expect_near(nout(a), tacyear(a), "start of the TAC year", a);
        expect_near(s().nprojn(a, Y), tacyear(a), "stored start of the TAC year", a);
    }
    EXPECT_NEAR(catch_at(tacyear, s().fperc(Y)), 120.0f, 0.01f);
    const AgeVec after = survive(tacyear, s().fperc(Y));
    expect_near(s().precres(Y, 1), after(1), "recruits at the first age", 1);
    expect_near(s().nprojn(2, Y + 1), after(2), "the year after", 2);
}

}  // namespace
}  // namespace tacsim::testing
