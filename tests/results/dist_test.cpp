// Recovery table and trajectories.
#include <gtest/gtest.h>

#include <string>

#include "results/results.hpp"
#include "results_fixture.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

TEST(DistRecovery, FallInYearTenBackInYearTwelve) {
    ResultsState rs;
    State& s = rs.s();
    s.blim = 100.0f;
    s.ssbres.fill(200.0f);
    Horizons drops, rec;
    recovery(s, drops, rec);
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(drops(k) + rec(k), 0);

    s.ssbres(10, 3) = 50.0f;
    s.ssbres(11, 3) = 100.0f;  // equal to Blim: not yet recovered
    s.ssbres(37, 4) = 99.0f;   // only horizons whose years 1..40-k hold 37
    recovery(s, drops, rec);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(drops(k), k <= 3 ? 2 : 1) << "horizon " << k;
        EXPECT_EQ(rec(k), (k >= 2 ? 1 : 0) + (k <= 3 ? 1 : 0)) << "horizon " << k;
    }

    rs.open(27);
    writerecovery(s);
    const auto out = rs.records(27);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], "Number (i) of years to recovery         1         2         3         4         5");
    EXPECT_EQ(out[1], "Number of drops below Blim              2.        2.        2.        1.        1.");
    EXPECT_EQ(out[2], "Percent recovery by year i             50.      100.      100.      100.      100.");
    EXPECT_EQ(out[3], "");
}

TEST(DistTraj, RowsAndZeroTac) {
    ResultsState rs;
    State& s = rs.s();
    s.tacres.fill(100.0f);
    s.fres.fill(0.25f);
    for (int y = 0; y <= maxyear; ++y)
        for (int i = 1; i <= maxiter; ++i) s.tsbres(y, i) = 1000.0f + static_cast<float>(y);
    s.tacres(5, 2) = 0.0f;
    rs.open(15);
    writetraj(s);
    const auto out = rs.records(15);
    ASSERT_EQ(out.size(), 160u);
    // Iteration 2 starts at record 8.
    EXPECT_EQ(out[8].substr(0, 35), "TAC           2      100.      100.");
    EXPECT_EQ(out[8].size(), 10u + 5 + 41 * 10);
    const std::string& change = out[10];
    EXPECT_EQ(change.size(), 10u + 5 + 10 + 40 * 10);
    EXPECT_EQ(change.substr(25 + 4 * 10, 30), "    -100.0    -999.0       0.0");  // years 5, 6, 7
    EXPECT_EQ(out[12].substr(15, 10), "     0.250");  // True_F with three decimals
    EXPECT_EQ(out[14].size(), 10u + 5 + 40 * 10);  // surplus production of years 0..39
    EXPECT_EQ(out[14].substr(15 + 4 * 10, 20), "      101.        1.");
    EXPECT_EQ(out[15], "");
}

}  // namespace
}  // namespace tacsim
