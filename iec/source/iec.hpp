// What every family of the library shares: the error flag, BOOL values,
// the time base of timers and counters, time values as totals of ticks,
// strings as runs of char cells, and result arrays from the temporary pool.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include "vx/block.hpp"
#include "vx/time_cells.hpp"
#include "vx_runtime.h"

namespace iec {

// ---- Error flag ----------------------------------------------------------
// Every entry clears LIBFB_ERR before it runs (the generated wrappers do);
// a failed check stores its code and the entry returns its fallback.

inline constexpr std::int32_t kOutOfRange = 1000;

inline void fail(std::int32_t code) { LIBFB_ERR = code; }

// ---- BOOL ------------------------------------------------------------------
// A BOOL input is TRUE when any of its bits is set; results are 0 or 1.

inline bool truth(std::uint8_t value) { return value != 0; }
inline std::uint8_t boolean(bool value) { return value ? 1 : 0; }

// ---- Integer types ---------------------------------------------------------

template <class T> inline constexpr bool is_integer = std::is_integral_v<T>;

template <class T> constexpr bool holds(std::int64_t value) {
    return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

// An exact result that T must hold: the value, or error 1000 and 0.
template <class T> T fit(std::int64_t value) {
    if (!holds<T>(value)) {
        fail(kOutOfRange);
        return 0;
    }
    return static_cast<T>(value);
}

// ---- Time base ---------------------------------------------------------------
// Timers and counters read no clock: the cycle counter and the cycle period
// (microseconds) in the program's block give them the simulated time.

struct Clock {
    std::int32_t counter;
    float period;
};

Clock clock();

// ---- Time values ---------------------------------------------------------------
// TIME and DATE_AND_TIME are int arrays of two elements (days, ticks of
// 100 us); DATE and TIME_OF_DAY of one. Element k is the cur word of cell
// k + 2 of the array.

using vx::kTicksPerDay;

// The largest totals whose day count fits a DINT: results beyond them are
// stored at these bounds.
inline constexpr std::int64_t kMaxTotal = std::int64_t{INT32_MAX} * kTicksPerDay + (kTicksPerDay - 1);
inline constexpr std::int64_t kMinTotal = std::int64_t{INT32_MIN} * kTicksPerDay - (kTicksPerDay - 1);

inline std::int32_t element(const IntCell* array, int k) { return array ? vx::cur(array[vx::kArrayHeaderCells<IntCell> + k]) : 0; }
inline void set_element(IntCell* array, int k, std::int32_t value) {
    vx::set_cur(array[vx::kArrayHeaderCells<IntCell> + k], value);
}

// days x 864,000,000 + ticks, exact in 64 bits; inputs need not be in
// normal form.
inline std::int64_t total(const IntCell* time) {
    return std::int64_t{element(time, 0)} * kTicksPerDay + element(time, 1);
}

// A total held with its fraction (a REAL operand, a period that is not a
// whole number of ticks), truncated toward zero into the stored range; NaN
// is 0.
std::int64_t whole_total(long double total);

// Writes a total in normal form: days truncated toward zero, the rest in
// ticks, both with the total's sign. The shared fallback is never written.
void store_time(IntCell* time, std::int64_t total);

// ---- Result arrays -------------------------------------------------------------
// A result is a new array from the temporary pool. When the pool is
// exhausted (it has said so on standard error), the result is a shared
// fallback that reads as T#0 or as the empty string; the library never
// writes a value into it, and it is zeroed again each time it is handed out,
// so a caller that ignores the failure reads a safe value and corrupts
// nothing.

IntCell* new_int_array(std::int32_t elements);
bool is_fallback(const IntCell* array);

// A new TIME or DATE_AND_TIME holding `total` in normal form.
IntCell* time_result(std::int64_t total);

// A new int array of one or two elements holding exactly these values
// (DATE, TIME_OF_DAY, or a TIME stored without normalising).
IntCell* int_result(std::int32_t first);
IntCell* int_result(std::int32_t first, std::int32_t second);

// A copy of the elements of a time value, without normalising them.
IntCell* copy_result(const IntCell* array, std::int32_t elements);

// Copies the two elements of `time` into `result` (never into the
// fallback); returns `result`.
IntCell* copy_into(IntCell* result, const IntCell* time);

// ---- Strings ---------------------------------------------------------------------
// A STRING is a char array: its capacity in the prev bytes of cells 0 and 1,
// character i in cell i + 3. Its length is the position of the first
// character 0 among its capacity characters, or the capacity; no cell past
// the capacity is ever read, and a capacity of 0 is the empty string.

class Text {
public:
    explicit Text(const CharCell* s) : cells_(s), length_(array_char_len(s)) {}
    std::int32_t length() const { return length_; }
    // Character i, 0 <= i < length().
    std::uint8_t operator[](std::int32_t i) const { return vx::cur(cells_[vx::kArrayHeaderCells<CharCell> + i]); }

private:
    const CharCell* cells_;
    std::int32_t length_;
};

// A new string being written: each character goes into cur and prev of its
// cell, and only positions inside the capacity are written.
class NewText {
public:
    explicit NewText(std::int32_t capacity);
    CharCell* cells() const { return cells_; }
    std::int32_t capacity() const { return capacity_; }
    void put(std::int32_t i, std::uint8_t c) const {
        if (i >= 0 && i < capacity_) vx::set_start_value(cells_[vx::kArrayHeaderCells<CharCell> + i], c);
    }
    // Appends characters [from, to) of `text` at position `at`; returns the
    // position after them.
    std::int32_t append(std::int32_t at, const Text& text, std::int32_t from, std::int32_t to) const;

private:
    CharCell* cells_;
    std::int32_t capacity_;
};

}  // namespace iec
