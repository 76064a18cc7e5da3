// The five programs as a plant simulator meets them: started on a private
// block, addressed by index through their symbol files, stepped one cycle
// at a time, in lockstep mode so that a step is taken at once. Long waits
// are fast-forwarded the way a debugger can, by writing a step timer just
// short of its limit; the exact pass counts are the in-process tests'
// business.
#include <gtest/gtest.h>

#include <memory>

#include "expected_layouts.hpp"
#include "named_cells.hpp"
#include "vx/testing/program.hpp"

namespace vx::controllers {
namespace {

using testing::Program;
using testing::ProgramOptions;

class RunningProgram {
public:
    explicit RunningProgram(const std::string& name)
        : symbols_(load_symbols(std::string(VX_BIN_DIR) + "/" + name + ".vars")),
          program_(options(name)),
          x_(program_, symbols_) {
        program_.start();
        attached_ = program_.attach();
    }

    bool attached() const { return attached_; }
    Program& program() { return program_; }
    const SymbolFile& symbols() const { return symbols_; }
    const NamedCells<Program>& x() const { return x_; }

    // One cycle; false when the program did not come back to STOP.
    bool step() const { return program_.step(); }
    bool step(int count) const {
        for (int k = 0; k < count; ++k)
            if (!step()) return false;
        return true;
    }
    // Fast-forwards step `n` to `passes` passes and runs one cycle: the
    // timer then shows passes + 1 while the step is still active.
    bool count_on(int n, std::int32_t passes) const {
        x_.set_timer(n, passes);
        return step();
    }

private:
    static ProgramOptions options(const std::string& name) {
        ProgramOptions o;
        o.executable = std::string(VX_BIN_DIR) + "/" + name;
        o.name = name;
        o.env = {{"VX_SCHEDULE", "lockstep"}};
        return o;
    }

    SymbolFile symbols_;
    Program program_;
    NamedCells<Program> x_;
    bool attached_ = false;
};

class Programs : public ::testing::TestWithParam<ExpectedLayout> {};

TEST_P(Programs, StartWithTheirLayoutAndStartValues) {
    const ExpectedLayout& e = GetParam();
    RunningProgram run(e.program);
    ASSERT_TRUE(run.attached()) << run.program().out() << run.program().err();
    Program& p = run.program();
    const MemoryHeader& h = *p.block().header();
    EXPECT_EQ((std::array<std::int32_t, 4>{h.memBool, h.memInt, h.memFloat, h.memChar}), e.counts);
    EXPECT_EQ((std::array<std::int32_t, 4>{h.offBool, h.offInt, h.offFloat, h.offChar}),
              (std::array<std::int32_t, 4>{static_cast<std::int32_t>(e.offsets[0]), static_cast<std::int32_t>(e.offsets[1]),
                                           static_cast<std::int32_t>(e.offsets[2]), static_cast<std::int32_t>(e.offsets[3])}));
    EXPECT_EQ(cur(p.i(e.pospid)), p.pid());
    EXPECT_EQ(cur(p.i(e.posmxsimucounter)), 0);
    EXPECT_EQ(cur(p.i(521)), 2147483647);
    EXPECT_EQ(cur(p.i(522)), 1418381562);
    EXPECT_EQ(p.status(), STOP);
    EXPECT_EQ(cur(p.f(10)), 50000.0f);
    EXPECT_EQ(prev(p.f(10)), 50000.0f);
    EXPECT_TRUE(cur(p.b(3)) && prev(p.b(3)) && cur(p.b(4)) && prev(p.b(4)));

    // The task name: capacity 50, the characters from cell 3, then a 0.
    EXPECT_EQ(cur(p.c(0)), 0);
    EXPECT_EQ(cur(p.c(1)), 50);
    const std::string task = e.program + ".exe";
    for (std::size_t k = 0; k < task.size(); ++k) {
        EXPECT_EQ(cur(p.c(3 + static_cast<std::int32_t>(k))), static_cast<std::uint8_t>(task[k]));
        EXPECT_EQ(prev(p.c(3 + static_cast<std::int32_t>(k))), static_cast<std::uint8_t>(task[k]));
    }
    EXPECT_EQ(cur(p.c(3 + static_cast<std::int32_t>(task.size()))), 0);

    EXPECT_EQ(run.x().steps(), e.initial);
    EXPECT_EQ(run.x().lights(), "");

    p.set_status(END);
    EXPECT_EQ(p.wait_exit(), 0);
    const auto& n = e.counts;
    EXPECT_EQ(p.out(), "Allocated memory : " + std::to_string(e.space) +
                           " bytes on 6000000 bytes\n"
                           "minBool=0 min.Int=311 min.Float=10 min.Char=0 max.Bool=" +
                           std::to_string(n[0]) + " max.Int=" + std::to_string(n[1]) +
                           " max.Float=17 max.Char=53\n"
                           "memBool=" +
                           std::to_string(n[0]) + " mennt=" + std::to_string(n[1]) +
                           " memFloat=17 memChar=53\n"
                           "Exec status change from FREE to STOP\n"
                           "Exec status change from STOP to FREE\n");
}

// Both inputs off: nothing fires and no output is written, whatever the
// simulator shows on them.
TEST_P(Programs, WithoutInputsWriteNothing) {
    RunningProgram run(GetParam().program);
    ASSERT_TRUE(run.attached());
    run.x().set_all_outputs(true);
    ASSERT_TRUE(run.step(3));
    EXPECT_EQ(run.x().steps(), GetParam().initial);
    for (const Symbol& s : run.symbols().symbols) {
        if (s.role == Role::Output) {
            EXPECT_TRUE(run.x().on(s.name)) << s.name;
        }
    }
    run.program().set_status(END);
    EXPECT_EQ(run.program().wait_exit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Controllers, Programs, ::testing::ValuesIn(kExpectedLayouts),
                         [](const auto& p) { return p.param.program; });

TEST(Tarvo, DayCycleThroughTheBlock) {
    RunningProgram run("tarvo");
    ASSERT_TRUE(run.attached());
    const auto& x = run.x();
    x.set("jour", true);
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vert rouge_pieton");
    ASSERT_TRUE(run.count_on(21, 99));  // green 5 s: 100 passes
    EXPECT_EQ(x.lights(), "vert rouge_pieton");
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "orange rouge_pieton");
    ASSERT_TRUE(run.count_on(22, 19));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rouge rouge_pieton");
    ASSERT_TRUE(run.count_on(23, 19));  // red 1 s: the pedestrians' turn
    EXPECT_EQ(x.lights(), "rouge rouge_pieton");
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rouge vert_pieton");
    ASSERT_TRUE(run.count_on(23, 99));  // red 5 s: the pedestrians' end
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rouge");
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rouge rouge_pieton");
    ASSERT_TRUE(run.count_on(23, 159));  // red 8 s
    EXPECT_EQ(x.lights(), "rouge rouge_pieton");
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rouge_pieton");  // the one dark pass
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vert rouge_pieton");
    run.program().set_status(END);
    EXPECT_EQ(run.program().wait_exit(), 0);
}

TEST(Melki, DirectionsWaitOnEachOthersRedThroughTheBlock) {
    RunningProgram run("melki");
    ASSERT_TRUE(run.attached());
    const auto& x = run.x();
    x.set("jour", true);
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vertA rougeB rouge_pietonA");
    ASSERT_TRUE(run.count_on(21, 219));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rougeB orangeA rouge_pietonA");
    ASSERT_TRUE(run.count_on(22, 59));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rougeB rougeA rouge_pietonA");
    ASSERT_TRUE(run.count_on(23, 19));
    ASSERT_TRUE(run.step());  // A red 1 s: B and the pedestrians go green
    EXPECT_EQ(x.lights(), "vertB rougeA vert_pietonA");
    ASSERT_TRUE(run.count_on(32, 219));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(33, 59));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rougeB rougeA vert_pietonA");
    x.set_timer(23, 319);  // A red 16 s, but B red not yet 1 s
    ASSERT_TRUE(run.step(2));
    EXPECT_TRUE(x.on("rougeA"));
    ASSERT_TRUE(run.count_on(34, 19));
    ASSERT_TRUE(run.step());
    EXPECT_FALSE(x.on("rougeA"));
    EXPECT_FALSE(x.on("vertA"));
    ASSERT_TRUE(run.step());
    EXPECT_TRUE(x.on("vertA"));
    run.program().set_status(END);
    EXPECT_EQ(run.program().wait_exit(), 0);
}

TEST(MelkiBis, BAndThePedestriansFollowAThroughTheBlock) {
    RunningProgram run("melki_bis");
    ASSERT_TRUE(run.attached());
    const auto& x = run.x();
    x.set("jour", true);
    x.set("nuit", true);  // day first
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vertA rougeB rouge_pietonA");
    x.set("nuit", false);
    ASSERT_TRUE(run.count_on(11, 219));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(12, 59));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(13, 19));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.steps(), (std::vector<int>{14, 21, 31}));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vertB rougeA vert_pietonA");
    run.program().set_status(END);
    EXPECT_EQ(run.program().wait_exit(), 0);
}

