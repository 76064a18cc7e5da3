// The runtime's own view of its block, shared by its modules and its tests.
#pragma once

#include <cstddef>
#include <string>

#include "vx/block.hpp"
#include "vx_runtime.h"

namespace vx {

// The block this program laid out, with the layout it computed itself. The
// header's counts and offsets are never read back: other processes can
// overwrite them.
const BlockView& executive_block();

// Makes `header` with `layout` the program's block: the private layout and
// the header's counts and offsets.
void install_block(MemoryHeader* header, const Layout& layout);

// Forgets the block (tests).
void uninstall_block();

// Bytes of the block that this process may use: what openMemory recorded.
std::size_t opened_block_size();
// Its name, empty before openMemory has opened one.
std::string opened_block_name();

// The program's block when `header` is it, an empty view otherwise: the
// services that take a header only ever touch the block they laid out.
BlockView block_for(const MemoryHeader* header);

}  // namespace vx
