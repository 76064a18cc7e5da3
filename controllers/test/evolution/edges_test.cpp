// The evolution rule where it is easy to get wrong, on a graph generated for
// the purpose (graphs/edges.grafcet), one pass at a time.
#include <cmath>
#include <limits>

#include "controller_test.hpp"
#include "vx_runtime.h"

namespace vx::controllers {
namespace {

using Edges = ControllerTest;

TEST_F(Edges, AChoiceWithBothReceptivitiesTrueTakesTheFirstTransition) {
    x().set("a", true);
    x().set("b", true);
    pass();
    EXPECT_TRUE(x().active(2));
    EXPECT_FALSE(x().active(3));
    EXPECT_FALSE(x().active(1));
    EXPECT_TRUE(x().on("o2"));
    EXPECT_FALSE(x().on("o3"));
}

TEST_F(Edges, AStepOfAnotherComponentIsReadAsItWasAtTheStartOfThePass) {
    x().set("c", true);
    pass();  // early enters 11; late, processed after it, still saw X_11 = 0
    EXPECT_TRUE(x().active(11));
    EXPECT_TRUE(x().active(20));
    pass();  // late enters 21; early, processed first, saw X_21 = 0
    EXPECT_TRUE(x().active(21));
    EXPECT_TRUE(x().active(11));
    pass();  // early leaves 11 on X_21; late saw X_11 = 1 and stays
    EXPECT_TRUE(x().active(10));
    EXPECT_TRUE(x().active(21));
}

TEST_F(Edges, ReenteringAStepInTheNextPassRestartsItsTimer) {
    pass(4);  // step 30, initial, has counted 0, 1, 2, 3
    EXPECT_EQ(x().timer(30), 3);
    x().set("e", true);
    pass();  // 30 -> 31: the output of the step left goes off, its timer stays
    EXPECT_TRUE(x().active(31));
    EXPECT_FALSE(x().on("o30"));
    EXPECT_EQ(x().timer(30), 3);
    x().set("e", false);
    pass();  // 31 -> 30, whose previous activity is 0: activated afresh
    EXPECT_TRUE(x().active(30));
    EXPECT_TRUE(x().on("o30"));
    EXPECT_EQ(x().timer(30), 0);
}

TEST_F(Edges, AStepLeftAndEnteredInOnePassKeepsCountingAndItsOutputs) {
    pass(3);
    ASSERT_EQ(x().timer(40), 2);
    x().set("f", true);
    x().set("o40", false);  // written from outside: lasts until the next pass
    pass();
    EXPECT_TRUE(x().active(40));
    EXPECT_EQ(x().timer(40), 3);
    EXPECT_TRUE(x().on("o40"));
    EXPECT_TRUE(cur(ctl().b(index_of(symbols_, "X_40_PREV"))));
}

TEST_F(Edges, ATimerSaturatesAndIsReadAsUnsigned) {
    x().set("f", true);  // 40 -> 40 comes first in the choice: step 40 stays
    pass();
    x().set_timer(40, 2147483646);
    pass();
    EXPECT_EQ(x().timer(40), 2147483647);
    pass();
    EXPECT_EQ(x().timer(40), 2147483647);
    EXPECT_TRUE(x().active(40));

    // Written from outside as -5, the timer reads 4294967291 passes: above
    // the limit, so it neither counts on nor falls short of 1000 s.
    x().set_timer(40, -5);
    x().set("f", false);
    pass();
    EXPECT_TRUE(x().active(41));
    EXPECT_EQ(x().timer(40), -5);
}

struct PeriodCase {
    float period;         // microseconds, as the cell holds it
    std::int32_t timer;   // at the start of the pass
    bool fires;           // t(X_50) >= 1 s
};

class EdgesPeriod : public ControllerTest, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(EdgesPeriod, DecidesTheStepTime) {
    pass();  // step 50 counted from its first pass on
    x().set_timer(50, GetParam().timer);
    set_period(GetParam().period);
    x().set("g", true);
    pass();
    EXPECT_EQ(x().active(51), GetParam().fires);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Periods, EdgesPeriod, ::testing::Values(
    PeriodCase{50000.0f, 19, false},   // 1 s is 20 passes
    PeriodCase{50000.0f, 20, true},
    PeriodCase{30000.0f, 33, false},   // 33.3 passes
    PeriodCase{30000.0f, 34, true},
    PeriodCase{0.0f, 2147483647, false},                              // infinitely many passes
    PeriodCase{std::numeric_limits<float>::quiet_NaN(), 2147483647, false},
    PeriodCase{-50000.0f, 0, true},                                   // a negative count of passes
    PeriodCase{std::numeric_limits<float>::infinity(), 0, true}));
// clang-format on

// A period of 0 stops even a step time of 0 s, which is always reached
// otherwise.
TEST_F(Edges, APeriodOfZeroStopsEveryTimedTransition) {
    set_period(0.0f);
    x().set("e", true);
    pass(3);
    EXPECT_TRUE(x().active(30));
    set_period(50000.0f);
    pass();
    EXPECT_TRUE(x().active(31));
}

TEST_F(Edges, WithinAComponentAnOutputIsResetBeforeItIsSet) {
    x().set("h", true);
    pass();
    EXPECT_TRUE(x().on("shared1"));
    pass();  // 61 -> 62: both drive shared1
    EXPECT_TRUE(x().active(62));
    EXPECT_TRUE(x().on("shared1"));
    x().set("h", false);
    pass();
    EXPECT_FALSE(x().on("shared1"));
}

TEST_F(Edges, ALaterComponentsResetWinsForOnePass) {
    x().set("k", true);
    x().set("m", true);
    pass();
    EXPECT_TRUE(x().on("shared2"));
    x().set("m", false);
    pass();  // lower leaves 81 while upper, processed first, keeps 71
    EXPECT_TRUE(x().active(71));
    EXPECT_FALSE(x().on("shared2"));
    pass();
    EXPECT_TRUE(x().on("shared2"));
}

TEST_F(Edges, AnOutputNoActiveStepDrivesKeepsWhatItIsGiven) {
    x().set("o3", true);
    x().set("o51", true);
    pass(3);
    EXPECT_TRUE(x().on("o3"));
    EXPECT_TRUE(x().on("o51"));
}

TEST_F(Edges, AForcedOutputKeepsItsForcedValue) {
    x().set("a", true);
    ASSERT_EQ(VX_force_bool(ctl().header(), index_of(symbols_, "o2"), 0), 1);
    pass(2);
    EXPECT_TRUE(x().active(2));
    EXPECT_FALSE(x().on("o2"));
    ASSERT_EQ(VX_unforce_bool(ctl().header(), index_of(symbols_, "o2")), 1);
    pass();
    EXPECT_TRUE(x().on("o2"));
}

// Steps with a timer or an action have a previous-activity cell, the others
// none; only the read step times have timers.
TEST_F(Edges, PreviousActivityAndTimersWhereTheGraphNeedsThem) {
    std::vector<std::string> previous, timers;
    for (const Symbol& e : symbols_.symbols) {
        if (e.role == Role::Previous) previous.push_back(e.name);
        if (e.role == Role::Timer) timers.push_back(e.name);
    }
    EXPECT_EQ(previous, (std::vector<std::string>{"X_2_PREV", "X_3_PREV", "X_30_PREV", "X_40_PREV", "X_50_PREV",
                                                  "X_51_PREV", "X_61_PREV", "X_62_PREV", "X_71_PREV", "X_81_PREV"}));
    EXPECT_EQ(timers, (std::vector<std::string>{"TIMER_30", "TIMER_40", "TIMER_50"}));
}

}  // namespace
}  // namespace vx::controllers
