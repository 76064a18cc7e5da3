#include "strings.hpp"

#include <algorithm>
#include <initializer_list>

namespace iec::str {
namespace {

// A capacity is held in two bytes of the string's header.
constexpr std::int32_t kMaxCapacity = 0xFFFF;

// Codes of the checks, one per function and cause.
constexpr std::int32_t kInsertNegative = 1016, kInsertPastEnd = 1017;
constexpr std::int32_t kLeftNegative = 1018, kLeftTooLong = 1019;
constexpr std::int32_t kMidPosition = 1022, kMidNegative = 1023, kMidPositionPastEnd = 1024, kMidTooLong = 1025,
                       kMidPastEnd = 1026;
constexpr std::int32_t kMuxSelector = 1039;
constexpr std::int32_t kRightNegative = 1048, kRightTooLong = 1049;

// DELETE is REPLACE by nothing: the same checks in the same order, each
// with its own codes.
struct SpliceCodes {
    std::int32_t position, negative, past_end, position_past_end, too_long;
};
constexpr SpliceCodes kDeleteCodes{1003, 1004, 1005, 1006, 1007};
constexpr SpliceCodes kReplaceCodes{1043, 1044, 1047, 1045, 1046};

// ---- Checks ------------------------------------------------------------------------
// A function that rejects bad arguments runs all its checks in a fixed order;
// each failing one stores its code, so the last failing one is what remains.

struct Check {
    bool failed;
    std::int32_t code;
};

bool any_failed(std::initializer_list<Check> checks) {
    bool failed = false;
    for (const Check& c : checks) {
        if (c.failed) {
            fail(c.code);
            failed = true;
        }
    }
    return failed;
}

// A count clamped into [low, high], with the code of the side it was clamped
// from.
std::int32_t clamped(std::int32_t value, std::int32_t low, std::int32_t high, std::int32_t below, std::int32_t above) {
    if (value < low) {
        fail(below);
        value = low;
    }
    if (value > high) {
        fail(above);
        value = high;
    }
    return value;
}

// Lengths and positions of strings of up to 65535 characters reported as
// INT: one beyond its range is error 1000 and 0.
std::int16_t as_int(std::int32_t value) {
    if (!holds<std::int16_t>(value)) {
        fail(kOutOfRange);
        return 0;
    }
    return static_cast<std::int16_t>(value);
}

// ---- Results -------------------------------------------------------------------------

NewText new_text(std::int64_t capacity) {
    if (capacity > kMaxCapacity) {
        fail(kOutOfRange);
        capacity = 0;
    }
    return NewText(static_cast<std::int32_t>(std::max<std::int64_t>(capacity, 0)));
}

CharCell* empty(std::int32_t capacity) { return new_text(capacity).cells(); }

// Characters [from, to) of a text, counted from 0; the bounds are kept inside
// the text so that nothing past its length is ever read.
struct Piece {
    const Text& text;
    std::int32_t from;
    std::int32_t to;

