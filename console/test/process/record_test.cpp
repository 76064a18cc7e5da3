// Recordings: a sim run and a monitor session recorded, replayed with the
// same output changes at the same cycles; recordings refused for another
// program, a damaged recording refused by line.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

const std::string kSymbols = std::string(CONSOLE_TEST_DIR) + "/testctl.vars";

// The output changes of a report with their times and cycles: no heading,
// no input rows (a replay has no random arrivals, only their effects), no
// figures line.
std::string output_changes(const std::string& report) {
    std::string rows;
    std::size_t start = report.find('\n') + 1;
    for (std::size_t end; (end = report.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = report.substr(start, end - start);
        if (!contains(line, " set ") && !line.starts_with("plant time ")) rows += line + "\n";
    }
    return rows;
}

TEST(Recording, ASimRunReplaysWithTheSameOutputChanges) {
    const std::string sorel = program_path("sorel");
    if (sorel.empty()) GTEST_SKIP() << "sorel is not built";
    TempDir dir;
    const std::string rec = dir.file("sorel.rec");
    const Outcome played = vxctl({"sim", "--fast", "--record", rec, "--program", sorel, std::string(SCENARIO_DIR) + "/sorel.scn"});
    ASSERT_EQ(played.status, 0) << played.err;
    const std::string text = read_file(rec);
    EXPECT_TRUE(contains(text, "\nprogram sorel\nsignature 2147483647 generated 1418381562 layout ")) << text;
    EXPECT_TRUE(contains(text, " capteurB=1\n")) << "the random arrivals, as plain changes";
    EXPECT_FALSE(contains(text, "random")) << text;

    const Outcome replayed = vxctl({"sim", "--fast", "--program", sorel, rec});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(output_changes(replayed.out), output_changes(played.out));
    EXPECT_TRUE(contains(replayed.out, "every invariant held")) << "the invariants come with the recording";

    const std::string sorel_bis = program_path("sorel_bis");
    if (sorel_bis.empty()) return;
    const Outcome other = vxctl({"sim", "--fast", "--program", sorel_bis, rec});
    EXPECT_EQ(other.status, 1);
    EXPECT_TRUE(contains(other.err, rec + ":3: the scenario is written for sorel, but block ")) << other.err;
    const Outcome forced = vxctl({"sim", "--fast", "--force", "--program", sorel_bis, rec});
    EXPECT_EQ(forced.status, 0) << forced.err;
}

struct Damage {
    const char* name;
    const char* from;  // replaced in a good recording
    const char* to;
    const char* message;  // after "<file>:"
};

class DamagedRecording : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedRecording, IsRefusedByLine) {
    const Damage& d = GetParam();
    TempDir dir;
    const std::string scenario = dir.file("s.scn");
    write_file(scenario, "program testctl\nperiod 10 ms\nat 0 s input=1\nat 30 ms input=0\nend 50 ms\n");
    const std::string rec = dir.file("s.rec");
    const Outcome played = vxctl({"--symbols", kSymbols, "sim", "--fast", "--record", rec, "--program", TESTCTL, scenario});
    ASSERT_EQ(played.status, 0) << played.err;
    std::string text = read_file(rec);
    auto at = text.find(d.from);
    ASSERT_NE(at, std::string::npos) << text;
    std::size_t length = std::string(d.from).size();
    if (std::string(d.from) == "layout ") length += 16;  // the fingerprint too
    text.replace(at, length, d.to);
    write_file(rec, text);
    const Outcome replayed = vxctl({"--symbols", kSymbols, "sim", "--fast", "--program", TESTCTL, rec});
    EXPECT_EQ(replayed.status, 1);
    EXPECT_TRUE(contains(replayed.err, "vxctl: " + rec + ":" + d.message)) << replayed.err;
    EXPECT_TRUE(replayed.out.empty()) << replayed.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedRecording,
    ::testing::Values(
        Damage{"AnotherBuild", "generated 1418381562", "generated 1418381563",
               "4: the recording was made with program testctl (signature 2147483647, generated 1418381563"},
        Damage{"AnotherLayout", "layout ", "layout 0123456789abcdef", "4: the recording was made with program testctl"},
        Damage{"ABrokenLayout", "layout ", "layout 0123", "4: '0123' is not a layout fingerprint"},
        Damage{"ABrokenSignature", "signature 2147483647", "signature 21474x3647", "4: '21474x3647' is not a number"},
        Damage{"ABrokenChange", "input=0", "input", "7: 'input' is not an assignment"},
        Damage{"CutShort", "end ", "# end ", " the scenario has no 'end' line"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Recording, AFileThatCannotBeWrittenStopsEverythingBeforeItRuns) {
    TempDir dir;
    write_file(dir.file("s.scn"), "end 1 s\n");
    const Outcome r = vxctl({"--symbols", kSymbols, "sim", "--fast", "--record", dir.file("no/such/dir.rec"), "--program",
                             TESTCTL, dir.file("s.scn")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "vxctl: cannot write the recording " + dir.file("no/such/dir.rec"))) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

// The monitor on a pseudo-terminal, driven by keys as a user drives it: 1
// toggles the first input, n steps one cycle, q quits.
int monitor_session(const std::string& block, const std::string& rec, const std::string& keys) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::execl(VXCTL, VXCTL, "--block", block.c_str(), "--symbols", kSymbols.c_str(), "monitor", "--record", rec.c_str(),
                "--interval", "20", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(200ms);
    for (const char key : keys) {
        [[maybe_unused]] const auto written = ::write(master, &key, 1);
        std::this_thread::sleep_for(30ms);
    }
    int status = -1;
    if (!eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Recording, AMonitorSessionReplaysWithTheSameOutputChanges) {
    Controller c(TESTCTL, kSymbols, 10000.0f, {{"VX_SCHEDULE", "lockstep"}});
    TempDir dir;
    const std::string rec = dir.file("monitor.rec");
    // input on, two cycles, input off, one cycle: output follows input.
    ASSERT_EQ(monitor_session(c.program().block_name(), rec, "1nn1nq"), 0);
    EXPECT_EQ(c.program().counter(), 3);
    EXPECT_FALSE(cur(c.program().b(6)));  // output
    const std::string text = read_file(rec);
    EXPECT_TRUE(contains(text, "\nperiod 10000 us\nat 0 s input=1\nat 0.02 s input=0\nend 0.03 s\n")) << text;

    const Outcome replayed = vxctl({"--symbols", kSymbols, "sim", "--fast", "--program", TESTCTL, rec});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_TRUE(contains(replayed.out, "    0.000 s        0  output=1 toggle=1")) << replayed.out;
    EXPECT_TRUE(contains(replayed.out, "    0.020 s        2  output=0 toggle=1")) << replayed.out;
    EXPECT_TRUE(contains(replayed.out, "    0.030 s        3  end after 3 cycles")) << replayed.out;
}

}  // namespace
}  // namespace vx::console::testing
