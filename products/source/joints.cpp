// Placement relative to other objects: moves along another object's axes,
// alignment of two faces along a reference axis, and joints that make an
// object follow a carrier. They write only through the motion commands.
#include "products.hpp"

namespace vx::products {
namespace {

Vector column(const Matrix& m, int c) { return {m.entry[c], m.entry[4 + c], m.entry[8 + c]}; }

// Moves i by d measured along the axes of j: j's orientation alone, without
// its sizes or position.
std::int32_t move_along_axes_of(std::int32_t i, std::int32_t j, Vector d) {
    const Vector a = rotation(unscaled(matrix_of(j)));
    const Matrix turn = multiply(mRotationZ(a.z), multiply(mRotationY(a.y), mRotationX(a.x)));
    move_by(i, apply(turn, d));
    return i;
}

std::int32_t move_relative_another_by(std::int32_t i, std::int32_t j, Vector d) {
    if (!valid(i) || !valid(j) || i == j) return kRefused;
    return move_along_axes_of(i, j, d);
}

// The two points of the object placed by mo that bound it along its local
// axis (1 X, 2 Y, 3 Z), in world units along the axes of the reference
// placed by mk. Another axis writes nothing.
void faces(int axis, const Matrix& mo, const Matrix& mk, Vector* p0, Vector* p1) {
    if (axis < 1 || axis > 3 || p0 == nullptr || p1 == nullptr) return;
    const Vector sizes = sizes_of(mk);
    const Matrix to_world = scale(sizes.x, sizes.y, sizes.z);
    const Matrix in_reference = multiply(inverse(mk), mo);
    *p0 = apply(to_world, apply(in_reference, {0.0, 0.0, 0.0}));
    *p1 = apply(to_world, apply(in_reference, unit_point(axis - 1)));
}

// The gap of smallest magnitude; on a tie the later of d3 and d4 wins, d2
// only when strictly smaller than d1.
double smallest_gap(double a0, double a1, double b0, double b1) {
    double gap = a0 - b0;
    if (std::fabs(a0 - b1) < std::fabs(gap)) gap = a0 - b1;
    if (std::fabs(a1 - b0) <= std::fabs(gap)) gap = a1 - b0;
    if (std::fabs(a1 - b1) <= std::fabs(gap)) gap = a1 - b1;
    return gap;
}

// Slides i along axis `axis` (0 X, 1 Y, 2 Z) of k until a face of i is flush
// with a face of j.
std::int32_t align(std::int32_t i, std::int32_t j, std::int32_t k, int axis) {
    if (!valid(i) || !valid(j) || !valid(k) || i == j) return kRefused;
    const Matrix mi = matrix_of(i), mj = matrix_of(j), mk = matrix_of(k);
    Matrix ui{}, uj{}, uk{};
    putMatrixToScale(record(i).cells, record(j).cells, record(k).cells, &ui, &uj, &uk);
    Vector v = column(uk, axis);
    v = v * (1.0 / length(v));
    // Which local axis of i and of j lies along v (k's own axis is known).
    const int known = axis + 1;
    const int axis_i = k == i ? known : isVectorColinearToAxes(v, ui);
    const int axis_j = k == j ? known : isVectorColinearToAxes(v, uj);
    if (axis_i == -1 || axis_j == -1) return kRefused;
    Vector a0{}, a1{}, b0{}, b1{};
    determinateFacesOfMyself(axis_i, record(k).cells, mi, mk, &a0, &a1);
    determinateFacesOfOther(axis_j, record(k).cells, mj, mk, &b0, &b1);
    const double gap =
        smallest_gap(component(a0, axis), component(a1, axis), component(b0, axis), component(b1, axis));
    // k may be i itself: the move is then along i's own axes.
    return move_along_axes_of(i, k, with_component(axis, -gap));
}

}  // namespace
}  // namespace vx::products

using namespace vx::products;

extern "C" {

int32_t moveRelativeAnotherBy(int32_t i, int32_t j, double dx, double dy, double dz) {
    return move_relative_another_by(i, j, {dx, dy, dz});
}
int32_t moveRelativeAnotherXBy(int32_t i, int32_t j, double d) { return move_relative_another_by(i, j, {d, 0, 0}); }
int32_t moveRelativeAnotherYBy(int32_t i, int32_t j, double d) { return move_relative_another_by(i, j, {0, d, 0}); }
int32_t moveRelativeAnotherZBy(int32_t i, int32_t j, double d) { return move_relative_another_by(i, j, {0, 0, d}); }

int32_t alignTwoObjectsRelativeThirdX(int32_t i, int32_t j, int32_t k) { return align(i, j, k, 0); }
int32_t alignTwoObjectsRelativeThirdY(int32_t i, int32_t j, int32_t k) { return align(i, j, k, 1); }
int32_t alignTwoObjectsRelativeThirdZ(int32_t i, int32_t j, int32_t k) { return align(i, j, k, 2); }

int32_t joint2Object(int32_t i, int32_t j, double cx, double cy, double cz) {
    if (!valid(i) || !valid(j) || i == j || tabOldJointedMatrix == nullptr) return kRefused;
    // The record belongs to the carrier: every object jointed to it shares it.
    Matrix& old = tabOldJointedMatrix[j];
    const Matrix now = matrix_of(j);
    if (all_zero(old)) {
        old = now;
        return i;
    }
    // The carrier's motion since the last call, in its previous frame; both
    // frames lose the carrier's current sizes.
    const Vector s = reciprocal_sizes(now);
    const Matrix sizeless = scale(s.x, s.y, s.z);
    Matrix motion = multiply(inverse(multiply(old, sizeless)), multiply(now, sizeless));
    const Vector shift{motion.entry[3], motion.entry[7], motion.entry[11]};
    for (const int entry : kTranslationEntry) motion.entry[entry] = 0.0;
    move_along_axes_of(i, j, shift);
    const Vector turn = rotation(motion);
    old = now;
    return rotate_by(i, {radians_to_degrees(turn.x), radians_to_degrees(turn.y), radians_to_degrees(turn.z)},
                     {cx, cy, cz});
}

void putMatrixToScale(ObjectCells a, ObjectCells b, ObjectCells c, Matrix* ua, Matrix* ub, Matrix* uc) {
    const ObjectCells objects[] = {a, b, c};
    Matrix* outputs[] = {ua, ub, uc};
    for (int n = 0; n < 3; ++n) {
        if (outputs[n] != nullptr) *outputs[n] = unscaled(createMatrixFrom_(objects[n]));
    }
}

signed char isVectorColinearToAxes(Vector v, Matrix m) {
    for (int c = 0; c < 3; ++c) {
        const Vector axis = column(m, c);
        const double cosine = dot(axis * (1.0 / length(axis)), v);
        if (std::fabs(cosine - 1.0) <= kTolerance || std::fabs(cosine + 1.0) <= kTolerance) {
            return static_cast<signed char>(c + 1);
        }
    }
    return -1;
}

void determinateFacesOfMyself(int axis, ObjectCells, Matrix mo, Matrix mk, Vector* p0, Vector* p1) {
    faces(axis, mo, mk, p0, p1);
}

void determinateFacesOfOther(int axis, ObjectCells, Matrix mo, Matrix mk, Vector* p0, Vector* p1) {
    // Along Y the other object's faces come in the opposite order; only the
    // choice between equal gaps depends on it.
    if (axis == 2) {
        faces(axis, mo, mk, p1, p0);
    } else {
        faces(axis, mo, mk, p0, p1);
    }
}

}  // extern "C"
