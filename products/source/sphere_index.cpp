#include "sphere_index.hpp"

#include <algorithm>
#include <bit>
#include <limits>

namespace vx::products {
namespace {

// Rounding slack of the search (relative); far above the rounding of the
// few operations between the test's sphere comparison and this one.
constexpr double kSlack = 1e-6;

// How far a record may move (or grow) between two builds of the candidate
// pairs, as a share of its radius: the pairs are listed for spheres grown by
// that much, so they hold every pair that may meet until some record has
// gone further.
constexpr double kSkin = 0.125;

// Cells a class may use: four per member and a few more.
constexpr double kCellsPerMember = 4.0;
constexpr double kSpareCells = 16.0;

bool finite(const Sphere& s) {
    return std::isfinite(s.centre.x) && std::isfinite(s.centre.y) && std::isfinite(s.centre.z) &&
           std::isfinite(s.radius);
}

Sphere grown(const Sphere& s) { return {s.centre, s.radius * (1.0 + kSkin)}; }

// Whether a sphere is still within the skin of the one it had at the last
// build: the centre moved by d and the radius grew by g with d + g at most
// the skin (less the search's slack, and for far-off coordinates an
// absolute sliver, as the grid allows). Then every pair that may meet now
// met grown at the build: the distance of the centres then is at most
// today's plus both moves, within the sum of the grown radii. False for
// anything that is not a number.
bool within_skin(const Sphere& now, const Sphere& built) {
    const Vector c = built.centre;
    const double room = kSkin * built.radius * (1.0 - kSlack) - kSlack * (std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z));
    // |d| + g <= room, without the square root: g <= room and |d|^2 <= (room - g)^2.
    const double left = room - std::max(0.0, now.radius - built.radius);
    const Vector d = now.centre - built.centre;
    return left >= 0.0 && dot(d, d) <= left * left;
}

bool clearly_apart(const Sphere& a, const Sphere& b) {
    const double reach = a.radius + b.radius;
    const Vector d = a.centre - b.centre;
    return reach * reach * (1.0 + kSlack) < dot(d, d);
}

// Half the width of the interval around `position` in which a centre within
// `reach` of it can lie.
double window(double reach, double position) { return reach * (1.0 + kSlack) + kSlack * std::fabs(position); }

// The cell of a coordinate, clamped into the grid: a monotonic map, so an
// interval of coordinates is an interval of cells. Positions are finite, so
// the value converted lies in [0, last] (truncation is the floor there).
std::int64_t cell_along(double position, double origin, double per_width, double last) {
    return static_cast<std::int64_t>(std::min(std::max((position - origin) * per_width, 0.0), last));
}

double cells_for(double spread, double width) { return std::floor(spread / width) + 1.0; }

// Usually a handful: an insertion sort, without the general sort's set-up.
void sort_indexes(std::int32_t* first, std::int32_t* last) {
    if (last - first > 16) {
        std::sort(first, last);
        return;
    }
    for (std::int32_t* i = first + (first != last ? 1 : 0); i < last; ++i) {
        const std::int32_t v = *i;
        std::int32_t* j = i;
        for (; j > first && *(j - 1) > v; --j) *j = *(j - 1);
        *j = v;
    }
}

}  // namespace

std::int64_t SphereIndex::SizeClass::column(double x) const { return cell_along(x, origin_x, per_width, last_column); }
std::int64_t SphereIndex::SizeClass::row(double y) const { return cell_along(y, origin_y, per_width, last_row); }

int SphereIndex::class_of(double radius) {
    // The binary exponent, read from the bits (the radius is finite and not
    // negative); 0 and subnormal radii fall into the lowest class.
    const auto biased = static_cast<int>((std::bit_cast<std::uint64_t>(radius) >> 52) & 0x7ff);
    const int exponent = biased == 0 ? kLowestClass : biased - 1023;
    return std::clamp(exponent, kLowestClass, kLowestClass + kClasses - 1) - kLowestClass;
}

