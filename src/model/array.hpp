// Arrays with arbitrary lower bounds per index (ages 0..15, years -15..45,
// iterations 1..N, ...). With constant bounds the storage is inline and
// nothing is allocated at run time. An upper bound `dyn` is set at run time
// (the number of iterations of an option set): such an array is sized once
// with size_to and then used like the others. Indices are checked when
// TACSIM_CHECK_BOUNDS is defined (Debug and test builds).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <utility>
#include <vector>

namespace tacsim {

// An upper bound set at run time (BasicArray::size_to).
inline constexpr int dyn = INT_MAX;

namespace array_detail {
// Inline storage of an array with constant bounds; on the heap, with the
// run-time extents, when a bound is `dyn`.
template <bool Dynamic, class T, std::size_t R, std::size_t N>
struct Storage {
    std::array<T, N> data_{};
};
template <class T, std::size_t R, std::size_t N>
struct Storage<true, T, R, N> {
    std::vector<T> data_;
    std::array<int, R> upper_{};
};
template <int... B>
constexpr bool has_dyn() {
    constexpr int b[] = {B...};
    for (std::size_t k = 1; k < sizeof...(B); k += 2)
        if (b[k] == dyn) return true;
    return false;
}
template <int... B>
constexpr std::size_t inline_size() {
    if (has_dyn<B...>()) return 1;
    constexpr int b[] = {B...};
    std::size_t t = 1;
    for (std::size_t k = 0; k < sizeof...(B); k += 2) t *= static_cast<std::size_t>(b[k + 1] - b[k] + 1);
    return t;
}
}  // namespace array_detail

// Array<T, L1, U1, L2, U2, ...>: one (lower, upper) pair per index, both
// inclusive. The last index varies fastest in memory. FirstFastArray has the
// same indices and checks but stores the first index fastest: for an array
// whose loops run along the first index (or along diagonals of the first two)
// with the others fixed.
template <class T, bool FirstFastest, int... B>
class BasicArray
    : private array_detail::Storage<array_detail::has_dyn<B...>(), T, sizeof...(B) / 2,
                                    array_detail::inline_size<B...>()> {
    static_assert(sizeof...(B) >= 2 && sizeof...(B) % 2 == 0, "bounds come in pairs");
    static constexpr std::size_t R = sizeof...(B) / 2;
    static constexpr std::array<int, sizeof...(B)> b_{B...};
    static constexpr bool dynamic = array_detail::has_dyn<B...>();
    static constexpr bool is_dyn(std::size_t k) { return b_[2 * k + 1] == dyn; }
    int up(std::size_t k) const {
        if constexpr (dynamic) {
            if (is_dyn(k)) return this->upper_[k];
        }
        return b_[2 * k + 1];
    }
    std::size_t extent(std::size_t k) const { return static_cast<std::size_t>(up(k) - b_[2 * k] + 1); }
    std::size_t total() const {
        std::size_t t = 1;
        for (std::size_t k = 0; k < R; ++k) t *= extent(k);
        return t;
    }

public:
    static constexpr std::size_t rank = R;
    static constexpr int lower(std::size_t k) { return b_[2 * k]; }
    // The upper bound of index k (of a `dyn` bound: as sized, lower - 1
    // before).
    int upper(std::size_t k) const { return dynamic && is_dyn(k) ? up(k) : b_[2 * k + 1]; }
    std::size_t size() const { return dynamic ? this->data_.size() : total(); }

    // Sets every `dyn` upper bound to `u` (lower - 1 or more; the run-time
    // bounds of one array are the same index range, the iterations), the
    // values to T{}. Allocates only when the array grows beyond what it held.
    void size_to(int u)
        requires(dynamic)
    {
        for (std::size_t k = 0; k < R; ++k)
            if (is_dyn(k)) this->upper_[k] = u < b_[2 * k] - 1 ? b_[2 * k] - 1 : u;
        this->data_.assign(total(), T{});
    }
    // Gives the storage back (the `dyn` bounds then hold no index).
    void release()
        requires(dynamic)
    {
        size_to(INT_MIN);
        std::vector<T>().swap(this->data_);
    }

    template <class... I>
    T& operator()(I... idx) {
        static_assert(sizeof...(I) == R, "wrong number of indices");
        return this->data_[offset(static_cast<int>(idx)...)];
    }
    template <class... I>
    const T& operator()(I... idx) const {
        static_assert(sizeof...(I) == R, "wrong number of indices");
        return this->data_[offset(static_cast<int>(idx)...)];
    }

    void fill(const T& v) {
        if constexpr (dynamic)
            std::fill(this->data_.begin(), this->data_.end(), v);
        else
            this->data_.fill(v);
    }
    T* data() { return this->data_.data(); }
    const T* data() const { return this->data_.data(); }

private:
    // Row-major offset, one term per index with its bounds as constants
    // (apart from `dyn` ones), so that an access compiles to a few
    // multiply-adds by constants.
    template <class... I>
    std::size_t offset(I... idx) const {
        return offset_of(std::make_index_sequence<R>{}, idx...);
    }
    template <std::size_t... K, class... I>
    std::size_t offset_of(std::index_sequence<K...>, I... idx) const {
        std::size_t off = 0;
        if constexpr (FirstFastest) {
            std::size_t stride = 1;
            ((check(K, idx), off += static_cast<std::size_t>(idx - b_[2 * K]) * stride, stride *= extent(K)), ...);
        } else {
            ((check(K, idx), off = off * extent(K) + static_cast<std::size_t>(idx - b_[2 * K])), ...);
        }
        return off;
    }
    void check([[maybe_unused]] std::size_t k, [[maybe_unused]] int i) const {
#ifdef TACSIM_CHECK_BOUNDS
        if (i < b_[2 * k] || i > up(k)) {
            std::fprintf(stderr, "array index %d out of bounds %d..%d (index %zu)\n", i, b_[2 * k], up(k), k + 1);
            std::abort();
        }
#endif
    }
};

template <class T, int... B>
using Array = BasicArray<T, false, B...>;
template <class T, int... B>
using FirstFastArray = BasicArray<T, true, B...>;

}  // namespace tacsim
