// Checks of the model's own single-precision functions against the C
// library: every processor target against the one-value form on a list of
// inputs, and sweeps over all 2^32 float patterns on two threads.
#pragma once

#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace tacsim::testing {

inline std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }
inline float of_bits(std::uint32_t b) { return std::bit_cast<float>(b); }

// The same float, or both NaN.
inline bool same_float(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return bits(a) == bits(b);
}

// Input patterns that gave a wrong result: how many, and the first.
struct Mismatches {
    std::uint64_t count = 0;
    std::uint32_t first = 0;
    void add(std::uint32_t u) {
        if (count++ == 0) first = u;
    }
};

// check(x, n, base, m) for the 2^32 patterns in chunks of 4096 consecutive
// patterns from base, the two halves on two threads.
using ChunkCheck = std::function<void(const float* x, std::size_t n, std::uint32_t base, Mismatches& m)>;
inline Mismatches every_pattern_in_chunks(const ChunkCheck& check) {
    constexpr std::size_t chunk = 4096;
    auto half = [&check](std::uint32_t lo, Mismatches& m) {
        std::vector<float> x(chunk);
        for (std::uint64_t base = lo; base < static_cast<std::uint64_t>(lo) + 0x80000000u; base += chunk) {
            for (std::size_t i = 0; i < chunk; ++i) x[i] = of_bits(static_cast<std::uint32_t>(base + i));
            check(x.data(), chunk, static_cast<std::uint32_t>(base), m);
        }
    };
    Mismatches a, b;
    std::thread t(half, 0u, std::ref(a));
    half(0x80000000u, b);
    t.join();
    return a.count ? Mismatches{a.count + b.count, a.first} : b;
}

// same(u) for every one of the 2^32 patterns.
inline Mismatches every_pattern(const std::function<bool(std::uint32_t)>& same) {
    return every_pattern_in_chunks([&same](const float*, std::size_t n, std::uint32_t base, Mismatches& m) {
        for (std::size_t i = 0; i < n; ++i)
            if (!same(base + static_cast<std::uint32_t>(i))) m.add(base + static_cast<std::uint32_t>(i));
    });
}

inline bool same_bits(float a, float b) { return bits(a) == bits(b); }

// The array form on each processor target compiled in and available here
// gives the one-value form's result for every x, as `same` judges (the same
// float or both NaN, unless told otherwise); at most five failures are
// reported per target.
template <class ArrayFn, class OneFn, class Same = bool (*)(float, float)>
void every_target_gives_the_one_value_bits(const std::vector<float>& x, ArrayFn array_form, OneFn one_value,
                                           Same same = same_float) {
    std::vector<float> y(x.size());
    const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE(targets.empty());
    for (std::int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        array_form(x.data(), y.data(), x.size());
        int bad = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (!same(y[i], one_value(x[i])) && ++bad <= 5)
                ADD_FAILURE() << hwy::TargetName(target) << ": x = " << std::hexfloat << x[i] << " gives " << y[i]
                              << ", one value " << one_value(x[i]);
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace tacsim::testing
