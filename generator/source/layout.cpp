#include "vx/grafcet/layout.hpp"

#include <algorithm>
#include <set>

namespace vx::grafcet {

bool is_control_name(std::string_view name) {
    return std::any_of(kControlVariables.begin(), kControlVariables.end(),
                       [&](const ControlVariable& c) { return c.name == name; }) ||
           std::find(kRuntimeIntCells.begin(), kRuntimeIntCells.end(), name) != kRuntimeIntCells.end();
}

const StepCells* GraphLayout::step(int number) const {
    const auto it = std::find_if(steps.begin(), steps.end(), [&](const StepCells& s) { return s.number == number; });
    return it == steps.end() ? nullptr : &*it;
}

namespace {

void collect_timed(const Expression& e, std::set<int>& timed) {
    if (e.kind == Expression::Kind::StepTime) timed.insert(e.step);
    for (const Expression& operand : e.operands) collect_timed(operand, timed);
}

}  // namespace

GraphLayout derive_layout(const Graph& graph) {
    std::set<int> timed;
    for (const Transition& t : graph.transitions) collect_timed(t.receptivity, timed);
    const auto has_timer = [&](const Step& s) { return timed.count(s.number) != 0; };

    GraphLayout layout;
    std::int32_t next_bool = kFirstUserCell[0];
    for (std::size_t k = 0; k < graph.variables.size(); ++k) layout.variables.push_back(next_bool++);
    for (const Step& s : graph.steps) layout.steps.push_back({s.number, next_bool++, std::nullopt, std::nullopt});

    for (std::size_t c = 0; c < graph.components.size(); ++c) {
        for (const Step& s : graph.steps)
            if (s.component == c && has_timer(s)) layout.previous_order.push_back(s.number);
        for (const Step& s : graph.steps)
            if (s.component == c && !has_timer(s) && !s.actions.empty()) layout.previous_order.push_back(s.number);
    }
    for (const int number : layout.previous_order) {
        std::find_if(layout.steps.begin(), layout.steps.end(), [&](const StepCells& s) {
            return s.number == number;
        })->previous = next_bool++;
    }

    std::int32_t next_int = kFirstUserCell[1];
    for (std::size_t k = 0; k < graph.steps.size(); ++k) {
        if (!has_timer(graph.steps[k])) continue;
        layout.timer_order.push_back(graph.steps[k].number);
        layout.steps[k].timer = next_int++;
    }
    // One int cell after the timers is allocated and left alone; the
    // runtime's three cells follow it.
    layout.counts = {next_bool, next_int + 1 + static_cast<std::int32_t>(kRuntimeIntCells.size()),
                     kFirstUserCell[2], kFirstUserCell[3]};
    return layout;
}

std::vector<Symbol> symbols(const Graph& graph, const GraphLayout& layout) {
    std::vector<Symbol> out;
    for (std::size_t k = 0; k < graph.variables.size(); ++k) {
        const Variable& v = graph.variables[k];
        out.push_back({v.name, CellType::Bool, layout.variables[k],
                       v.direction == Direction::Input ? Role::Input : Role::Output});
    }
    for (const StepCells& s : layout.steps)
        out.push_back({"X_" + std::to_string(s.number), CellType::Bool, s.activity, Role::Step});
    for (const int number : layout.previous_order)
        out.push_back({"X_" + std::to_string(number) + "_PREV", CellType::Bool, *layout.step(number)->previous,
                       Role::Previous});
    for (const int number : layout.timer_order)
        out.push_back({"TIMER_" + std::to_string(number), CellType::Int, *layout.step(number)->timer, Role::Timer});
    for (const ControlVariable& c : kControlVariables)
        out.push_back({std::string(c.name), c.type, c.index, Role::Control});
    for (std::size_t k = 0; k < kRuntimeIntCells.size(); ++k)
        out.push_back({std::string(kRuntimeIntCells[k]), CellType::Int, layout.runtime_int_cell(k), Role::Control});
    return out;
}

}  // namespace vx::grafcet
