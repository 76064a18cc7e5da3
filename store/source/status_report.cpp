// The status report: every status change the program notices is written on
// standard output, so that a person watching the console sees what the
// debugger or the simulator asked for.
#include <cstdio>

#include "vx/control_cells.hpp"
#include "vx/runtime.hpp"

extern "C" {

void VX_hook(IntCell* status) {
    if (status == nullptr) return;
    // Status names are NUL-terminated literals; a value without one prints "".
    std::printf("Exec status change from %s to %s\n", vx::cells::status_name(vx::prev(*status)).data(),
                vx::cells::status_name(vx::cur(*status)).data());
}

void VX_manage_exec_status(IntCell* status) {
    if (status == nullptr) return;
    const std::int32_t commanded = vx::cur(*status);
    if (commanded == vx::prev(*status)) return;
    VX_hook(status);
    vx::set_prev(*status, commanded);
}

}  // extern "C"
