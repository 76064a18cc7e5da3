#include "vx/schedule.hpp"

#include <cstdint>

#include "vx/platform/system.hpp"
#include "vx/numbers.hpp"
#include "vx_runtime.h"

namespace vx {
namespace {

ScheduleMode mode = ScheduleMode::Millisecond;

// The precise clock's origin, taken at its first reading, so that its
// microseconds stay small numbers as the millisecond clock's do.
std::uint64_t precise_origin = 0;
bool precise_started = false;

std::uint64_t precise_nanoseconds() {
    const std::uint64_t reading = platform::monotonic_nanoseconds();
    if (!precise_started) {
        precise_origin = reading;
        precise_started = true;
    }
    return reading - precise_origin;
}

}  // namespace

std::optional<ScheduleMode> parse_schedule_mode(const std::optional<std::string>& value) {
    if (!value || value->empty() || *value == "default") return ScheduleMode::Millisecond;
    if (*value == "precise") return ScheduleMode::Precise;
    if (*value == "lockstep") return ScheduleMode::Lockstep;
    return std::nullopt;
}

void select_schedule(ScheduleMode selected) { mode = selected; }
ScheduleMode selected_schedule() { return mode; }

long double schedule_now() {
    if (mode != ScheduleMode::Millisecond) return static_cast<long double>(precise_nanoseconds()) / 1000.0L;
    return microSecondsNow();
}

void sleep_until_start(long double next, long double now) {
    if (mode != ScheduleMode::Millisecond) {
        // A deadline beyond any sensible time (another process can write any
        // period) is clamped, never converted out of range.
        const auto offset = truncate_clamped(next * 1000.0L, 0, INT64_MAX / 2);
        platform::sleep_until_nanoseconds(precise_origin + static_cast<std::uint64_t>(offset));
        return;
    }
    VXD_wait(to_u32_clamped(next - now));
}

}  // namespace vx
