// melki, pass by pass at the default period: two directions that wait on
// each other's red time, and a pedestrian light that follows A's red.
#include "traffic_light_test.hpp"

namespace vx::controllers {
namespace {

using Melki = TrafficLightTest;


// Two cycles of A (1216 passes) seen from each light. A is green 11 s
// (221 passes) and orange 3 s (61); its red lasts 16 s and until B's red
// has lasted 1 s. B turns green once A's red has lasted 1 s, and leaves its
// red on the same terms with the roles swapped.
constexpr int kTwoCycles = 1216;

TEST_F(Melki, DirectionA) {
    x().set("jour", true);
    EXPECT_EQ(runs(kTwoCycles, kDirectionA), (std::vector<Shown>{{"vertA", 221}, {"orangeA", 61}, {"rougeA", 324}, {"", 1},
                                                       {"vertA", 221}, {"orangeA", 61}, {"rougeA", 326}, {"", 1}}));
}

TEST_F(Melki, DirectionB) {
    x().set("jour", true);
    EXPECT_EQ(runs(kTwoCycles, kDirectionB),
              (std::vector<Shown>{{"rougeB", 303}, {"vertB", 221}, {"orangeB", 61}, {"rougeB", 325}, {"", 1},
                                {"rougeB", 1}, {"vertB", 221}, {"orangeB", 61}, {"rougeB", 22}}));
}

// Green from 1 s to 13 s of A's red; the red is back 62 passes (over 3 s)
// before A leaves red.
TEST_F(Melki, Pedestrians) {
    x().set("jour", true);
    EXPECT_EQ(runs(kTwoCycles, kPedestriansA),
              (std::vector<Shown>{{"rouge_pietonA", 303}, {"vert_pietonA", 240}, {"", 1}, {"rouge_pietonA", 366},
                                {"vert_pietonA", 240}, {"", 1}, {"rouge_pietonA", 65}}));
}

// At the first day cycle B reads A's red time as the block holds it.
TEST_F(Melki, BReadsTheRedTimeTheBlockHolds) {
    x().set_timer(23, 20);
    x().set("jour", true);
    pass(2);
    EXPECT_TRUE(x().on("vertB"));
    EXPECT_TRUE(x().on("vert_pietonA"));
    EXPECT_TRUE(x().on("vertA"));
}

TEST_F(Melki, EachDirectionBlinksAtNight) {
    x().set("nuit", true);
    EXPECT_EQ(runs(86, {"vertA", "orangeA", "rougeA", "vertB", "orangeB", "rougeB", "vert_pietonA", "rouge_pietonA"}),
              (std::vector<Shown>{{"orangeA orangeB", 21}, {"", 22}, {"orangeA orangeB", 21}, {"", 22}}));
}

TEST_F(Melki, StartUp) { check_start_up({10, 20, 30}, {11, 21, 31}); }

}  // namespace
}  // namespace vx::controllers
