// The receptivity notation: what a text means (shown by writing it back with
// only the parentheses its structure needs) and where a malformed one fails.
#include <gtest/gtest.h>

#include "vx/grafcet/expression.hpp"

namespace vx::grafcet {
namespace {

struct Reading {
    std::string text;
    std::string structure;  // to_text of the parsed expression
};

class ExpressionReading : public ::testing::TestWithParam<Reading> {};

TEST_P(ExpressionReading, HasTheExpectedStructure) {
    const auto parsed = parse_expression(GetParam().text);
    ASSERT_TRUE(parsed.expression) << parsed.error.message << " at column " << parsed.error.column;
    EXPECT_EQ(to_text(*parsed.expression), GetParam().structure);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Precedence, ExpressionReading, ::testing::Values(
    Reading{"a", "a"},
    Reading{"  a  ", "a"},
    Reading{"a | b & c", "a | b & c"},           // & binds tighter than |
    Reading{"(a | b) & c", "(a | b) & c"},
    Reading{"not a & b", "not a & b"},           // not binds tighter than &
    Reading{"not (a & b)", "not (a & b)"},
    Reading{"not not a", "not not a"},
    Reading{"a & b & c | d", "a & b & c | d"},
    Reading{"((a))", "a"},
    Reading{"a | (b | c)", "a | (b | c)"},
    Reading{"X_12 | t(X_3) >= 11 s", "X_12 | t(X_3) >= 11 s"},
    Reading{"t ( X_3 )>=1.5s", "t(X_3) >= 1.5 s"},
    Reading{"t(X_3) \u2265 2 s", "t(X_3) >= 2 s"},
    Reading{"t & nota", "t & nota"},             // names that start like keywords
    Reading{"t1.Q & not barrier.seen", "t1.Q & not barrier.seen"},
    Reading{"c1.CV>=5 | c1.CV < -2", "c1.CV >= 5 | c1.CV < -2"},
    Reading{"t1.ET >= 1.5 s & t1.ET<>200ms", "t1.ET >= 1.5 s & t1.ET <> 200 ms"},
    Reading{"a.b.c \u2264 3 & x \u2260 0 & y = 1", "a.b.c <= 3 & x <> 0 & y = 1"},
    Reading{"total.CV<=infeed.created", "total.CV <= infeed.created"},
    Reading{"((t(X_11) >= 11 s & normal) | (t(X_11) >= 15 s & dense)) & capteurB",
            "(t(X_11) >= 11 s & normal | t(X_11) >= 15 s & dense) & capteurB"}));
// clang-format on

TEST(Expression, StepTimeKeepsStepSecondsAndTheDurationAsWritten) {
    const auto parsed = parse_expression("t(X_23) >= 0.5 s");
    ASSERT_TRUE(parsed.expression);
    EXPECT_EQ(parsed.expression->kind, Expression::Kind::StepTime);
    EXPECT_EQ(parsed.expression->step, 23);
    EXPECT_EQ(parsed.expression->seconds, 0.5);
    EXPECT_EQ(parsed.expression->duration, "0.5");
}

TEST(Expression, ComparisonKeepsTheRelationAndTheConstantInSeconds) {
    const auto parsed = parse_expression("t1.ET >= 250 ms");
    ASSERT_TRUE(parsed.expression);
    EXPECT_EQ(parsed.expression->kind, Expression::Kind::Compare);
    EXPECT_EQ(parsed.expression->name, "t1.ET");
    EXPECT_EQ(parsed.expression->relation, ">=");
    EXPECT_EQ(parsed.expression->seconds, 0.25);
    EXPECT_EQ(parsed.expression->unit, "ms");
}

struct Malformed {
    std::string text;
    std::size_t column;
    std::string message;
};

class ExpressionError : public ::testing::TestWithParam<Malformed> {};

TEST_P(ExpressionError, IsReportedAtItsColumn) {
    const auto parsed = parse_expression(GetParam().text);
    ASSERT_FALSE(parsed.expression);
    EXPECT_EQ(parsed.error.column, GetParam().column);
    EXPECT_EQ(parsed.error.message, GetParam().message);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Faults, ExpressionError, ::testing::Values(
    Malformed{"", 1, "empty expression"},
    Malformed{"   ", 4, "empty expression"},
    Malformed{"a &", 4, "an operand is missing at the end"},
    Malformed{"not", 4, "an operand is missing at the end"},
    Malformed{"a & & b", 5, "expected a variable, a step or 'not', found '&'"},
    Malformed{"(a | b", 7, "expected ')'"},
    Malformed{"a b", 3, "unexpected 'b'"},
    Malformed{"a)", 2, "unexpected ')'"},
    Malformed{"X_ab", 1, "'X_ab' is not a step: steps are written X_ and a number"},
    Malformed{"X_99999999999", 1, "'X_99999999999' is not a step: steps are written X_ and a number"},
    Malformed{"t(jour) >= 1 s", 3, "expected a step X_n inside t(...)"},
    Malformed{"t(X_1 >= 1 s", 7, "expected ')' after the step"},
    Malformed{"t(X_1) > 1 s", 8, "expected '>=' after t(X_1)"},
    Malformed{"t(X_1) >= s", 11, "expected a duration in seconds"},
    Malformed{"t(X_1) >= 1.2.3 s", 11, "expected a duration in seconds"},
    Malformed{"t(X_1) >= 1", 12, "expected 's' after the duration"},
    Malformed{"t(X_1) >= 1 sec", 13, "expected 's' after the duration"},
    Malformed{"c1.CV >= not x", 10, "expected a number or a variable after '>='"},
    Malformed{"c1.CV = 1.2.3", 9, "expected a number or a variable after '='"},
    Malformed{"c1.CV > 5 min", 11, "unexpected 'm'"},
    Malformed{"c1. & a", 3, "unexpected '.'"}));
// clang-format on

}  // namespace
}  // namespace vx::grafcet
