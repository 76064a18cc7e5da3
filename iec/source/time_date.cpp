#include "time_date.hpp"

#include <algorithm>

namespace iec::time_date {
namespace {

// A 64-bit result kept in one DINT element, saturated rather than wrapped
// so that it keeps its sign.
std::int32_t saturated(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// Element k of a DATE, TOD, TIME or DT, widened so that sums and
// differences of two of them cannot overflow.
std::int64_t wide(const IntCell* value, int k) { return element(value, k); }

}  // namespace

IntCell* add_totals(const IntCell* a, const IntCell* b) { return time_result(total(a) + total(b)); }

IntCell* sub_totals(const IntCell* a, const IntCell* b) { return time_result(total(a) - total(b)); }

IntCell* add_tod_ticks(const IntCell* tod, const IntCell* t) {
    std::int64_t sum = wide(tod, 0) + wide(t, 1);
    if (sum >= kTicksPerDay) sum -= kTicksPerDay;
    return int_result(saturated(sum));
}

IntCell* sub_tod_ticks(const IntCell* tod, const IntCell* t) {
    std::int64_t difference = wide(tod, 0) - wide(t, 1);
    if (difference < 0) difference += kTicksPerDay;
    return int_result(saturated(difference));
}

IntCell* sub_ticks(const IntCell* tod1, const IntCell* tod2) {
    const std::int64_t difference = wide(tod1, 0) - wide(tod2, 0);
    if (!holds<std::int32_t>(difference)) return time_result(difference);
    return int_result(0, static_cast<std::int32_t>(difference));
}

IntCell* sub_days(const IntCell* d1, const IntCell* d2) {
    const std::int64_t days = wide(d1, 0) - wide(d2, 0);
    if (!holds<std::int32_t>(days)) return time_result(days * kTicksPerDay);  // at most 2^32 days: no overflow
    return int_result(static_cast<std::int32_t>(days), 0);
}

IntCell* concat_date_tod(const IntCell* d, const IntCell* tod) { return int_result(element(d, 0), element(tod, 0)); }

IntCell* dt_to_date(const IntCell* dt) { return int_result(element(dt, 0)); }

IntCell* dt_to_tod(const IntCell* dt) { return int_result(element(dt, 1)); }

}  // namespace iec::time_date
