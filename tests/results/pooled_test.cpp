// Weighted fractiles of pooled models: one model of weight 1 gives the
// positions the single run's summaries take; weights move the fractile to the
// value where the cumulative weight reaches the fraction, equal values of
// several models counted together.
#include <gtest/gtest.h>

#include <vector>

#include "results/pooled.hpp"
#include "results/results.hpp"

namespace tacsim {
namespace {

TEST(Pooled, WeightedFractiles) {
    std::vector<float> ramp;  // 1000 values 1..1000, descending
    for (int i = maxiter; i >= 1; --i) ramp.push_back(static_cast<float>(i));
    const float n = static_cast<float>(maxiter);
    struct Case {
        const char* what;
        std::vector<std::vector<float>> values;
        std::vector<float> weights;
        float fraction, expected;
    };
    const Case cases[] = {
        {"one model, 10 %", {ramp}, {1.0f}, static_cast<float>(i10) / n, 100.0f},
        {"one model, 50 %", {ramp}, {1.0f}, static_cast<float>(i50) / n, 500.0f},
        {"one model, 90 %", {ramp}, {1.0f}, static_cast<float>(i90) / n, 899.0f},
        {"copies 0.3 and 0.7, 10 %", {ramp, ramp}, {0.3f, 0.7f}, static_cast<float>(i10) / n, 100.0f},
        {"copies 0.3 and 0.7, 90 %", {ramp, ramp}, {0.3f, 0.7f}, static_cast<float>(i90) / n, 899.0f},
        // Weights 1/6 and 5/6: their shares of 15 values sum to just below 0.015.
        {"copies 1/6 and 5/6, 1.5 %", {ramp, ramp}, {1.0f / 6.0f, 5.0f / 6.0f}, 15.0f / n, 15.0f},
        {"light low model", {{1.0f, 2.0f}, {10.0f, 20.0f}}, {0.25f, 0.75f}, 0.25f, 2.0f},
        {"heavy high model", {{1.0f, 2.0f}, {10.0f, 20.0f}}, {0.25f, 0.75f}, 0.5f, 10.0f},
        {"ties across models reached", {{5.0f, 5.0f}, {5.0f, 7.0f}}, {0.5f, 0.5f}, 0.75f, 5.0f},
        {"ties across models passed", {{5.0f, 5.0f}, {5.0f, 7.0f}}, {0.5f, 0.5f}, 0.8f, 7.0f},
        {"unequal counts", {{1.0f, 2.0f, 3.0f, 4.0f}, {100.0f}}, {0.5f, 0.5f}, 0.5f, 4.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<const std::vector<float>*> values;
        for (const auto& v : c.values) values.push_back(&v);
        EXPECT_EQ(weighted_fractile(values, c.weights, c.fraction), c.expected);
    }
}

}  // namespace
}  // namespace tacsim
