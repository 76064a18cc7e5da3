// Proving invariants of a controller: every state the controller can reach,
// one pass per cycle, under every choice of its inputs at every cycle.
//
// The explored pass is the generated program's pass, on an abstract state
// that keeps every distinction a receptivity or an invariant can observe:
// step activities, the outputs' cells, each step timer capped at the first
// value from which every step-time atom that reads it is true, the state of
// the function blocks (edge and bistable memories, counters capped just
// beyond their presets and the constants they are compared with, the
// elapsed time of timers, which saturates at their preset), and, when the
// plant is left free, the class of each plant cell the controller reads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vx/grafcet/expression.hpp"
#include "vx/grafcet/graph.hpp"
#include "vx/grafcet/layout.hpp"

namespace vx::grafcet {

// An expression of the notation bound to the slots of the abstract state.
struct BoundExpression {
    enum class Op { Flag, StepTime, CompareConstant, CompareSlots, Not, And, Or };
    Op op = Op::Flag;
    std::size_t slot = 0;        // Flag, StepTime, Compare*: the slot read
    std::size_t other = 0;       // CompareSlots: the right-hand slot
    double constant = 0.0;       // StepTime: passes needed; CompareConstant: the constant
    std::string relation;        // Compare*: >=, >, <=, <, = or <>
    std::vector<BoundExpression> operands;
};

// A controller input that the exploration chooses at every pass: a bool
// input, or with a free plant a cell that behaviour code writes.
struct FreeInput {
    std::string name;                 // "jour", "barrier.seen", "box_1.x"
    CellType type = CellType::Bool;   // of its cell
    std::int32_t cell = 0;            // its cell index
    std::vector<double> values;       // the values it takes: one per class its comparisons distinguish
    bool plant = false;               // a plant cell rather than a declared input
};

// A cell of the program that the abstract state mirrors, for comparing the
// two pass by pass: the program's value clamped to [low, high] equals the
// abstract one, whenever `shown_while` (a step slot) is active or always
// when it is empty.
struct Probe {
    std::string name;
    CellType type = CellType::Bool;
    std::int32_t cell = 0;
    bool time = false;  // a TIME: days and ticks in cells +2 and +3
    std::size_t slot = 0;
    std::int64_t low = INT64_MIN;
    std::int64_t high = INT64_MAX;
    std::optional<std::size_t> shown_while;
};

struct ModelOptions {
    double period = 50000.0;  // microseconds, as the program's float cell holds it
    bool free_plant = false;
    std::vector<Expression> observed;  // invariants and assumptions: what they read is kept exact
    bool keep_inputs = false;          // the inputs of the last pass are part of the state
    std::int64_t dwell_passes = 0;     // passes an input holds once changed (0: none)
};

// The controller's pass on the abstract state. A state is a vector of
// slots; `pass` computes the state after one pass from the state before
// it and one value (an index into FreeInput::values) per free input.
class PassModel {
public:
    using State = std::vector<std::int64_t>;

    // Builds the model; on failure returns nothing and says why in `error`.
    static std::optional<PassModel> build(const Graph& graph, const ModelOptions& options, std::string& error);

    State initial() const;
    void apply_inputs(State& state, std::span<const std::int32_t> choice) const;
    State pass(const State& before, std::span<const std::int32_t> choice) const;
    void pass(const State& before, std::span<const std::int32_t> choice, State& after) const;

    // Binds an expression of the notation (an invariant or an assumption);
    // on failure says why in `error` ("unknown variable 'vrt' (nearest: vert)").
    std::optional<BoundExpression> bind(const Expression& e, std::string& error) const;
    bool evaluate(const BoundExpression& e, const State& state) const;

    const std::vector<FreeInput>& inputs() const { return inputs_; }
    std::span<const std::int32_t> input_slots() const { return input_slot_; }
    const std::vector<Probe>& probes() const { return probes_; }
    const Graph& graph() const { return *graph_; }
    double period() const { return period_; }

    // The slots that persist from pass to pass, with their widths in bits.
    struct Field {
        std::size_t slot;
        unsigned bits;
        std::int64_t low;  // stored as value - low
    };
    const std::vector<Field>& fields() const { return fields_; }

    // With a dwell, whether `choice` changes only inputs that have held long
    // enough, in the state before the pass.
    bool allowed(const State& before, std::span<const std::int32_t> choice) const;
    std::size_t slots() const { return slot_count_; }

    // The value a comparison sees in a slot: ticks for a TIME, the chosen
    // value for a free plant cell, the slot itself otherwise.
    double value(const State& state, std::size_t slot) const;

    // Names the notation can read, for suggesting the nearest to an unknown one.
    std::vector<std::string> known_names() const;

    // One step timer: its slot, the step's slot and the value at which it
    // stops counting in the abstract state. A local timer is read only by
    // the transitions leaving its step, so its value while the step is
    // inactive is never seen and is kept at 0.
    struct TimedStep {
        std::size_t step = 0;  // index into the graph's steps
        std::size_t slot = 0;
        std::int64_t cap = 0;
        bool local = true;
    };

