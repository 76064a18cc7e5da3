// The toolkit's arithmetic kernels, inline, on matrices passed by reference.
//
// The C entry points take and return 128-byte matrices by value, which is
// what generated code expects; inside the library every placement operation
// (a motion command, the intersection test, the boxes the step stores) goes
// through these kernels instead, so that a matrix is loaded from its cells
// once and never copied through layers of calls. Each kernel performs the
// same floating-point operations in the same order as the entry point built
// on it, so every answer stays the same to the last bit.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "vx/numbers.hpp"
#include "vx_products.h"

namespace vx::products {

inline constexpr int kMatrixCells = 16;
inline constexpr double kTolerance = 0.0001;

constexpr double at(const Matrix& m, int r, int c) { return m.entry[4 * r + c]; }
constexpr double& at(Matrix& m, int r, int c) { return m.entry[4 * r + c]; }

constexpr Matrix identity() {
    Matrix m{};
    for (int k = 0; k < 4; ++k) at(m, k, k) = 1.0;
    return m;
}

constexpr Matrix translation(double tx, double ty, double tz) {
    Matrix m = identity();
    at(m, 0, 3) = tx;
    at(m, 1, 3) = ty;
    at(m, 2, 3) = tz;
    return m;
}

constexpr Matrix scale(double sx, double sy, double sz) {
    Matrix m = identity();
    at(m, 0, 0) = sx;
    at(m, 1, 1) = sy;
    at(m, 2, 2) = sz;
    return m;
}

// v / w. A placement's w is exactly 1, and v / 1.0 is v to the bit (v is the
// result of arithmetic, so never a signalling NaN): the division, by far the
// slowest operation of a transform, is left out then.
inline double divided_by_w(double v, double w) { return w == 1.0 ? v : v / w; }

// Coordinate 0, 1 or 2 of m applied to p. 1.0 stands where m(3,3) would be:
// that element carries a cosine.
inline double transformed_coordinate(const Matrix& m, const Vector& p, int axis) {
    const double w = at(m, 3, 0) * p.x + at(m, 3, 1) * p.y + at(m, 3, 2) * p.z + 1.0;
    return divided_by_w(at(m, axis, 0) * p.x + at(m, axis, 1) * p.y + at(m, axis, 2) * p.z + at(m, axis, 3), w);
}

// m applied to p (transformPoint_into_).
inline Vector apply(const Matrix& m, const Vector& p) {
    return {transformed_coordinate(m, p, 0), transformed_coordinate(m, p, 1), transformed_coordinate(m, p, 2)};
}

// ---- Products ------------------------------------------------------------------

inline bool near_one(double value) { return std::fabs(value - 1.0) <= kTolerance; }

// The Y angle of each factor, sizes removed, added: the rare case of a
// product of two matrices that both carry a Y cosine (out of line).
double combined_y_angle(const Matrix& a, Vector invSizeA, const Matrix& b, Vector invSizeB);

// out = a.b with element (3,3) of the factors read as a33 and b33 and that of
// the product set to result33. out may not be a or b.
inline void product_into(const Matrix& a, double a33, const Matrix& b, double b33, double result33, Matrix& out) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                const double f = i == 3 && k == 3 ? a33 : at(a, i, k);
                const double g = k == 3 && j == 3 ? b33 : at(b, k, j);
                sum += f * g;
            }
            at(out, i, j) = sum;
        }
    }
    at(out, 3, 3) = result33;
}

// mulMatrix_with_: a factor whose (3,3) is near one carries no Y cosine and
// the other's passes through; when both carry one, the angles add.
inline void multiply_into(const Matrix& a, const Vector& invSizeA, const Matrix& b, const Vector& invSizeB,
                          Matrix& out) {
    const double a33 = at(a, 3, 3);
    const double b33 = at(b, 3, 3);
    const bool a_one = near_one(a33);
    const bool b_one = near_one(b33);
    if (a_one && b_one) return product_into(a, a33, b, b33, 1.0, out);
    if (a_one) return product_into(a, a33, b, 1.0, b33, out);
    if (b_one) return product_into(a, 1.0, b, b33, a33, out);
    product_into(a, 1.0, b, 1.0, std::cos(combined_y_angle(a, invSizeA, b, invSizeB)), out);
}

