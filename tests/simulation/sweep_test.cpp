// The option sweep: step counts, the nested order and the range check.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "../results/results_fixture.hpp"
#include "management/rulebook.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {
namespace {

using testing::ResultsState;

void range(State& s, int k, float lo, float hi, float step) {
    s.parrange(k, 1) = lo;
    s.parrange(k, 2) = hi;
    s.parrange(k, 3) = step;
}

TEST(SweepSteps, HighestValueReachedDespiteRounding) {
    ResultsState rs;
    State& s = rs.s();
    range(s, 1, 0.1f, 0.3f, 0.1f);
    range(s, 2, 5.0f, 5.0f, 1.0f);   // one value
    range(s, 3, 1.0f, 9.0f, 0.0f);   // no step: the lowest value only
    range(s, 4, 1.0f, 9.0f, -2.0f);
    EXPECT_EQ(optsteps(s, 1), 2);
    EXPECT_EQ(optsteps(s, 2), 0);
    EXPECT_EQ(optsteps(s, 3), 0);
    EXPECT_EQ(optsteps(s, 4), 0);
    EXPECT_EQ(countsets(s), 3LL);
}

TEST(SweepSteps, NegativeStepCountGivesTheLowestValue) {
    ResultsState rs;
    State& s = rs.s();
    // -2 * 1.001 lies two steps below -2: int(-0.002 / 0.001) would be -2.
    range(s, 18, -2.0f, -2.0f, 0.001f);
    range(s, 5, 1.0f, 2.0f, 1.0f);
    EXPECT_EQ(optsteps(s, 18), 0);
    EXPECT_EQ(countsets(s), 2LL);
    std::vector<float> seen;
    sweep(s, [&](State& st) { seen.push_back(st.par(shared("Bias_obs"))); });
    EXPECT_EQ(seen, (std::vector<float>{-2.0f, -2.0f}));

    // A small negative value with a coarser step still gives one value.
    range(s, 18, -0.5f, -0.5f, 0.1f);
    EXPECT_EQ(optsteps(s, 18), 0);
    EXPECT_EQ(countsets(s), 2LL);
}

TEST(SweepOrder, TwoByThreeGivesSixSetsLastOptionFastest) {
    ResultsState rs;
    State& s = rs.s();
    // Two options swept by their slots, and the unnamed option 17 held.
    const int first = 5, second = 9;
    range(s, first, 1.0f, 2.0f, 1.0f);
    range(s, second, 0.1f, 0.3f, 0.1f);
    range(s, 17, 7.0f, 8.0f, 0.0f);
    std::vector<std::pair<float, float>> seen;
    sweep(s, [&](State& st) {
        seen.emplace_back(st.par(first), st.par(second));
        for (int k = 1; k <= noptions; ++k) {
            if (k != first && k != second) {
                EXPECT_EQ(st.par(k), k == 17 ? 7.0f : 0.0f) << "option " << k;
            }
        }
    });
    ASSERT_EQ(seen.size(), 6u);
    const float p9[3] = {0.1f, 0.1f + 0.1f * 1.0f, 0.1f + 0.1f * 2.0f};
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(seen[j].first, j < 3 ? 1.0f : 2.0f) << "set " << j + 1;
        EXPECT_EQ(seen[j].second, p9[j % 3]) << "set " << j + 1;
    }
}

TEST(SweepRange, HighestBelowLowestStopsBeforeAnySet) {
    ResultsState rs;
    State& s = rs.s();
    range(s, 3, 5.0f, 4.0f, 0.5f);
    range(s, 4, 5.0f, 4.0f, 0.5f);  // only the first bad range is reported
    EXPECT_EQ(rs.status_of([](State& st) { optruns(st); }), 1);
    const auto out = rs.records(0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], " Mis-specified options range, option           3");
    EXPECT_EQ(out[1], "   5.0000000       4.0000000      0.50000000    ");
}

}  // namespace
}  // namespace tacsim
