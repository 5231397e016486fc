// The array template: elements at their row-major places (or with the first
// index fastest) with the lower bounds taken off, and indices outside the
// bounds stopped where bounds are checked.
#include "model/array.hpp"

#include <gtest/gtest.h>

namespace {

using tacsim::Array;
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

#ifdef TACSIM_CHECK_BOUNDS
TEST(ArrayDeathTest, IndexOutsideItsBoundsStops) {
    Array<float, 0, 15, -15, 45> a;
    EXPECT_DEATH(a(16, 0) = 1.0f, "array index 16 out of bounds 0..15 \\(index 1\\)");
    EXPECT_DEATH(a(0, -16) = 1.0f, "array index -16 out of bounds -15..45 \\(index 2\\)");
    FirstFastArray<float, 0, 15, -15, 45> b;
    EXPECT_DEATH(b(0, 46) = 1.0f, "array index 46 out of bounds -15..45 \\(index 2\\)");
}
#endif

}  // namespace
