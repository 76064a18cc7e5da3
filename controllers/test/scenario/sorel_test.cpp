// sorel and sorel_bis, pass by pass at the default period: A keeps green
// until a vehicle waits on B; B then has one phase. Built once for each
// program (VX_SOREL_BIS for sorel_bis), since they share every behaviour
// but two receptivities.
#include "traffic_light_test.hpp"

namespace vx::controllers {
namespace {

using Sorel = TrafficLightTest;


// Day traffic with a vehicle waiting on B (and normal density in sorel_bis).
void day_with_vehicle(const ControllerTest::Cells& x) {
    x.set("jour", true);
    x.set("capteurB", true);
#ifdef VX_SOREL_BIS
    x.set("normal", true);
#endif
}

// Green 221 passes, orange 61, red 21 in step 13 and then in step 14 until
// B has had its phase; one dark pass in step 10.
TEST_F(Sorel, DirectionA) {
    day_with_vehicle(x());
    EXPECT_EQ(runs(550, kDirectionA), (std::vector<Shown>{{"vertA", 221}, {"orangeA", 61}, {"rougeA", 266}, {"", 1}, {"vertA", 1}}));
}

// B turns green in the pass after A enters step 14: green 8 s (161 passes),
// orange 61, red 21, then dark for two passes (steps 25 and 20).
TEST_F(Sorel, DirectionB) {
    day_with_vehicle(x());
    EXPECT_EQ(runs(550, kDirectionB), (std::vector<Shown>{{"rougeB", 304}, {"vertB", 161}, {"orangeB", 61}, {"rougeB", 21},
                                               {"", 2}, {"rougeB", 1}}));
}

TEST_F(Sorel, WithoutAVehicleOnBAKeepsGreenEvenAtNight) {
    x().set("jour", true);
#ifdef VX_SOREL_BIS
    x().set("normal", true);
#endif
    EXPECT_EQ(runs(400, kDirectionA), (std::vector<Shown>{{"vertA", 400}}));
    x().set("jour", false);
    x().set("nuit", true);
    EXPECT_EQ(runs(400, kDirectionA), (std::vector<Shown>{{"vertA", 400}}));
    EXPECT_TRUE(x().active(21));
    EXPECT_TRUE(x().on("rougeB"));
}

// Step 15 lights both oranges for 1 s, step 16 none for 1 s; B stays dark.
TEST_F(Sorel, NightBlink) {
    x().set("nuit", true);
    EXPECT_EQ(runs(86, {"vertA", "orangeA", "rougeA", "vertB", "orangeB", "rougeB"}),
              (std::vector<Shown>{{"orangeA orangeB", 21}, {"", 22}, {"orangeA orangeB", 21}, {"", 22}}));
    EXPECT_TRUE(x().active(20));
}

TEST_F(Sorel, StartUp) { check_start_up({10, 20}, {11, 21}); }

#ifdef VX_SOREL_BIS

struct Density {
    bool dense;
    bool normal;
    int green;  // passes of A's first green; 0: green for good
};

class SorelBisDensity : public ControllerTest, public ::testing::WithParamInterface<Density> {};

TEST_P(SorelBisDensity, SetsAsMinimumGreen) {
    x().set("jour", true);
    x().set("capteurB", true);
    x().set("dense", GetParam().dense);
    x().set("normal", GetParam().normal);
    const auto shown = runs(400, {"vertA"});
    if (GetParam().green == 0) {
        EXPECT_EQ(shown, (std::vector<Shown>{{"vertA", 400}}));
    } else {
        EXPECT_EQ(shown.front(), (Shown{"vertA", GetParam().green}));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Traffic, SorelBisDensity, ::testing::Values(
    Density{false, false, 0},
    Density{false, true, 221},    // 11 s
    Density{true, false, 301},    // 15 s
    Density{true, true, 221}));
// clang-format on

struct Vehicle {
    int waiting;  // green passes while a vehicle still waits on B; -1: for good
    int green;    // passes of B's green
};

class SorelBisGreenB : public ControllerTest, public ::testing::WithParamInterface<Vehicle> {};

// From 5 s on, B's green ends in the first pass that sees no vehicle on B;
// at 8 s in any case.
TEST_P(SorelBisGreenB, EndsWhenNoVehicleWaits) {
    day_with_vehicle(x());
    ASSERT_EQ(passes_until([&] { return x().active(22); }), 305);
    int green = 1;
    for (;; ++green) {
        if (green == GetParam().waiting) x().set("capteurB", false);
        pass();
        if (!x().on("vertB")) break;
    }
    EXPECT_EQ(green, GetParam().green);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Traffic, SorelBisGreenB, ::testing::Values(
    Vehicle{1, 101},      // gone at once: 5 s
    Vehicle{130, 130},    // gone after 6.5 s
    Vehicle{-1, 161}));   // still there: 8 s
// clang-format on

#endif

}  // namespace
}  // namespace vx::controllers
