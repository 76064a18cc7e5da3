#include "vx/testing/in_process.hpp"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "vx/executive.hpp"
#include "vx/testing/cells.hpp"
#include "vx/runtime.hpp"
#include "vx_products.h"

namespace vx::testing {

InProcessController::InProcessController(std::size_t size, const std::string& params_file) : size_(size) {
    void* memory = std::aligned_alloc(4096, (size + 4095) / 4096 * 4096);
    if (memory == nullptr) throw std::bad_alloc();
    std::memset(memory, 0, size);
    header_ = static_cast<MemoryHeader*>(memory);
    vx_store_i32(&header_->blockSize, static_cast<std::int32_t>(size));
    std::strncpy(paramfilename, params_file.c_str(), VX_FILE_NAME_CAPACITY - 1);
    memorySizeInit(&minSize, &maxSize, &memSize);
    started_ = start_controller(header_, size, PlantHooks{produitsInit, productsStep});
}

InProcessController::~InProcessController() {
    uninstall_block();
    memHeader = nullptr;
    mem = self = VX_Areas{};
    std::free(header_);
}

const BlockView& InProcessController::block() const { return executive_block(); }

std::int32_t InProcessController::evolve() { return evolve_once(); }

BoolCell& InProcessController::b(std::int32_t index) const { return existing_cell<BoolCell>(executive_block(), index); }
IntCell& InProcessController::i(std::int32_t index) const { return existing_cell<IntCell>(executive_block(), index); }
FloatCell& InProcessController::f(std::int32_t index) const { return existing_cell<FloatCell>(executive_block(), index); }
CharCell& InProcessController::c(std::int32_t index) const { return existing_cell<CharCell>(executive_block(), index); }

}  // namespace vx::testing
