// The table's accessors, start-up binding, product creation, and the
// products step against its plain reference on random plants whose
// behaviours move, kill and create objects while the step runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "reference_step.hpp"
#include "workbench.hpp"

namespace vx::products::testing {
namespace {

int32_t crate() { return 0; }
int32_t pallet() { return 0; }

PlannedObject object(BehaviorFunction model, int32_t status = VX_OBJECT_ALIVE, int32_t id = 0) {
    return PlannedObject{model, status, id, {}};
}

TEST(Table, AccessorsCheckTheirIndex) {
    Workbench bench(2, {object(nullptr, 1, 7), object(nullptr, 1, 9), object(crate, 1, 11), object(pallet, 2)});
    ASSERT_TRUE(bench.ok());
    EXPECT_EQ(prodGetModel(2), reinterpret_cast<intptr_t>(&crate));
    EXPECT_EQ(prodGetStatus(3), 2);
    for (const int32_t i : {-1, 4, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(prodKill(i), -1);
        EXPECT_EQ(prodGetModel(i), -1);
        EXPECT_EQ(prodGetStatus(i), -1);
    }
    EXPECT_EQ(prodKill(3), -1);  // already killed
    EXPECT_EQ(prodKill(1), 1);   // an actor can be killed
    EXPECT_EQ(prodGetStatus(1), 2);
    EXPECT_EQ(getSizeX(1), 0.0);
    myself = 5;
    setMyselfFor(9);
    EXPECT_EQ(myself, 1);
    setMyselfFor(42);  // nobody: unchanged
    EXPECT_EQ(myself, 1);
    setMyselfFor(11);  // a product's identifier does not count
    EXPECT_EQ(myself, 1);
}

TEST(Table, AnEmptyTableAnswersMinusOne) {
    Workbench bench(0, {});
    ASSERT_TRUE(bench.ok());
    ASSERT_NE(tabOldJointedMatrix, nullptr);
    for (const int32_t i : {0, 1, -1}) {
        EXPECT_EQ(prodKill(i), -1);
        EXPECT_EQ(prodGetStatus(i), -1);
        EXPECT_EQ(prodGetModel(i), -1);
    }
    EXPECT_EQ(prodNew(crate, 0, 0, 0, 1, 1, 1), -1);
    myself = 3;
    setMyselfFor(0);
    productsStep();
    EXPECT_EQ(myself, 0);  // the step ends past the last record
}

TEST(Lifecycle, StartUpBindsStatusesAndPlacements) {
    PlannedObject placed = object(crate, 7);
    placed.placement = mTranslation(1, 2, 3);
    Workbench bench(1, {object(nullptr, 1), placed, object(crate, 2)});
    ASSERT_TRUE(bench.ok());
    EXPECT_EQ(bench.status(1).cur, 7);
    EXPECT_EQ(bench.status(2).cur, 2);
    EXPECT_EQ(bench.placement(1).entry[7], 2.0);  // what the block held is kept
    const Matrix fresh = bench.placement(0);       // a matrix of zeros becomes the unit cube
    for (int k = 0; k < 16; ++k) EXPECT_EQ(fresh.entry[k], k % 5 == 0 ? 1.0 : 0.0) << k;
    for (int32_t i = 0; i <= 3; ++i) {
        for (const double e : tabOldJointedMatrix[i].entry) EXPECT_EQ(e, 0.0);
    }
}

TEST(Lifecycle, ATableOutsideTheBlockStopsTheStartUp) {
    struct Row {
        const char* what;
        int32_t ActeurProduit::*start;
        int32_t value;
    };
    const Row kRows[] = {
        {"status beyond the int area", &ActeurProduit::startInt, 1 << 20},
        {"matrix running off the float area", &ActeurProduit::startFloat, 17 + 2 * 16 + 1},
        {"negative bool cell", &ActeurProduit::startBool, -1},
        {"char cell beyond the area", &ActeurProduit::startChar, 1000},
    };
    for (const Row& r : kRows) {
        Workbench bench(0, {object(crate), object(crate)});
        ASSERT_TRUE(bench.ok());
        TableActeursProduits[1].*r.start = r.value;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(produitsInit(), 0) << r.what;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "products: object 1 names cells outside the block\n");
        EXPECT_EQ(prodGetStatus(0), -1) << r.what;  // nothing is left bound
        EXPECT_EQ(moveBy(0, 1, 0, 0), -1);
    }
}

TEST(Lifecycle, NewProductsTakeTheFirstFreeRecordOfTheirModel) {
    Workbench bench(1, {object(crate, 1), object(crate, 1), object(pallet, 2), object(crate, 2), object(crate, 2)});
    ASSERT_TRUE(bench.ok());
    EXPECT_EQ(prodNew(pallet, 1, 2, 3, 4, 5, 6), 2);
    EXPECT_EQ(prodNew(pallet, 0, 0, 0, 1, 1, 1), -1);  // only live records left
    EXPECT_EQ(prodNew(crate, 0, 0, 0, 1, 1, 1), 3);
    EXPECT_EQ(prodNew(crate, 0, 0, 0, 1, 1, 1), 4);
    EXPECT_EQ(prodNew(crate, 0, 0, 0, 1, 1, 1), -1);  // the actor's record is never taken
    const Matrix m = bench.placement(2);
    const double expected[16] = {4, 0, 0, 1, 0, 5, 0, 2, 0, 0, 6, 3, 0, 0, 0, 1};
    for (int k = 0; k < 16; ++k) EXPECT_EQ(m.entry[k], expected[k]) << k;
    EXPECT_EQ(prodGetStatus(2), 1);
}

// ---- The step against its reference ------------------------------------------

struct Call {
    int32_t myself, other;
    intptr_t otherModel;
    std::ptrdiff_t self;        // the int cell the behaviour binds its variables from
    std::ptrdiff_t otherCells;  // the offered object's status cell, or -1
    bool operator==(const Call&) const = default;
};

// What a run leaves: every behaviour call, and after each step the cells
// and the step's globals.
struct Outcome {
    std::vector<Call> calls;
    std::vector<std::vector<std::uint32_t>> cells;
    std::vector<int32_t> globals;
};

// Behaviours that draw their actions from one generator, so that two runs
// that make the same calls in the same order do the same things.
struct Script {
    std::mt19937 draw;
    Outcome* run = nullptr;
    int32_t records = 0;
    bool calm = false;
};
Script g_script;

double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(g_script.draw); }
int32_t any_record() {
    return std::uniform_int_distribution<int32_t>(-1, g_script.records)(g_script.draw);  // out of range too
}

int32_t scripted(BehaviorFunction next_model);

int32_t model_a();
int32_t model_b();
int32_t model_c();
constexpr BehaviorFunction kModels[] = {model_a, model_b, model_c};
int32_t model_a() { return scripted(model_b); }
int32_t model_b() { return scripted(model_c); }
int32_t model_c() { return scripted(model_a); }

int32_t scripted(BehaviorFunction next_model) {
    const bool offered = otherModel != 0 && otherModel != 1;
    g_script.run->calls.push_back(
        {myself, other, otherModel, self.intCells - mem.intCells, offered ? otherPointers.intCells - mem.intCells : -1});
    // Bind a variable the way generated code does, and count the call in it.
    IntCell* status = self.intCells++;
    IntCell* calls = self.intCells++;
    (void)status;
    calls->cur += 1;
    const int action = std::uniform_int_distribution<int>(0, 99)(g_script.draw);
    const int32_t me = myself;
    const double reach = g_script.calm ? 0.004 : 0.6;
    if (action >= 25 && g_script.calm && uniform(0, 1) < 0.998) return 0;
    if (action < 25) moveBy(me, uniform(-reach, reach), uniform(-reach, reach), uniform(-reach, reach) / 2);
    else if (action < 30) rotateCenterBy(me, uniform(-40, 40), uniform(-40, 40), uniform(-40, 40));
    else if (action < 33) prodKill(me);
    else if (action < 38) prodKill(any_record());
    else if (action < 45) prodNew(next_model, uniform(0, 12), uniform(0, 12), uniform(0, 3), uniform(0.5, 2), 1, 1);
    else if (action < 48) joint2Object(me, any_record(), 1, 1, 1);
    else if (action < 50) resizeTo(me, uniform(0.5, 3), uniform(0.5, 3), uniform(0.5, 3));
    else if (action < 52) moveRelativeAnotherXBy(me, other, uniform(-1, 1));
    else if (action < 53) myself = any_record();  // behaviour code may scribble on the step's globals
    else if (action < 54) other = any_record();
    return 0;
}

struct PlantShape {
    int32_t records;
    int32_t actors;
    double spread;       // side of the square the objects are scattered over
    bool calm = false;   // small moves, anything else rare, every box a number
};

// A plant drawn from `seed`: boxes of assorted sizes and orientations, a
// few large actors, free product slots, and boxes without extent or without
// a placement that is a number.
std::vector<PlannedObject> random_plant(const PlantShape& shape, unsigned seed) {
    std::mt19937 draw(seed);
    const auto u = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(draw); };
    std::vector<PlannedObject> objects;
    for (int32_t i = 0; i < shape.records; ++i) {
        const bool actor = i < shape.actors;
        const double scale = actor && u(0, 1) < 0.3 ? u(5, 15) : u(0.3, 2.5);
        PlannedObject planned{kModels[i % 3], VX_OBJECT_ALIVE, i, {}};
        planned.placement = placement_of({u(0, shape.spread), u(0, shape.spread), u(0, 2)},
                                      {u(-30, 30), u(-30, 30), u(0, 360)}, {scale, u(0.3, 2.5), u(0.3, 2)});
        const double kind = u(0, 1);
        if (!actor && kind < 0.25) planned.status = VX_OBJECT_KILLED;
        if (kind > 0.97) planned.placement = mulMatrix_with_(mTranslation(u(0, 5), 1, 1), {1, 1, 1}, mScale(0, 0, 0), {1, 1, 1});
        if (kind > 0.985 && !shape.calm) planned.placement.entry[0] = std::numeric_limits<double>::quiet_NaN();
        objects.push_back(planned);
    }
    return objects;
}

