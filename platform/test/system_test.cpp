// The clock, sleeping, the process and the environment.
#include "vx/platform/system.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>

namespace vx::platform {
namespace {

// The schedule of a cycle rests on these two: a sleep never ends early, and
// the tick counts whole milliseconds of it.
TEST(Clock, SleepLastsAtLeastItsMillisecondsOnTheTick) {
    const auto start = std::chrono::steady_clock::now();
    const std::uint32_t tick = tick_milliseconds();
    sleep_milliseconds(20);
    const std::uint32_t ticks = tick_milliseconds() - tick;  // modulo 2^32, as the executive reads it
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    EXPECT_GE(ticks, 20u);
    EXPECT_LT(ticks, 5000u);
    const auto zero = std::chrono::steady_clock::now();
    sleep_milliseconds(0);
    EXPECT_LT(std::chrono::steady_clock::now() - zero, std::chrono::seconds(1));
}

// The precise schedule sleeps until absolute deadlines: never before one,
// and not at all for one that has passed.
TEST(Clock, SleepUntilADeadlineEndsAtItAndAPastOneDoesNotSleep) {
    const std::uint64_t deadline = monotonic_nanoseconds() + 20000000u;
    sleep_until_nanoseconds(deadline);
    const std::uint64_t woke = monotonic_nanoseconds();
    EXPECT_GE(woke, deadline);
    EXPECT_LT(woke - deadline, 1000000000u);
    sleep_until_nanoseconds(woke - 1000000u);
    EXPECT_LT(monotonic_nanoseconds() - woke, 50000000u);
}

TEST(Process, IdAndExistence) {
    EXPECT_EQ(process_id(), static_cast<std::int32_t>(::getpid()));
    EXPECT_TRUE(process_exists(process_id()));
    EXPECT_TRUE(process_exists(1));  // init, whoever owns it
    EXPECT_FALSE(process_exists(0));
    EXPECT_FALSE(process_exists(-1));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(process_exists(child));
}

TEST(Environment, SetEmptyAndAbsent) {
    ::setenv("VX_PLATFORM_TEST", "Shared 2", 1);
    EXPECT_EQ(environment("VX_PLATFORM_TEST"), "Shared 2");
    ::setenv("VX_PLATFORM_TEST", "", 1);
    EXPECT_EQ(environment("VX_PLATFORM_TEST"), "");
    ::unsetenv("VX_PLATFORM_TEST");
    EXPECT_EQ(environment("VX_PLATFORM_TEST"), std::nullopt);
}

TEST(LocalTime, CalendarTextLine) {
    const std::regex date(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4,}\n)");
    EXPECT_TRUE(std::regex_match(local_time_text(), date)) << local_time_text();
}

}  // namespace
}  // namespace vx::platform
