// The clock and the sleep of the cycle schedule.
//
// The default schedule reads the millisecond tick and sleeps in whole
// milliseconds, so a cycle starts up to about a millisecond and a half after
// its slot. The precise schedule (VX_SCHEDULE=precise) keeps the same
// absolute deadlines on the monotonic clock with microsecond resolution and
// sleeps until each deadline, so a cycle starts within tens of microseconds
// of its slot on an idle machine. Both count microseconds since their first
// reading, which is what the executive's timeNow holds.
#pragma once

#include <optional>
#include <string>

namespace vx {

// Lockstep (VX_SCHEDULE=lockstep, vx/lockstep.hpp) never sleeps between
// cycles: the simulator grants them; its clock is the precise one, so that
// the statistics still measure a cycle of a few microseconds.
enum class ScheduleMode { Millisecond, Precise, Lockstep };

// The mode that VX_SCHEDULE names: "precise", "lockstep", or the default when the
// variable is absent, empty or "default". None for any other value.
std::optional<ScheduleMode> parse_schedule_mode(const std::optional<std::string>& value);

void select_schedule(ScheduleMode mode);
ScheduleMode selected_schedule();

// Microseconds on the selected schedule's clock.
long double schedule_now();

// Sleeps until the selected clock reads `next`, `now` being its reading just
// before: the default schedule sleeps next - now truncated to whole
// milliseconds, the precise one until the deadline itself.
void sleep_until_start(long double next, long double now);

}  // namespace vx
