#include "vx/testing/in_process.hpp"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "vx/executive.hpp"
#include "vx/runtime.hpp"

namespace vx::testing {

InProcessController::InProcessController(std::size_t size, const std::string& params_file) : size_(size) {
    void* memory = std::aligned_alloc(4096, (size + 4095) / 4096 * 4096);
    if (memory == nullptr) throw std::bad_alloc();
    std::memset(memory, 0, size);
    header_ = static_cast<MemoryHeader*>(memory);
    vx_store_i32(&header_->blockSize, static_cast<std::int32_t>(size));
    std::strncpy(paramfilename, params_file.c_str(), VX_FILE_NAME_CAPACITY - 1);
    memorySizeInit(&minSize, &maxSize, &memSize);
    started_ = start_controller(header_, size);
}

InProcessController::~InProcessController() {
    uninstall_block();
    memHeader = nullptr;
    mem = self = VX_Areas{};
    std::free(header_);
}

const BlockView& InProcessController::block() const { return executive_block(); }

std::int32_t InProcessController::evolve() { return evolve_once(); }

namespace {
template <class Cell> Cell& checked(std::int32_t index) {
    Cell* cell = executive_block().cell<Cell>(index);
    if (cell == nullptr) throw std::out_of_range("cell index " + std::to_string(index) + " outside its area");
    return *cell;
}
}  // namespace

BoolCell& InProcessController::b(std::int32_t index) const { return checked<BoolCell>(index); }
IntCell& InProcessController::i(std::int32_t index) const { return checked<IntCell>(index); }
FloatCell& InProcessController::f(std::int32_t index) const { return checked<FloatCell>(index); }
CharCell& InProcessController::c(std::int32_t index) const { return checked<CharCell>(index); }

}  // namespace vx::testing
