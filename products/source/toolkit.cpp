// The matrix and vector toolkit under every placement operation.
//
// Two conventions set it apart from an ordinary 4x4 library. Element (3,3)
// carries the cosine of the object's rotation about Y, which lets `rotation`
// tell a Y angle beyond +-90 degrees from its mirror image; the product keeps
// that cosine meaningful through composition. And the inverse pivots columns
// only where a diagonal element is negligible, so the common placements (no
// zero on the diagonal) are inverted without any reordering.
//
// Everything is passed by value and nothing is kept between calls, so the
// operations are reentrant and never touch the heap.
#include <array>

#include "products.hpp"
#include "vx/numbers.hpp"

namespace vx::products {
namespace {

constexpr double at(const Matrix& m, int r, int c) { return m.entry[4 * r + c]; }
constexpr double& at(Matrix& m, int r, int c) { return m.entry[4 * r + c]; }

constexpr Matrix identity() {
    Matrix m{};
    for (int k = 0; k < 4; ++k) at(m, k, k) = 1.0;
    return m;
}

// The identity turned by `radians` in the plane of axes i and j, from i
// towards j: X turns (1, 2), Y turns (2, 0), Z turns (0, 1).
Matrix plane_rotation(int i, int j, double radians) {
    Matrix m = identity();
    const double c = std::cos(radians), s = std::sin(radians);
    at(m, i, i) = c;
    at(m, i, j) = -s;
    at(m, j, i) = s;
    at(m, j, j) = c;
    return m;
}

bool near_one(double value) { return std::fabs(value - 1.0) <= kTolerance; }

// The Y angle of a factor once its sizes are removed. The size matrix has
// (3,3) = 1, so this inner product never recurses further.
double y_angle_without_sizes(const Matrix& m, Vector invSize) {
    return rotation(mulMatrix_with_(m, kOnes, mScale(invSize.x, invSize.y, invSize.z), kOnes)).y;
}

// What the product uses for a(3,3) and b(3,3), and what it puts into its own
// (3,3). A factor whose (3,3) is near one carries no Y cosine: the other
// factor's cosine passes through. When both carry one, the angles add.
struct CornerRule {
    double a33;
    double b33;
    double result33;
};

CornerRule corner_rule(const Matrix& a, Vector invSizeA, const Matrix& b, Vector invSizeB) {
    const double a33 = at(a, 3, 3);
    const double b33 = at(b, 3, 3);
    const bool a_one = near_one(a33);
    const bool b_one = near_one(b33);
    if (a_one && b_one) return {a33, b33, 1.0};
    if (a_one) return {a33, 1.0, b33};
    if (b_one) return {1.0, b33, a33};
    const double y = y_angle_without_sizes(a, invSizeA) + y_angle_without_sizes(b, invSizeB);
    return {1.0, 1.0, std::cos(y)};
}

// Where element (3,3) would be read, the rule's stand-in is read instead.
double factor(const Matrix& m, int r, int c, double stand_in) { return r == 3 && c == 3 ? stand_in : at(m, r, c); }

// Unit-length vector (a zero vector becomes NaNs, as IEEE arithmetic has it).
Vector normalised(Vector v) { return v * (1.0 / length(v)); }

Vector row(const Matrix& m, int r) { return {at(m, r, 0), at(m, r, 1), at(m, r, 2)}; }

// Columns of the inverse that are swapped so that no negligible element
// stays on the diagonal. Every test reads the matrix as it is before any
// swap; element (3,3) is never examined.
std::array<int, 4> pivot_columns(const Matrix& a) {
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
void decompose(Matrix& p) {
    for (int k = 0; k < 3; ++k) {
        for (int i = k + 1; i < 4; ++i) {
            const double f = at(p, i, k) / at(p, k, k);
            for (int j = k; j < 4; ++j) at(p, i, j) -= f * at(p, k, j);
            at(p, i, k) = f;
        }
    }
}

}  // namespace

double transformed_coordinate(const Matrix& m, Vector p, int axis) {
    // 1.0 stands where m(3,3) would be: that element carries a cosine.
    const double w = at(m, 3, 0) * p.x + at(m, 3, 1) * p.y + at(m, 3, 2) * p.z + 1.0;
    return (at(m, axis, 0) * p.x + at(m, axis, 1) * p.y + at(m, axis, 2) * p.z + at(m, axis, 3)) / w;
}

Vector apply(const Matrix& m, Vector p) {
    Vector out{};
    transformPoint_into_(m, p, &out);
    return out;
}

Matrix multiply(const Matrix& a, const Matrix& b) { return mulMatrix_with_(a, kOnes, b, kOnes); }

Matrix inverse(const Matrix& a) {
    Matrix out{};
    inverseTransformation_(a, &out);
    return out;
}

bool all_zero(const Matrix& m) {
    for (const double e : m.entry) {
        if (e != 0.0) return false;
    }
    return true;
}

}  // namespace vx::products

using namespace vx::products;

extern "C" {

void setUnity(Matrix* m) {
    if (m != nullptr) *m = identity();
}

Matrix mTranslation(double tx, double ty, double tz) {
    Matrix m = identity();
    at(m, 0, 3) = tx;
    at(m, 1, 3) = ty;
    at(m, 2, 3) = tz;
    return m;
}

Matrix mScale(double sx, double sy, double sz) {
    Matrix m = identity();
    at(m, 0, 0) = sx;
    at(m, 1, 1) = sy;
    at(m, 2, 2) = sz;
    return m;
}

Matrix mRotationX(double radians) { return plane_rotation(1, 2, radians); }

Matrix mRotationY(double radians) {
    Matrix m = plane_rotation(2, 0, radians);
    at(m, 3, 3) = std::cos(radians);  // the Y cosine that rotation() reads back
    return m;
}

Matrix mRotationZ(double radians) { return plane_rotation(0, 1, radians); }

void saveMatrix_on_(Matrix m, ObjectCells o) {
    if (o.floatCells == nullptr) return;
    for (int k = 0; k < kMatrixCells; ++k) vx_store_f32(&o.floatCells[k].cur, vx::to_float(m.entry[k]));
}

Matrix createMatrixFrom_(ObjectCells o) {
    Matrix m{};
    if (o.floatCells == nullptr) return m;
    for (int k = 0; k < kMatrixCells; ++k) m.entry[k] = static_cast<double>(vx_load_f32(&o.floatCells[k].cur));
    return m;
}

void transformPoint_into_(Matrix m, Vector p, Vector* out) {
    if (out != nullptr) *out = {transformed_coordinate(m, p, 0), transformed_coordinate(m, p, 1), transformed_coordinate(m, p, 2)};
}

Matrix mulMatrix_with_(Matrix a, Vector invSizeA, Matrix b, Vector invSizeB) {
    const CornerRule rule = corner_rule(a, invSizeA, b, invSizeB);
    Matrix out{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += factor(a, i, k, rule.a33) * factor(b, k, j, rule.b33);
            at(out, i, j) = sum;
        }
    }
    at(out, 3, 3) = rule.result33;
    return out;
}

void mulMatrix_with_into_(Matrix a, Vector invSizeA, Matrix b, Vector invSizeB, Matrix* out) {
    if (out != nullptr) *out = mulMatrix_with_(a, invSizeA, b, invSizeB);
}

void inverseTransformation_(Matrix a, Matrix* out) {
    if (out == nullptr) return;
    at(a, 3, 3) = 1.0;
    const std::array<int, 4> perm = pivot_columns(a);
    Matrix p{};
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 4; ++c) at(p, i, c) = at(a, i, perm[c]);
    }
    decompose(p);
    Matrix q{};
    for (int c = 0; c < 4; ++c) {
        double e[4] = {0.0, 0.0, 0.0, 0.0};
        double x[4];
        e[c] = 1.0;
        solve_(p, e, x);
        for (int i = 0; i < 4; ++i) at(q, i, c) = x[i];
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) at(*out, i, j) = at(q, perm[i], j);
    }
}

