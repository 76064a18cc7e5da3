// What the library's modules share: the toolkit's constants, small vector
// arithmetic, the index rule and the records' cells, and the bounding
// spheres that both the intersection test and the products step read.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "matrix.hpp"
#include "vx_products.h"

namespace vx::products {

// The constants of the placement arithmetic. Angles are converted with this
// value of pi, not the library's: placements that the simulator recorded
// with it must read back the same angles.
inline constexpr double kPi = 3.1415926535898;
inline constexpr double kHalfPi = 1.5707963267949;
inline constexpr Vector kOnes{1.0, 1.0, 1.0};

// What a command answers when it was not carried out.
inline constexpr std::int32_t kRefused = -1;

constexpr double degrees_to_radians(double degrees) { return kPi * degrees / 180.0; }
constexpr double radians_to_degrees(double radians) { return radians * 180.0 / kPi; }

// Positions of the translation in a matrix, per axis.
inline constexpr int kTranslationEntry[3] = {3, 7, 11};

// ---- Vectors -----------------------------------------------------------------

constexpr Vector operator+(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vector operator-(Vector a, Vector b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vector operator*(Vector a, double k) { return {a.x * k, a.y * k, a.z * k}; }
constexpr double dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double length(Vector a) { return std::sqrt(dot(a, a)); }

// Component 0, 1 or 2 of a vector (x, y, z).
constexpr double component(const Vector& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// A vector with `value` on axis 0, 1 or 2 and exactly 0 on the others.
constexpr Vector with_component(int axis, double value) {
    return {axis == 0 ? value : 0.0, axis == 1 ? value : 0.0, axis == 2 ? value : 0.0};
}

// The local unit point along axis 0, 1 or 2.
constexpr Vector unit_point(int axis) { return with_component(axis, 1.0); }

// Every entry is 0.0: a matrix that was never recorded or placed.
bool all_zero(const Matrix& m);

// ---- Sizes ----------------------------------------------------------------

// The lengths of the images of the three local unit edges.
Vector sizes_of(const Matrix& m);

// (1/DX, 1/DY, 1/DZ) of m.
Vector reciprocal_sizes(const Matrix& m);

// m with its sizes divided out: the object's origin corner and orientation
// with lengths in world units. (The size matrix carries no Y cosine, so the
// product never needs reciprocal sizes of its own here.)
Matrix unscaled(const Matrix& m);

// ---- The table --------------------------------------------------------------

// Records that produitsInit bound, and how many of them are actors (0 until
// a start-up succeeds). Only produitsInit writes them.
struct BoundTable {
    std::int32_t records = 0;
    std::int32_t actors = 0;
};
inline BoundTable g_bound;

// The table's own counts are read through these, so that a count changed
// after start-up can never reach a record that was not bound.
inline std::int32_t record_count() { return std::min(g_bound.records, std::max(NbActeursEtProduits, 0)); }

// Never fewer actors than were bound: the step's storage for product pairs
// starts at the first product bound.
inline std::int32_t actor_count() { return std::min(std::max(NbActeurs, g_bound.actors), record_count()); }

// 0 <= i < record_count(): an index the accessors accept.
inline bool in_range(std::int32_t i) { return i >= 0 && i < record_count(); }

inline ActeurProduit& record(std::int32_t i) { return TableActeursProduits[i]; }

// The status lives in the object's int cell, where the simulator may write
// it too: every test reads it afresh.
inline std::int32_t status_of(std::int32_t i) { return vx_load_i32(&record(i).cells.intCells->cur); }

// In range and not killed: an index the queries and commands accept.
inline bool valid(std::int32_t i) { return in_range(i) && status_of(i) != VX_OBJECT_KILLED; }

inline Matrix matrix_of(std::int32_t i) { return load_matrix(record(i).cells); }

// ---- Bounding spheres of the stored boxes -----------------------------------

// The images of local (0,0,0) and (1,1,1): the box the step stores.
inline Parallelepiped box_of(const Matrix& m) { return {apply(m, {0.0, 0.0, 0.0}), apply(m, kOnes)}; }

// A box whose two corners coincide in every coordinate has no extent and
// never touches anything.
inline bool zero_extent(const Parallelepiped& b) {
    return b.c0.x - b.c1.x == 0.0 && b.c0.y - b.c1.y == 0.0 && b.c0.z - b.c1.z == 0.0;
}

struct Sphere {
    Vector centre;
    double radius;
};

inline Sphere bounding_sphere(const Parallelepiped& b) {
    const Vector centre{(b.c0.x + b.c1.x) * 0.5, (b.c0.y + b.c1.y) * 0.5, (b.c0.z + b.c1.z) * 0.5};
    return {centre, length(b.c0 - centre)};
}

// Spheres that merely touch are not apart; a NaN anywhere never separates.
inline bool spheres_apart(const Sphere& a, const Sphere& b) {
    const double reach = a.radius + b.radius;
    const Vector d = a.centre - b.centre;
    return reach * reach < dot(d, d);
}

// ---- Motion, shared by the commands that build on it ----------------------------

// i's index when done, -1 when i names no live object (or, for resize_to,
// when a size is 0 or not finite).
std::int32_t move_by(std::int32_t i, double dx, double dy, double dz);
// (Three doubles travel in registers; a Vector would go through memory.)
inline std::int32_t move_by(std::int32_t i, Vector d) { return move_by(i, d.x, d.y, d.z); }
std::int32_t rotate_by(std::int32_t i, Vector degrees, Vector centre);
std::int32_t resize_to(std::int32_t i, Vector sizes);

// ---- The step's storage -------------------------------------------------------

// Allocates what the products step needs for `records` records of which
// `actors` are actors; false when the memory is not there.
bool reserve_step_storage(std::int32_t records, std::int32_t actors);
void release_step_storage();

// Room for the inverses that the intersection test keeps, one per record;
// false when the memory is not there.
bool reserve_intersection_storage(std::int32_t records);
void release_intersection_storage();

// Asks for i's kept inverse to be brought into the cache ahead of a test.
void prefetch_inverse(std::int32_t i);

// Asks for i's matrix cells and status to be brought into the cache.
inline void prefetch_cells(std::int32_t i) {
    const ObjectCells& cells = record(i).cells;
    const char* const floats = reinterpret_cast<const char*>(cells.floatCells);
    for (std::size_t at = 0; at < kMatrixCells * sizeof(FloatCell); at += 64) __builtin_prefetch(floats + at);
    __builtin_prefetch(cells.intCells);
}

// A products step is under way (a behaviour is running).
bool step_running();

}  // namespace vx::products
