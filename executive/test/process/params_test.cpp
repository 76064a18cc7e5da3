// The parameters file beside the program: start values that override the
// generated ones, tied to the controller's build by its signature.
#include "fixture.hpp"

namespace vx::testing {
namespace {

std::unique_ptr<Program> started_with_params(const std::string& text) {
    auto p = std::make_unique<Program>(test_controller());
    write_file(p->params_file(), text);
    p->start();
    EXPECT_TRUE(p->attach()) << p->out() << p->err();
    return p;
}

TEST(Params, LinesOverrideTheStartValuesInCurAndPrev) {
    auto p = started_with_params(
        "2147483647\n"
        "B 5 3 input\n"           // only bit 0 counts: TRUE
        "B 7 2 toggle\n"          // FALSE
        "I 528 -17 modifications\n"
        "F 10 20000.5 period\n"   // overrides the generated period
        "C 53 321 char\n"         // low 8 bits: 65
        "I 311 2 status\n");      // the start status is set after the file
    EXPECT_TRUE(cur(p->b(TEST_INPUT)) && prev(p->b(TEST_INPUT)));
    EXPECT_FALSE(cur(p->b(TEST_TOGGLE)) || prev(p->b(TEST_TOGGLE)));
    EXPECT_EQ(cur(p->i(TEST_MODIFICATIONS)), -17);
    EXPECT_EQ(prev(p->i(TEST_MODIFICATIONS)), -17);
    EXPECT_EQ(cur(p->f(10)), 20000.5f);
    EXPECT_EQ(prev(p->f(10)), 20000.5f);
    EXPECT_EQ(cur(p->c(TEST_CHAR_OUT)), 65);
    EXPECT_EQ(prev(p->c(TEST_CHAR_OUT)), 65);
    EXPECT_EQ(p->status(), STOP);
    ASSERT_EQ(end(*p), 0);
    EXPECT_EQ(p->err(), "");
}

TEST(Params, ABadSignatureRefusesTheWholeFile) {
    auto p = started_with_params("12345\nI 528 9 x\n");
    EXPECT_EQ(cur(p->i(TEST_MODIFICATIONS)), 0);
    ASSERT_EQ(end(*p), 0);
    EXPECT_EQ(p->err(), "bad signature in file " + p->params_file() + "\n");
}

TEST(Params, GarbageIsSkippedOrEndsTheReadingButNeverStopsTheProgram) {
    auto p = started_with_params(
        "2147483647\n"
        "I 528 5 ok\n"
        "I 534 9 beyond-the-int-area\n"
        "B -1 1 negative\n"
        "F 99999999999 1 saturates-outside\n"
        "Z 5 1 unknown-letter\n"
        "C 53 notanumber x\n"       // atoi of garbage: 0
        "I 530 7\n"                 // three fields: the reading ends here
        "I 529 1 never-read\n");
    EXPECT_EQ(cur(p->i(TEST_MODIFICATIONS)), 5);
    EXPECT_EQ(cur(p->c(TEST_CHAR_OUT)), 0);
    EXPECT_EQ(cur(p->i(TEST_INT_OUT)), 0);
    EXPECT_EQ(cur(p->i(TEST_SLEEP_MS)), 0);
    EXPECT_EQ(cur(p->i(TEST_PID)), p->pid());  // int 534 does not exist; nothing near it moved
    ASSERT_EQ(end(*p), 0);
}

TEST(Params, AStepThroughTheFileStillRuns) {
    auto p = started_with_params("2147483647\nF 10 2000 fast\nB 5 1 input\n");
    ASSERT_TRUE(p->step());
    EXPECT_TRUE(cur(p->b(TEST_OUTPUT)));
    ASSERT_EQ(end(*p), 0);
}

}  // namespace
}  // namespace vx::testing
