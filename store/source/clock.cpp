// The executive's clock: milliseconds of the monotonic tick since the first
// reading, and sleeping in whole milliseconds.
#include "vx/platform/system.hpp"
#include "vx_runtime.h"

namespace {

// A clock that starts at 0 on its first reading and stays monotonic across
// the wrap of the 32-bit tick (for spans shorter than 2^32 ms).
struct TickClock {
    std::uint32_t origin = 0;
    bool started = false;

    std::uint32_t elapsed() {
        const std::uint32_t reading = vx::platform::tick_milliseconds();
        if (!started) {
            origin = reading;
            started = true;
        }
        return reading - origin;  // modulo 2^32
    }
};

TickClock micro_clock;
TickClock milli_clock;

}  // namespace

extern "C" {

void waitMicroSeconds(uint32_t microseconds) { vx::platform::sleep_milliseconds(microseconds / 1000u); }

void VXD_wait(uint32_t microseconds) { waitMicroSeconds(microseconds); }

long double microSecondsNow(void) { return static_cast<long double>(micro_clock.elapsed()) * 1000.0L; }

long double milliSecondsNow(void) { return static_cast<long double>(milli_clock.elapsed()); }

}  // extern "C"
