// vxgen check where a user goes wrong or reaches a limit, and the texts it
// writes: the report, the counterexample scenario, the exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "vx/grafcet/check.hpp"
#include "vx/grafcet/description.hpp"

namespace vx::grafcet {
namespace {

namespace fs = std::filesystem;

// Two lamps that a and b switch, a timed step, a counter and a plant.
constexpr const char* kLamps = R"(graph lamps
unit u
input a b
output red green
component one
step 1 initial
step 2 action red
transition 1 -> 2 when a
transition 2 -> 1 when t(X_2) >= 0.2 s
component two
step 5 initial
step 6 action green
transition 5 -> 6 when b
transition 6 -> 5 when not b
)";

constexpr const char* kPlant = R"(graph plant
unit u
input go
output run
model sensor bool seen int count float level
actor s1 model sensor id 1
component c
step 1 initial
step 2 action run
transition 1 -> 2 when go & s1.seen & s1.count >= 3 & s1.level < 0.5
transition 2 -> 1 when not s1.seen
)";

Graph graph_of(const char* text) {
    const auto parsed = parse_description(text, "test.grafcet");
    if (!parsed.graph) throw std::runtime_error(parsed.errors.front().text());
    return *parsed.graph;
}

CheckResult run(const char* text, std::vector<std::string> invariants, std::uint64_t bound = 0) {
    CheckOptions options;
    options.invariants = std::move(invariants);
    options.max_states = bound;
    return check(graph_of(text), options);
}

struct Refusal {
    const char* invariant;
    const char* message;  // part of the error
};

