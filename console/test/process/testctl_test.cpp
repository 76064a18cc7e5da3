// Every command against the test controller, whose cells say exactly what a
// cycle did (bool 5 in, 6 := in, 7 toggles, int 523 counts passes).
#include <sys/mman.h>

#include <filesystem>
#include <thread>

#include "vx/platform/shared_memory.hpp"
#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

const std::string kSymbols = std::string(CONSOLE_TEST_DIR) + "/testctl.vars";

struct TestController : Controller {
    TestController() : Controller(TESTCTL, kSymbols) {}
};

TEST(Testctl, StatusNamesTheTaskTheProcessAndTheControlCells) {
    TestController c;
    const Outcome r = c.run({"status"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& part : std::vector<std::string>{"task name \"testctl.exe\"", std::to_string(c.program().pid()) + " (alive)",
                                   "status       STOP\n", "period       2000 us", "signature    2147483647\n",
                                   "(1418381562)\n", "trace        off"})
        EXPECT_TRUE(contains(r.out, part)) << part << "\n" << r.out;
}

TEST(Testctl, StepRunsExactlyTheCyclesAskedOneAtATime) {
    TestController c;
    const Outcome r = c.run({"step", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "cycle 5, status STOP\n");
    EXPECT_EQ(cur(c.program().i(523)), 5);
    EXPECT_EQ(c.run({"step", "0"}).status, 1);  // refused by the command line
}

TEST(Testctl, RunStopPauseFreeWriteTheStatus) {
    TestController c;
    ASSERT_EQ(c.run({"run"}).status, 0);
    ASSERT_TRUE(eventually([&] { return c.program().counter() >= 3; }));
    ASSERT_EQ(c.run({"stop"}).status, 0);
    ASSERT_TRUE(eventually([&] { return prev(c.program().i(311)) == STOP; }));
    ASSERT_EQ(c.run({"free"}).status, 0);
    EXPECT_EQ(c.program().status(), FREE);
    ASSERT_EQ(c.run({"pause"}).status, 0);
    ASSERT_TRUE(eventually([&] { return c.program().status() == STOP; }));
}

TEST(Testctl, SetGetForceUnforceAndTheForcedList) {
    TestController c;
    ASSERT_EQ(c.run({"set", "input=1", "sleep_ms=0"}).status, 0);
    ASSERT_EQ(c.run({"force", "output=0", "int_out=-7", "float_out=0.25", "char_out='z'"}).status, 0);
    ASSERT_EQ(c.run({"step", "2"}).status, 0);
    // The controller assigned them and posted them: they kept the forced values.
    Outcome r = c.run({"get", "output", "int_out", "float_out", "char_out", "input", "I523"});
    EXPECT_EQ(r.out,
              "output (B6) = 0 (forced)\nint_out (I530) = -7 (forced)\nfloat_out (F17) = 0.25 (forced)\n"
              "char_out (C53) = 122 'z' (forced)\ninput (B5) = 1\npasses (I523) = 2\n");
    r = c.run({"forced"});
    EXPECT_EQ(r.out, "output (B6) = 0\nint_out (I530) = -7\nfloat_out (F17) = 0.25\nchar_out (C53) = 122 'z'\n");
    ASSERT_EQ(c.run({"unforce", "output", "int_out"}).status, 0);
    ASSERT_EQ(c.run({"step"}).status, 0);
    EXPECT_EQ(c.run({"get", "output", "int_out"}).out, "output (B6) = 1\nint_out (I530) = 3\n");
    ASSERT_EQ(c.run({"unforce", "--all"}).status, 0);
    EXPECT_EQ(c.run({"forced"}).out, "no variable is forced\n");
}

TEST(Testctl, TraceListsSwitchAndShowTheFileWithNames) {
    TestController c;
    ASSERT_EQ(c.run({"trace", "add", "input", "passes", "float_out"}).status, 0);
    ASSERT_EQ(c.run({"trace", "on"}).status, 0);
    ASSERT_EQ(c.run({"step"}).status, 0);
    ASSERT_EQ(c.run({"set", "input=1"}).status, 0);
    ASSERT_EQ(c.run({"step", "2"}).status, 0);
    EXPECT_EQ(c.run({"trace", "list"}).out, "input (B5)\npasses (I523)\nfloat_out (F17)\n");
    Outcome r = c.run({"trace", "show"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "\n2000\n1 B5 0:1  input\n1 I523 0:1  passes\n1 F17 0:0.5  float_out\n2 I523 1:2  passes\n")) << r.out;
    ASSERT_EQ(c.run({"trace", "off"}).status, 0);
    EXPECT_FALSE(cur(c.program().b(0)));
    ASSERT_EQ(c.run({"trace", "restart"}).status, 0);
    EXPECT_TRUE(cur(c.program().b(1)));
    ASSERT_EQ(c.run({"trace", "remove", "passes"}).status, 0);
    EXPECT_EQ(c.run({"trace", "list"}).out, "input (B5)\nfloat_out (F17)\n");
    ASSERT_EQ(c.run({"trace", "clear"}).status, 0);
    EXPECT_EQ(c.run({"trace", "list"}).out, "the trace list is empty\n");
    r = c.run({"trace", "show", "--file", c.program().trace_file() + ".none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "cannot read the trace file")) << r.err;
}

TEST(Testctl, AWatchedInputThatChangesStopsTheRunningProgram) {
    TestController c;
    ASSERT_EQ(c.run({"watch", "add", "input"}).status, 0);
    EXPECT_EQ(c.run({"watch", "list"}).out, "input (B5)\n");
    ASSERT_EQ(c.run({"run"}).status, 0);
    ASSERT_TRUE(eventually([&] { return c.program().counter() >= 2; }));
    ASSERT_EQ(c.run({"set", "input=1"}).status, 0);
    ASSERT_TRUE(eventually([&] { return c.program().status() == STOP; }));
    ASSERT_EQ(c.run({"watch", "remove", "input"}).status, 0);
    EXPECT_EQ(c.run({"watch", "list"}).out, "the watch list is empty\n");
    const Outcome r = c.run({"watch", "add", "passes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "the watch list holds bool variables only")) << r.err;
}

TEST(Testctl, ABreakpointHoldsTheStepAndStatusShowsWhere) {
    TestController c;
    ASSERT_EQ(c.run({"break", "add", "7", "8"}).status, 0);
    ASSERT_EQ(c.run({"break", "add", "9", "1"}).status, 0);
    EXPECT_EQ(c.run({"break", "list"}).out, "location 7, instance 8\nlocation 9, instance 1\n");
    ASSERT_EQ(c.run({"set", "bp_location=7", "bp_instance=8"}).status, 0);
    Outcome r = c.run({"step"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "held at a breakpoint: location 7, instance 8\n");
    r = c.run({"status"});
    EXPECT_TRUE(contains(r.out, "status       PAUSE\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "held at      location 7, instance 8\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "breakpoints  7/8, 9/1\n")) << r.out;
    ASSERT_EQ(c.run({"break", "clear", "7", "8"}).status, 0);
    ASSERT_EQ(c.run({"stop"}).status, 0);  // the held cycle finishes
    ASSERT_TRUE(eventually([&] { return c.program().counter() == 1 && prev(c.program().i(311)) == STOP; }));
    ASSERT_EQ(c.run({"break", "clear"}).status, 0);
    EXPECT_EQ(c.run({"break", "list"}).out, "no breakpoint\n");
}

TEST(Testctl, MonitorOnceAndVars) {
    TestController c;
    ASSERT_EQ(c.run({"set", "input=1"}).status, 0);
    ASSERT_EQ(c.run({"step"}).status, 0);
    Outcome r = c.run({"monitor", "--once"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "testctl on block " + c.program().block_name())) << r.out;
    EXPECT_TRUE(contains(r.out, "status STOP  cycle 1  period 2000 us")) << r.out;
    EXPECT_TRUE(contains(r.out, "outputs  output=1  toggle=1  passes=1  int_out=1  float_out=0.5  char_out=66 'B'\n")) << r.out;
    r = c.run({"monitor"});  // standard input is not a terminal
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "'monitor --once' prints one frame")) << r.err;
    r = c.run({"vars"});
    EXPECT_TRUE(contains(r.out, "program testctl\ninput (B5) input = 1\noutput (B6) output = 1\n")) << r.out;
    r = c.run({"objects"});
    EXPECT_EQ(r.out, "program testctl declares no objects (no actors, no product slots)\n");
}

TEST(Testctl, EndEndsTheProgramAndLeavesNoBlock) {
    TestController c;
    c.program().detach();
    const Outcome r = c.run({"end"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(c.program().wait_exit(), 0);
    EXPECT_FALSE(c.block_exists());
}

TEST(Testctl, WithoutASymbolFileCellsAreNamedRaw) {
    Controller c(TESTCTL);  // no testctl.vars beside the program
    Outcome r = c.run({"get", "B5", "I523", "F10", "C3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "B5 = 0\nI523 = 0\nF10 = 2000\nC3 = 116 't'\n");
    r = c.run({"get", "input"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "there is no symbol file")) << r.err;
}

// ---- Bad input: a message on standard error, status 1, nothing changed ----

struct BadInput {
    std::vector<std::string> args;
    std::string message;
};

class TestctlErrors : public ::testing::TestWithParam<BadInput> {};

TEST_P(TestctlErrors, AreReportedAndChangeNothing) {
    TestController c;
    const Outcome r = c.run(GetParam().args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(contains(r.err, GetParam().message)) << r.err;
    EXPECT_EQ(c.program().b(5).bits, 0);
    EXPECT_EQ(cur(c.program().i(523)), 0);
    EXPECT_EQ(c.program().status(), STOP);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TestctlErrors,
    ::testing::Values(BadInput{{"set", "input=1", "inptu=1"}, "unknown variable 'inptu' (did you mean input?)"},
                      BadInput{{"set", "input=1", "passes=1.5"}, "passes (I523): value '1.5' does not fit an int cell"},
                      BadInput{{"force", "input=1", "passes=x"}, "does not fit an int cell"},
                      BadInput{{"set", "input=1", "B8=1"}, "B8 lies outside the bool area (cells 0 to 7)"},
                      BadInput{{"get", "C54"}, "C54 lies outside the char area (cells 0 to 53)"},
                      BadInput{{"set", "input=2"}, "value '2' does not fit a bool cell"},
                      BadInput{{"set", "input"}, "'input' is not an assignment"},
                      BadInput{{"trace", "add", "input", "traceon"}, "index 0 ends a list"},
                      BadInput{{"break", "add", "1"}, "LOCATION INSTANCE"},
                      BadInput{{"frobnicate"}, "not expected: frobnicate"}));

TEST(Errors, AnUnknownBlockIsNotCreated) {
    const std::string name = unique_block_name();
    const Outcome r = vxctl({"--block", name, "status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vxctl: shared block \"" + name + "\" does not exist\n");
    EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + name));
    EXPECT_EQ(vxctl({"status"}, {{"VX_MEMORY_NAME", name}}).err, r.err);  // the environment names the block
}

TEST(Errors, ABlockThatNoProgramLaidOutIsRefused) {
    const std::string name = unique_block_name();
    std::string error;
    auto block = platform::SharedMemory::open(name, 30000, platform::OpenMode::CreateOrAttach, error);
    ASSERT_TRUE(block.is_open()) << error;
    const Outcome r = vxctl({"--block", name, "status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "is not laid out")) << r.err;
}

TEST(Errors, ASymbolFileForOtherCountsIsRefused) {
    TestController c;
    TempDir dir;
    write_file(dir.file("other.vars"), "program other\ncounts 28 532 17 53\njour B 5 input\n");
    const Outcome r = vxctl({"--block", c.program().block_name(), "--symbols", dir.file("other.vars"), "get", "jour"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "(program other, cell counts 28 532 17 53) does not match shared block")) << r.err;
    EXPECT_TRUE(contains(r.err, "(cell counts 8 534 18 54)")) << r.err;
}

TEST(Errors, StepOnAProgramThatEndedSaysSo) {
    TestController c;
    ASSERT_EQ(c.run({"end"}).status, 0);
    // The test still holds the block, so it outlives the program.
    const Outcome r = c.run({"step"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "is not running")) << r.err;
}

}  // namespace
}  // namespace vx::console::testing
