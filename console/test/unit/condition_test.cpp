// Conditions in the receptivity notation, evaluated on the block as the
// controller evaluates its receptivities.
#include <gtest/gtest.h>

#include <cmath>

#include "fake_block.hpp"
#include "vx/console/condition.hpp"

namespace vx::console {
namespace {

struct Case {
    const char* text;
    bool expected;
};

class Evaluate : public ::testing::TestWithParam<Case> {};

// jour 1, nuit 0, vert 1, rouge 0, X_21 active with its timer at 100 passes
// of 50000 us, that is 5 s.
TEST_P(Evaluate, OnAKnownState) {
    testing::FakeBlock block;
    set_cur(block.b(5), true);
    set_cur(block.b(7), true);
    set_cur(block.b(13), true);
    set_cur(block.i(523), 100);
    const SymbolTable table = parse_symbols(testing::kLightSymbols, "light.vars");
    EXPECT_EQ(Condition::compile(GetParam().text, table).evaluate(block.view()), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, Evaluate,
                         ::testing::Values(Case{"jour", true}, Case{"nuit", false}, Case{"not nuit", true},
                                           Case{"jour & not vert", false}, Case{"nuit | vert", true},
                                           Case{"not (vert & rouge)", true}, Case{"X_21 & not X_20", true},
                                           Case{"t(X_21) >= 5 s", true}, Case{"t(X_21) >= 5.05 s", false},
                                           Case{"t(X_21) >= 1 s & not t(X_21) >= 2 s", false}));

TEST(Condition, TimerIsUnsignedAndThePeriodDecides) {
    testing::FakeBlock block;
    const SymbolTable table = parse_symbols(testing::kLightSymbols, "light.vars");
    const Condition c = Condition::compile("t(X_21) >= 1 s", table);
    set_cur(block.i(523), -1);  // 4294967295 passes
    EXPECT_TRUE(c.evaluate(block.view()));
    set_cur(block.i(523), 0);
    set_cur(block.f(10), -50000.0f);  // a negative period makes every step-time atom true
    EXPECT_TRUE(c.evaluate(block.view()));
    set_cur(block.f(10), 0.0f);  // an infinite quotient never is reached
    EXPECT_FALSE(c.evaluate(block.view()));
    set_cur(block.f(10), std::nanf(""));
    EXPECT_FALSE(c.evaluate(block.view()));
}

TEST(Condition, NamesAreCheckedWhenItIsCompiled) {
    const SymbolTable table = parse_symbols(testing::kLightSymbols, "light.vars");
    auto message = [&](const char* text) {
        try {
            Condition::compile(text, table);
        } catch (const Failure& e) {
            return std::string(e.what());
        }
        return std::string("(accepted)");
    };
    EXPECT_EQ(message("vert & (rouge"), "column 14: expected ')'");
    EXPECT_EQ(message("verte"), "program light has no variable verte (did you mean vert?)");
    EXPECT_EQ(message("X_22"), "program light has no step X_22 (did you mean X_20?)");
    EXPECT_EQ(message("t(X_20) >= 1 s"), "step 20 of program light has no timer, so t(X_20) cannot be tested");
    EXPECT_EQ(message("TIMER_21"),
              "TIMER_21 is an int variable, not a condition: compare it with a number, for example TIMER_21 >= 1");
}

// The line: t1.Q 1, barrier.seen 1, c1.CV 5, t1.ET 2.5 s, box1 at x 1.5 and
// y 0.1, belt.speed NaN, box2 killed, the task name's first character 'A'.
struct PlantState {
    testing::FakeBlock block{testing::kPlantSymbols};
    SymbolTable table = parse_symbols(testing::kPlantSymbols, "line.vars");
    PlantState() {
        set_cur(block.b(7), true);
        set_cur(block.b(9), true);
        set_cur(block.i(523), 5);
        set_cur(block.i(525), 25000);
        set_cur(block.f(53), 1.5f);
        set_cur(block.f(57), 0.1f);
        set_cur(block.f(33), std::nanf(""));
        set_cur(block.i(529), 2);
        set_cur(block.c(3), 'A');
    }
    bool evaluate(const char* text) const { return Condition::compile(text, table).evaluate(block.view()); }
};

class Compare : public ::testing::TestWithParam<Case> {};

TEST_P(Compare, IntsFloatsTimesAndRawCells) {
    const PlantState state;
    EXPECT_EQ(state.evaluate(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Compare,
    ::testing::Values(Case{"t1.Q & barrier.seen & not c1.QU", true}, Case{"c1.CV >= 5", true}, Case{"c1.CV > 5", false},
                      Case{"c1.CV = 5", true}, Case{"c1.CV <> 5", false}, Case{"c1.CV <= 4", false},
                      Case{"c1.CV < 5.5", true}, Case{"c1.CV > -99999999999999999999", true},
                      Case{"t1.ET >= 2.5 s", true}, Case{"t1.ET > 2500 ms", false}, Case{"t1.ET = 2500 ms", true},
                      Case{"t1.ET < 2.5001 s", true}, Case{"box1.x > 1.4 & box1.x <= 1.5", true},
                      Case{"box1.y = 0.1", true}, Case{"box1.y < 0.1", false}, Case{"box1.y <= 0.1", true},
                      Case{"belt.speed <> 0", true}, Case{"belt.speed = 0 | belt.speed >= 0 | belt.speed < 0", false},
                      Case{"box2.status = 2 & not box1.status = 1", true}, Case{"I529 = 2 & B9 & F53 >= 1.5", true},
                      Case{"C3 = 65", true}, Case{"box1.x < 99999999999999999999999999999999999999999", true},
                      Case{"c1.CV > box2.status & box1.x < c1.CV", true}, Case{"c1.CV <= box2.status", false},
                      Case{"t1.ET >= t1.ET & not t1.ET <> t1.ET", true}, Case{"belt.speed <> belt.speed", true},
                      Case{"C3 > c1.CV", true}));

struct TimeCase {
    std::int32_t days;
    std::int32_t ticks;
    const char* text;
    bool expected;
};

class CompareTime : public ::testing::TestWithParam<TimeCase> {};

// Totals beyond 2^53 ticks, where a double would round, and at the bounds.
TEST_P(CompareTime, IsExactOverTheWholeRange) {
    const PlantState state;
    set_cur(state.block.i(524), GetParam().days);
    set_cur(state.block.i(525), GetParam().ticks);
    EXPECT_EQ(state.evaluate(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompareTime,
    ::testing::Values(TimeCase{1, 0, "t1.ET = 86400 s", true}, TimeCase{1, -1, "t1.ET < 86400 s", true},
                      TimeCase{20000000, 1, "t1.ET > 1728000000000 s", true},
                      TimeCase{20000000, 1, "t1.ET = 1728000000000 s", false},
                      TimeCase{20000000, 0, "t1.ET = 1728000000000 s", true},
                      TimeCase{INT32_MAX, INT32_MAX, "t1.ET > 185542587187200 s", true},
                      TimeCase{INT32_MAX, INT32_MAX, "t1.ET < 99999999999999999999 s", true},
                      TimeCase{INT32_MIN, INT32_MIN, "t1.ET > -99999999999999999999 s", true},
                      TimeCase{INT32_MIN, 0, "t1.ET < 0 s", true}, TimeCase{0, 5, "t1.ET > 0.0004 s", true},
                      TimeCase{0, 5, "t1.ET = 0.5 ms", true}));

TEST(Compare, RefusesWhatCannotBeCompared) {
    const SymbolTable table = parse_symbols(testing::kPlantSymbols, "line.vars");
    struct Bad {
        const char* text;
        const char* message;
    };
    for (const Bad& bad : {
             Bad{"t1.ET >= 2", "t1.ET is a TIME: give the constant a unit, s or ms (for example t1.ET >= 2 s)"},
             Bad{"c1.CV >= 5 s", "c1.CV is an int variable, not a TIME: write the constant without a unit (c1.CV >= 5)"},
             Bad{"box1.x > 1 ms", "box1.x is a float variable, not a TIME: write the constant without a unit (box1.x > 1)"},
             Bad{"t1.Q = 1", "t1.Q is a bool variable and cannot be compared: test it as it is (t1.Q, or not t1.Q)"},
             Bad{"c1.CV < B9", "B9 is a bool variable and cannot be compared: test it as it is (B9, or not B9)"},
             Bad{"t1.ET > c1.CV", "t1.ET is a TIME and c1.CV is an int variable: they cannot be compared"},
             Bad{"box1.x > t1.ET", "box1.x is a float variable and t1.ET is a TIME: they cannot be compared"},
             Bad{"c1.CV > nothing", "program line has no variable nothing"},
             Bad{"c1.CV", "c1.CV is an int variable, not a condition: compare it with a number, for example c1.CV >= 1"},
             Bad{"t1.ET & t1.Q", "t1.ET is a TIME, not a condition: compare it with a duration, for example t1.ET >= 1 s"},
             Bad{"c1.CVV > 1", "program line has no variable c1.CVV (did you mean c1.CV?)"},
             Bad{"t1.E >= 1 s", "program line has no variable t1.E (did you mean t1.Q?)"},
             Bad{"I535 > 1", "I535 lies outside the int area (cells 0 to 534)"},
             Bad{"c1.CV >= not x", "column 10: expected a number or a variable after '>='"},
         }) {
        try {
            Condition::compile(bad.text, table);
            ADD_FAILURE() << bad.text << " accepted";
        } catch (const Failure& e) {
            EXPECT_EQ(std::string(e.what()), bad.message) << bad.text;
        }
    }
}

}  // namespace
}  // namespace vx::console
