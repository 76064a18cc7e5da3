// sim --fast: every scenario gives the same changes at the same cycles as at
// the program's pace, and a fast run that goes wrong says what happened and
// leaves nothing in /dev/shm.
#include <csignal>
#include <filesystem>

#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

const std::string kSymbols = std::string(CONSOLE_TEST_DIR) + "/testctl.vars";

// The report's timeline: below the heading (which names the block and the
// file), up to the summary; the fast run's figures line is dropped.
std::string timeline(const std::string& report) {
    std::string text = report.substr(std::min(report.size(), report.find('\n') + 1));
    if (const auto figures = text.rfind("plant time "); figures != std::string::npos) text.resize(figures);
    return text;
}

// Names in /dev/shm that a vxctl with this process id launched.
std::vector<std::string> launched_leftovers(int vxctl_pid) {
    std::vector<std::string> names;
    const std::string prefix = "vxsim" + std::to_string(vxctl_pid) + "_";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm"))
        if (entry.path().filename().string().starts_with(prefix)) names.push_back(entry.path().filename());
    return names;
}

Program launched_vxctl(std::vector<std::string> args) {
    ProgramOptions options;
    options.executable = VXCTL;
    options.name = "vxctl";
    options.args = std::move(args);
    return Program(options);
}

class FastAndPaced : public ::testing::TestWithParam<const char*> {};

