#include "vx/platform/system.hpp"

#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

namespace vx::platform {

std::uint32_t tick_milliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // modulo 2^32, as a tick count wraps
}

void sleep_milliseconds(std::uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000u), static_cast<long>(milliseconds % 1000u) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void minimise_timer_slack() { ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

std::int32_t process_id() { return static_cast<std::int32_t>(::getpid()); }

bool process_exists(std::int32_t pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string local_time_text() {
    const std::time_t now = std::time(nullptr);
    char text[64];  // ctime_r needs 26 bytes; room for years beyond 9999
    if (::ctime_r(&now, text) == nullptr) return "\n";
    return text;
}

}  // namespace vx::platform
