#include "iec.hpp"

#include <algorithm>
#include <cmath>

#include "vx/numbers.hpp"
#include "vx/runtime.hpp"

namespace iec {
namespace {

// The fallbacks handed out when the pool is exhausted: an int array of two
// zero elements (T#0, DATE 0, TOD 0) and a string of capacity 0.
IntCell g_zero_time[4];
CharCell g_empty_text[3];

template <class Cell, std::size_t N> Cell* zeroed(Cell (&cells)[N]) {
    for (Cell& c : cells) vx::set_start_value(c, typename vx::CellTraits<Cell>::Value{});
    return cells;
}

}  // namespace

Clock clock() {
    const IntCell* counter = vx::executive_block().cell<IntCell>(posmxsimucounter);
    return {counter ? vx::cur(*counter) : 0, simuperiod ? vx::cur(*simuperiod) : 0.0f};
}

std::int64_t whole_total(long double total) { return vx::truncate_clamped(total, kMinTotal, kMaxTotal); }

void store_time(IntCell* time, std::int64_t total) {
    if (time == nullptr || is_fallback(time)) return;
    total = std::clamp(total, kMinTotal, kMaxTotal);
    const std::int64_t days = total / kTicksPerDay;  // C++ division truncates toward zero
    set_element(time, 0, static_cast<std::int32_t>(days));
    set_element(time, 1, static_cast<std::int32_t>(total - days * kTicksPerDay));
}

IntCell* new_int_array(std::int32_t elements) {
    IntCell* array = alloc_int(elements);
    return array != nullptr ? array : zeroed(g_zero_time);
}

bool is_fallback(const IntCell* array) { return array == g_zero_time; }

IntCell* time_result(std::int64_t total) {
    IntCell* time = new_int_array(2);
    store_time(time, total);
    return time;
}

IntCell* int_result(std::int32_t first) {
    IntCell* array = new_int_array(1);
    if (!is_fallback(array)) set_element(array, 0, first);
    return array;
}

IntCell* int_result(std::int32_t first, std::int32_t second) {
    IntCell* array = new_int_array(2);
    if (!is_fallback(array)) {
        set_element(array, 0, first);
        set_element(array, 1, second);
    }
    return array;
}

IntCell* copy_result(const IntCell* array, std::int32_t elements) {
    return elements == 1 ? int_result(element(array, 0)) : int_result(element(array, 0), element(array, 1));
}

IntCell* copy_into(IntCell* result, const IntCell* time) {
    if (!is_fallback(result)) {
        set_element(result, 0, element(time, 0));
        set_element(result, 1, element(time, 1));
    }
    return result;
}

NewText::NewText(std::int32_t capacity) : cells_(alloc_char(capacity)), capacity_(capacity) {
    if (cells_ == nullptr) {
        cells_ = zeroed(g_empty_text);
        capacity_ = 0;
    }
}

std::int32_t NewText::append(std::int32_t at, const Text& text, std::int32_t from, std::int32_t to) const {
    for (std::int32_t i = from; i < to; ++i) put(at++, text[i]);
    return at;
}

}  // namespace iec
