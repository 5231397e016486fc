// The tuning search on risk curves given in closed form: direction, the
// ends, the bracket, and the same answer for every batch size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>

#include "simulation/tuning.hpp"

namespace tacsim {
namespace {

using Curve = std::function<float(float)>;

TuneResult search(const Curve& risk, float lo, float hi, float tol, float limit, int batch, int* rounds = nullptr,
                  const Curve& catches = [](float) { return 0.0f; }) {
    int n = 0;
    TuneResult r = tune_search(lo, hi, tol, limit, batch, [&](std::span<TunePoint> pts) {
        ++n;
        EXPECT_LE(static_cast<int>(pts.size()), batch);
        for (TunePoint& p : pts) {
            p.risk = risk(p.value);
            p.catch_ = catches(p.value);
        }
    });
    if (rounds) *rounds = n;
    return r;
}

// A risk that jumps up and down with the value: no order to rely on.
float jagged(float v) {
    std::uint32_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    b ^= b >> 13;
    b *= 0x5bd1e995u;
    b ^= b >> 15;
    return static_cast<float>(b % 100u);
}

TEST(TuneSearch, RisingRiskGivesTheLargestValueMeetingTheLimit) {
    const auto r = search([](float v) { return v < 0.6f ? 2.0f : 10.0f; }, 0.2f, 1.5f, 0.013f, 5.0f, 1);
    EXPECT_EQ(r.direction, Direction::rising);
    EXPECT_EQ(r.outcome, Outcome::found);
    ASSERT_TRUE(r.has_meets && r.has_fails);
    EXPECT_EQ(r.answer, r.meets);
    EXPECT_LT(r.meets, 0.6f);
    EXPECT_GE(r.fails, 0.6f);
    EXPECT_LE(r.fails - r.meets, 0.013f);
    ASSERT_GE(r.answer_index, 0);
    EXPECT_EQ(r.points[r.answer_index].value, r.answer);
    // A hundredth of the range: the two ends and seven halvings.
    EXPECT_EQ(r.points.size(), 9u);
}

TEST(TuneSearch, FallingRiskGivesTheSmallestValueMeetingTheLimit) {
    const auto r = search([](float v) { return v < 300.0f ? 20.0f : 1.0f; }, 100.0f, 700.0f, 6.0f, 5.0f, 1);
    EXPECT_EQ(r.direction, Direction::falling);
    EXPECT_EQ(r.outcome, Outcome::found);
    EXPECT_EQ(r.answer, r.meets);
    EXPECT_GE(r.meets, 300.0f);
    EXPECT_LT(r.fails, 300.0f);
    EXPECT_LE(r.meets - r.fails, 6.0f);
}

TEST(TuneSearch, LimitIsMetAtEquality) {
    // The risk equals the limit up to 0.5: that part meets it.
    const auto r = search([](float v) { return v <= 0.5f ? 5.0f : 6.0f; }, 0.0f, 1.0f, 0.25f, 5.0f, 1);
    EXPECT_EQ(r.answer, 0.5f);
    EXPECT_EQ(r.fails, 0.75f);
}

TEST(TuneSearch, EndsThatBothMeetOrNeitherMeetsEndTheSearch) {
    struct Case {
        const char* what;
        Curve risk;
        Outcome outcome;
        Direction direction;
        float answer;
    };
    const Case cases[] = {
        {"rising, both meet: the upper end", [](float v) { return v; }, Outcome::both_meet, Direction::rising, 1.0f},
        {"falling, both meet: the lower end", [](float v) { return 2.0f - v; }, Outcome::both_meet,
         Direction::falling, 0.0f},
        {"rising, neither: the lower end", [](float v) { return 10.0f + v; }, Outcome::neither_meets,
         Direction::rising, 0.0f},
        {"falling, neither: the upper end", [](float v) { return 10.0f - v; }, Outcome::neither_meets,
         Direction::falling, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = search(c.risk, 0.0f, 1.0f, 0.01f, 5.0f, 1);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.direction, c.direction);
        EXPECT_EQ(r.answer, c.answer);
        EXPECT_EQ(r.points.size(), 2u);  // only the ends are simulated
        const bool meets = c.outcome == Outcome::both_meet;
        EXPECT_EQ(r.has_meets, meets);
        EXPECT_EQ(r.has_fails, !meets);
        EXPECT_EQ(meets ? r.meets : r.fails, c.answer);
    }
    // Equal risks at both ends: the end with the larger median catch.
    const auto flat = search([](float) { return 1.0f; }, 0.0f, 1.0f, 0.01f, 5.0f, 1, nullptr,
                             [](float v) { return v < 0.5f ? 7.0f : 3.0f; });
    EXPECT_EQ(flat.direction, Direction::flat);
    EXPECT_EQ(flat.outcome, Outcome::both_meet);
    EXPECT_EQ(flat.answer, 0.0f);
}

TEST(TuneSearch, EveryBatchSizeGivesTheAnswerOfBisection) {
    const Curve curves[] = {
        [](float v) { return v < 0.61803f ? 2.0f : 10.0f; },
        [](float v) { return v < 0.1f ? 50.0f : 0.0f; },
        [](float v) { return 100.0f * v * v; },  // meets up to sqrt(0.05)
        // Jagged inside, with ends on either side of the limit.
        [](float v) { return v == 0.0f ? 0.0f : v == 1.0f ? 99.0f : jagged(v); },
    };
    for (int c = 0; c < 4; ++c) {
        const Curve& risk = curves[c];
        const float lo = 0.0f;
        int rounds1 = 0;
        const auto one = search(risk, lo, 1.0f, 0.001f, 5.0f, 1, &rounds1);
        ASSERT_EQ(one.outcome, Outcome::found) << c;
        int previous = rounds1;
        for (int n = 2; n <= 8; ++n) {
            SCOPED_TRACE(testing::Message() << "curve " << c << ", batch " << n);
            int rounds = 0;
            const auto many = search(risk, lo, 1.0f, 0.001f, 5.0f, n, &rounds);
            EXPECT_EQ(many.answer, one.answer);
            EXPECT_EQ(many.meets, one.meets);
            EXPECT_EQ(many.fails, one.fails);
            EXPECT_EQ(many.direction, one.direction);
            // Every point bisection simulated is among them.
            for (const TunePoint& p : one.points) {
                bool found = false;
                for (const TunePoint& q : many.points) found = found || q.value == p.value;
                EXPECT_TRUE(found) << p.value;
            }
            EXPECT_LE(rounds, previous);
            previous = rounds;
        }
        // Three points a round split the bracket in four: two halvings.
        int rounds3 = 0;
        search(risk, lo, 1.0f, 0.001f, 5.0f, 3, &rounds3);
        EXPECT_EQ(rounds3, 1 + (static_cast<int>(one.points.size()) - 2) / 2) << c;
    }
}

TEST(TuneSearch, ValuesTriedAreShortDecimals) {
    // Halving in float arithmetic gives 0.60625005 between 0.6 and 0.6125;
    // the search takes the float nearest the decimal 0.60625.
    EXPECT_EQ(tune_mid(0.6f, 0.6125f), 0.60625f);
    EXPECT_NE(0.6f + (0.6125f - 0.6f) * 0.5f, 0.60625f);
    const auto r = search([](float v) { return v < 0.61f ? 2.0f : 10.0f; }, 0.2f, 1.0f, 0.001f, 5.0f, 1);
    EXPECT_EQ(r.answer, 0.609375f);
    for (const TunePoint& p : r.points) {
        // Each value is the float nearest a decimal of at most 8 digits: the
        // decimal printed with 8 digits and read back is the value.
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.8f", static_cast<double>(p.value));
        std::string t = buf;
        while (t.back() == '0') t.pop_back();
        EXPECT_EQ(std::strtof(t.c_str(), nullptr), p.value) << t;
        EXPECT_LE(t.size(), 10u) << t;
    }
}

TEST(TuneSearch, StopsAtTheResolutionOfSinglePrecision) {
    // A tolerance far below the spacing of floats near 1000 still ends.
    const auto r = search([](float v) { return v < 1000.0001f ? 0.0f : 10.0f; }, 999.0f, 1001.0f, 1e-9f, 5.0f, 2);
    EXPECT_EQ(r.outcome, Outcome::found);
    EXPECT_EQ(std::nextafter(r.meets, 2000.0f), r.fails);
}

}  // namespace
}  // namespace tacsim
