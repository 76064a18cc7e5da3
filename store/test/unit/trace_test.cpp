// The trace file: a date line at every (re)start, the period line at the
// first traced cycle, then one line per value change of a listed cell.
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <string>

#include "support.hpp"
#include "vx/testing/program.hpp"
#include "vx/trace.hpp"

namespace vx::unit {
namespace {

const std::regex kDateLine(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4,}\n)");

class Trace : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        std::strcpy(tracename, path.c_str());
        ASSERT_EQ(openTrace(), 1);
        // Whatever an earlier test left behind, start with the period line
        // written, so that each test sees only what it causes itself.
        set_cur(b(0), true);
        VX_manage_trace(header());
        set_cur(b(0), false);
        ASSERT_EQ(openTrace(), 1);
        set_cur(i(TEST_COUNTER), 42);
    }
    void TearDown() override {
        close_trace();
        ControllerTest::TearDown();
    }
    // The file's lines after the date line.
    std::string after_date() {
        flush_trace();
        const std::string text = testing::read_file(path);
        const auto end = text.find('\n');
        EXPECT_TRUE(std::regex_match(text.substr(0, end + 1), kDateLine)) << text;
        return end == std::string::npos ? "" : text.substr(end + 1);
    }
    void cycle() { VX_manage_debug_informations(header()); }

    testing::TempDir dir;
    std::string path = dir.file("ctl.trc");
};

TEST_F(Trace, OneLinePerChangeOfAListedCell) {
    MemoryHeader& h = *header();
    h.traceBool.entry[0] = 5;
    h.traceBool.entry[1] = 6;
    h.traceInt.entry[0] = 523;
    h.traceFloat.entry[0] = 17;
    h.traceChar.entry[0] = 53;
    set_cur(b(0), true);
    set_cur(b(5), true);
    set_start_value(b(6), true);  // listed, unchanged
    set_start_value(i(523), -7);
    set_cur(i(523), 100);
    set_start_value(f(17), 0.5f);
    set_cur(f(17), 1.25f);
    set_cur(c(53), 200);
    cycle();
    set_cur(i(TEST_COUNTER), 43);
    set_cur(b(5), false);
    cycle();
    cycle();  // nothing changed since the snapshot
    EXPECT_EQ(after_date(), "42 B5 0:1\n42 I523 -7:100\n42 F17 0.5:1.25\n42 C53 0:200\n43 B5 1:0\n");
}

TEST_F(Trace, NothingWhileTheTraceIsOffAndChangesThenAreNeverWritten) {
    header()->traceInt.entry[0] = 523;
    set_cur(i(523), 5);
    set_cur(b(1), true);  // a restart waits for the trace to be on
    cycle();
    EXPECT_EQ(after_date(), "");
    EXPECT_TRUE(cur(b(1)));
    set_cur(b(0), true);
    cycle();
    EXPECT_EQ(after_date(), "50000\n");
}

TEST_F(Trace, RestartEmptiesTheFileAndWritesDateAndPeriodLines) {
    header()->traceInt.entry[0] = 523;
    set_cur(b(0), true);
    set_cur(i(523), 5);
    cycle();
    ASSERT_EQ(after_date(), "42 I523 0:5\n");
    set_start_value(f(10), 12345.9f);
    set_cur(b(1), true);
    set_cur(i(523), 6);
    cycle();
    EXPECT_FALSE(cur(b(1)));
    EXPECT_EQ(after_date(), "12345\n42 I523 5:6\n");
    set_cur(i(523), 7);
    cycle();
    EXPECT_EQ(after_date(), "12345\n42 I523 5:6\n42 I523 6:7\n");  // the period once
}

// A NaN never equals itself: it is written at every traced cycle.
TEST_F(Trace, NaNIsWrittenEveryTime) {
    header()->traceFloat.entry[0] = 17;
    set_cur(b(0), true);
    set_cur(f(17), std::numeric_limits<float>::quiet_NaN());
    cycle();
    cycle();
    EXPECT_EQ(after_date(), "42 F17 0:nan\n42 F17 nan:nan\n");
}

TEST_F(Trace, EntriesOutsideTheirAreaAreSkipped) {
    MemoryHeader& h = *header();
    const std::int32_t entries[] = {TEST_BOOL_CELLS, -1, INT32_MIN, 5};
    std::memcpy(h.traceBool.entry, entries, sizeof entries);
    h.traceChar.entry[0] = TEST_CHAR_CELLS;
    set_cur(b(0), true);
    set_cur(b(5), true);
    cycle();
    EXPECT_EQ(after_date(), "42 B5 0:1\n");
}

TEST_F(Trace, AFileThatCannotBeOpenedStopsTheTraceOnly) {
    const std::string bad = dir.file("missing/ctl.trc");
    header()->traceInt.entry[0] = 523;
    set_cur(b(0), true);
    set_cur(b(1), true);
    std::strcpy(tracename, bad.c_str());
    EXPECT_EQ(stderr_of([&] { cycle(); }), "unable to open trace file " + bad + "\n");
    EXPECT_EQ(trace, nullptr);
    set_cur(i(523), 5);
    set_cur(b(1), true);
    EXPECT_EQ(stderr_of([&] { cycle(); }), "");  // no file: a restart does nothing
    EXPECT_TRUE(cur(b(1)));
    EXPECT_EQ(prev(i(523)), 5);                  // the snapshot goes on
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(openTrace(), 1); }), "unable to open trace file " + bad + "\n");
}

// The period line belongs to the first traced cycle of a run: checked in a
// fresh process, where no earlier test has traced anything. The child shows
// its file on standard error.
using FreshRun = ControllerTest;

TEST_F(FreshRun, FirstTracedCycleStartsWithThePeriodLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const testing::TempDir dir;
    const std::string fresh = dir.file("fresh.trc");
    EXPECT_EXIT(
        {
            std::strcpy(tracename, fresh.c_str());
            openTrace();
            set_cur(b(0), true);
            VX_manage_debug_informations(header());
            VX_manage_debug_informations(header());
            close_trace();
            std::fprintf(stderr, "trace file:\n%s", testing::read_file(fresh).c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "trace file:\n[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4,}\n50000\n$");
}

}  // namespace
}  // namespace vx::unit