class RefusedInvariant : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedInvariant, SaysWhatIsWrong) {
    const CheckResult r = run(kLamps, {GetParam().invariant});
    ASSERT_EQ(r.outcome, CheckResult::Outcome::Error);
    EXPECT_NE(r.error.find(GetParam().message), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Invariants, RefusedInvariant,
    ::testing::Values(Refusal{"not (red & green", "column 17: "}, Refusal{"red & & green", "column 7: "},
                      Refusal{"not (rde & green)", "unknown variable 'rde' (nearest: red"},
                      Refusal{"not (red & X_7)", "unknown step 'X_7' (nearest: X_1"},
                      Refusal{"t(X_6) >= 1 s", "step 6 has no timer"},
                      Refusal{"red >= 1", "red is a bool variable and cannot be compared"}));

TEST(Check, ABoundNeverSaysHolds) {
    const CheckResult r = run(kLamps, {"not (red & green & X_1)"}, 5);
    EXPECT_EQ(r.outcome, CheckResult::Outcome::Bounded);
    EXPECT_EQ(report(r, 50000.0), "explored 5 states without a violation; the bound was reached\n");
    const CheckResult whole = run(kLamps, {"not (red & green & X_1)"});
    EXPECT_EQ(whole.outcome, CheckResult::Outcome::Holds);
    EXPECT_GT(whole.states, 5u);
}

TEST(Check, AnInterruptionReportsWhatWasExplored) {
    const volatile int stop = 1;
    CheckOptions options;
    options.invariants = {"not (red & green & X_1)"};
    options.interrupted = &stop;
    const CheckResult r = check(graph_of(kLamps), options);
    EXPECT_EQ(r.outcome, CheckResult::Outcome::Interrupted);
    EXPECT_EQ(report(r, 50000.0).rfind("interrupted: explored 0 states (0 transitions", 0), 0u) << report(r, 50000.0);
}

// The counterexamples below are cases of the known answers on the same
// graph, whose scenarios the controllers' tests replay against its program.
Graph checks_graph() {
    std::ifstream in(VX_CHECKS_DESCRIPTION);
    std::ostringstream text;
    text << in.rdbuf();
    return graph_of(text.str().c_str());
}

TEST(Check, TheReportAndTheScenarioOfACounterexample) {
    CheckOptions options;
    options.invariants = {"not alarm"};
    const CheckResult r = check(checks_graph(), options);
    ASSERT_EQ(r.outcome, CheckResult::Outcome::Violated);
    EXPECT_EQ(report(r, 50000.0),
              "violated after 1 pass: not alarm\n"
              "  pass 1 (at 0 s, cycle 0): a=1 b=1 c=0\n"
              "  after pass 1: active steps: X_2 X_11 X_21 X_30 X_40 X_51 X_60; outputs on: m1 u1 alarm\n");
    EXPECT_EQ(counterexample_scenario(r, checks_graph(), 50000.0),
              "# Counterexample found by vxgen check: the invariant below is violated after 1 pass,\n"
              "# in cycle 0 of a program started afresh.\n"
              "program checks\nperiod 50000 us\nat 0 s a=1 b=1 c=0\ninvariant not alarm\nend 0.05 s\n");
}

TEST(Check, PlantObjectsAreRefusedUnlessThePlantIsFree) {
    CheckOptions options;
    options.invariants = {"not run"};
    CheckResult r = check(graph_of(kPlant), options);
    ASSERT_EQ(r.outcome, CheckResult::Outcome::Error);
    EXPECT_NE(r.error.find("has plant objects (s1)"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("--free-plant"), std::string::npos) << r.error;

    options.free_plant = true;
    r = check(graph_of(kPlant), options);
    ASSERT_EQ(r.outcome, CheckResult::Outcome::Violated) << r.error;
    EXPECT_EQ(r.counterexample.size(), 1u);
    const std::string text = report(r, 50000.0);
    EXPECT_NE(text.find("free plant: s1.count"), std::string::npos) << text;
    EXPECT_NE(text.find("go=1 s1.count=3 s1.level=0 s1.seen=1"), std::string::npos) << text;
}

TEST(Check, PlantCellsTakeOneValuePerClassTheirComparisonsDistinguish) {
    ModelOptions options;
    options.free_plant = true;
    std::string error;
    const auto m = PassModel::build(graph_of(kPlant), options, error);
    ASSERT_TRUE(m) << error;
    std::map<std::string, std::vector<double>> values;
    for (const FreeInput& in : m->inputs()) values[in.name] = in.values;
    EXPECT_EQ(values["s1.count"], (std::vector<double>{0.0, 3.0, 4.0}));  // below, at and above 3
    EXPECT_EQ(values["s1.level"], (std::vector<double>{0.0, 0.5, 1.5}));
    EXPECT_EQ(values["s1.seen"], (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(values["go"], (std::vector<double>{0.0, 1.0}));
}

TEST(Check, ScenarioInvariantLines) {
    EXPECT_EQ(scenario_invariants("program t\n# invariant not a\ninvariant not (a & b)  # both\n  invariant\tx\n"
                                  "invariants y\nat 0 s a=1\n"),
              (std::vector<std::string>{"not (a & b)", "x"}));
}

// The command line: exit statuses 0, 2, 3 and 1, and a generation that
// does not change.
class CheckCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vxgen-check-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ / "lamps.grafcet") << kLamps;
        fs::copy_file(VX_CHECKS_DESCRIPTION, dir_ / "checks.grafcet");
    }
    void TearDown() override { fs::remove_all(dir_); }

    int run(const std::string& arguments, const char* description = "checks.grafcet") const {
        const std::string command = std::string(VX_VXGEN) + " check " + (dir_ / description).string() + " " +
                                    arguments + " >" + (dir_ / "out").string() + " 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dir_ / name);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
};

TEST_F(CheckCommand, ExitStatusesAndTheCounterexampleFile) {
    EXPECT_EQ(run("--invariant 'not (m1 & m2)'"), 0);
    EXPECT_NE(read("out").find("holds in all "), std::string::npos) << read("out");
    EXPECT_NE(read("out").find("states/s), peak memory "), std::string::npos) << read("out");

    const std::string file = (dir_ / "cx.scn").string();
    EXPECT_EQ(run("--invariant 'not alarm' --counterexample " + file), 2);
    EXPECT_NE(read("cx.scn").find("at 0 s a=1 b=1 c=0\ninvariant not alarm\nend 0.05 s\n"), std::string::npos);

    // c held a second once changed: flash comes in cycle 20 at the earliest.
    EXPECT_EQ(run("--invariant 'not flash' --min-dwell 1s --counterexample " + file), 2);
    EXPECT_NE(read("out").find("violated after 21 passes"), std::string::npos) << read("out");
    EXPECT_NE(read("cx.scn").find("at 0 s a=0 b=0 c=1\nat 1 s c=0\ninvariant not flash\nend 1.05 s\n"),
              std::string::npos)
        << read("cx.scn");

    EXPECT_EQ(run("--invariant 'not (m1 & m2)' --max-states 3"), 3);
    EXPECT_NE(read("out").find("explored 3 states without a violation; the bound was reached"), std::string::npos);
    EXPECT_EQ(run("--invariant 'not (red &'", "lamps.grafcet"), 1);
    EXPECT_NE(read("out").find("vxgen check: invariant 'not (red &', column 11: an operand is missing"),
              std::string::npos)
        << read("out");
    EXPECT_EQ(run("--invariant x --min-dwell soon"), 1);
    std::ofstream(dir_ / "other.scn") << "program tarvo\ninvariant not alarm\n";
    EXPECT_EQ(run("--scenario " + (dir_ / "other.scn").string()), 1);
    EXPECT_NE(read("out").find("other.scn is written for tarvo, but "), std::string::npos) << read("out");
}

}  // namespace
}  // namespace vx::grafcet
