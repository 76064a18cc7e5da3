// Trace files read back and written as waveforms.
#include <gtest/gtest.h>

#include <sstream>

#include "vx/console/waveform.hpp"

namespace vx::console {
namespace {

const std::array<std::int32_t, kCellTypes> kCounts{8, 534, 18, 54};

SymbolTable symbols() {
    return parse_symbols("program testctl\ncounts 8 534 18 54\ninput B 5 input\npasses I 523 output\n"
                         "float_out F 17 output\nchar_out C 53 output\n",
                         "testctl.vars");
}

const char* const kTrace =
    "Tue Dec  8 01:00:00 2026\n"
    "50000\n"
    "3 B5 0:1\n"
    "3 I523 2:3\n"
    "4 F17 1.5:2\n"
    "6 C53 65:66\n"
    "6 B5 1:0\n";

TEST(Waveform, ATraceBecomesAValueChangeDumpAtThePeriodsTimescale) {
    const SymbolTable table = symbols();
    const TraceFile trace = parse_trace(kTrace, "t.trc", &table, kCounts);
    std::ostringstream out;
    write_trace_waveform(trace, WaveWriter::Format::Vcd, "testctl", out);
    EXPECT_EQ(out.str(),
              "$date\n  Tue Dec  8 01:00:00 2026\n$end\n$version\n  vxctl\n$end\n$timescale 10 ms $end\n"
              "$scope module testctl $end\n"
              "$var wire 1 ! input $end\n$var integer 32 \" passes $end\n$var real 64 # float_out $end\n"
              "$var wire 8 % char_out $end\n$upscope $end\n$enddefinitions $end\n"
              "#10\n$dumpvars\n0!\nb10 \"\nr1.5 #\nb1000001 %\n$end\n"
              "#15\n1!\nb11 \"\n#20\nr2 #\n#30\n0!\nb1000010 %\n#35\n");
}

TEST(Waveform, ATraceBecomesCsvWithEveryValueInEachRow) {
    const SymbolTable table = symbols();
    const TraceFile trace = parse_trace(kTrace, "t.trc", &table, kCounts);
    std::ostringstream out;
    write_trace_waveform(trace, WaveWriter::Format::Csv, "testctl", out);
    EXPECT_EQ(out.str(),
              "cycle,time_s,input,passes,float_out,char_out\n"
              "2,0.1,0,2,1.5,65\n3,0.15,1,3,1.5,65\n4,0.2,1,3,2,65\n6,0.3,0,3,2,66\n");
}

struct Scale {
    double period;  // microseconds
    const char* timescale;
    const char* second_stamp;  // the time stamp of cycle 1
};

class Timescale : public ::testing::TestWithParam<Scale> {};

TEST_P(Timescale, IsTheLargestThatDividesThePeriod) {
    std::ostringstream out;
    WaveWriter w(out, WaveWriter::Format::Vcd, "p", {VarRef{CellType::Bool, 5, "a"}}, GetParam().period, "d");
    w.sample(0, {Value(false)});
    w.sample(1, {Value(true)});
    EXPECT_NE(out.str().find(std::string("$timescale ") + GetParam().timescale + " $end"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(std::string("\n") + GetParam().second_stamp + "\n1!"), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(Periods, Timescale,
                         ::testing::Values(Scale{50000, "10 ms", "#5"}, Scale{1000000, "1 s", "#1"},
                                           Scale{12500, "100 us", "#125"}, Scale{2000, "1 ms", "#2"},
                                           Scale{0.5, "100 ns", "#5"}, Scale{1e-4, "1 us", "#1"},
                                           Scale{-1, "1 us", "#1"}));

struct BadTrace {
    const char* text;
    const char* message;
};

class BadTraces : public ::testing::TestWithParam<BadTrace> {};

TEST_P(BadTraces, AreRefusedByLine) {
    try {
        parse_trace(GetParam().text, "t.trc", nullptr, kCounts);
        FAIL() << "accepted";
    } catch (const Failure& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadTraces,
    ::testing::Values(
        BadTrace{"", "t.trc: the trace file is empty"},
        BadTrace{"date\nfifty\n", "t.trc:2: 'fifty' is neither a period nor a change"},
        BadTrace{"date\n50000\nx B5 0:1\n", "t.trc:3: 'x' is not a cycle number"},
        BadTrace{"date\n50000\n3 B9 0:1\n", "t.trc:3: B9 lies outside the bool area (cells 0 to 7)"},
        BadTrace{"date\n50000\n3 jour 0:1\n", "t.trc:3: 'jour' is not a cell (B5, I523, F10 or C3)"},
        BadTrace{"date\n50000\n3 B5 0-1\n", "t.trc:3: '3 B5 0-1' is not a change: <cycle> <cell> <prev>:<cur>"},
        BadTrace{"date\n50000\n3 B5 0:2\n", "t.trc:3: '0:2' are not two values of a bool cell"},
        BadTrace{"date\n50000\n3 C5 0:256\n", "t.trc:3: '0:256' are not two values of a char cell"},
        BadTrace{"date\n50000\n5 B5 0:1\n4 B5 1:0\n",
                 "t.trc:4: cycle 4 comes after cycle 5: the cycle counter went back while tracing"}));

}  // namespace
}  // namespace vx::console
