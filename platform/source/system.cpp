#include "vx/platform/system.hpp"

#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vx::platform {
namespace {

constexpr std::uint64_t kNanosecondsPerSecond = 1000000000u;

// A signal can arrive between the last look at the flag and the start of a
// sleep; sleeping in slices of this length bounds the delay that costs.
constexpr std::uint64_t kSleepSliceNanoseconds = 100000000u;

// Low in the real-time range: above every ordinary process, below the
// kernel's own real-time threads.
constexpr int kRealtimePriority = 10;

volatile std::sig_atomic_t ending_requested = 0;

void on_ending_signal(int signal_number) {
    if (ending_requested != 0) {
        // Asked again while ending: the user insists, so end at once the way
        // the signal does by default.
        ::signal(signal_number, SIG_DFL);
        ::raise(signal_number);
        return;
    }
    ending_requested = 1;
}

timespec to_timespec(std::uint64_t nanoseconds) {
    return {static_cast<time_t>(nanoseconds / kNanosecondsPerSecond),
            static_cast<long>(nanoseconds % kNanosecondsPerSecond)};
}

}  // namespace

std::uint32_t tick_milliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // modulo 2^32, as a tick count wraps
}

void sleep_milliseconds(std::uint32_t milliseconds) {
    sleep_until_nanoseconds(monotonic_nanoseconds() + std::uint64_t{milliseconds} * 1000000u);
}

std::uint64_t monotonic_nanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * kNanosecondsPerSecond + static_cast<std::uint64_t>(now.tv_nsec);
}

void sleep_until_nanoseconds(std::uint64_t deadline) {
    while (!ending_signalled()) {
        const std::uint64_t now = monotonic_nanoseconds();
        if (now >= deadline) return;
        const timespec until = to_timespec(std::min(deadline, now + kSleepSliceNanoseconds));
        // Interrupted or not, the loop looks at the flag and the clock again.
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
}

void minimise_timer_slack() { ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

std::int32_t process_id() { return static_cast<std::int32_t>(::getpid()); }

void install_ending_signals() {
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    ::sigemptyset(&action.sa_mask);
    // Reads and writes resume after the handler; sleeps never do, which is
    // what lets a sleep end early.
    action.sa_flags = SA_RESTART;
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal_number, &action, nullptr);
}

bool ending_signalled() { return ending_requested != 0; }

bool request_realtime(std::string& why) {
    why.clear();
    sched_param param{};
    param.sched_priority = kRealtimePriority;
    if (::sched_setscheduler(0, SCHED_FIFO, &param) != 0)
        why = std::string("real-time scheduling refused (") + std::strerror(errno) + ")";
    if (::mlockall(MCL_CURRENT | MCL_FUTURE) != 0)
        why += std::string(why.empty() ? "" : ", ") + "memory locking refused (" + std::strerror(errno) + ")";
    return why.empty();
}

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
