// melki_bis, pass by pass at the default period: direction A leads, the
// pedestrians and direction B follow its steps.
#include "traffic_light_test.hpp"

namespace vx::controllers {
namespace {

using MelkiBis = TrafficLightTest;


// A's cycle: green 221 passes, orange 61, red 21 + 261 + 41 in steps 13 to
// 15, one dark pass.
constexpr int kCycle = 606;

TEST_F(MelkiBis, DirectionA) {
    x().set("jour", true);
    EXPECT_EQ(runs(2 * kCycle, kDirectionA), (std::vector<Shown>{{"vertA", 221}, {"orangeA", 61}, {"rougeA", 323}, {"", 1},
                                                       {"vertA", 221}, {"orangeA", 61}, {"rougeA", 323}, {"", 1}}));
}

// Green from the pass after A enters step 14 to the pass after it enters 15.
TEST_F(MelkiBis, Pedestrians) {
    x().set("jour", true);
    EXPECT_EQ(runs(2 * kCycle, kPedestriansA),
              (std::vector<Shown>{{"rouge_pietonA", 304}, {"vert_pietonA", 261}, {"", 1}, {"rouge_pietonA", 344},
                                {"vert_pietonA", 261}, {"", 1}, {"rouge_pietonA", 40}}));
}

// B waits for A's step 14, and after its first phase goes through step 30
// (dark) and 31 (red) before turning green again.
TEST_F(MelkiBis, DirectionB) {
    x().set("jour", true);
    EXPECT_EQ(runs(2 * kCycle, kDirectionB),
              (std::vector<Shown>{{"rougeB", 304}, {"vertB", 221}, {"orangeB", 61}, {"rougeB", 324}, {"", 1},
                                {"rougeB", 1}, {"vertB", 221}, {"orangeB", 61}, {"rougeB", 18}}));
}

// Night begins while B is red in step 34: B's red ends in the pass after A
// enters step 16, and B rests in step 30 while orangeB blinks with step 16.
TEST_F(MelkiBis, NightFromBsRed) {
    x().set("jour", true);
    pass(600);
    ASSERT_EQ(x().steps(), (std::vector<int>{15, 21, 34}));
    x().set("jour", false);
    x().set("nuit", true);
    EXPECT_EQ(runs(50, kDirectionB), (std::vector<Shown>{{"rougeB", 6}, {"orangeB rougeB", 1}, {"orangeB", 20}, {"", 22},
                                              {"orangeB", 1}}));
    EXPECT_TRUE(x().active(30));
}

TEST_F(MelkiBis, StartUp) { check_start_up({10, 20, 30}, {11, 21, 31}); }

}  // namespace
}  // namespace vx::controllers