    std::int32_t begin() const { return std::clamp(from, 0, text.length()); }
    std::int32_t end() const { return std::clamp(to, begin(), text.length()); }
};

// A new string holding the pieces one after the other, its capacity their
// total length.
CharCell* joined(std::initializer_list<Piece> pieces) {
    std::int64_t capacity = 0;
    for (const Piece& p : pieces) capacity += p.end() - p.begin();
    const NewText out = new_text(capacity);
    if (out.capacity() != capacity) return out.cells();  // refused, or the pool is exhausted
    std::int32_t at = 0;
    for (const Piece& p : pieces) at = out.append(at, p.text, p.begin(), p.end());
    return out.cells();
}

CharCell* copy(const CharCell* in) {
    const Text text(in);
    return joined({{text, 0, text.length()}});
}

// IN1 with its `count` characters from position `at` replaced by IN2, or,
// when a check fails, the empty string of capacity 1.
CharCell* spliced(const Text& a, const Text& b, std::int32_t count, std::int32_t at, const SpliceCodes& codes) {
    const std::int32_t len = a.length();  // L + P in 32 bits cannot overflow
    if (any_failed({{at < 1, codes.position},
                    {count < 0, codes.negative},
                    {count + at > len + 1, codes.past_end},
                    {at > len, codes.position_past_end},
                    {count > len, codes.too_long}})) {
        return empty(1);
    }
    return joined({{a, 0, at - 1}, {b, 0, b.length()}, {a, at - 1 + count, len}});
}

}  // namespace

std::int16_t length(const CharCell* in) { return as_int(Text(in).length()); }

CharCell* left(const CharCell* in, std::int16_t l) {
    const Text text(in);
    const std::int32_t count = clamped(l, 0, text.length(), kLeftNegative, kLeftTooLong);
    return joined({{text, 0, count}});
}

CharCell* right(const CharCell* in, std::int16_t l) {
    const Text text(in);
    const std::int32_t count = clamped(l, 0, text.length(), kRightNegative, kRightTooLong);
    return joined({{text, text.length() - count, text.length()}});
}

CharCell* mid(const CharCell* in, std::int16_t l, std::int16_t p) {
    const Text text(in);
    const std::int32_t len = text.length(), count = l, at = p;  // L + P in 32 bits cannot overflow
    if (any_failed({{at <= 0, kMidPosition},
                    {count < 0, kMidNegative},
                    {count + at > len + 1, kMidPastEnd},
                    {count > len, kMidTooLong},
                    {at > len, kMidPositionPastEnd}})) {
        // The empty result keeps the capacity asked for, but never more than
        // the input could have given: a large L must not use up the pool for
        // every later result of the cycle.
        return empty(std::clamp(count, 0, len));
    }
    return joined({{text, at - 1, at - 1 + count}});
}

CharCell* concat(const CharCell* in1, const CharCell* in2) {
    const Text a(in1), b(in2);
    return joined({{a, 0, a.length()}, {b, 0, b.length()}});
}

CharCell* insert(const CharCell* in1, const CharCell* in2, std::int16_t p) {
    const Text a(in1), b(in2);
    const std::int32_t at = clamped(p, 0, a.length(), kInsertNegative, kInsertPastEnd);
    return joined({{a, 0, at}, {b, 0, b.length()}, {a, at, a.length()}});
}

CharCell* erase(const CharCell* in, std::int16_t l, std::int16_t p) {
    return spliced(Text(in), Text(nullptr), l, p, kDeleteCodes);
}

CharCell* replace(const CharCell* in1, const CharCell* in2, std::int16_t l, std::int16_t p) {
    return spliced(Text(in1), Text(in2), l, p, kReplaceCodes);
}

std::int16_t find(const CharCell* in1, const CharCell* in2) {
    const Text hay(in1), needle(in2);
    const std::int32_t n = needle.length();
    if (hay.length() == 0 || n == 0) return 0;
    // Each start is tried in turn; a match that would begin past length - n
    // cannot fit in IN1, so the scan stops there.
    for (std::int32_t start = 0; start + n <= hay.length(); ++start) {
        std::int32_t i = 0;
        while (i < n && hay[start + i] == needle[i]) ++i;
        if (i == n) return as_int(start + 1);
    }
    return 0;
}

CharCell* select(std::uint8_t g, const CharCell* in0, const CharCell* in1) { return copy(truth(g) ? in1 : in0); }

CharCell* multiplex(std::int16_t k, const CharCell* in0, const CharCell* in1, const CharCell* in2,
                    const CharCell* in3, const CharCell* in4, const CharCell* in5, const CharCell* in6,
                    const CharCell* in7, const CharCell* in8, const CharCell* in9) {
    const CharCell* const inputs[] = {in0, in1, in2, in3, in4, in5, in6, in7, in8, in9};
    if (k < 0 || k > 9) {
        fail(kMuxSelector);
        return copy(in0);
    }
    return copy(inputs[k]);
}

// Equal strings give a copy of IN1 from both.
CharCell* maximum(const CharCell* in1, const CharCell* in2) { return copy(order(in1, in2) >= 0 ? in1 : in2); }
CharCell* minimum(const CharCell* in1, const CharCell* in2) { return copy(order(in1, in2) <= 0 ? in1 : in2); }

// The bounds may come in either order. The raised value is a copy of its own,
// and the result a copy of that.
CharCell* limit(const CharCell* mn, const CharCell* in, const CharCell* mx) {
    const bool ascending = order(mx, mn) > 0;
    const CharCell* low = ascending ? mn : mx;
    const CharCell* high = ascending ? mx : mn;
    return minimum(maximum(in, low), high);
}

int order(const CharCell* a, const CharCell* b) {
    const Text x(a), y(b);
    const std::int32_t shorter = std::min(x.length(), y.length());
    for (std::int32_t i = 0; i < shorter; ++i) {
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    }
    return (x.length() > y.length()) - (x.length() < y.length());
}

}  // namespace iec::str
