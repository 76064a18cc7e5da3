// The matrix and vector toolkit under every placement operation.
//
// Two conventions set it apart from an ordinary 4x4 library. Element (3,3)
// carries the cosine of the object's rotation about Y, which lets `rotation`
// tell a Y angle beyond +-90 degrees from its mirror image; the product keeps
// that cosine meaningful through composition. And the inverse pivots columns
// only where a diagonal element is negligible, so the common placements (no
// zero on the diagonal) are inverted without any reordering.
//
// The entry points pass matrices by value, as generated code calls them, and
// share their arithmetic with the rest of the library through the inline
// kernels of matrix.hpp. Nothing is kept between calls, so the operations
// are reentrant and never touch the heap.
#include <array>

#include "products.hpp"
#include "vx/numbers.hpp"

namespace vx::products {
namespace {

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

// The Y angle of a factor once its sizes are removed. The size matrix has
// (3,3) = 1, so this inner product never recurses further.
double y_angle_without_sizes(const Matrix& m, Vector invSize) {
    return rotation(mulMatrix_with_(m, kOnes, mScale(invSize.x, invSize.y, invSize.z), kOnes)).y;
}

// Unit-length vector (a zero vector becomes NaNs, as IEEE arithmetic has it).
Vector normalised(Vector v) { return v * (1.0 / length(v)); }

Vector row(const Matrix& m, int r) { return {at(m, r, 0), at(m, r, 1), at(m, r, 2)}; }

}  // namespace

double combined_y_angle(const Matrix& a, Vector invSizeA, const Matrix& b, Vector invSizeB) {
    return y_angle_without_sizes(a, invSizeA) + y_angle_without_sizes(b, invSizeB);
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

Matrix mTranslation(double tx, double ty, double tz) { return translation(tx, ty, tz); }

Matrix mScale(double sx, double sy, double sz) { return scale(sx, sy, sz); }

Matrix mRotationX(double radians) { return plane_rotation(1, 2, radians); }

Matrix mRotationY(double radians) {
    Matrix m = plane_rotation(2, 0, radians);
    at(m, 3, 3) = std::cos(radians);  // the Y cosine that rotation() reads back
    return m;
}

Matrix mRotationZ(double radians) { return plane_rotation(0, 1, radians); }

void saveMatrix_on_(Matrix m, ObjectCells o) {
    if (o.floatCells != nullptr) store(narrowed(m), o.floatCells);
}

Matrix createMatrixFrom_(ObjectCells o) {
    return load_matrix(o);
}

void transformPoint_into_(Matrix m, Vector p, Vector* out) {
    if (out != nullptr) *out = apply(m, p);
}

Matrix mulMatrix_with_(Matrix a, Vector invSizeA, Matrix b, Vector invSizeB) {
    Matrix out;
    multiply_into(a, invSizeA, b, invSizeB, out);
    return out;
}

void mulMatrix_with_into_(Matrix a, Vector invSizeA, Matrix b, Vector invSizeB, Matrix* out) {
    if (out != nullptr) multiply_into(a, invSizeA, b, invSizeB, *out);
}

void inverseTransformation_(Matrix a, Matrix* out) {
    if (out != nullptr) invert_into(a, *out);
}

void solve_(Matrix lu, const double b[4], double x[4]) {
    if (b != nullptr && x != nullptr) solve(lu, b, x);
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
