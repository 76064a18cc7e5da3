// The executive's pieces that stand on their own: file names, VX_TIMEOUT,
// the statistics ring and the cycle counter, the statistics themselves and
// the layout of a block at start-up.
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support.hpp"
#include "vx/executive.hpp"
#include "vx/runtime.hpp"

namespace vx::unit {
namespace {

TEST(FileNames, FromTheProgramsPath) {
    struct Row {
        std::string path, trace, parameters;
    };
    const std::string long_dir(5000, 'd');
    const Row kRows[] = {
        {"/opt/vx/tarvo.exe", "/opt/vx/tarvo.trc", "/opt/vx/tarvo_params.txt"},
        {"/opt/vx/tarvo", "/opt/vx/tarvo.trc", "/opt/vx/tarvo_params.txt"},
        {"tarvo.c", "tarvo.c.trc", "tarvo.c_params.txt"},
        {"a.b.exe", "a.b.trc", "a.b_params.txt"},
        {".exe", ".trc", "_params.txt"},
        {"abc", "abc.trc", "abc_params.txt"},
        {"a", "a.trc", "a_params.txt"},
        {"", ".trc", "_params.txt"},
        {"./ab", "./ab.trc", "./ab_params.txt"},  // the dot belongs to a directory
        {"x.y/ab", "x.y/ab.trc", "x.y/ab_params.txt"},
        {"/" + long_dir + "/ctl.exe", "/" + long_dir + "/ctl.trc", "/" + long_dir + "/ctl_params.txt"},
        {"/" + long_dir + "/ctl", "/" + long_dir + "/ctl.trc", "/" + long_dir + "/ctl_params.txt"},
    };
    for (const auto& r : kRows) {
        const FileNames names = derive_file_names(r.path);
        EXPECT_EQ(names.trace, r.trace) << r.path.substr(0, 40);
        EXPECT_EQ(names.parameters, r.parameters) << r.path.substr(0, 40);
    }
}

TEST(Timeout, WaitsOfTenMillisecondsFromVxTimeout) {
    struct Row {
        std::optional<std::string> value;
        std::int32_t waits;
    };
    const Row kRows[] = {
        {std::nullopt, 0},
        {"3", 300},
        {" 3", 300},
        {"3s", 300},
        {"0", 0},
        {"-1", -100},          // ends after the first wait
        {"abc", 0},
        {"", 0},
        {"21474836", 2147483600},
        {"21474837", INT32_MAX},  // its waits would overflow: clamped
        {"999999999", INT32_MAX},
        {"-99999999", INT32_MIN},
        {"1234567890", 0},        // over 9 characters: no meaning
        {"000000003", 300},
    };
    for (const auto& r : kRows) EXPECT_EQ(timeout_waits(r.value), r.waits) << r.value.value_or("(absent)");
}

TEST(CycleCounter, RingSlotAndSuccessor) {
    struct Row {
        std::int32_t counter, slot, next;
    };
    constexpr Row kRows[] = {
        {0, 0, 1},          {41, 41, 42},   {199, 99, 200},          {-1, 99, 0},
        {-100, 0, -99},     {-101, 99, -100}, {INT32_MAX, 47, 0}, {INT32_MIN, 52, INT32_MIN + 1},
    };
    for (const auto& r : kRows) {
        EXPECT_EQ(ring_slot(r.counter), r.slot) << r.counter;
        EXPECT_EQ(next_cycle(r.counter), r.next) << r.counter;
    }
}

// The statistics write the float control cells of the block.
class Statistics : public ControllerTest {
protected:
    float real() { return cur(f(13)); }
    float shortest() { return cur(f(11)); }
    float longest() { return cur(f(12)); }
    std::vector<float> modifications() { return {cur(f(14)), cur(f(15)), cur(f(16))}; }
    CycleStatistics stats;
};

TEST_F(Statistics, FirstCycleIsNotMeasured) {
    for (int k = 11; k <= 16; ++k) set_cur(f(k), -1.0f);
    stats.record(7000, 0, 3);
    for (int k = 11; k <= 16; ++k) EXPECT_EQ(cur(f(k)), -1.0f) << "float cell " << k;
}

TEST_F(Statistics, MeanOfTheRingShortestAndLongest) {
    stats.record(99000, 0, 0);
    stats.record(1000, 1, 0);
    EXPECT_EQ(real(), 1000.0f);
    EXPECT_EQ(shortest(), 1000.0f);
    EXPECT_EQ(longest(), 1000.0f);
    stats.record(3000, 2, 0);
    EXPECT_EQ(real(), 2000.0f);
    EXPECT_EQ(shortest(), 1000.0f);
    EXPECT_EQ(longest(), 3000.0f);
    EXPECT_EQ(modifications(), (std::vector<float>{0, 0, 0}));
}

// After 100 measured cycles the mean is that of the last 100: each new
// duration takes the place of the one 100 cycles before it.
TEST_F(Statistics, MeanCoversTheLastHundredCycles) {
    stats.record(0, 0, 0);
    for (std::int32_t c = 1; c <= 100; ++c) stats.record(1000, c, 0);
    EXPECT_EQ(real(), 1000.0f);
    for (std::int32_t c = 101; c <= 150; ++c) stats.record(3000, c, 0);
    EXPECT_EQ(real(), 2000.0f);
    for (std::int32_t c = 151; c <= 200; ++c) stats.record(3000, c, 0);
    EXPECT_EQ(real(), 3000.0f);
}

TEST_F(Statistics, ShortestAndLongestStartFromWhatTheBlockHolds) {
    set_cur(f(11), 500.0f);
    set_cur(f(12), 9e6f);
    stats.record(0, 0, 0);
    stats.record(2000, 1, 0);
    EXPECT_EQ(shortest(), 500.0f);
    EXPECT_EQ(longest(), 9e6f);
}

TEST_F(Statistics, StateModificationsMeanMinimumAndMaximum) {
    for (int k = 14; k <= 16; ++k) set_cur(f(k), 55.0f);  // left by an earlier run
    stats.record(0, 0, 9);
    stats.record(1000, 1, 4);  // the first measured cycle starts them afresh
    EXPECT_EQ(modifications(), (std::vector<float>{2, 4, 4}));  // (1 x 0 + 4) / 2
    stats.record(1000, 2, 10);
    EXPECT_EQ(modifications(), (std::vector<float>{(2 * 2 + 10) / 3.0f, 4, 10}));
    stats.record(1000, 3, 1);
    EXPECT_EQ(modifications()[1], 1.0f);
}

// The cycle counter and the duration come from other processes and from the
// clock: extreme values must give finite statistics without undefined
// behaviour.
TEST_F(Statistics, ExtremeDurationsAndCountersStayFinite) {
    stats.record(0, 0, 0);
    stats.record(UINT32_MAX, 5, 0);
    EXPECT_EQ(longest(), 4294967296.0f);
    EXPECT_EQ(real(), static_cast<float>(INT32_MAX));
    for (std::int32_t counter : {-1, INT32_MIN, INT32_MAX, -2}) {
        stats.record(1000, counter, 0);
        for (float v : modifications()) EXPECT_TRUE(std::isfinite(v)) << "counter " << counter;
        EXPECT_TRUE(std::isfinite(real())) << "counter " << counter;
    }
}

// ---- The block at start-up ----

struct Block {
    std::vector<std::uint8_t> bytes;
    explicit Block(std::size_t size) : bytes(std::max(size, sizeof(MemoryHeader))) {}
    MemoryHeader* header() { return reinterpret_cast<MemoryHeader*>(bytes.data()); }
};

TEST(LayOutBlock, RefusesABlockTooSmallBeforeWritingTheHeader) {
    struct Row {
        std::size_t size;
        VX_Sizes counts;
        const char* out;
    };
    const Row kRows[] = {
        {27235, {44, 536, 17, 53}, "Allocated memory : 27236 bytes on 27235 bytes\ninsufficient size of shared memory\n"},
        {100, {0, 0, 0, 0}, "Allocated memory : 20292 bytes on 100 bytes\ninsufficient size of shared memory\n"},
        {6000000, {-1, 536, 17, 53}, "Allocated memory : 0 bytes on 6000000 bytes\ninsufficient size of shared memory\n"},
        {6000000, {0, 0, 0, INT32_MAX}, "Allocated memory : 0 bytes on 6000000 bytes\ninsufficient size of shared memory\n"},
    };
    for (const auto& r : kRows) {
        Block block(r.size);
        const auto before = block.bytes;
        bool laid_out = true;
        EXPECT_EQ(stdout_of([&] { laid_out = lay_out_block(block.header(), r.size, r.counts); }), r.out);
        EXPECT_FALSE(laid_out);
        EXPECT_EQ(block.bytes, before);
        EXPECT_FALSE(executive_block());
    }
}

TEST(LayOutBlock, OverwritesWhatAnEarlierRunLeftInTheHeader) {
    Block block(27236);
    for (std::size_t k = 20260; k < sizeof(MemoryHeader); ++k) block.bytes[k] = 0xEE;
    bool laid_out = false;
    EXPECT_EQ(stdout_of([&] { laid_out = lay_out_block(block.header(), 27236, {44, 536, 17, 53}); }),
              "Allocated memory : 27236 bytes on 27236 bytes\n");
    ASSERT_TRUE(laid_out);
    const MemoryHeader& h = *block.header();
    EXPECT_EQ((std::vector<std::int32_t>{h.memBool, h.memInt, h.memFloat, h.memChar, h.offBool, h.offInt, h.offFloat,
                                         h.offChar}),
              (std::vector<std::int32_t>{44, 536, 17, 53, 20292, 20388, 26820, 27024}));
    EXPECT_EQ(executive_block().header(), block.header());
    uninstall_block();
}

// A controller whose int area cannot hold the control cells is refused
// instead of having them bound outside its block.
TEST(StartController, RefusesTooFewCellsForTheControlVariables) {
    Block block(1 << 16);
    memorySizeInit(&minSize, &maxSize, &memSize);
    memSize.intCells = 400;
    bool started = true;
    std::string err;
    stdout_of([&] { err = stderr_of([&] { started = start_controller(block.header(), block.bytes.size(), {}); }); });
    EXPECT_FALSE(started);
    EXPECT_EQ(err, "the controller declares too few cells for the runtime's control variables\n");
    uninstall_block();
    memHeader = nullptr;
    mem = VX_Areas{};
}

}  // namespace
}  // namespace vx::unit
