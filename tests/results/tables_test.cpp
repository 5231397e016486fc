// The CSV text of the tables and the sort behind their fractiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "results/results.hpp"
#include "results/tables.hpp"

namespace tacsim {
namespace {

std::string num(float v) {
    std::string b;
    putnum(b, v);
    return b;
}

TEST(TableText, NumbersReadBackToTheSameFloat) {
    EXPECT_EQ(num(0.1f), "0.1");
    EXPECT_EQ(num(460.0f), "460");
    EXPECT_EQ(num(-0.0f), "-0");
    EXPECT_EQ(num(12345678.0f), "12345678");
    EXPECT_EQ(num(std::numeric_limits<float>::quiet_NaN()), "");
    EXPECT_EQ(num(std::numeric_limits<float>::infinity()), "Inf");
    EXPECT_EQ(num(-std::numeric_limits<float>::infinity()), "-Inf");
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> u(-1e9f, 1e9f);
    for (int k = 0; k < 10000; ++k) {
        const float v = u(gen) / static_cast<float>(1 + k % 997);
        const std::string t = num(v);
        EXPECT_EQ(std::strtof(t.c_str(), nullptr), v) << t;
        EXPECT_EQ(t.find_first_of(", "), std::string::npos);
    }
}

TEST(TableText, TextFieldsFollowRfc4180) {
    std::string b;
    puttext(b, "Btrig1");
    EXPECT_EQ(b, "Btrig1");
    b.clear();
    puttext(b, "a,b");
    EXPECT_EQ(b, "\"a,b\"");
    b.clear();
    puttext(b, "say \"x\"\n");
    EXPECT_EQ(b, "\"say \"\"x\"\"\n\"");
}

TEST(TableText, SetColumnsAreUniqueAndEndWithRule) {
    EXPECT_EQ(uniquenames({"Alfa", "Beta", "Alfa", "Alfa", "set"}),
              (std::vector<std::string>{"Alfa", "Beta", "Alfa_2", "Alfa_3", "set_2"}));
    auto state = make_state();
    State& s = *state;
    const std::size_t params[] = {0, 5, 6, 6, 6, 7, 8, 5, 7};
    for (int rule = 1; rule <= 8; ++rule) {
        s.nrule = rule;
        const auto cols = setcolumns(s);
        // The rule's own parameters, options 11..16 and 18..23, then the rule.
        ASSERT_EQ(cols.size(), params[rule] + 12 + 1) << rule;
        EXPECT_EQ(cols[params[rule]], "Filter");
        EXPECT_EQ(cols[cols.size() - 2], "CV_biosurv");
        EXPECT_EQ(cols.back(), "rule");
        for (std::size_t i = 0; i < cols.size(); ++i)
            for (std::size_t j = i + 1; j < cols.size(); ++j) EXPECT_NE(cols[i], cols[j]) << rule;
    }
    s.nrule = 9;
    EXPECT_EQ(setcolumns(s), std::vector<std::string>{"rule"});
}

TEST(TableSort, FractilePositionsOfOneToThousand) {
    ValueSet w;
    w.size_to(maxiter);
    std::mt19937 gen(3);
    std::array<int, maxiter> order{};
    for (int i = 0; i < maxiter; ++i) order[i] = i + 1;
    std::shuffle(order.begin(), order.end(), gen);
    for (int i = 1; i <= maxiter; ++i) w(i) = static_cast<float>(order[i - 1]);
    sort(w);
    // The legacy rule: 1000 times the single-precision fraction, truncated.
    for (auto [pos, q] : {std::pair{i05, 0.05f}, {i10, 0.1f}, {i25, 0.25f}, {i50, 0.5f}, {i75, 0.75f},
                          {i90, 0.9f}, {i95, 0.95f}}) {
        EXPECT_EQ(pos, static_cast<int>(1000.0L * static_cast<long double>(q)));
        EXPECT_EQ(w(pos), static_cast<float>(pos));
    }
}

}  // namespace
}  // namespace tacsim
