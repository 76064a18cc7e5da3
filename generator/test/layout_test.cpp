// Cell allocation derived from a graph: which steps get a timer and a
// previous-activity cell, in which order, and the cell counts.
#include <gtest/gtest.h>

#include "vx/grafcet/description.hpp"
#include "vx/grafcet/layout.hpp"

namespace vx::grafcet {
namespace {

Graph graph_of(std::string_view text) {
    auto parsed = parse_description(text, "g");
    EXPECT_TRUE(parsed.graph) << (parsed.errors.empty() ? "" : parsed.errors.front().text());
    return parsed.graph ? *parsed.graph : Graph{};
}

// Two components. Step 3's time is read only by the other component, step 1
// has neither timer nor action, step 2 has an action only, step 5 has both,
// step 6 a timer only; step 4 is read as X_4, which needs no timer.
constexpr std::string_view kGraph =
    "graph g\nunit u\n"
    "input a\n"
    "output y z\n"
    "component first\n"
    "step 1 initial\n"
    "step 2 action y\n"
    "step 3\n"
    "transition 1 -> 2 when a & X_4\n"
    "transition 2 -> 3 when t(X_6) >= 1 s\n"
    "transition 3 -> 1 when t(X_5) >= 2 s\n"
    "component second\n"
    "step 4 initial action z\n"
    "step 5 action y z\n"
    "step 6\n"
    "transition 4 -> 5 when t(X_3) >= 1 s | t(X_3) >= 4 s\n"
    "transition 5 -> 6 when a\n"
    "transition 6 -> 4 when not a\n";

TEST(Layout, DerivesCellsFromTheGraph) {
    const Graph g = graph_of(kGraph);
    const GraphLayout l = derive_layout(g);
    EXPECT_EQ(l.variables, (std::vector<std::int32_t>{5, 6, 7}));

    struct Expected {
        int step;
        std::int32_t activity;
        std::optional<std::int32_t> previous, timer;
    };
    // clang-format off
    const Expected expected[] = {
        {1, 8,  std::nullopt, std::nullopt},
        {2, 9,  15,           std::nullopt},
        {3, 10, 14,           523},
        {4, 11, 18,           std::nullopt},
        {5, 12, 16,           524},
        {6, 13, 17,           525},
    };
    // clang-format on
    for (const Expected& e : expected) {
        SCOPED_TRACE("step " + std::to_string(e.step));
        const StepCells* s = l.step(e.step);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->activity, e.activity);
        EXPECT_EQ(s->previous, e.previous);
        EXPECT_EQ(s->timer, e.timer);
    }
    // Per component: the timed steps, then the untimed steps with actions.
    EXPECT_EQ(l.previous_order, (std::vector<int>{3, 2, 5, 6, 4}));
    EXPECT_EQ(l.timer_order, (std::vector<int>{3, 5, 6}));
    // bool: 5 control + 3 variables + 6 steps + 5 previous; int: 523 + 3
    // timers + the unused cell + the runtime's 3.
    EXPECT_EQ(l.counts, (std::array<std::int32_t, 4>{19, 530, 17, 53}));
    EXPECT_EQ(l.runtime_int_cell(0), 527);
}

TEST(Layout, AGraphWithoutTimersStillReservesTheIntCellAfterThem) {
    const GraphLayout l = derive_layout(graph_of("graph g\nunit u\ncomponent c\nstep 1 initial\n"));
    EXPECT_EQ(l.counts, (std::array<std::int32_t, 4>{6, 527, 17, 53}));
    EXPECT_TRUE(l.previous_order.empty());
}

TEST(Layout, SymbolsComeInAllocationOrderWithUniqueNames) {
    const Graph g = graph_of(kGraph);
    const auto all = symbols(g, derive_layout(g));
    std::vector<std::string> names;
    for (const Symbol& s : all) names.push_back(s.name + " " + type_letter(s.type) + " " + std::to_string(s.index) + " " +
                                                std::string(role_name(s.role)));
    const std::vector<std::string> head(names.begin(), names.begin() + 17);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "a B 5 input", "y B 6 output", "z B 7 output", "X_1 B 8 step", "X_2 B 9 step",
                        "X_3 B 10 step", "X_4 B 11 step", "X_5 B 12 step", "X_6 B 13 step", "X_3_PREV B 14 prev",
                        "X_2_PREV B 15 prev", "X_5_PREV B 16 prev", "X_6_PREV B 17 prev", "X_4_PREV B 18 prev",
                        "TIMER_3 I 523 timer", "TIMER_5 I 524 timer", "TIMER_6 I 525 timer"}));
    EXPECT_EQ(names.back(), "posmxmicrostepcounter I 529 control");
    EXPECT_EQ(all.size(), 17u + kControlVariables.size() + 3u);
}

}  // namespace
}  // namespace vx::grafcet
