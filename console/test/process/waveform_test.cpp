// Waveforms as real readers see them: sigrok-cli reads the VCD of a
// scenario run (its wires), and gtkwave's converters read an exported
// trace whole (integers and reals too) and write it back.
#include <filesystem>

#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

const std::string kSymbols = std::string(CONSOLE_TEST_DIR) + "/testctl.vars";

// Runs a tool to its end; its standard output, or none when it failed.
std::optional<std::string> tool(const std::string& path, std::vector<std::string> args) {
    ProgramOptions options;
    options.executable = path;
    options.name = std::filesystem::path(path).filename();
    options.args = std::move(args);
    Program p(options);
    p.start();
    const auto status = p.wait_exit(20s);
    EXPECT_EQ(status, 0) << path << ": " << p.err();
    if (status != 0) return std::nullopt;
    return p.out();
}

// The identifier of the signal `name` declared as `kind` in a VCD, or "".
std::string id_of(const std::string& vcd, const std::string& kind, const std::string& name) {
    const std::string head = "$var " + kind + " ";
    const std::string tail = " " + name + " $end";
    std::size_t start = 0;
    for (std::size_t end; (end = vcd.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = vcd.substr(start, end - start);
        if (line.starts_with(head) && line.ends_with(tail))
            return line.substr(head.size(), line.size() - head.size() - tail.size());
    }
    return "";
}

std::vector<std::string> data_rows(const std::string& csv) {
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = csv.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = csv.substr(start, end - start);
        if (!line.empty() && (line[0] == '0' || line[0] == '1')) rows.push_back(line);
    }
    return rows;
}

TEST(Waveform, SigrokReadsTheVcdOfAScenarioRun) {
    if (!std::filesystem::exists("/usr/bin/sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed (scripts/deps.sh)";
    const std::string tarvo = program_path("tarvo");
    if (tarvo.empty()) GTEST_SKIP() << "tarvo is not built";
    TempDir dir;
    const Outcome r = vxctl({"sim", "--fast", "--vcd", dir.file("tarvo.vcd"), "--program", tarvo,
                             std::string(SCENARIO_DIR) + "/tarvo.scn"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto csv = tool("/usr/bin/sigrok-cli", {"-I", "vcd", "-i", dir.file("tarvo.vcd"), "-O", "csv"});
    ASSERT_TRUE(csv);
    EXPECT_TRUE(contains(*csv, "Channels (7/7): jour, nuit, vert, rouge, orange, vert_pieton, rouge_pieton")) << *csv;
    EXPECT_TRUE(contains(*csv, "samplerate: 100\n")) << "10 ms: a 50 ms cycle is five samples";
    const auto rows = data_rows(*csv);
    ASSERT_GE(rows.size(), 3000u);
    EXPECT_EQ(rows[0], "1,0,0,0,0,0,0");  // day asked for, nothing lit yet
    EXPECT_EQ(rows[5], "1,0,1,0,0,0,1");  // after the first cycle: green, pedestrians red
}

TEST(Waveform, AnExportedTraceReadsBackWholeThroughGtkwavesConverters) {
    if (!std::filesystem::exists("/usr/bin/vcd2fst") || !std::filesystem::exists("/usr/bin/fst2vcd"))
        GTEST_SKIP() << "gtkwave is not installed (scripts/deps.sh)";
    Controller c(TESTCTL, kSymbols, 2000.0f, {{"VX_SCHEDULE", "lockstep"}});
    ASSERT_EQ(c.run({"trace", "add", "input", "passes", "float_out", "char_out"}).status, 0);
    ASSERT_EQ(c.run({"trace", "on"}).status, 0);
    ASSERT_EQ(c.run({"step", "2"}).status, 0);
    ASSERT_EQ(c.run({"set", "input=1"}).status, 0);
    ASSERT_EQ(c.run({"step", "3"}).status, 0);
    TempDir dir;
    const Outcome exported = c.run({"trace", "export", "--vcd", dir.file("t.vcd")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    ASSERT_TRUE(tool("/usr/bin/vcd2fst", {dir.file("t.vcd"), dir.file("t.fst")}));
    const auto back = tool("/usr/bin/fst2vcd", {dir.file("t.fst")});
    ASSERT_TRUE(back);
    // Signals in the order of their first change: passes, float_out and
    // char_out change in cycle 0, input before cycle 2. A change is seen at
    // the start of the next cycle: passes is 4 at cycle 4, 8 ms.
    // (the converters number the signals their own way)
    const std::string passes = id_of(*back, "integer 32", "passes");
    const std::string real = id_of(*back, "real 64", "float_out");
    const std::string input = id_of(*back, "wire 1", "input");
    ASSERT_TRUE(!passes.empty() && !real.empty() && !input.empty()) << *back;
    ASSERT_TRUE(contains(*back, "\n#4\n") && contains(*back, "\n#8\n")) << *back;
    const std::string at_4ms = back->substr(back->find("\n#4\n"));
    const std::string at_8ms = back->substr(back->find("\n#8\n"));
    EXPECT_TRUE(contains(at_4ms.substr(0, at_4ms.find("\n#6\n") + 1), "\n1" + input + "\n")) << *back;
    EXPECT_TRUE(contains(at_8ms, "\nb00000000000000000000000000000100 " + passes + "\n")) << *back;
    EXPECT_TRUE(contains(at_8ms, "\nr2 " + real + "\n")) << *back;

    // The same trace as CSV, offline from the file and the symbol file.
    const Outcome csv = vxctl({"--symbols", kSymbols, "trace", "export", "--csv", dir.file("t.csv"), "--file",
                               c.program().trace_file()});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_TRUE(read_file(dir.file("t.csv")).ends_with("4,0.008,4,2,69,1\n")) << read_file(dir.file("t.csv"));
}

TEST(Waveform, AFileThatCannotBeWrittenStopsEverythingBeforeItRuns) {
    TempDir dir;
    write_file(dir.file("s.scn"), "end 1 s\n");
    const Outcome r = vxctl({"--symbols", kSymbols, "sim", "--fast", "--vcd", dir.file("no/such.vcd"), "--program",
                             TESTCTL, dir.file("s.scn")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vxctl: cannot write the waveform " + dir.file("no/such.vcd") + "\n");
    EXPECT_TRUE(r.out.empty()) << r.out;
}

}  // namespace
}  // namespace vx::console::testing
