// A plant on the test bench: actors and products laid out in cell areas of
// process memory, bound by produitsInit as the executive binds a program's
// table, so that the library's entry points run exactly as in a program.
#pragma once

#include <cstdint>
#include <vector>

#include "vx_products.h"

namespace vx::products::testing {

// Records that the bench's table can hold.
inline constexpr std::int32_t kBenchRecords = 12000;

// Int cells of every object: its status, then cells for its behaviour.
inline constexpr std::int32_t kIntsPerObject = 4;

struct PlannedObject {
    BehaviorFunction model = nullptr;
    std::int32_t status = VX_OBJECT_ALIVE;
    std::int32_t actorId = 0;
    Matrix placement{};  // all zeros: the unit cube at the origin
};

class Workbench {
public:
    // The first `actors` planned objects are actors, the rest products. Binding must
    // succeed (checked with ok()).
    Workbench(std::int32_t actors, const std::vector<PlannedObject>& objects);
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    bool ok() const { return bound_; }
    std::int32_t size() const { return static_cast<std::int32_t>(ints_.size()); }

    IntCell& status(std::int32_t i);
    FloatCell* matrix_cells(std::int32_t i);
    // The object's first behaviour int cell (after its status).
    IntCell& own_int(std::int32_t i, std::int32_t n);

    Matrix placement(std::int32_t i);
    void place(std::int32_t i, const Matrix& m);

    // The cur words of every int and float cell, bit for bit, for comparing
    // two runs.
    std::vector<std::uint32_t> cell_words() const;

private:
    std::vector<BoolCell> bools_;
    std::vector<IntCell> ints_;
    std::vector<FloatCell> floats_;
    std::vector<CharCell> chars_;
    bool bound_ = false;
};

// T.R.S of a box: origin corner at `at`, turned by `degrees` (X, then Y, then
// Z, about world axes) and sized `sizes`, composed with the toolkit so that
// element (3,3) carries the Y cosine as the motion commands would leave it.
Matrix placement_of(Vector at, Vector degrees, Vector sizes);

}  // namespace vx::products::testing
