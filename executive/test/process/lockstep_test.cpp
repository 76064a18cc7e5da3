// The lockstep handshake as a simulator meets it: the test plays the
// simulator, granting cycles through the sync object beside the block.
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "fixture.hpp"

namespace vx::testing {
namespace {

bool exists_in_shm(const std::string& name) { return std::filesystem::exists("/dev/shm/" + name); }

std::uint32_t done_of(const Program& p) { return std::atomic_ref<std::uint32_t>(p.sync()->done).load(); }

// Grants one cycle as `vxctl sim --fast` does: the grant first, then RUN.
std::uint32_t grant(const Program& p) {
    const std::uint32_t granted = std::atomic_ref<std::uint32_t>(p.sync()->grant).fetch_add(1) + 1;
    if (p.status() != RUN) p.set_status(RUN);
    p.wake();
    return granted;
}

bool granted_and_answered(const Program& p) {
    const std::uint32_t granted = grant(p);
    return eventually([&] { return done_of(p) == granted; }, 3s);
}

// CPU time (user and system) that the process has used, in clock ticks.
long cpu_ticks(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    long ticks = 0;
    for (int k = 1; k <= 15 && in >> field; ++k)
        if (k == 14 || k == 15) ticks += std::stol(field);
    return ticks;
}

struct HandshakeCase {
    const char* name;
    std::map<std::string, std::string> env;  // besides VX_SCHEDULE=lockstep
    std::function<void(Program&)> play;       // the program is attached, in STOP
    bool ends_by_itself;                      // else the test ends it with END
};

class Handshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(Handshake, Case) {
    const HandshakeCase& c = GetParam();
    auto env = c.env;
    env["VX_SCHEDULE"] = "lockstep";
    auto p = started(test_controller(env));
    ASSERT_NE(p->sync(), nullptr) << p->out();
    EXPECT_EQ(p->sync()->programPid, p->pid());
    ASSERT_TRUE(exists_in_shm(p->block_name() + ".sync"));
    c.play(*p);
    if (HasFatalFailure()) return;
    if (!c.ends_by_itself) p->set_status(END);
    EXPECT_EQ(p->wait_exit(3s), 0) << p->out() << p->err();
    p->detach();  // the last to leave: nothing stays behind
    EXPECT_FALSE(exists_in_shm(p->block_name()));
    EXPECT_FALSE(exists_in_shm(p->block_name() + ".sync"));
    EXPECT_EQ(p->out().find("Warning: Cycle duration"), std::string::npos) << p->out();
}

INSTANTIATE_TEST_SUITE_P(
    Table, Handshake,
    ::testing::Values(
        HandshakeCase{"AGrantRunsOneCycleAndHandsBack", {},
                      [](Program& p) {
                          ASSERT_TRUE(granted_and_answered(p));
                          EXPECT_EQ(p.counter(), 1);
                          std::this_thread::sleep_for(50ms);
                          EXPECT_EQ(p.counter(), 1) << "no cycle without a grant";
                          EXPECT_EQ(p.status(), RUN);
                          ASSERT_TRUE(granted_and_answered(p));
                          EXPECT_EQ(p.counter(), 2);
                          EXPECT_EQ(cur(p.i(TEST_PASSES)), 2);
                      },
                      false},
        HandshakeCase{"StatisticsMeasureTheCycleNotThePeriod", {},
                      [](Program& p) {
                          set_cur(p.i(TEST_SLEEP_MS), 2);
                          for (int k = 0; k < 10; ++k) ASSERT_TRUE(granted_and_answered(p));
                          const float mean = cur(p.f(13));
                          EXPECT_GT(mean, 1500.0f);
                          EXPECT_LT(mean, 40000.0f) << "the 50 ms period is not slept";
                      },
                      false},
        HandshakeCase{"AStepNeedsNoGrant", {},
                      [](Program& p) {
                          ASSERT_TRUE(p.step());
                          EXPECT_EQ(p.counter(), 1);
                          EXPECT_EQ(done_of(p), 0u);
                      },
                      false},
        HandshakeCase{"StopHoldsTheProgramWhateverIsGranted", {},
                      [](Program& p) {
                          ASSERT_TRUE(granted_and_answered(p));
                          p.set_status(STOP);
                          p.wake();
                          ASSERT_TRUE(eventually([&] { return prev(p.i(311)) == STOP; }));
                          std::atomic_ref<std::uint32_t>(p.sync()->grant).fetch_add(1);
                          p.wake();
                          std::this_thread::sleep_for(50ms);
                          EXPECT_EQ(p.counter(), 1);
                      },
                      false},
        HandshakeCase{"EndWhileWaitingForAGrant", {},
                      [](Program& p) {
                          ASSERT_TRUE(granted_and_answered(p));
                          p.set_status(END);  // no wake-up: the 10 ms poll finds it
                          EXPECT_EQ(p.wait_exit(1s), 0);
                      },
                      true},
        HandshakeCase{"ASimulatorThatIsGoneIsWaitedForWithoutSpinning", {},
                      [](Program& p) {
                          ASSERT_TRUE(granted_and_answered(p));
                          const long before = cpu_ticks(p.pid());
                          std::this_thread::sleep_for(400ms);
                          EXPECT_EQ(p.counter(), 1);
                          EXPECT_LT(cpu_ticks(p.pid()) - before, 10) << "40 % of a core would be spinning";
                          EXPECT_EQ(p.status(), RUN);
                      },
                      false},
        HandshakeCase{"TimeoutWhileWaitingForAGrant", {{"VX_TIMEOUT", "1"}},
                      [](Program& p) {
                          ASSERT_TRUE(granted_and_answered(p));
                          const auto since = std::chrono::steady_clock::now();
                          EXPECT_EQ(p.wait_exit(3s), 0);
                          EXPECT_GT(std::chrono::steady_clock::now() - since, 900ms);
                      },
                      true},
        HandshakeCase{"ASignalWhileWaitingForAGrant", {},
                      [](Program& p) {
                          ASSERT_TRUE(granted_and_answered(p));
                          ::kill(p.pid(), SIGTERM);
                          EXPECT_EQ(p.wait_exit(1s), 0);
                      },
                      true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LockstepChoice, OtherSchedulesHaveNoSyncObject) {
    for (const char* mode : {"default", "precise"}) {
        auto p = started(test_controller({{"VX_SCHEDULE", mode}}));
        EXPECT_EQ(p->sync(), nullptr);
        EXPECT_FALSE(exists_in_shm(p->block_name() + ".sync"));
        EXPECT_EQ(end(*p), 0);
    }
}

}  // namespace
}  // namespace vx::testing
