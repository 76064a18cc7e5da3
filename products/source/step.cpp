// The products step, run once per executed cycle after the outputs.
//
// Every live product, in index order, runs its behaviour alone (otherModel
// 0), then once for each object that touches it, in index order, and alone
// again (otherModel 1). A contact between two products is tested once, at
// the turn of the lower index, and the higher one is offered it at its own
// turn if the lower one is still alive then.
//
// Asked plainly, that is one intersection test per ordered pair of objects.
// The test rejects most pairs in its first two stages, which read only the
// boxes stored at the start of the step: a box without extent, or bounding
// spheres apart. So the step stores the boxes, sorts their spheres once, and
// at each product's turn gathers only the records whose spheres may meet its
// own; the records left out are exactly ones the test would have rejected,
// so every answer, and every behaviour call, stays the same:
//  - the spheres are sorted along the axis of widest spread, in runs of one
//    size class (a power of two of the radius), so that a few large objects
//    (a conveyor, a floor) do not widen the search among the small ones;
//  - a box whose corners are not numbers meets every sphere, as in the test;
//  - the gathered records are sorted by index before they are visited.
// Product contacts wait for the higher product in a triangular bit table
// allocated at start-up, one bit per pair, with a count of pending bits per
// product so that a product nobody touched costs no lookup at all.
//
// Nothing is allocated here: every buffer is reserved by produitsInit for
// the records it bound.
#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "products.hpp"

namespace vx::products {
namespace {

// How far a record reaches in the search.
enum class Reach : std::uint8_t {
    nowhere,     // no extent: the test rejects every pair with it
    sphere,      // a finite bounding sphere
    everywhere,  // corners that are not finite: no sphere test rejects it
};

struct SweepEntry {
    std::int32_t size_class;
    std::int32_t index;
    double key;  // the sphere's centre on the sweep axis
};

struct SizeClass {
    std::size_t begin;
    std::size_t end;
    double max_radius;
};

// Rounding slack of the search: the search keeps every pair that the
// test's exact sphere comparison keeps, and a sliver more, which the test
// then rejects itself.
constexpr double kSlack = 1e-6;

bool finite(const Sphere& s) {
    return std::isfinite(s.centre.x) && std::isfinite(s.centre.y) && std::isfinite(s.centre.z) &&
           std::isfinite(s.radius);
}

bool clearly_apart(const Sphere& a, const Sphere& b) {
    const double reach = a.radius + b.radius;
    const Vector d = a.centre - b.centre;
    return reach * reach * (1.0 + kSlack) < dot(d, d);
}

// Half the width of the window along the sweep axis in which a sphere of
// `reach` combined radius around `key` can be met.
double window(double reach, double key) { return reach * (1.0 + kSlack) + kSlack * std::fabs(key); }

std::int32_t size_class(double radius) {
    return radius > 0.0 ? std::ilogb(radius) : std::numeric_limits<std::int32_t>::min();
}

// One bit per pair of products (lower, higher), counted from the first
// product: set at the lower one's turn, taken at the higher one's.
class ContactTable {
public:
    void reserve(std::int32_t products) {
        const auto count = static_cast<std::uint64_t>(products);
        const std::uint64_t bits = count > 1 ? count * (count - 1) / 2 : 0;
        words_.assign(static_cast<std::size_t>((bits + 63) / 64), 0);
        pending_.assign(static_cast<std::size_t>(products), 0);
    }

    void set(std::int32_t lower, std::int32_t higher) {
        const std::uint64_t bit = bit_of(lower, higher);
        std::uint64_t& word = words_[bit / 64];
        const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
        if ((word & mask) == 0) ++pending_[higher];
        word |= mask;
    }

    // Whether the pair was set; clears it.
    bool take(std::int32_t lower, std::int32_t higher) {
        if (pending_[higher] == 0) return false;
        const std::uint64_t bit = bit_of(lower, higher);
        std::uint64_t& word = words_[bit / 64];
        const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
        if ((word & mask) == 0) return false;
        word &= ~mask;
        --pending_[higher];
        return true;
    }

    // Forgets what is left for `higher` (a product killed before its turn).
    void settle(std::int32_t higher) {
        if (pending_[higher] == 0) return;
        clear_bits(bit_of(0, higher), bit_of(0, higher) + static_cast<std::uint64_t>(higher));
        pending_[higher] = 0;
    }

