// A program that this process starts and owns: it ends when we end (the
// kernel sends it SIGTERM if we die first), it runs in a process group of
// its own, so that a Ctrl-C at the terminal reaches only us and we decide
// how it ends, and it is reaped by us.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vx::platform {

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is killed (SIGKILL) and reaped.
    ~ChildProcess();

    // Starts `path` with argv[0] = path, our environment with `env` set on
    // top, standard input, output and error on /dev/null (whoever starts it
    // learns what it needs from its exit status). None, with the reason in
    // `error`, when the program cannot be started (it does not exist, is
    // not executable...).
    static std::optional<ChildProcess> spawn(const std::string& path,
                                             const std::vector<std::pair<std::string, std::string>>& env,
                                             std::string& error);

    std::int32_t pid() const { return pid_; }
    bool running();
    // The exit status once it has ended (128 + the signal when killed).
    std::optional<int> exit_status();
    // Waits up to `timeout` for it to end; its exit status, or none.
    std::optional<int> wait_for(std::chrono::milliseconds timeout);
    void send_signal(int signal_number);

private:
    void kill_and_reap();

    std::int32_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace vx::platform