    // One function block: the slots of its outputs and memory, its inputs.
    struct BlockRun {
        std::string_view entry;                         // "ton", "ctu", ...
        std::vector<std::optional<BoundExpression>> in;  // per input pin: a BOOL's receptivity
        std::vector<std::int64_t> constant;             // per input pin: its constant
        std::vector<std::size_t> out;                   // per output pin: its slot
        std::size_t memory = 0;                         // last input of an edge, running of a TOF
        std::int64_t low = 0, high = 0;                 // a counter's clamp
        std::int64_t step_ticks = 0;                    // what a timer adds per pass
    };

private:
    PassModel() = default;

    bool truth(const BoundExpression& e, const State& s) const;
    void run_block(const BlockRun& b, State& s, bool first) const;

    std::shared_ptr<const Graph> graph_;
    double period_ = 50000.0;
    std::size_t slot_count_ = 0;
    std::size_t first_slot_ = 0;
    std::vector<std::size_t> step_slot_;      // per step of the graph
    std::vector<std::size_t> variable_slot_;  // per variable of the graph
    std::vector<std::int32_t> input_slot_;    // per free input
    std::vector<FreeInput> inputs_;
    std::vector<TimedStep> timers_;
    std::vector<BlockRun> blocks_;
    struct Firing {
        std::size_t from, to, component;
        std::optional<std::size_t> preferred;  // the transition of the choice listed first
        BoundExpression receptivity;
    };
    std::vector<Firing> transitions_;
    std::vector<std::vector<std::size_t>> action_slots_;  // per step: its outputs' slots
    std::vector<std::size_t> step_component_;
    struct ComponentWork {
        std::vector<std::size_t> transitions;  // its transitions, in order
        std::vector<std::size_t> timers;       // its timed steps (into timers_), in step order
        std::vector<std::size_t> acting;       // its steps with actions, in step order
    };
    std::vector<ComponentWork> components_;
    struct Decoding {
        enum class Kind { Raw, Table } kind = Kind::Raw;
        std::size_t input = 0;  // Table: the free input whose values it indexes
    };
    std::vector<Decoding> decoding_;          // per slot
    std::vector<std::pair<std::string, std::size_t>> names_;  // name -> slot, for binding
    std::vector<std::pair<std::string, ValueType>> name_types_;
    std::vector<Field> fields_;
    std::vector<std::size_t> age_slot_;  // per free input, with a dwell
    std::int64_t dwell_ = 0;
    std::vector<Probe> probes_;
    GraphLayout layout_;
};

// ---- The exploration ----------------------------------------------------------------

struct CheckOptions {
    std::vector<std::string> invariants;  // as written
    std::vector<std::string> assumptions;
    double period = 50000.0;              // microseconds
    double min_dwell = 0.0;               // seconds an input holds once changed
    bool free_plant = false;
    std::uint64_t max_states = 0;         // 0: no bound
    const volatile int* interrupted = nullptr;  // set asynchronously to stop early
};

struct CheckResult {
    enum class Outcome { Holds, Violated, Bounded, Interrupted, Error };
    Outcome outcome = Outcome::Error;
    std::string error;                 // Error: what is wrong
    std::uint64_t states = 0;          // reached after one pass or more
    std::uint64_t transitions = 0;     // (state, input choice) pairs explored
    std::uint64_t depth = 0;           // the most passes any state needs to be reached
    double seconds = 0.0;              // the exploration's time
    std::size_t store_bytes = 0;       // what the state store holds
    std::string invariant;             // Violated: the broken invariant, as written
    std::string reached;               // Violated: the active steps and outputs on after the last pass
    std::vector<std::vector<std::int32_t>> counterexample;  // Violated: the choice of each pass
    std::vector<std::string> notes;    // what the report should add (free plant cells)
    std::vector<FreeInput> inputs;     // the inputs the choices index
};

CheckResult check(const Graph& graph, const CheckOptions& options);

// The report's lines: "holds in all 1234 reachable states (5678 transitions,
// longest path 290 passes)", or "violated after 3 passes" and the inputs of
// each pass.
std::string report(const CheckResult& result, double period);

// The counterexample as a scenario that the simulator replays: the inputs
// that change at each pass on plant time, the broken invariant, and the end
// just after the violating pass.
std::string counterexample_scenario(const CheckResult& result, const Graph& graph, double period);

// The invariant lines of a scenario file, as written.
std::vector<std::string> scenario_invariants(std::string_view text);

// `vxgen check DESCRIPTION [options]`: arguments after the word "check".
// Exit status 0 when every invariant holds, 2 when one is violated, 3 when
// the bound or Ctrl-C stopped the exploration first, 1 on an error.
int check_command(int argc, char** argv);

// The nearest of `names` to `name` by edit distance, at most `count` of them.
std::vector<std::string> nearest_names(std::string_view name, const std::vector<std::string>& names,
                                       std::size_t count = 3);

}  // namespace vx::grafcet
