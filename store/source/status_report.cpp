// The status report: every status change the program notices is written on
// standard output, so that a person watching the console sees what the
// debugger or the simulator asked for.
#include <cstdio>

#include "vx/runtime.hpp"

namespace {

// The name of a status value; values outside 0 to 5 have none.
const char* status_name(std::int32_t status) {
    static constexpr const char* kNames[] = {"FREE", "STOP", "RUN", "STEP", "END", "PAUSE"};
    return status >= 0 && status < 6 ? kNames[status] : "";
}

}  // namespace

extern "C" {

void VX_hook(IntCell* status) {
    if (status == nullptr) return;
    std::printf("Exec status change from %s to %s\n", status_name(vx::prev(*status)), status_name(vx::cur(*status)));
}

void VX_manage_exec_status(IntCell* status) {
    if (status == nullptr) return;
    const std::int32_t commanded = vx::cur(*status);
    if (commanded == vx::prev(*status)) return;
    VX_hook(status);
    vx::set_prev(*status, commanded);
}

}  // extern "C"
