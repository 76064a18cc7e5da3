// Status reports, the watch list, breakpoint checks and debug reports. A
// breakpoint that holds keeps the program inside its cycle until another
// process changes the status; here a second thread plays that process.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "support.hpp"
#include "vx/testing/program.hpp"

namespace vx::unit {
namespace {

using namespace std::chrono_literals;

TEST(StatusReport, NamesTheOldAndTheNewStatus) {
    struct Row {
        std::int32_t prev, cur;
        const char* report;
    };
    constexpr Row kRows[] = {
        {FREE, STOP, "Exec status change from FREE to STOP\n"},
        {STOP, RUN, "Exec status change from STOP to RUN\n"},
        {RUN, STEP, "Exec status change from RUN to STEP\n"},
        {STEP, END, "Exec status change from STEP to END\n"},
        {END, PAUSE, "Exec status change from END to PAUSE\n"},
        {PAUSE, FREE, "Exec status change from PAUSE to FREE\n"},
        {STOP, 7, "Exec status change from STOP to \n"},
        {6, RUN, "Exec status change from  to RUN\n"},
        {-1, INT32_MIN, "Exec status change from  to \n"},
        {STOP, STOP, ""},
        {7, 7, ""},
    };
    for (const auto& r : kRows) {
        IntCell status{r.cur, r.prev, 0, {}};
        EXPECT_EQ(stdout_of([&] { VX_manage_exec_status(&status); }), r.report) << r.prev << " " << r.cur;
        EXPECT_EQ(prev(status), r.cur);
        EXPECT_EQ(cur(status), r.cur);
    }
}

TEST(StatusReport, HookReportsEvenWithoutAChange) {
    IntCell status{RUN, RUN, 0, {}};
    EXPECT_EQ(stdout_of([&] { VX_hook(&status); }), "Exec status change from RUN to RUN\n");
    EXPECT_EQ(stdout_of([] {
                  VX_hook(nullptr);
                  VX_manage_exec_status(nullptr);
              }),
              "");
}

class Breakpoints : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        set_start_value(i(311), RUN);
        set_cur(i(520), 0);
    }
    void TearDown() override {
        if (releaser.joinable()) releaser.join();
        ControllerTest::TearDown();
    }
    void list(int k, std::int32_t location, std::int32_t instance) {
        set_cur(i(312 + k), location);
        set_cur(i(414 + k), instance);
        if (cur(i(312)) < k) set_cur(i(312), k);
    }
    std::int32_t status() { return cur(i(311)); }
    // Changes the status to `to` once the program holds at a breakpoint with
    // `instance` published and its PAUSE reported, as the debugger does.
    void release_with(std::int32_t instance, std::int32_t to) {
        held = false;
        releaser = std::thread([&status_cell = i(311), &instance_cell = i(516), this, instance, to] {
            held = testing::eventually(
                [&] { return cur(instance_cell) == instance && cur(status_cell) == PAUSE && prev(status_cell) == PAUSE; },
                5s);
            set_cur(status_cell, held ? to : STOP);
        });
    }
    // Runs `check`, released by another thread; what it reported.
    template <class F> std::string held_in(F&& check) {
        std::string out = stdout_of(check);
        releaser.join();
        return out;
    }
    std::thread releaser;
    std::atomic<bool> held{false};
};

TEST_F(Breakpoints, CheckOfAnUnlistedPairRecordsTheLocationAndGoesOn) {
    list(1, 10, 2);
    set_cur(i(516), 99);
    EXPECT_EQ(breakpoint_st(10, 3), 1);
    EXPECT_EQ(breakpoint_st(11, 2), 1);
    EXPECT_EQ(status(), RUN);
    EXPECT_EQ(cur(i(517)), 11);
    EXPECT_EQ(cur(i(516)), 0);
}

TEST_F(Breakpoints, NothingIsRecordedOnceTheStatusIsEnd) {
    list(1, 10, 2);
    set_cur(i(311), END);
    set_cur(i(517), 5);
    EXPECT_EQ(breakpoint_st(10, 2), 1);
    EXPECT_EQ(status(), END);
    EXPECT_EQ(cur(i(517)), 5);
}

