// The temporary-array pool and the helpers on arrays in cell format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <limits>
#include <vector>

#include "vx/block.hpp"
#include "vx_runtime.h"

namespace vx {
namespace {

std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
std::uintptr_t pool() { return address(Temp_Alloc); }

class TempArrays : public ::testing::Test {
protected:
    void SetUp() override { free_all_alloc(); }
    void TearDown() override { free_all_alloc(); }
};

TEST_F(TempArrays, BlocksStartAlignedAndAdvanceTheCursor) {
    struct Row {
        const char* what;
        void* (*alloc)(std::int32_t);
        std::uintptr_t cell;
        std::uintptr_t advance;  // for n = 2
    };
    const Row kRows[] = {
        {"bool", [](std::int32_t n) -> void* { return alloc_bool(n); }, 2, 4 * 2},
        {"char", [](std::int32_t n) -> void* { return alloc_char(n); }, 4, 5 * 4},
        {"int", [](std::int32_t n) -> void* { return alloc_int(n); }, 12, 5 * 12},
        {"float", [](std::int32_t n) -> void* { return alloc_float(n); }, 12, 5 * 12},
    };
    for (const Row& r : kRows) {
        free_all_alloc();
        const auto first = address(r.alloc(2));
        EXPECT_EQ(first % r.cell, 0u) << r.what;
        EXPECT_LT(first - pool(), r.cell) << r.what << ": the first aligned address of the pool";
        const auto second = address(r.alloc(2));
        const std::uintptr_t cursor = first + r.advance;
        EXPECT_EQ(second, cursor + (r.cell - cursor % r.cell) % r.cell) << r.what;
        EXPECT_EQ(nb_alloc, 2) << r.what;
    }
}

TEST_F(TempArrays, IntBlocksOfTwoAreSixtyBytesApart) {
    const auto a = address(alloc_int(2));
    const auto b = address(alloc_int(2));
    EXPECT_EQ(b - a, 60u);
}

TEST_F(TempArrays, AllocationInitialisesElementsAndLeavesHeadersAndFlags) {
    // Dirty the pool first: the allocation must clear what it promises.
    std::memset(Temp_Alloc, 0xFF, VX_TEMP_POOL_SIZE);
    IntCell* ints = alloc_int(3);
    for (int i = 2; i < 5; ++i) {
        EXPECT_EQ(cur(ints[i]), 0);
        EXPECT_EQ(prev(ints[i]), 0);
        EXPECT_EQ(ints[i].flags, 0xFF);
    }
    EXPECT_EQ(cur(ints[0]), -1) << "header cells are not interpreted";
    BoolCell* bools = alloc_bool(2);
    EXPECT_EQ(bools[2].bits, 0xFC);
    EXPECT_EQ(bools[1].bits, 0xFF);
    CharCell* chars = alloc_char(300);
    EXPECT_EQ(chars[0].cur, 1);
    EXPECT_EQ(chars[0].prev, 1);
    EXPECT_EQ(chars[1].cur, 44);
    EXPECT_EQ(chars[1].prev, 44);
    EXPECT_EQ(array_char_size(chars), 300);
    EXPECT_EQ(array_char_len(chars), 0);
    EXPECT_EQ(chars[2].cur, 0);
    EXPECT_EQ(chars[302].cur, 0);
    EXPECT_EQ(chars[302].flags, 0xFF);
}

TEST_F(TempArrays, ExhaustionFailsUntilTheReset) {
    ::testing::internal::CaptureStderr();
    EXPECT_NE(alloc_char(2400), nullptr);  // 9612 of 10000 bytes
    EXPECT_EQ(alloc_int(30), nullptr);
    EXPECT_EQ(alloc_bool(0), nullptr) << "the cursor stays beyond the pool";
    EXPECT_EQ(alloc_float(-5), nullptr) << "a negative count never moves the cursor back";
    EXPECT_EQ(nb_alloc, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "unable to allocate a temporary array of int\n"
              "unable to allocate a temporary array of boolean\n"
              "unable to allocate a temporary array of float\n");
    free_all_alloc();
    EXPECT_EQ(nb_alloc, 0);
    EXPECT_NE(alloc_int(30), nullptr);
    // The whole pool in one block, and one byte more.
    free_all_alloc();
    EXPECT_NE(alloc_char(VX_TEMP_POOL_SIZE / 4 - 3 - 1), nullptr);
    free_all_alloc();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(alloc_char(VX_TEMP_POOL_SIZE / 4 - 3 + 1), nullptr);
    EXPECT_EQ(alloc_char(INT32_MAX), nullptr);
    ::testing::internal::GetCapturedStderr();
}

// Char arrays written by hand: capacity, then the characters.
std::vector<CharCell> chars(int capacity, const std::string& text) {
    std::vector<CharCell> cells(static_cast<std::size_t>(capacity) + 3, CharCell{});
    set_start_value(cells[0], static_cast<std::uint8_t>(capacity >> 8));
    set_start_value(cells[1], static_cast<std::uint8_t>(capacity & 0xFF));
    for (std::size_t i = 0; i < text.size(); ++i) set_start_value(cells[3 + i], static_cast<std::uint8_t>(text[i]));
    return cells;
}

TEST_F(TempArrays, CharArrays) {
    EXPECT_EQ(array_char_len(chars(5, "ABCDE").data()), 5);
    EXPECT_EQ(array_char_len(chars(5, "AB").data()), 2);
    EXPECT_EQ(array_char_len(chars(0, "").data()), 0);
    EXPECT_EQ(array_char_len(nullptr), 0);
    struct Row {
        int size_a;
        const char* a;
        int size_b;
        const char* b;
        int equal;
    };
    constexpr Row kRows[] = {
        {4, "", 4, "", 1},       {4, "", 4, "A", 0},         {4, "AB", 4, "AB", 1}, {4, "AB", 4, "AC", 0},
        {4, "AB", 4, "ABC", 0},  {6, "ABCDE", 4, "ABCD", 0}, {4, "ABC", 2, "AB", 0},
    };
    for (const Row& r : kRows) {
        auto a = chars(r.size_a, r.a), b = chars(r.size_b, r.b);
        EXPECT_EQ(compare_char_arrays(a.data(), b.data(), r.size_a, r.size_b), r.equal) << r.a << " / " << r.b;
    }
    // A copy sets the low byte of the capacity, clears n characters and takes
    // what the source has of them.
    auto dst = chars(6, "zzzzzz");
    auto src = chars(8, "ABC");
    copy_char_array(dst.data(), src.data(), 5);
    EXPECT_EQ(array_char_size(dst.data()), 5);
    EXPECT_EQ(array_char_len(dst.data()), 3);
    EXPECT_EQ(dst[8].cur, 'z') << "character 5 is beyond the count";
    // A count beyond the destination is bounded by its capacity.
    auto small = chars(2, "");
    small.push_back(CharCell{'!', '!', 0, 0});
    copy_char_array(small.data(), src.data(), 200);
    EXPECT_EQ(array_char_len(small.data()), 2);
    EXPECT_EQ(small[5].cur, '!');
}

TEST_F(TempArrays, CopiesAndComparisonsOfValueArrays) {
    std::vector<IntCell> a(5), b(5);
    for (int i = 2; i < 5; ++i) set_start_value(a[i], 10 * i);
    copy_int_array(b.data(), a.data(), 3);
    EXPECT_EQ(compare_int_arrays(a.data(), b.data(), 3, 3), 1);
    EXPECT_EQ(prev(b[2]), 0) << "only cur is copied";
    EXPECT_EQ(compare_int_arrays(a.data(), b.data(), 3, 4), 0);
    EXPECT_EQ(compare_int_arrays(a.data(), nullptr, 0, 0), 1);
    set_cur(b[4], 1);
    EXPECT_EQ(compare_int_arrays(a.data(), b.data(), 3, 3), 0);

    std::vector<BoolCell> x(4, BoolCell{0xF0, 0}), y(4, BoolCell{VX_BOOL_CUR, 0});
    copy_bool_array_negated(x.data(), y.data(), 2);
    EXPECT_EQ(x[2].bits, 0xF0);
    copy_bool_array(x.data(), y.data(), 2);
    EXPECT_EQ(x[3].bits, 0xF1);
    EXPECT_EQ(compare_bool_arrays(x.data(), y.data(), 3, 4), 0);
    EXPECT_EQ(compare_bool_arrays(x.data(), y.data(), 2, 2), 1);

    std::vector<FloatCell> f(4), g(4);
    set_cur(f[2], 0.0f);
    set_cur(g[2], -0.0f);
    EXPECT_EQ(compare_float_arrays(f.data(), g.data(), 1, 1), 1);
    set_cur(f[2], std::numeric_limits<float>::quiet_NaN());
    copy_float_array(g.data(), f.data(), 1);
    EXPECT_TRUE(std::isnan(cur(g[2])));
    EXPECT_EQ(compare_float_arrays(f.data(), g.data(), 1, 1), 0);

    std::vector<IntCell> t(4), u(4);
    set_start_value(t[2], 3);
    set_start_value(t[3], -7);
    set_forced(t[3], true);
    copy_time_array(u.data(), t.data());
    EXPECT_EQ(prev(u[3]), -7);
    EXPECT_TRUE(forced(u[3])) << "values and flags, whole";
}

TEST_F(TempArrays, AffectAnyBit) {
    struct Row {
        std::uint32_t value;
        std::int32_t bit;
        std::int32_t flag;
        std::uint32_t result;
    };
    constexpr Row kRows[] = {
        {0, 33, 1, 2}, {0, 31, 7, 0x80000000u}, {0xFF, 0, 0, 0xFE}, {0, -1, 1, 0x80000000u}, {0, INT32_MIN, 1, 1},
    };
    for (const Row& r : kRows) EXPECT_EQ(affect_AnyBit(r.value, r.bit, r.flag), r.result) << r.bit;
}

}  // namespace
}  // namespace vx
