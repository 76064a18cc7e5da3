// Bitwise, selection, comparison, arithmetic and numeric functions on the
// scalar types: one template per operation over the C value type of its
// entries. uint8_t stands for BOOL and BYTE alike: on BOOL these operations
// work on the whole byte, so NOT TRUE is 16#FE and a BOOL of 2 differs from
// a BOOL of 1.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <type_traits>

#include "iec.hpp"
#include "vx/numbers.hpp"

namespace iec::ops {

template <class T> inline constexpr bool is_real = std::is_floating_point_v<T>;
// DINT computes modulo 2^32; SINT and INT compute exactly and must hold
// their results.
template <class T> inline constexpr bool wraps = std::is_same_v<T, std::int32_t>;
template <class T> inline constexpr int kWidth = 8 * static_cast<int>(sizeof(T));
// The bit pattern of an integer type, on which shifts and rotations work
// whatever the type's sign.
template <class T> using Bits = std::make_unsigned_t<T>;

// ---- Bitwise logic on the two's complement pattern --------------------------

template <class T> T and_(T a, T b) { return static_cast<T>(a & b); }
template <class T> T or_(T a, T b) { return static_cast<T>(a | b); }
template <class T> T xor_(T a, T b) { return static_cast<T>(a ^ b); }
template <class T> T not_(T a) { return static_cast<T>(~a); }

// ---- Shifts and rotations of the w-bit pattern --------------------------------
// N outside 0 .. w-1 (negative ones included) leaves IN unchanged and reports
// the entry's code; inside it, every shift is defined on the unsigned pattern.

template <class T, class Move> T moved(T in, std::int16_t n, std::int32_t code, Move move) {
    if (n < 0 || n >= kWidth<T>) {
        fail(code);
        return in;
    }
    return static_cast<T>(move(static_cast<Bits<T>>(in), n));
}

template <class T> T shl_(T in, std::int16_t n, std::int32_t code) {
    // Shifted in 32 unsigned bits so that no promotion to int can overflow.
    return moved(in, n, code, [](Bits<T> b, int k) { return static_cast<Bits<T>>(std::uint32_t{b} << k); });
}

template <class T> T shr_(T in, std::int16_t n, std::int32_t code) {
    return moved(in, n, code, [](Bits<T> b, int k) { return static_cast<Bits<T>>(b >> k); });
}

template <class T> T ror_(T in, std::int16_t n, std::int32_t code) {
    return moved(in, n, code, [](Bits<T> b, int k) { return std::rotr(b, k); });
}

template <class T> T rol_(T in, std::int16_t n, std::int32_t code) {
    return moved(in, n, code, [](Bits<T> b, int k) { return std::rotl(b, k); });
}

// ---- Selection -------------------------------------------------------------------
// The chosen operand comes back unchanged (a selected BOOL keeps its byte).

template <class T> T sel_(std::uint8_t g, T in0, T in1) { return truth(g) ? in1 : in0; }

template <class T>
T mux_(std::int16_t k, T in0, T in1, T in2, T in3, T in4, T in5, T in6, T in7, T in8, T in9, std::int32_t code) {
    if (k < 0 || k > 9) {
        fail(code);
        return in0;
    }
    const T in[] = {in0, in1, in2, in3, in4, in5, in6, in7, in8, in9};
    return in[k];
}

// Unsigned types compare unsigned, signed ones signed, REAL by value. With a
// NaN the comparison is false, so MAX(NaN, x) and MIN(NaN, x) are x, while
// MAX(x, NaN) and MIN(x, NaN) are NaN.
template <class T> T max_(T a, T b) { return a >= b ? a : b; }
template <class T> T min_(T a, T b) { return a <= b ? a : b; }

// The bounds may come in either order. A NaN bound cannot be ordered: the
// bounds then stay as given and the NaN one limits nothing.
template <class T> T limit_(T mn, T in, T mx) {
    const bool swapped = mx < mn;
    const T lo = swapped ? mx : mn;
    const T hi = swapped ? mn : mx;
    if (in > hi) return hi;
    if (in < lo) return lo;
    return in;
}

// ---- Comparison ---------------------------------------------------------------------
// Exact, without tolerance: 0.0 equals -0.0, and a NaN is unequal to
// everything, itself included, and neither greater nor less.

template <class T> std::uint8_t eq_(T a, T b) { return boolean(a == b); }
template <class T> std::uint8_t ne_(T a, T b) { return boolean(a != b); }
template <class T> std::uint8_t gt_(T a, T b) { return boolean(a > b); }
template <class T> std::uint8_t ge_(T a, T b) { return boolean(a >= b); }
template <class T> std::uint8_t lt_(T a, T b) { return boolean(a < b); }
template <class T> std::uint8_t le_(T a, T b) { return boolean(a <= b); }

// ---- Arithmetic ----------------------------------------------------------------------

// One operation on the three kinds of number: REAL in single precision,
// DINT on its unsigned pattern (modulo 2^32, no overflow), SINT and INT
// exactly in 64 bits and then fitted.
template <class T, class Op> T arithmetic(T a, T b, Op op) {
    if constexpr (is_real<T>) {
        return op(a, b);
    } else if constexpr (wraps<T>) {
        return static_cast<T>(op(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)));
    } else {
        return fit<T>(op(std::int64_t{a}, std::int64_t{b}));
    }
}

