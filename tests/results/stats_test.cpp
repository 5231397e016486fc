// Run statistics of an option set: crash flags, TAC changes, window
// summaries and what bootprint writes.
#include <gtest/gtest.h>

#include <string>

#include "management/rulebook.hpp"
#include "results/results.hpp"
#include "results_fixture.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

// Field k of a row of the yearly means: 0 the year, then F, SSB, Catch, TAC,
// AbsIAV, Ptrig, Plim, Pcrash.
std::string field(const std::string& row, int k) { return k == 0 ? row.substr(0, 5) : row.substr(7 + 7 * (k - 1), 7); }

// TAC and catch 100 in every year, F 0.3, SSB of iteration i equal to i.
void plainresults(State& s) {
    s.year0 = 2000;
    s.nrule = 1;
    s.blim = 100.0f;
    s.sumyr1 = 1;
    s.sumyr2 = 10;
    for (int y = 0; y <= maxyear; ++y) {
        for (int i = 1; i <= maxiter; ++i) {
            s.tacres(y, i) = s.catchres(y, i) = 100.0f;
            s.fres(y, i) = s.fdecres(y, i) = 0.3f;
            s.ssbres(y, i) = static_cast<float>(i);
            s.tsbres(y, i) = 2.0f * static_cast<float>(i);
            s.recres(y, i) = 1000.0f;
        }
    }
}

TEST(StatsCrash, FlagsArePermanentFromYearOne) {
    ResultsState rs;
    State& s = rs.s();
    s.icrash(3, 7) = 1;
    s.icrash(0, 8) = 1;  // year 0 is not carried forward
    crashperm(s);
    for (int y = 0; y <= maxyear; ++y) {
        EXPECT_EQ(s.icrash(y, 7), y >= 3 ? 1 : 0) << "year " << y;
        EXPECT_EQ(s.icrash(y, 8), y == 0 ? 1 : 0) << "year " << y;
    }
}

TEST(StatsWindow, ZeroTacContributesNothingButKeepsTheDivisor) {
    float r = -5;
    EXPECT_TRUE(relchange(100.0f, 300.0f, r));
    EXPECT_EQ(r, 1.0f);
    EXPECT_FALSE(relchange(0.0f, 100.0f, r));
    EXPECT_EQ(r, 0.0f);
    EXPECT_FALSE(relchange(100.0f, 0.0f, r));

    ResultsState rs;
    State& s = rs.s();
    plainresults(s);
    for (int y = 3; y <= maxyear; ++y) s.tacres(y, 1) = 300.0f;  // one change of 1.0 in year 3
    s.tacres(2, 2) = 0.0f;                                          // no change defined in years 2, 3
    for (int y = 3; y <= maxyear; ++y) s.tacres(y, 2) = 500.0f;
    YearVec plim, ptrig, pcrash;
    for (int y = 0; y <= maxyear; ++y) {
        plim(y) = 0.01f * static_cast<float>(y);
        ptrig(y) = (y == 3) ? 0.5f : 0.1f;
        pcrash(y) = 0.001f * static_cast<float>(y);
    }
    WindowStats st;
    windowstats(s, 1, 5, plim, ptrig, pcrash, st);
    EXPECT_NEAR(st(17), 0.02f, 1e-6f);  // |1.0| / 5 years / 1000 iterations, in %
    EXPECT_NEAR(st(1), 100.0f, 0.01f);   // Cmean
    EXPECT_EQ(st(10), 100.0f);           // SSB10: each iteration's window mean is i
    EXPECT_EQ(st(11), 500.0f);
    EXPECT_EQ(st(12), 899.0f);
    EXPECT_EQ(st(16), 1798.0f);          // TSB90
    EXPECT_NEAR(st(18), 5.0f, 1e-5f);    // Risklim: largest of years 1..5
    EXPECT_NEAR(st(19), 50.0f, 1e-5f);   // Probtrig: largest of years 1..5
    EXPECT_NEAR(st(20), 0.5f, 1e-6f);    // Crash: the window's last year
}

