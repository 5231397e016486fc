// The array template: elements at their row-major places (or with the first
// index fastest) with the lower bounds taken off, and indices outside the
// bounds stopped where bounds are checked.
#include "model/array.hpp"

#include <gtest/gtest.h>

namespace {

using tacsim::Array;
using tacsim::dyn;
using tacsim::FirstFastArray;

TEST(Array, LastIndexVariesFastestFromTheLowerBounds) {
    Array<int, 0, 2, -15, 45, 1, 4> a;  // ages, years, four columns
    EXPECT_EQ(a.size(), 3u * 61u * 4u);
    a(0, -15, 1) = 1;
    a(0, -15, 2) = 2;
    a(0, -14, 1) = 3;
    a(1, -15, 1) = 4;
    a(2, 45, 4) = 5;
    const int* d = a.data();
    EXPECT_EQ(d[0], 1);
    EXPECT_EQ(d[1], 2);
    EXPECT_EQ(d[4], 3);
    EXPECT_EQ(d[61 * 4], 4);
    EXPECT_EQ(d[a.size() - 1], 5);
}

TEST(Array, FirstIndexFastestKeepsTheIndicesAndTheirBounds) {
    FirstFastArray<int, 0, 2, -15, 45, 1, 4> a;
    EXPECT_EQ(a.size(), 3u * 61u * 4u);
    a(0, -15, 1) = 1;
    a(1, -15, 1) = 2;
    a(0, -14, 1) = 3;
    a(0, -15, 2) = 4;
    a(2, 45, 4) = 5;
    const int* d = a.data();
    EXPECT_EQ(d[0], 1);
    EXPECT_EQ(d[1], 2);
    EXPECT_EQ(d[3], 3);
    EXPECT_EQ(d[3 * 61], 4);
    EXPECT_EQ(d[a.size() - 1], 5);
}

// An upper bound set at run time: the places of a constant-bound array of
// the same bounds, for each size, zeroed when sized again; nothing after
// release.
TEST(Array, RunTimeUpperBoundPlacesLikeAConstantOne) {
    Array<int, 0, 2, 1, 5, 1, dyn> a;  // years, elements, iterations 1..n
    EXPECT_EQ(a.size(), 0u);
    struct Case {
        int n;
        std::size_t last_at;
    };
    for (const Case c : {Case{1, 14u}, Case{7, 3u * 5u * 7u - 1u}, Case{1000, 3u * 5u * 1000u - 1u}}) {
        a.size_to(c.n);
        EXPECT_EQ(a.upper(2), c.n);
        EXPECT_EQ(a.upper(1), 5);
        ASSERT_EQ(a.size(), 3u * 5u * static_cast<std::size_t>(c.n)) << c.n;
        for (std::size_t k = 0; k < a.size(); ++k) ASSERT_EQ(a.data()[k], 0) << c.n;
        a(0, 1, 1) = 1;
        a(0, 2, 1) = 2;
        a(1, 1, 1) = 3;
        a(2, 5, c.n) = 4;
        EXPECT_EQ(a.data()[0], 1);
        EXPECT_EQ(a.data()[static_cast<std::size_t>(c.n)], 2);
        EXPECT_EQ(a.data()[5u * static_cast<std::size_t>(c.n)], 3);
        EXPECT_EQ(a.data()[c.last_at], 4);
    }
    Array<int, 0, 2, 1, 5, 1, 1000> same;
    same(0, 2, 1) = 2;
    same(2, 5, 1000) = 4;
    EXPECT_EQ(same.data()[1000], 2);
    EXPECT_EQ(same.data()[3u * 5u * 1000u - 1u], 4);
    a.release();
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(a.upper(2), 0);
}

#ifdef TACSIM_CHECK_BOUNDS
TEST(ArrayDeathTest, IndexOutsideItsBoundsStops) {
    Array<float, 0, 15, -15, 45> a;
    EXPECT_DEATH(a(16, 0) = 1.0f, "array index 16 out of bounds 0..15 \\(index 1\\)");
    EXPECT_DEATH(a(0, -16) = 1.0f, "array index -16 out of bounds -15..45 \\(index 2\\)");
    FirstFastArray<float, 0, 15, -15, 45> b;
    EXPECT_DEATH(b(0, 46) = 1.0f, "array index 46 out of bounds -15..45 \\(index 2\\)");
    Array<float, 0, 40, 1, dyn> r;
    r.size_to(10);
    EXPECT_DEATH(r(0, 11) = 1.0f, "array index 11 out of bounds 1..10 \\(index 2\\)");
}
#endif

}  // namespace