    void release() {
        std::vector<std::uint64_t>().swap(words_);
        std::vector<std::uint32_t>().swap(pending_);
    }

private:
    static std::uint64_t bit_of(std::int32_t lower, std::int32_t higher) {
        const auto h = static_cast<std::uint64_t>(higher);
        return h * (h - 1) / 2 + static_cast<std::uint64_t>(lower);
    }

    void clear_bits(std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t bit = begin; bit < end;) {
            if (bit % 64 == 0 && end - bit >= 64) {
                words_[bit / 64] = 0;
                bit += 64;
            } else {
                words_[bit / 64] &= ~(std::uint64_t{1} << (bit % 64));
                ++bit;
            }
        }
    }

    std::vector<std::uint64_t> words_;
    std::vector<std::uint32_t> pending_;  // bits set per higher product
};

struct StepStorage {
    std::int32_t records = 0;
    std::int32_t actors = 0;
    std::vector<Sphere> spheres;
    std::vector<Reach> reach;
    std::vector<SweepEntry> sweep;
    std::vector<SizeClass> classes;
    std::vector<std::int32_t> everywhere;
    std::vector<std::int32_t> candidates;
    ContactTable contacts;
    int axis = 0;
    bool running = false;  // a behaviour that starts the step again is ignored
};

StepStorage g_step;

void store_boxes(std::int32_t records) {
    for (std::int32_t i = 0; i < records; ++i) {
        ActeurProduit& r = record(i);
        computeActorProductTransformedParrallelepipede_into_(r.cells, &r.box);
        if (zero_extent(r.box)) {
            g_step.reach[i] = Reach::nowhere;
            continue;
        }
        g_step.spheres[i] = bounding_sphere(r.box);
        g_step.reach[i] = finite(g_step.spheres[i]) ? Reach::sphere : Reach::everywhere;
    }
}

int widest_axis(std::int32_t records) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    Vector low{kInf, kInf, kInf}, high{-kInf, -kInf, -kInf};
    for (std::int32_t i = 0; i < records; ++i) {
        if (g_step.reach[i] != Reach::sphere) continue;
        const Vector c = g_step.spheres[i].centre;
        low = {std::min(low.x, c.x), std::min(low.y, c.y), std::min(low.z, c.z)};
        high = {std::max(high.x, c.x), std::max(high.y, c.y), std::max(high.z, c.z)};
    }
    const Vector spread = high - low;
    if (spread.x >= spread.y && spread.x >= spread.z) return 0;
    return spread.y >= spread.z ? 1 : 2;
}

void sort_spheres(std::int32_t records) {
    g_step.axis = widest_axis(records);
    g_step.sweep.clear();
    g_step.everywhere.clear();
    for (std::int32_t i = 0; i < records; ++i) {
        if (g_step.reach[i] == Reach::everywhere) g_step.everywhere.push_back(i);
        if (g_step.reach[i] != Reach::sphere) continue;
        const Sphere& s = g_step.spheres[i];
        g_step.sweep.push_back({size_class(s.radius), i, component(s.centre, g_step.axis)});
    }
    std::sort(g_step.sweep.begin(), g_step.sweep.end(), [](const SweepEntry& a, const SweepEntry& b) {
        if (a.size_class != b.size_class) return a.size_class < b.size_class;
        return a.key < b.key;
    });
    g_step.classes.clear();
    for (std::size_t begin = 0; begin < g_step.sweep.size();) {
        SizeClass run{begin, begin, 0.0};
        for (; run.end < g_step.sweep.size() && g_step.sweep[run.end].size_class == g_step.sweep[begin].size_class;
             ++run.end) {
            run.max_radius = std::max(run.max_radius, g_step.spheres[g_step.sweep[run.end].index].radius);
        }
        g_step.classes.push_back(run);
        begin = run.end;
    }
}

void gather_around(std::int32_t p) {
    const Sphere& s = g_step.spheres[p];
    const double key = component(s.centre, g_step.axis);
    for (const SizeClass& run : g_step.classes) {
        const double half = window(s.radius + run.max_radius, key);
        const auto end = g_step.sweep.begin() + static_cast<std::ptrdiff_t>(run.end);
        auto entry = std::lower_bound(g_step.sweep.begin() + static_cast<std::ptrdiff_t>(run.begin), end, key - half,
                                      [](const SweepEntry& e, double value) { return e.key < value; });
        for (; entry != end && entry->key <= key + half; ++entry) {
            if (entry->index != p && !clearly_apart(g_step.spheres[entry->index], s)) {
                g_step.candidates.push_back(entry->index);
            }
        }
    }
    for (const std::int32_t o : g_step.everywhere) {
        if (o != p) g_step.candidates.push_back(o);
    }
    std::sort(g_step.candidates.begin(), g_step.candidates.end());
}

