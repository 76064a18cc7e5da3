// Where a controller's variables live in the shared block. The cells are not
// typed in by hand: they follow from the graph, in allocation order.
//
//   bool   0-4      the runtime's control variables
//          5...     inputs and outputs, in declaration order
//                   then every step's activity, in the graph's step order
//                   then the previous-activity cells: component by component,
//                   the timed steps in step order, then the untimed steps
//                   that have actions
//                   then the bool outputs of the function blocks, block by
//                   block, then the bool variables of the objects, object
//                   by object (actors, then product slots)
//   int    311-522  the runtime's control variables
//          523...   the step timers, in step order; then the int outputs of
//                   the blocks (a TIME output takes four cells: two header
//                   cells, days, ticks); then each object's status cell and
//                   int variables; then one cell that is allocated and
//                   never used, and the runtime's process id, cycle counter
//                   and micro-step counter
//   float  10-16    the runtime's control variables
//          17...    each object's 16 matrix cells and float variables
//   char   0-52     the task name
//
// A step has a timer when some receptivity (of any component) reads its
// activity time, and a previous-activity cell when it has a timer or an
// action.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vx/control_cells.hpp"
#include "vx/grafcet/graph.hpp"
#include "vx/grafcet/symbol_file.hpp"

namespace vx::grafcet {

// The runtime's control variables: the same cells in every controller
// (vx_control_cells.def), in the order of their generated binding.
using ControlVariable = cells::ControlCell;
inline constexpr const auto& kControlVariables = cells::kBound;

// The runtime's own int cells at the top of the int area, counted back from
// the cell count: process id (count - 3), cycle counter (- 2), micro-step
// counter (- 1).
inline constexpr std::array<std::string_view, 3> kRuntimeIntCells{"pospid", "posmxsimucounter",
                                                                  "posmxmicrostepcounter"};

// True for the names of the control variables and of the runtime's int cells.
bool is_control_name(std::string_view name);

// The first cell of each area after the control variables.
inline constexpr const auto& kFirstUserCell = cells::kEnd;

struct StepCells {
    int number = 0;
    std::int32_t activity = 0;               // bool
    std::optional<std::int32_t> previous;    // bool
    std::optional<std::int32_t> timer;       // int
};

// A TIME output occupies an int array of two elements.
inline constexpr std::int32_t kTimeCells = 4;

struct BlockCells {
    std::vector<std::int32_t> outputs;  // per output of the kind: its cell, or a TIME's first cell
};

struct ObjectLayout {
    std::int32_t first_bool = 0;  // its first bool variable (or where it would be)
    std::int32_t status = 0;      // int
    std::int32_t matrix = 0;      // float: the first of 16
    std::int32_t first_char = 0;
    std::vector<std::int32_t> variables;  // per variable of its model, in its area
};

struct GraphLayout {
    std::vector<std::int32_t> variables;  // bool cell of each variable, declaration order
    std::vector<StepCells> steps;         // the graph's step order
    std::vector<BlockCells> blocks;       // per block, declaration order
    std::vector<ObjectLayout> objects;    // per object, table order
    std::vector<int> previous_order;      // step numbers in previous-activity allocation order
    std::vector<int> timer_order;         // step numbers in timer allocation order
    std::array<std::int32_t, 4> counts{}; // cells of each area: bool, int, float, char

    const StepCells* step(int number) const;
    // The cell indexes of the runtime's int cells (kRuntimeIntCells order).
    std::int32_t runtime_int_cell(std::size_t k) const { return counts[1] - 3 + static_cast<std::int32_t>(k); }
};

GraphLayout derive_layout(const Graph& graph);

// Every named cell of the controller: inputs and outputs, steps, previous
// activities, timers, the outputs of the function blocks ("t1.Q", a TIME
// as "t1.ET.days" and "t1.ET.ticks"), the objects' cells ("belt.status",
// "belt.x", "belt.y", "belt.z", "barrier.seen"), then the control
// variables and the runtime's int cells.
std::vector<Symbol> symbols(const Graph& graph, const GraphLayout& layout);

// The plant's objects in table order, for the symbol file.
std::vector<ObjectRecord> object_records(const Graph& graph, const GraphLayout& layout);

}  // namespace vx::grafcet
