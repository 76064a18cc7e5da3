// The program's side of the lockstep handshake.
#include "vx/lockstep.hpp"

#include <atomic>
#include <cstdio>

#include "vx/platform/futex.hpp"
#include "vx/platform/shared_memory.hpp"
#include "vx/platform/system.hpp"
#include "vx/runtime.hpp"
#include "vx/schedule.hpp"
#include "vx/trace.hpp"

namespace vx {
namespace {

constexpr std::uint64_t kPollNanoseconds = 10000000;  // the STOP poll's 10 ms

platform::SharedMemory g_object;
LockstepSync* g_sync = nullptr;
std::uint32_t g_taken = 0;  // the grant that the cycle under way answers

std::uint32_t load(std::uint32_t& word) { return std::atomic_ref<std::uint32_t>(word).load(std::memory_order_acquire); }
void store(std::uint32_t& word, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(word).store(value, std::memory_order_release);
}
void store(std::int32_t& word, std::int32_t value) {
    std::atomic_ref<std::int32_t>(word).store(value, std::memory_order_release);
}

std::int32_t status() { return cur(*execstatus); }
bool granted() { return load(g_sync->grant) != g_taken; }

// What the STOP wait does at every poll besides waiting.
void poll_duties() {
    if (signature != nullptr) set_cur(*signature, getSignature());
    VX_manage_exec_status(execstatus);
    flush_trace();
}

}  // namespace

bool lockstep_selected() { return selected_schedule() == ScheduleMode::Lockstep && g_sync != nullptr; }

void lockstep_start(const std::string& block_name) {
    if (selected_schedule() != ScheduleMode::Lockstep) return;
    std::string error;
    g_object = platform::SharedMemory::open_companion(block_name, kLockstepSuffix, sizeof(LockstepSync),
                                                      platform::OpenMode::CreateOrAttach, error);
    if (!g_object.is_open()) {
        std::printf("VX_SCHEDULE=lockstep: %s; using the default\n", error.c_str());
        select_schedule(ScheduleMode::Millisecond);
        return;
    }
    g_sync = static_cast<LockstepSync*>(g_object.address());
    // A simulator that reads the object before it is complete sees no magic.
    store(g_sync->magic, 0);
    store(g_sync->version, kLockstepVersion);
    store(g_sync->simulatorPid, 0);
    store(g_sync->grant, 0);
    store(g_sync->done, 0);
    store(g_sync->programPid, platform::process_id());
    store(g_sync->magic, kLockstepMagic);
    g_taken = 0;
}

void lockstep_stop_poll(std::uint32_t microseconds) {
    if (!lockstep_selected()) return VXD_wait(microseconds);
    const std::uint32_t seen = load(g_sync->grant);
    const std::uint64_t deadline = platform::monotonic_nanoseconds() + std::uint64_t{microseconds} * 1000u;
    while (!platform::ending_signalled() && status() == STOP && load(g_sync->grant) == seen) {
        const std::uint64_t now = platform::monotonic_nanoseconds();
        if (now >= deadline) return;
        platform::futex_wait(&g_sync->grant, seen, deadline - now);
    }
}

bool lockstep_await_grant(std::int32_t timeout) {
    if (!lockstep_selected()) return true;
    std::int32_t waits = 0;
    for (;;) {
        if (granted()) return true;
        const std::int32_t now_status = status();
        if (now_status == STOP || now_status == END || platform::ending_signalled()) return false;
        if (now_status == STEP || now_status == PAUSE) return true;
        platform::futex_wait(&g_sync->grant, g_taken, kPollNanoseconds);
        if (granted()) return true;
        poll_duties();
        if (timeout != 0 && ++waits >= timeout) {
            set_cur(*execstatus, END);
            return false;
        }
    }
}

void lockstep_begin_cycle() {
    if (!lockstep_selected()) return;
    g_taken = load(g_sync->grant);
    VXD_init_time();
}

void lockstep_hand_back() {
    if (!lockstep_selected()) return;
    store(g_sync->done, g_taken);
    platform::futex_wake(&g_sync->done);
}

void lockstep_finish() {
    if (g_sync == nullptr) return;
    store(g_sync->programPid, 0);
    platform::futex_wake(&g_sync->done);
    g_object.leave();
}

}  // namespace vx
