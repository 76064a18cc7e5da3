// tarvo, pass by pass at the default period of 50 ms: one traffic light with
// a pedestrian light, day and night.
#include "traffic_light_test.hpp"

namespace vx::controllers {
namespace {

using Tarvo = TrafficLightTest;

const std::vector<std::string> kVehicle{"vert", "orange", "rouge"};
const std::vector<std::string> kPedestrian{"vert_pieton", "rouge_pieton"};

TEST_F(Tarvo, StartUp) { check_start_up({10, 20}, {11, 21}); }

// Green 5 s (101 passes), orange 1 s (21), red 8 s (161), one dark pass.
TEST_F(Tarvo, DayCycleOfTheVehicleLight) {
    x().set("jour", true);
    EXPECT_EQ(runs(101 + 21 + 161 + 1 + 101 + 1, kVehicle),
              (std::vector<Shown>{{"vert", 101}, {"orange", 21}, {"rouge", 161}, {"", 1}, {"vert", 101}, {"orange", 1}}));
}

// The pedestrians turn green in the pass after the red has lasted 1 s and
// leave green when it has lasted 5 s; one dark pass, then red until the
// next red phase.
TEST_F(Tarvo, DayCycleOfThePedestrianLight) {
    x().set("jour", true);
    EXPECT_EQ(runs(101 + 21 + 161 + 1 + 101 + 21 + 21, kPedestrian),
              (std::vector<Shown>{{"rouge_pieton", 101 + 21 + 21},
                                {"vert_pieton", 80},
                                {"", 1},
                                {"rouge_pieton", 59 + 1 + 101 + 21 + 21}}));
}

// Orange 21 passes, dark 22: 21 in step 25 and one in step 20.
TEST_F(Tarvo, NightBlink) {
    x().set("nuit", true);
    EXPECT_EQ(runs(2 * 43, {"vert", "orange", "rouge", "vert_pieton", "rouge_pieton"}),
              (std::vector<Shown>{{"orange", 21}, {"", 22}, {"orange", 21}, {"", 22}}));
}

// The current vehicle cycle is finished; the night starts in step 20. The
// pedestrians go dark once back in step 10.
TEST_F(Tarvo, NightFromTheMiddleOfTheDay) {
    x().set("jour", true);
    pass(50);
    x().set("jour", false);
    x().set("nuit", true);
    EXPECT_EQ(runs(51 + 21 + 161 + 1 + 43, kVehicle),
              (std::vector<Shown>{{"vert", 51}, {"orange", 21}, {"rouge", 161}, {"", 1}, {"orange", 21}, {"", 22}}));
    EXPECT_EQ(x().steps(), (std::vector<int>{10, 20}));
}

// Night comes when the pedestrians are red again and the vehicle red has
// passed 5 s: step 23 is not entered again, so the pedestrian red stays.
TEST_F(Tarvo, PedestrianRedStaysThroughANightThatBeginsLateInTheRed) {
    x().set("jour", true);
    pass(101 + 21 + 110);
    ASSERT_EQ(x().steps(), (std::vector<int>{11, 23}));
    x().set("jour", false);
    x().set("nuit", true);
    EXPECT_EQ(runs(51 + 1 + 200, kPedestrian), (std::vector<Shown>{{"rouge_pieton", 252}}));
    EXPECT_TRUE(x().active(24) || x().active(25) || x().active(20));
}

}  // namespace
}  // namespace vx::controllers
