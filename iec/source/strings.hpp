// String functions: LEN, LEFT, RIGHT, MID, CONCAT, INSERT, DELETE, REPLACE,
// FIND, and selection and comparison on STRING. Inputs are read through
// their length; every string result is a new array from the temporary pool
// whose capacity is the length of its text, except where a function says
// otherwise. Positions count from 1. A result longer than a capacity can
// say (65535 characters) is refused with error 1000 and is the empty string;
// a length or position beyond INT is error 1000 and 0.
#pragma once

#include <cstdint>

#include "iec.hpp"

namespace iec::str {

std::int16_t length(const CharCell* in);
CharCell* left(const CharCell* in, std::int16_t l);
CharCell* right(const CharCell* in, std::int16_t l);
CharCell* mid(const CharCell* in, std::int16_t l, std::int16_t p);
CharCell* concat(const CharCell* in1, const CharCell* in2);
CharCell* insert(const CharCell* in1, const CharCell* in2, std::int16_t p);
CharCell* erase(const CharCell* in, std::int16_t l, std::int16_t p);
CharCell* replace(const CharCell* in1, const CharCell* in2, std::int16_t l, std::int16_t p);
std::int16_t find(const CharCell* in1, const CharCell* in2);

CharCell* select(std::uint8_t g, const CharCell* in0, const CharCell* in1);
CharCell* multiplex(std::int16_t k, const CharCell* in0, const CharCell* in1, const CharCell* in2,
                    const CharCell* in3, const CharCell* in4, const CharCell* in5, const CharCell* in6,
                    const CharCell* in7, const CharCell* in8, const CharCell* in9);
CharCell* maximum(const CharCell* in1, const CharCell* in2);
CharCell* minimum(const CharCell* in1, const CharCell* in2);
CharCell* limit(const CharCell* mn, const CharCell* in, const CharCell* mx);

// The ordering of strings: characters compared as unsigned codes up to the
// shorter length, the first difference deciding; then the longer string is
// the greater. Negative, zero or positive as a is less than, equal to or
// greater than b.
int order(const CharCell* a, const CharCell* b);

}  // namespace iec::str
