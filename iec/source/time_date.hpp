// Time and date arithmetic, selection and comparison on TIME, DATE,
// TIME_OF_DAY and DATE_AND_TIME. TIME and DT are read as totals of ticks
// (days x 864,000,000 + ticks), exact in 64 bits, so inputs need not be in
// normal form; results built from a total are stored in normal form, and
// those whose day count would not fit a DINT are stored at the nearest of
// kMinTotal and kMaxTotal. Selections copy their operand's elements as they
// are. Every time-typed result is a new array from the temporary pool.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <type_traits>

#include "iec.hpp"

namespace iec::time_date {

// ---- Arithmetic ------------------------------------------------------------

// TIME ± TIME, DT ± TIME, DT - DT.
IntCell* add_totals(const IntCell* a, const IntCell* b);
IntCell* sub_totals(const IntCell* a, const IntCell* b);

// TOD ± the ticks of a TIME (its days are ignored), brought back into the
// day by one day at most: a time of day plus a long span may stay beyond
// it. Worked out in 64 bits, so no input overflows; a result that still
// does not fit a DINT (only from a TOD far outside the day, or from
// subtracting ticks near INT32_MIN) is stored at the nearest DINT bound.
IntCell* add_tod_ticks(const IntCell* tod, const IntCell* t);
IntCell* sub_tod_ticks(const IntCell* tod, const IntCell* t);

// TOD1 - TOD2 as days 0 and the difference in ticks, left as it is; a
// difference that does not fit the ticks element (TODs far outside the
// day) is stored in normal form instead of wrapping.
IntCell* sub_ticks(const IntCell* tod1, const IntCell* tod2);

// D1 - D2 as days and ticks 0; a difference that does not fit a DINT is
// stored saturated like every TIME beyond the day range.
IntCell* sub_days(const IntCell* d1, const IntCell* d2);

// Building and taking apart a DT, element by element, without normalising.
IntCell* concat_date_tod(const IntCell* d, const IntCell* tod);
IntCell* dt_to_date(const IntCell* dt);
IntCell* dt_to_tod(const IntCell* dt);

// TIME x N or x X. Integer factors go through long double as well: its
// 64-bit mantissa holds every product that fits the stored range exactly,
// and larger ones saturate. A NaN factor, or 0 x infinity, gives T#0.
static_assert(std::numeric_limits<long double>::digits >= 64, "time products need a 64-bit mantissa");
template <class Number> IntCell* multiply(const IntCell* t, Number n) {
    return time_result(whole_total(static_cast<long double>(total(t)) * static_cast<long double>(n)));
}

// TIME / N or / X, truncated toward zero. An operand that is not greater
// than 0 is refused with `code` and T#0; the test is written so that a NaN
// fails it too, since a division by NaN has no value to return. An integer
// quotient is exact, the truncation of the real quotient; a REAL one goes
// through long double and saturates when it leaves the range.
template <class Number> IntCell* divide(const IntCell* t, Number n, std::int32_t code) {
    if (!(n > 0)) {
        fail(code);
        return time_result(0);
    }
    if constexpr (std::is_integral_v<Number>) {
        return time_result(total(t) / n);  // n > 0: no trap, and C++ truncates toward zero
    } else {
        return time_result(whole_total(static_cast<long double>(total(t)) / static_cast<long double>(n)));
    }
}

// ---- Selection and comparison ------------------------------------------------

enum class Kind { time, date, tod, dt };

constexpr std::int32_t elements(Kind kind) { return kind == Kind::time || kind == Kind::dt ? 2 : 1; }

// The ordering of each type: TIME and DT by total, DATE and TOD by their
// single element as a signed DINT.
template <Kind K> std::int64_t key(const IntCell* value) {
    if constexpr (elements(K) == 2) {
        return total(value);
    } else {
        return element(value, 0);
    }
}

template <Kind K> IntCell* copy(const IntCell* value) { return copy_result(value, elements(K)); }

template <Kind K> IntCell* sel(std::uint8_t g, const IntCell* in0, const IntCell* in1) {
    return copy<K>(truth(g) ? in1 : in0);
}

// K outside 0 to 9 (negative included) is refused with `code` and a copy of
// IN0.
template <Kind K>
IntCell* mux(std::int16_t k, const IntCell* in0, const IntCell* in1, const IntCell* in2, const IntCell* in3,
             const IntCell* in4, const IntCell* in5, const IntCell* in6, const IntCell* in7, const IntCell* in8,
             const IntCell* in9, std::int32_t code) {
    const IntCell* const in[] = {in0, in1, in2, in3, in4, in5, in6, in7, in8, in9};
    if (k < 0 || k > 9) {
        fail(code);
        return copy<K>(in0);
    }
    return copy<K>(in[k]);
}

// Both return IN1 on a tie, which shows when equal totals are written
// differently.
template <Kind K> IntCell* max(const IntCell* in1, const IntCell* in2) {
    return copy<K>(key<K>(in1) >= key<K>(in2) ? in1 : in2);
}
template <Kind K> IntCell* min(const IntCell* in1, const IntCell* in2) {
    return copy<K>(key<K>(in1) <= key<K>(in2) ? in1 : in2);
}

// The bounds may come in either order; on equal bounds MN is the lower.
template <Kind K> IntCell* limit(const IntCell* mn, const IntCell* in, const IntCell* mx) {
    const bool reversed = key<K>(mx) < key<K>(mn);
    const IntCell* lo = reversed ? mx : mn;
    const IntCell* hi = reversed ? mn : mx;
    if (key<K>(in) > key<K>(hi)) return copy<K>(hi);
    if (key<K>(in) < key<K>(lo)) return copy<K>(lo);
    return copy<K>(in);
}

template <Kind K, class Relation> std::uint8_t compare(const IntCell* in1, const IntCell* in2) {
    return boolean(Relation{}(key<K>(in1), key<K>(in2)));
}
template <Kind K> std::uint8_t eq(const IntCell* a, const IntCell* b) { return compare<K, std::equal_to<>>(a, b); }
template <Kind K> std::uint8_t ne(const IntCell* a, const IntCell* b) { return compare<K, std::not_equal_to<>>(a, b); }
template <Kind K> std::uint8_t gt(const IntCell* a, const IntCell* b) { return compare<K, std::greater<>>(a, b); }
template <Kind K> std::uint8_t ge(const IntCell* a, const IntCell* b) { return compare<K, std::greater_equal<>>(a, b); }
template <Kind K> std::uint8_t lt(const IntCell* a, const IntCell* b) { return compare<K, std::less<>>(a, b); }
template <Kind K> std::uint8_t le(const IntCell* a, const IntCell* b) { return compare<K, std::less_equal<>>(a, b); }

}  // namespace iec::time_date
