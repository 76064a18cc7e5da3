#include "conversions.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace iec {
namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The first `count` characters of a string (fewer when it is shorter), as
// plain text ended by a 0.
struct Head {
    char text[32];
    int length;
};

Head head(const CharCell* s, int count) {
    Head h{};
    const Text t(s);
    h.length = std::min({t.length(), count, static_cast<int>(sizeof h.text) - 1});
    for (int i = 0; i < h.length; ++i) h.text[i] = static_cast<char>(t[i]);
    h.text[h.length] = '\0';
    return h;
}

// An optional sign, then digits of `base`, all within `width` characters
// from `at` (white space before them is skipped and not counted). For base
// 16 a "0x" or "0X" after the sign is taken as a prefix; a lone "0x" reads
// as 0, as the C library reads it.
Parsed read_integer(const Head& h, int at, int width, int base) {
    while (at < h.length && is_space(h.text[at])) ++at;
    const int end = std::min(h.length, at + width);
    bool negative = false;
    if (at < end && (h.text[at] == '+' || h.text[at] == '-')) negative = h.text[at++] == '-';
    bool converted = false;
    std::uint64_t value = 0;
    if (base == 16 && at < end && h.text[at] == '0') {
        converted = true;
        ++at;
        if (at < end && (h.text[at] == 'x' || h.text[at] == 'X')) ++at;
    }
    for (; at < end; ++at) {
        const int digit = hex_digit(h.text[at]);
        if (digit < 0 || digit >= base) break;
        converted = true;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    // At most 11 characters are ever read, so the value fits in 64 bits; a
    // sign negates it modulo 2^64, as an unsigned conversion does.
    if (negative) value = 0 - value;
    return {converted, static_cast<std::int64_t>(value)};
}

}  // namespace

double round_half_even(float x) {
    const double v = x;
    const double t = std::trunc(v);
    const double f = v - t;  // exact: both are doubles near v
    const bool even = std::fmod(t, 2.0) == 0.0;
    if (v >= 0.0) {
        if (f == 0.5) return even ? t : t + 1.0;
        return std::trunc(v + 0.5);
    }
    if (f == -0.5) return even ? t : t - 1.0;
    return std::trunc(v - 0.5);
}

int format_hex(std::uint32_t bits, int digits, char* out) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::memcpy(out, "16#", 3);
    for (int d = 0; d < digits; ++d) out[3 + d] = kDigits[(bits >> (4 * (digits - 1 - d))) & 0xF];
    return 3 + digits;
}

int format_decimal(std::int32_t value, char* out) {
    return static_cast<int>(std::to_chars(out, out + 24, value).ptr - out);
}

int format_general(double value, char* out) {
    // The form of "%g": six significant digits, fixed or exponent notation,
    // trailing zeros dropped; "inf" and "nan" for the special values.
    const auto r = std::to_chars(out, out + 24, value, std::chars_format::general, 6);
    return r.ec == std::errc{} ? static_cast<int>(r.ptr - out) : 0;
}

CharCell* string_result(const char* text, int length, std::int32_t capacity) {
    const NewText result(capacity);
    for (int i = 0; i < length; ++i) result.put(i, static_cast<std::uint8_t>(text[i]));
    return result.cells();
}

Parsed parse_hex(const CharCell* s, int count, int digits) {
    const Head h = head(s, count);
    if (h.length < 3 || std::memcmp(h.text, "16#", 3) != 0) return {false, 0};
    return read_integer(h, 3, digits, 16);
}

Parsed parse_decimal(const CharCell* s, int count) {
    const Head h = head(s, count);
    return read_integer(h, 0, h.length, 10);
}

float parse_real(const CharCell* s, int count) {
    const Head h = head(s, count);
    // Read as "%f" reads: leading white space, then the longest number
    // (decimal, hexadecimal, inf, nan); beyond the float range it is an
    // infinity or zero, never undefined.
    return std::strtof(h.text, nullptr);
}

}  // namespace iec
