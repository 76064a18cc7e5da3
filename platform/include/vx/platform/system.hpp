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

// Sleeps for `milliseconds`, resuming after interruptions by signals, but
// ending early once an ending signal has arrived (see below).
void sleep_milliseconds(std::uint32_t milliseconds);

// The monotonic clock in nanoseconds, with the resolution the system gives.
std::uint64_t monotonic_nanoseconds();

// Sleeps until the monotonic clock reads `deadline` nanoseconds (at once when
// it already has), ending early once an ending signal has arrived.
void sleep_until_nanoseconds(std::uint64_t deadline);

// Lets timed sleeps end as close to their schedule as the kernel allows.
void minimise_timer_slack();

std::int32_t process_id();

// Makes SIGINT, SIGTERM and SIGHUP ask the program to end instead of killing
// it: the first one only sets a flag, which the program takes at its next
// sampling point (sleeps end early for it); a second one while the program
// is ending ends it at once, as the signal's default does.
void install_ending_signals();

// True once an ending signal has arrived.
bool ending_signalled();

// Asks for a real-time scheduling class and for all memory, present and
// future, locked in RAM. False with the reason in `why` when the system
// refuses (typically for want of privilege); the process is then as before.
bool request_realtime(std::string& why);

// True when a process with this id exists (whoever owns it).
bool process_exists(std::int32_t pid);

// The value of an environment variable, or none when it is not set.
std::optional<std::string> environment(const char* name);

// The local date and time in the C library's calendar text form
// ("Mon Dec  7 05:25:30 2026\n").
std::string local_time_text();

}  // namespace vx::platform
