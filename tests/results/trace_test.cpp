// Trace files of single iterations: compbas, SRpairs, Wema and Comprecr.
#include <gtest/gtest.h>

#include <string>

#include "results/results.hpp"
#include "results_fixture.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

TEST(TraceFiles, SrpairsComprecrAndWema) {
    ResultsState rs;
    State& s = rs.s();
    for (int u : {20, 25, 26}) rs.open(u);
    s.iter = 4;
    s.firstage = 3;
    s.lastage = 4;
    NHistArr nhist;
    for (int y = 0; y <= maxyear; ++y) {
        s.ssbres(y, 4) = 100.0f * static_cast<float>(y);
        s.recres(y, 4) = 1000.0f + static_cast<float>(y);
        nhist(0, y) = 7.0f * static_cast<float>(y);
    }
    s.precres(1, 4) = 987.64f;
    s.maturyr.fill(0.5f);
    printsr(s, nhist);
    printrecr(s);
    printwema(s);

    // Recruits of year y against the SSB that spawned them, firstage years before.
    const auto sr = rs.records(20);
    ASSERT_EQ(sr.size(), 37u);
    EXPECT_EQ(sr[0], "    4    4      100.       28.");
    EXPECT_EQ(sr.back(), "    4   40     3700.      280.");

    const auto rc = rs.records(26);
    ASSERT_EQ(rc.size(), 40u);
    EXPECT_EQ(rc[0], "     4     1      1001.0       987.6");
    EXPECT_EQ(rc[1], "     4     2      1002.0         0.0");

    const auto w = rs.records(25);
    ASSERT_EQ(w.size(), 2u + 3u * 44u);
    EXPECT_EQ(w[0], " Iteration number           4");
    EXPECT_EQ(w[2], " Catch weights");
    EXPECT_EQ(w[3], " Age/Year            3           4");
    EXPECT_EQ(w[4], "                     0   0.0000000       0.0000000    ");
    EXPECT_EQ(w[90], " Maturities");
    EXPECT_EQ(w[91], " Age/Year             3           4");
    EXPECT_EQ(w[132], "                    40  0.50000000      0.50000000    ");
}

TEST(TraceFiles, CompbasHasOnePairPerBasisElement) {
    for (int nb : {1, 5}) {
        ResultsState rs;
        State& s = rs.s();
        rs.open(19);
        s.iter = 3;
        s.nbasis = nb;
        for (int k = 1; k <= nb; ++k) {
            s.bkind(k) = 3;  // the recruitment index, all zero here
            s.bhow(k) = 1;
        }
        for (int y = 0; y <= maxyear; ++y)
            for (int k = 1; k <= maxbasis; ++k) s.basisres(y, k, 3) = static_cast<float>(k);
        printbas(s, NHistArr());
        const auto out = rs.records(19);
        ASSERT_EQ(out.size(), 42u) << nb << " elements";
        EXPECT_EQ(out[0], " Iteration           3");
        // Year 0 is never computed from the true stock.
        EXPECT_EQ(out[1].substr(0, 26), "   0       0.000     1.000");
        EXPECT_EQ(out[1].size(), 4u + 22u * static_cast<unsigned>(nb));
        EXPECT_EQ(out[41].substr(0, 4), "  40");
        EXPECT_EQ(out[1].substr(out[1].size() - 10), nb == 5 ? "     5.000" : "     1.000");
    }
}

}  // namespace
}  // namespace tacsim
