// The catch-equation terms on every processor target compiled in and
// available here against the terms written out one age at a time.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "model/mathf.hpp"
#include "stock/catch_terms.hpp"

namespace {

using namespace tacsim;

bool same(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

TEST(CatchTerms, EveryTargetGivesTheAgeByAgeBits) {
    std::mt19937 gen(14);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> fdist(0.0f, 3.0f);
    float n[nages], sel[nages], m[nages], w[nages], z[nages], term[nages];
    for (std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        for (int trial = 0; trial < 2000; ++trial) {
            for (int a = 0; a < nages; ++a) {
                n[a] = 1e4f * unit(gen);
                sel[a] = (trial % 7 == 0 && a == 3) ? 0.0f : unit(gen);
                m[a] = (trial % 5 == 0 && a < 2) ? 0.0f : 0.5f * unit(gen);  // ages without mortality
                w[a] = 3.0f * unit(gen);
            }
            const float f = trial % 11 == 0 ? 0.0f : fdist(gen);
            const int count = 1 + trial % nages;  // ages 0..count-1 asked for
            // Through the dispatcher and through the function it chose.
            if (trial % 2 == 0) catch_terms(n, sel, m, w, f, count, z, term);
            else catch_terms_here()(n, sel, m, w, f, count, z, term);
            for (int a = 0; a < count; ++a) {
                const float za = m[a] + sel[a] * f;
                const float want = n[a] * sel[a] * f * (1.0f - exp_sp(-za)) / za * w[a];
                ASSERT_TRUE(same(z[a], za)) << hwy::TargetName(target) << " age " << a;
                ASSERT_TRUE(same(term[a], want)) << hwy::TargetName(target) << " age " << a << " f " << f;
            }
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
