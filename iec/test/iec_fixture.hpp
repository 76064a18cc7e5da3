// Tests of the library through its C entry points: a small block of the
// program's own with the cycle counter and the period that timers and
// counters read, an empty temporary pool for every test, and values of the
// array types (TIME, DATE, STRING...) built in test memory and read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "iec_1131.h"
#include "vx/block.hpp"

namespace iec::testing {

// A STRING of the given capacity (the text's length by default) holding the
// text, in cells like a variable of the block.
class Str {
public:
    explicit Str(const std::string& text, int capacity = -1);
    operator const CharCell*() const { return cells_.data(); }

private:
    std::vector<CharCell> cells_;
};

// An int array of one or two elements: TIME (days, ticks), DT, DATE, TOD.
class Ints {
public:
    Ints(std::int32_t first);
    Ints(std::int32_t first, std::int32_t second);
    operator const IntCell*() const { return cells_.data(); }
    IntCell* get() { return cells_.data(); }
    std::pair<std::int32_t, std::int32_t> value() const;

private:
    std::vector<IntCell> cells_;
};

// What a result array holds: the characters of a string up to its length,
// the elements of an int array.
std::string text(const CharCell* s);
std::int32_t capacity(const CharCell* s);
std::pair<std::int32_t, std::int32_t> elements(const IntCell* t);
std::int32_t element0(const IntCell* t);

// Every test starts with an empty pool, LIBFB_ERR 0, the cycle counter at 1
// and a period of 50 ms.
class IecTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void set_period(float microseconds);
    void set_counter(std::int32_t counter);
    std::int32_t counter() const;
    // Advances the cycle counter by one, wrapping from 2147483647 to 0.
    void next_cycle();

private:
    std::vector<std::byte> block_;
    vx::BlockView view_;
};

}  // namespace iec::testing
