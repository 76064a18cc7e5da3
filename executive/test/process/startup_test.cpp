// Start-up and shutdown of a controller program, seen from its block and its
// standard output.
#include <cstring>

#include "fixture.hpp"

namespace vx::testing {
namespace {

TEST(Startup, LaysOutTheBlockPublishesItselfAndWaitsInStop) {
    auto p = started();
    const MemoryHeader& h = *p->block().header();
    EXPECT_EQ(vx_load_i32(&h.blockSize), 6000000);
    EXPECT_EQ(h.memBool, TEST_BOOL_CELLS);
    EXPECT_EQ(h.memInt, TEST_INT_CELLS);
    EXPECT_EQ(h.offBool, 20292);
    EXPECT_EQ(h.offInt, 20316);  // 20292 + 8 x 2, rounded up to 12
    EXPECT_EQ(h.offFloat, 20316 + 534 * 12);
    EXPECT_EQ(h.offChar, 20316 + 534 * 12 + 18 * 12);

    EXPECT_EQ(cur(p->i(TEST_PID)), p->pid());
    EXPECT_EQ(p->counter(), 0);
    EXPECT_EQ(cur(p->i(521)), TEST_SIGNATURE);
    EXPECT_EQ(cur(p->i(522)), TEST_GENERATION_TIME);
    EXPECT_EQ(p->status(), STOP);
    EXPECT_EQ(prev(p->i(311)), STOP);
    EXPECT_EQ(cur(p->f(10)), 50000.0f);
    EXPECT_EQ(prev(p->f(10)), 50000.0f);
    EXPECT_TRUE(cur(p->b(3)) && prev(p->b(3)));
    EXPECT_TRUE(cur(p->b(4)) && prev(p->b(4)));
    EXPECT_FALSE(cur(p->b(0)));

    // The task name: capacity 50 in cells 0 and 1, characters from cell 3.
    EXPECT_EQ(cur(p->c(1)), 50);
    std::string name;
    for (int k = 3; cur(p->c(k)) != 0; ++k) name += static_cast<char>(cur(p->c(k)));
    EXPECT_EQ(name, "testctl.exe");

    EXPECT_EQ(end(*p), 0);
    EXPECT_EQ(p->out(),
              "Allocated memory : 27156 bytes on 6000000 bytes\n"
              "minBool=0 min.Int=311 min.Float=10 min.Char=0 max.Bool=8 max.Int=534 max.Float=18 max.Char=54\n"
              "memBool=8 mennt=534 memFloat=18 memChar=54\n"
              "Exec status change from FREE to STOP\n"
              "Exec status change from STOP to FREE\n");
    EXPECT_EQ(p->err(), "can't open file " + p->params_file() + "\n");
}

TEST(Startup, LeavesItsMarksAfterEnd) {
    auto p = started();
    ASSERT_EQ(end(*p), 0);
    EXPECT_EQ(p->status(), FREE);
    EXPECT_EQ(cur(p->i(TEST_PID)), 0);
    EXPECT_EQ(cur(p->i(521)), 0);
}

TEST(Startup, TraceFileStartsWithTheDateLine) {
    auto p = started();
    ASSERT_EQ(end(*p), 0);
    const std::string text = read_file(p->trace_file());
    ASSERT_EQ(text.size(), 25u) << text;  // "Mon Dec  7 05:25:30 2026\n"
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace vx::testing
