// Motion commands. Each reads the object's matrix from its cells, composes
// the new placement and writes it back at once, so the simulator shows it
// from then on. Rigid motions multiply on the left (world frame) and size
// changes on the right (local frame), which keeps every placement in the
// form M = T.R.S.
#include "products.hpp"

namespace vx::products {
namespace {

// A placement that holds numbers keeps holding numbers: a command that
// would store NaN or an infinity (a size of 0 divided by, an argument that
// is not a number, a coordinate beyond the float range) is refused, and the
// simulator never sees the object vanish.
std::int32_t place(std::int32_t i, const Matrix& m) {
    const StoredMatrix s = narrowed(m);
    FloatCell* cells = record(i).cells.floatCells;
    Matrix now;
    if (!all_finite(s) && load_widened(cells, now)) return kRefused;
    store(s, cells);
    return i;
}

Vector position_of(std::int32_t i) { return {getPositionX(i), getPositionY(i), getPositionZ(i)}; }

std::int32_t move_to(std::int32_t i, Vector target) {
    if (!valid(i)) return kRefused;
    return move_by(i, target - position_of(i));
}

std::int32_t move_axis_to(std::int32_t i, int axis, double value) {
    if (!valid(i)) return kRefused;
    return move_by(i, with_component(axis, value - component(position_of(i), axis)));
}

// A displacement along the object's own axes, in world units.
std::int32_t move_relative_by(std::int32_t i, Vector d) {
    if (!valid(i)) return kRefused;
    return move_to(i, apply(unscaled(matrix_of(i)), d));
}

std::int32_t rotate_center_by(std::int32_t i, Vector angles) {
    if (!valid(i)) return kRefused;
    return rotate_by(i, angles, getRotationCenterOf(record(i).cells));
}

// Undoes the current orientation (Z, then Y, then X) and applies `angles`;
// every turn passes through the single-precision cells.
std::int32_t rotate_to(std::int32_t i, Vector angles, Vector centre) {
    if (!valid(i)) return kRefused;
    const Vector now = rotation(unscaled(matrix_of(i)));
    // Without an orientation to undo (a size of 0), nothing is turned.
    if (!std::isfinite(now.x) || !std::isfinite(now.y) || !std::isfinite(now.z)) return kRefused;
    rotate_by(i, {0.0, 0.0, -radians_to_degrees(now.z)}, centre);
    rotate_by(i, {0.0, -radians_to_degrees(now.y), 0.0}, centre);
    rotate_by(i, {-radians_to_degrees(now.x), 0.0, 0.0}, centre);
    return rotate_by(i, angles, centre);
}

std::int32_t rotate_center_to(std::int32_t i, Vector angles) {
    if (!valid(i)) return kRefused;
    return rotate_to(i, angles, getRotationCenterOf(record(i).cells));
}

bool usable_size(double size) { return size != 0.0 && std::isfinite(size); }
bool usable_sizes(Vector s) { return usable_size(s.x) && usable_size(s.y) && usable_size(s.z); }

Vector current_sizes(std::int32_t i) { return {getSizeX(i), getSizeY(i), getSizeZ(i)}; }

std::int32_t resize_axis_to(std::int32_t i, int axis, double value) {
    if (!valid(i)) return kRefused;
    Vector s = current_sizes(i);
    (axis == 0 ? s.x : axis == 1 ? s.y : s.z) = value;
    return resize_to(i, s);
}

std::int32_t resize_by(std::int32_t i, Vector d) { return resize_to(i, current_sizes(i) + d); }

}  // namespace

// The most frequent command of all on the usual placement: every cell a
// number, no perspective (m(3,0), m(3,1), m(3,2) zero), a move that lands
// within the float range. The product with the translation then changes the
// translation column and (3,3) only: every other entry comes out as
// m(i,j) + 0.0 (t(i) times a zero adds a zero), which is the float read with
// a -0 turned to +0. So those cells are written back as read, without the
// round trip through double, and only the three new coordinates are
// computed, each as the product computes it. False, with nothing written,
// when the placement or the move is not of that kind.
bool moved_in_place(FloatCell* cells, const double by[3]) {
    float f[kMatrixCells];
    for (int k = 0; k < kMatrixCells; ++k) f[k] = vx_load_f32(&cells[k].cur);
    if (f[12] != 0.0f || f[13] != 0.0f || f[14] != 0.0f) return false;
    // Every entry a number: a NaN or an infinity times zero is a NaN, which
    // every sum then carries. (Four sums side by side, one per column.)
    float zeros[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 12; ++k) zeros[k % 4] += f[k] * 0.0f;
    if (!(((zeros[0] + zeros[1]) + (zeros[2] + zeros[3])) + f[15] * 0.0f == 0.0f)) return false;
    const double m33 = f[15];
    const bool m_one = near_one(m33);
    const double b33 = m_one ? m33 : 1.0;
    double moved[3];
    for (int r = 0; r < 3; ++r) moved[r] = (static_cast<double>(f[kTranslationEntry[r]]) + 0.0) + by[r] * b33;
    if (!within_float_range(moved)) return false;  // an overflow, or a move that is not a number
    // Each cell written straight from what was read. (3,3) stays as read (a
    // -0 included) unless near one, and a new coordinate may round to -0,
    // which must stay too.
    for (int k = 0; k < kMatrixCells - 1; ++k) {
        const float value = k % 4 == 3 ? static_cast<float>(moved[k / 4]) : f[k] + 0.0f;
        vx_store_f32(&cells[k].cur, value);
    }
    vx_store_f32(&cells[kMatrixCells - 1].cur, m_one ? 1.0f : f[15]);
    return true;
}

std::int32_t move_by(std::int32_t i, double dx, double dy, double dz) {
    if (!valid(i)) return kRefused;
    FloatCell* const cells = record(i).cells.floatCells;
    const double by[3] = {dx, dy, dz};
    if (moved_in_place(cells, by)) return i;
    // Anything else: a placement of numbers takes the short product (the
    // same result), the rest the full one.
    Matrix m;
    const bool numbers = load_widened(cells, m);
    Matrix moved;
    if (numbers) {
        translated_into({dx, dy, dz}, m, moved);
    } else {
        multiply_into(translation(dx, dy, dz), kOnes, m, kOnes, moved);
    }
    return place(i, moved);
}

std::int32_t rotate_by(std::int32_t i, Vector angles, Vector centre) {
    if (!valid(i)) return kRefused;
    const Matrix m = matrix_of(i);
    // The object's reciprocal sizes let each turn take the object's own Y
    // angle out of its matrix, so (3,3) ends as the cosine of the combined Y.
    const Vector s = reciprocal_sizes(m);
    Matrix turned = multiply(translation(-centre.x, -centre.y, -centre.z), m);
    turned = mulMatrix_with_(mRotationX(degrees_to_radians(angles.x)), kOnes, turned, s);
    turned = mulMatrix_with_(mRotationY(degrees_to_radians(angles.y)), kOnes, turned, s);
    turned = mulMatrix_with_(mRotationZ(degrees_to_radians(angles.z)), kOnes, turned, s);
    return place(i, multiply(translation(centre.x, centre.y, centre.z), turned));
}

std::int32_t resize_to(std::int32_t i, Vector sizes) {
    if (!valid(i)) return kRefused;
    // A size of 0 would leave a matrix whose sizes every later command
    // divides by; sizes that are not numbers would poison the placement.
    const Matrix m = matrix_of(i);
    if (!usable_sizes(sizes) || !usable_sizes(sizes_of(m))) return kRefused;
    return place(i, multiply(unscaled(m), scale(sizes.x, sizes.y, sizes.z)));
}

}  // namespace vx::products

