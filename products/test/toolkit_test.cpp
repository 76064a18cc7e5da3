// The matrix and vector toolkit: its own conventions (the Y cosine in
// element (3,3), the column-pivoting inverse, this system's pi) on worked
// values, and the round trip of a matrix through single-precision cells.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "vx_products.h"

namespace {

constexpr double kPi = 3.1415926535898;
constexpr double kEps = 1e-12;
constexpr Vector kOnes{1.0, 1.0, 1.0};

double rad(double degrees) { return kPi * degrees / 180.0; }

Matrix identity() {
    Matrix m{};
    setUnity(&m);
    return m;
}

Matrix product(const Matrix& a, const Matrix& b) { return mulMatrix_with_(a, kOnes, b, kOnes); }

void expect_near(const Matrix& actual, const Matrix& expected, double tolerance) {
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(actual.entry[k], expected.entry[k], tolerance) << "entry " << k;
}

TEST(Toolkit, ConstructorsPlaceTheYCosineInElement33) {
    expect_near(mRotationY(0.0), identity(), 0.0);
    // With this pi, cos(pi/2) is a tiny non-zero value, not 0.
    const double c = mRotationY(kPi / 2).entry[15];
    EXPECT_NE(c, 0.0);
    EXPECT_LT(std::fabs(c), 1e-12);
    EXPECT_EQ(mRotationY(0.5).entry[15], std::cos(0.5));
    for (const Matrix& m : {mRotationX(0.5), mRotationZ(0.5), mTranslation(1, 2, 3), mScale(2, 3, 4)}) {
        EXPECT_EQ(m.entry[15], 1.0);
        EXPECT_EQ(m.entry[12], 0.0);
    }
    const Matrix t = mTranslation(1, 2, 3);
    EXPECT_EQ(t.entry[3], 1.0);
    EXPECT_EQ(t.entry[7], 2.0);
    EXPECT_EQ(t.entry[11], 3.0);
}

TEST(Toolkit, TransformPointIgnoresElement33) {
    Matrix m = mulMatrix_with_(mTranslation(1, 2, 3), kOnes, mScale(2, 3, 4), kOnes);
    Vector with_one{}, with_half{};
    transformPoint_into_(m, {1, 1, 1}, &with_one);
    m.entry[15] = 0.5;
    transformPoint_into_(m, {1, 1, 1}, &with_half);
    EXPECT_EQ(with_one.x, 3.0);
    EXPECT_EQ(with_one.y, 5.0);
    EXPECT_EQ(with_one.z, 7.0);
    EXPECT_EQ(std::memcmp(&with_one, &with_half, sizeof with_one), 0);
}

TEST(Toolkit, ProductCombinesTheYCosines) {
    struct Row {
        const char* what;
        Matrix a, b;
        double element33;
    };
    Matrix near_a = identity(), near_b = identity();
    near_a.entry[15] = near_b.entry[15] = 1.00005;
    const Row kRows[] = {
        {"T.Ry keeps cos", mTranslation(1, 2, 3), mRotationY(0.7), std::cos(0.7)},
        {"Ry.T keeps cos", mRotationY(0.7), mTranslation(1, 2, 3), std::cos(0.7)},
        {"Ry.Ry adds the angles", mRotationY(0.7), mRotationY(0.4), std::cos(1.1)},
        {"Ry.Ry past 90 degrees", mRotationY(rad(120)), mRotationY(rad(80)), std::cos(rad(200))},
        {"two near ones give 1", near_a, near_b, 1.0},
        {"Rz.Ry.Rx keeps cos y", product(mRotationZ(0.3), product(mRotationY(0.6), mRotationX(0.2))), identity(),
         std::cos(0.6)},
    };
    for (const Row& r : kRows) EXPECT_NEAR(product(r.a, r.b).entry[15], r.element33, kEps) << r.what;
    const Matrix tr = product(mTranslation(1, 2, 3), mRotationY(0.7));
    EXPECT_EQ(tr.entry[3], 1.0);
    EXPECT_EQ(tr.entry[7], 2.0);
    EXPECT_EQ(tr.entry[11], 3.0);
    EXPECT_EQ(product(near_a, near_b).entry[15], 1.0);
    // The sizes are taken out before the Y angles are read.
    const Matrix sized = product(mRotationY(0.5), mScale(2, 3, 4));
    const Matrix combined = mulMatrix_with_(mRotationY(0.25), kOnes, sized, {0.5, 1.0 / 3, 0.25});
    EXPECT_NEAR(combined.entry[15], std::cos(0.75), kEps);
    Matrix into{};
    mulMatrix_with_into_(mRotationY(0.7), kOnes, mRotationY(0.4), kOnes, &into);
    expect_near(into, product(mRotationY(0.7), mRotationY(0.4)), 0.0);
}

TEST(Toolkit, ArcTanCoversMinusHalfPiToThreeHalfPi) {
    struct Row {
        double y, x, angle;
    };
    constexpr Row kRows[] = {
        {0, 0, kPi},         {0, -1, kPi},       {0, 1, 0},           {1, 0, kPi / 2},
        {-1, 0, -kPi / 2},   {1, 1, kPi / 4},    {-1, -1, 5 * kPi / 4}, {1, -1, 3 * kPi / 4},
        {-1, 1, -kPi / 4},
    };
    for (const Row& r : kRows) EXPECT_NEAR(arcTan(r.y, r.x), r.angle, kEps) << r.y << ", " << r.x;
    EXPECT_EQ(arcTan(1, 0), 1.5707963267949);
}

TEST(Toolkit, RotationReadsBackTheEulerAngles) {
    struct Row {
        double x, y, z;        // degrees of Rz.Ry.Rx
        double ex, ey, ez;     // what rotation gives back, degrees
    };
    constexpr Row kRows[] = {
        {0, 0, 0, 0, 0, 0},         {20, 30, 40, 20, 30, 40},    {0, 200, 0, 0, 200, 0},
        {0, 300, 0, 0, -60, 0},     {0, 0, -30, 0, 0, -30},      {0, 0, 250, 0, 0, 250},
        {-10, 120, 15, -10, 120, 15},
    };
    for (const Row& r : kRows) {
        const Matrix m = product(mRotationZ(rad(r.z)), product(mRotationY(rad(r.y)), mRotationX(rad(r.x))));
        const Vector a = rotation(m);
        EXPECT_NEAR(a.x, rad(r.ex), 1e-9) << r.x << " " << r.y << " " << r.z;
        EXPECT_NEAR(a.y, rad(r.ey), 1e-9) << r.x << " " << r.y << " " << r.z;
        EXPECT_NEAR(a.z, rad(r.ez), 1e-9) << r.x << " " << r.y << " " << r.z;
    }
    // Rows are normalised: a uniform size does not change the angles.
    const Vector sized = rotation(product(mRotationZ(rad(40)), mScale(3, 3, 3)));
    EXPECT_NEAR(sized.z, rad(40), 1e-9);
}

TEST(Toolkit, RotationAtZeroCosineDependsOnTheMatrixAlone) {
    // Y at exactly 90 degrees: (3,3) = 0. The answer must not depend on an
    // earlier call.
    Matrix up = product(mRotationY(rad(90)), identity());
    up.entry[15] = 0.0;
    Matrix down = product(mRotationY(rad(-90)), identity());
    down.entry[15] = 0.0;
    rotation(mRotationY(rad(10)));
    const Vector first = rotation(up);
    rotation(mRotationY(rad(-70)));
    const Vector second = rotation(up);
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
    EXPECT_EQ(first.y, 1.5707963267949);
    EXPECT_EQ(rotation(down).y, -1.5707963267949);
    EXPECT_EQ(first.z, 0.0);
}

TEST(Toolkit, InverseUndoesPlacementsAndIgnoresElement33) {
    const Matrix rz90 = mRotationZ(rad(90));
    const Matrix placements[] = {
        mTranslation(1, -2, 3),
        rz90,
        product(mTranslation(4, 5, 6), product(rz90, mScale(2, 3, 4))),
        product(mTranslation(1, 2, 3), product(mRotationY(rad(130)), product(mRotationX(rad(25)), mScale(2, 1, 5)))),
        product(mRotationX(rad(90)), mRotationZ(rad(90))),  // zeros on the diagonal twice
    };
    for (const Matrix& m : placements) {
        Matrix inv{};
        inverseTransformation_(m, &inv);
        Vector p{}, back{};
        transformPoint_into_(m, {0.3, -1.2, 2.5}, &p);
        transformPoint_into_(inv, p, &back);
        EXPECT_NEAR(back.x, 0.3, 1e-12);
        EXPECT_NEAR(back.y, -1.2, 1e-12);
        EXPECT_NEAR(back.z, 2.5, 1e-12);
        Matrix with_other33 = m;
        with_other33.entry[15] = -0.25;
        Matrix inv_other{};
        inverseTransformation_(with_other33, &inv_other);
        expect_near(inv_other, inv, 0.0);
    }
    // A quarter turn about Z is inverted exactly through a swap of columns.
    Matrix inv{};
    inverseTransformation_(rz90, &inv);
    expect_near(inv, mRotationZ(rad(-90)), 1e-15);
}

TEST(Toolkit, SolveUsesTheUnitLowerTriangle) {
    Matrix lu{};
    // L = [1 0 0 0; 2 1 0 0; 0 0 1 0; 0 0 0 1], U = diag(2, 4, 1, 1) + u01 = 1
    const double entries[16] = {2, 1, 0, 0, 2, 4, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(lu.entry, entries, sizeof entries);
    const double b[4] = {3, 14, 5, 7};
    double x[4] = {};
    solve_(lu, b, x);
    // L y = b: y = (3, 8, 5, 7); U x = y: x1 = 2, x0 = (3 - 2) / 2.
    EXPECT_EQ(x[0], 0.5);
    EXPECT_EQ(x[1], 2.0);
    EXPECT_EQ(x[2], 5.0);
    EXPECT_EQ(x[3], 7.0);
}

TEST(Toolkit, VectorsComponentByComponent) {
    Vector out{};
    crossProduct({1, 0, 0}, {0, 1, 0}, &out);
    EXPECT_EQ(out.z, 1.0);
    crossProduct({1, 2, 3}, {4, 5, 6}, &out);
    EXPECT_EQ(out.x, -3.0);
    EXPECT_EQ(out.y, 6.0);
    EXPECT_EQ(out.z, -3.0);
    mulScalar_({1, -2, 3}, 2, &out);
    EXPECT_EQ(out.y, -4.0);
    addVector_({1, 2, 3}, {4, 5, 6}, &out);
    EXPECT_EQ(out.z, 9.0);
}

TEST(Toolkit, CellsKeepSinglePrecisionAndTouchOnlyCur) {
    FloatCell cells[16];
    for (FloatCell& c : cells) c = FloatCell{0.0f, 42.0f, VX_CELL_FORCED | 0x80, {7, 8, 9}};
    const ObjectCells o{nullptr, nullptr, cells, nullptr};
    Matrix m = product(mTranslation(0.1, 1e39, -1e39), mRotationY(0.3));
    m.entry[0] = std::numeric_limits<double>::quiet_NaN();
    saveMatrix_on_(m, o);
    const Matrix back = createMatrixFrom_(o);
    for (int k = 1; k < 16; ++k) {
        const double rounded = std::fabs(m.entry[k]) > 3.5e38 ? std::copysign(INFINITY, m.entry[k])
                                                               : static_cast<double>(static_cast<float>(m.entry[k]));
        EXPECT_EQ(back.entry[k], rounded) << "entry " << k;
    }
    EXPECT_TRUE(std::isnan(back.entry[0]));
    for (const FloatCell& c : cells) {
        EXPECT_EQ(c.prev, 42.0f);
        EXPECT_EQ(c.flags, VX_CELL_FORCED | 0x80);
        EXPECT_EQ(c.reserved[2], 9);
    }
    // No cells: nothing written, a matrix of zeros read.
    saveMatrix_on_(m, ObjectCells{});
    const Matrix none = createMatrixFrom_(ObjectCells{});
    for (const double e : none.entry) EXPECT_EQ(e, 0.0);
}

}  // namespace
