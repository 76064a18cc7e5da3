// What the five traffic-light controllers have in common: day and night
// inputs, and (four of them) a crossing of two directions.
#pragma once

#include "controller_test.hpp"

namespace vx::controllers {

inline const std::vector<std::string> kDirectionA{"vertA", "orangeA", "rougeA"};
inline const std::vector<std::string> kDirectionB{"vertB", "orangeB", "rougeB"};
inline const std::vector<std::string> kPedestriansA{"vert_pietonA", "rouge_pietonA"};

class TrafficLightTest : public ControllerTest {
protected:
    // Started in `initial`: with jour and nuit off nothing fires and no cell
    // changes, whatever the outputs show; with both on the day sequence
    // starts and leads to `day`.
    void check_start_up(const std::vector<int>& initial, const std::vector<int>& day) const {
        EXPECT_EQ(x().steps(), initial);
        x().set_all_outputs(true);
        const auto before = areas();
        pass(50);
        EXPECT_EQ(areas(), before);
        x().set("jour", true);
        x().set("nuit", true);
        pass();
        EXPECT_EQ(x().steps(), day);
    }
};

}  // namespace vx::controllers
