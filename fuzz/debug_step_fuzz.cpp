// The per-cycle debug step and the debug reports on a block that other
// processes have filled with arbitrary bytes: header, cell counts and
// offsets, trace and watch lists, the status, breakpoint count and
// breakpoint cells. Nothing of it may lead the program outside its block.
//
// The input is a list of patches, each "offset (3 bytes, little-endian),
// length (1 byte), bytes", laid over a freshly started block; an offset
// beyond the block wraps around it. A last short record supplies the
// location and instance of a breakpoint check.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vx/executive.hpp"
#include "vx/runtime.hpp"
#include "vx/testing/in_process.hpp"
#include "vx_runtime.h"

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::int32_t kFirstLocationCell = 313;

vx::testing::InProcessController& controller() {
    static vx::testing::InProcessController started(kBlockSize);
    static const bool traced = [] {
        std::strncpy(tracename, "/dev/null", VX_FILE_NAME_CAPACITY - 1);
        openTrace();
        return true;
    }();
    (void)traced;
    return started;
}

std::vector<std::uint8_t>& fresh_block() {
    static std::vector<std::uint8_t> bytes;
    return bytes;
}

std::uint32_t read_u32(const std::uint8_t* data, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < bytes; ++k) value |= std::uint32_t{data[k]} << (8 * k);
    return value;
}

// A breakpoint check holds the program until another process changes the
// status; there is no other process here, so the check must not match.
void unlist_location(const vx::BlockView& block, std::int32_t location) {
    for (std::int32_t k = 0; k < VX_MAX_BREAKPOINTS; ++k) {
        if (IntCell* cell = block.cell<IntCell>(kFirstLocationCell + k); cell && vx::cur(*cell) == location)
            vx::set_cur(*cell, location ^ 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& ctl = controller();
    auto* base = reinterpret_cast<std::uint8_t*>(ctl.header());
    auto& fresh = fresh_block();
    if (fresh.empty()) fresh.assign(base, base + kBlockSize);
    std::memcpy(base, fresh.data(), kBlockSize);

    std::size_t at = 0;
    while (size - at >= 4) {
        const std::size_t offset = read_u32(data + at, 3) % kBlockSize;
        const std::size_t length = std::min({std::size_t{data[at + 3]}, size - at - 4, kBlockSize - offset});
        std::memcpy(base + offset, data + at + 4, length);
        at += 4 + length;
    }
    const auto location = static_cast<std::int32_t>(read_u32(data + at, size - at));

    const vx::BlockView& block = ctl.block();
    VX_manage_exec_status(execstatus);
    VX_manage_debug_informations(ctl.header());
    if (vx::cur(*execstatus) == PAUSE) vx::set_cur(*execstatus, RUN);
    unlist_location(block, location);
    breakpoint_st(location, location);
    raise_debug_break(location, 1, 2, location);
    vx::published_process_id(*ctl.header(), kBlockSize);

    // The statistics read back what they published, which anyone may have
    // overwritten; the counter comes from the block too.
    static vx::CycleStatistics statistics;
    const std::int32_t counter = vx::cur(*block.cell<IntCell>(posmxsimucounter));
    statistics.record(static_cast<std::uint32_t>(location), counter, location);
    return 0;
}
