// Ctrl-C, SIGTERM and SIGHUP end a program the way END does.
#include <csignal>
#include <filesystem>
#include <fstream>

#include "fixture.hpp"

namespace vx::testing {
namespace {

bool block_exists(const std::string& name) { return std::filesystem::exists("/dev/shm/" + name); }

// The int cell `index` read through `file`, an open descriptor of the block:
// it stays readable after the last participant has removed the name.
std::int32_t int_cur_in(std::ifstream& file, const Program& p, std::int32_t index) {
    const auto& layout = p.block().layout();
    IntCell cell{};
    file.seekg(static_cast<std::streamoff>(layout.offset[1] + sizeof cell * static_cast<std::size_t>(index)));
    file.read(reinterpret_cast<char*>(&cell), sizeof cell);
    return cell.cur;
}

struct SignalCase {
    int signal;
    std::int32_t status;  // where the signal finds the program
    float period;         // long: the signal must not wait for the sleep
    const char* report;   // the last line the program writes
};

class EndingSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(EndingSignal, EndsLikeEnd) {
    const SignalCase c = GetParam();
    auto p = started();
    const std::int32_t pid_cell = p->block().count(CellType::Int) - 3;
    p->set_period(c.period);
    set_start_value(p->b(0), true);  // trace on, so that the file has something to close
    p->set_status(c.status);
    ASSERT_TRUE(eventually([&] { return prev(p->i(311)) == c.status && (c.status != RUN || p->counter() >= 1); }));
    std::this_thread::sleep_for(20ms);  // into the sleep or the stop poll

    std::ifstream bytes("/dev/shm/" + p->block_name(), std::ios::binary);
    p->detach();
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(p->pid(), c.signal), 0);
    EXPECT_EQ(p->wait_exit(3s), 0) << p->out() << p->err();
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 1s);

    EXPECT_TRUE(p->out().ends_with(c.report)) << p->out();
    EXPECT_EQ(int_cur_in(bytes, *p, pid_cell), 0);  // process id cleared
    EXPECT_EQ(int_cur_in(bytes, *p, 521), 0);       // signature cleared
    EXPECT_EQ(int_cur_in(bytes, *p, 311), FREE);
    EXPECT_FALSE(block_exists(p->block_name()));  // released, and it was the last
    if (c.status == RUN) {  // the trace file was flushed and closed with the cycle's period line
        EXPECT_NE(read_file(p->trace_file()).find("\n10000000\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, EndingSignal,
    ::testing::Values(SignalCase{SIGINT, RUN, 10000000.0f, "Exec status change from RUN to FREE\n"},
                      SignalCase{SIGTERM, RUN, 10000000.0f, "Exec status change from RUN to FREE\n"},
                      SignalCase{SIGHUP, RUN, 10000000.0f, "Exec status change from RUN to FREE\n"},
                      SignalCase{SIGTERM, STOP, 10000000.0f, "Exec status change from STOP to FREE\n"}),
    [](const ::testing::TestParamInfo<SignalCase>& param_info) {
        return std::string(sigabbrev_np(param_info.param.signal)) + (param_info.param.status == RUN ? "_in_RUN" : "_in_STOP");
    });

TEST(EndingSignalTwice, EndsAtOnceWhileTheFirstIsStillPending) {
    auto p = started();
    set_cur(p->i(TEST_SLEEP_MS), -5000);  // an evolution that computes for 5 s
    p->set_status(RUN);
    ASSERT_TRUE(eventually([&] { return prev(p->i(311)) == RUN; }));
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(::kill(p->pid(), SIGINT), 0);
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(::kill(p->pid(), SIGINT), 0);
    EXPECT_EQ(p->wait_exit(2s), 128 + SIGINT);
}

}  // namespace
}  // namespace vx::testing