// multiply_into(translation(t), m), for an m of finite entries, in twelve
// products instead of sixty-four. The translation's zeros and ones make the
// rest exact: 1.m(i,j) is m(i,j), each 0.m(k,j) is a zero, and a sum that
// starts at +0 and adds only zeros to an entry leaves m(i,j) + 0.0 (a -0
// turned to +0, as the full product turns it). (3,3) follows the product's
// rule for a factor without a Y cosine.
inline void translated_into(const Vector& t, const Matrix& m, Matrix& out) {
    const double m33 = at(m, 3, 3);
    const bool m_one = near_one(m33);
    const double b33 = m_one ? m33 : 1.0;
    const double by[3] = {t.x, t.y, t.z};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) at(out, i, j) = (at(m, i, j) + 0.0) + by[i] * (j == 3 ? b33 : at(m, 3, j));
    }
    for (int j = 0; j < 3; ++j) at(out, 3, j) = at(m, 3, j) + 0.0;
    at(out, 3, 3) = m_one ? 1.0 : m33;
}

// mulMatrix_with_ for factors with no size to remove.
inline Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix out;
    multiply_into(a, {1.0, 1.0, 1.0}, b, {1.0, 1.0, 1.0}, out);
    return out;
}

// ---- The inverse -------------------------------------------------------------------

// Columns of the inverse that are swapped so that no negligible element
// stays on the diagonal. Every test reads the matrix as it is before any
// swap; element (3,3) is never examined.
inline std::array<int, 4> pivot_columns(const Matrix& a) {
    std::array<int, 4> perm{0, 1, 2, 3};
    std::array<bool, 4> swapped{};
    for (int k = 0; k < 3; ++k) {
        if (swapped[k] || std::fabs(at(a, k, k)) > kTolerance) continue;
        double best = 0.0;
        int r = k;
        for (int j = 0; j < 4; ++j) {
            if (j == k || swapped[j]) continue;
            // Swapping brings a(k,j) to (k,k) and a(j,k) to (j,j): both must count.
            if (std::fabs(at(a, j, k)) > best && std::fabs(at(a, k, j)) > kTolerance) {
                best = std::fabs(at(a, j, k));
                r = j;
            }
        }
        if (r != k) {
            perm[k] = r;
            perm[r] = k;
            swapped[k] = swapped[r] = true;
        }
    }
    return perm;
}

// Doolittle decomposition in place, without further pivoting.
inline void decompose(Matrix& p) {
    for (int k = 0; k < 3; ++k) {
        for (int i = k + 1; i < 4; ++i) {
            const double f = at(p, i, k) / at(p, k, k);
            for (int j = k; j < 4; ++j) at(p, i, j) -= f * at(p, k, j);
            at(p, i, k) = f;
        }
    }
}

// solve_: lu.x = b by forward and back substitution.
inline void solve(const Matrix& lu, const double b[4], double x[4]) {
    double y[4] = {b[0], b[1], b[2], b[3]};
    for (int i = 1; i < 4; ++i) {
        double sum = 0.0;
        for (int j = 0; j < i; ++j) sum += at(lu, i, j) * y[j];
        y[i] -= sum;
    }
    for (int i = 3; i >= 0; --i) {
        double sum = 0.0;
        for (int j = i + 1; j < 4; ++j) sum += at(lu, i, j) * y[j];
        y[i] = (y[i] - sum) / at(lu, i, i);
    }
    for (int i = 0; i < 4; ++i) x[i] = y[i];
}

// The factors an inverse is solved from: a with a(3,3) taken as 1, its
// columns permuted by `perm`, decomposed in place into `lu`.
struct Factors {
    Matrix lu;
    std::array<int, 4> perm;
};

inline void factor_into(const Matrix& a, Factors& f) {
    Matrix one = a;
    at(one, 3, 3) = 1.0;
    f.perm = pivot_columns(one);
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 4; ++c) at(f.lu, i, c) = at(one, i, f.perm[c]);
    }
    decompose(f.lu);
}