// Cell 312 is written by the debugger: whatever it holds, at most 101 pairs
// are compared, and only pairs inside the int area.
TEST_F(Breakpoints, PairCountIsKeptWithinItsCells) {
    set_cur(i(312 + 102), 10);  // pair 102 would be location 414 ...
    set_cur(i(414 + 102), 2);   // ... and instance 516
    for (std::int32_t n : {-1, INT32_MIN, 1000000, INT32_MAX}) {
        set_cur(i(312), n);
        set_cur(i(516), 2);
        EXPECT_EQ(breakpoint_st(10, 2), 1) << n;
        EXPECT_EQ(status(), RUN) << n;
    }
}

TEST_F(Breakpoints, ListedPairHoldsUntilTheStatusChanges) {
    list(1, 10, 2);
    list(101, 30, 4);  // the last pair there is room for
    for (const auto& [location, instance] : {std::pair{10, 2}, std::pair{30, 4}}) {
        set_start_value(i(311), RUN);
        release_with(instance, RUN);
        EXPECT_EQ(held_in([&] { EXPECT_EQ(breakpoint_st(location, instance), 1); }),
                  "Exec status change from RUN to PAUSE\n");
        EXPECT_TRUE(held);
        EXPECT_EQ(status(), RUN);
        EXPECT_EQ(cur(i(516)), 0);
        EXPECT_EQ(cur(i(517)), location);
    }
}

// STEP written during a hold lets the program run to the next check, where
// it holds again, whether or not that pair is listed. The program overwrites
// STEP before it could be reported.
TEST_F(Breakpoints, StepDuringAHoldRunsToTheNextCheck) {
    list(1, 10, 2);
    release_with(2, STEP);
    held_in([&] { breakpoint_st(10, 2); });
    EXPECT_EQ(status(), PAUSE);
    release_with(60, STOP);
    EXPECT_EQ(held_in([&] { breakpoint_st(50, 60); }), "");
    EXPECT_TRUE(held);
    EXPECT_EQ(status(), STOP);
}

TEST_F(Breakpoints, ReportOfAnotherTypeRecordsItAndTheInstanceNumber) {
    self_num = 42;
    EXPECT_EQ(raise_debug_break(7, 77, 3, 9), 1);
    EXPECT_EQ(cur(i(517)), 7);
    EXPECT_EQ(cur(i(518)), 77);
    EXPECT_EQ(cur(i(519)), 3);
    EXPECT_EQ(cur(i(520)), 9);
    EXPECT_EQ(cur(i(516)), 42);
    EXPECT_EQ(status(), RUN);
}

// Type 8 is a breakpoint check with the rank as the instance.
TEST_F(Breakpoints, ReportOfTypeEightIsABreakpointCheck) {
    EXPECT_EQ(raise_debug_break(7, 77, VX_REPORT_BREAKPOINT_CHECK, 9), 1);
    EXPECT_EQ((std::vector<std::int32_t>{cur(i(516)), cur(i(517)), cur(i(518)), cur(i(519)), cur(i(520))}),
              (std::vector<std::int32_t>{0, 7, 77, 8, 9}));
    EXPECT_EQ(status(), RUN);
    list(1, 7, 9);
    release_with(9, FREE);
    held_in([&] { EXPECT_EQ(raise_debug_break(7, 77, VX_REPORT_BREAKPOINT_CHECK, 9), 1); });
    EXPECT_TRUE(held);
    EXPECT_EQ(status(), FREE);
}

TEST_F(Breakpoints, EvolutionCallsTheCheckAtItsLocation) {
    list(1, 10, 2);
    set_cur(i(TEST_BP_LOCATION), 10);
    set_cur(i(TEST_BP_INSTANCE), 2);
    release_with(2, RUN);
    held_in([&] { ctl().evolve(); });
    EXPECT_TRUE(held);
    EXPECT_EQ(cur(i(517)), 10);
}

// ---- Watch list ----

TEST_F(Breakpoints, WatchedBoolThatChangedStopsTheProgram) {
    MemoryHeader& h = *header();
    const std::int32_t entries[] = {TEST_BOOL_CELLS, -1, 6, 5};
    std::memcpy(h.watchBool.entry, entries, sizeof entries);
    set_cur(b(7), true);  // changed, not watched
    VX_manage_breakpoints(&h);
    EXPECT_EQ(status(), RUN);
    set_cur(b(5), true);
    VX_manage_breakpoints(&h);
    EXPECT_EQ(status(), STOP);
}

}  // namespace
}  // namespace vx::unit