void SphereIndex::reserve(std::int32_t records) {
    const auto n = static_cast<std::size_t>(records);
    spheres_.resize(n);
    built_.resize(n);
    reach_.resize(n);
    cell_of_.resize(n);
    class_of_.resize(n);
    filed_.resize(n);
    cell_start_.resize(static_cast<std::size_t>(kCellsPerMember) * n + static_cast<std::size_t>(kSpareCells) * kClasses + 1);
    used_classes_.reserve(kClasses);
    everywhere_.reserve(n);
    found_.resize(n);
    pairs_.resize(kListedPerRecord / 2 * n);
    candidates_.resize(kListedPerRecord / 2 * n);
    listed_.resize(kListedPerRecord * n);
    touched_.resize(kListedPerRecord * n);
    list_start_.resize(n + 1);
}

void SphereIndex::release() {
    std::vector<Sphere>().swap(spheres_);
    std::vector<Sphere>().swap(built_);
    std::vector<Reach>().swap(reach_);
    std::vector<std::int32_t>().swap(cell_of_);
    std::vector<std::int16_t>().swap(class_of_);
    std::vector<Filed>().swap(filed_);
    std::vector<std::uint32_t>().swap(cell_start_);
    std::vector<int>().swap(used_classes_);
    std::vector<std::int32_t>().swap(everywhere_);
    std::vector<std::int32_t>().swap(found_);
    std::vector<Pair>().swap(pairs_);
    std::vector<Pair>().swap(candidates_);
    std::vector<std::int32_t>().swap(listed_);
    std::vector<std::uint8_t>().swap(touched_);
    std::vector<std::uint32_t>().swap(list_start_);
    lists_ready_ = false;
    candidates_ready_ = false;
    candidate_count_ = 0;
    classes_.fill(SizeClass{});
    records_ = 0;
    cells_ = 0;
}

void SphereIndex::build(std::int32_t records) {
    const bool within = store_spheres(records);
    if (!(candidates_ready_ && within && records == records_)) {
        records_ = records;
        count_classes(records);
        lay_grids();
        file_spheres(records);
        list_candidates();
    }
    list_pairs();
}

bool SphereIndex::store_spheres(std::int32_t records) {
    const std::int32_t built = std::min(records, records_);
    bool within = true;
    for (std::int32_t i = 0; i < records; ++i) {
        // The box the intersection test will read, while its record is at hand.
        Parallelepiped& box = record(i).box;
        box = box_of(load_matrix(record(i).cells));
        Reach reach = Reach::nowhere;
        if (!zero_extent(box)) {
            spheres_[i] = bounding_sphere(box);
            reach = finite(spheres_[i]) ? Reach::sphere : Reach::everywhere;
        }
        // A record that gained or lost its extent, or moved beyond its skin,
        // calls for new candidates.
        within &= i < built && reach == reach_[i] && (reach != Reach::sphere || within_skin(spheres_[i], built_[i]));
        reach_[i] = reach;
    }
    return within;
}

void SphereIndex::count_classes(std::int32_t records) {
    for (const int k : used_classes_) classes_[static_cast<std::size_t>(k)] = SizeClass{};
    used_classes_.clear();
    everywhere_.clear();
    for (std::int32_t i = 0; i < records; ++i) {
        if (reach_[i] == Reach::everywhere) everywhere_.push_back(i);
        if (reach_[i] != Reach::sphere) continue;
        built_[i] = spheres_[i];
        const Sphere s = grown(spheres_[i]);
        const int k = class_of(s.radius);
        class_of_[i] = static_cast<std::int16_t>(k);
        SizeClass& c = classes_[static_cast<std::size_t>(k)];
        if (c.members++ == 0) {
            used_classes_.push_back(k);
            c.low = c.high = s.centre;
        }
        c.max_radius = std::max(c.max_radius, s.radius);
        c.low = {std::min(c.low.x, s.centre.x), std::min(c.low.y, s.centre.y), std::min(c.low.z, s.centre.z)};
        c.high = {std::max(c.high.x, s.centre.x), std::max(c.high.y, s.centre.y), std::max(c.high.z, s.centre.z)};
    }
    // Classes searched from the smallest radius up.
    std::sort(used_classes_.begin(), used_classes_.end());
}