Outcome run_objects(int32_t actors, const std::vector<PlannedObject>& objects, const Script& script, int steps,
                    void (*step)()) {
    Outcome run;
    Workbench bench(actors, objects);
    EXPECT_TRUE(bench.ok());
    g_script = script;
    g_script.run = &run;
    myself = other = 0;
    otherModel = 0;
    for (int s = 0; s < steps; ++s) {
        step();
        run.cells.push_back(bench.cell_words());
        run.globals.insert(run.globals.end(), {myself, other, static_cast<int32_t>(otherModel)});
    }
    g_script.run = nullptr;
    return run;
}

Outcome run_plant(const PlantShape& shape, unsigned seed, int steps, void (*step)()) {
    const Script script{std::mt19937(seed * 7919u + 1), nullptr, shape.records, shape.calm};
    return run_objects(shape.actors, random_plant(shape, seed), script, steps, step);
}

// The number of the first call where two runs part, or -1.
std::ptrdiff_t first_difference(const std::vector<Call>& a, const std::vector<Call>& b) {
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (!(a[i] == b[i])) return static_cast<std::ptrdiff_t>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<std::ptrdiff_t>(n);
}

TEST(ProductsStep, EqualsTheReferenceOnRandomPlants) {
    struct Row {
        PlantShape shape;
        unsigned seeds;
        int steps;
    };
    constexpr Row kRows[] = {
        {{1, 0, 1}, 3, 3},      {{2, 0, 1}, 10, 4},     {{3, 3, 2}, 3, 2},      {{12, 2, 3}, 40, 6},
        {{40, 5, 8}, 30, 6},    {{40, 0, 4}, 20, 6},    {{120, 12, 14}, 8, 5},  {{120, 10, 40}, 8, 5},
        // Packed so tight that the candidate pairs overflow the index's lists:
        // the step searches at each turn instead.
        {{60, 4, 1}, 10, 4},
        // Calm: the candidate pairs of one step serve the next ones, until
        // moves add up, or a turn off the centre, a resize or a new product
        // takes a record beyond its skin.
        {{120, 12, 14, true}, 8, 40},
    };
    std::size_t calls = 0;
    for (const Row& r : kRows) {
        for (unsigned seed = 1; seed <= r.seeds; ++seed) {
            const std::string what = std::to_string(r.shape.records) + " records, spread " +
                                     std::to_string(r.shape.spread) + ", seed " + std::to_string(seed);
            const Outcome expected = run_plant(r.shape, seed, r.steps, reference_products_step);
            const Outcome actual = run_plant(r.shape, seed, r.steps, productsStep);
            ASSERT_EQ(first_difference(actual.calls, expected.calls), -1) << what;
            ASSERT_EQ(actual.cells, expected.cells) << what;
            ASSERT_EQ(actual.globals, expected.globals) << what;
            calls += expected.calls.size();
        }
    }
    EXPECT_GT(calls, 20000u);  // the plants do exercise the step
}

