// The C names of a graph's generated objects, in one place: the code
// generator writes them, the description reader resolves receptivities to
// them and checks that no two of them collide.
#pragma once

#include <string>
#include <string_view>

#include "vx/grafcet/graph.hpp"

namespace vx::grafcet {

class CNames {
public:
    explicit CNames(const Graph& graph) : graph_(graph.name), unit_(graph.unit) {}

    // The pointer of a variable (an input or an output).
    std::string variable(std::string_view name) const { return graph_ + "_" + std::string(name); }
    // A step's activity, its previous activity and its timer.
    std::string step(int n) const { return graph_ + "__X_" + std::to_string(n); }
    std::string previous(int n) const { return step(n) + "_PREV"; }
    std::string timer(int n) const { return graph_ + "__TIMER_" + std::to_string(n); }
    // A member of a block (an output) or of an object (status, matrix, a
    // variable of its model).
    std::string member(std::string_view owner, std::string_view member) const {
        return graph_ + "_" + std::string(owner) + "__" + std::string(member);
    }
    std::string model_function(const Model& m) const {
        return m.behaviour.empty() ? graph_ + "__" + m.name + "__model" : m.behaviour;
    }
    std::string offset(const Model& m, const ModelVariable& v) const { return graph_ + "__" + m.name + "__" + v.name; }
    std::string evolution() const { return unit_ + "__" + graph_; }
    std::string initialisation() const { return "_" + unit_ + "__" + graph_ + "_init"; }
    std::string file(std::string_view suffix) const { return graph_ + std::string(suffix); }

private:
    std::string graph_;
    std::string unit_;
};

}  // namespace vx::grafcet
