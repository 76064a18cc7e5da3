// Queries, motion commands, relative placement, joints and the intersection
// test on a bench of objects bound like a program's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vx/testing/program.hpp"
#include "workbench.hpp"

namespace vx::products::testing {
namespace {

constexpr double kCell = 1e-5;  // what single-precision cells keep of small values

int32_t box_model() { return 0; }

PlannedObject at(Vector origin, Vector degrees = {0, 0, 0}, Vector sizes = {1, 1, 1}) {
    return PlannedObject{box_model, VX_OBJECT_ALIVE, 0, placement_of(origin, degrees, sizes)};
}

// Object 0 is an actor, the others products.
class Geometry : public ::testing::Test {
protected:
    void make(const std::vector<PlannedObject>& objects) {
        bench_.reset();  // one bench at a time: the table and the areas are the program's
        bench_ = std::make_unique<Workbench>(1, objects);
        ASSERT_TRUE(bench_->ok());
    }
    // The boxes the intersection test reads, stored as the step stores them.
    static void store_boxes() {
        for (int32_t i = 0; i < NbActeursEtProduits; ++i) {
            computeActorProductTransformedParrallelepipede_into_(TableActeursProduits[i].cells,
                                                                 &TableActeursProduits[i].box);
        }
    }
    static Vector position(int32_t i) { return {getPositionX(i), getPositionY(i), getPositionZ(i)}; }
    static Vector centre(int32_t i) { return {getCenterX(i), getCenterY(i), getCenterZ(i)}; }
    static Vector angles(int32_t i) { return {getAngleX(i), getAngleY(i), getAngleZ(i)}; }
    static Vector sizes(int32_t i) { return {getSizeX(i), getSizeY(i), getSizeZ(i)}; }

