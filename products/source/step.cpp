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
// spheres apart. So the step stores the boxes, indexes their spheres once
// (sphere_index.hpp), and at each product's turn visits, in index order,
// only the records whose spheres may meet its own; the records left out are
// ones the test would have rejected, so every answer, and every behaviour
// call, stays the same.
//
// Product contacts wait for the higher product in a flag beside its list
// entry for the lower one, while the index lists the pairs; in the steps
// that search at each turn, in a triangular bit table allocated at
// start-up, one bit per pair, with a count of pending bits per product so
// that a product nobody touched costs no lookup at all.
//
// Nothing is allocated here: every buffer is reserved by produitsInit for
// the records it bound.
#include <algorithm>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

#include "products.hpp"
#include "sphere_index.hpp"

namespace vx::products {
namespace {

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
    SphereIndex spheres;
    ContactTable contacts;
    bool running = false;  // a behaviour that starts the step again is ignored
};

StepStorage g_step;

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

// Where a contact found at the lower product's turn waits for the higher
// one's. While the index lists the pairs, in a flag beside the higher one's
// entry for the lower one, read in the order of the turns.
struct ListedContacts {
    std::uint32_t first;  // p's first entry
    bool take(std::int32_t, std::int32_t, std::size_t k) const { return g_step.spheres.contact_at(first + k); }
    void set(std::int32_t p, std::int32_t o) const { g_step.spheres.mark_contact(p, o); }
    void settle(std::int32_t) const {}  // the flags start afresh with the next lists
};

// Otherwise in the bit table.
struct TableContacts {
    std::int32_t base;  // the first product bound
    bool take(std::int32_t o, std::int32_t p, std::size_t) const { return g_step.contacts.take(o - base, p - base); }
    void set(std::int32_t p, std::int32_t o) const { g_step.contacts.set(p - base, o - base); }
    void settle(std::int32_t p) const { g_step.contacts.settle(p - base); }
};

template <class Contacts>
void turn_of(std::int32_t p, std::int32_t actors, std::int32_t records, std::span<const std::int32_t> around,
             const Contacts& contacts) {
    run_alone(p, records, 0);
    for (std::size_t k = 0; k < around.size(); ++k) {
        const std::int32_t o = around[k];
        if (o >= actors && o < p) {
            // Tested at o's turn: offered when it touched then and lives now.
            if (contacts.take(o, p, k) && !killed(o)) run_with(p, o);
            continue;
        }
        if (killed(o) || intersects(o, p) == 0) continue;
        if (o > p) contacts.set(p, o);
        run_with(p, o);
    }
    contacts.settle(p);
    run_alone(p, records, 1);
}

void turn_of(std::int32_t p, std::int32_t actors, std::int32_t records) {
    SphereIndex& index = g_step.spheres;
    if (index.lists_ready()) {
        turn_of(p, actors, records, index.listed(p), ListedContacts{index.list_first(p)});
    } else {
        turn_of(p, actors, records, index.around(p), TableContacts{g_step.actors});
    }
}

}  // namespace

bool reserve_step_storage(std::int32_t records, std::int32_t actors) {
    release_step_storage();
    try {
        g_step.spheres.reserve(records);
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
    g_step.spheres.release();
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
    g_step.spheres.build(records);  // stores every box first, killed records' included
    for (std::int32_t p = actors; p < records; ++p) {
        // What the turn after the next reads, fetched while this one runs:
        // at ten thousand products the records no longer fit the cache.
        if (p + 2 < records) {
            prefetch_cells(p + 2);
            for (const std::int32_t o : g_step.spheres.listed(p + 2)) {
                prefetch_cells(o);
                prefetch_inverse(o);
            }
            prefetch_inverse(p + 2);
        }
        if (killed(p)) {
            if (!g_step.spheres.lists_ready()) g_step.contacts.settle(p - g_step.actors);
            continue;
        }
        turn_of(p, actors, records);
    }
    myself = records;
    g_step.running = false;
}

}  // extern "C"