// The records that the intersection test may not reject for p, in index
// order.
const std::vector<std::int32_t>& candidates_of(std::int32_t p, std::int32_t records) {
    g_step.candidates.clear();
    switch (g_step.reach[p]) {
        case Reach::nowhere:
            break;
        case Reach::everywhere:
            for (std::int32_t o = 0; o < records; ++o) {
                if (o != p && g_step.reach[o] != Reach::nowhere) g_step.candidates.push_back(o);
            }
            break;
        case Reach::sphere:
            gather_around(p);
            break;
    }
    return g_step.candidates;
}

// One call of p's behaviour: its cells in `self` (at every call, since a
// behaviour binds its variables by advancing the cursors), the step's
// globals set afresh (a behaviour may have changed them).
void run(std::int32_t p) {
    const ObjectCells& cells = record(p).cells;
    self = VX_Areas{cells.boolCells, cells.intCells, cells.floatCells, cells.charCells};
    myself = p;
    if (record(p).model != nullptr) record(p).model();
}

void run_alone(std::int32_t p, std::int32_t records, intptr_t which) {
    other = records;  // no object
    otherModel = which;
    run(p);
}

void run_with(std::int32_t p, std::int32_t o) {
    other = o;
    otherPointers = record(o).cells;
    otherModel = prodGetModel(o);
    run(p);
}

bool killed(std::int32_t i) { return status_of(i) == VX_OBJECT_KILLED; }

void turn_of(std::int32_t p, std::int32_t actors, std::int32_t records) {
    const std::int32_t base = g_step.actors;
    run_alone(p, records, 0);
    for (const std::int32_t o : candidates_of(p, records)) {
        if (o >= actors && o < p) {
            // Tested at o's turn: offered when it touched then and lives now.
            if (g_step.contacts.take(o - base, p - base) && !killed(o)) run_with(p, o);
            continue;
        }
        if (killed(o) || intersects(o, p) == 0) continue;
        if (o > p) g_step.contacts.set(p - base, o - base);
        run_with(p, o);
    }
    g_step.contacts.settle(p - base);
    run_alone(p, records, 1);
}

}  // namespace

bool reserve_step_storage(std::int32_t records, std::int32_t actors) {
    release_step_storage();
    try {
        const auto n = static_cast<std::size_t>(records);
        g_step.spheres.resize(n);
        g_step.reach.resize(n);
        g_step.sweep.reserve(n);
        g_step.classes.reserve(n);
        g_step.everywhere.reserve(n);
        g_step.candidates.reserve(n);
        g_step.contacts.reserve(records - actors);
    } catch (const std::bad_alloc&) {
        release_step_storage();
        return false;
    } catch (const std::length_error&) {
        release_step_storage();
        return false;
    }
    g_step.records = records;
    g_step.actors = actors;
    return true;
}

void release_step_storage() {
    g_step.records = 0;
    g_step.actors = 0;
    std::vector<Sphere>().swap(g_step.spheres);
    std::vector<Reach>().swap(g_step.reach);
    std::vector<SweepEntry>().swap(g_step.sweep);
    std::vector<SizeClass>().swap(g_step.classes);
    std::vector<std::int32_t>().swap(g_step.everywhere);
    std::vector<std::int32_t>().swap(g_step.candidates);
    g_step.contacts.release();
}

bool step_running() { return g_step.running; }

}  // namespace vx::products

using namespace vx::products;

extern "C" {

void productsStep(void) {
    if (g_step.running) return;
    g_step.running = true;
    // The records bound at start-up, whatever the table's counts say now.
    const std::int32_t records = std::min(record_count(), g_step.records);
    const std::int32_t actors = std::max(actor_count(), g_step.actors);
    store_boxes(records);
    sort_spheres(records);
    for (std::int32_t p = actors; p < records; ++p) {
        if (killed(p)) {
            g_step.contacts.settle(p - g_step.actors);
            continue;
        }
        turn_of(p, actors, records);
    }
    myself = records;
    g_step.running = false;
}

}  // extern "C"
