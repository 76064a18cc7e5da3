// Debug services seen from the debugger's side of the block: forcing, the
// trace file, the watch list, breakpoints and reports, and index lists that
// hold garbage.
#include "fixture.hpp"

namespace vx::testing {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

void list(IndexList& l, std::initializer_list<std::int32_t> entries) {
    int k = 0;
    for (auto e : entries) vx_store_i32(&l.entry[k++], e);
}

// A debugger forces a cell by writing its value into cur and prev and
// setting its flag.
void force(BoolCell& c, bool v) { set_bool_bits(c, VX_BOOL_CUR | VX_BOOL_PREV | VX_BOOL_FORCED, both_bits(v) | VX_BOOL_FORCED); }

TEST(Debug, ForcedOutputsKeepTheirValueUntilUnforced) {
    auto p = started();
    p->set_period(2000);
    force(p->b(TEST_TOGGLE), true);
    set_start_value(p->i(TEST_INT_OUT), -5);
    set_forced(p->i(TEST_INT_OUT), true);
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(p->step());
        EXPECT_TRUE(cur(p->b(TEST_TOGGLE)));
        EXPECT_EQ(cur(p->i(TEST_INT_OUT)), -5);
    }
    set_forced(p->b(TEST_TOGGLE), false);
    set_forced(p->i(TEST_INT_OUT), false);
    ASSERT_TRUE(p->step());
    EXPECT_FALSE(cur(p->b(TEST_TOGGLE)));          // the controller's own value again
    EXPECT_EQ(cur(p->i(TEST_INT_OUT)), cur(p->i(TEST_PASSES)));
    ASSERT_EQ(end(*p), 0);
}

TEST(Debug, TraceWritesEachChangeOnceWithItsCycle) {
    auto p = started();
    p->set_period(2000);
    MemoryHeader& h = *p->block().header();
    list(h.traceBool, {TEST_TOGGLE, TEST_OUTPUT});
    list(h.traceInt, {TEST_INT_OUT});
    list(h.traceFloat, {TEST_FLOAT_OUT});
    list(h.traceChar, {TEST_CHAR_OUT});
    set_cur(p->b(0), true);  // traceon
    ASSERT_TRUE(p->step());  // cycle 0: nothing changed yet; the pass changes the outputs
    ASSERT_TRUE(p->step());  // cycle 1: the changes of cycle 0 are written
    set_cur(p->b(0), false);
    ASSERT_TRUE(p->step());  // cycle 2: trace off, the changes of cycle 1 are lost
    set_cur(p->b(0), true);
    ASSERT_TRUE(p->step());  // cycle 3: the changes of cycle 2
    ASSERT_EQ(end(*p), 0);

    const auto lines = lines_of(read_file(p->trace_file()));
    const std::vector<std::string> expected{"2000",           "1 B7 0:1",  "1 I530 0:1", "1 F17 0:0.5",
                                            "1 C53 0:66",     "3 B7 0:1",  "3 I530 2:3", "3 F17 1:1.5",
                                            "3 C53 67:68"};
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);
}

TEST(Debug, ResettraceRestartsTheFile) {
    auto p = started();
    p->set_period(2000);
    list(p->block().header()->traceBool, {TEST_TOGGLE});
    set_cur(p->b(0), true);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(p->step());
    set_cur(p->b(1), true);  // resettrace
    ASSERT_TRUE(p->step());
    EXPECT_FALSE(cur(p->b(1)));
    ASSERT_EQ(end(*p), 0);
    const auto lines = lines_of(read_file(p->trace_file()));
    ASSERT_EQ(lines.size(), 3u);  // date, period, the one change of the restart cycle
    EXPECT_EQ(lines[1], "2000");
    EXPECT_EQ(lines[2], "3 B7 0:1");
}

TEST(Debug, AChangedWatchedBoolStopsTheProgram) {
    auto p = started();
    p->set_period(2000);
    list(p->block().header()->watchBool, {TEST_INPUT});
    p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return p->counter() >= 3; }));
    set_cur(p->b(TEST_INPUT), true);  // the simulator changes an input
    ASSERT_TRUE(eventually([&] { return p->status() == STOP; }));
    // The cycle that saw the change still ran: the output follows the input.
    EXPECT_TRUE(cur(p->b(TEST_OUTPUT)));
    ASSERT_EQ(end(*p), 0);
}

