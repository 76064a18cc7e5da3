// Forcing one cell: the one protocol for every writer, the runtime's
// VX_force_* and VX_unforce_* and the console alike.
//
// Forcing writes the value into cur and prev and sets the cell's forced flag;
// the controller posts a variable after assigning it, which copies prev back
// into cur while the flag is set. So a forced output keeps its forced value
// although the controller's own code assigns it.
#pragma once

#include <type_traits>

#include "vx/block.hpp"

namespace vx {

template <class Cell> void force_cell(Cell& cell, typename CellTraits<Cell>::Value value) {
    if constexpr (std::is_same_v<Cell, BoolCell>) {
        // cur, prev and the flag live in one byte: one write, so the
        // controller never sees the flag without the value.
        set_bool_bits(cell, VX_BOOL_CUR | VX_BOOL_PREV | VX_BOOL_FORCED, both_bits(value) | VX_BOOL_FORCED);
    } else {
        // The value first, then the flag: a post between the two must not
        // copy a stale prev into cur.
        set_start_value(cell, value);
        set_forced(cell, true);
    }
}

// Releases the cell: the controller's next assignment stands again.
template <class Cell> void unforce_cell(Cell& cell) { set_forced(cell, false); }

}  // namespace vx
