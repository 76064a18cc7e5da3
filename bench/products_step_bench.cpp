// The products step on plants of N products laid on a square grid: sparse
// (a few neighbours touch) and dense (each touches about eight). Three
// contenders side by side on the same plant:
//  - Reference: the plain step, one intersection test per ordered pair and
//    a pair list searched linearly;
//  - Step: the real one;
//  - Floor: what any step that keeps the same answers must do: store every
//    box, make every behaviour call, and run the intersection test on every
//    pair whose bounding spheres meet (the test's cheap stages cannot reject
//    those) once per product pair; no search and no lookup.
// Every product's behaviour nudges it back and forth along X at its first
// call, so the placements change every cycle. StepDrifting moves every
// product on by 0.01 per cycle instead, as a belt carries its load: the
// step then lists its candidate pairs afresh every eleven cycles or so.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "reference_step.hpp"
#include "workbench.hpp"

namespace vx::products::testing {
namespace {

constexpr std::int32_t kActors = 2;  // two walls far from the products

std::int64_t g_calls = 0;
double g_nudge = 1e-3;
double g_drift = 0.0;  // when not 0, every first call moves by this instead
std::vector<std::pair<std::int32_t, std::int32_t>>* g_offers = nullptr;  // recorded while probing

int32_t nudged() {
    ++g_calls;
    if (otherModel == 0) moveXBy(myself, g_drift != 0.0 ? g_drift : g_nudge);
    if (g_offers != nullptr && otherModel != 0 && otherModel != 1) g_offers->emplace_back(myself, other);
    return 0;
}

// Unit cubes turned at random about Z, on a grid of `spacing` with some
// jitter: spacing 2.5 leaves most apart, 0.8 makes each touch its eight
// neighbours.
std::vector<PlannedObject> grid_plant(std::int32_t products, bool dense) {
    std::mt19937 draw(12345);
    std::uniform_real_distribution<double> jitter(-0.45, 0.45), turn(0.0, 360.0);
    const double spacing = dense ? 0.8 : 2.5;
    const auto side = static_cast<std::int32_t>(std::ceil(std::sqrt(static_cast<double>(products))));
    std::vector<PlannedObject> objects;
    for (std::int32_t a = 0; a < kActors; ++a) {
        objects.push_back({nullptr, VX_OBJECT_ALIVE, a, placement_of({-1000.0, 100.0 * a, 0}, {0, 0, 0}, {5, 50, 5})});
    }
    for (std::int32_t i = 0; i < products; ++i) {
        const Vector at{spacing * (i % side) + jitter(draw), spacing * (i / side) + jitter(draw), 0.0};
        objects.push_back({nudged, VX_OBJECT_ALIVE, 0, placement_of(at, {0, 0, turn(draw)}, {1, 1, 1})});
    }
    return objects;
}

std::int32_t products_of(const benchmark::State& state) { return static_cast<std::int32_t>(state.range(0)); }
bool dense(const benchmark::State& state) { return state.range(1) != 0; }

template <class Step> void run_steps(benchmark::State& state, Step step) {
    Workbench bench(kActors, grid_plant(products_of(state), dense(state)));
    if (!bench.ok()) {
        state.SkipWithError("the plant could not be bound");
        return;
    }
    g_calls = 0;
    std::int64_t steps = 0;
    for (auto _ : state) {
        step();
        g_nudge = -g_nudge;
        ++steps;
    }
    state.counters["calls/step"] = static_cast<double>(g_calls) / static_cast<double>(steps);
}

void Reference(benchmark::State& state) { run_steps(state, reference_products_step); }
void Step(benchmark::State& state) { run_steps(state, productsStep); }
void StepDrifting(benchmark::State& state) {
    g_drift = 0.01;
    run_steps(state, productsStep);
    g_drift = 0.0;
}

// ---- The floor ----------------------------------------------------------------

// One product's share of a step: the pairs to test (actors and higher
// products whose spheres meet it) and the lower products that touched it.
struct Turn {
    std::vector<std::int32_t> tests;
    std::vector<std::int32_t> offered_lower;
};

bool spheres_meet(const Parallelepiped& a, const Parallelepiped& b) {
    const auto centre = [](const Parallelepiped& p) {
        return Vector{(p.c0.x + p.c1.x) * 0.5, (p.c0.y + p.c1.y) * 0.5, (p.c0.z + p.c1.z) * 0.5};
    };
    const auto radius = [&](const Parallelepiped& p) {
        const Vector c = centre(p);
        return std::sqrt((p.c0.x - c.x) * (p.c0.x - c.x) + (p.c0.y - c.y) * (p.c0.y - c.y) + (p.c0.z - c.z) * (p.c0.z - c.z));
    };
    const Vector ca = centre(a), cb = centre(b);
    const double reach = radius(a) + radius(b);
    const double d2 = (ca.x - cb.x) * (ca.x - cb.x) + (ca.y - cb.y) * (ca.y - cb.y) + (ca.z - cb.z) * (ca.z - cb.z);
    return !(reach * reach < d2);
}

// What a step on this plant must do, found once by a probing step.
std::vector<Turn> plan_turns() {
    std::vector<std::pair<std::int32_t, std::int32_t>> offers;
    g_offers = &offers;
    productsStep();
    g_offers = nullptr;
    const std::int32_t records = NbActeursEtProduits;
    std::vector<Turn> turns(static_cast<std::size_t>(records));
    for (std::int32_t p = kActors; p < records; ++p) {
        for (std::int32_t o = 0; o < records; ++o) {
            if (o == p || (o >= kActors && o < p)) continue;
            if (spheres_meet(TableActeursProduits[o].box, TableActeursProduits[p].box)) {
                turns[static_cast<std::size_t>(p)].tests.push_back(o);
            }
        }
    }
    for (const auto& [p, o] : offers) {
        if (o >= kActors && o < p) turns[static_cast<std::size_t>(p)].offered_lower.push_back(o);
    }
    return turns;
}

// The behaviour calls of one product, with the globals a behaviour reads.
void call(std::int32_t p, std::int32_t o, intptr_t model) {
    const ObjectCells& cells = TableActeursProduits[p].cells;
    self = VX_Areas{cells.boolCells, cells.intCells, cells.floatCells, cells.charCells};
    myself = p;
    other = o;
    otherModel = model;
    if (o >= 0 && o < NbActeursEtProduits) otherPointers = TableActeursProduits[o].cells;
    TableActeursProduits[p].model();
}

// One step of the floor; a function of its own so that callgrind can count
// its instructions (--toggle-collect='*floor_step*') as it counts
// productsStep's.
[[gnu::noinline]] void floor_step(const std::vector<Turn>& turns, std::int32_t records) {
    for (std::int32_t i = 0; i < records; ++i) {
        computeActorProductTransformedParrallelepipede_into_(TableActeursProduits[i].cells, &TableActeursProduits[i].box);
    }
    for (std::int32_t p = kActors; p < records; ++p) {
        const Turn& turn = turns[static_cast<std::size_t>(p)];
        call(p, records, 0);
        // Every object offered or tested is read alive first, as in the step.
        for (const std::int32_t o : turn.tests) {
            if (prodGetStatus(o) != VX_OBJECT_KILLED && intersects(o, p) != 0) call(p, o, prodGetModel(o));
        }
        for (const std::int32_t o : turn.offered_lower) {
            if (prodGetStatus(o) != VX_OBJECT_KILLED) call(p, o, prodGetModel(o));
        }
        call(p, records, 1);
    }
}

void Floor(benchmark::State& state) {
    Workbench bench(kActors, grid_plant(products_of(state), dense(state)));
    const std::vector<Turn> turns = plan_turns();
    const std::int32_t records = NbActeursEtProduits;
    g_calls = 0;
    std::int64_t steps = 0;
    for (auto _ : state) {
        floor_step(turns, records);
        g_nudge = -g_nudge;
        ++steps;
    }
    state.counters["calls/step"] = static_cast<double>(g_calls) / static_cast<double>(steps);
}

void Plants(benchmark::internal::Benchmark* b, std::initializer_list<std::int64_t> sizes) {
    b->ArgNames({"products", "dense"});
    for (const std::int64_t dense_plant : {0, 1}) {
        for (const std::int64_t n : sizes) b->Args({n, dense_plant});
    }
    b->Unit(benchmark::kMicrosecond);
}

void AllPlants(benchmark::internal::Benchmark* b) { Plants(b, {100, 1000, 10000}); }
void SmallPlants(benchmark::internal::Benchmark* b) { Plants(b, {100, 1000}); }
void LargePlants(benchmark::internal::Benchmark* b) { Plants(b, {10000}); }

}  // namespace

BENCHMARK(Reference)->Apply(SmallPlants);
// At 10000 products the reference searches its pair list some 10^10 times
// per step when sparse and 10^12 times when dense: one step each.
BENCHMARK(Reference)->Apply(LargePlants)->Iterations(1);
BENCHMARK(Step)->Apply(AllPlants);
BENCHMARK(StepDrifting)->Apply(AllPlants);
BENCHMARK(Floor)->Apply(AllPlants);

}  // namespace vx::products::testing
