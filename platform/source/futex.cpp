#include "vx/platform/futex.hpp"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace vx::platform {

void futex_wait(std::uint32_t* word, std::uint32_t expected, std::uint64_t timeout_ns) {
    const timespec timeout{static_cast<time_t>(timeout_ns / 1000000000u), static_cast<long>(timeout_ns % 1000000000u)};
    // Not the private variant: the word is shared with another process.
    ::syscall(SYS_futex, word, FUTEX_WAIT, expected, &timeout, nullptr, 0);
}

void futex_wake(std::uint32_t* word) { ::syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

}  // namespace vx::platform
