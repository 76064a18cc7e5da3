// The intersection test: a separating-axis test over the six face normals
// of two boxes, after two cheap rejections that read only the boxes stored
// at the start of the products step (no extent; bounding spheres apart).
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "products.hpp"

namespace vx::products {
namespace {

// The line left for an axis that findProjection does not know, byte for
// byte (Latin-1), in "trace.txt" in the folder of the program's trace file.
constexpr char kUnknownAxisLine[] = "on est en d\xe9" "faut\n";
constexpr char kUnknownAxisFile[] = "trace.txt";

void note_unknown_axis() {
    // The folder is the trace file's; a trace file named without one lies in
    // the current folder, and so does this file.
    char path[VX_FILE_NAME_CAPACITY + sizeof kUnknownAxisFile];
    const std::size_t name_length = strnlen(tracename, VX_FILE_NAME_CAPACITY);
    std::size_t folder = name_length;
    while (folder > 0 && tracename[folder - 1] != '/') --folder;
    std::memcpy(path, tracename, folder);
    std::memcpy(path + folder, kUnknownAxisFile, sizeof kUnknownAxisFile);
    // Nothing is written when the file cannot be opened: the test goes on.
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return;
    std::fwrite(kUnknownAxisLine, 1, sizeof kUnknownAxisLine - 1, file);
    std::fclose(file);
}

bool outside_unit(double value) { return value < 0.0 || value > 1.0; }

// An interval apart from [0, 1]; a NaN bound counts as inside.
bool apart_from_unit(double lo, double hi) {
    if (!outside_unit(lo) || !outside_unit(hi)) return false;
    if (lo > 1.0) return true;
    return hi < 0.0;
}

// The far corner across from adjacent corner n (1, 2, 3): (1,1,1) with
// component n set to 0.
Vector opposite_of_adjacent(int n) { return kOnes - unit_point(n - 1); }

// findProjection along coordinate 0, 1 or 2: whether the box placed by m
// lies apart from [0, 1] there, with the estimated interval.
bool projection(double lo0, double hi0, const Matrix& m, int coordinate, double& low, double& high) {
    const auto at = [&](const Vector& q) { return transformed_coordinate(m, q, coordinate); };
    // Five corners: the origin, its three neighbours, and the corner across
    // from the neighbour that extends the interval furthest (or (1,1,1)).
    int best = 0;
    if (hi0 >= lo0) {
        low = lo0;
        for (int n = 1; n <= 3; ++n) {
            if (const double v = at(unit_point(n - 1)); v < low) {
                low = v;
                best = n;
            }
        }
        high = best != 0 ? at(opposite_of_adjacent(best)) : hi0;
    } else {
        high = lo0;
        for (int n = 1; n <= 3; ++n) {
            if (const double v = at(unit_point(n - 1)); v > high) {
                high = v;
                best = n;
            }
        }
        low = best != 0 ? at(opposite_of_adjacent(best)) : hi0;
    }
    return apart_from_unit(low, high);
}

bool all_numbers(const Matrix& m) {
    bool numbers = true;
    for (const double e : m.entry) numbers &= std::isfinite(e);
    return numbers;
}

// The w of a relative placement at the corners the separating test reads:
// the three neighbours of the origin, the corners across from them,
// (0,1,1), (1,0,1) and (1,1,0), and the far corner (1,1,1).
struct CornerWs {
    double unit[3];
    double across[3];
    double far;
};

inline constexpr CornerWs kNoPerspective{{1.0, 1.0, 1.0}, {1.0, 1.0, 1.0}, 1.0};

CornerWs corner_ws(const Matrix& r) {
    return {{at(r, 3, 0) + 1.0, at(r, 3, 1) + 1.0, at(r, 3, 2) + 1.0},
            {(at(r, 3, 1) + at(r, 3, 2)) + 1.0, (at(r, 3, 0) + at(r, 3, 2)) + 1.0, (at(r, 3, 0) + at(r, 3, 1)) + 1.0},
            ((at(r, 3, 0) + at(r, 3, 1)) + at(r, 3, 2)) + 1.0};
}

// The separating test along one axis of the frame, on row `row` of a
// relative placement whose entries are all numbers, with the terms that
// multiply a corner's 0 or 1 left out. The full form adds such a term as a
// zero (a number times 0) or the entry itself (times 1); leaving it out can
// change nothing but the sign of a zero, and the test only compares values,
// where -0 equals +0. The projection is decided as projection decides it,
// on the same values. (Inlined where it is called, so that with the w of
// a placement without perspective, all 1, every division drops out.)
[[gnu::always_inline]] inline bool apart_along(const double row[4], const CornerWs& w) {
    const double t = row[3];
    const double lo0 = t;  // the origin's image: w is 1 there
    const double hi0 = divided_by_w(((row[0] + row[1]) + row[2]) + t, w.far);
    const double unit[3] = {divided_by_w(row[0] + t, w.unit[0]), divided_by_w(row[1] + t, w.unit[1]),
                            divided_by_w(row[2] + t, w.unit[2])};
    const auto across = [&](int n) {
        const double v = n == 1 ? (row[1] + row[2]) + t : n == 2 ? (row[0] + row[2]) + t : (row[0] + row[1]) + t;
        return divided_by_w(v, w.across[n - 1]);
    };
    double low = 0.0, high = 0.0;
    int best = 0;
    if (hi0 >= lo0) {
        low = lo0;
        for (int n = 1; n <= 3; ++n) {
            if (unit[n - 1] < low) {
                low = unit[n - 1];
                best = n;
            }
        }
        high = best != 0 ? across(best) : hi0;
    } else {
        high = lo0;
        for (int n = 1; n <= 3; ++n) {
            if (unit[n - 1] > high) {
                high = unit[n - 1];
                best = n;
            }
        }
        low = best != 0 ? across(best) : hi0;
    }
    return apart_from_unit(low, high);
}

// Whether the box placed by `placed` lies apart from the unit box of the
// frame whose inverse is `to_frame` along one of the frame's three axes.
bool separated_by_product(const Matrix& to_frame, const Matrix& placed) {
    Matrix relative;
    multiply_into(to_frame, kOnes, placed, kOnes, relative);
    if (all_numbers(relative)) {
        const CornerWs w = corner_ws(relative);
        for (int a = 0; a < 3; ++a) {
            if (apart_along(&relative.entry[4 * a], w)) return true;
        }
        return false;
    }
    const Vector p0 = apply(relative, {0.0, 0.0, 0.0});
    const Vector p1 = apply(relative, kOnes);
    for (int coordinate = 0; coordinate < 3; ++coordinate) {
        double lo = 0.0, hi = 0.0;
        if (projection(component(p0, coordinate), component(p1, coordinate), relative, coordinate, lo, hi)) return true;
    }
    return false;
}

bool finite_row(const double row[4]) {
    return std::isfinite(row[0]) && std::isfinite(row[1]) && std::isfinite(row[2]) && std::isfinite(row[3]);
}

// separated_by_product, one row of the relative placement at a time, for
// two placements without perspective (m(3,0), m(3,1), m(3,2) zero). Each
// axis of the frame reads one row of the product and its row 3, and that
// row 3 holds products of a zero with numbers, zeros that make every w
// exactly 1 (so long as the rows read are numbers: a placed box that is not
// a number spreads NaN or infinity into every row). A row is computed as
// the product computes it, operation for operation: (3,3) of `placed` is
// read as the product reads it, (3,3) of `to_frame` never. Most pairs are
// apart along the first or second axis, and the rest of the product is
// never computed. A row that is not all numbers leaves it to the product.
bool separated_in_frame_of(const Matrix& to_frame, const Matrix& placed) {
    const bool flat = at(to_frame, 3, 0) == 0.0 && at(to_frame, 3, 1) == 0.0 && at(to_frame, 3, 2) == 0.0 &&
                      at(placed, 3, 0) == 0.0 && at(placed, 3, 1) == 0.0 && at(placed, 3, 2) == 0.0;
    if (!flat) return separated_by_product(to_frame, placed);
    const double b33 = near_one(at(placed, 3, 3)) ? at(placed, 3, 3) : 1.0;
    for (int a = 0; a < 3; ++a) {
        double row[4];
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += at(to_frame, a, k) * (k == 3 && j == 3 ? b33 : at(placed, k, j));
            row[j] = sum;
        }
        if (!finite_row(row)) return separated_by_product(to_frame, placed);
        if (apart_along(row, kNoPerspective)) return true;
    }
    return false;
}

// Per record, its cells as the test last read them and, once computed, the
// inverse of that matrix with its factors. An object tested against several
// others in one step (and every object in a dense plant is) is inverted once
// per placement, not once per test; an object that only moved since (the
// most frequent change by far) has only the inverse's translation solved
// again. The cells are compared bit for bit, so a move, a simulator's write
// or a NaN is always seen.
struct KnownInverse {
    StoredMatrix from;
    Factors factors;
    Matrix inverse;
    bool known = false;
    bool movable = false;  // factors and inverse can follow a move
    bool moved = false;    // and must, before the inverse is read
};

std::vector<KnownInverse> g_inverses;  // one per record bound

// Reads i's cells into m; its entry, whose inverse is current when known.
KnownInverse* read_cells(std::int32_t i, Matrix& m) {
    const FloatCell* cells = record(i).cells.floatCells;
    if (static_cast<std::size_t>(i) >= g_inverses.size()) {
        load_widened(cells, m);
        return nullptr;
    }
    KnownInverse& k = g_inverses[static_cast<std::size_t>(i)];
    const CellChanges changed = load_and_keep(cells, k.from, m);
    if (!changed.any) return &k;
    // Only moved: the inverse follows when its factors allow it, once it is
    // asked for (a test often needs one object's inverse only).
    k.known = k.known && k.movable && !changed.besides_a_move;
    k.moved = k.known;
    return &k;
}

// The inverse of m, the matrix read for entry k: kept, or computed (and kept).
const Matrix& inverse_for(KnownInverse* k, const Matrix& m, Matrix& scratch) {
    if (k == nullptr) {
        invert_into(m, scratch);
        return scratch;
    }
    if (k->moved) {
        k->known = move_inverse(m, k->factors, k->inverse);
        k->moved = false;
    }
    if (!k->known) {
        factor_into(m, k->factors);
        solve_inverse(k->factors, k->inverse);
        k->movable = movable(m, k->factors, k->inverse);
        k->known = true;
    }
    return k->inverse;
}

}  // namespace

