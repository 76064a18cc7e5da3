// The cycle schedule keeps its period over time, whole or fractional, in
// both schedule modes.
#include "fixture.hpp"

namespace vx::testing {
namespace {

struct ScheduleCase {
    const char* mode;  // VX_SCHEDULE
    float period;      // microseconds
};

class Schedule : public ::testing::TestWithParam<ScheduleCase> {};

// The time at which the cycle counter next changes, and its new value.
std::pair<std::chrono::steady_clock::time_point, std::int32_t> next_cycle_start(const Program& p) {
    const std::int32_t before = p.counter();
    EXPECT_TRUE(eventually([&] { return p.counter() != before; }));
    return {std::chrono::steady_clock::now(), p.counter()};
}

TEST_P(Schedule, MeanPeriodWithinOnePercent) {
    const auto [mode, period] = GetParam();
    auto p = started(test_controller({{"VX_SCHEDULE", mode}}));
    p->set_period(period);
    p->set_status(RUN);
    const auto [t0, c0] = next_cycle_start(*p);
    std::this_thread::sleep_for(2500ms);
    const auto [t1, c1] = next_cycle_start(*p);
    const double elapsed = std::chrono::duration<double, std::micro>(t1 - t0).count();
    const double mean = elapsed / (c1 - c0);
    EXPECT_NEAR(mean, period, period * 0.01) << c1 - c0 << " cycles in " << elapsed << " us";
    EXPECT_EQ(end(*p), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, Schedule,
                         ::testing::Values(ScheduleCase{"default", 12500.0f}, ScheduleCase{"default", 500.0f},
                                           ScheduleCase{"precise", 12500.0f}, ScheduleCase{"precise", 500.0f},
                                           ScheduleCase{"precise", 10000.0f}),
                         [](const ::testing::TestParamInfo<ScheduleCase>& param_info) {
                             return std::string(param_info.param.mode) + "_" +
                                    std::to_string(static_cast<int>(param_info.param.period)) + "us";
                         });

TEST(ScheduleChoice, AnUnknownModeIsSaidAndTheDefaultRuns) {
    auto p = started(test_controller({{"VX_SCHEDULE", "fast"}, {"VX_REALTIME", "0"}}));
    EXPECT_EQ(end(*p), 0);
    EXPECT_NE(p->out().find("VX_SCHEDULE=fast is not a schedule (precise, lockstep or default); using the default\n"),
              std::string::npos)
        << p->out();
}

TEST(ScheduleChoice, RealtimeIsTakenOrItsRefusalSaidAndTheProgramRunsAnyway) {
    auto p = started(test_controller({{"VX_SCHEDULE", "precise"}, {"VX_REALTIME", "1"}}));
    p->set_period(2000);
    ASSERT_TRUE(p->step());
    EXPECT_EQ(end(*p), 0);
    const std::string out = p->out();
    const auto refusal = out.find("VX_REALTIME: ");
    if (refusal != std::string::npos) {
        EXPECT_NE(out.find("; running without it\n", refusal), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace vx::testing
