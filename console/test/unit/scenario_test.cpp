// Scenario files: what they say, and every malformed line named.
#include <gtest/gtest.h>

#include "vx/console/error.hpp"
#include "vx/console/scenario.hpp"

namespace vx::console {
namespace {

TEST(Scenario, ReadsEveryStatement) {
    const Scenario s = parse_scenario(R"(# a day, then a night
program tarvo
period 10 ms
seed 7
at 0 s jour=1 nuit=0   # day
at 9s jour=0 nuit=1
random capteurB every 20 s for 500 ms
random capteurB every 12 s until vertB & not X_21
random capteurB every 3 s
invariant not (vert & orange)
show vert X_21
end 30 s
)",
                                      "t.scn");
    EXPECT_EQ(s.program, "tarvo");
    EXPECT_EQ(s.period, 10000.0);
    EXPECT_EQ(s.seed, 7u);
    EXPECT_EQ(s.end, 30.0);
    ASSERT_EQ(s.changes.size(), 2u);
    EXPECT_EQ(s.changes[1].at, 9.0);
    EXPECT_EQ(s.changes[1].line, 6);
    EXPECT_EQ(s.changes[0].assignments, (std::vector<std::pair<std::string, std::string>>{{"jour", "1"}, {"nuit", "0"}}));
    ASSERT_EQ(s.arrivals.size(), 3u);
    EXPECT_EQ(s.arrivals[0].hold, 0.5);
    EXPECT_EQ(s.arrivals[1].until, "vertB & not X_21");
    EXPECT_EQ(s.arrivals[2].hold, 1.0);
    EXPECT_EQ(s.arrivals[2].mean, 3.0);
    ASSERT_EQ(s.invariants.size(), 1u);
    EXPECT_EQ(s.invariants[0].text, "not (vert & orange)");
    EXPECT_EQ(s.show, (std::vector<std::string>{"vert", "X_21"}));
}

struct Bad {
    const char* text;
    const char* message;
};

class ScenarioErrors : public ::testing::TestWithParam<Bad> {};

TEST_P(ScenarioErrors, NameTheFileAndTheLine) {
    try {
        parse_scenario(std::string("# first line\n") + GetParam().text, "bad.scn");
        FAIL() << "accepted";
    } catch (const Failure& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScenarioErrors,
    ::testing::Values(
        Bad{"wait 3 s", "bad.scn:2: unknown statement 'wait' (expected program, period, seed, at, random, invariant, show, signature or end)"},
        Bad{"at 3 jour=1", "bad.scn:2: 'jour=1' is not a unit of time (s, ms or us)"},
        Bad{"at 3 h jour=1", "bad.scn:2: 'h' is not a unit of time (s, ms or us)"},
        Bad{"at -1 s jour=1", "bad.scn:2: a duration cannot be negative: -1"},
        Bad{"at soon jour=1", "bad.scn:2: 'soon' is not a duration (for example 40 s)"},
        Bad{"at 1 s", "bad.scn:2: nothing to change: write 'at <time> name=value ...'"},
        Bad{"at 1 s jour", "bad.scn:2: 'jour' is not an assignment: write name=value, for example jour=1"},
        Bad{"end 1 s\nend 2 s", "bad.scn:3: 'end' appears twice"},
        Bad{"end 1 s later", "bad.scn:2: unexpected 'later'"},
        Bad{"period 0 s", "bad.scn:2: the period must be more than 0 and at most 3600 s"},
        Bad{"seed -3", "bad.scn:2: '-3' is not a seed (a whole number)"},
        Bad{"random capteurB 3 s", "bad.scn:2: write 'random <input> every <time> [for <time> | until <condition>]'"},
        Bad{"random capteurB every 0 s", "bad.scn:2: the mean interval of arrivals must be more than 0"},
        Bad{"random capteurB every 5 s until", "bad.scn:2: the condition after 'until' is missing"},
        Bad{"invariant", "bad.scn:2: the condition after 'invariant' is missing"},
        Bad{"program", "bad.scn:2: write 'program <name>'"}));

}  // namespace
}  // namespace vx::console
