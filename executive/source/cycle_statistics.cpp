// Cycle statistics: the mean of the last (up to) 100 cycle durations, the
// shortest and the longest, and the state modifications per cycle.
#include <algorithm>

#include "vx/executive.hpp"
#include "vx/numbers.hpp"
#include "vx/runtime.hpp"

namespace vx {
namespace {

void publish(FloatCell* cell, double value) {
    if (cell != nullptr) set_cur(*cell, to_float(value));
}
float read(const FloatCell* cell) { return cell != nullptr ? cur(*cell) : 0.0f; }

}  // namespace

void CycleStatistics::record(std::uint32_t duration, std::int32_t counter, std::int32_t modifications) {
    if (nb_ == 0) {  // the first cycle of the process is not measured
        nb_ = 1;
        return;
    }
    if (nb_ == 1) {
        tab_.fill(0);
        publish(mxmeanvariablemodification, 0.0);
        publish(mxminvariablemodification, 10000000.0);
        publish(mxmaxvariablemodification, 0.0);
    }
    // Durations beyond int32 (a breakpoint held for more than 35 minutes)
    // are taken at the int32 maximum; the sum is kept in 64 bits.
    const auto d = static_cast<std::int32_t>(std::min<std::uint32_t>(duration, INT32_MAX));
    const int slot = ring_slot(counter);
    count_ += std::int64_t{d} - tab_[static_cast<std::size_t>(slot)];
    tab_[static_cast<std::size_t>(slot)] = d;
    publish(realsimuperiod, static_cast<double>(count_) / nb_);
    if (nb_ < 100) ++nb_;

    const auto measured = static_cast<float>(duration);
    const float shortest = read(minsimuperiod);
    if (shortest == 0.0f || shortest > measured) publish(minsimuperiod, measured);
    if (measured > read(maxsimuperiod)) publish(maxsimuperiod, measured);

    // c cycles came before this one. A negative counter, written by another
    // process, counts none: taken as it is, -1 would divide by zero and leave
    // the mean NaN for the rest of the run.
    const double c = std::max(counter, 0);
    const double mean = read(mxmeanvariablemodification);
    publish(mxmeanvariablemodification, (c * mean + modifications) / (c + 1.0));
    if (modifications < read(mxminvariablemodification)) publish(mxminvariablemodification, modifications);
    if (modifications > read(mxmaxvariablemodification)) publish(mxmaxvariablemodification, modifications);
}

}  // namespace vx
