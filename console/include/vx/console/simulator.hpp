// The plant simulator: plays a scenario against a running controller, one
// cycle at a time, and prints a timeline of what changed, with the time and
// the cycle number, checking the invariants after every cycle.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>

#include "vx/console/recording.hpp"
#include "vx/console/scenario.hpp"
#include "vx/console/session.hpp"

namespace vx::console {

struct SimOptions {
    std::optional<std::uint64_t> seed;     // overrides the scenario's
    std::optional<double> duration;        // seconds; overrides 'end'
    bool lights = false;                   // draw the lights when they change
    bool colour = false;
    bool check_only = false;               // bind and report, run nothing
    // Lockstep: the program (started with VX_SCHEDULE=lockstep) runs each
    // cycle as soon as it is granted, with no pacing.
    bool fast = false;
    std::chrono::milliseconds cycle_limit{5000};  // a granted cycle's bound
    std::function<bool()> program_running;        // a launched program's life
    Recorder* recorder = nullptr;                 // --record: opened before anything runs
    bool force = false;                           // replay a recording made with another program
    std::ostream* waveform = nullptr;             // --vcd: opened before anything runs
};

// Exit statuses of a played scenario besides 0.
inline constexpr int kInvariantViolated = 2;
inline constexpr int kInterrupted = 130;

// Checks the whole scenario against the program (names, values, conditions)
// before it writes anything, then plays it. Returns 0, kInvariantViolated
// or kInterrupted; a Failure for bad input or a program that stops
// answering.
int simulate(const Session& session, const Scenario& scenario, const SimOptions& options, std::ostream& out);

}  // namespace vx::console