using namespace vx::products;

extern "C" {

int32_t moveBy(int32_t i, double dx, double dy, double dz) { return move_by(i, dx, dy, dz); }
int32_t moveXBy(int32_t i, double d) { return move_by(i, d, 0.0, 0.0); }
int32_t moveYBy(int32_t i, double d) { return move_by(i, 0.0, d, 0.0); }
int32_t moveZBy(int32_t i, double d) { return move_by(i, 0.0, 0.0, d); }

int32_t moveTo(int32_t i, double x, double y, double z) { return move_to(i, {x, y, z}); }
int32_t moveXTo(int32_t i, double v) { return move_axis_to(i, 0, v); }
int32_t moveYTo(int32_t i, double v) { return move_axis_to(i, 1, v); }
int32_t moveZTo(int32_t i, double v) { return move_axis_to(i, 2, v); }

int32_t moveRelativeBy(int32_t i, double dx, double dy, double dz) { return move_relative_by(i, {dx, dy, dz}); }
int32_t moveRelativeXBy(int32_t i, double d) { return move_relative_by(i, {d, 0.0, 0.0}); }
int32_t moveRelativeYBy(int32_t i, double d) { return move_relative_by(i, {0.0, d, 0.0}); }
int32_t moveRelativeZBy(int32_t i, double d) { return move_relative_by(i, {0.0, 0.0, d}); }

int32_t rotateBy(int32_t i, double ax, double ay, double az, double cx, double cy, double cz) {
    return rotate_by(i, {ax, ay, az}, {cx, cy, cz});
}
int32_t rotateXBy(int32_t i, double a, double cx, double cy, double cz) { return rotate_by(i, {a, 0, 0}, {cx, cy, cz}); }
int32_t rotateYBy(int32_t i, double a, double cx, double cy, double cz) { return rotate_by(i, {0, a, 0}, {cx, cy, cz}); }
int32_t rotateZBy(int32_t i, double a, double cx, double cy, double cz) { return rotate_by(i, {0, 0, a}, {cx, cy, cz}); }

int32_t rotateCenterBy(int32_t i, double ax, double ay, double az) { return rotate_center_by(i, {ax, ay, az}); }
int32_t rotateCenterXBy(int32_t i, double a) { return rotate_center_by(i, {a, 0.0, 0.0}); }
int32_t rotateCenterYBy(int32_t i, double a) { return rotate_center_by(i, {0.0, a, 0.0}); }
int32_t rotateCenterZBy(int32_t i, double a) { return rotate_center_by(i, {0.0, 0.0, a}); }

int32_t rotateTo(int32_t i, double ax, double ay, double az, double cx, double cy, double cz) {
    return rotate_to(i, {ax, ay, az}, {cx, cy, cz});
}
int32_t rotateXTo(int32_t i, double a, double cx, double cy, double cz) { return rotate_to(i, {a, 0, 0}, {cx, cy, cz}); }
int32_t rotateYTo(int32_t i, double a, double cx, double cy, double cz) { return rotate_to(i, {0, a, 0}, {cx, cy, cz}); }
int32_t rotateZTo(int32_t i, double a, double cx, double cy, double cz) { return rotate_to(i, {0, 0, a}, {cx, cy, cz}); }

int32_t rotateCenterTo(int32_t i, double ax, double ay, double az) { return rotate_center_to(i, {ax, ay, az}); }
int32_t rotateCenterXTo(int32_t i, double a) { return rotate_center_to(i, {a, 0.0, 0.0}); }
int32_t rotateCenterYTo(int32_t i, double a) { return rotate_center_to(i, {0.0, a, 0.0}); }
int32_t rotateCenterZTo(int32_t i, double a) { return rotate_center_to(i, {0.0, 0.0, a}); }

int32_t resizeTo(int32_t i, double sx, double sy, double sz) { return resize_to(i, {sx, sy, sz}); }
int32_t resizeXTo(int32_t i, double v) { return resize_axis_to(i, 0, v); }
int32_t resizeYTo(int32_t i, double v) { return resize_axis_to(i, 1, v); }
int32_t resizeZTo(int32_t i, double v) { return resize_axis_to(i, 2, v); }

int32_t resizeBy(int32_t i, double dx, double dy, double dz) { return resize_by(i, {dx, dy, dz}); }
int32_t resizeXBy(int32_t i, double d) { return resize_by(i, {d, 0.0, 0.0}); }
int32_t resizeYBy(int32_t i, double d) { return resize_by(i, {0.0, d, 0.0}); }
int32_t resizeZBy(int32_t i, double d) { return resize_by(i, {0.0, 0.0, d}); }

}  // extern "C"
