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

// The cells of the function blocks' outputs and of the objects, after the
// graph's own; then the counts.
void place_plant(const Graph& graph, GraphLayout& layout, std::int32_t next_bool, std::int32_t next_int) {
    for (const Block& b : graph.blocks) {
        BlockCells cells;
        for (const BlockPin& pin : b.type().outputs()) cells.outputs.push_back(pin.type == PinType::Bool ? next_bool++ : -1);
        layout.blocks.push_back(std::move(cells));
    }
    std::vector<ObjectLayout> objects(graph.objects.size());
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        objects[k].first_bool = next_bool;
        for (const ModelVariable& v : graph.models[graph.objects[k].model].variables)
            objects[k].variables.push_back(v.type == CellType::Bool ? next_bool++ : -1);
    }
    for (std::size_t k = 0; k < graph.blocks.size(); ++k) {
        const auto outputs = graph.blocks[k].type().outputs();
        for (std::size_t o = 0; o < outputs.size(); ++o) {
            if (outputs[o].type == PinType::Bool) continue;
            layout.blocks[k].outputs[o] = next_int;
            next_int += outputs[o].type == PinType::Time ? kTimeCells : 1;
        }
    }
    std::int32_t next_float = kFirstUserCell[2];
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        objects[k].status = next_int++;
        objects[k].matrix = next_float;
        next_float += kMatrixCells;
        objects[k].first_char = kFirstUserCell[3];
        const auto& variables = graph.models[graph.objects[k].model].variables;
        for (std::size_t v = 0; v < variables.size(); ++v) {
            if (variables[v].type == CellType::Int) objects[k].variables[v] = next_int++;
            if (variables[v].type == CellType::Float) objects[k].variables[v] = next_float++;
        }
    }
    layout.objects = std::move(objects);
    // One int cell after the controller's own is allocated and left alone;
    // the runtime's three cells follow it.
    layout.counts = {next_bool, next_int + 1 + static_cast<std::int32_t>(kRuntimeIntCells.size()), next_float,
                     kFirstUserCell[3]};
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
    place_plant(graph, layout, next_bool, next_int);
    return layout;
}

namespace {

void plant_symbols(const Graph& graph, const GraphLayout& layout, std::vector<Symbol>& out) {
    for (std::size_t k = 0; k < graph.blocks.size(); ++k) {
        const auto outputs = graph.blocks[k].type().outputs();
        for (std::size_t o = 0; o < outputs.size(); ++o) {
            const std::string name = graph.blocks[k].name + "." + std::string(outputs[o].name);
            const std::int32_t cell = layout.blocks[k].outputs[o];
            switch (outputs[o].type) {
                case PinType::Bool: out.push_back({name, CellType::Bool, cell, Role::Block}); break;
                case PinType::Int: out.push_back({name, CellType::Int, cell, Role::Block}); break;
                case PinType::Time:
                    out.push_back({name + ".days", CellType::Int, cell + 2, Role::Block});
                    out.push_back({name + ".ticks", CellType::Int, cell + 3, Role::Block});
                    break;
            }
        }
    }
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        const Object& o = graph.objects[k];
        const ObjectLayout& cells = layout.objects[k];
        out.push_back({o.name + ".status", CellType::Int, cells.status, Role::Object});
        out.push_back({o.name + ".x", CellType::Float, cells.matrix + kPositionCells[0], Role::Object});
        out.push_back({o.name + ".y", CellType::Float, cells.matrix + kPositionCells[1], Role::Object});
        out.push_back({o.name + ".z", CellType::Float, cells.matrix + kPositionCells[2], Role::Object});
        const auto& variables = graph.models[o.model].variables;
        for (std::size_t v = 0; v < variables.size(); ++v)
            out.push_back({o.name + "." + variables[v].name, variables[v].type, cells.variables[v], Role::Object});
    }
}

}  // namespace

std::vector<ObjectRecord> object_records(const Graph& graph, const GraphLayout& layout) {
    std::vector<ObjectRecord> out;
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        const Object& o = graph.objects[k];
        out.push_back({o.name, graph.models[o.model].name, o.actor, layout.objects[k].status, layout.objects[k].matrix});
    }
    return out;
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
    plant_symbols(graph, layout, out);
    for (const ControlVariable& c : kControlVariables)
        out.push_back({std::string(c.name), c.type, c.index, Role::Control});
    for (std::size_t k = 0; k < kRuntimeIntCells.size(); ++k)
        out.push_back({std::string(kRuntimeIntCells[k]), CellType::Int, layout.runtime_int_cell(k), Role::Control});
    return out;
}

}  // namespace vx::grafcet