template <class T> T add_(T a, T b) { return arithmetic(a, b, std::plus<>{}); }
template <class T> T sub_(T a, T b) { return arithmetic(a, b, std::minus<>{}); }
template <class T> T mul_(T a, T b) { return arithmetic(a, b, std::multiplies<>{}); }

// Truncating division. A zero divisor (either sign for REAL) is the entry's
// code and 0. DINT -2147483648 / -1 wraps like the other DINT arithmetic:
// its quotient 2^31 comes back as -2147483648, without error.
template <class T> T div_(T a, T b, std::int32_t code) {
    if (b == 0) {
        fail(code);
        return 0;
    }
    if constexpr (is_real<T>) {
        return a / b;
    } else if constexpr (wraps<T>) {
        return b == -1 ? static_cast<T>(0u - static_cast<std::uint32_t>(a)) : static_cast<T>(a / b);
    } else {
        return fit<T>(std::int64_t{a} / b);
    }
}

// The remainder of the truncating division, with the sign of IN1. Any value
// modulo -1 is 0, which also keeps DINT -2147483648 MOD -1 from trapping.
template <class T> T mod_(T a, T b, std::int32_t code) {
    if (b == 0) {
        fail(code);
        return 0;
    }
    if (b == -1) return 0;
    return static_cast<T>(a % b);
}

// The absolute value; the most negative SINT, INT and DINT have none (1000
// and 0). REAL clears the sign bit, so ABS(-0.0) is 0.0 rather than -0.0.
template <class T> T abs_(T a) {
    if constexpr (is_real<T>) {
        return std::fabs(a);
    } else {
        return fit<T>(a < 0 ? -std::int64_t{a} : std::int64_t{a});
    }
}

template <class T> T move_(T in) { return in; }

// IN1 raised to IN2. A negative exponent gives 0 without error on the
// integer types; every loop below runs at most 30 times.
template <class T> T expt_(T base, T exponent) {
    if constexpr (is_real<T>) {
        return vx::to_float(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
    } else if constexpr (wraps<T>) {
        if (exponent >= 31) {
            fail(kOutOfRange);
            return 0;
        }
        if (exponent < 0) return 0;
        std::uint32_t power = 1;
        for (T i = 0; i < exponent; ++i) power *= static_cast<std::uint32_t>(base);
        return static_cast<T>(power);
    } else {
        if (exponent < 0) return 0;
        // Above the type's width no base but -1, 0 and 1 stays in range, so
        // the exponent is cut to the width, keeping its parity: -1 raised to
        // an odd power stays -1.
        const int n = exponent > kWidth<T> ? kWidth<T> + (exponent & 1) : exponent;
        std::int64_t power = 1;
        for (int i = 0; i < n; ++i) {
            // Once beyond the type, a base of magnitude 2 or more never
            // comes back: stopping here is exact.
            power *= base;
            if (!holds<T>(power)) return fit<T>(power);
        }
        return static_cast<T>(power);
    }
}

// ---- Numeric functions of REAL -----------------------------------------------------------

enum class Math { sqrt, ln, log, exp, sin, cos, tan, asin, acos, atan };

// Where a function is defined; NaN lies outside every domain but `any`.
enum class Domain { any, nonnegative, positive, unit };

// Computed in double precision and rounded to REAL (beyond the float range,
// to an infinity); outside the domain, the code and 0.0.
float numeric(Math function, Domain domain, float x, std::int32_t code);

}  // namespace iec::ops
