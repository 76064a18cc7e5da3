// Every other call into the operating system that the system makes: the
// monotonic millisecond tick, sleeping, the process, the environment and the
// local time text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx::platform {

// The monotonic clock in whole milliseconds, modulo 2^32 (the tick wraps).
std::uint32_t tick_milliseconds();

// Sleeps for `milliseconds`, resuming after interruptions by signals.
void sleep_milliseconds(std::uint32_t milliseconds);

// Lets timed sleeps end as close to their schedule as the kernel allows.
void minimise_timer_slack();

std::int32_t process_id();

// True when a process with this id exists (whoever owns it).
bool process_exists(std::int32_t pid);

// The value of an environment variable, or none when it is not set.
std::optional<std::string> environment(const char* name);

// The local date and time in the C library's calendar text form
// ("Mon Dec  7 05:25:30 2026\n").
std::string local_time_text();

}  // namespace vx::platform