// Cubes corner to corner along the diagonal: their spheres meet only as
// their corners do, so a contact comes within a drift far smaller than the
// skin the step's candidate pairs allow for. Every pair closes in at every
// step, in one of two ways: both cubes drift toward each other, or the
// lower grows about its centre (its sphere grows where it is); every other
// higher cube is larger (another size class). The contacts must come at
// the steps the reference sees them, with the pairs kept for many steps
// between two builds.
bool g_growing = false;

int32_t closing_in() {
    g_script.run->calls.push_back({myself, other, otherModel, self.intCells - mem.intCells, -1});
    if (otherModel != 0) return 0;
    if (!g_growing) return myself % 2 == 0 ? moveBy(myself, -0.0015, -0.0015, -0.0015) : moveBy(myself, 0.0015, 0.0015, 0.0015);
    if (myself % 2 == 0) return 0;
    resizeBy(myself, 0.003, 0.003, 0.003);
    return moveBy(myself, -0.0015, -0.0015, -0.0015);
}

TEST(ProductsStep, ContactsComeOnTimeWhileThePairsAreKept) {
    std::vector<PlannedObject> objects{{nullptr, VX_OBJECT_ALIVE, 0, placement_of({-50, 0, 0}, {0, 0, 0}, {1, 1, 1})}};
    for (int k = 0; k < 80; ++k) {
        const double x = 4.0 * k, apart = 1 + 0.0065 * (k / 2 + 1), size = k % 2 == 0 ? 1.0 : 1.5;
        objects.push_back({closing_in, VX_OBJECT_ALIVE, 0, placement_of({x, 0, 0}, {0, 0, 0}, {1, 1, 1})});
        objects.push_back({closing_in, VX_OBJECT_ALIVE, 0, placement_of({x + apart, apart, apart}, {0, 0, 0}, {size, size, size})});
    }
    const Script script{std::mt19937(1), nullptr, static_cast<int32_t>(objects.size()), true};
    for (const bool growing : {false, true}) {
        g_growing = growing;
        const Outcome expected = run_objects(1, objects, script, 120, reference_products_step);
        const Outcome actual = run_objects(1, objects, script, 120, productsStep);
        ASSERT_EQ(first_difference(actual.calls, expected.calls), -1) << (growing ? "growing" : "drifting");
        EXPECT_EQ(actual.cells, expected.cells);
    }
}

}  // namespace
}  // namespace vx::products::testing
