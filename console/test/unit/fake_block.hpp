// A laid-out block in this process's memory, with a symbol table, for tests
// that need no controller program.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "vx/block.hpp"
#include "vx/console/session.hpp"
#include "vx/console/symbols.hpp"

namespace vx::console::testing {

// The cells of a small traffic light: the shape of the real controllers'
// symbol files, with their control cells.
inline constexpr const char* kLightSymbols = R"(# a light
program light
counts 16 532 17 53
jour B 5 input
nuit B 6 input
vert B 7 output
rouge B 8 output
orange B 9 output
vert_pieton B 10 output
rouge_pieton B 11 output
X_20 B 12 step
X_21 B 13 step
X_21_PREV B 14 prev
TIMER_21 I 523 timer
traceon B 0 control
resettrace B 1 control
execstatus I 311 control
simuperiod F 10 control
taskname C 0 control
pospid I 529 control
posmxsimucounter I 530 control
posmxmicrostepcounter I 531 control
)";

// A line with function blocks and plant objects: a belt and a light barrier
// (actors), three product slots, a timer with its TIME output and a counter.
// Each object's matrix is 16 float cells; x, y and z name cells 3, 7 and 11.
inline constexpr const char* kPlantSymbols = R"(# a line
program line
counts 10 535 98 53
start B 5 input
motor B 6 output
t1.Q B 7 block
c1.QU B 8 block
barrier.seen B 9 object
c1.CV I 523 block
t1.ET.days I 524 block
t1.ET.ticks I 525 block
belt.status I 526 object
barrier.status I 527 object
box1.status I 528 object
box2.status I 529 object
box3.status I 530 object
belt.x F 20 object
belt.y F 24 object
belt.z F 28 object
belt.speed F 33 object
barrier.x F 37 object
barrier.y F 41 object
barrier.z F 45 object
box1.x F 53 object
box1.y F 57 object
box1.z F 61 object
box2.x F 69 object
box2.y F 73 object
box2.z F 77 object
box3.x F 85 object
box3.y F 89 object
box3.z F 93 object
traceon B 0 control
resettrace B 1 control
execstatus I 311 control
simuperiod F 10 control
taskname C 0 control
pospid I 532 control
posmxsimucounter I 533 control
posmxmicrostepcounter I 534 control
object belt belt actor 526 17
object barrier barrier actor 527 34
object box1 box product 528 50
object box2 box product 529 66
object box3 box product 530 82
)";

class FakeBlock {
public:
    explicit FakeBlock(const char* symbols = kLightSymbols)
        : table_(parse_symbols(symbols, "light.vars")) {
        const auto layout = *Layout::from_counts(table_.counts);
        storage_.assign(layout.space / 8 + 1, 0);
        auto* header = reinterpret_cast<MemoryHeader*>(storage_.data());
        write_layout(*header, layout);
        view_ = BlockView(header, layout);
        set_cur(*view_.cell<FloatCell>(10), 50000.0f);
    }

    // With the lights of tarvo's view file.
    Session session() const {
        Session s(view_, table_, "fake");
        s.set_lights(parse_lights_view("vehicle: rouge red, orange orange, vert green\n"
                                       "pedestrian: rouge_pieton red, vert_pieton green\n",
                                       "light.view"));
        return s;
    }
    const BlockView& view() const { return view_; }
    MemoryHeader& header() const { return *view_.header(); }
    BoolCell& b(std::int32_t i) const { return *view_.cell<BoolCell>(i); }
    IntCell& i(std::int32_t i) const { return *view_.cell<IntCell>(i); }
    FloatCell& f(std::int32_t i) const { return *view_.cell<FloatCell>(i); }
    CharCell& c(std::int32_t i) const { return *view_.cell<CharCell>(i); }

    // Places the object whose matrix starts at float cell `first`: M = T.S,
    // the unit cube at (x, y, z) with sizes (sx, sy, sz), and its status.
    void place(std::int32_t status_cell, std::int32_t status, std::int32_t first, std::array<float, 3> at,
               std::array<float, 3> size) const {
        set_cur(i(status_cell), status);
        const float m[16] = {size[0], 0, 0, at[0], 0, size[1], 0, at[1], 0, 0, size[2], at[2], 0, 0, 0, 1};
        for (std::int32_t k = 0; k < 16; ++k) set_cur(f(first + k), m[k]);
    }

private:
    SymbolTable table_;
    std::vector<std::uint64_t> storage_;
    BlockView view_;
};

}  // namespace vx::console::testing
