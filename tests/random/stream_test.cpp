#include "random/draws.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <tuple>

using namespace tacsim;

// The known-answer vectors published with Random123 for Philox4x32-10:
// counter, key, the block.
TEST(Philox, KnownAnswerVectors) {
    struct Case {
        std::uint32_t ctr[4], key[2], want[4];
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {0, 0}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
        {{0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff},
         {0xffffffff, 0xffffffff},
         {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
        {{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
         {0xa4093822, 0x299f31d0},
         {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}},
    };
    for (const Case& c : cases) {
        std::uint32_t got[4];
        philox_block(c.ctr, c.key, got);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], c.want[i]) << "word " << i << " of " << std::hex << c.ctr[0];
    }
}

// The normal quantile against the inverse of the double-precision normal
// distribution function (bisection), across the centre, the middle and
// both tails and at the places where the formula changes.
TEST(Philox, NormalQuantileIsAccurate) {
    const auto reference = [](double p) {
        double lo = -40.0, hi = 40.0;
        for (int k = 0; k < 200; ++k) {
            const double mid = 0.5 * (lo + hi);
            (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    };
    const float ps[] = {0x1p-24f, 1e-7f,  1e-5f, 1e-3f,  0.02f,  0.074f, 0.075f,  0.0751f, 0.2f,  0.4999f,
                        0.5f,     0.5001f, 0.7f,  0.9249f, 0.925f, 0.926f, 0.97f,   0.999f,  0.99999f, 1.0f - 0x1p-24f};
    for (const float p : ps) {
        const double want = reference(static_cast<double>(p));
        const double got = normal_quantile(p);
        EXPECT_NEAR(got, want, 5e-7 * std::max(1.0, std::fabs(want))) << "p = " << p;
    }
}

namespace {

struct Moments {
    double n = 0, sum = 0, sum2 = 0;
};

}  // namespace

// Ten million deviates of one iteration's stream: their mean, variance and
// tail shares within five standard errors of the normal distribution's.
TEST(Philox, DeviatesOfTenMillionDraws) {
    const auto model = std::make_unique<Model>();
    Model& m = *model;
    stream_seed(m, 20261208);
    stream_set(m, 1);
    stream_iteration(m, 1);
    constexpr int n = 10'000'000;
    const double cuts[] = {-3.0, -1.96, -1.0, 0.0, 1.0, 1.96, 3.0};
    long long below[7] = {};
    Moments z, u;
    for (int k = 0; k < n; ++k) {
        const double x = draw_normal(m);
        z.sum += x;
        z.sum2 += x * x;
        for (int c = 0; c < 7; ++c) below[c] += x < cuts[c];
        const double v = draw_uniform(m);
        ASSERT_TRUE(v > 0.0 && v <= 1.0);
        u.sum += v;
        u.sum2 += v * v;
    }
    const double mean = z.sum / n, var = z.sum2 / n - mean * mean;
    EXPECT_NEAR(mean, 0.0, 5.0 / std::sqrt(n));
    EXPECT_NEAR(var, 1.0, 5.0 * std::sqrt(2.0 / n));
    for (int c = 0; c < 7; ++c) {
        const double p = 0.5 * std::erfc(-cuts[c] / std::sqrt(2.0));
        EXPECT_NEAR(static_cast<double>(below[c]) / n, p, 5.0 * std::sqrt(p * (1 - p) / n)) << "below " << cuts[c];
    }
    EXPECT_NEAR(u.sum / n, 0.5, 5.0 * std::sqrt(1.0 / 12.0 / n));
    EXPECT_NEAR(u.sum2 / n - (u.sum / n) * (u.sum / n), 1.0 / 12.0, 5.0 * std::sqrt(1.0 / 180.0 / n));
}

// Every iteration of every set has its own counters, and none reaches
// another's however many it draws; with common numbers, two sets share
// theirs. A set number above 2^32 must not fold onto a small one.
TEST(Philox, IterationsNeverShareACounter) {
    struct Case {
        long long set;
        int it;
    };
    const Case cases[] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {1, 1000}, {(1LL << 32) + 1, 1}, {0, 1}, {3, 7}};
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>> seen;
    std::set<std::uint32_t> firsts;
    const auto model = std::make_unique<Model>();
    stream_seed(*model, 5);
    for (const Case& c : cases) {
        Model& m = *model;
        stream_set(m, c.set);
        stream_iteration(m, c.it);
        for (int k = 0; k < 4000; ++k) {
            if (m.rng.left == 0) {
                const auto& w = m.rng.counter;
                EXPECT_TRUE(seen.insert({w[0], w[1], w[2], w[3]}).second)
                    << "set " << c.set << " iteration " << c.it << " draw " << k;
            }
            const std::uint32_t bits = stream_bits(m.rng);
            if (k == 0) firsts.insert(bits);
        }
    }
    EXPECT_EQ(firsts.size(), std::size(cases));
    const auto pa = std::make_unique<Model>(), pb = std::make_unique<Model>();
    Model &a = *pa, &b = *pb;
    stream_seed(a, 5);
    stream_seed(b, 5);
    a.rng.common = b.rng.common = 1;
    stream_set(a, 1);
    stream_set(b, 2);
    stream_iteration(a, 3);
    stream_iteration(b, 3);
    EXPECT_EQ(stream_bits(a.rng), stream_bits(b.rng));
}

// Without a seed the draws are the legacy stream's, number for number.
TEST(Philox, WithoutASeedTheLegacyStream) {
    const auto model = std::make_unique<Model>();
    Model& m = *model;
    m.seed = 15349668.0;
    double seed = m.seed;
    float z[7], want[7];
    draw_normals(m, z, 7);
    normal_deviates(seed, want, 7);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(z[k], want[k]);
    EXPECT_EQ(draw_uniform(m), rnx(seed));
    EXPECT_EQ(draw_normal(m), snrn(rnx(seed)));
}