TEST(StatsBootprint, TablesRecordsAndFileSizes) {
    ResultsState rs;
    State& s = rs.s();
    plainresults(s);
    for (int u : {11, 12, 14, 15, 16, 17, 18, 21, 27}) rs.open(u);
    s.icrash(3, 5) = 1;
    bootprint(s);

    const auto res = rs.records(11);
    ASSERT_EQ(res.size(), 6u * 44u + 43u);  // six tables of 41 years, IAV of 40
    EXPECT_EQ(res[1], " Year    F      SSB     Catch  TAC  AbsIAV  Ptrig   Plim   Pcrash");
    ASSERT_EQ(res[2].size(), 63u);
    EXPECT_EQ(field(res[2], 0), " 2000");
    EXPECT_EQ(field(res[2], 1), "  0.300");
    EXPECT_EQ(field(res[2], 6), "    0.0");  // a basis of 0 is not below a trigger of 0
    EXPECT_EQ(field(res[2], 7), "    9.9");  // 99 iterations below Blim = 100
    EXPECT_EQ(field(res[4], 8), "    0.0");
    EXPECT_EQ(field(res[5], 8), "    0.1");  // the crash of year 3 counts from then on
    EXPECT_EQ(field(res[42], 8), "    0.1");
    EXPECT_EQ(res[3 * 44], " Fractiles for True SSB");
    EXPECT_EQ(res[3 * 44 + 2].substr(17), "     100.0     500.0     899.0");
    EXPECT_EQ(res[6 * 44 + 2], " 2001      0.0    0.0    0.0    0.0");

    for (int u : {12, 14, 21}) {
        const auto rec = rs.records(u);
        ASSERT_EQ(rec.size(), 1u) << "unit " << u;
        EXPECT_EQ(rec[0].size(), 2u * 10 + 3 * 10 + 5 + 10 + 5 + 3 * 10 + 6 * 6 + 4 * 10 + 4 * 8 + 12 * 8);
    }
    const auto con = rs.records(0);
    ASSERT_EQ(con.size(), 1u);
    EXPECT_EQ(con[0].substr(0, 17), " All years: Cmean");

    EXPECT_EQ(rs.records(16).size(), 1000u);
    EXPECT_EQ(rs.records(17).size(), 41000u);
    EXPECT_EQ(rs.records(18).size(), 40000u);
    EXPECT_EQ(rs.records(15).size(), 160u);
    EXPECT_EQ(rs.records(16)[6], "    7        7.");
    EXPECT_EQ(rs.records(17)[41], "    2    0  0.300  0.300");
    EXPECT_EQ(rs.records(18)[1000], "    1    2    0.0");
}

TEST(StatsBootprint, IavDistributionNeedsResultsAndRuleTwoTrigger) {
    ResultsState rs;
    State& s = rs.s();
    plainresults(s);
    rs.open(18);
    bootprint(s);
    EXPECT_TRUE(rs.records(18).empty());

    // Rule 2 counts the basis below its second option.
    ResultsState r2;
    State& s2 = r2.s();
    plainresults(s2);
    r2.open(11);
    s2.nrule = 2;
    option(s2, "B0") = 1.0e9f;
    option(s2, "Btrig1") = 10.0f;
    for (int i = 1; i <= maxiter; ++i) s2.basisres(4, 1, i) = (i <= 250) ? 5.0f : 50.0f;
    bootprint(s2);
    const auto res = r2.records(11);
    EXPECT_EQ(field(res[6], 6), "   25.0");  // year 4
    EXPECT_EQ(field(res[5], 6), "  100.0");  // year 3: every basis 0 is below 10
    EXPECT_EQ(field(res[2], 6), "    0.0");  // never in year 0
}

}  // namespace
}  // namespace tacsim
