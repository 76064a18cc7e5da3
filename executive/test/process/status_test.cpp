// The status protocol and the cycle loop, driven through the status cell.
#include <limits>

#include "fixture.hpp"

namespace vx::testing {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Status, StepAndPauseRunExactlyOneCycleThenStop) {
    auto p = started();
    p->set_period(2000);
    ASSERT_TRUE(p->step());
    EXPECT_EQ(p->counter(), 1);
    EXPECT_EQ(cur(p->i(TEST_PASSES)), 1);

    const std::int32_t before = p->counter();
    p->set_status(PAUSE);
    ASSERT_TRUE(eventually([&] { return p->counter() == before + 1 && prev(p->i(311)) == STOP; }));
    std::this_thread::sleep_for(50ms);  // stays stopped
    EXPECT_EQ(p->counter(), 2);
    EXPECT_EQ(cur(p->i(TEST_PASSES)), 2);

    ASSERT_EQ(end(*p), 0);
    const std::string out = p->out();
    EXPECT_TRUE(contains(out, "Exec status change from STOP to STEP\nExec status change from STEP to STOP\n")) << out;
    EXPECT_TRUE(contains(out, "Exec status change from STOP to PAUSE\nExec status change from PAUSE to STOP\n")) << out;
}

TEST(Status, RunRunsFreelyUntilStopAndEndReportsTheLastReportedStatus) {
    auto p = started();
    p->set_period(2000);
    p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return p->counter() >= 5; }));
    p->set_status(STOP);
    ASSERT_TRUE(eventually([&] { return prev(p->i(311)) == STOP; }));
    const std::int32_t stopped_at = p->counter();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(p->counter(), stopped_at);

    p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return p->counter() > stopped_at + 2; }));
    ASSERT_EQ(end(*p), 0);
    // END is never reported: the program leaves from RUN straight to FREE.
    const std::string out = p->out();
    EXPECT_TRUE(out.ends_with("Exec status change from RUN to FREE\n")) << out;
    EXPECT_EQ(p->status(), FREE);
}

TEST(Status, UnknownValueRunsLikeRunAndIsReportedWithoutAName) {
    auto p = started();
    p->set_period(2000);
    p->set_status(7);
    ASSERT_TRUE(eventually([&] { return p->counter() >= 3; }));
    ASSERT_EQ(end(*p), 0);
    EXPECT_TRUE(contains(p->out(), "Exec status change from STOP to \n")) << p->out();
}

TEST(Status, TimeoutEndsAnUninterruptedStop) {
    const auto t0 = std::chrono::steady_clock::now();
    Program p(test_controller({{"VX_TIMEOUT", "1"}}));
    p.start();
    EXPECT_EQ(p.wait_exit(5s), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_TRUE(p.out().ends_with("Exec status change from FREE to STOP\nExec status change from STOP to FREE\n"))
        << p.out();
}

TEST(Status, NegativeTimeoutEndsAfterTheFirstWait) {
    Program p(test_controller({{"VX_TIMEOUT", "-1"}}));
    p.start();
    EXPECT_EQ(p.wait_exit(3s), 0);
}

TEST(Status, TimeoutsTooLargeToCountAreClampedNotWrapped) {
    // 99999999 s is more 10 ms waits than an int32 holds: it must mean "very
    // long", not a wrapped (negative, immediate) limit.
    auto p = started(test_controller({{"VX_TIMEOUT", "99999999"}}));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(p->running());
    EXPECT_EQ(end(*p), 0);
}

TEST(Status, NonZeroEvolutionResultStopsTheProgramAndIsPublished) {
    auto p = started();
    p->set_period(2000);
    p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return p->counter() >= 2; }));
    set_cur(p->i(TEST_RESULT), 42);
    ASSERT_TRUE(eventually([&] { return p->status() == STOP; }));
    EXPECT_EQ(cur(p->i(516)), 42);  // bpcurrentinstance
    ASSERT_EQ(end(*p), 0);
}

TEST(Status, StatisticsStartAtTheSecondCycle) {
    auto p = started();
    p->set_period(2000);
    ASSERT_TRUE(p->step());
    // The first cycle of the process is not measured.
    EXPECT_EQ(cur(p->f(11)), 0.0f);
    EXPECT_EQ(cur(p->f(12)), 0.0f);
    EXPECT_EQ(cur(p->f(13)), 0.0f);

    set_cur(p->i(TEST_SLEEP_MS), 3);
    set_cur(p->i(TEST_MODIFICATIONS), 0);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(p->step());
    EXPECT_GE(cur(p->f(11)), 3000.0f);  // shortest
    EXPECT_GE(cur(p->f(12)), cur(p->f(11)));
    EXPECT_GE(cur(p->f(13)), 3000.0f);  // mean
    EXPECT_EQ(std::fmod(cur(p->f(12)), 1000.0f), 0.0f);  // whole milliseconds
    EXPECT_EQ(cur(p->f(14)), 0.0f);
    EXPECT_EQ(cur(p->f(15)), 0.0f);
    EXPECT_EQ(cur(p->f(16)), 0.0f);

    set_cur(p->i(TEST_MODIFICATIONS), 4);
    ASSERT_TRUE(p->step());
    EXPECT_EQ(cur(p->f(16)), 4.0f);
    EXPECT_EQ(cur(p->f(15)), 0.0f);
    // Running mean over the counter: (4 x 0 + 4) / 5.
    EXPECT_FLOAT_EQ(cur(p->f(14)), 0.8f);
    ASSERT_EQ(end(*p), 0);
}

TEST(Status, OverrunIsWarnedAndTheScheduleCatchesUp) {
    auto p = started();
    p->set_period(10000);
    set_cur(p->i(TEST_SLEEP_MS), 30);
    ASSERT_TRUE(p->step());
    ASSERT_EQ(end(*p), 0);
    EXPECT_TRUE(contains(p->out(), "Warning: Cycle duration (3")) << p->out();
    EXPECT_TRUE(contains(p->out(), " ms) higher than cycle (10 ms) in step 0\n")) << p->out();
}

TEST(Status, APeriodThatIsNotANumberDoesNotPoisonTheSchedule) {
    auto p = started();
    set_start_value(p->f(10), std::numeric_limits<float>::quiet_NaN());
    p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return p->counter() >= 3; }));
    p->set_period(10000);
    set_cur(p->i(TEST_SLEEP_MS), 30);  // from now on every cycle overruns
    const std::int32_t restored_at = p->counter();
    ASSERT_TRUE(eventually([&] { return p->counter() > restored_at + 3; }));
    ASSERT_EQ(end(*p), 0);
    // Overruns are measured again once the period is a number.
    EXPECT_NE(p->out().find(" ms) higher than cycle (10 ms)"), std::string::npos) << p->out();
}

TEST(Status, CycleCounterWrittenNegativeByAnotherProcessIsSurvived) {
    auto p = started();
    p->set_period(2000);
    ASSERT_TRUE(p->step());
    set_cur(p->i(TEST_COUNTER), -7);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(p->step());
    EXPECT_EQ(p->counter(), -4);
    set_cur(p->i(TEST_COUNTER), INT32_MAX);
    ASSERT_TRUE(p->step());
    EXPECT_EQ(p->counter(), 0);  // wraps to 0
    ASSERT_EQ(end(*p), 0);
}

}  // namespace
}  // namespace vx::testing
