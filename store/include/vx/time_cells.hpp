// TIME values in cells, as the IEC library, the generator and the console
// read and write them: an int array of two elements, days and ticks of
// 100 us, whose total is days x kTicksPerDay + ticks.
#pragma once

#include <cstdint>

namespace vx {

inline constexpr std::int64_t kTicksPerSecond = 10'000;
inline constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;
static_assert(kTicksPerDay == 864'000'000);

}  // namespace vx
