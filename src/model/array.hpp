// Fixed-size arrays with arbitrary lower bounds per index (ages 0..15,
// years -15..45, iterations 1..1000, ...). Storage is inline: nothing is
// allocated at run time. Indices are checked when TACSIM_CHECK_BOUNDS is
// defined (Debug and test builds).
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tacsim {

// Array<T, L1, U1, L2, U2, ...>: one (lower, upper) pair per index, both
// inclusive. The last index varies fastest in memory. FirstFastArray has the
// same indices and checks but stores the first index fastest: for an array
// whose loops run along the first index (or along diagonals of the first two)
// with the others fixed.
template <class T, bool FirstFastest, int... B>
class BasicArray {
    static_assert(sizeof...(B) >= 2 && sizeof...(B) % 2 == 0, "bounds come in pairs");
    static constexpr std::size_t R = sizeof...(B) / 2;
    static constexpr std::array<int, sizeof...(B)> b_{B...};
    static constexpr std::size_t extent(std::size_t k) { return static_cast<std::size_t>(b_[2 * k + 1] - b_[2 * k] + 1); }
    static constexpr std::size_t total() {
        std::size_t t = 1;
        for (std::size_t k = 0; k < R; ++k) t *= extent(k);
        return t;
    }

public:
    static constexpr std::size_t rank = R;
    static constexpr int lower(std::size_t k) { return b_[2 * k]; }
    static constexpr int upper(std::size_t k) { return b_[2 * k + 1]; }
    static constexpr std::size_t size() { return total(); }

    template <class... I>
    T& operator()(I... idx) {
        static_assert(sizeof...(I) == R, "wrong number of indices");
        return data_[offset(static_cast<int>(idx)...)];
    }
    template <class... I>
    const T& operator()(I... idx) const {
        static_assert(sizeof...(I) == R, "wrong number of indices");
        return data_[offset(static_cast<int>(idx)...)];
    }

    void fill(const T& v) { data_.fill(v); }
    T* data() { return data_.data(); }
    const T* data() const { return data_.data(); }

private:
    // Row-major offset, one term per index with its bounds as constants, so
    // that an access compiles to a few multiply-adds by constants.
    template <class... I>
    static std::size_t offset(I... idx) {
        return offset_of(std::make_index_sequence<R>{}, idx...);
    }
    template <std::size_t... K, class... I>
    static std::size_t offset_of(std::index_sequence<K...>, I... idx) {
        std::size_t off = 0;
        if constexpr (FirstFastest) {
            std::size_t stride = 1;
            ((check(K, idx), off += static_cast<std::size_t>(idx - b_[2 * K]) * stride, stride *= extent(K)), ...);
        } else {
            ((check(K, idx), off = off * extent(K) + static_cast<std::size_t>(idx - b_[2 * K])), ...);
        }
        return off;
    }
    static void check([[maybe_unused]] std::size_t k, [[maybe_unused]] int i) {
#ifdef TACSIM_CHECK_BOUNDS
        if (i < b_[2 * k] || i > b_[2 * k + 1]) {
            std::fprintf(stderr, "array index %d out of bounds %d..%d (index %zu)\n", i, b_[2 * k], b_[2 * k + 1],
                         k + 1);
            std::abort();
        }
#endif
    }

    std::array<T, total()> data_{};
};

template <class T, int... B>
using Array = BasicArray<T, false, B...>;
template <class T, int... B>
using FirstFastArray = BasicArray<T, true, B...>;

}  // namespace tacsim