// At pace a scenario takes its plant time, so the whole of it was played
// once at pace into scenarios/timelines/ (scripts/regenerate-timelines.sh);
// here the whole scenario plays fast against that, and its first second
// plays both ways live.
TEST_P(FastAndPaced, GiveTheSameChangesAtTheSameCycles) {
    const std::string name = GetParam();
    const std::string path = program_path(name);
    if (path.empty()) GTEST_SKIP() << name << " is not built";
    const std::string scenario = std::string(SCENARIO_DIR) + "/" + name + ".scn";

    const Outcome fast = vxctl({"sim", "--fast", "--program", path, scenario});
    EXPECT_EQ(fast.status, 0) << fast.err;
    EXPECT_EQ(timeline(fast.out), read_file(std::string(SCENARIO_DIR) + "/timelines/" + name + ".timeline"));
    EXPECT_TRUE(contains(fast.out, "plant time ")) << fast.out;

    ProgramOptions options;
    options.executable = path;
    options.name = name;
    Program paced_program(options);
    paced_program.start();
    ASSERT_TRUE(paced_program.attach()) << paced_program.err();
    const Outcome paced = vxctl({"--block", paced_program.block_name(), "sim", "--for", "1", scenario});
    const Outcome fast_second = vxctl({"sim", "--fast", "--for", "1", "--program", path, scenario});
    EXPECT_EQ(paced.status, fast_second.status) << paced.err << fast_second.err;
    EXPECT_EQ(timeline(fast_second.out), timeline(paced.out));
    paced_program.set_status(END);
    EXPECT_EQ(paced_program.wait_exit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FastAndPaced,
                         ::testing::Values("tarvo", "melki", "melki_bis", "sorel", "sorel_bis", "conveyor", "pickplace"),
                         [](const auto& param_info) { return std::string(param_info.param); });

// Runs that cannot go on: the message, the exit status, and nothing left.
struct FastFault {
    const char* name;
    const char* scenario;
    std::vector<std::string> args;            // before the scenario; PROGRAM is testctl
    std::map<std::string, std::string> env;   // vxctl's (and so the launched program's)
    int status;
    const char* message;                      // in vxctl's standard error
};

class FastFaults : public ::testing::TestWithParam<FastFault> {};

TEST_P(FastFaults, LeaveNothingBehind) {
    const FastFault& f = GetParam();
    TempDir dir;
    write_file(dir.file("s.scn"), f.scenario);
    std::vector<std::string> args{"--symbols", kSymbols, "sim", "--fast"};
    for (const auto& a : f.args) args.push_back(a == "PROGRAM" ? TESTCTL : a);
    args.push_back(dir.file("s.scn"));
    ProgramOptions options;
    options.executable = VXCTL;
    options.name = "vxctl";
    options.args = args;
    options.env = f.env;
    Program vx(options);
    const auto started = std::chrono::steady_clock::now();
    vx.start();
    EXPECT_EQ(vx.wait_exit(20s), f.status) << vx.out() << vx.err();
    EXPECT_TRUE(contains(vx.err(), f.message)) << vx.err();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(launched_leftovers(vx.pid()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, FastFaults,
    ::testing::Values(
        FastFault{"AHungCycleIsBounded", "period 10 ms\nat 20 ms sleep_ms=-4000\nend 1 s\n",
                  {"--cycle-limit", "0.3", "--program", "PROGRAM"}, {}, 1,
                  "vxctl: program testctl did not finish cycle 2 within 0.3 s (status RUN)"},
        FastFault{"AProgramThatCannotStart", "end 1 s\n", {"--program", "/nonexistent/testctl"}, {}, 1,
                  "vxctl: cannot start /nonexistent/testctl: No such file or directory"},
        FastFault{"AProgramThatEndsDuringItsStartUp", "end 1 s\n", {"--program", "PROGRAM"},
                  {{"VX_MEMORY_SIZE", "1000"}}, 1, "ended during its start-up (exit status 1: the block is too small for it)"},
        FastFault{"ABadScenarioStartsNothing", "end 1 s\nat 0 s nothing=1\n", {"--program", "PROGRAM"}, {}, 1,
                  ":2: unknown variable 'nothing'"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(FastAttach, AProgramNotInLockstepModeIsToldHowToStart) {
    Controller c(TESTCTL, kSymbols);
    TempDir dir;
    write_file(dir.file("s.scn"), "end 1 s\n");
    const Outcome r = c.run({"sim", "--fast", dir.file("s.scn")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "was not started in lockstep mode; start it with VX_SCHEDULE=lockstep")) << r.err;
    EXPECT_EQ(c.program().counter(), 0);
}

TEST(FastAttach, ABreakpointThatHoldsACycleIsReported) {
    Controller c(TESTCTL, kSymbols, 2000.0f, {{"VX_SCHEDULE", "lockstep"}});
    ASSERT_EQ(c.run({"break", "add", "7", "3"}).status, 0);
    TempDir dir;
    write_file(dir.file("s.scn"), "at 10 ms bp_location=7 bp_instance=3\nend 1 s\n");
    const Outcome r = c.run({"sim", "--fast", dir.file("s.scn")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "program testctl is held at a breakpoint (location 7) in cycle 5")) << r.err;
}

TEST(FastAttach, AProgramKilledDuringACycleIsReported) {
    Controller c(TESTCTL, kSymbols, 2000.0f, {{"VX_SCHEDULE", "lockstep"}});
    TempDir dir;
    write_file(dir.file("s.scn"), "at 0 s sleep_ms=3000\nend 1 s\n");
    Program vx = launched_vxctl({"--block", c.program().block_name(), "--symbols", kSymbols, "sim", "--fast", dir.file("s.scn")});
    vx.start();
    ASSERT_TRUE(eventually([&] { return c.program().status() == RUN; }));
    ::kill(c.program().pid(), SIGKILL);
    c.program().wait_exit();  // reaped: a zombie's process id still exists
    EXPECT_EQ(vx.wait_exit(5s), 1);
    EXPECT_TRUE(contains(vx.err(), "vxctl: program testctl ended during cycle 0")) << vx.err();
}

TEST(FastAttach, OneSimulatorDrivesAProgramAtATime) {
    Controller c(TESTCTL, kSymbols, 2000.0f, {{"VX_SCHEDULE", "lockstep"}});
    TempDir dir;
    write_file(dir.file("s.scn"), "at 0 s sleep_ms=1\nend 3600 s\n");
    Program first = launched_vxctl({"--block", c.program().block_name(), "--symbols", kSymbols, "sim", "--fast", dir.file("s.scn")});
    first.start();
    ASSERT_TRUE(eventually([&] { return c.program().counter() > 3; }));
    const Outcome second = c.run({"sim", "--fast", dir.file("s.scn")});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(contains(second.err, "is already driven by the simulator with process id " + std::to_string(first.pid())))
        << second.err;
    ::kill(first.pid(), SIGINT);
    EXPECT_EQ(first.wait_exit(5s), 130) << first.err();
    EXPECT_EQ(c.program().status(), STOP) << "the first left it stopped";
}

TEST(FastLaunch, CtrlCEndsTheProgramAndRemovesItsBlock) {
    TempDir dir;
    write_file(dir.file("s.scn"), "at 0 s sleep_ms=1\nend 3600 s\n");
    Program vx = launched_vxctl({"--symbols", kSymbols, "sim", "--fast", "--program", TESTCTL, dir.file("s.scn")});
    vx.start();
    ASSERT_TRUE(eventually([&] { return contains(read_file(vx.dir() + "/stdout"), "set sleep_ms=1"); }));
    std::this_thread::sleep_for(50ms);
    ::kill(vx.pid(), SIGINT);
    EXPECT_EQ(vx.wait_exit(5s), 130) << vx.err();
    EXPECT_TRUE(contains(vx.out(), " interrupted after ")) << vx.out();
    EXPECT_EQ(launched_leftovers(vx.pid()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vx::console::testing
