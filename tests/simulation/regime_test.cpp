// Regime sequences and outburst years of an iteration.
#include <gtest/gtest.h>

#include <cmath>

#include "../results/results_fixture.hpp"
#include "random/random.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

constexpr double someseed = 15349668.0;

// The seed after n draws from someseed.
double after(int n) {
    double sd = someseed;
    for (int i = 0; i < n; ++i) rnx(sd);
    return sd;
}

TEST(SimRegimes, OneRegimeAndFixedStartsDrawNothing) {
    ResultsState rs;
    State& s = rs.s();
    s.nreg = 1;
    s.regtype = 7;  // not read with a single regime
    s.seed = someseed;
    drawregimes(s);
    for (int y = 0; y <= maxyear; ++y) EXPECT_EQ(s.ireg(y), 1);

    s.nreg = 3;
    s.regtype = 1;
    s.regstart(2) = 10;
    s.regstart(3) = 20;
    s.regstart(4) = 40;
    drawregimes(s);
    EXPECT_EQ(s.seed, someseed);
    for (int y = 0; y <= maxyear; ++y) EXPECT_EQ(s.ireg(y), y < 10 ? 1 : (y < 20 ? 2 : 3)) << "year " << y;
}

TEST(SimRegimes, UnknownShiftCodeStopsOnlyWithSeveralRegimes) {
    ResultsState rs;
    State& s = rs.s();
    s.nreg = 1;
    s.regtype = 3;
    EXPECT_EQ(rs.status_of(checkregimecode), 0);
    for (int code : {1, 2}) {
        s.nreg = 2;
        s.regtype = code;
        EXPECT_EQ(rs.status_of(checkregimecode), 0) << code;
    }
    s.regtype = 0;
    EXPECT_EQ(rs.status_of(checkregimecode), 1);
    const auto out = rs.records(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], " Incomprehensible code for regime shift           0");
}

TEST(SimRegimes, RandomStartsOutsideOrAtTheEndMakeNoPeriod) {
    ResultsState rs;
    State& s = rs.s();
    s.nreg = 3;
    s.regtype = 2;
    s.regdur = 1.001f;  // nearly every duration is the shortest, 2 years
    for (int j = 1; j <= maxreg + 1; ++j) s.regstart(j) = 99;  // stale starts
    for (int base : {60, 38}) {  // first start beyond 40, or exactly 40
        s.regbase = base;
        s.seed = someseed;
        drawregimes(s);
        EXPECT_EQ(s.seed, after(1)) << "base " << base;  // one duration, no regime
        for (int j = 2; j <= maxreg + 1; ++j) ASSERT_EQ(s.regstart(j), maxyear) << "slot " << j;
        for (int y = 0; y <= maxyear; ++y) ASSERT_EQ(s.ireg(y), 1);
    }

    // Starts at 36, 38 and 40: two periods, the second running to 40.
    s.regbase = 34;
    s.seed = someseed;
    drawregimes(s);
    ASSERT_EQ(s.regstart(2), 36);
    ASSERT_EQ(s.regstart(3), 38);
    ASSERT_EQ(s.regstart(4), 40);
    EXPECT_EQ(s.seed, after(3 + 2));  // three durations, two regimes
    EXPECT_EQ(s.ireg(35), 1);
    EXPECT_EQ(s.ireg(37), s.ireg(36));
    EXPECT_EQ(s.ireg(40), s.ireg(38));
}

// One regime with outbursts of the given mode, first year and interval,
// without spread, so that the intervals are fixed.
void outburstregime(State& s, int mode, int offset, float mean) {
    s.nreg = 1;
    s.regime(1).outburst_law = mode;
    s.regime(1).outburst_offset = offset;
    s.regime(1).outburst_interval = mean;
    s.regime(1).outburst_factor = 3.0f;
}

TEST(SimOutbursts, LognormalIntervalsKeepTheUnroundedSum) {
    ResultsState rs;
    State& s = rs.s();
    outburstregime(s, 1, 3, 4.4f);
    s.seed = someseed;
    drawoutbursts(s);
    // 7.4, 11.8, 16.2, 20.6, 25.0, 29.4, 33.8, 38.2, then 42.6 leaves the window.
    const int years[] = {7, 12, 16, 21, 25, 29, 34, 38};
    int marked = 0;
    for (int y = -15; y <= maxyear; ++y) marked += s.iob(y);
    EXPECT_EQ(marked, 8);
    for (int y : years) EXPECT_EQ(s.iob(y), 1) << "year " << y;
    EXPECT_EQ(s.seed, after(9));
}

TEST(SimOutbursts, GeometricIntervalsStayInTheWindow) {
    ResultsState rs;
    State& s = rs.s();
    // p = 1/2: the partial sums 1 - 2^-d are exact, so the interval of a
    // deviate u is the smallest d with 1 - 2^-d >= u.
    outburstregime(s, 2, 0, 2.0f);
    s.seed = someseed;
    drawoutbursts(s);
    double sd = someseed;
    int k = 0, draws = 0, marked = 0;
    for (;;) {
        const float u = rnx(sd);
        ++draws;
        int d = 1;
        while (1.0f - std::ldexp(1.0f, -d) < u && d < maxyear) ++d;
        k += d;
        if (k > maxyear) break;
        ASSERT_EQ(s.iob(k), 1) << "year " << k;
        ++marked;
    }
    int total = 0;
    for (int y = -15; y <= maxyear; ++y) total += s.iob(y);
    EXPECT_EQ(total, marked);
    EXPECT_EQ(s.seed, after(draws));

    // p = 1/1000: forty terms sum to about 0.04, so almost every interval
    // is the cap of 40 years; from 40 years before the window the first
    // two land on years 0 and 40.
    outburstregime(s, 2, -40, 1000.0f);
    s.seed = someseed;
    drawoutbursts(s);
    for (int y = -15; y <= maxyear; ++y) EXPECT_EQ(s.iob(y), (y == 0 || y == maxyear) ? 1 : 0) << "year " << y;
    EXPECT_EQ(s.seed, after(3));
}

TEST(SimOutbursts, UniformIntervalsIgnoreTheWindow) {
    ResultsState rs;
    State& s = rs.s();
    outburstregime(s, 3, 2, 5.0f);
    s.nreg = 2;
    s.regstart(2) = 20;
    s.regstart(3) = 40;
    s.regime(2).outburst_interval = 5.0f;
    s.regime(2).outburst_factor = 1.0f;  // regime 2: factor 1, no outbursts
    s.seed = someseed;
    drawoutbursts(s);
    // Regime 1's window ends at 20, yet every fifth year up to 39 is marked.
    for (int y = -15; y <= maxyear; ++y) EXPECT_EQ(s.iob(y), (y >= 7 && (y - 2) % 5 == 0) ? 1 : 0) << "year " << y;
    EXPECT_EQ(s.seed, after(8));
}

}  // namespace
}  // namespace tacsim
