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
    EXPECT_EQ(message("TIMER_21"), "TIMER_21 is not a bool variable and cannot be tested");
}

}  // namespace
}  // namespace vx::console
