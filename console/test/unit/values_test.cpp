// Values as typed by a user, and the writes into cells, bit for bit.
#include <gtest/gtest.h>

#include <cmath>

#include "fake_block.hpp"

namespace vx::console {
namespace {

struct Parse {
    CellType type;
    const char* text;
    std::optional<Value> expected;  // none: refused
};

class ParseValue : public ::testing::TestWithParam<Parse> {};

TEST_P(ParseValue, AcceptsWhatFitsTheCellAndRefusesTheRest) {
    const Parse& p = GetParam();
    if (!p.expected) {
        EXPECT_THROW(parse_value(p.type, p.text), Failure) << p.text;
        return;
    }
    EXPECT_EQ(parse_value(p.type, p.text), *p.expected) << p.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseValue,
    ::testing::Values(Parse{CellType::Bool, "1", Value(true)}, Parse{CellType::Bool, "false", Value(false)},
                      Parse{CellType::Bool, "2", std::nullopt}, Parse{CellType::Bool, "", std::nullopt},
                      Parse{CellType::Int, "-2147483648", Value(std::int32_t{INT32_MIN})},
                      Parse{CellType::Int, "2147483648", std::nullopt}, Parse{CellType::Int, "1.5", std::nullopt},
                      Parse{CellType::Int, "12x", std::nullopt}, Parse{CellType::Int, " 1", std::nullopt},
                      Parse{CellType::Float, "1.25", Value(1.25f)}, Parse{CellType::Float, "-3e38", Value(-3e38f)},
                      Parse{CellType::Float, "1e39", std::nullopt}, Parse{CellType::Float, "inf", Value(INFINITY)},
                      Parse{CellType::Float, "abc", std::nullopt}, Parse{CellType::Char, "65", Value(std::uint8_t{65})},
                      Parse{CellType::Char, "'z'", Value(std::uint8_t{'z'})}, Parse{CellType::Char, "256", std::nullopt},
                      Parse{CellType::Char, "-1", std::nullopt}));

TEST(FormatValue, ShortestTextThatReadsBackAndPrintableCharacters) {
    EXPECT_EQ(format_value(Value(true)), "1");
    EXPECT_EQ(format_value(Value(std::int32_t{-7})), "-7");
    EXPECT_EQ(format_value(Value(0.1f)), "0.1");
    EXPECT_EQ(format_value(Value(std::nanf(""))), "nan");
    EXPECT_EQ(format_value(Value(std::uint8_t{65})), "65 'A'");
    EXPECT_EQ(format_value(Value(std::uint8_t{7})), "7");
}

// Every reserved bit set: the writes below must keep them all.
constexpr std::uint8_t kBoolReserved = 0xF4;
constexpr std::uint8_t kFlagsReserved = 0xFD;

TEST(CellWrites, SetWritesBoolBitZeroOnly) {
    testing::FakeBlock block;
    BoolCell& cell = block.b(5);
    cell.bits = kBoolReserved | VX_BOOL_PREV | VX_BOOL_FORCED;
    cell.reserved = 0xAB;
    write_cur(block.view(), VarRef{CellType::Bool, 5, "jour"}, Value(true));
    EXPECT_EQ(cell.bits, kBoolReserved | VX_BOOL_PREV | VX_BOOL_FORCED | VX_BOOL_CUR);
    write_cur(block.view(), VarRef{CellType::Bool, 5, "jour"}, Value(false));
    EXPECT_EQ(cell.bits, kBoolReserved | VX_BOOL_PREV | VX_BOOL_FORCED);
    EXPECT_EQ(cell.reserved, 0xAB);
}

TEST(CellWrites, ForceBoolWritesCurPrevAndFlagTogetherAndUnforceOnlyTheFlag) {
    testing::FakeBlock block;
    BoolCell& cell = block.b(7);
    cell.bits = kBoolReserved | VX_BOOL_CUR;
    const VarRef ref{CellType::Bool, 7, "vert"};
    force(block.view(), ref, Value(false));
    EXPECT_EQ(cell.bits, kBoolReserved | VX_BOOL_FORCED);
    force(block.view(), ref, Value(true));
    EXPECT_EQ(cell.bits, kBoolReserved | VX_BOOL_FORCED | VX_BOOL_CUR | VX_BOOL_PREV);
    unforce(block.view(), ref);
    EXPECT_EQ(cell.bits, kBoolReserved | VX_BOOL_CUR | VX_BOOL_PREV);
}

TEST(CellWrites, ForceIntFloatCharKeepReservedFlagBitsAndBytes) {
    testing::FakeBlock block;
    IntCell& i = block.i(523);
    FloatCell& f = block.f(10);
    CharCell& c = block.c(52);
    i.flags = kFlagsReserved;
    i.reserved[0] = 0x11;
    f.flags = kFlagsReserved;
    c.flags = kFlagsReserved;
    c.reserved = 0x22;
    force(block.view(), VarRef{CellType::Int, 523, ""}, Value(std::int32_t{-5}));
    force(block.view(), VarRef{CellType::Float, 10, ""}, Value(2.5f));
    force(block.view(), VarRef{CellType::Char, 52, ""}, Value(std::uint8_t{66}));
    EXPECT_EQ(i.cur, -5);
    EXPECT_EQ(i.prev, -5);
    EXPECT_EQ(i.flags, 0xFF);
    EXPECT_EQ(i.reserved[0], 0x11);
    EXPECT_EQ(f.cur, 2.5f);
    EXPECT_EQ(f.prev, 2.5f);
    EXPECT_EQ(f.flags, 0xFF);
    EXPECT_EQ(c.cur, 66);
    EXPECT_EQ(c.prev, 66);
    EXPECT_EQ(c.flags, 0xFF);
    EXPECT_EQ(c.reserved, 0x22);
    unforce(block.view(), VarRef{CellType::Int, 523, ""});
    EXPECT_EQ(i.flags, kFlagsReserved);
    EXPECT_EQ(i.cur, -5);
    write_cur(block.view(), VarRef{CellType::Int, 523, ""}, Value(std::int32_t{9}));
    EXPECT_EQ(i.cur, 9);
    EXPECT_EQ(i.prev, -5);  // set writes cur only
}

TEST(CellWrites, AnIndexOutsideItsAreaIsRefusedAndAValueOfAnotherTypeToo) {
    testing::FakeBlock block;
    EXPECT_THROW(write_cur(block.view(), VarRef{CellType::Bool, 16, ""}, Value(true)), Failure);
    EXPECT_THROW(read_cell(block.view(), VarRef{CellType::Char, -1, ""}), Failure);
    EXPECT_THROW(write_cur(block.view(), VarRef{CellType::Int, 523, ""}, Value(true)), Failure);
}

}  // namespace
}  // namespace vx::console