    std::unique_ptr<Workbench> bench_;
};

void expect_vector(Vector actual, Vector expected, double tolerance, const std::string& what = "") {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

// Angles read back in [0, 360), compared modulo 360.
void expect_angles(Vector actual, Vector expected, double tolerance, const std::string& what = "") {
    const auto turn = [](double a, double e) { return std::remainder(a - e, 360.0); };
    EXPECT_NEAR(turn(actual.x, expected.x), 0.0, tolerance) << what;
    EXPECT_NEAR(turn(actual.y, expected.y), 0.0, tolerance) << what;
    EXPECT_NEAR(turn(actual.z, expected.z), 0.0, tolerance) << what;
    for (const double a : {actual.x, actual.y, actual.z}) {
        EXPECT_GE(a, 0.0) << what;
        EXPECT_LT(a, 360.0) << what;
    }
}

using Query = double (*)(int32_t);
constexpr Query kQueries[] = {getSizeX,     getSizeY,     getSizeZ,     getDX,          getDY,
                              getDZ,        getPositionX, getPositionY, getPositionZ,   getProjectionX,
                              getProjectionY, getProjectionZ, getCenterX, getCenterY,   getCenterZ,
                              getAngleX,    getAngleY,    getAngleZ};

TEST_F(Geometry, QueriesOfAPlacedBox) {
    make({at({0, 0, 0}), at({2, 3, 4}, {0, 0, 30}, {2, 1, 1}), at({0, 0, 0}, {0, 120, 0}), at({0, 0, 0}, {0, 0, -30}),
          at({1, 1, 1}, {20, 30, 40}, {1, 2, 3}), at({0, 0, 0}, {0, 0, 90}, {5, 1, 1})});
    expect_vector(sizes(0), {1, 1, 1}, 0.0);
    expect_vector(position(0), {0, 0, 0}, 0.0);
    expect_vector(centre(0), {0.5, 0.5, 0.5}, 0.0);
    expect_vector(sizes(1), {2, 1, 1}, kCell);  // sizes do not change under rotation
    expect_vector(position(1), {2, 3, 4}, 0.0);
    expect_angles(angles(1), {0, 0, 30}, 1e-4);
    expect_angles(angles(2), {0, 120, 0}, 1e-4);
    expect_angles(angles(3), {0, 0, 330}, 1e-4);
    expect_angles(angles(4), {20, 30, 40}, 1e-4);
    expect_vector(sizes(4), {1, 2, 3}, kCell);
    EXPECT_NEAR(getProjectionX(5), 0.0, kCell);  // a quarter turn about Z, whatever its size
    EXPECT_NEAR(getPositionXInAnother(1, 1), 0.0, 1e-12);
    EXPECT_NEAR(getCenterXInAnother(1, 1), getDX(1) / 2, kCell);
    EXPECT_NEAR(getCenterYInAnother(1, 1), 0.5, kCell);
}

TEST_F(Geometry, ATinyNegativeAngleReadsJustUnder360) {
    make({at({0, 0, 0}), at({0, 0, 0})});
    FloatCell* m = bench_->matrix_cells(1);
    m[1].cur = 1e-30f;  // Z = -1e-30 rad: plus 360 degrees it would round to 360
    EXPECT_EQ(getAngleZ(1), std::nextafter(360.0, 0.0));
}

TEST_F(Geometry, NoLiveObjectAnswersZero) {
    make({at({0, 0, 0}), at({2, 3, 4}, {0, 0, 30}, {2, 1, 1}), at({1, 1, 1})});
    ASSERT_EQ(prodKill(1), 1);
    for (const int32_t i : {1, -1, 3, 1000}) {
        for (const Query q : kQueries) EXPECT_EQ(q(i), 0.0) << "object " << i;
        EXPECT_EQ(getPositionXInAnother(i, 2), 0.0);
        EXPECT_EQ(getCenterZInAnother(2, i), 0.0);
        EXPECT_FALSE(isMyCenterIncludedInXYOfOther(i, 2));
        EXPECT_FALSE(isMyCenterIncludedInXZOfOther(2, i));
    }
    // A killed object's cells still hold its placement.
    EXPECT_EQ(bench_->matrix_cells(1)[3].cur, 2.0f);
    expect_vector(getPositionInAnother(0, 1000, {1, 2, 3}), {0, 0, 0}, 0.0);
}

TEST_F(Geometry, CentreInclusionBoundsAreInclusive) {
    // Object 1 spans x 0..2, y 0..2; the centres of the others lie on its
    // face, inside, and beside it.
    make({at({0, 0, 0}), at({0, 0, 0}, {0, 0, 0}, {2, 2, 2}), at({1.5, 0.5, 5}), at({1.2, 1.2, 0}),
          at({2.1, 0.5, 0})});
    EXPECT_TRUE(isMyCenterIncludedInXYOfOther(1, 1));
    EXPECT_TRUE(isMyCenterIncludedInXYOfOther(2, 1));   // centre x = 2: on the face
    EXPECT_FALSE(isMyCenterIncludedInXZOfOther(2, 1));  // z = 5.5
    EXPECT_TRUE(isMyCenterIncludedInYZOfOther(3, 1));
    EXPECT_FALSE(isMyCenterIncludedInXYOfOther(4, 1));
}

TEST_F(Geometry, MotionCommands) {
    make({at({0, 0, 0}), at({0, 0, 0}), at({0, 0, 0}, {0, 0, 90}, {2, 1, 1}), at({0, 0, 0}, {0, 0, 0}, {2, 1, 1})});
    EXPECT_EQ(moveTo(1, 0.1, 2, 3), 1);
    EXPECT_EQ(getPositionX(1), static_cast<double>(0.1f));
    EXPECT_EQ(moveXTo(1, 5), 1);
    expect_vector(position(1), {5, 2, 3}, 0.0);
    EXPECT_EQ(moveBy(1, 1, -1, 0.5), 1);
    expect_vector(position(1), {6, 1, 3.5}, 0.0);
    // Along the object's own axes, in world units.
    EXPECT_EQ(moveRelativeXBy(2, 1), 2);
    expect_vector(position(2), {0, 1, 0}, kCell);
    // A turn about the centre keeps the centre; about the origin it does not.
    const Vector c = centre(3);
    EXPECT_EQ(rotateCenterZBy(3, 90), 3);
    expect_vector(centre(3), c, kCell);
    EXPECT_EQ(rotateZBy(1, 90, 0, 0, 0), 1);
    expect_vector(position(1), {-1, 6, 3.5}, 1e-5);
}

// A move is the product of a translation with the placement, narrowed to
// the cells, and refused when it would turn a placement of numbers into one
// that is not. The library writes the usual placement's cells without that
// product: every cell must still come out as the product gives it, bit for
// bit (zeros' signs, a (3,3) cosine, roundings to -0 and overflows included).
struct MoveCase {
    const char* what;
    Matrix placement;
    Vector by;
};

Matrix with_entries(Matrix m, std::initializer_list<std::pair<int, double>> entries) {
    for (const auto& [k, value] : entries) m.entry[k] = value;
    return m;
}

const Matrix kSquare = placement_of({1, 2, 3}, {0, 0, 0}, {1, 2, 0.5});
const Matrix kTurned = placement_of({-4, 0.5, 2}, {10, 20, 30}, {1.5, 1, 2});
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const MoveCase kMoveCases[] = {
    {"square", kSquare, {0.25, 0, 0}},
    {"turned", kTurned, {1e-3, -2, 3}},
    {"a Y cosine far from one", placement_of({0, 1, 0}, {0, 120, 0}, {1, 1, 1}), {0.5, 0.5, -0.5}},
    {"(3,3) near one but not one", with_entries(kSquare, {{15, 1.00005}}), {1, 0, 0}},
    {"negative zeros", with_entries(kSquare, {{1, -0.0}, {4, -0.0}, {12, -0.0}, {14, -0.0}}), {0, 1, 0}},
    {"(3,3) a negative zero", with_entries(kSquare, {{15, -0.0}}), {1, 0, 0}},
    {"lands on -0", with_entries(kSquare, {{3, 0.0}}), {-1e-50, 0, 0}},
    {"perspective in x", with_entries(kSquare, {{12, 0.5}}), {1, 2, 3}},
    {"perspective in y", with_entries(kSquare, {{13, -0.25}}), {1, 2, 3}},
    {"perspective in z", with_entries(kSquare, {{14, 2.0}}), {1, 2, 3}},
    {"past the float range", with_entries(kSquare, {{7, 3e38}}), {0, 1e38, 0}},
    {"a move that is not a number", kSquare, {0, kNaN, 0}},
    {"an infinite move", kTurned, {kInf, 0, 0}},
    {"a cell that is not a number", with_entries(kSquare, {{5, kNaN}}), {1, 1, 1}},
    {"an infinite cell", with_entries(kSquare, {{12, kInf}}), {1, 0, 0}},
};

TEST_F(Geometry, AMoveWritesWhatTheFullProductGives) {
    for (const MoveCase& c : kMoveCases) {
        make({at({50, 50, 50}), {box_model, VX_OBJECT_ALIVE, 0, c.placement}, {box_model, VX_OBJECT_ALIVE, 0, {}}});
        const Matrix before = createMatrixFrom_(TableActeursProduits[1].cells);
        // What the product writes, in object 2's cells.
        const Matrix product = mulMatrix_with_(mTranslation(c.by.x, c.by.y, c.by.z), {1, 1, 1}, before, {1, 1, 1});
        saveMatrix_on_(product, TableActeursProduits[2].cells);
        const auto all_numbers = [](const Matrix& m) {
            return std::all_of(std::begin(m.entry), std::end(m.entry), [](double e) { return std::isfinite(e); });
        };
        const bool refused = all_numbers(before) && !all_numbers(createMatrixFrom_(TableActeursProduits[2].cells));
        const auto words = [&](int32_t i) {
            std::vector<std::uint32_t> bits(16);
            for (int k = 0; k < 16; ++k) std::memcpy(&bits[k], &bench_->matrix_cells(i)[k].cur, 4);
            return bits;
        };
        const std::vector<std::uint32_t> expected = refused ? words(1) : words(2);
        EXPECT_EQ(moveBy(1, c.by.x, c.by.y, c.by.z), refused ? -1 : 1) << c.what;
        EXPECT_EQ(words(1), expected) << c.what;
    }
}

TEST_F(Geometry, RotationsReadBackTheirAngles) {
    struct Row {
        const char* what;
        std::function<void()> turn;
        Vector angles;
        double tolerance;
    };
    const Row kRows[] = {
        {"20, 30, 40 at once", [] { rotateCenterBy(1, 20, 30, 40); }, {20, 30, 40}, 1e-3},
        {"Y 30 then Z 40", [] {
             rotateCenterYBy(1, 30);
             rotateCenterZBy(1, 40);
         }, {0, 30, 40}, 1e-3},
        {"nine turns of 5 about Y",
         [] {
             for (int k = 0; k < 9; ++k) rotateCenterYBy(1, 5);
         },
         {0, 45, 0}, 1e-3},
        // Each 0.5 degree turn has a cosine within 0.0001 of 1: element (3,3)
        // is reset to 1 and the Y cosine stops accumulating.
        {"ninety turns of 0.5 about Y",
         [] {
             for (int k = 0; k < 90; ++k) rotateCenterYBy(1, 0.5);
         },
         {0, 35.26, 0}, 0.01},
        {"back to axis alignment", [] {
             rotateBy(1, 10, 50, 70, 1, 1, 1);
             rotateTo(1, 0, 0, 0, 1, 1, 1);
         }, {0, 0, 0},
         1e-3},
        {"to X only", [] {
             rotateCenterZBy(1, 40);
             rotateCenterXTo(1, 30);
         }, {30, 0, 0}, 1e-3},
        {"Y to 120", [] { rotateCenterYTo(1, 120); }, {0, 120, 0}, 1e-3},
    };
    for (const Row& r : kRows) {
        make({at({0, 0, 0}), at({1, 2, 3}, {0, 0, 0}, {2, 3, 4})});
        r.turn();
        expect_angles(angles(1), r.angles, r.tolerance, r.what);
        expect_vector(sizes(1), {2, 3, 4}, 1e-4, r.what);
    }
}

TEST_F(Geometry, Resizes) {
    make({at({0, 0, 0}), at({1, 2, 3}, {10, 20, 30}), at({0, 0, 0})});
    EXPECT_EQ(resizeTo(1, 2, 3, 4), 1);
    expect_vector(sizes(1), {2, 3, 4}, kCell);
    expect_vector(position(1), {1, 2, 3}, 0.0);  // the origin corner stays, so the centre moves
    expect_angles(angles(1), {10, 20, 30}, 1e-3);
    EXPECT_EQ(resizeXBy(2, 0.5), 2);
    EXPECT_NEAR(getSizeX(2), 1.5, kCell);
    EXPECT_EQ(resizeZTo(2, 7), 2);
    expect_vector(sizes(2), {1.5, 1, 7}, kCell);
    // A size of 0 or not a number would leave nothing to divide by: refused.
    const std::vector<std::uint32_t> before = bench_->cell_words();
    for (const Vector s : {Vector{0, 1, 1}, Vector{1, NAN, 1}, Vector{1, 1, INFINITY}}) {
        EXPECT_EQ(resizeTo(2, s.x, s.y, s.z), -1);
    }
    EXPECT_EQ(resizeYBy(2, -1), -1);
    // Nor is any placement turned into one that is not a number.
    EXPECT_EQ(moveBy(2, NAN, 0, 0), -1);
    EXPECT_EQ(moveTo(2, 0, INFINITY, 0), -1);
    EXPECT_EQ(moveXBy(2, 1e39), -1);  // beyond the float range
    EXPECT_EQ(rotateCenterBy(2, 0, NAN, 0), -1);
    EXPECT_EQ(bench_->cell_words(), before);
    // An object without extent along an axis: what needs its sizes divided
    // out is refused, what does not still works.
    make({at({0, 0, 0}), at({1, 2, 3}, {0, 0, 0}, {2, 2, 0})});
    const std::vector<std::uint32_t> flat = bench_->cell_words();
    EXPECT_EQ(rotateCenterTo(1, 0, 0, 30), -1);
    EXPECT_EQ(moveRelativeXBy(1, 1), -1);
    EXPECT_EQ(resizeXTo(1, 3), -1);
    EXPECT_EQ(bench_->cell_words(), flat);
    EXPECT_EQ(moveBy(1, 1, 0, 0), 1);
    EXPECT_EQ(rotateCenterZBy(1, 90), 1);
    expect_vector(position(1), {4, 2, 3}, kCell);  // turned about its centre (3, 3, 3)
    EXPECT_TRUE(std::isnan(getAngleZ(1)));          // a size of 0 leaves no orientation to read
}

TEST_F(Geometry, CommandsRefuseWhatNamesNoLiveObject) {
    make({at({0, 0, 0}), at({0, 0, 0}), at({3, 0, 0})});
    ASSERT_EQ(prodKill(2), 2);
    const std::vector<std::function<int32_t(int32_t)>> commands = {
        [](int32_t i) { return moveBy(i, 1, 1, 1); },
        [](int32_t i) { return moveTo(i, 1, 1, 1); },
        [](int32_t i) { return moveYTo(i, 1); },
        [](int32_t i) { return moveRelativeBy(i, 1, 1, 1); },
        [](int32_t i) { return rotateBy(i, 1, 1, 1, 0, 0, 0); },
        [](int32_t i) { return rotateCenterXBy(i, 1); },
        [](int32_t i) { return rotateTo(i, 1, 1, 1, 0, 0, 0); },
        [](int32_t i) { return rotateCenterZTo(i, 1); },
        [](int32_t i) { return resizeTo(i, 1, 1, 1); },
        [](int32_t i) { return resizeXTo(i, 1); },
        [](int32_t i) { return resizeBy(i, 1, 1, 1); },
        [](int32_t i) { return moveRelativeAnotherBy(i, 1, 1, 0, 0); },
        [](int32_t i) { return moveRelativeAnotherXBy(1, i, 1); },
        [](int32_t i) { return alignTwoObjectsRelativeThirdX(i, 1, 1); },
        [](int32_t i) { return alignTwoObjectsRelativeThirdY(1, 0, i); },
        [](int32_t i) { return joint2Object(i, 1, 0, 0, 0); },
        [](int32_t i) { return joint2Object(1, i, 0, 0, 0); },
    };
    const std::vector<std::uint32_t> before = bench_->cell_words();
    for (std::size_t n = 0; n < commands.size(); ++n) {
        for (const int32_t i : {2, -1, 3, INT32_MIN}) EXPECT_EQ(commands[n](i), -1) << "command " << n << ", " << i;
    }
    EXPECT_EQ(moveRelativeAnotherBy(1, 1, 1, 0, 0), -1);  // along its own axes: refused
    EXPECT_EQ(joint2Object(1, 1, 0, 0, 0), -1);
    EXPECT_EQ(alignTwoObjectsRelativeThirdX(1, 1, 0), -1);
    EXPECT_EQ(bench_->cell_words(), before);
}

TEST_F(Geometry, MovesAlongAnotherObjectsAxes) {
    make({at({0, 0, 0}), at({0, 0, 0}), at({5, 5, 5}, {0, 0, 90}, {3, 1, 1})});
    EXPECT_EQ(moveRelativeAnotherXBy(1, 2, 1), 1);
    expect_vector(position(1), {0, 1, 0}, kCell);
    EXPECT_EQ(moveRelativeAnotherBy(1, 2, 0, 2, 0), 1);
    expect_vector(position(1), {-2, 1, 0}, kCell);
}

TEST_F(Geometry, AlignmentMakesFacesFlush) {
    struct Row {
        const char* what;
        PlannedObject i, j;
        int reference;  // 1 (i), 2 (j) or 3 (a third object)
        PlannedObject third;
        int32_t result;
        Vector position;  // of i afterwards
    };
    const Row kRows[] = {
        {"along X of i", at({0, 0, 0}), at({3, 7, 9}), 1, at({0, 0, 0}), 1, {2, 0, 0}},
        {"along X of j", at({0, 0, 0}), at({3, 7, 9}), 2, at({0, 0, 0}), 1, {2, 0, 0}},
        {"from the far side", at({5, 1, 1}), at({0, 0, 0}, {0, 0, 0}, {2, 2, 2}), 2, at({0, 0, 0}), 1, {2, 1, 1}},
        {"i turned half a turn", at({1, 0, 0}, {0, 0, 180}), at({3, 0, 0}), 3, at({9, 9, 9}), 1, {3, 0, 0}},
        {"a reference turned 45 degrees", at({0, 0, 0}), at({3, 0, 0}), 3, at({0, 0, 0}, {0, 0, 45}), -1, {0, 0, 0}},
    };
    for (const Row& r : kRows) {
        make({at({0, 0, 0}), r.i, r.j, r.third});
        const int32_t k = r.reference;
        EXPECT_EQ(alignTwoObjectsRelativeThirdX(1, 2, k), r.result) << r.what;
        expect_vector(position(1), r.position, 1e-5, r.what);
    }
    make({at({0, 0, 0}), at({0, 0, 0}), at({0, 4, 0}), at({0, 0, 0})});
    EXPECT_EQ(alignTwoObjectsRelativeThirdY(1, 2, 3), 1);
    expect_vector(position(1), {0, 3, 0}, 1e-5);
    EXPECT_EQ(alignTwoObjectsRelativeThirdZ(2, 1, 2), 2);
    expect_vector(position(2), {0, 4, 0}, 1e-5);  // already flush along Z
}

TEST_F(Geometry, JointsFollowTheCarrier) {
    make({at({0, 0, 0}), at({0, 0, 0}), at({3, 0, 0}), at({0, 5, 0})});
    // The first call only records the carrier.
    EXPECT_EQ(joint2Object(2, 1, 0, 0, 0), 2);
    expect_vector(position(2), {3, 0, 0}, 0.0);
    moveBy(1, 1, 0, 0);
    EXPECT_EQ(joint2Object(2, 1, 0, 0, 0), 2);
    expect_vector(position(2), {4, 0, 0}, kCell);
    // A second object jointed to the same carrier in the same cycle sees no
    // motion: the record belongs to the carrier.
    EXPECT_EQ(joint2Object(3, 1, 0, 0, 0), 3);
    expect_vector(position(3), {0, 5, 0}, 0.0);
    // The carrier turns 10 degrees about Z through its origin corner.
    rotateZBy(1, 10, 1, 0, 0);
    EXPECT_EQ(joint2Object(2, 1, 1, 0, 0), 2);
    EXPECT_NEAR(getAngleZ(2), 10, 1e-3);
    const double a = 3.1415926535898 * 10 / 180;
    expect_vector(position(2), {1 + 3 * std::cos(a), 3 * std::sin(a), 0}, 1e-4);
    // A killed carrier is not followed; a new product in its slot is another
    // carrier, whose first call only records it: nothing jumps by the
    // distance between the old object and the new one.
    prodKill(1);
    const Vector before = position(2);
    EXPECT_EQ(joint2Object(2, 1, 0, 0, 0), -1);
    ASSERT_EQ(prodNew(box_model, 7, 0, 0, 1, 1, 1), 1);
    EXPECT_EQ(joint2Object(2, 1, 0, 0, 0), 2);
    expect_vector(position(2), before, 0.0);
    EXPECT_NEAR(getAngleZ(2), 10, 1e-3);
    moveBy(1, 0, 1, 0);
    EXPECT_EQ(joint2Object(2, 1, 0, 0, 0), 2);
    expect_vector(position(2), {before.x, before.y + 1, before.z}, kCell);
}

TEST_F(Geometry, IntersectionOfTwoBoxes) {
    struct Row {
        const char* what;
        PlannedObject a, b;
        int expected;
    };
    const Row kRows[] = {
        {"same place", at({0, 0, 0}), at({0, 0, 0}), 1},
        {"1.5 apart: spheres meet, X separates", at({0, 0, 0}), at({1.5, 0, 0}), 0},
        {"2 apart: spheres apart", at({0, 0, 0}), at({2, 0, 0}), 0},
        {"face to face", at({0, 0, 0}), at({1, 0, 0}), 1},
        {"small inside large", at({0, 0, 0}, {0, 0, 0}, {10, 10, 10}), at({4, 4, 4}, {30, 20, 10}), 1},
        {"zero extent", at({0, 0, 0}), at({0.5, 0.5, 0.5}, {0, 0, 0}, {0, 0, 0}), 0},
        {"turned corner near a face", at({0, 0, 0}), at({1.6, 0.5, 0}, {0, 0, 45}), 0},
        {"turned corner into a face", at({0, 0, 0}), at({1.3, 0.2, 0}, {0, 0, 45}), 1},
    };
    for (const Row& r : kRows) {
        make({r.a, r.b});
        store_boxes();
        EXPECT_EQ(intersects(0, 1), r.expected) << r.what;
        EXPECT_EQ(intersects(1, 0), r.expected) << r.what;
    }
    EXPECT_EQ(intersects(0, 2), 0);
    EXPECT_EQ(intersects(-1, 0), 0);
    // The first two stages read the stored boxes: a move since the step
    // started does not count for them.
    make({at({0, 0, 0}), at({5, 0, 0})});
    store_boxes();
    moveTo(1, 0, 0, 0);
    EXPECT_EQ(intersects(0, 1), 0);
}

// Boxes whose bounding spheres meet but which lie apart along exactly one
// face normal: the separating-axis stage alone must find it, so a test that
// skips any of the six normals answers 1 on one of these rows.
namespace apart_along_one_axis {

constexpr double kGap = 0.1;

constexpr Vector operator+(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vector operator-(Vector a, Vector b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vector operator*(Vector a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double length(Vector a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
constexpr double kHalfDiagonal = 0.70710678118654752;  // of a unit face turned 45 degrees

// A unit cube with its centre at `centre`, turned by `degrees` about its centre.
Matrix cube(Vector centre, Vector degrees = {0, 0, 0}) {
    const Matrix turned = placement_of({0, 0, 0}, degrees, {1, 1, 1});
    Vector middle{};
    transformPoint_into_(turned, {0.5, 0.5, 0.5}, &middle);
    return placement_of(centre - middle, degrees, {1, 1, 1});
}

constexpr Vector kMiddle{0.5, 0.5, 0.5};
// Centred kGap beyond a unit cube's face when one edge of it points at the face.
constexpr double kEdgeAway = 0.5 + kHalfDiagonal + kGap;
// Centred across the same gap, face to face.
constexpr double kFaceAway = 1.0 + kGap;

struct Row {
    const char* what;
    Matrix lower, higher;  // objects 0 and 1
};

// An edge of one cube, turned 45 degrees, points at a face of the other,
// which stays square to it: only that face's normal separates them (the
// turned cube's own normals run along the diagonals and find overlap).
const Row kRows[] = {
    {"X of both", cube(kMiddle), cube(kMiddle + Vector{kFaceAway, 0, 0})},
    {"Y of both", cube(kMiddle), cube(kMiddle + Vector{0, kFaceAway, 0})},
    {"Z of both", cube(kMiddle), cube(kMiddle + Vector{0, 0, kFaceAway})},
    {"X of the lower only", cube(kMiddle), cube(kMiddle + Vector{kEdgeAway, 0, 0}, {0, 0, 45})},
    {"Y of the lower only", cube(kMiddle), cube(kMiddle + Vector{0, kEdgeAway, 0}, {0, 0, 45})},
    {"Z of the lower only", cube(kMiddle), cube(kMiddle + Vector{0, 0, kEdgeAway}, {45, 0, 0})},
    {"X of the higher only", cube(kMiddle + Vector{kEdgeAway, 0, 0}, {0, 0, 45}), cube(kMiddle)},
    {"Y of the higher only", cube(kMiddle + Vector{0, kEdgeAway, 0}, {0, 0, 45}), cube(kMiddle)},
    {"Z of the higher only", cube(kMiddle + Vector{0, 0, kEdgeAway}, {45, 0, 0}), cube(kMiddle)},
};

// Each row as drawn, and with the whole scene turned so that no frame lies
// along the world's axes.
struct Scene {
    const char* what;
    Matrix turn;
};
const Scene kScenes[] = {
    {"square to the world", mTranslation(0, 0, 0)},
    {"turned", mulMatrix_with_(mRotationZ(0.5), {1, 1, 1}, mRotationX(0.35), {1, 1, 1})},
};

Matrix in_scene(const Scene& scene, const Matrix& m) { return mulMatrix_with_(scene.turn, {1, 1, 1}, m, {1, 1, 1}); }

}  // namespace apart_along_one_axis

TEST_F(Geometry, BoxesApartAlongOneFaceNormalOnly) {
    using namespace apart_along_one_axis;
    for (const Scene& scene : kScenes) {
        for (const Row& r : kRows) {
            const std::string what = std::string(r.what) + ", " + scene.what;
            make({{box_model, VX_OBJECT_ALIVE, 0, in_scene(scene, r.lower)},
                  {box_model, VX_OBJECT_ALIVE, 0, in_scene(scene, r.higher)}});
            store_boxes();
            // The cheap stages must not decide: the spheres meet.
            const Vector apart = centre(0) - centre(1);
            ASSERT_LT(length(apart), std::sqrt(3.0)) << what;
            EXPECT_EQ(intersects(0, 1), 0) << what;
            EXPECT_EQ(intersects(1, 0), 0) << what;
            // Closed by twice the gap, the same boxes overlap.
            const Vector closer = apart * (2 * kGap / length(apart));
            ASSERT_EQ(moveBy(1, closer.x, closer.y, closer.z), 1) << what;
            store_boxes();
            EXPECT_EQ(intersects(0, 1), 1) << what;
            EXPECT_EQ(intersects(1, 0), 1) << what;
        }
    }
}

// The test as its parts define it: the box of each object projected on the
// three axes of the other's frame with findProjection, through the
// toolkit's own inverse, product and transform.
bool apart_by_projections(const Matrix& frame, const Matrix& placed) {
    const Vector ones{1, 1, 1};
    Matrix to_frame{};
    inverseTransformation_(frame, &to_frame);
    const Matrix relative = mulMatrix_with_(to_frame, ones, placed, ones);
    Vector p0{}, p1{};
    transformPoint_into_(relative, {0, 0, 0}, &p0);
    transformPoint_into_(relative, ones, &p1);
    const double lo0[3] = {p0.x, p0.y, p0.z}, hi0[3] = {p1.x, p1.y, p1.z};
    for (short axis = 1; axis <= 3; ++axis) {
        double lo = 0, hi = 0;
        if (findProjection(lo0[axis - 1], hi0[axis - 1], relative, &lo, &hi, axis) == 1) return true;
    }
    return false;
}

// The library takes shortcuts inside the test (kept inverses, corners
// evaluated without the terms of 0 and 1); on boxes whose spheres surely
// meet, its answer must be the one the parts give, placements square to the
// axes (exact zeros), turned at random, and of arbitrary numbers included.
TEST_F(Geometry, IntersectionAgreesWithTheProjectionsOfBothFrames) {
    constexpr int kObjects = 150;
    std::mt19937 draw(2026);
    const auto u = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(draw); };
    std::vector<PlannedObject> objects;
    for (int i = 0; i < kObjects; ++i) {
        Matrix m = placement_of({u(0, 2), u(0, 2), u(0, 1)}, {u(-180, 180), u(-180, 180), u(-180, 180)},
                                {u(0.5, 2), u(0.5, 2), u(0.5, 2)});
        if (i % 6 == 1) m = placement_of({u(0, 2), u(0, 2), 0}, {0, 0, 90.0 * (i % 4)}, {1, u(0.5, 2), 1});
        if (i % 6 == 2) {
            for (double& e : m.entry) e = u(-1.5, 1.5);  // w is not 1
        }
        if (i % 6 == 3) m.entry[12 + (i / 6) % 3] = u(-1.5, 1.5);  // one perspective entry
        objects.push_back({box_model, VX_OBJECT_ALIVE, 0, m});
    }
    make(objects);
    store_boxes();
    int compared = 0, touching = 0;
    for (int32_t a = 0; a < kObjects; ++a) {
        for (int32_t b = 0; b < kObjects; ++b) {
            const Parallelepiped& p = TableActeursProduits[a].box;
            const Parallelepiped& q = TableActeursProduits[b].box;
            const auto radius = [](const Parallelepiped& r) {
                return 0.5 * std::hypot(r.c1.x - r.c0.x, r.c1.y - r.c0.y, r.c1.z - r.c0.z);
            };
            const double d = std::hypot((p.c0.x + p.c1.x - q.c0.x - q.c1.x) * 0.5, (p.c0.y + p.c1.y - q.c0.y - q.c1.y) * 0.5,
                                        (p.c0.z + p.c1.z - q.c0.z - q.c1.z) * 0.5);
            if (!(d < 0.9 * (radius(p) + radius(q))) || !(radius(p) > 1e-3) || !(radius(q) > 1e-3)) continue;
            const Matrix ma = createMatrixFrom_(TableActeursProduits[a].cells);
            const Matrix mb = createMatrixFrom_(TableActeursProduits[b].cells);
            const int expected = apart_by_projections(ma, mb) || apart_by_projections(mb, ma) ? 0 : 1;
            ASSERT_EQ(intersects(a, b), expected) << a << " and " << b;
            ++compared;
            touching += expected;
        }
    }
    // Both answers are well represented.
    EXPECT_GT(compared, 800);
    EXPECT_GT(touching, 200);
    EXPECT_GT(compared - touching, 100);
}

// Placements that are not boxes (an infinite or NaN entry, a perspective
// row, a Y cosine) against a box they overlap: the test takes shortcuts for
// placements without perspective whose products are numbers, and must give
// the answer of the projections, in either order.
// The test keeps each object's inverse while its cells stay the same, and
// follows a move: a write to any one cell between two tests (as a simulator
// may make) must be seen, whether it moves, turns, resizes or skews.
TEST_F(Geometry, IntersectionSeesAWriteToAnyCell) {
    const Matrix near = placement_of({1.6, 0.2, 0.1}, {0, 0, 20}, {1, 1, 1});
    int flips = 0;
    for (int k = 0; k < 16; ++k) {
        for (const double value : {-2.0, -0.5, 0.5, 1.3, 3.0}) {
            make({at({50, 50, 50}), at({0, 0, 0}), {box_model, VX_OBJECT_ALIVE, 0, near}});
            store_boxes();
            const int before = intersects(1, 2);
            ASSERT_EQ(intersects(2, 1), before);  // both inverses now kept
            bench_->matrix_cells(2)[k].cur = static_cast<float>(value);
            const Matrix ma = createMatrixFrom_(TableActeursProduits[1].cells);
            const Matrix mb = createMatrixFrom_(TableActeursProduits[2].cells);
            const int expected = apart_by_projections(ma, mb) || apart_by_projections(mb, ma) ? 0 : 1;
            EXPECT_EQ(intersects(2, 1), expected) << "cell " << k << " set to " << value;
            flips += expected != before;
        }
    }
    EXPECT_GE(flips, 8);  // the writes do change answers
}

const Matrix kBeside = placement_of({4, 2.5, 3}, {0, 0, 0}, {1, 1, 1});

TEST_F(Geometry, IntersectionOfPlacementsThatAreNotBoxes) {
    const Matrix boxes[] = {placement_of({1.2, 2.5, 3.1}, {0, 0, 0}, {1, 1, 1}),
                            placement_of({1.5, 2.2, 3}, {0, 0, 30}, {1, 1.5, 1}),
                            placement_of({1, 2.5, 3}, {0, 120, 0}, {1, 1, 1})};
    const Matrix others[] = {
        with_entries(kSquare, {{1, kInf}}),  with_entries(kSquare, {{4, -kInf}}), with_entries(kSquare, {{6, kNaN}}),
        with_entries(kSquare, {{3, kInf}}),  with_entries(kSquare, {{12, 0.5}}),  with_entries(kSquare, {{13, -0.3}}),
        with_entries(kSquare, {{14, 0.2}}),  with_entries(kSquare, {{15, 0.5}}),  with_entries(kTurned, {{10, 1e38}}),
        // Apart along the boxes' X, but with an edge of infinite length,
        with_entries(kBeside, {{1, kInf}}),  with_entries(kBeside, {{2, -kInf}}), with_entries(kBeside, {{9, kNaN}}),
        // Or with a perspective that turns w negative.
        with_entries(kBeside, {{12, -2}}),   with_entries(kBeside, {{13, -2}}),   with_entries(kBeside, {{14, -2}}),
    };
    for (const Matrix& box : boxes) {
        for (const Matrix& other : others) {
            make({at({50, 50, 50}), {box_model, VX_OBJECT_ALIVE, 0, box}, {box_model, VX_OBJECT_ALIVE, 0, other}});
            store_boxes();
            const Matrix ma = createMatrixFrom_(TableActeursProduits[1].cells);
            const Matrix mb = createMatrixFrom_(TableActeursProduits[2].cells);
            const int expected = apart_by_projections(ma, mb) || apart_by_projections(mb, ma) ? 0 : 1;
            EXPECT_EQ(intersects(1, 2), expected);
            EXPECT_EQ(intersects(2, 1), expected);
        }
    }
}

TEST(FindProjection, EstimatesTheIntervalFromFiveCorners) {
    double lo = 0, hi = 0;
    EXPECT_EQ(findProjection(1.5, 2.5, mTranslation(1.5, 0, 0), &lo, &hi, 1), 1);
    EXPECT_EQ(lo, 1.5);
    EXPECT_EQ(hi, 2.5);
    EXPECT_EQ(findProjection(-3, -2, mTranslation(-3, 0, 0), &lo, &hi, 1), 1);
    EXPECT_EQ(findProjection(-0.5, 2, mulMatrix_with_(mTranslation(-0.5, 0, 0), {1, 1, 1}, mScale(2.5, 1, 1), {1, 1, 1}),
                             &lo, &hi, 1),
              0);  // spans [0, 1]
    EXPECT_EQ(findProjection(2.5, 1.5, mulMatrix_with_(mTranslation(2.5, 0, 0), {1, 1, 1}, mScale(-1, 1, 1), {1, 1, 1}),
                             &lo, &hi, 1),
              1);
    EXPECT_EQ(lo, 1.5);
    EXPECT_EQ(hi, 2.5);
    EXPECT_EQ(findProjection(NAN, NAN, mTranslation(NAN, 0, 0), &lo, &hi, 1), 0);  // NaN counts as inside
}

TEST(FindProjection, AnUnknownAxisLeavesALineBesideTheTraceFile) {
    vx::testing::TempDir dir;
    const std::string saved = tracename;
    std::snprintf(tracename, sizeof tracename, "%s/plant.trc", dir.path().c_str());
    double lo = 0, hi = 0;
    EXPECT_EQ(findProjection(1.5, 2.5, mTranslation(1.5, 0, 0), &lo, &hi, 0), 1);  // x is used
    EXPECT_EQ(findProjection(1.5, 2.5, mTranslation(1.5, 0, 0), nullptr, nullptr, 7), 1);
    EXPECT_EQ(vx::testing::read_file(dir.file("trace.txt")), "on est en d\xe9"
                                                             "faut\non est en d\xe9"
                                                             "faut\n");
    // A folder that cannot take the file: nothing written, the test goes on.
    std::snprintf(tracename, sizeof tracename, "%s/missing/plant.trc", dir.path().c_str());
    EXPECT_EQ(findProjection(-3, -2, mTranslation(-3, 0, 0), &lo, &hi, -1), 1);
    std::snprintf(tracename, sizeof tracename, "%s", saved.c_str());
}

}  // namespace
}  // namespace vx::products::testing
