// The named block's lifetime: a block lives while some participant holds it;
// the first opener of a block nobody holds gets it zero-filled, and the last
// one to leave removes the name. Every test uses names of its own and removes
// whatever it leaves.
#include "vx/platform/shared_memory.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace vx::platform {
namespace {

constexpr std::size_t kSize = 65536;

class NamedBlock : public ::testing::Test {
protected:
    ~NamedBlock() override { ::shm_unlink(("/" + name).c_str()); }

    static std::string unique_name() {
        static int serial = 0;
        return "vxp" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
    }
    SharedMemory open(OpenMode mode, std::size_t size = kSize) {
        error.clear();
        return SharedMemory::open(name, size, mode, error);
    }
    bool name_exists() const {
        struct stat st {};
        return ::stat(("/dev/shm/" + name).c_str(), &st) == 0;
    }
    off_t object_size() const {
        struct stat st {};
        return ::stat(("/dev/shm/" + name).c_str(), &st) == 0 ? st.st_size : -1;
    }
    // A participant that opens the block, writes `fill` into all of it and
    // ends without leaving (as when it is killed).
    void left_behind(std::size_t size, std::uint8_t fill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string child_error;
            auto block = SharedMemory::open(name, size, OpenMode::CreateOrAttach, child_error);
            if (block.is_open()) std::fill_n(bytes(block), size, fill);
            ::_exit(block.is_open() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_TRUE(name_exists());
    }
    static std::uint8_t* bytes(const SharedMemory& block) { return static_cast<std::uint8_t*>(block.address()); }
    static bool all(const SharedMemory& block, std::size_t from, std::size_t to, std::uint8_t value) {
        return std::all_of(bytes(block) + from, bytes(block) + to, [value](std::uint8_t b) { return b == value; });
    }

    std::string name = unique_name();
    std::string error;
};

TEST_F(NamedBlock, NewBlockIsSizedZeroFilledAndPrivateToItsUser) {
    const auto block = open(OpenMode::CreateOrAttach);
    ASSERT_TRUE(block.is_open()) << error;
    EXPECT_TRUE(block.created());
    EXPECT_EQ(block.size(), kSize);
    EXPECT_EQ(block.name(), name);
    EXPECT_TRUE(all(block, 0, kSize, 0));
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/shm/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, static_cast<off_t>(kSize));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(NamedBlock, SecondOpenerSharesTheBlockAsItIs) {
    const auto first = open(OpenMode::CreateOrAttach);
    ASSERT_TRUE(first.is_open()) << error;
    bytes(first)[0] = 0xAB;
    bytes(first)[kSize - 1] = 0xCD;
    for (const auto mode : {OpenMode::CreateOrAttach, OpenMode::AttachOnly}) {
        const auto second = open(mode);
        ASSERT_TRUE(second.is_open()) << error;
        EXPECT_FALSE(second.created());
        EXPECT_NE(second.address(), first.address());
        EXPECT_EQ(bytes(second)[0], 0xAB);
        EXPECT_EQ(bytes(second)[kSize - 1], 0xCD);
        bytes(second)[100] += 1;
    }
    EXPECT_EQ(bytes(first)[100], 2);
}

TEST_F(NamedBlock, OnlyTheLastLeaverRemovesTheName) {
    auto first = open(OpenMode::CreateOrAttach);
    auto second = open(OpenMode::AttachOnly);
    ASSERT_TRUE(first.is_open() && second.is_open()) << error;
    first.leave();
    EXPECT_TRUE(name_exists());
    bytes(first)[7] = 1;  // the mapping stays after leaving
    EXPECT_EQ(bytes(second)[7], 1);
    second = SharedMemory();  // leaving by going away
    EXPECT_FALSE(name_exists());
    first.leave();  // leaving twice changes nothing
}

// A participant that ended without leaving does not hold the block any
// more: the next opener that may create finds it held by nobody and resets it
// (growing it as asked), while a tool that only attaches sees what is left.
TEST_F(NamedBlock, BlockLeftBehindIsResetByTheNextCreatorOnly) {
    left_behind(4096, 0x5A);
    {
        const auto tool = open(OpenMode::AttachOnly, 0);
        ASSERT_TRUE(tool.is_open()) << error;
        EXPECT_FALSE(tool.created());
        EXPECT_EQ(tool.size(), 4096u);
        EXPECT_TRUE(all(tool, 0, 4096, 0x5A));
    }
    left_behind(4096, 0x5A);
    const auto block = open(OpenMode::CreateOrAttach);
    ASSERT_TRUE(block.is_open()) << error;
    EXPECT_TRUE(block.created());
    EXPECT_EQ(object_size(), static_cast<off_t>(kSize));
    EXPECT_TRUE(all(block, 0, kSize, 0));
}

// A block that somebody holds is never reset; if it is smaller than asked,
// it is grown rather than mapped short.
TEST_F(NamedBlock, HeldSmallerBlockIsGrownAndKeepsItsContent) {
    left_behind(4096, 0x5A);
    const auto holder = open(OpenMode::AttachOnly, 0);
    ASSERT_TRUE(holder.is_open()) << error;
    const auto block = open(OpenMode::CreateOrAttach);
    ASSERT_TRUE(block.is_open()) << error;
    EXPECT_FALSE(block.created());
    EXPECT_EQ(block.size(), kSize);
    EXPECT_EQ(object_size(), static_cast<off_t>(kSize));
    EXPECT_TRUE(all(block, 0, 4096, 0x5A));
    EXPECT_TRUE(all(block, 4096, kSize, 0));
    const auto part = open(OpenMode::AttachOnly, 100);
    EXPECT_EQ(part.size(), 100u);
}

TEST_F(NamedBlock, AttachingToAMissingBlockFailsAndCreatesNothing) {
    const auto block = open(OpenMode::AttachOnly, 0);
    EXPECT_FALSE(block.is_open());
    EXPECT_NE(error.find(name), std::string::npos) << error;
    EXPECT_FALSE(name_exists());
}

TEST_F(NamedBlock, InvalidNamesAndSizesAreRefusedWithAMessage) {
    EXPECT_TRUE(valid_block_name(std::string(29, 'n')));
    for (const std::string& bad : {std::string(), std::string("a/b"), std::string("/Shared"), std::string(30, 'n'),
                                  std::string("a\0b", 3)}) {
        EXPECT_FALSE(valid_block_name(bad));
        for (const auto mode : {OpenMode::CreateOrAttach, OpenMode::AttachOnly}) {
            std::string message;
            EXPECT_FALSE(SharedMemory::open(bad, kSize, mode, message).is_open());
            EXPECT_FALSE(message.empty()) << '"' << bad << '"';
        }
    }
    for (const std::size_t size : {std::size_t{0}, std::size_t{1} << 40}) {
        EXPECT_FALSE(open(OpenMode::CreateOrAttach, size).is_open());
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(name_exists());
    }
}

}  // namespace
}  // namespace vx::platform
