// The simulator against the test controller: the timeline, invariants,
// random arrivals and the scenario's errors. They test what sim makes of a
// scenario, not the program's timing, so they play fast (the program in
// lockstep mode); the timeline is also played at pace, and gives the same.
#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

const std::string kSymbols = std::string(CONSOLE_TEST_DIR) + "/testctl.vars";

std::map<std::string, std::string> schedule(bool fast) {
    if (!fast) return {};
    return {{"VX_SCHEDULE", "lockstep"}};
}

struct Sim {
    explicit Sim(bool fast_run = true) : fast(fast_run), controller(TESTCTL, kSymbols, 2000.0f, schedule(fast_run)) {}

    // The report without the fast run's last line, the plant-time and
    // wall-time figures (which vary), once it was seen.
    Outcome play(const std::string& scenario, std::vector<std::string> extra = {}) {
        write_file(dir.file("s.scn"), scenario);
        std::vector<std::string> args{"sim", dir.file("s.scn")};
        if (fast) args.insert(args.begin() + 1, "--fast");
        args.insert(args.end(), extra.begin(), extra.end());
        Outcome r = controller.run(args);
        if (const auto figures = r.out.rfind("plant time "); fast && figures != std::string::npos) {
            EXPECT_TRUE(r.out.ends_with(" cycles/s)\n")) << r.out;
            r.out.resize(figures);
        }
        return r;
    }

    bool fast;
    TempDir dir;
    Controller controller;
};

class SimPace : public ::testing::TestWithParam<bool> {};

TEST_P(SimPace, TimelineOfChanges) {
    Sim sim(GetParam());
    const Outcome r = sim.play(R"(program testctl
period 5 ms
at 0 s input=1
at 20 ms input=0
invariant not (output & toggle)
show output toggle
end 30 ms
)");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "scenario " + sim.dir.file("s.scn") + ": program testctl on block " +
                         sim.controller.program().block_name() + ", period 5000 us, seed 1\n" +
                         "     time    cycle  changes\n"
                         "    0.000 s        -  start output=0 toggle=0\n"
                         "    0.000 s        0  set input=1\n"
                         "    0.000 s        0  output=1 toggle=1\n"
                         "    0.000 s        0  ! invariant violated: not (output & toggle)\n"
                         "    0.005 s        1  toggle=0\n"
                         "    0.010 s        2  toggle=1\n"
                         "    0.010 s        2  ! invariant violated: not (output & toggle)\n"
                         "    0.015 s        3  toggle=0\n"
                         "    0.020 s        4  set input=0\n"
                         "    0.020 s        4  output=0 toggle=1\n"
                         "    0.025 s        5  toggle=0\n"
                         "    0.030 s        6  end after 6 cycles; invariant 'not (output & toggle)' violated in 2 "
                         "cycles, first in cycle 0\n");
    EXPECT_EQ(sim.controller.program().status(), STOP);
    EXPECT_EQ(cur(sim.controller.program().f(10)), 5000.0f);
}

INSTANTIATE_TEST_SUITE_P(PacedAndFast, SimPace, ::testing::Bool(),
                         [](const auto& param_info) { return std::string(param_info.param ? "fast" : "paced"); });

TEST(Sim, ARunningProgramIsStoppedFirstAndEveryCycleIsChecked) {
    Sim sim(false);  // a lockstep program does not run by itself
    ASSERT_EQ(sim.controller.run({"run"}).status, 0);
    ASSERT_TRUE(eventually([&] { return sim.controller.program().counter() > 2; }));
    const Outcome r = sim.play("invariant not input\nat 10 ms input=1\nshow input\nend 20 ms\n");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.out, "end after 10 cycles; invariant 'not input' violated in 5 cycles")) << r.out;
}

std::string arrivals_of(const Outcome& r) {
    std::string lines;
    std::size_t start = 0;
    for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = r.out.substr(start, end - start);
        if (contains(line, "(arrival)") || contains(line, "(gone)")) lines += line.substr(0, 11) + line.substr(line.find("input=")) + "\n";  // the time, not the cycle
    }
    return lines;
}

