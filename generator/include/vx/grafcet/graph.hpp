// A controller's Grafcet as the generator understands it: declared input and
// output variables, components (connected partial graphs evaluated one after
// the other), steps with continuous actions, and transitions with one
// upstream step, one downstream step and a receptivity.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vx/block.hpp"
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

// ---- Function-block instances ------------------------------------------------

// What a pin of a function block carries: a BOOL (a receptivity), a TIME
// (a duration constant, held in ticks of 100 us) or an INT (a constant).
enum class PinType { Bool, Time, Int };

struct BlockPin {
    std::string_view name;
    PinType type;
};

// A function block of the library that a description can instantiate: its
// inputs in the order of the library's entries, and its outputs.
struct BlockKind {
    std::string_view type;   // as descriptions write it: "TON"
    std::string_view entry;  // the library's entry stem: "ton"
    std::array<BlockPin, 5> input_pins;
    std::size_t input_count;
    std::array<BlockPin, 3> output_pins;
    std::size_t output_count;

    constexpr std::span<const BlockPin> inputs() const { return {input_pins.data(), input_count}; }
    constexpr std::span<const BlockPin> outputs() const { return {output_pins.data(), output_count}; }
};

inline constexpr BlockPin kIn{"IN", PinType::Bool}, kPt{"PT", PinType::Time}, kQ{"Q", PinType::Bool},
    kEt{"ET", PinType::Time}, kPv{"PV", PinType::Int}, kCv{"CV", PinType::Int};

inline constexpr std::array kBlockKinds{
    BlockKind{"TON", "ton", {kIn, kPt}, 2, {kQ, kEt}, 2},
    BlockKind{"TOF", "tof", {kIn, kPt}, 2, {kQ, kEt}, 2},
    BlockKind{"TP", "tp", {kIn, kPt}, 2, {kQ, kEt}, 2},
    BlockKind{"CTU", "ctu", {{{"CU", PinType::Bool}, {"R", PinType::Bool}, kPv}}, 3, {kQ, kCv}, 2},
    BlockKind{"CTD", "ctd", {{{"CD", PinType::Bool}, {"LD", PinType::Bool}, kPv}}, 3, {kQ, kCv}, 2},
    BlockKind{"CTUD", "ctud",
              {{{"CU", PinType::Bool}, {"CD", PinType::Bool}, {"R", PinType::Bool}, {"LD", PinType::Bool}, kPv}}, 5,
              {{{"QU", PinType::Bool}, {"QD", PinType::Bool}, kCv}}, 3},
    BlockKind{"R_TRIG", "r_trig", {{{"CLK", PinType::Bool}}}, 1, {kQ}, 1},
    BlockKind{"F_TRIG", "f_trig", {{{"CLK", PinType::Bool}}}, 1, {kQ}, 1},
    BlockKind{"RS", "rs", {{{"S", PinType::Bool}, {"R1", PinType::Bool}}}, 2, {{{"Q1", PinType::Bool}}}, 1},
    BlockKind{"SR", "sr", {{{"S1", PinType::Bool}, {"R", PinType::Bool}}}, 2, {{{"Q1", PinType::Bool}}}, 1},
};

// A value given to an input pin: a receptivity for a BOOL (a constant TRUE
// or FALSE when `expression` is empty), a number for a TIME (ticks) or an
// INT.
struct BlockInput {
    std::optional<Expression> expression;
    std::int64_t value = 0;  // the BOOL constant (0 or 1), the TIME in ticks, the INT
    std::string text;        // as written ("FALSE" when the description leaves the pin out)
};

struct Block {
    std::string name;
    std::size_t kind = 0;            // index into kBlockKinds
    std::vector<BlockInput> inputs;  // one per input pin, in pin order
    int line = 0;

    const BlockKind& type() const { return kBlockKinds[kind]; }
};

// ---- Plant objects ---------------------------------------------------------------

// A variable that every object of a model owns, besides its status and its
// placement matrix.
struct ModelVariable {
    std::string name;
    CellType type = CellType::Bool;
};

struct Model {
    std::string name;
    std::string behaviour;  // the C function of the controller's folder; empty: one that does nothing
    std::vector<ModelVariable> variables;
    int line = 0;
};

// An actor, or one product slot (a `product ... slots n` line declares n).
struct Object {
    std::string name;
    std::size_t model = 0;  // index into Graph::models
    bool actor = true;
    bool alive = true;      // its status at start-up: 1 alive, 2 a free slot
    std::int32_t id = 0;    // what setMyselfFor looks for among the actors
    std::array<double, 3> at{0.0, 0.0, 0.0};
    std::array<double, 3> size{1.0, 1.0, 1.0};
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
    std::vector<Block> blocks;           // run in declaration order at the start of every pass
    std::vector<Model> models;
    std::vector<Object> objects;         // the plant's table: the actors, then the product slots

    const Step* find_step(int number) const;
    const Variable* find_variable(std::string_view variable) const;
    const Block* find_block(std::string_view name) const;
    const Object* find_object(std::string_view name) const;
    const Model* find_model(std::string_view name) const;
    bool uses_library() const { return !blocks.empty() || !objects.empty(); }
};

// What a name of the receptivity notation reads: a variable, an output of a
// function block or a cell of an object, with the type of its value.
enum class ValueType { Bool, Int, Float, Time };

struct Reference {
    ValueType type = ValueType::Bool;
    std::string c_name;  // the generated pointer to its cell (the first cell of a TIME)
};

// The names the notation can read in a graph: "jour", "t1.Q", "c1.CV",
// "t1.ET", "barrier.seen", "box_1.status", "box_1.x"; none for another name.
std::optional<Reference> resolve(const Graph& graph, std::string_view name);

}  // namespace vx::grafcet