bool reserve_intersection_storage(std::int32_t records) {
    try {
        g_inverses.assign(static_cast<std::size_t>(records), KnownInverse{});
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

void release_intersection_storage() { std::vector<KnownInverse>().swap(g_inverses); }

void prefetch_inverse(std::int32_t i) {
    if (static_cast<std::size_t>(i) >= g_inverses.size()) return;
    const char* const k = reinterpret_cast<const char*>(&g_inverses[static_cast<std::size_t>(i)]);
    for (std::size_t at = 0; at < sizeof(KnownInverse); at += 64) __builtin_prefetch(k + at);
}

}  // namespace vx::products

using namespace vx::products;

extern "C" {

int intersects(int32_t a, int32_t b) {
    if (!in_range(a) || !in_range(b)) return 0;
    const Parallelepiped& box_a = record(a).box;
    const Parallelepiped& box_b = record(b).box;
    if (zero_extent(box_a) || zero_extent(box_b)) return 0;
    if (spheres_apart(bounding_sphere(box_a), bounding_sphere(box_b))) return 0;
    Matrix ma, mb, scratch;
    KnownInverse* const kept_a = read_cells(a, ma);
    KnownInverse* const kept_b = read_cells(b, mb);
    if (separated_in_frame_of(inverse_for(kept_a, ma, scratch), mb)) return 0;
    return separated_in_frame_of(inverse_for(kept_b, mb, scratch), ma) ? 0 : 1;
}

char findProjection(double lo0, double hi0, Matrix m, double* lo, double* hi, short axis) {
    int coordinate = axis - 1;
    if (axis < 1 || axis > 3) {
        note_unknown_axis();
        coordinate = 0;
    }
    double low = 0.0, high = 0.0;
    const bool apart = projection(lo0, hi0, m, coordinate, low, high);
    if (lo != nullptr) *lo = low;
    if (hi != nullptr) *hi = high;
    return apart ? 1 : 0;
}

}  // extern "C"
