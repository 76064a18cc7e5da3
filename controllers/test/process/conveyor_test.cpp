// The conveyor line driven through its block one cycle at a time: boxes
// come in, ride the belt past the barrier and leave it; the controller
// counts them and pauses the belt after every batch, and the slots of the
// boxes that left are used again. These test the line's logic, not its
// timing, so the program runs in lockstep mode: a step is taken at once
// and no period is slept.
#include <gtest/gtest.h>

#include <functional>

#include "symbol_file.hpp"
#include "vx/testing/program.hpp"

namespace vx::controllers {
namespace {

using testing::Program;
using testing::ProgramOptions;

class Conveyor : public ::testing::Test {
protected:
    // Cycles of 200 ms: the line moves four times as far per cycle as at
    // its own period, so that a batch takes fewer cycles to play.
    void SetUp() override {
        program_.start();
        ASSERT_TRUE(program_.attach()) << program_.out() << program_.err();
        program_.set_period(200000.0f);
    }
    void TearDown() override {
        program_.set_status(END);
        EXPECT_EQ(program_.wait_exit(), 0);
    }

    bool on(const char* name) const { return cur(program_.b(index_of(symbols_, name))); }
    std::int32_t integer(const std::string& name) const { return cur(program_.i(index_of(symbols_, name))); }
    float real(const std::string& name) const { return cur(program_.f(index_of(symbols_, name))); }

    // Steps until `condition` holds, at most `limit` cycles; the cycles
    // taken, or -1.
    int step_until(const std::function<bool()>& condition, int limit) {
        for (int k = 1; k <= limit; ++k) {
            if (!program_.step()) return -1;
            if (condition()) return k;
        }
        return -1;
    }

    // The boxes on the line, and the most that were ever alive at once.
    int alive_boxes() const {
        int alive = 0;
        for (int k = 1; k <= 8; ++k) alive += integer("box_" + std::to_string(k) + ".status") == 1 ? 1 : 0;
        return alive;
    }

    static ProgramOptions options() {
        ProgramOptions o;
        o.executable = std::string(VX_BIN_DIR) + "/conveyor";
        o.name = "conveyor";
        o.env = {{"VX_SCHEDULE", "lockstep"}};
        return o;
    }

    SymbolFile symbols_ = load_symbols(std::string(VX_BIN_DIR) + "/conveyor.vars");
    Program program_{options()};
};

TEST_F(Conveyor, StartsWithItsPlantInPlace) {
    EXPECT_EQ(integer("belt.status"), 1);
    EXPECT_EQ(integer("infeed.status"), 1);
    EXPECT_EQ(integer("box_1.status"), 2) << "product slots start free";
    EXPECT_EQ(real("barrier.x"), 6.0f);
    ASSERT_EQ(symbols_.objects.size(), 11u);
    EXPECT_EQ(symbols_.objects[1].name, "barrier");
    EXPECT_TRUE(symbols_.objects[1].actor);
    EXPECT_EQ(symbols_.objects[3].model, "box");
}

TEST_F(Conveyor, CountsABatchPausesTheBeltAndReusesSlots) {
    ASSERT_EQ(step_until([&] { return on("belt_on") && integer("infeed.created") == 1; }, 5), 1)
        << "the first pass starts the belt and the infeed puts a box on it";

    // Five boxes through the barrier make a batch; the belt then stops.
    ASSERT_GT(step_until([&] { return on("batch.Q"); }, 200), 0);
    EXPECT_EQ(integer("batch.CV"), 5);
    EXPECT_EQ(integer("total.CV"), 5);
    EXPECT_LE(integer("total.CV"), integer("infeed.created"));
    ASSERT_TRUE(program_.step());
    EXPECT_TRUE(on("X_2"));
    EXPECT_FALSE(on("belt_on"));
    EXPECT_EQ(integer("batch.CV"), 0) << "the batch counter restarts during the pause";

    // During the pause nothing moves and nothing comes in.
    const float x = real("box_1.x");
    const std::int32_t created = integer("infeed.created");
    const int paused = step_until([&] { return on("X_1"); }, 100);
    EXPECT_EQ(paused, 14) << "15 passes of 200 ms: the first ran above";
    EXPECT_EQ(integer("infeed.created"), created);
    EXPECT_EQ(integer("total.CV"), 5);
    ASSERT_TRUE(program_.step());
    EXPECT_TRUE(on("belt_on"));
    EXPECT_GT(real("box_1.x"), x);

    // Boxes leave past the belt's end: more boxes come in than there are
    // slots, so freed slots were taken again; none ever touched another.
    ASSERT_GT(step_until([&] { return integer("infeed.created") > 9; }, 200), 0);
    EXPECT_LE(alive_boxes(), 8);
    EXPECT_EQ(integer("infeed.overlaps"), 0);
    EXPECT_LE(integer("total.CV"), integer("infeed.created"));
}

TEST_F(Conveyor, TheOperatorHoldsTheLine) {
    ASSERT_TRUE(program_.step());
    set_cur(program_.b(index_of(symbols_, "hold")), true);
    ASSERT_TRUE(program_.step());
    EXPECT_TRUE(on("X_3"));
    EXPECT_FALSE(on("belt_on"));
    set_cur(program_.b(index_of(symbols_, "hold")), false);
    ASSERT_TRUE(program_.step());
    EXPECT_TRUE(on("belt_on"));
}

// The scenario against the program: its invariants hold over the whole
// scenario, and the checker does fail on a line whose belt runs during the
// pause.
struct ScenarioRun {
    const char* program;
    const char* duration;  // seconds of the scenario played
    int status;
    const char* finding;   // in the console's report
};

class ConveyorScenario : public ::testing::TestWithParam<ScenarioRun> {};

TEST_P(ConveyorScenario, ChecksItsInvariants) {
    const ScenarioRun& r = GetParam();
    ProgramOptions line_options;
    line_options.executable = std::string(VX_TEST_BIN_DIR) + "/" + r.program;
    if (std::string(r.program) == "conveyor") line_options.executable = std::string(VX_BIN_DIR) + "/conveyor";
    line_options.name = r.program;
    line_options.env = {{"VX_SCHEDULE", "lockstep"}};
    Program line(line_options);
    line.start();
    ASSERT_TRUE(line.attach()) << line.out() << line.err();

    ProgramOptions console;
    console.executable = std::string(VX_BIN_DIR) + "/vxctl";
    console.block_name = line.block_name();
    console.args = {"sim", "--fast", std::string(VX_SCENARIO_DIR) + "/conveyor.scn", "--for", r.duration};
    Program sim(console);
    sim.start();
    EXPECT_EQ(sim.wait_exit(std::chrono::seconds(30)), r.status) << sim.out() << sim.err();
    EXPECT_NE((sim.out() + sim.err()).find(r.finding), std::string::npos) << sim.out() << sim.err();
    line.set_status(END);
    EXPECT_EQ(line.wait_exit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, ConveyorScenario,
                         ::testing::Values(ScenarioRun{"conveyor", "30", 0, "every invariant held"},
                                           ScenarioRun{"conveyor_broken", "16", 2,
                                                       "invariant violated: not (X_2 & belt_on)"}),
                         [](const auto& p) { return std::string(p.param.program); });

}  // namespace
}  // namespace vx::controllers