// A's green ends only with a vehicle on B; B then has one phase, after
// which both directions are dark in the same pass.
TEST(Sorel, BPhaseThroughTheBlock) {
    RunningProgram run("sorel");
    ASSERT_TRUE(run.attached());
    const auto& x = run.x();
    x.set("jour", true);
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(11, 2000));
    EXPECT_EQ(x.lights(), "vertA rougeB");
    x.set("capteurB", true);
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rougeB orangeA");
    ASSERT_TRUE(run.count_on(12, 59));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(13, 19));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vertB rougeA");
    ASSERT_TRUE(run.count_on(22, 159));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(23, 59));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(24, 19));
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "rougeA");  // B dark in step 25
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "");  // A in step 10, B in step 20
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "vertA rougeB");
    run.program().set_status(END);
    EXPECT_EQ(run.program().wait_exit(), 0);
}

// B's green lasts up to 8 s while a vehicle waits, and ends from 5 s on as
// soon as none does.
TEST(SorelBis, BGreenEndsAtFiveSecondsWithoutAVehicleThroughTheBlock) {
    RunningProgram run("sorel_bis");
    ASSERT_TRUE(run.attached());
    const auto& x = run.x();
    x.set("jour", true);
    x.set("capteurB", true);
    x.set("dense", true);
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(11, 299));  // dense: 15 s
    EXPECT_TRUE(x.on("vertA"));
    ASSERT_TRUE(run.step());
    EXPECT_TRUE(x.on("orangeA"));
    ASSERT_TRUE(run.count_on(12, 59));
    ASSERT_TRUE(run.step());
    ASSERT_TRUE(run.count_on(13, 19));
    ASSERT_TRUE(run.step(2));
    EXPECT_TRUE(x.on("vertB"));
    ASSERT_TRUE(run.count_on(22, 150));  // 7.5 s with a vehicle waiting
    EXPECT_TRUE(x.on("vertB"));
    x.set("capteurB", false);
    ASSERT_TRUE(run.step());
    EXPECT_EQ(x.lights(), "orangeB rougeA");
    run.program().set_status(END);
    EXPECT_EQ(run.program().wait_exit(), 0);
}

}  // namespace
}  // namespace vx::controllers
