// The F search that decides trials from bounds (findf_bounded) against the
// model's search, which computes every trial catch (findf): random stocks, selections, mortalities and
// targets, bit for bit in F, flag and catch. And the bounds themselves
// against the real catch worked out in long double.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "model/mathf.hpp"
#include "stock/catch_bounds.hpp"
#include "stock/stock.hpp"
#include "stock_testing.hpp"

namespace tacsim {
namespace {

using testing::Captured;

// Random stocks: mostly cod-like ones of any size, some with the extremes
// the bounds exclude (the search then computes every catch).
struct StockMaker {
    std::mt19937_64 rng;
    explicit StockMaker(std::uint64_t seed) : rng(seed) {}

    double uni(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    bool chance(double p) { return uni(0.0, 1.0) < p; }

    void make(State& s, AgeVec& n) {
        s.lastage = static_cast<int>(uni(1.0, maxage + 0.999));
        s.fcap = static_cast<float>(chance(0.1) ? uni(0.01, 20.0) : uni(0.3, 4.0));
        // Tiny to huge stocks: numbers from 10^-8 to 10^16 in all.
        const double scale = std::pow(10.0, chance(0.2) ? uni(-8.0, 16.0) : uni(2.0, 9.0));
        const double m = uni(0.02, 1.0);
        const double a50 = uni(0.0, s.lastage + 1.0), slope = uni(0.3, 5.0);
        const double smax = chance(0.2) ? uni(0.01, 3.0) : 1.0;
        double cum = 0.0;
        for (int a = 0; a <= s.lastage; ++a) {
            double ma = chance(0.2) ? uni(0.0, 1.5) : m;
            double sa = smax / (1.0 + std::exp(-(a - a50) * slope));
            if (chance(0.05)) sa = 0.0;
            if (chance(0.02)) ma = 0.0;
            if (ma == 0.0 && sa == 0.0) ma = m;
            if (chance(0.01)) sa = uni(0.0, 1e-9);  // outside the bounds' ranges
            double wa = uni(0.01, 1.0) * (a + 1.0);
            if (a == 0 && chance(0.3)) wa = 0.0;
            if (chance(0.005)) wa = 1e9;
            s.natmor(a) = static_cast<float>(ma);
            s.sel(a, 1) = static_cast<float>(sa);
            s.weca(a) = static_cast<float>(wa);
            n(a) = static_cast<float>(scale * std::exp(-cum) * uni(0.3, 3.0));
            if (chance(0.03)) n(a) = 0.0f;
            cum += ma + sa * 0.4;
        }
        for (int a = s.lastage + 1; a <= maxage; ++a) {
            s.natmor(a) = 0.0f;
            s.sel(a, 1) = 0.0f;
            s.weca(a) = 0.0f;
            n(a) = 0.0f;
        }
    }

    // A target: a share of the catch at fcap, or that catch itself or one
    // ulp beside it, or a tiny one, or the catch at a trial F.
    float target(State& s, const AgeVec& n) {
        float ymax = 0.0f;
        yield(s, n, ymax, s.fcap, 1);
        const double kind = uni(0.0, 1.0);
        if (kind < 0.55) return static_cast<float>(ymax * uni(0.0, 1.02));
        if (kind < 0.65) return static_cast<float>(ymax * std::pow(10.0, uni(-7.0, -2.0)));
        if (kind < 0.75) {
            const int k = static_cast<int>(uni(-3.0, 3.999));
            float t = ymax;
            for (int i = 0; i < k; ++i) t = std::nextafter(t, 0.0f);
            for (int i = 0; i > k; --i) t = std::nextafter(t, HUGE_VALF);
            return t;
        }
        // Exactly the catch at the F the search ends on for a nearby
        // target: the search for it meets the target exactly on a trial.
        float t = static_cast<float>(ymax * uni(0.0, 1.0)), f = 0.0f;
        int flag = 0;
        findf(s, n, t, f, flag, 1);
        float y = 0.0f;
        yield(s, n, y, f, 1);
        return y;
    }
};

bool same_bits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

// Runs count random searches both ways; returns the trials the bounds decided
// and computed.
FindFTrials compare_searches(long count, std::uint64_t seed) {
    Captured cap;
    State& s = cap.s();
    AgeVec n;
    StockMaker maker(seed);
    FindFTrials trials;
    long failures = 0;
    for (long i = 0; i < count; ++i) {
        if (i % 8 == 0) maker.make(s, n);  // several targets on each stock
        const float t0 = maker.target(s, n);
        float t1 = t0, t2 = t0, f1 = -1.0f, f2 = -2.0f;
        int flag1 = -1, flag2 = -2;
        findf_bounded(s, n, t1, f1, flag1, 1, &trials);
        findf(s, n, t2, f2, flag2, 1);
        if (!same_bits(f1, f2) || !same_bits(t1, t2) || flag1 != flag2) {
            if (++failures <= 5)
                ADD_FAILURE() << "search " << i << " (target " << std::hexfloat << t0 << "): F " << f1 << " vs "
                              << f2 << ", catch " << t1 << " vs " << t2 << ", flag " << flag1 << " vs " << flag2;
        }
    }
    EXPECT_EQ(failures, 0);
    return trials;
}

void report(const char* what, long count, const FindFTrials& trials, double seconds) {
    const double all = static_cast<double>(trials.decided + trials.computed);
    std::printf("%s: %ld searches in %.1f s; bounds decided %.1f %% of %.0f trials (%.1f per search computed)\n",
                what, count, seconds, all > 0 ? 100.0 * static_cast<double>(trials.decided) / all : 0.0, all,
                static_cast<double>(trials.computed) / static_cast<double>(count));
}

// The unoptimised sanitizer build runs a tenth as many (about 2 s).
#ifdef __OPTIMIZE__
constexpr long quick = 1;
#else
constexpr long quick = 10;
#endif

TEST(FindFFilter, RandomSearchesGiveTheExactSearchsResults) {
    const auto start = std::chrono::steady_clock::now();
    constexpr long count = 200000 / quick;
    const FindFTrials trials = compare_searches(count, 24);
    report("FindFFilter", count, trials, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    // Most trials decided without the catch (the point of the filter).
    EXPECT_GT(trials.decided, trials.computed);
}

// Ten million searches (the long tests); TACSIM_FINDF_SEARCHES sets how many.
TEST(Exhaustive, FindFFilterTenMillionSearches) {
    long count = 10000000;
    if (const char* e = std::getenv("TACSIM_FINDF_SEARCHES")) count = std::atol(e);
    const auto start = std::chrono::steady_clock::now();
    const FindFTrials trials = compare_searches(count, 2024);
    report("Exhaustive.FindFFilter", count, trials,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// The real catch, in long double.
long double real_catch(const State& s, const AgeVec& n, long double f) {
    long double c = 0.0L;
    for (int a = 0; a <= s.lastage; ++a) {
        const long double sa = s.sel(a, 1), z = s.natmor(a) + sa * f;
        c += static_cast<long double>(n(a)) * sa * f * -std::expm1(-z) / z * s.weca(a);
    }
    return c;
}

// The float catch's distance from the real catch within half the bounds
// (which are twice what their derivation gives); the real catch between
// catch_below and catch_above of two points; and the float catch on the
// side the filter gives from four.
TEST(FindFFilter, BoundsHoldTheRealCatch) {
    Captured cap;
    State& s = cap.s();
    AgeVec n;
    StockMaker maker(7);
    double worst_float = 0.0, worst_line = 0.0;
    long points = 0, sided = 0;
    for (long i = 0; i < 20000 / quick; ++i) {
        maker.make(s, n);
        float sel[maxage + 1];
        for (int a = 0; a <= maxage; ++a) sel[a] = s.sel(a, 1);
        const CatchBounds b = catch_bounds(n.data(), sel, s.natmor.data(), s.weca.data(), s.lastage + 1);
        if (!b.usable) continue;
        auto trial_f = [&] {
            const double lo = std::log(static_cast<double>(b.fmin)), hi = std::log(std::min(5.0f, b.fmax));
            return static_cast<float>(std::exp(maker.uni(lo, hi)));
        };
        auto float_catch = [&](float f) {
            float y = 0.0f;
            yield(s, n, y, f, 1);
            return y;
        };
        CatchPoint p[4];
        for (CatchPoint& q : p) {
            const float f = trial_f(), y = float_catch(f);
            q = catch_point(b, f, y);
            const double e = static_cast<double>(std::fabs(static_cast<long double>(y) - real_catch(s, n, f)));
            ASSERT_LE(e, q.e / 2.0) << "F " << f << " catch " << y;
            if (q.e > 0) worst_float = std::max(worst_float, e / q.e);
            ++points;
        }
        std::sort(p, p + 4, [](const CatchPoint& x, const CatchPoint& y) { return x.f < y.f; });
        if (!(p[0].f < p[1].f && p[1].f < p[2].f && p[2].f < p[3].f)) continue;
        for (int k = 0; k < 4; ++k) {
            const float f = trial_f();
            const double below = catch_below(b, p[1], p[2], f), above = catch_above(b, p[1], p[2], f);
            const long double real = real_catch(s, n, f);
            ASSERT_LE(below, real) << "F " << f;
            ASSERT_GE(above, real) << "F " << f;
            worst_line = std::max(worst_line, static_cast<double>((above - real) / (above - below)));
        }
        // A target between the middle two catches (lo and hi, with lo2 and
        // hi2 outside them), and the float catch where the filter gives a
        // side: at F values between and beyond the points, and beside them.
        const float t = static_cast<float>(p[1].y + (p[2].y - p[1].y) * maker.uni(-0.1, 1.1));
        if (!(t >= p[1].y && t < p[2].y)) continue;
        const CatchFilter filter = catch_filter(b, p[1], p[2], true, p[0], p[3], t);
        for (int k = 0; k < 40; ++k) {
            float f = static_cast<float>(p[1].f + (p[2].f - p[1].f) * maker.uni(-0.5, 1.5));
            if (k < 8) f = std::nextafter(static_cast<float>(p[k / 2].f), k % 2 ? HUGE_VALF : 0.0f);
            const int side = filter.side(f);
            if (side == 0) continue;
            ++sided;
            const float y = float_catch(f);
            EXPECT_EQ(side, y > t ? 1 : -1) << "F " << f << " catch " << y << " target " << t;
        }
    }
    EXPECT_GT(points, 20000 / quick);
    EXPECT_GT(sided, 20000 / quick);
    std::printf("worst float catch error / bound %.3f; real catch in the lower %.3f of its bounds\n", worst_float,
                worst_line);
}

// The exponential's relative error over the arguments the catch terms give
// it (-81 to 0), every float: the bounds count one unit roundoff, 2^-24.
TEST(Exhaustive, CatchExpRelativeError) {
    double worst = 0.0;
    for (std::uint32_t bits = 0x80000000u; bits <= 0xC2A20000u; ++bits) {
        const float x = std::bit_cast<float>(bits);
        const double e = std::exp(static_cast<double>(x));
        worst = std::max(worst, std::fabs(static_cast<double>(exp_sp(x)) - e) / e);
    }
    std::printf("worst relative error of the exponential on [-81, 0]: %.6f * 2^-24\n", std::ldexp(worst, 24));
    EXPECT_LE(worst, 0x1p-24);
}

}  // namespace
}  // namespace tacsim
