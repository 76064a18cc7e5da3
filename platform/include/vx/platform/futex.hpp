// A wake-up between processes on a 32-bit word in shared memory: one process
// waits while the word holds a value, another changes the word and wakes it.
// The word must lie in a mapping that both processes share (MAP_SHARED).
#pragma once

#include <cstdint>

namespace vx::platform {

// Sleeps while *word equals `expected`, at most `timeout_ns` nanoseconds.
// Returns at once when the word already differs; also returns when woken,
// when the time is up, or when a signal arrives, so callers look at the
// word (and whatever else they wait for) again.
void futex_wait(std::uint32_t* word, std::uint32_t expected, std::uint64_t timeout_ns);

// Wakes every process that waits on `word`.
void futex_wake(std::uint32_t* word);

}  // namespace vx::platform