// Column c of the inverse from its factors, as solve(lu, e_c) gives it,
// into q (before the rows are put back in order).
inline void solve_column(const Matrix& lu, int c, Matrix& q) {
    for (int i = 1; i < 4; ++i) {
        double sum = 0.0;
        for (int j = 0; j < i; ++j) sum += at(lu, i, j) * at(q, j, c);
        at(q, i, c) -= sum;
    }
    for (int i = 3; i >= 0; --i) {
        double sum = 0.0;
        for (int j = i + 1; j < 4; ++j) sum += at(lu, i, j) * at(q, j, c);
        // lu(3,3) of a placement is 1: its division is left out then.
        at(q, i, c) = divided_by_w(at(q, i, c) - sum, at(lu, i, i));
    }
}

inline void solve_inverse(const Factors& f, Matrix& out) {
    // solve(lu, e_c) for the four unit vectors e_c side by side: each column
    // goes through exactly the operations of its own solve, and the four
    // independent chains of divisions overlap instead of waiting on each
    // other.
    const Matrix& p = f.lu;
    Matrix q = identity();
    for (int i = 1; i < 4; ++i) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int j = 0; j < i; ++j) sum += at(p, i, j) * at(q, j, c);
            at(q, i, c) -= sum;
        }
    }
    for (int i = 3; i >= 0; --i) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int j = i + 1; j < 4; ++j) sum += at(p, i, j) * at(q, j, c);
            at(q, i, c) = (at(q, i, c) - sum) / at(p, i, i);
        }
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) at(out, i, j) = at(q, f.perm[i], j);
    }
}

// inverseTransformation_: the inverse of a with a(3,3) taken as 1. out may
// not be a.
inline void invert_into(const Matrix& a, Matrix& out) {
    Factors f;
    factor_into(a, f);
    solve_inverse(f, out);
}

// ---- The inverse of a placement moved ------------------------------------------
//
// A placement without perspective (a(3,0), a(3,1) and a(3,2) zero) that is
// moved changes only its translation, a(0,3), a(1,3) and a(2,3). Its inverse
// then changes only in column 3, and that column can be solved again from
// the factors kept, to the same bits as a whole inversion:
//  - the pivots look at a(3,k) before a translation can count, and a(3,k) is
//    zero, so the permutation leaves column 3 in place;
//  - the decomposition of columns 0 to 2 never reads column 3, which is
//    eliminated on its own, with the same multipliers, in the same order;
//  - solving for e_0..e_2 reads column 3 only as lu(i,3) times the solution's
//    fourth entry, which is +0 (a row of zeros eliminated from a zero), and
//    a finite lu(i,3) times +0 added to a sum that started at +0.0 changes
//    nothing, whatever the sign of the product: such a sum is never -0.
// `movable` tells whether those conditions hold for factors just made.

// Whether a (a placement without perspective), its factors and its inverse
// are numbers such that columns 0 to 2 of the inverse do not depend on the
// translation (see above).
inline bool movable(const Matrix& a, const Factors& f, const Matrix& inverse) {
    bool numbers = at(a, 3, 0) == 0.0 && at(a, 3, 1) == 0.0 && at(a, 3, 2) == 0.0 && f.perm[3] == 3;
    for (const double e : f.lu.entry) numbers &= std::isfinite(e);
    for (const double e : inverse.entry) numbers &= std::isfinite(e);
    for (int c = 0; c < 3; ++c) numbers &= std::bit_cast<std::uint64_t>(at(inverse, 3, c)) == 0;  // +0
    return numbers && at(f.lu, 3, 3) > 0.0;
}

// The factors and inverse of a movable placement, brought to the
// translation of `a` (the same placement moved). False, with f and inverse
// left half done, when the new factors are not all numbers: the caller then
// inverts a afresh.
inline bool move_inverse(const Matrix& a, Factors& f, Matrix& inverse) {
    for (int i = 0; i < 3; ++i) at(f.lu, i, 3) = at(a, i, 3);
    at(f.lu, 3, 3) = 1.0;
    for (int k = 0; k < 3; ++k) {
        for (int i = k + 1; i < 4; ++i) at(f.lu, i, 3) -= at(f.lu, i, k) * at(f.lu, k, 3);
    }
    Matrix q;  // only its column 3 is read and written
    for (int i = 0; i < 4; ++i) at(q, i, 3) = i == 3 ? 1.0 : 0.0;
    solve_column(f.lu, 3, q);
    bool numbers = at(f.lu, 3, 3) > 0.0;
    for (int i = 0; i < 4; ++i) {
        numbers &= std::isfinite(at(f.lu, i, 3));
        at(inverse, i, 3) = at(q, f.perm[i], 3);
        numbers &= std::isfinite(at(inverse, i, 3));
    }
    return numbers;
}

