// The per-cycle debug step. The snapshot comes last, so the trace and the
// watch list see every change made since the previous cycle's snapshot, by
// the controller, the simulator or the debugger.
#include "vx_runtime.h"

extern "C" void VX_manage_debug_informations(MemoryHeader* header) {
    VX_manage_trace(header);
    VX_manage_breakpoints(header);
    VX_freeze_memory_for_debug(header);
}
