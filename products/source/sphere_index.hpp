// The search behind the products step: which records' bounding spheres may
// meet a given record's, from the boxes stored at the start of the step.
//
// The spheres are grouped by size class (a power of two of the radius), so
// that a few large objects do not widen the search among the small ones.
// Each class lays a uniform grid over the two axes along which its centres
// spread widest, with cells as wide as the class's largest sphere (wider
// when the class is spread so thin that the grid would have more than four
// cells per member), and files its spheres by cell with a counting sort:
// building costs a few passes over the records, and a search reads the few
// cells its sphere can reach. The search keeps every pair whose spheres the
// intersection test would not find apart, and a sliver more for rounding,
// which the test then rejects itself.
//
// Since the spheres do not change during a step, the index then lists every
// candidate pair once, at build: within a class, the cells are at least as
// wide as any pair that may meet, so a record meets only records of its own
// cell and of the eight around it, and each pair is looked for once, from
// the cell that comes first; across classes, the members of the smaller
// class search the other's grid. Each record's list, both directions, in
// index order, is then all that its turn reads. When the lists would not
// fit their storage (a plant packed far tighter than any real one), or a
// box is not a number, the step searches at each turn instead.
//
// Products move little from one cycle to the next, so the candidates are
// listed for spheres grown by a skin (an eighth of each radius), and kept
// from step to step: a step only stores the spheres, checks that every
// record is still within its skin of where the candidates were listed (and
// has kept or lacked its extent as then), and keeps the candidates whose
// spheres of this step may meet. A record beyond its skin, one that gained
// or lost its extent, or a count of records that changed, brings a new
// build in that step.
//
// Every buffer is sized once, for the records bound at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "products.hpp"

namespace vx::products {

class SphereIndex {
public:
    // Room for `records` records; may throw std::bad_alloc.
    void reserve(std::int32_t records);
    void release();

    // Stores the box of records 0 to records - 1 in their records, as the
    // step must, and indexes them.
    void build(std::int32_t records);

    // The records other than p whose stored boxes the intersection test may
    // not reject against p's in its first two stages, in index order. Valid
    // until the next call.
    std::span<const std::int32_t> around(std::int32_t p);

    // Whether this step's pairs are listed; if not, around() searches.
    bool lists_ready() const { return lists_ready_; }

    // p's list of this step when the lists are ready (what a turn reads then,
    // instead of around(p)), or nothing.
    std::span<const std::int32_t> listed(std::int32_t p) const {
        if (!lists_ready_) return {};
        const std::uint32_t first = list_first(p);
        return {listed_.data() + first, list_start_[static_cast<std::size_t>(p) + 1] - first};
    }
    std::uint32_t list_first(std::int32_t p) const { return list_start_[static_cast<std::size_t>(p)]; }

    // A contact of a pair found at the lower record's turn, flagged in the
    // higher one's list for its turn, while the lists are ready. Every flag
    // is down when the lists are made.
    void mark_contact(std::int32_t lower, std::int32_t higher);
    bool contact_at(std::uint32_t entry) const { return touched_[entry] != 0; }

    // Room for the candidate lists, per record: at 10000 records, 32 entries
    // per record (16 pairs) hold a plant where every product meets its eight
    // neighbours, with room to spare.
    static constexpr std::size_t kListedPerRecord = 32;

private:
    // How far a record reaches.
    enum class Reach : std::uint8_t {
        nowhere,     // no extent: the test rejects every pair with it
        sphere,      // a finite bounding sphere
        everywhere,  // corners that are not finite: no sphere test rejects it
    };

    // Radii from 2^-160 to 2^140 and beyond (clamped): every box that float
    // cells can place.
    static constexpr int kLowestClass = -160;
    static constexpr int kClasses = 301;

    struct SizeClass {
        std::int32_t members = 0;
        double max_radius = 0.0;
        Vector low{}, high{};  // of the centres
        // The grid.
        int axis_x = 0, axis_y = 1;
        double origin_x = 0.0, origin_y = 0.0, width = 1.0, per_width = 1.0;
        std::int64_t columns = 1, rows = 1;
        double last_column = 0.0, last_row = 0.0;
        std::size_t first_cell = 0;

        std::int64_t column(double x) const;
        std::int64_t row(double y) const;
    };

    static int class_of(double radius);
    // Stores every box and its sphere; whether every record keeps the reach
    // it had at the last build, within its skin.
    bool store_spheres(std::int32_t records);
    void count_classes(std::int32_t records);
    void lay_grids();
    void file_spheres(std::int32_t records);
    void list_candidates();
    bool pair_within_class(const SizeClass& c);
    bool pair_across(const SizeClass& querying, const SizeClass& searched);
    bool keep_candidate(std::int32_t a, std::int32_t b);
    void list_pairs();
    void gather_in_class(std::int32_t p, const Sphere& s, const SizeClass& c);
    void sort_found();

    std::int32_t records_ = 0;  // at the last build
    std::size_t cells_ = 0;     // in use since the last build
    std::vector<Sphere> spheres_;  // of this step
    std::vector<Sphere> built_;    // at the last build
    std::vector<Reach> reach_;
    std::vector<std::int16_t> class_of_;     // per record with a sphere
    std::vector<std::int32_t> cell_of_;
    std::vector<std::uint32_t> cell_start_;  // per cell, and one past the last
    // Records by cell, with their spheres at hand: a search reads them in
    // one sweep of memory.
    struct Filed {
        Sphere sphere;
        std::int32_t index;
    };
    std::vector<Filed> filed_;
    std::array<SizeClass, kClasses> classes_{};
    std::vector<int> used_classes_;
    std::vector<std::int32_t> everywhere_;
    std::vector<std::int32_t> found_;  // room for every record
    std::size_t found_count_ = 0;
    // The candidate pairs of the last build (grown spheres that may meet),
    // those whose spheres may meet in this step, and each record's list of
    // them.
    struct Pair {
        std::int32_t a, b;
    };
    std::vector<Pair> candidates_;
    std::size_t candidate_count_ = 0;
    bool candidates_ready_ = false;
    std::vector<Pair> pairs_;
    std::vector<std::uint32_t> list_start_;  // per record, and one past the last
    std::vector<std::int32_t> listed_;
    std::vector<std::uint8_t> touched_;  // beside listed_
    bool lists_ready_ = false;
};

}  // namespace vx::products
