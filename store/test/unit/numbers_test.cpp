// Numbers read from environment variables, parameters files and the block:
// the C library's leading-number rules, with saturation and rounding where
// the library would run into undefined behaviour.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#include "vx/numbers.hpp"

namespace vx {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Values, LeadingIntReadsLikePercentDAndSaturates) {
    struct Row {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Row kRows[] = {
        {"42", 42},
        {"  \t\n-17xyz", -17},
        {"+5", 5},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"x1", std::nullopt},
        {"- 1", std::nullopt},
    };
    for (const auto& r : kRows) EXPECT_EQ(leading_int(r.text), r.value) << '"' << r.text << '"';
    for (const auto& r : kRows) {
        // The exact reading agrees inside int32 and refuses what lies beyond.
        const auto exact = leading_int_exact(r.text);
        if (r.value && *r.value != INT32_MAX && *r.value != INT32_MIN) {
            EXPECT_EQ(exact, r.value) << r.text;
        }
    }
    EXPECT_EQ(leading_int_exact("2147483647"), INT32_MAX);
    EXPECT_EQ(leading_int_exact("-2147483648"), INT32_MIN);
    EXPECT_EQ(leading_int_exact("2147483648"), std::nullopt);
    EXPECT_EQ(leading_int_exact("-2147483649"), std::nullopt);
    EXPECT_EQ(leading_int_exact("99999999999999999999999"), std::nullopt);
    EXPECT_EQ(atoi_saturating("abc"), 0);
    EXPECT_EQ(atoi_saturating("12abc"), 12);
}

TEST(Values, AtofTextReadsTheLeadingNumber) {
    struct Row {
        const char* text;
        double value;
    };
    constexpr Row kRows[] = {
        {"1.25", 1.25}, {"  -0.5e1x", -5.0}, {"0x10", 16.0}, {"", 0.0},         {"abc", 0.0},
        {"1e999", kInf}, {"-inf", -kInf},  {".5", 0.5},     {"3.4028235e38", 3.4028235e38},
    };
    for (const auto& r : kRows) EXPECT_EQ(atof_text(r.text), r.value) << '"' << r.text << '"';
    EXPECT_TRUE(std::isnan(atof_text("nan")));
}

TEST(Values, ToFloatRoundsToSinglePrecisionWithoutOverflow) {
    constexpr double kMax = FLT_MAX;
    struct Row {
        double value;
        float rounded;
    };
    constexpr Row kRows[] = {
        {0.1, 0.1f},
        {-2.5, -2.5f},
        {1e-50, 0.0f},
        {kMax, FLT_MAX},
        {kMax + 0x1p102, FLT_MAX},                   // within half an ulp: FLT_MAX
        {kMax + 0x1p103 - 0x1p75, FLT_MAX},          // the double just below the tie
        {kMax + 0x1p103, INFINITY},                  // the tie rounds to even: infinity
        {-(kMax + 0x1p102), -FLT_MAX},
        {-(kMax + 0x1p103), -INFINITY},
        {1e39, INFINITY},
        {DBL_MAX, INFINITY},
        {-DBL_MAX, -INFINITY},
        {kInf, INFINITY},
        {-kInf, -INFINITY},
    };
    for (const auto& r : kRows) EXPECT_EQ(to_float(r.value), r.rounded) << r.value;
    EXPECT_TRUE(std::isnan(to_float(kNaN)));
}

TEST(Values, TruncateClampedTruncatesTowardsZeroWithinBounds) {
    struct Row {
        long double value;
        std::int64_t lo, hi, result;
    };
    constexpr Row kRows[] = {
        {2.9L, 0, 100, 2},
        {-2.9L, -100, 100, -2},
        {-0.5L, 0, 100, 0},
        {100.5L, 0, 100, 100},
        {-7.0L, 0, 100, 0},
        {1e30L, INT64_MIN, INT64_MAX, INT64_MAX},
        {-1e30L, INT64_MIN, INT64_MAX, INT64_MIN},
        {static_cast<long double>(kInf), 0, 5, 5},
        {static_cast<long double>(-kInf), -5, 5, -5},
        {static_cast<long double>(kNaN), -5, 5, 0},
    };
    for (const auto& r : kRows) EXPECT_EQ(truncate_clamped(r.value, r.lo, r.hi), r.result) << static_cast<double>(r.value);
    EXPECT_EQ(to_u32_clamped(4294967296.0L), UINT32_MAX);
    EXPECT_EQ(to_u32_clamped(-1.0L), 0u);
    EXPECT_EQ(to_u32_clamped(50000.9L), 50000u);
}

}  // namespace
}  // namespace vx
