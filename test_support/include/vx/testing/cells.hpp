// A cell that a test names must exist: a wrong index is the test's own
// mistake, reported as an exception rather than a null pointer.
#pragma once

#include <stdexcept>
#include <string>

#include "vx/block.hpp"

namespace vx::testing {

template <class Cell> Cell& existing_cell(const BlockView& view, std::int32_t index) {
    Cell* cell = view.cell<Cell>(index);
    if (cell == nullptr) throw std::out_of_range("cell index " + std::to_string(index) + " outside its area");
    return *cell;
}

}  // namespace vx::testing
