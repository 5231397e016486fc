#include "random/random.hpp"

#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "model/state.hpp"

using namespace tacsim;

TEST(Random, FirstUniformFromTheRunSeed) {
    double seed = 15349668.0;
    const float u = rnx(seed);
    EXPECT_EQ(seed, 53042361.0);
    EXPECT_EQ(u, static_cast<float>(53042361.0 / 100000001.0));
    // A state just below the modulus rounds to exactly 1 in single precision.
    double s = 4347826.0;  // 4347826 * 23 = 99999998
    EXPECT_EQ(rnx(s), static_cast<float>(99999998.0 / 100000001.0));
    EXPECT_LE(rnx(s), 1.0f);
}

TEST(Random, NormalDeviateFromOneUniform) {
    EXPECT_NEAR(snrn(0.75f), 0.6717f, 2e-4f);
    EXPECT_NEAR(snrn(0.25f), -0.6717f, 2e-4f);
    EXPECT_NEAR(snrn(0.525f), 1.9604f, 2e-3f);
    EXPECT_NEAR(snrn(1.0f), 0.0000034f, 1e-5f);
    EXPECT_EQ(snrn(0.5f), 0.0f);
    EXPECT_EQ(snrn(0.75f), -snrn(0.25f));
}

TEST(Random, SymmetricInverse) {
    auto st = make_state();
    Mat20 a, inv;
    a(1, 1) = 4;
    a(1, 2) = 2;
    a(2, 1) = 2;
    a(2, 2) = 3;
    syminv(*st, a, inv, 2);
    EXPECT_FLOAT_EQ(inv(1, 1), 0.375f);
    EXPECT_FLOAT_EQ(inv(1, 2), -0.25f);
    EXPECT_FLOAT_EQ(inv(2, 1), -0.25f);
    EXPECT_FLOAT_EQ(inv(2, 2), 0.5f);

    // A 3x3 case against its known inverse.
    Mat20 b, binv;
    const float m[3][3] = {{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) b(i + 1, j + 1) = m[i][j];
    syminv(*st, b, binv, 3);
    const float want[3][3] = {{0.75f, 0.5f, 0.25f}, {0.5f, 1.0f, 0.5f}, {0.25f, 0.5f, 0.75f}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(binv(i + 1, j + 1), want[i][j], 1e-6f);
}

TEST(Random, SingularMatrixStopsWithText) {
    auto st = make_state();
    std::FILE* f = std::tmpfile();
    st->err.attach(f, "err");
    Mat20 a, inv;
    EXPECT_THROW(syminv(*st, a, inv, 1), StopRun);
    st->err.flush();
    std::rewind(f);
    char buf[64] = {};
    std::fread(buf, 1, sizeof buf - 1, f);
    EXPECT_STREQ(buf, "STOP Singular matrix\r\n");
    std::fclose(f);
}

TEST(Random, MultivariateNormalDrawsOneUniformPerComponent) {
    auto st = make_state();
    Vec20 mean, x;
    Mat20 cov;
    mean(1) = 1;
    mean(2) = 2;
    mean(3) = 3;
    cov(1, 1) = 4;
    cov(2, 2) = 9;
    cov(3, 3) = 0.25f;
    double seed = 15349668.0;
    multnorm(*st, mean, cov, x, seed, 3);
    double check = 15349668.0;
    const float z1 = snrn(rnx(check)), z2 = snrn(rnx(check)), z3 = snrn(rnx(check));
    EXPECT_EQ(seed, check);
    EXPECT_NEAR(x(1), 1 + 2 * z1, 1e-5f);
    EXPECT_NEAR(x(2), 2 + 3 * z2, 1e-5f);
    EXPECT_NEAR(x(3), 3 + 0.5f * z3, 1e-5f);
}

TEST(Random, CovarianceNotPositiveDefiniteStops) {
    auto st = make_state();
    std::FILE* f = std::tmpfile();
    st->con.attach(f, "con");
    Vec20 mean, x;
    Mat20 cov;
    cov(1, 1) = 1;
    cov(1, 2) = 2;
    cov(2, 1) = 2;
    cov(2, 2) = 1;
    double seed = 15349668.0;
    EXPECT_THROW(multnorm(*st, mean, cov, x, seed, 2), StopRun);
    st->con.flush();
    std::rewind(f);
    char buf[128] = {};
    std::fread(buf, 1, sizeof buf - 1, f);
    EXPECT_STREQ(buf, " Covariance martrix not positive definite\r\n Get a better one!\r\n");
    std::fclose(f);
}

// Whole-number seeds are stepped in integers: the same seeds and draws as
// the double arithmetic, on random seeds, on seeds whose product is a
// multiple of the modulus or just beside one, and on seeds outside the
// integer range, which keep the double arithmetic.
TEST(Random, IntegerStepsGiveTheDoubleSequence) {
    constexpr double modulus = 100000001.0;
    auto by_double = [&](double& seed) {
        seed = seed * 23.0;
        seed = seed - modulus * std::trunc(seed / modulus);
        return static_cast<float>(seed / modulus);
    };
    std::vector<double> starts = {0.0, 1.0, 4347826.0, 4347827.0, 99999999.0, 100000000.0, 100000001.0,
                                  123456789.0, 2.5, 1e12, -7.0, 15349668.0};
    for (int k = 1; k < 23; ++k) {  // 23 * seed at or beside k * modulus
        const double base = std::floor(k * modulus / 23.0);
        for (double d = -2.0; d <= 2.0; d += 1.0) starts.push_back(base + d);
    }
    std::mt19937_64 gen(23);
    for (int i = 0; i < 2000; ++i) starts.push_back(static_cast<double>(gen() % 100000001));
    for (double start : starts) {
        double a = start, b = start;
        for (int step = 0; step < 200; ++step) {
            const float ua = rnx(a), ub = by_double(b);
            ASSERT_EQ(std::bit_cast<std::uint32_t>(ua), std::bit_cast<std::uint32_t>(ub)) << "start " << start;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b)) << "start " << start;
        }
    }
}

