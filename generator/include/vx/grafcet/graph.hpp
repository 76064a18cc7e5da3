// A controller's Grafcet as the generator understands it: declared input and
// output variables, components (connected partial graphs evaluated one after
// the other), steps with continuous actions, and transitions with one
// upstream step, one downstream step and a receptivity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vx/grafcet/expression.hpp"

namespace vx::grafcet {

// What a controller carries when its description does not say otherwise.
inline constexpr std::int32_t kDefaultSignature = 2147483647;
inline constexpr std::int32_t kDefaultGenerationTime = 0;

enum class Direction { Input, Output };

struct Variable {
    std::string name;
    Direction direction = Direction::Input;
    int line = 0;  // where the description declares it
};

struct Component {
    std::string name;
    int line = 0;
};

struct Step {
    int number = 0;
    std::size_t component = 0;         // index into Graph::components
    bool initial = false;
    std::vector<std::string> actions;  // outputs that are 1 while the step is active
    int line = 0;
};

struct Transition {
    std::size_t component = 0;
    int from = 0;  // upstream step number
    int to = 0;    // downstream step number
    Expression receptivity;
    std::string text;  // the receptivity as the description writes it
    int line = 0;
};

struct Graph {
    std::string name;  // names the program, its files and its pointer globals
    int name_line = 0; // where the description names the graph
    std::string unit;
    std::int32_t signature = kDefaultSignature;
    std::int32_t generation_time = kDefaultGenerationTime;
    std::vector<Variable> variables;     // declaration order
    std::vector<Component> components;   // pass order
    std::vector<Step> steps;             // the graph's step order
    std::vector<Transition> transitions; // evaluation order, component by component

    const Step* find_step(int number) const;
    const Variable* find_variable(std::string_view variable) const;
};

}  // namespace vx::grafcet
