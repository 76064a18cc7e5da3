// Number reading with the C library's leading-number rules ("%d", atoi,
// atof), made safe: values beyond the target type saturate instead of
// invoking undefined behaviour, and float conversions never overflow.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vx {

// A decimal integer at the start of `text` after optional white space, with
// an optional sign; what follows it is ignored. None when no digit is there.
// A value beyond int32 saturates at the nearest bound.
std::optional<std::int32_t> leading_int(std::string_view text);

// The same, but none when the number lies beyond int32.
std::optional<std::int32_t> leading_int_exact(std::string_view text);

// atoi: the leading integer, or 0 when there is none.
inline std::int32_t atoi_saturating(std::string_view text) { return leading_int(text).value_or(0); }

// atof: the leading floating-point number (decimal, hexadecimal, inf, nan),
// or 0 when there is none.
double atof_text(std::string_view text);

// Rounds to single precision; magnitudes beyond the float range become
// infinities rather than undefined behaviour.
float to_float(double value);

// Truncates towards zero into [lo, hi]; NaN gives 0.
std::int64_t truncate_clamped(long double value, std::int64_t lo, std::int64_t hi);

inline std::uint32_t to_u32_clamped(long double value) {
    return static_cast<std::uint32_t>(truncate_clamped(value, 0, UINT32_MAX));
}

}  // namespace vx
