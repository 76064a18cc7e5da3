// The plant: the objects listing, the placement read from a matrix, and the
// monitor's plant view, on a block in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>

#include "fake_block.hpp"
#include "vx/console/monitor.hpp"
#include "vx/console/plant.hpp"

namespace vx::console {
namespace {

// Matrix cells of the line's objects, and their status cells.
constexpr std::int32_t kBelt = 17, kBarrier = 34, kBox1 = 50, kBox2 = 66, kBox3 = 82;
constexpr std::int32_t kBeltStatus = 526, kBarrierStatus = 527, kBox1Status = 528, kBox2Status = 529, kBox3Status = 530;

// A 10 m belt from x 0, a barrier at x 6, box1 at x 1.5, box3 at x 3 and
// box2 killed at the belt's end (12 to 12.5).
struct Line {
    testing::FakeBlock block{testing::kPlantSymbols};
    Line() {
        block.place(kBeltStatus, 1, kBelt, {0, 0, 0.5f}, {10, 1, 0.1f});
        block.place(kBarrierStatus, 1, kBarrier, {6, -0.5f, 0}, {0.05f, 2, 1});
        block.place(kBox1Status, 1, kBox1, {1.5f, 0.25f, 0.6f}, {0.5f, 0.5f, 0.5f});
        block.place(kBox2Status, 2, kBox2, {12, 0.25f, 0.6f}, {0.5f, 0.5f, 0.5f});
        block.place(kBox3Status, 1, kBox3, {3, 0.25f, 0.6f}, {0.5f, 0.5f, 0.5f});
        set_cur(block.f(33), 0.5f);  // belt.speed
        set_cur(block.b(9), true);   // barrier.seen
    }
    // The drawn strip, the first line of the view without its label.
    std::string strip(int width = 60) const {
        const std::string view = draw_plant(block.session(), width);
        return view.substr(9, view.find('\n') - 9);
    }
};

TEST(Objects, ListsEveryObjectWithStatusPlacementSizeAndVariables) {
    const Line line;
    set_cur(line.block.i(kBox3Status), 7);
    std::ostringstream out;
    list_objects(line.block.session(), out);
    EXPECT_EQ(out.str(),
              "program line: 2 actors, 3 product slots (1 alive)\n"
              "index  name     model    kind     status       position (x y z)  angle z  size (sx sy sz)  variables\n"
              "0      belt     belt     actor    alive        0 0 0.5           0        10 1 0.1         speed=0.5\n"
              "1      barrier  barrier  actor    alive        6 -0.5 0          0        0.05 2 1         seen=1\n"
              "2      box1     box      product  alive        1.5 0.25 0.6      0        0.5 0.5 0.5\n"
              "3      box2     box      product  killed       12 0.25 0.6       0        0.5 0.5 0.5\n"
              "4      box3     box      product  unknown (7)  3 0.25 0.6        0        0.5 0.5 0.5\n");
}

TEST(Objects, AProgramWithoutObjectsSaysSo) {
    const testing::FakeBlock block;
    std::ostringstream out;
    list_objects(block.session(), out);
    EXPECT_EQ(out.str(), "program light declares no objects (no actors, no product slots)\n");
    EXPECT_EQ(draw_plant(block.session(), 80), "");
    const Session unnamed(block.view(), std::nullopt);
    EXPECT_THROW(list_objects(unnamed, out), Failure);
}

struct Placement {
    std::array<double, 16> matrix;
    std::array<double, 3> size;
    std::pair<double, double> x_extent;
};

TEST(Objects, SizeAndExtentFollowTheColumnsOfTheMatrix) {
    for (const Placement& p : {
             // M = T.S at (1, 2, 3), sizes 4, 5, 6; entry 15 a cosine
             Placement{{4, 0, 0, 1, 0, 5, 0, 2, 0, 0, 6, 3, 0, 0, 0, 0.5}, {4, 5, 6}, {1, 5}},
             // turned 90 degrees about Z at (5, 0, 0), sizes 2, 1, 3: the
             // second edge points to -X
             Placement{{0, -1, 0, 5, 2, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1}, {2, 1, 3}, {4, 5}},
             // a 3-4-5 edge in the XY plane
             Placement{{3, 0, 0, 0, 4, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {5, 1, 1}, {0, 3}},
         }) {
        PlantObject o;
        o.matrix = p.matrix;
        EXPECT_EQ(o.size(), p.size);
        EXPECT_EQ(o.x_extent(), p.x_extent);
        EXPECT_EQ(o.position(), (std::array<double, 3>{p.matrix[3], p.matrix[7], p.matrix[11]}));
    }
}

// The turn about Z as getAngleZ reads it: from the X edge's direction, any
// size, reversed by a negative Y cosine in entry 15, in [0, 360).
TEST(Objects, AngleAboutZFollowsTheXEdge) {
    const double c30 = std::cos(std::numbers::pi / 6), s30 = 0.5;
    struct Row {
        const char* what;
        std::array<double, 16> matrix;
        double angle;
    };
    for (const Row& r : {
             Row{"axis-aligned", {2, 0, 0, 1, 0, 3, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1}, 0},
             Row{"30 degrees, size 2", {2 * c30, -s30, 0, 0, 2 * s30, c30, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 30},
             Row{"a quarter turn clockwise", {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 270},
             Row{"half a turn", {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 180},
             Row{"turned 180 about Y: the X edge reversed, Z unturned", {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1}, 0},
             Row{"just under 0", {1, 0, 0, 0, -1e-18, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, std::nextafter(360.0, 0.0)},
         }) {
        PlantObject o;
        o.matrix = r.matrix;
        EXPECT_NEAR(o.angle_z(), r.angle, 1e-9) << r.what;
        EXPECT_LT(o.angle_z(), 360.0) << r.what;
    }
    PlantObject flat;
    EXPECT_TRUE(std::isnan(flat.angle_z())) << "an X edge of no length has no direction";
}

struct ViewCase {
    const char* what;
    std::function<void(const testing::FakeBlock&)> change;
    const char* strip;
};

// 50 columns of 0.25 over 0 to 12.5 (box2 sets the end although killed);
// an object covers the columns its X extent touches; one narrower than a
// column is drawn in the column of its middle.
TEST(PlantView, DrawsLiveObjectsAlongX) {
    for (const ViewCase& c : {
             ViewCase{"as placed", [](const testing::FakeBlock&) {}, "======AA====CC==========|==============="},
             ViewCase{"box1 killed", [](const testing::FakeBlock& b) { set_cur(b.i(kBox1Status), 2); },
                      "============CC==========|==============="},
             ViewCase{"box3 at the barrier, which stays drawn over it",
                      [](const testing::FakeBlock& b) { set_cur(b.f(kBox3 + 3), 6.f); },
                      "======AA================|C=============="},
             ViewCase{"a barrier across a cell boundary stays thin, at its middle",
                      [](const testing::FakeBlock& b) { set_cur(b.f(kBarrier + 3), 5.98f); },
                      "======AA====CC==========|==============="},
             ViewCase{"box2 alive past the belt's end", [](const testing::FakeBlock& b) { set_cur(b.i(kBox2Status), 1); },
                      "======AA====CC==========|===============        BB"},
             ViewCase{"belt stopped as an actor (killed)", [](const testing::FakeBlock& b) { set_cur(b.i(kBeltStatus), 2); },
                      "      AA    CC          |"},
             ViewCase{"box1 far out: the scale grows", [](const testing::FakeBlock& b) { set_cur(b.f(kBox1 + 3), 24.5f); },
                      "======C=====|=======                             A"},
             ViewCase{"a NaN box is left out", [](const testing::FakeBlock& b) { set_cur(b.f(kBox1 + 3), std::nanf("")); },
                      "============CC==========|==============="},
         }) {
        const Line line;
        c.change(line.block);
        EXPECT_EQ(line.strip(), c.strip) << c.what;
    }
}

TEST(PlantView, ScaleAndLegendAndTheFrame) {
    const Line line;
    const Session s = line.block.session();
    EXPECT_EQ(draw_plant(s, 60),
              "plant    ======AA====CC==========|===============\n"
              "         0                                             12.5\n"
              "legend   = belt  | barrier  A box1  C box3  (1 slot free)\n");
    set_cur(line.block.b(7), true);          // t1.Q
    set_cur(line.block.i(523), 3);           // c1.CV
    set_cur(line.block.i(524), 1);           // t1.ET: one day and 2.5 s
    set_cur(line.block.i(525), 25000);
    const std::string frame = render_frame(s, {false, false, 60});
    EXPECT_NE(frame.find("outputs  motor=0\nsteps    none\nblocks   t1.Q=1  c1.QU=0  c1.CV=3  t1.ET=86402.50 s\n"
                         "plant    ======AA"),
              std::string::npos)
        << frame;
    // A plant that no line along X crosses whole is not drawn on a row: here
    // box1 stands beside the belt, apart from it in Y, even killed.
    set_cur(line.block.f(kBox1 + 7), 3.f);
    set_cur(line.block.i(kBox1Status), 2);
    EXPECT_EQ(draw_plant(s, 60),
              "plant    not drawable on one row: its objects do not lie along one line in X; vxctl objects lists "
              "their positions and angles\n");
    set_cur(line.block.f(kBox1 + 7), 0.25f);
    set_cur(line.block.i(kBox1Status), 1);
    // Narrow terminals keep at least ten columns, and the scale its two ends.
    EXPECT_EQ(draw_plant(s, 5).substr(0, 44), "plant    =AC=|===\n         0     12.5\nlegend");
}

}  // namespace
}  // namespace vx::console