struct BreakpointProgram {
    std::unique_ptr<Program> p = started();
    BreakpointProgram() {
        p->set_period(2000);
        set_cur(p->i(312), 1);     // one breakpoint
        set_cur(p->i(313), 42);    // location
        set_cur(p->i(415), 7);     // instance
        set_cur(p->i(TEST_BP_LOCATION), 42);
        set_cur(p->i(TEST_BP_INSTANCE), 7);
    }
    bool held() const { return p->status() == PAUSE && cur(p->i(516)) == 7 && cur(p->i(517)) == 42; }
};

TEST(Debug, AListedBreakpointHoldsTheCycleUntilTheStatusChanges) {
    BreakpointProgram b;
    Program& p = *b.p;
    p.set_status(RUN);
    ASSERT_TRUE(eventually([&] { return b.held(); }));
    const std::int32_t held_at = p.counter();
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(p.counter(), held_at);  // held inside the cycle
    EXPECT_EQ(cur(p.i(521)), TEST_SIGNATURE);

    set_cur(p.i(312), 0);  // no breakpoints any more
    p.set_status(RUN);
    ASSERT_TRUE(eventually([&] { return p.counter() > held_at + 2; }));
    EXPECT_EQ(cur(p.i(516)), 0);
    EXPECT_EQ(cur(p.i(517)), 42);
    ASSERT_EQ(end(p), 0);
    const std::string out = p.out();
    const auto paused = out.find("Exec status change from RUN to PAUSE\n");
    EXPECT_NE(paused, std::string::npos) << out;
    EXPECT_NE(out.find("Exec status change from PAUSE to RUN\n", paused), std::string::npos) << out;
    // The schedule was not restarted after the hold: the program catches up.
    EXPECT_NE(out.find("Warning: Cycle duration", paused), std::string::npos) << out;
}

TEST(Debug, StepDuringAHoldFinishesTheCycleAndStops) {
    BreakpointProgram b;
    Program& p = *b.p;
    p.set_status(RUN);
    ASSERT_TRUE(eventually([&] { return b.held(); }));
    const std::int32_t held_at = p.counter();
    p.set_status(STEP);  // on to the next check: none in this cycle
    ASSERT_TRUE(eventually([&] { return p.counter() == held_at + 1 && p.status() == STOP; }));
    ASSERT_EQ(end(p), 0);
}

TEST(Debug, EndDuringAHoldEndsTheProgram) {
    BreakpointProgram b;
    b.p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return b.held(); }));
    EXPECT_EQ(end(*b.p), 0);
}

TEST(Debug, ReportsOtherThanBreakpointChecksRecordWithoutHolding) {
    auto p = started();
    p->set_period(2000);
    set_cur(p->i(TEST_BP_LOCATION), 11);
    set_cur(p->i(TEST_BP_INSTANCE), 3);
    set_cur(p->i(TEST_REPORT_TYPE), 5);
    ASSERT_TRUE(p->step());
    EXPECT_EQ(cur(p->i(517)), 11);  // location
    EXPECT_EQ(cur(p->i(518)), 77);  // pre/post code
    EXPECT_EQ(cur(p->i(519)), 5);   // type
    EXPECT_EQ(cur(p->i(520)), 3);   // rank
    EXPECT_EQ(cur(p->i(516)), 0);   // replaced by the evolution's result
    ASSERT_EQ(end(*p), 0);
}

TEST(Debug, GarbageInListsAndBreakpointCellsIsSkipped) {
    auto p = started();
    p->set_period(2000);
    MemoryHeader& h = *p->block().header();
    // Indexes outside every area, negative ones, and full lists.
    list(h.traceBool, {-1, 1 << 30, TEST_TOGGLE, INT32_MIN, 8});
    list(h.traceInt, {-12, 534, 100000});
    list(h.traceFloat, {18, -1});
    list(h.traceChar, {54, 1 << 29});
    for (auto& e : h.watchBool.entry) vx_store_i32(&e, 9999);
    set_cur(p->i(312), 1000000);  // far more breakpoints than there are cells
    set_cur(p->i(TEST_BP_LOCATION), 99);
    set_cur(p->i(TEST_BP_INSTANCE), 99);
    set_cur(p->b(0), true);
    ASSERT_TRUE(p->step());
    ASSERT_TRUE(p->step());
    set_cur(p->i(312), -5);
    ASSERT_TRUE(p->step());
    ASSERT_EQ(end(*p), 0);
    const auto lines = lines_of(read_file(p->trace_file()));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"2000", "1 B7 0:1", "2 B7 1:0"}));
}

}  // namespace
}  // namespace vx::testing