inline Matrix inverse(const Matrix& a) {
    Matrix out;
    invert_into(a, out);
    return out;
}

// ---- Cells ---------------------------------------------------------------------------

// The cur words of an object's 16 matrix cells, as stored (createMatrixFrom_
// widens them to double).
struct StoredMatrix {
    float entry[kMatrixCells];
};

// The float cells are read one by one (each is a separate word of the
// block), and every value read goes straight from its register into what
// needs it: a matrix rebuilt from a copy just written word by word would
// read it back in wider loads, which wait until the narrow stores retire.
constexpr std::uint32_t bits_of(float f) { return std::bit_cast<std::uint32_t>(f); }
inline constexpr std::uint32_t kFloatExponent = 0x7f800000u;
constexpr bool finite_bits(std::uint32_t bits) { return (bits & kFloatExponent) != kFloatExponent; }

// createMatrixFrom_ for cells that exist; whether every entry is a number.
inline bool load_widened(const FloatCell* cells, Matrix& m) {
    std::uint32_t not_finite = 0;
    for (int k = 0; k < kMatrixCells; ++k) {
        const float f = vx_load_f32(&cells[k].cur);
        m.entry[k] = static_cast<double>(f);
        not_finite |= static_cast<std::uint32_t>(!finite_bits(bits_of(f)));
    }
    return not_finite == 0;
}

// What changed in a placement's cells since they were last kept: anything,
// and anything besides the translation and (3,3) (entries 3, 7, 11, 15),
// which are all a move changes.
struct CellChanges {
    bool any;
    bool besides_a_move;
};

// Reads the cells widened into m, and tells how they differ from what
// `kept` holds, bit for bit (NaN and -0 included); `kept` then holds them.
inline CellChanges load_and_keep(const FloatCell* cells, StoredMatrix& kept, Matrix& m) {
    std::uint32_t moved = 0, besides = 0;
    for (int k = 0; k < kMatrixCells; ++k) {
        const float f = vx_load_f32(&cells[k].cur);
        m.entry[k] = static_cast<double>(f);
        const std::uint32_t differ = bits_of(f) ^ bits_of(kept.entry[k]);
        (k % 4 == 3 ? moved : besides) |= differ;
        kept.entry[k] = f;
    }
    return {(moved | besides) != 0, besides != 0};
}

inline constexpr double kFloatMax = std::numeric_limits<float>::max();

// A double as a cell stores it: rounded to single precision, magnitudes
// beyond the float range saturated as the runtime saturates them (the rare
// case, left to it).
inline float stored_float(double value) {
    return std::fabs(value) <= kFloatMax ? static_cast<float>(value) : vx::to_float(value);
}

// Every entry a number within the float range (false for NaN). Written
// without an early exit, so that it compiles to a few vector comparisons.
template <class Entries> bool within_float_range(const Entries& entries) {
    bool within = true;
    for (const auto e : entries) within &= std::fabs(static_cast<double>(e)) <= kFloatMax;
    return within;
}

inline StoredMatrix narrowed(const Matrix& m) {
    StoredMatrix s;
    if (within_float_range(m.entry)) {
        for (int k = 0; k < kMatrixCells; ++k) s.entry[k] = static_cast<float>(m.entry[k]);
    } else {
        for (int k = 0; k < kMatrixCells; ++k) s.entry[k] = stored_float(m.entry[k]);
    }
    return s;
}

// No NaN and no infinity: no entry whose exponent bits are all ones.
inline bool all_finite(const StoredMatrix& s) {
    std::uint32_t not_finite = 0;
    for (const float e : s.entry) not_finite |= static_cast<std::uint32_t>(!finite_bits(bits_of(e)));
    return not_finite == 0;
}

inline void store(const StoredMatrix& s, FloatCell* cells) {
    for (int k = 0; k < kMatrixCells; ++k) vx_store_f32(&cells[k].cur, s.entry[k]);
}

// createMatrixFrom_: zeros for an object without cells.
inline Matrix load_matrix(const ObjectCells& o) {
    Matrix m{};
    if (o.floatCells != nullptr) load_widened(o.floatCells, m);
    return m;
}

}  // namespace vx::products
