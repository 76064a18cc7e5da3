#include "vx/numbers.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace vx {

namespace {

// The leading decimal number, its magnitude held at 2^31 + 1 at most: enough
// to tell every int32 from the values beyond it, on both sides.
std::optional<std::int64_t> leading_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    std::int64_t magnitude = 0;
    constexpr std::int64_t kLimit = std::int64_t{INT32_MAX} + 2;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace

std::optional<std::int32_t> leading_int(std::string_view text) {
    const auto value = leading_number(text);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(*value, INT32_MIN, INT32_MAX));
}

std::optional<std::int32_t> leading_int_exact(std::string_view text) {
    const auto value = leading_number(text);
    if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

double atof_text(std::string_view text) {
    const std::string copy(text);  // strtod needs a terminated string
    return std::strtod(copy.c_str(), nullptr);
}

float to_float(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
    if (value > kMax) {
        // Below half an ulp above FLT_MAX, round-to-nearest still gives FLT_MAX.
        return value < kMax + 0x1p103 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::infinity();
    }
    if (value < -kMax) return -to_float(-value);
    return static_cast<float>(value);
}

std::int64_t truncate_clamped(long double value, std::int64_t lo, std::int64_t hi) {
    if (std::isnan(value)) return 0;
    const long double t = std::trunc(value);
    if (t <= static_cast<long double>(lo)) return lo;
    if (t >= static_cast<long double>(hi)) return hi;
    return static_cast<std::int64_t>(t);
}

}  // namespace vx
