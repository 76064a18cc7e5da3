// Type conversions: the rules of the conversion table, carried out on the C
// value types of the entries (uint8_t stands for BOOL and BYTE alike; the
// rule tells them apart).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "iec.hpp"
#include "vx/numbers.hpp"

namespace iec {

enum class Rule { test, byte, value, zero_extend, low_bits, fit, round_fit, round, range_round };

// The library's rounding of a REAL to an integer: ties go to the even
// neighbour, everything else to the nearest integer, with x + 0.5 and
// x - 0.5 formed in double precision so that 0.49999997 gives 0. Done on
// doubles, so that no value is ever cast out of its range; the result is
// integral (or NaN, or infinite).
double round_half_even(float x);

// Truncates toward zero into T, saturating; NaN gives 0.
template <class T> T saturate(double x) {
    return static_cast<T>(vx::truncate_clamped(x, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// An integral double (or NaN) that T must hold: its value, or error 1000
// and 0.
template <class T> T fitted(double x) {
    if (!(x >= static_cast<double>(std::numeric_limits<T>::min()) &&
          x <= static_cast<double>(std::numeric_limits<T>::max()))) {
        fail(kOutOfRange);
        return 0;
    }
    return static_cast<T>(x);
}

template <class From, class To, Rule R> To convert(From x) {
    if constexpr (R == Rule::test) {
        return static_cast<To>(x != 0 ? 1 : 0);  // a NaN differs from 0
    } else if constexpr (R == Rule::byte || R == Rule::value || R == Rule::low_bits) {
        // Integer narrowing keeps the low bits (modular since C++20); a DWORD
        // or DINT widened to REAL is rounded to the nearest float.
        return static_cast<To>(x);
    } else if constexpr (R == Rule::zero_extend) {
        return static_cast<To>(static_cast<std::make_unsigned_t<From>>(x));
    } else if constexpr (R == Rule::fit) {
        return fit<To>(x);
    } else if constexpr (R == Rule::round_fit) {
        return fitted<To>(round_half_even(x));
    } else if constexpr (R == Rule::round) {
        return saturate<To>(round_half_even(x));
    } else {
        static_assert(R == Rule::range_round);
        if (!(x >= 0.0f && static_cast<double>(x) < 4294967296.0)) {
            fail(kOutOfRange);
            return 0;
        }
        return static_cast<To>(round_half_even(x));
    }
}

// REAL truncated toward zero; SINT and INT must hold it, DINT saturates.
template <class To> To truncate(float x) {
    if constexpr (std::is_same_v<To, std::int32_t>) {
        return saturate<To>(std::trunc(static_cast<double>(x)));
    } else {
        return fitted<To>(std::trunc(static_cast<double>(x)));
    }
}

// ---- BCD ----------------------------------------------------------------------

template <class Bits> constexpr int kDigits = 2 * static_cast<int>(sizeof(Bits));

template <class Bits, class Integer> Integer bcd_decode(Bits bits) {
    std::int64_t value = 0;
    for (int d = kDigits<Bits> - 1; d >= 0; --d) {
        const auto digit = static_cast<std::int64_t>((std::uint64_t{bits} >> (4 * d)) & 0xF);
        if (digit > 9) {
            fail(kOutOfRange);
            return 0;
        }
        value = value * 10 + digit;
    }
    return static_cast<Integer>(value);
}

template <class Integer, class Bits> Bits bcd_encode(Integer value) {
    std::int64_t largest = 1;
    for (int d = 0; d < kDigits<Bits>; ++d) largest *= 10;
    if (value < 0 || value >= largest) {
        fail(kOutOfRange);
        return 0;
    }
    std::uint64_t bits = 0;
    std::int64_t rest = value;
    for (int d = 0; d < kDigits<Bits>; ++d, rest /= 10) bits |= static_cast<std::uint64_t>(rest % 10) << (4 * d);
    return static_cast<Bits>(bits);
}

// ---- STRING ---------------------------------------------------------------------

enum class Format { hex, decimal, general, fixed };

// The text of a value as the formats "16#%02X" (two digits per byte),
// "%d" and "%g" write it, into `out`; returns its length (at most 24).
int format_hex(std::uint32_t bits, int digits, char* out);
int format_decimal(std::int32_t value, char* out);
int format_general(double value, char* out);

// A new string of `capacity` holding the first `length` characters of `text`.
CharCell* string_result(const char* text, int length, std::int32_t capacity);

template <class From, Format F, std::int32_t Capacity> CharCell* to_string(From x) {
    char text[32];
    int length = 0;
    if constexpr (F == Format::hex) {
        length = format_hex(x, 2 * static_cast<int>(sizeof(From)), text);
    } else if constexpr (F == Format::decimal) {
        length = format_decimal(x, text);
    } else {
        static_assert(F == Format::general);
        length = format_general(x, text);
    }
    return string_result(text, length, Capacity);
}

// Reading, as "16#%0<digits>X", "%d" (or "%ld") and "%f" read the first
// `count` characters of a string: none when nothing was converted.
struct Parsed {
    bool converted;
    std::int64_t value;
};
Parsed parse_hex(const CharCell* s, int count, int digits);
Parsed parse_decimal(const CharCell* s, int count);
float parse_real(const CharCell* s, int count);

template <class To, Format F, int Count> To from_string(const CharCell* s) {
    if constexpr (F == Format::fixed) {
        return parse_real(s, Count);
    } else {
        const Parsed p = F == Format::hex ? parse_hex(s, Count, 2 * static_cast<int>(sizeof(To))) : parse_decimal(s, Count);
        // The low bits of what was read, with no range test.
        return p.converted ? static_cast<To>(static_cast<std::uint64_t>(p.value)) : To{0};
    }
}

}  // namespace iec
