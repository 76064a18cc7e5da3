// Process I/O: the per-cycle hooks have nothing to exchange, and the
// converters move plain values to and from the cur field of cells listed in
// a cell address table (entries 0 and 1 unused, element i at entry i + 2).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "vx/block.hpp"
#include "vx_runtime.h"

namespace vx {
namespace {

// n cells, each with prev and the forced flag set, and the table of their
// addresses, exactly n + 2 entries long.
template <class Cell> struct Cells {
    std::vector<Cell> cells;
    std::vector<Cell*> table;
    explicit Cells(std::size_t n, typename CellTraits<Cell>::Value prev_value) : cells(n) {
        table.assign(2, nullptr);
        for (auto& c : cells) {
            set_prev(c, prev_value);
            set_forced(c, true);
            table.push_back(&c);
        }
    }
};

std::uint32_t bits_of(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
float from_bits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

TEST(Io, BoolConvertersUseBitZeroOnly) {
    Cells<BoolCell> in(4, true);
    const std::uint8_t values[] = {1, 2, 3, 0xFE};
    VX_read_boolean_array(in.table.data(), values, 4);
    const bool expected[] = {true, false, true, false};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(cur(in.cells[k]), expected[k]) << k;
        EXPECT_TRUE(prev(in.cells[k]) && forced(in.cells[k])) << k;
    }
    std::uint8_t out[4] = {9, 9, 9, 9};
    in.cells[0].bits |= 0xF0;  // reserved bits are not part of the value
    VX_write_boolean_array(in.table.data(), out, 4);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{1, 0, 1, 0}));
}

// Floats are copied bit for bit, NaN payloads and the sign of zero included.
TEST(Io, NumberConvertersCopyCurOnly) {
    const std::int32_t ints[] = {INT32_MIN, -1, 0, INT32_MAX};
    Cells<IntCell> ic(4, 5);
    VX_read_integer_array(ic.table.data(), ints, 4);
    std::int32_t ints_out[4] = {};
    VX_write_integer_array(ic.table.data(), ints_out, 4);
    EXPECT_EQ(0, std::memcmp(ints, ints_out, sizeof ints));
    EXPECT_TRUE(prev(ic.cells[3]) == 5 && forced(ic.cells[3]));

    const std::uint32_t patterns[] = {0x7FC12345u, 0xFFC00001u, 0x7FA00001u, 0x80000000u, 0x7F800000u, 0x3FC00000u};
    float floats[6];
    for (int k = 0; k < 6; ++k) floats[k] = from_bits(patterns[k]);
    Cells<FloatCell> fc(6, 2.5f);
    VX_read_float_array(fc.table.data(), floats, 6);
    float floats_out[6] = {};
    VX_write_float_array(fc.table.data(), floats_out, 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(bits_of(fc.cells[k].cur), patterns[k]) << k;
        EXPECT_EQ(bits_of(floats_out[k]), patterns[k]) << k;
        EXPECT_EQ(prev(fc.cells[k]), 2.5f);
    }

    const std::uint8_t chars[] = {0, 'A', 0xFF};
    Cells<CharCell> cc(3, 'p');
    VX_read_character_array(cc.table.data(), chars, 3);
    std::uint8_t chars_out[3] = {};
    VX_write_character_array(cc.table.data(), chars_out, 3);
    EXPECT_EQ(0, std::memcmp(chars, chars_out, 3));
    EXPECT_TRUE(prev(cc.cells[2]) == 'p' && forced(cc.cells[2]));
}

// The table of n elements has n + 2 entries: element n - 1 is the last
// entry, for characters as for every other kind.
TEST(Io, WriteCharacterArrayTakesElementIFromEntryIPlusTwo) {
    Cells<CharCell> cc(2, 0);
    set_cur(cc.cells[0], 'x');
    set_cur(cc.cells[1], 'y');
    std::uint8_t out[2] = {};
    VX_write_character_array(cc.table.data(), out, 2);
    EXPECT_EQ(out[0], 'x');
    EXPECT_EQ(out[1], 'y');
}

TEST(Io, CountsOfZeroOrLessMoveNothing) {
    Cells<IntCell> ic(1, 0);
    Cells<BoolCell> bc(1, false);
    Cells<FloatCell> fc(1, 0.0f);
    Cells<CharCell> cc(1, 0);
    for (std::int32_t n : {0, -1, INT32_MIN}) {
        const std::int32_t i = 7;
        const std::uint8_t byte = 1;
        const float f = 1.0f;
        VX_read_integer_array(ic.table.data(), &i, n);
        VX_read_boolean_array(bc.table.data(), &byte, n);
        VX_read_float_array(fc.table.data(), &f, n);
        VX_read_character_array(cc.table.data(), &byte, n);
        std::int32_t i_out = 9;
        std::uint8_t b_out = 9, c_out = 9;
        float f_out = 9.0f;
        VX_write_integer_array(ic.table.data(), &i_out, n);
        VX_write_boolean_array(bc.table.data(), &b_out, n);
        VX_write_float_array(fc.table.data(), &f_out, n);
        VX_write_character_array(cc.table.data(), &c_out, n);
        EXPECT_EQ(cur(ic.cells[0]), 0);
        EXPECT_FALSE(cur(bc.cells[0]));
        EXPECT_EQ(cur(fc.cells[0]), 0.0f);
        EXPECT_EQ(cur(cc.cells[0]), 0);
        EXPECT_TRUE(i_out == 9 && b_out == 9 && c_out == 9 && f_out == 9.0f);
    }
}

TEST(Io, HooksLeaveTheBlockByteForByteUnchanged) {
    std::vector<std::uint8_t> block(sizeof(MemoryHeader) + 4096);
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(k * 131 + 7);
    const auto before = block;
    auto* h = reinterpret_cast<MemoryHeader*>(block.data());
    VX_init_ios(h);
    EXPECT_EQ(VX_read_inputs(h), 1);
    EXPECT_EQ(VX_write_outputs(h), 1);
    VX_wait_mutex();
    VX_release_mutex();
    EXPECT_EQ(block, before);
}

}  // namespace
}  // namespace vx