// A run of deviates, on every processor target, is the same numbers, and
// leaves the same seed, as one draw at a time: on random seeds and run
// lengths (full vectors and remainders), on seeds off the whole numbers, and
// on uniforms that are exactly 0.5, NaN, 1 or beside 0.5; none drawn leaves
// the seed alone.
TEST(Random, NormalDeviatesInARunAreTheOneAtATimeDraws) {
    std::mt19937_64 gen(24);
    std::vector<double> starts = {15349668.0, 4347826.0, 2.5, 1e12, 100000000.0, 0.0};
    for (int i = 0; i < 300; ++i) starts.push_back(static_cast<double>(gen() % 100000001));
    std::vector<float> uniforms = {0.5f, std::nextafter(0.5f, 0.0f), std::nextafter(0.5f, 1.0f), 1.0f, 1e-8f,
                                   std::numeric_limits<float>::quiet_NaN(), 0.25f};
    std::uniform_real_distribution<float> any(0.0f, 1.0f);
    for (int i = 0; i < 1000; ++i) uniforms.push_back(any(gen));
    const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
    for (std::int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        SCOPED_TRACE(hwy::TargetName(target));
        for (std::size_t i = 0; i < starts.size(); ++i) {
            double a = starts[i], b = starts[i];
            const int count = static_cast<int>(i % 41);
            float z[40];
            normal_deviates(a, z, count);
            for (int k = 0; k < count; ++k)
                ASSERT_EQ(std::bit_cast<std::uint32_t>(z[k]), std::bit_cast<std::uint32_t>(snrn(rnx(b))))
                    << "start " << starts[i] << " draw " << k;
            ASSERT_EQ(a, b);
            normal_deviates(a, z, 0);
            ASSERT_EQ(a, b);
        }
        std::vector<float> z = uniforms;
        normal_quantiles(z.data(), static_cast<int>(z.size()));
        for (std::size_t k = 0; k < z.size(); ++k)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(z[k]), std::bit_cast<std::uint32_t>(snrn(uniforms[k])))
                << std::hexfloat << uniforms[k];
    }
    hwy::SetSupportedTargetsForTest(0);
}
