// The named block's lifetime and the start-up failures, seen from outside.
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "fixture.hpp"
#include "vx/executive.hpp"

namespace vx::testing {
namespace {

bool block_exists(const std::string& name) { return std::filesystem::exists("/dev/shm/" + name); }

TEST(Block, TooSmallForTheControllerEndsWithStatusOne) {
    Program p(test_controller({{"VX_MEMORY_SIZE", "27155"}}));
    p.start();
    EXPECT_EQ(p.wait_exit(), 1);
    EXPECT_EQ(p.out(),
              "Allocated memory : 27156 bytes on 27155 bytes\n"
              "insufficient size of shared memory\n");
    EXPECT_FALSE(block_exists(p.block_name()));
}

TEST(Block, SmallerThanItsHeaderIsRefusedTheSameWay) {
    Program p(test_controller({{"VX_MEMORY_SIZE", "100"}}));
    p.start();
    EXPECT_EQ(p.wait_exit(), 1);
    EXPECT_EQ(p.out(), "Allocated memory : 27156 bytes on 100 bytes\ninsufficient size of shared memory\n");
}

TEST(Block, SizeThatIsNotAPositiveNumberFallsBackToTheDefault) {
    for (const char* size : {"abc", "-5", "0", "123456789012345678901234567890"}) {
        auto p = started(test_controller({{"VX_MEMORY_SIZE", size}}));
        EXPECT_EQ(vx_load_i32(&p->block().header()->blockSize), 6000000) << size;
        EXPECT_EQ(end(*p), 0);
    }
}

TEST(Block, NamesThatCannotNameABlockEndWithStatus255) {
    for (const char* name : {"", "a/b"}) {
        ProgramOptions options = test_controller();
        options.block_name = name;
        Program p(options);
        p.start();
        EXPECT_EQ(p.wait_exit(), 255) << name;
        EXPECT_NE(p.err().find("is not valid"), std::string::npos) << p.err();
        EXPECT_EQ(p.out(), "");
    }
}

TEST(Block, TheLastParticipantToLeaveRemovesTheName) {
    auto p = started();
    ASSERT_TRUE(block_exists(p->block_name()));
    ASSERT_EQ(end(*p), 0);
    EXPECT_TRUE(block_exists(p->block_name()));  // we still hold it
    p->detach();
    EXPECT_FALSE(block_exists(p->block_name()));

    Program alone(test_controller({{"VX_TIMEOUT", "-1"}}));
    alone.start();
    ASSERT_EQ(alone.wait_exit(), 0);
    EXPECT_FALSE(block_exists(alone.block_name()));
}

TEST(Block, ABlockLeftByAKilledProgramIsResetNotInherited) {
    ProgramOptions options = test_controller();
    options.block_name = unique_block_name();
    // The first program sets an input from its parameters file, then dies
    // without leaving: nobody removes the name.
    Program first(options);
    write_file(first.params_file(), "2147483647\nB 5 1 input\n");
    first.start();
    ASSERT_TRUE(eventually([&] { return first.out().find("to STOP\n") != std::string::npos; }));
    ::kill(first.pid(), SIGKILL);
    first.wait_exit();
    ASSERT_TRUE(block_exists(*options.block_name));

    Program second(options);
    second.start();
    ASSERT_TRUE(second.attach());
    EXPECT_FALSE(cur(second.b(TEST_INPUT)));  // a fresh block, not the dead program's
    EXPECT_EQ(end(second), 0);
}

TEST(Block, ABlockThatAnotherParticipantHoldsIsSharedAsItIs) {
    const std::string name = unique_block_name();
    std::string error;
    // A simulator creates the block first, smaller than the program wants,
    // and sets an input before the program starts.
    auto simulator = platform::SharedMemory::open(name, 30000, platform::OpenMode::CreateOrAttach, error);
    ASSERT_TRUE(simulator.is_open()) << error;
    auto* header = static_cast<MemoryHeader*>(simulator.address());
    header->reserved[10] = 0x77;
    const auto layout = Layout::from_counts({TEST_BOOL_CELLS, TEST_INT_CELLS, TEST_FLOAT_CELLS, TEST_CHAR_CELLS});
    ASSERT_TRUE(layout);
    BlockView(header, *layout).cell<BoolCell>(TEST_INPUT)->bits = VX_BOOL_CUR;

    ProgramOptions options = test_controller();
    options.block_name = name;
    Program p(options);
    p.start();
    ASSERT_TRUE(p.attach());
    EXPECT_EQ(p.block().header()->reserved[10], 0x77);  // not reset
    EXPECT_TRUE(cur(p.b(TEST_INPUT)));
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/shm/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 6000000);  // grown, never mapped short
    EXPECT_EQ(st.st_mode & 0777, 0600);
    EXPECT_EQ(end(p), 0);
}

TEST(Block, AnyProgramPathIsHandled) {
    // Deep directories: a path longer than 500 characters still names the
    // trace file beside the program.
    ProgramOptions options = test_controller();
    std::string relative;
    for (int k = 0; k < 12; ++k) relative += std::string(60, static_cast<char>('a' + k)) + "/";
    options.name = relative + "ctl.exe";
    auto p = std::make_unique<Program>(options);
    std::filesystem::create_directories(p->dir() + "/" + relative);
    p->start();
    ASSERT_TRUE(p->attach());
    ASSERT_EQ(end(*p), 0);
    EXPECT_TRUE(std::filesystem::exists(p->dir() + "/" + relative + "ctl.trc"));

    // A path too long for any file: no trace, no parameters, but it runs.
    ProgramOptions huge = test_controller();
    huge.name = std::string(5000, 'x');
    Program q(huge);
    q.start();
    ASSERT_TRUE(q.attach());
    ASSERT_EQ(end(q), 0);
    EXPECT_NE(q.err().find("unable to open trace file"), std::string::npos);
}

TEST(SecondController, IsRefusedOnTheBlockOfALiveOne) {
    auto first = started();
    first->set_period(2000);
    first->set_status(RUN);
    ProgramOptions options = test_controller();
    options.block_name = first->block_name();
    Program second(options);
    second.start();
    EXPECT_EQ(second.wait_exit(), 255);
    EXPECT_EQ(second.err(), "shared block \"" + first->block_name() +
                                "\" is in use by the controller program with process id " +
                                std::to_string(first->pid()) + "; a second controller does not start on it\n");
    EXPECT_EQ(second.out(), "");
    // The first one runs on, on its own layout and its own process id.
    const std::int32_t counter = first->counter();
    ASSERT_TRUE(eventually([&] { return first->counter() > counter + 3; }));
    EXPECT_EQ(cur(first->i(first->block().count(CellType::Int) - 3)), first->pid());
    EXPECT_EQ(end(*first), 0);
}

TEST(SecondController, TakesABlockLeftByADeadOneOrHeldByAnotherParticipant) {
    // A controller killed while the test held its block left its process id.
    auto dead = started();
    ::kill(dead->pid(), SIGKILL);
    dead->wait_exit();
    ASSERT_NE(cur(dead->i(dead->block().count(CellType::Int) - 3)), 0);
    // The next one's start-up is seen complete once it has published its
    // signature: the dead one's must not pass for it.
    set_cur(dead->i(521), 0);

    ProgramOptions options = test_controller();
    options.block_name = dead->block_name();
    for (int k = 0; k < 2; ++k) {  // then again, after a clean end
        Program next(options);
        next.start();
        ASSERT_TRUE(next.attach()) << next.err();
        EXPECT_EQ(cur(next.i(next.block().count(CellType::Int) - 3)), next.pid());
        EXPECT_EQ(end(next), 0);
    }
}

}  // namespace
}  // namespace vx::testing