void SphereIndex::lay_grids() {
    std::size_t next_cell = 0;
    for (const int k : used_classes_) {
        SizeClass& c = classes_[static_cast<std::size_t>(k)];
        const Vector spread = c.high - c.low;
        // The two axes of widest spread.
        c.axis_x = spread.x >= spread.y ? (spread.x >= spread.z ? 0 : 2) : (spread.y >= spread.z ? 1 : 2);
        const int rest_a = (c.axis_x + 1) % 3, rest_b = (c.axis_x + 2) % 3;
        c.axis_y = component(spread, rest_a) >= component(spread, rest_b) ? rest_a : rest_b;
        c.origin_x = component(c.low, c.axis_x);
        c.origin_y = component(c.low, c.axis_y);
        // At least as wide as any pair of the class whose spheres may meet,
        // with room for the rounding of the cell arithmetic (relative, and
        // for far-off coordinates absolute): such a pair lies in one cell or
        // in two neighbouring ones.
        const double farthest = std::max({std::fabs(c.low.x), std::fabs(c.low.y), std::fabs(c.low.z),
                                          std::fabs(c.high.x), std::fabs(c.high.y), std::fabs(c.high.z)});
        c.width = c.max_radius > 0.0 ? 2.0 * c.max_radius * (1.0 + 10.0 * kSlack) + kSlack * farthest : 1.0;
        const double limit = kCellsPerMember * c.members + kSpareCells;
        double columns = cells_for(component(spread, c.axis_x), c.width);
        double rows = cells_for(component(spread, c.axis_y), c.width);
        for (int widen = 0; widen < 2100 && !(columns * rows <= limit); ++widen) {
            c.width *= 2.0;
            columns = cells_for(component(spread, c.axis_x), c.width);
            rows = cells_for(component(spread, c.axis_y), c.width);
        }
        if (!(columns * rows <= limit)) columns = rows = 1.0;  // one cell holds the class
        c.per_width = 1.0 / c.width;
        c.last_column = columns - 1.0;
        c.last_row = rows - 1.0;
        c.columns = static_cast<std::int64_t>(columns);
        c.rows = static_cast<std::int64_t>(rows);
        c.first_cell = next_cell;
        next_cell += static_cast<std::size_t>(c.columns * c.rows);
    }
    cells_ = next_cell;
    std::fill(cell_start_.begin(), cell_start_.begin() + static_cast<std::ptrdiff_t>(cells_) + 1, 0u);
}

void SphereIndex::file_spheres(std::int32_t records) {
    // Counting sort by cell: count, turn counts into starts, then place.
    for (std::int32_t i = 0; i < records; ++i) {
        if (reach_[i] != Reach::sphere) continue;
        const Sphere& s = spheres_[i];
        const SizeClass& c = classes_[static_cast<std::size_t>(class_of_[i])];
        const std::int64_t cell = c.row(component(s.centre, c.axis_y)) * c.columns + c.column(component(s.centre, c.axis_x));
        cell_of_[i] = static_cast<std::int32_t>(c.first_cell + static_cast<std::size_t>(cell));
        ++cell_start_[static_cast<std::size_t>(cell_of_[i]) + 1];
    }
    for (std::size_t cell = 1; cell <= cells_; ++cell) cell_start_[cell] += cell_start_[cell - 1];
    for (std::int32_t i = 0; i < records; ++i) {
        if (reach_[i] == Reach::sphere) filed_[cell_start_[static_cast<std::size_t>(cell_of_[i])]++] = {grown(spheres_[i]), i};
    }
    // Placing moved every start to the next cell's: shift them back.
    for (std::size_t cell = cells_; cell > 0; --cell) cell_start_[cell] = cell_start_[cell - 1];
    cell_start_[0] = 0;
}

