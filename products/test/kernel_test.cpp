// The library's inline kernels where they take a shortcut that must give
// the bits the plain computation gives.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "matrix.hpp"
#include "workbench.hpp"

namespace vx::products::testing {
namespace {

bool same_bits(const Matrix& a, const Matrix& b) { return std::memcmp(a.entry, b.entry, sizeof a.entry) == 0; }

// Placements as cells hold them: widened from floats.
Matrix as_cells(Matrix m) {
    for (double& e : m.entry) e = static_cast<double>(static_cast<float>(e));
    return m;
}

// An inverse whose factors follow a move is the inverse of the moved
// placement, to the bit: for placements square to the axes (exact zeros,
// quarter turns that pivot), turned at random, tiny and huge, moved near
// and far, to zero and to -0.
TEST(Kernels, AnInverseFollowsAMoveToTheSameBits) {
    std::mt19937 draw(7);
    const auto u = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(draw); };
    int followed = 0;
    for (int n = 0; n < 4000; ++n) {
        const double quarter = 90.0 * static_cast<int>(u(0, 4));
        const Vector angles = n % 3 == 0 ? Vector{0, 0, quarter} : Vector{u(-180, 180), u(-180, 180), u(-180, 180)};
        const double scale = n % 7 == 0 ? 1e-3 : n % 11 == 0 ? 1e4 : 1.0;
        const Vector sizes{scale * u(0.1, 3), scale * u(0.1, 3), scale * u(0.1, 3)};
        const Matrix placed = as_cells(placement_of({u(-50, 50), u(-50, 50), u(-5, 5)}, angles, sizes));
        Factors kept;
        Matrix inverse;
        factor_into(placed, kept);
        solve_inverse(kept, inverse);
        if (!movable(placed, kept, inverse)) continue;
        Matrix moved = placed;
        const double far = n % 5 == 0 ? 1e6 : 1.0;
        for (const int k : {3, 7, 11}) moved.entry[k] = static_cast<float>(moved.entry[k] + far * u(-3, 3));
        if (n % 13 == 0) moved.entry[7] = 0.0;
        if (n % 17 == 0) moved.entry[3] = -0.0;
        Matrix expected;
        invert_into(moved, expected);
        ASSERT_TRUE(move_inverse(moved, kept, inverse)) << n;
        ASSERT_TRUE(same_bits(inverse, expected)) << n;
        ++followed;
    }
    EXPECT_GT(followed, 3500);
}

// A placement with perspective, or whose factors are not all numbers, is
// inverted afresh.
TEST(Kernels, OnlyAPlacementWithoutPerspectiveFollowsAMove) {
    Matrix placed = placement_of({1, 2, 3}, {0, 0, 30}, {1, 2, 3});
    Factors f;
    Matrix inverse;
    factor_into(placed, f);
    solve_inverse(f, inverse);
    EXPECT_TRUE(movable(placed, f, inverse));
    placed.entry[13] = 0.25;
    factor_into(placed, f);
    solve_inverse(f, inverse);
    EXPECT_FALSE(movable(placed, f, inverse));
    const Matrix flat = placement_of({1, 2, 3}, {0, 0, 0}, {0, 1, 1});  // a size of 0
    factor_into(flat, f);
    solve_inverse(f, inverse);
    EXPECT_FALSE(movable(flat, f, inverse));
}

}  // namespace
}  // namespace vx::products::testing
