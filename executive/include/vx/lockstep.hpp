// The lockstep handshake: in lockstep mode (VX_SCHEDULE=lockstep) the
// simulator is the program's clock. A cycle in RUN starts only when the
// simulator has granted one, and the program hands control back at its end
// instead of sleeping until the next period; plant time is then cycles x
// period however fast the two go.
//
// The handshake lives in a companion shared-memory object beside the block,
// "/dev/shm/<block>.sync", so that the block's bytes stay as they are. The
// program creates it with the block and the last participant to leave
// removes it, as for the block. Two words in it are futex words:
//
//   grant  cycles granted so far. The simulator increments it and wakes the
//          program, which waits on it between cycles.
//   done   the grant that the program's last cycle answered. The program
//          sets it at the end of every cycle and wakes the simulator, which
//          waits on it.
//
// The status cell keeps its meaning: STOP holds the program whatever is
// granted, END ends it, STEP and PAUSE run one cycle at once (a debugger's
// single step needs no grant). Leaving STOP runs one cycle at once, as in
// every schedule; a simulator therefore grants before it writes RUN, so
// that this first cycle answers the grant. A program whose simulator has
// gone waits, polling every 10 ms for END, signals and VX_TIMEOUT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vx {

// The sync object's bytes, little-endian, 64 bytes.
struct LockstepSync {
    std::uint32_t magic;        // kLockstepMagic once the program has set the object up
    std::uint32_t version;      // kLockstepVersion
    std::int32_t programPid;    // the lockstep program; 0 once it has ended
    std::int32_t simulatorPid;  // the simulator that grants cycles; 0 when none
    std::uint32_t grant;        // cycles granted so far (futex word)
    std::uint32_t done;         // the grant that the last cycle answered (futex word)
    std::uint32_t reserved[10];
};
static_assert(sizeof(LockstepSync) == 64);
static_assert(offsetof(LockstepSync, grant) == 16 && offsetof(LockstepSync, done) == 20);

inline constexpr std::uint32_t kLockstepMagic = 0x534C5856;  // "VXLS"
inline constexpr std::uint32_t kLockstepVersion = 1;
inline constexpr const char* kLockstepSuffix = ".sync";

// The program's side. Every function but lockstep_selected does nothing
// outside lockstep mode.

bool lockstep_selected();

// Creates the sync object beside the block `block_name`. When that fails,
// the reason is said on standard output and the program runs on the default
// schedule (a schedule never stops the program).
void lockstep_start(const std::string& block_name);

// The STOP wait's pause of `microseconds`, cut short by a grant or a status
// change, so that the simulator's RUN is taken at once.
void lockstep_stop_poll(std::uint32_t microseconds);

// Between two cycles in a running status: waits for a grant. True when a
// cycle is to run (a grant, or STEP or PAUSE written by a debugger); false
// when the status became STOP or END or an ending signal arrived (the loop
// head decides then). Counts VX_TIMEOUT's `timeout` 10 ms waits as STOP
// does, and sets END when they are used up.
bool lockstep_await_grant(std::int32_t timeout);

// At the start of a cycle: takes the grants seen so far and restarts the
// cycle clock, so that the statistics measure the cycle itself.
void lockstep_begin_cycle();

// At the end of a cycle: answers the grant taken and wakes the simulator.
void lockstep_hand_back();

// At shutdown: says the program has ended, wakes the simulator, leaves the
// object (the last participant removes it).
void lockstep_finish();

}  // namespace vx