TEST(Sim, RandomArrivalsRepeatWithTheirSeed) {
    Sim sim;
    const std::string scenario = "period 2 ms\nrandom input every 40 ms for 6 ms\nshow output\nend 400 ms\n";
    const Outcome first = sim.play(scenario, {"--seed", "5"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string arrivals = arrivals_of(first);
    EXPECT_GE(std::count(arrivals.begin(), arrivals.end(), '\n'), 4) << first.out;
    EXPECT_EQ(arrivals_of(sim.play(scenario, {"--seed", "5"})), arrivals);
    EXPECT_NE(arrivals_of(sim.play(scenario, {"--seed", "6"})), arrivals);
}

TEST(Sim, UntilHoldsTheInputUntilTheConditionHolds) {
    Sim sim;
    // The output follows the input in the same cycle, so each arrival is
    // gone one cycle later.
    const Outcome r = sim.play("period 2 ms\nrandom input every 20 ms until output\nshow output\nend 200 ms\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "set input=1 (arrival)")) << r.out;
    EXPECT_TRUE(contains(r.out, "set input=0 (gone)")) << r.out;
}

TEST(Sim, InvariantsCompareNumbers) {
    Sim sim;
    // passes counts the cycles: 1 after cycle 0, 3 after cycle 2.
    const Outcome r = sim.play("period 5 ms\ninvariant passes < 3 & float_out >= 0\nshow passes\nend 30 ms\n");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.out, "        2  ! invariant violated: passes < 3 & float_out >= 0\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "violated in 4 cycles, first in cycle 2\n")) << r.out;
}

TEST(Sim, AForcedInputKeepsItsForcedValue) {
    Sim sim;
    ASSERT_EQ(sim.controller.run({"force", "input=0"}).status, 0);
    const Outcome r = sim.play("at 0 s input=1\nshow output\nend 4 ms\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "        0  set input=1 (forced, kept 0)\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "output=1")) << r.out;
    EXPECT_EQ(sim.controller.program().b(5).bits, VX_BOOL_FORCED);
}

TEST(Sim, CheckBindsTheScenarioAndPlaysNothing) {
    Sim sim;
    const Outcome r = sim.play("program testctl\nat 1 s input=1\ninvariant not (output & toggle)\nend 5 s\n", {"--check"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, sim.dir.file("s.scn") + ": fits program testctl\n");
    EXPECT_EQ(sim.controller.program().counter(), 0);
}

struct BadScenario {
    std::string text;
    std::string message;  // after "<file>:"
};

class SimErrors : public ::testing::TestWithParam<BadScenario> {};

TEST_P(SimErrors, NameTheLineAndPlayNothing) {
    Sim sim;
    const Outcome r = sim.play(GetParam().text);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    std::string message = GetParam().message;
    if (const auto at = message.find("BLOCK"); at != std::string::npos)
        message.replace(at, 5, sim.controller.program().block_name());
    EXPECT_EQ(r.err, "vxctl: " + sim.dir.file("s.scn") + ":" + message + "\n");
    EXPECT_EQ(sim.controller.program().counter(), 0);
    EXPECT_EQ(sim.controller.program().b(5).bits, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimErrors,
    ::testing::Values(
        BadScenario{"end 1 s\nat 0 s input=1\nat 2 s inptu=1\n", "3: unknown variable 'inptu' (did you mean input?) in program testctl"},
        BadScenario{"end 1 s\nat 0 s input=1 passes=x\n", "2: passes (I523): value 'x' does not fit an int cell (a whole number from -2147483648 to 2147483647)"},
        BadScenario{"end 1 s\nat 0 s\n", "2: nothing to change: write 'at <time> name=value ...'"},
        BadScenario{"program tarvo\nend 1 s\n", "1: the scenario is written for tarvo, but block \"BLOCK\" runs testctl"},
        BadScenario{"end 1 s\ninvariant not (output & tgl)\n", "2: program testctl has no variable tgl"},
        BadScenario{"end 1 s\ninvariant passes >= 2 s\n", "2: passes is an int variable, not a TIME: write the constant without a unit (passes >= 2)"},
        BadScenario{"end 1 s\nrandom passes every 1 s\n", "2: passes (I523) is not a bool input: arrivals set bool inputs"},
        BadScenario{"at 0 s input=1\n", " the scenario has no 'end' line (or give --for)"}));

}  // namespace
}  // namespace vx::console::testing
