// The test plant through real cycles: in process (an evolution, then the
// products step, as every cycle runs them) for the exact order of the
// behaviour calls, and as a program driven through its block.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "plant.h"
#include "vx/testing/program.hpp"
#include "vx/testing/quiet_start.hpp"
#include "vx_products.h"

namespace vx::testing {
namespace {

using Calls = std::vector<std::pair<int32_t, int32_t>>;
constexpr int32_t kFirst = -1;
constexpr int32_t kLast = -2;

constexpr int32_t object_int(int32_t object, int32_t n) { return PLANT_FIRST_INT + object * PLANT_INTS_PER_OBJECT + n; }

class Plant : public ::testing::Test {
protected:
    void SetUp() override {
        plant_ = start_quietly();
        ASSERT_TRUE(plant_->started());
    }

    // One cycle's evolution and products step; the calls it made.
    Calls cycle() {
        plant_call_count = 0;
        plant_->evolve();
        productsStep();
        Calls calls;
        for (int32_t k = 0; k < plant_call_count; ++k) calls.emplace_back(plant_calls[k].myself, plant_calls[k].other);
        return calls;
    }

    IntCell& counter(int32_t object, int32_t n) const { return plant_->i(object_int(object, n)); }

    std::unique_ptr<InProcessController> plant_;
};

TEST_F(Plant, StartUpBindsAndPlacesTheObjects) {
    const int32_t statuses[] = {1, 1, 1, 1, 2, 2, 1};
    for (int32_t i = 0; i < PLANT_OBJECTS; ++i) EXPECT_EQ(prodGetStatus(i), statuses[i]) << i;
    EXPECT_NEAR(getSizeX(PLANT_CONVEYOR), 10.0, 1e-6);
    EXPECT_NEAR(getSizeZ(PLANT_PALLET), 0.2, 1e-6);
    EXPECT_EQ(getPositionX(PLANT_CRATE + 1), 1.5);
    // The status and the matrix are the object's first int and float cells.
    EXPECT_EQ(cur(plant_->i(object_int(PLANT_LIFT, 0))), 1);
    EXPECT_EQ(cur(plant_->f(17 + PLANT_LIFT * 16 + 3)), 20.0f);
}

TEST_F(Plant, EveryLiveProductIsOfferedWhatTouchesIt) {
    // Both crates touch the belt and each other; the pallet touches the lift.
    EXPECT_EQ(cycle(), (Calls{{2, kFirst}, {2, 0}, {2, 3}, {2, kLast}, {3, kFirst}, {3, 0}, {3, 2}, {3, kLast},
                              {6, kFirst}, {6, 1}, {6, kLast}}));
    EXPECT_TRUE(cur(plant_->b(PLANT_FIRST_BOOL + PLANT_PALLET)));

    // Crate 2 creates a crate and kills the pallet at its first call; crate
    // 3 kills itself and crate 2 at its own. Crate 3 still gets its contacts
    // and its last call, but is not offered crate 2 although they touched at
    // crate 2's turn; the pallet's turn is skipped and nobody is offered it;
    // the new crate (the first free record of its model) has its turn in
    // this very step.
    set_cur(counter(PLANT_CRATE, PLANT_ACTION), PLANT_CREATE_CRATE | PLANT_KILL_ARGUMENT);
    set_cur(counter(PLANT_CRATE, PLANT_ARGUMENT), PLANT_PALLET);
    set_cur(counter(PLANT_CRATE + 1, PLANT_ACTION), PLANT_KILL_MYSELF | PLANT_KILL_ARGUMENT);
    set_cur(counter(PLANT_CRATE + 1, PLANT_ARGUMENT), PLANT_CRATE);
    EXPECT_EQ(cycle(), (Calls{{2, kFirst}, {2, 0}, {2, 3}, {2, kLast}, {3, kFirst}, {3, 0}, {3, kLast}, {4, kFirst},
                              {4, 0}, {4, kLast}}));
    for (const int32_t killed : {int32_t{PLANT_CRATE}, int32_t{PLANT_CRATE + 1}, int32_t{PLANT_PALLET}}) {
        EXPECT_EQ(prodGetStatus(killed), 2) << killed;
    }
    EXPECT_EQ(getPositionX(PLANT_CRATE + 2), 5.25);  // carried once already

    EXPECT_EQ(cycle(), (Calls{{4, kFirst}, {4, 0}, {4, kLast}}));
    EXPECT_EQ(cur(counter(PLANT_CRATE, PLANT_FIRSTS)), 2);
    EXPECT_EQ(cur(counter(PLANT_CRATE, PLANT_CONTACTS)), 4);
    EXPECT_EQ(cur(counter(PLANT_CRATE + 1, PLANT_LASTS)), 2);
}

TEST_F(Plant, CratesRideTheBeltAndFallOffItsEnd) {
    for (int n = 0; n < 10; ++n) cycle();
    EXPECT_EQ(getPositionX(PLANT_CRATE), 3.5);
    EXPECT_EQ(getPositionX(PLANT_CRATE + 1), 4.0);
    EXPECT_EQ(getPositionY(PLANT_CRATE), 0.5);
    for (int n = 0; n < 30; ++n) cycle();
    // Crate 3's centre leaves the belt after 33 cycles, crate 2's after 35.
    EXPECT_EQ(prodGetStatus(PLANT_CRATE), 2);
    EXPECT_EQ(prodGetStatus(PLANT_CRATE + 1), 2);
    EXPECT_EQ(cur(counter(PLANT_CRATE, PLANT_FIRSTS)), 35);
    EXPECT_EQ(cur(counter(PLANT_CRATE + 1, PLANT_FIRSTS)), 33);
}

TEST_F(Plant, ThePalletRidesTheLift) {
    set_cur(plant_->b(PLANT_LIFT_UP), true);
    cycle();  // the first joint only records the lift
    EXPECT_EQ(getPositionZ(PLANT_LIFT), 0.5);
    EXPECT_EQ(getPositionZ(PLANT_PALLET), 1.0);
    for (int n = 0; n < 3; ++n) cycle();
    EXPECT_EQ(getPositionZ(PLANT_LIFT), 2.0);
    EXPECT_NEAR(getPositionZ(PLANT_PALLET), 2.5, 1e-6);
    EXPECT_NEAR(getPositionX(PLANT_PALLET), 20.0, 1e-6);
    set_cur(plant_->b(PLANT_LIFT_UP), false);
    cycle();
    EXPECT_NEAR(getPositionZ(PLANT_PALLET), 2.5, 1e-6);
}

TEST(PlantProgram, RunsItsProductsEveryCycle) {
    ProgramOptions options;
    options.executable = VX_TEST_PLANT;
    options.name = "plant";
    Program p(options);
    p.start();
    ASSERT_TRUE(p.attach()) << p.out() << p.err();
    EXPECT_EQ(cur(p.f(17 + PLANT_CRATE * 16 + 3)), 1.0f);  // placed at start-up
    set_cur(p.i(object_int(PLANT_CRATE, PLANT_ACTION)), PLANT_ASK_AXIS_9);
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(p.step());
    EXPECT_EQ(cur(p.i(object_int(PLANT_CRATE, PLANT_FIRSTS))), 3);
    EXPECT_EQ(cur(p.i(object_int(PLANT_CRATE, PLANT_CONTACTS))), 6);
    EXPECT_EQ(cur(p.i(object_int(PLANT_PALLET, PLANT_LASTS))), 3);
    EXPECT_EQ(cur(p.f(17 + PLANT_CRATE * 16 + 3)), 1.75f);
    // The line of an unknown axis lies beside the program, once.
    EXPECT_EQ(read_file(p.dir() + "/trace.txt"), "on est en d\xe9"
                                                 "faut\n");
    set_cur(p.i(311), END);
    EXPECT_EQ(p.wait_exit(), 0);
}

}  // namespace
}  // namespace vx::testing
