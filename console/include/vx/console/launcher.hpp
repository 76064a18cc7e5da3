// A controller program that the console starts itself, on a private block
// in lockstep mode (vxctl sim --fast --program PATH): it is ended as END
// ends it when the console is done with it, killed when it does not end,
// and nothing of it is left in /dev/shm.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "vx/console/session.hpp"
#include "vx/platform/process.hpp"

namespace vx::console {

class LaunchedProgram {
public:
    // Starts `path` with VX_MEMORY_NAME set to a private block and
    // VX_SCHEDULE=lockstep, and waits until it has finished its start-up.
    // A Failure when it cannot be started or ends during its start-up.
    static LaunchedProgram start(const std::string& path, std::chrono::milliseconds startup_limit);

    LaunchedProgram(LaunchedProgram&&) = default;
    LaunchedProgram& operator=(LaunchedProgram&&) = delete;
    ~LaunchedProgram();  // end()

    const std::string& block_name() const { return block_; }
    const std::string& path() const { return path_; }

    // A session on its block; `symbols` as vxctl --symbols.
    Session attach(const std::optional<std::string>& symbols) const;

    bool running() { return child_.running(); }

    // Ends it the way END does (killing it when it does not end in time),
    // then removes its block and sync object if nobody else holds them.
    void end();

private:
    LaunchedProgram(std::string path, std::string block, platform::ChildProcess child)
        : path_(std::move(path)), block_(std::move(block)), child_(std::move(child)) {}

    std::string path_;
    std::string block_;
    platform::ChildProcess child_;
    bool ended_ = false;
};

}  // namespace vx::console
