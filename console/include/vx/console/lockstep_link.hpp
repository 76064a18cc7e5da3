// The simulator's side of the lockstep handshake (vx/lockstep.hpp): grants
// a program started in lockstep mode one cycle at a time and waits for it
// to hand back.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include "vx/console/session.hpp"
#include "vx/lockstep.hpp"
#include "vx/platform/shared_memory.hpp"

namespace vx::console {

class LockstepLink {
public:
    // Opens the sync object beside the session's block and claims it as the
    // program's simulator. A Failure that says how to start the program
    // when it was not started in lockstep mode, and when another simulator
    // grants its cycles.
    static LockstepLink attach(const Session& session);

    LockstepLink(LockstepLink&& other) noexcept;
    LockstepLink& operator=(LockstepLink&&) = delete;
    LockstepLink(const LockstepLink&) = delete;
    ~LockstepLink();  // gives up the claim

    // Stops the program (STOP) and waits until it has taken the stop.
    void stop(std::chrono::milliseconds bound) const;

    // Grants one cycle (writing RUN when the program is not running) and
    // waits until the program has handed it back. False when `interrupted`
    // was set meanwhile. A Failure names the program and the cycle when it
    // ends, is held at a breakpoint, or does not hand back within `bound`.
    bool cycle(const volatile std::sig_atomic_t& interrupted, std::chrono::milliseconds bound);

    // A better test of the program's life than its process id, for a
    // program that this process started (an ended child stays a zombie
    // until it is reaped, and a zombie's process id still exists).
    void watch(std::function<bool()> running) { running_ = std::move(running); }

    // Wakes the program, so that it looks at its status at once.
    void wake() const;

private:
    LockstepLink(const Session& session, platform::SharedMemory object);
    bool program_alive() const;

    const Session* session_;
    platform::SharedMemory object_;
    LockstepSync* sync_;
    std::string program_;
    std::function<bool()> running_;
};

}  // namespace vx::console