void SphereIndex::gather_in_class(std::int32_t p, const Sphere& s, const SizeClass& c) {
    const double reach = s.radius + c.max_radius;
    // A class whose centres all lie out of reach (far actors, say) is done
    // with a few comparisons.
    const double at[3] = {s.centre.x, s.centre.y, s.centre.z};
    const double low[3] = {c.low.x, c.low.y, c.low.z};
    const double high[3] = {c.high.x, c.high.y, c.high.z};
    double half[3];
    for (int axis = 0; axis < 3; ++axis) {
        half[axis] = window(reach, at[axis]);
        if (at[axis] + half[axis] < low[axis] || at[axis] - half[axis] > high[axis]) return;
    }
    const double x = at[c.axis_x];
    const double y = at[c.axis_y];
    const double half_x = half[c.axis_x];
    const double half_y = half[c.axis_y];
    const std::int64_t first_column = c.column(x - half_x), last_column = c.column(x + half_x);
    const std::int64_t last_row = c.row(y + half_y);
    for (std::int64_t r = c.row(y - half_y); r <= last_row; ++r) {
        const std::size_t row_cell = c.first_cell + static_cast<std::size_t>(r * c.columns);
        // The cells of one row are consecutive: one run of filed records.
        const std::uint32_t from = cell_start_[row_cell + static_cast<std::size_t>(first_column)];
        const std::uint32_t to = cell_start_[row_cell + static_cast<std::size_t>(last_column) + 1];
        // Without a branch per record: every record is written, and kept
        // by advancing past it. Each record is filed once, so at most all
        // records are kept.
        std::int32_t* out = found_.data() + found_count_;
        for (std::uint32_t f = from; f < to; ++f) {
            const Filed& o = filed_[f];
            *out = o.index;
            out += static_cast<int>(o.index != p) & static_cast<int>(!clearly_apart(o.sphere, s));
        }
        found_count_ = static_cast<std::size_t>(out - found_.data());
    }
}

void SphereIndex::sort_found() { sort_indexes(found_.data(), found_.data() + found_count_); }

bool SphereIndex::keep_candidate(std::int32_t a, std::int32_t b) {
    if (candidate_count_ == candidates_.size()) return false;
    candidates_[candidate_count_++] = {a, b};
    return true;
}

