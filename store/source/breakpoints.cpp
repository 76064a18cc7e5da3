// Breakpoints, the watch list and debug reports.
//
// A breakpoint is a pair (location, instance) that the debugger lists in the
// int cells bplocations (locations) and bpinstances (instances), with their
// number in bpnoline. Generated code checks its breakpoint locations with
// breakpoint_st; a check that matches a listed pair, or any check while the
// status is PAUSE, holds the program inside its cycle until another process
// changes the status.
#include <algorithm>

#include "vx/control_cells.hpp"
#include "vx/platform/system.hpp"
#include "vx/runtime.hpp"

namespace {

constexpr std::uint32_t kPollMicroseconds = 10000;

std::int32_t status() { return execstatus != nullptr ? vx::cur(*execstatus) : FREE; }
void set_status(std::int32_t value) {
    if (execstatus != nullptr) vx::set_cur(*execstatus, value);
}
void publish(IntCell* cell, std::int32_t value) {
    if (cell != nullptr) vx::set_cur(*cell, value);
}
std::int32_t int_cell_value(std::int32_t index) {
    const IntCell* cell = vx::executive_block().cell<IntCell>(index);
    return cell != nullptr ? vx::cur(*cell) : 0;
}

// The number of listed breakpoints, within 0 to 101 whatever cell 312 holds.
std::int32_t breakpoint_count() {
    const std::int32_t n = bpnoline != nullptr ? vx::cur(*bpnoline) : 0;
    return std::clamp<std::int32_t>(n, 0, VX_MAX_BREAKPOINTS);
}

bool is_listed(std::int32_t location, std::int32_t instance) {
    const std::int32_t n = breakpoint_count();
    for (std::int32_t k = 0; k < n; ++k) {
        if (int_cell_value(vx::cells::bplocations + k) == location &&
            int_cell_value(vx::cells::bpinstances + k) == instance)
            return true;
    }
    return false;
}

// Keeps the program here while the status is PAUSE, refreshing the
// signature and reporting status changes every 10 ms. An ending signal lets
// the cycle finish without further holds, as END does.
void hold() {
    do {
        publish(signature, getSignature());
        VX_manage_exec_status(execstatus);
        VXD_wait(kPollMicroseconds);
    } while (status() == PAUSE && !vx::platform::ending_signalled());
    if (status() == STEP) set_status(PAUSE);  // STEP runs on to the next check
}

}  // namespace

extern "C" {

void VX_manage_breakpoints(MemoryHeader* header) {
    const vx::BlockView block = vx::block_for(header);
    if (!block) return;
    const bool changed = vx::find_listed(header->watchBool, [&](std::int32_t index) {
        const BoolCell* cell = block.cell<BoolCell>(index);
        return cell != nullptr && vx::changed(*cell);
    });
    if (changed) set_status(STOP);
}

int breakpoint_st(int32_t location, int32_t instance) {
    if (status() == END || vx::platform::ending_signalled()) return 1;
    if (is_listed(location, instance)) set_status(PAUSE);
    publish(bpcurrentlocation, location);
    if (status() == PAUSE) {
        publish(bpcurrentinstance, instance);
        hold();
    }
    publish(bpcurrentinstance, 0);
    return 1;
}

int raise_debug_break(int32_t location, int32_t prepostcode, int32_t typeerror, int32_t rank) {
    publish(bpcurrentlocation, location);
    publish(bpcurrentprepostcode, prepostcode);
    publish(bpcurrenttypeerror, typeerror);
    publish(bpcurrentrank, rank);
    if (typeerror == VX_REPORT_BREAKPOINT_CHECK) return breakpoint_st(location, rank);
    publish(bpcurrentinstance, self_num);
    return 1;
}

int VX_error(void) { return 0; }

}  // extern "C"
