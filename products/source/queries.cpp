// Geometry queries: sizes, positions, centres, angles and positions in
// another object's frame. They read the matrices from the cells at the
// moment of the call, so a query after a motion command of the same cycle
// sees the moved object, and they never write.
#include <initializer_list>

#include "products.hpp"

namespace vx::products {
namespace {

// A query's answer for an index that names no live object.
constexpr double kNoObject = 0.0;

double edge_length(const Matrix& m, int axis) { return length(apply(m, unit_point(axis)) - apply(m, {0, 0, 0})); }

double size_of(std::int32_t i, int axis) { return valid(i) ? edge_length(matrix_of(i), axis) : kNoObject; }

// A placement cell read directly: single precision widened to double.
double cell_of(std::int32_t i, int entry) {
    if (!valid(i)) return kNoObject;
    return static_cast<double>(vx_load_f32(&record(i).cells.floatCells[entry].cur));
}

double centre_of(std::int32_t i, int axis) {
    return valid(i) ? component(getRotationCenterOf(record(i).cells), axis) : kNoObject;
}

double angle_of(std::int32_t i, int axis) {
    if (!valid(i)) return kNoObject;
    const double degrees = radians_to_degrees(component(rotation(unscaled(matrix_of(i))), axis));
    if (degrees >= 0.0 || std::isnan(degrees)) return degrees;
    // A tiny negative angle plus 360 rounds to 360 itself, which would leave
    // the promised range: it reads just under 360 instead.
    const double turned = degrees + 360.0;
    return turned < 360.0 ? turned : std::nextafter(360.0, 0.0);
}

Vector position_of(std::int32_t i) {
    return {cell_of(i, kTranslationEntry[0]), cell_of(i, kTranslationEntry[1]), cell_of(i, kTranslationEntry[2])};
}

double position_in_another(std::int32_t i, std::int32_t j, int axis) {
    if (!valid(i) || !valid(j)) return kNoObject;
    return component(getPositionInAnother(i, j, position_of(i)), axis);
}

double centre_in_another(std::int32_t i, std::int32_t j, int axis) {
    if (!valid(i) || !valid(j)) return kNoObject;
    return component(getPositionInAnother(i, j, getRotationCenterOf(record(i).cells)), axis);
}

// Whether the centre of i lies within the extent of j on two of its axes,
// bounds included; each coordinate is computed afresh.
bool centre_included(std::int32_t i, std::int32_t j, int first, int second) {
    if (!valid(i) || !valid(j)) return false;
    if (i == j) return true;
    for (const int axis : {first, second}) {
        const double c = centre_in_another(i, j, axis);
        if (c < 0.0 || c > size_of(j, axis)) return false;
    }
    return true;
}

}  // namespace

Vector sizes_of(const Matrix& m) { return {edge_length(m, 0), edge_length(m, 1), edge_length(m, 2)}; }

Vector reciprocal_sizes(const Matrix& m) {
    const Vector s = sizes_of(m);
    return {1.0 / s.x, 1.0 / s.y, 1.0 / s.z};
}

Matrix unscaled(const Matrix& m) {
    const Vector s = reciprocal_sizes(m);
    return multiply(m, scale(s.x, s.y, s.z));
}

}  // namespace vx::products

using namespace vx::products;

extern "C" {

double getDXOfObject(ObjectCells, Matrix m) { return edge_length(m, 0); }
double getDYOfObject(ObjectCells, Matrix m) { return edge_length(m, 1); }
double getDZOfObject(ObjectCells, Matrix m) { return edge_length(m, 2); }

double getSizeX(int32_t i) { return size_of(i, 0); }
double getSizeY(int32_t i) { return size_of(i, 1); }
double getSizeZ(int32_t i) { return size_of(i, 2); }
double getDX(int32_t i) { return size_of(i, 0); }
double getDY(int32_t i) { return size_of(i, 1); }
double getDZ(int32_t i) { return size_of(i, 2); }

double getPositionX(int32_t i) { return cell_of(i, kTranslationEntry[0]); }
double getPositionY(int32_t i) { return cell_of(i, kTranslationEntry[1]); }
double getPositionZ(int32_t i) { return cell_of(i, kTranslationEntry[2]); }

double getProjectionX(int32_t i) { return cell_of(i, 0); }
double getProjectionY(int32_t i) { return cell_of(i, 5); }
double getProjectionZ(int32_t i) { return cell_of(i, 10); }

void computeActorProductTransformedParrallelepipede_into_(ObjectCells o, Parallelepiped* out) {
    if (out == nullptr) return;
    *out = box_of(load_matrix(o));
}

void getCenterOf(Parallelepiped p, Vector* out) {
    if (out != nullptr) *out = {(p.c0.x + p.c1.x) * 0.5, (p.c0.y + p.c1.y) * 0.5, (p.c0.z + p.c1.z) * 0.5};
}

Vector getRotationCenterOf(ObjectCells o) {
    Parallelepiped p{};
    computeActorProductTransformedParrallelepipede_into_(o, &p);
    Vector centre{};
    getCenterOf(p, &centre);
    return centre;
}

double getCenterX(int32_t i) { return centre_of(i, 0); }
double getCenterY(int32_t i) { return centre_of(i, 1); }
double getCenterZ(int32_t i) { return centre_of(i, 2); }

double getAngleX(int32_t i) { return angle_of(i, 0); }
double getAngleY(int32_t i) { return angle_of(i, 1); }
double getAngleZ(int32_t i) { return angle_of(i, 2); }

Vector getPositionInAnother(int32_t, int32_t j, Vector p) {
    // Killed objects are answered too (their cells still hold a placement);
    // an index outside the table is not followed.
    if (!in_range(j)) return {kNoObject, kNoObject, kNoObject};
    Matrix m0 = matrix_of(j);
    const Matrix t = translation(m0.entry[3], m0.entry[7], m0.entry[11]);
    for (const int entry : kTranslationEntry) m0.entry[entry] = 0.0;
    const Matrix frame = multiply(t, unscaled(m0));
    return apply(inverse(frame), p);
}

double getPositionXInAnother(int32_t i, int32_t j) { return position_in_another(i, j, 0); }
double getPositionYInAnother(int32_t i, int32_t j) { return position_in_another(i, j, 1); }
double getPositionZInAnother(int32_t i, int32_t j) { return position_in_another(i, j, 2); }

double getCenterXInAnother(int32_t i, int32_t j) { return centre_in_another(i, j, 0); }
double getCenterYInAnother(int32_t i, int32_t j) { return centre_in_another(i, j, 1); }
double getCenterZInAnother(int32_t i, int32_t j) { return centre_in_another(i, j, 2); }

int isMyCenterIncludedInXYOfOther(int32_t i, int32_t j) { return centre_included(i, j, 0, 1); }
int isMyCenterIncludedInXZOfOther(int32_t i, int32_t j) { return centre_included(i, j, 0, 2); }
int isMyCenterIncludedInYZOfOther(int32_t i, int32_t j) { return centre_included(i, j, 1, 2); }

}  // extern "C"