bool SphereIndex::pair_within_class(const SizeClass& c) {
    // The records of a cell with the later ones of the same cell, the cell
    // to its right, and the three below it: every neighbouring pair of cells
    // once.
    const auto run_of = [&](std::size_t first, std::size_t last) {
        return std::pair{cell_start_[first], cell_start_[last + 1]};
    };
    for (std::int64_t r = 0; r < c.rows; ++r) {
        for (std::int64_t col = 0; col < c.columns; ++col) {
            const std::size_t cell = c.first_cell + static_cast<std::size_t>(r * c.columns + col);
            const std::uint32_t end = cell_start_[cell + 1];
            std::pair<std::uint32_t, std::uint32_t> right{0, 0}, below{0, 0};
            if (col + 1 < c.columns) right = run_of(cell + 1, cell + 1);
            if (r + 1 < c.rows) {
                const std::size_t row_below = c.first_cell + static_cast<std::size_t>((r + 1) * c.columns);
                below = run_of(row_below + static_cast<std::size_t>(std::max<std::int64_t>(col - 1, 0)),
                               row_below + static_cast<std::size_t>(std::min(col + 1, c.columns - 1)));
            }
            for (std::uint32_t f = cell_start_[cell]; f < end; ++f) {
                const Filed& a = filed_[f];
                const auto meet = [&](std::uint32_t from, std::uint32_t to) {
                    for (std::uint32_t g = from; g < to; ++g) {
                        if (!clearly_apart(a.sphere, filed_[g].sphere) && !keep_candidate(a.index, filed_[g].index)) {
                            return false;
                        }
                    }
                    return true;
                };
                if (!meet(f + 1, end) || !meet(right.first, right.second) || !meet(below.first, below.second)) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool SphereIndex::pair_across(const SizeClass& querying, const SizeClass& searched) {
    const std::uint32_t from = cell_start_[querying.first_cell];
    const std::uint32_t to = cell_start_[querying.first_cell + static_cast<std::size_t>(querying.columns * querying.rows)];
    for (std::uint32_t f = from; f < to; ++f) {
        const std::int32_t a = filed_[f].index;
        found_count_ = 0;
        gather_in_class(a, filed_[f].sphere, searched);
        for (std::size_t k = 0; k < found_count_; ++k) {
            if (!keep_candidate(a, found_[k])) return false;
        }
    }
    return true;
}

void SphereIndex::list_candidates() {
    candidates_ready_ = false;
    candidate_count_ = 0;
    if (!everywhere_.empty()) return;
    for (const int k : used_classes_) {
        if (!pair_within_class(classes_[static_cast<std::size_t>(k)])) return;
    }
    for (std::size_t i = 0; i < used_classes_.size(); ++i) {
        for (std::size_t j = i + 1; j < used_classes_.size(); ++j) {
            const SizeClass& a = classes_[static_cast<std::size_t>(used_classes_[i])];
            const SizeClass& b = classes_[static_cast<std::size_t>(used_classes_[j])];
            if (!(a.members <= b.members ? pair_across(a, b) : pair_across(b, a))) return;
        }
    }
    candidates_ready_ = true;
}

void SphereIndex::list_pairs() {
    lists_ready_ = false;
    if (!candidates_ready_) return;
    // The candidates whose spheres of this step may meet, each in the lists
    // of both its records: count, turn counts into starts, place, and shift
    // the starts back as file_spheres does.
    const auto records = static_cast<std::size_t>(records_);
    std::fill(list_start_.begin(), list_start_.begin() + static_cast<std::ptrdiff_t>(records) + 1, 0u);
    std::size_t pair_count = 0;
    for (std::size_t k = 0; k < candidate_count_; ++k) {
        const Pair c = candidates_[k];
        if (clearly_apart(spheres_[static_cast<std::size_t>(c.a)], spheres_[static_cast<std::size_t>(c.b)])) continue;
        pairs_[pair_count++] = c;
        ++list_start_[static_cast<std::size_t>(c.a) + 1];
        ++list_start_[static_cast<std::size_t>(c.b) + 1];
    }
    for (std::size_t i = 1; i <= records; ++i) list_start_[i] += list_start_[i - 1];
    for (std::size_t k = 0; k < pair_count; ++k) {
        listed_[list_start_[static_cast<std::size_t>(pairs_[k].a)]++] = pairs_[k].b;
        listed_[list_start_[static_cast<std::size_t>(pairs_[k].b)]++] = pairs_[k].a;
    }
    for (std::size_t i = records; i > 0; --i) list_start_[i] = list_start_[i - 1];
    list_start_[0] = 0;
    for (std::size_t i = 0; i < records; ++i) sort_indexes(listed_.data() + list_start_[i], listed_.data() + list_start_[i + 1]);
    std::fill(touched_.begin(), touched_.begin() + static_cast<std::ptrdiff_t>(list_start_[records]), std::uint8_t{0});
    lists_ready_ = true;
}

void SphereIndex::mark_contact(std::int32_t lower, std::int32_t higher) {
    const std::span<const std::int32_t> list = listed(higher);
    // Lists are symmetric: lower is in higher's list when higher is in its.
    const auto at = std::lower_bound(list.begin(), list.end(), lower);
    if (at != list.end() && *at == lower) touched_[list_first(higher) + static_cast<std::uint32_t>(at - list.begin())] = 1;
}

std::span<const std::int32_t> SphereIndex::around(std::int32_t p) {
    if (lists_ready_) {
        const std::uint32_t first = list_start_[static_cast<std::size_t>(p)];
        return {listed_.data() + first, list_start_[static_cast<std::size_t>(p) + 1] - first};
    }
    found_count_ = 0;
    switch (reach_[p]) {
        case Reach::nowhere:
            break;
        case Reach::everywhere:
            for (std::int32_t o = 0; o < records_; ++o) {
                if (o != p && reach_[o] != Reach::nowhere) found_[found_count_++] = o;
            }
            break;
        case Reach::sphere:
            for (const int k : used_classes_) gather_in_class(p, spheres_[p], classes_[static_cast<std::size_t>(k)]);
            for (const std::int32_t o : everywhere_) {
                if (o != p) found_[found_count_++] = o;
            }
            sort_found();
            break;
    }
    return {found_.data(), found_count_};
}

}  // namespace vx::products
