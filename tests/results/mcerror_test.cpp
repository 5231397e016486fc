#include "results/mcerror.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace tacsim;

namespace {

McError find(const McErrors& e, const std::string& name) {
    for (const McError& m : e)
        if (name == m.statistic) return m;
    ADD_FAILURE() << "no " << name;
    return {};
}

}  // namespace

// A set whose values are known: catch i in iteration i every year, and SSB
// below Blim in every year for the first `low` iterations. Each statistic's
// standard error against its textbook value (the bootstrapped risk3 within
// its own sampling error), and the method each names.
TEST(McError, StandardErrorsOfKnownSets) {
    struct Case {
        int low;  // iterations below Blim
        const char* statistic;
        float estimate, se, tolerance;
        const char* method;
    };
    const double n = maxiter;
    const auto binom = [n](double p) { return static_cast<float>(100.0 * std::sqrt(p * (1.0 - p) / n)); };
    const auto meanshare = [n](double p) { return static_cast<float>(100.0 * std::sqrt(p * (1.0 - p) / (n - 1.0))); };
    // sd of 1..1000 over sqrt(1000); the median's order statistics 469 and 532.
    const float cse = static_cast<float>(std::sqrt((n * n - 1.0) / 12.0 * n / (n - 1.0) / n));
    const Case cases[] = {
        {100, "Cmean", 500.5f, cse, 1e-3f, "sd/sqrt(n)"},
        {100, "C50", 500.0f, 63.0f / 3.92f, 1e-3f, "order statistics"},
        {100, "risk1", 10.0f, meanshare(0.1), 1e-3f, "sd/sqrt(n)"},
        {100, "risk2", 10.0f, binom(0.1), 1e-3f, "binomial"},
        {100, "risk3", 10.0f, binom(0.1), 0.2f, "bootstrap over iterations"},
        {20, "risk2", 2.0f, binom(0.02), 1e-3f, "binomial"},
        {20, "risk3", 2.0f, binom(0.02), 0.2f, "bootstrap over iterations"},
        {0, "risk2", 0.0f, 0.0f, 0.0f, "binomial"},
        {0, "Probtrig", 0.0f, 0.0f, 0.0f, "bootstrap over iterations"},
    };
    auto s = make_state();
    s->blim = 100.0f;
    s->riskmeth = 0;
    for (const Case& c : cases) {
        for (int y = 0; y <= maxyear; ++y) {
            for (int i = 1; i <= maxiter; ++i) {
                s->catchres(y, i) = static_cast<float>(i);
                s->ssbres(y, i) = i <= c.low ? 50.0f : 200.0f;
                s->tacres(y, i) = 1.0f;
            }
        }
        YearVec plim, ptrig, pcrash;
        yearlyrisks(*s, plim, ptrig, pcrash);
        McErrors e;
        mcerrors(*s, 1, 10, plim, ptrig, pcrash, e);
        const McError m = find(e, c.statistic);
        EXPECT_FLOAT_EQ(m.estimate, c.estimate) << c.statistic << " with " << c.low;
        EXPECT_NEAR(m.se, c.se, c.tolerance * c.se + 1e-6f) << c.statistic << " with " << c.low;
        EXPECT_STREQ(m.method, c.method) << c.statistic;
    }
}
