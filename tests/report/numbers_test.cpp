// Numbers as people write them: the decimals of a sweep, one number of
// decimals per column of statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "report/numbers.hpp"

namespace tacsim::report {
namespace {

TEST(ReportNumbers, OptionsWithTheDecimalsOfTheirSweep) {
    const float swept = 0.05f + 6.0f * 0.05f;  // the float 0.35000002
    struct Case {
        std::vector<double> values;
        int decimals;
        const char* first;  // the first value as shown
    };
    const Case cases[] = {
        {{0.3f, 0.4f, 0.5f}, 1, "0.3"},
        {{0.2f, 0.25f, 0.3f}, 2, "0.20"},
        {{swept, 0.4f}, 2, "0.35"},
        {{460, 10000}, 0, "460"},
        {{NAN, 2.5}, 1, "-"},
        {{1.0 / 3.0}, max_decimals, "0.333333"},
        {{0.0065f}, 4, "0.0065"},
    };
    for (const auto& c : cases) {
        const int d = option_decimals(c.values);
        EXPECT_EQ(d, c.decimals) << c.first;
        EXPECT_EQ(fixed(c.values[0], d), c.first);
    }
}

TEST(ReportNumbers, ColumnsOfStatisticsWithOneNumberOfDecimals) {
    struct Case {
        std::vector<double> values;
        int decimals;
        const char* shown;  // every value, as shown
    };
    const Case cases[] = {
        {{504, 509.4f}, 1, "504.0 509.4"},
        {{0.381f, 0.3747f}, 4, "0.3810 0.3747"},
        {{0, 0.2f, 0.8f}, 1, "0.0 0.2 0.8"},           // no more decimals than the values have
        {{999.96, 12.75}, 0, "1000 13"},                  // rounds up to four digits before the point
        {{-0.00001, 0.5}, 4, "0.0000 0.5000"},            // no "-0"
        {{12345.678, 1.5f}, 0, "12346 2"},
        {{NAN, INFINITY, 3.25}, 2, "- Inf 3.25"},
        {{}, 0, ""},
    };
    for (const auto& c : cases) {
        const int d = column_decimals(c.values);
        EXPECT_EQ(d, c.decimals) << c.shown;
        std::string shown;
        for (double v : c.values) shown += (shown.empty() ? "" : " ") + fixed(v, d);
        EXPECT_EQ(shown, c.shown);
    }
}

TEST(ReportNumbers, SignificantDigitsAndResolution) {
    struct Case {
        double v;
        const char* four;  // four significant digits, trailing zeros kept
        int resolution;    // decimals that tell apart values v apart
    };
    const Case cases[] = {
        {504, "504.0", 0}, {0.5, "0.5000", 1}, {0.0065, "0.006500", 3}, {0.05, "0.05000", 2},
        {12345.6, "12346", 0}, {0, "0", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(significant(c.v), c.four) << c.v;
        EXPECT_EQ(resolution_decimals(c.v), c.resolution) << c.v;
    }
}

TEST(ReportNumbers, TunedOptionWithTheDecimalsOfTheSearch) {
    struct Case {
        float lo, hi, tol;
        int decimals;
    };
    const Case cases[] = {
        {0.3f, 0.5f, 0.05f, 3},       // tries 0.45, 0.475: short decimals
        {0.2f, 1.2f, 0.2f, 4},        // 0.2625 is still short
        {0.3f, 0.95f, 0.0065f, 4},    // 0.40390626 is not: a decimal beyond the tolerance
        {460, 1000, 5.4f, 1},
        {200, 600, 100, 0},           // 250, 300, ... whole numbers
    };
    for (const auto& c : cases) EXPECT_EQ(tuned_decimals(c.lo, c.hi, c.tol), c.decimals) << c.lo << " " << c.hi << " " << c.tol;
}

}  // namespace
}  // namespace tacsim::report