void solve_(Matrix lu, const double b[4], double x[4]) {
    if (b == nullptr || x == nullptr) return;
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

Vector rotation(Matrix m) {
    // Orthonormalise the rows, so that sizes and shear drop out.
    Vector u = normalised(row(m, 0));
    Vector v = row(m, 1);
    v = normalised(v - u * dot(u, v));
    Vector w = row(m, 2);
    w = w - u * dot(u, w);
    w = normalised(w - v * dot(v, w));
    Vector uv{};
    crossProduct(v, w, &uv);
    if (dot(u, uv) < 0.0) {
        u = u * -1.0;
        v = v * -1.0;
        w = w * -1.0;
    }
    const double c = at(m, 3, 3);  // cos(Y), with its sign
    if (c != 0.0) return {arcTan(w.y / c, w.z / c), arcTan(-w.x, c), arcTan(v.x / c, u.x / c)};
    // Y at exactly +-90 degrees: X and Z are not separable, Z is taken as 0.
    // Y follows the same rule as above with a zero cosine: +-pi/2 by the sign
    // of its sine, so the answer depends on m alone.
    const double x = -w.x >= 1.0 ? arcTan(v.x, v.y) : arcTan(-v.x, v.y);
    return {x, arcTan(-w.x, 0.0), 0.0};
}

double arcTan(double y, double x) {
    if (y == 0.0) return x > 0.0 ? 0.0 : kPi;
    if (x == 0.0) return y > 0.0 ? kHalfPi : -kHalfPi;
    if (x > 0.0) return std::atan(y / x);
    return std::atan(y / x) + kPi;
}

void crossProduct(Vector u, Vector v, Vector* out) {
    if (out != nullptr) *out = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

void mulScalar_(Vector v, double k, Vector* out) {
    if (out != nullptr) *out = v * k;
}

void addVector_(Vector u, Vector v, Vector* out) {
    if (out != nullptr) *out = u + v;
}

}  // extern "C"
