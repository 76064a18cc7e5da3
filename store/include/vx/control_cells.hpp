// The fixed control cells (vx_control_cells.def) as C++ constants, for the
// runtime, the generator and the console: each cell's index under the name
// of the runtime's pointer to it, the cells that generated code binds, where
// each area's control cells start and end, and the status names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vx/block.hpp"
#include "vx_runtime.h"

namespace vx::cells {

#define VX_CONTROL_CELL(name, type, index) inline constexpr std::int32_t name = index;
#define VX_CONTROL_RUN(name, type, first, count) inline constexpr std::int32_t name = first;
#include "vx_control_cells.def"

// A cell that generated code binds to the runtime's pointer of that name.
struct ControlCell {
    std::string_view name;
    CellType type;
    std::int32_t index;
};

// In the order of the table, which is the order of the generated binding.
inline constexpr std::array kBound{
#define VX_CONTROL_CELL(name, type, index) ControlCell{#name, CellType::type, index},
#include "vx_control_cells.def"
};

// Every row of the table as a run of cells.
struct ControlRun {
    CellType type;
    std::int32_t first;
    std::int32_t count;
};
inline constexpr std::array kRuns{
#define VX_CONTROL_CELL(name, type, index) ControlRun{CellType::type, index, 1},
#define VX_CONTROL_RUN(name, type, first, count) ControlRun{CellType::type, first, count},
#include "vx_control_cells.def"
};

namespace detail {

constexpr std::array<std::int32_t, kCellTypes> bounds(bool first) {
    std::array<std::int32_t, kCellTypes> result{};
    std::array<bool, kCellTypes> seen{};
    for (const ControlRun& run : kRuns) {
        const auto area = static_cast<std::size_t>(run.type);
        const std::int32_t value = first ? run.first : run.first + run.count;
        if (!seen[area] || (first ? value < result[area] : value > result[area])) result[area] = value;
        seen[area] = true;
    }
    return result;
}

// True when every cell from the first control cell to the last of `type` is
// a control cell: what the bounds below and the generator's layout rely on.
constexpr bool one_run(CellType type) {
    const auto area = static_cast<std::size_t>(type);
    const std::int32_t first = bounds(true)[area];
    for (std::int32_t cell = first; cell < bounds(false)[area]; ++cell) {
        bool covered = false;
        for (const ControlRun& run : kRuns)
            covered = covered || (run.type == type && cell >= run.first && cell < run.first + run.count);
        if (!covered) return false;
    }
    return true;
}

}  // namespace detail

// The first control cell of each area, and the first cell after them, where
// a controller's own cells begin.
inline constexpr std::array<std::int32_t, kCellTypes> kFirst = detail::bounds(true);
inline constexpr std::array<std::int32_t, kCellTypes> kEnd = detail::bounds(false);

static_assert(detail::one_run(CellType::Bool) && detail::one_run(CellType::Int) &&
              detail::one_run(CellType::Float) && detail::one_run(CellType::Char));
// The C interface's constants, which generated code uses, follow the table.
static_assert(kFirst[0] == 0 && kEnd[0] == VX_FIXED_BOOL_CELLS);
static_assert(kFirst[1] == VX_INT_FLOOR && kEnd[1] - kFirst[1] == VX_FIXED_INT_CELLS);
static_assert(kFirst[2] == VX_FLOAT_FLOOR && kEnd[2] - kFirst[2] == VX_FIXED_FLOAT_CELLS);
static_assert(kFirst[3] == 0 && kEnd[3] == VX_FIXED_CHAR_CELLS && kEnd[3] - 3 == VX_TASKNAME_CAPACITY);
static_assert(bpinstances - bplocations == VX_MAX_BREAKPOINTS + 1 && bpnoinstance == bplocations + VX_MAX_BREAKPOINTS);

// The execution status names, by value.
inline constexpr std::array kStatusNames{
#define VX_STATUS(name, value) std::string_view(#name),
#include "vx_control_cells.def"
};
namespace detail {
inline constexpr std::array kStatusValues{
#define VX_STATUS(name, value) value,
#include "vx_control_cells.def"
};
constexpr bool statuses_by_value() {
    for (std::size_t k = 0; k < kStatusValues.size(); ++k)
        if (kStatusValues[k] != static_cast<int>(k)) return false;
    return true;
}
static_assert(statuses_by_value(), "status values are 0, 1, 2... in the order of the table");
}  // namespace detail

// The name of a status value; empty for a value that has none. Either way a
// view of a NUL-terminated literal, so that data() can be printed with %s.
constexpr std::string_view status_name(std::int32_t status) {
    return status >= 0 && static_cast<std::size_t>(status) < kStatusNames.size()
               ? kStatusNames[static_cast<std::size_t>(status)]
               : std::string_view("");
}

}  // namespace vx::cells
