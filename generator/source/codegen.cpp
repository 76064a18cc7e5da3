// The generated modules are meant to be read: one line per transition,
// action and cell, the description's names throughout, every receptivity
// beside its code as the description writes it.
#include "vx/grafcet/codegen.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <utility>

#include "vx/grafcet/c_names.hpp"
#include "vx/time_cells.hpp"

namespace vx::grafcet {
namespace {

constexpr std::array<std::string_view, 4> kAreaMember{"boolCells", "intCells", "floatCells", "charCells"};

std::string pad(std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string number(std::int64_t n) { return std::to_string(n); }

std::string join(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0) out += separator;
        out += items[k];
    }
    return out;
}

// A C literal for a 32-bit value (the most negative one has no literal).
std::string int32_literal(std::int32_t value) {
    return value == INT32_MIN ? "INT32_MIN" : number(value);
}

// A duration as written ("5", "1.5", ".5") made into a C double literal.
std::string double_literal(std::string text) {
    if (text.front() == '.') text.insert(0, "0");
    if (text.find('.') == std::string::npos) text += ".0";
    if (text.back() == '.') text += "0";
    return text;
}

using Names = CNames;

// ---- How a block's library entry is called -----------------------------------
// The library's block table (iec/tables/blocks.def) says what each entry
// takes: the TIME-form timers their preset and elapsed time as TIME arrays,
// the other entries their inputs and then the instance variables that the
// caller keeps for them, by address.

enum class CallForm { TimeTimer, Counter, Edge, Bistable, Unknown };

struct LibraryEntry {
    std::string_view name;
    std::string_view parameters;  // as the table writes them; "TIME" for a TIME-form timer
    std::string_view instance;    // a TIME-form timer's instance variables after CV, as the table writes them
};

inline constexpr std::array kLibraryEntries{
#define IEC_FUNCTION(result, name, params) LibraryEntry{#name, #params, ""},
#define IEC_UNIT_TIMER(block, unit, divisor, code, third)
#define IEC_TIME_TIMER(block, code, instance) LibraryEntry{#block "_Q", "TIME", #instance},
#include "blocks.def"
#undef IEC_FUNCTION
#undef IEC_UNIT_TIMER
#undef IEC_TIME_TIMER
};

// The entry that a block of library stem `stem` is run by: the table's first
// entry of that stem (the one for its first output).
constexpr const LibraryEntry* first_entry(std::string_view stem) {
    for (const LibraryEntry& e : kLibraryEntries) {
        if (e.name.size() > stem.size() && e.name.starts_with(stem) && e.name[stem.size()] == '_' &&
            e.name.find('_', stem.size() + 1) == std::string_view::npos)
            return &e;
    }
    return nullptr;
}

// The entry for output `pin` of a block of library stem `stem`: <stem>_<pin>.
constexpr const LibraryEntry* output_entry(std::string_view stem, std::string_view pin) {
    for (const LibraryEntry& e : kLibraryEntries) {
        if (e.name.size() == stem.size() + 1 + pin.size() && e.name.starts_with(stem) && e.name[stem.size()] == '_' &&
            e.name.ends_with(pin))
            return &e;
    }
    return nullptr;
}

constexpr CallForm call_form(const LibraryEntry* e) {
    if (e == nullptr) return CallForm::Unknown;
    if (e->parameters == "TIME") return CallForm::TimeTimer;
    if (e->parameters.find("i16_var CV, i16_var cycle_mark") != std::string_view::npos) return CallForm::Counter;
    if (e->parameters.find("i16_var last_in") != std::string_view::npos) return CallForm::Edge;
    if (e->parameters.find("i16_var q1_state") != std::string_view::npos) return CallForm::Bistable;
    return CallForm::Unknown;
}

constexpr bool every_block_has_a_call() {
    for (const BlockKind& kind : kBlockKinds) {
        if (call_form(first_entry(kind.entry)) == CallForm::Unknown) return false;
    }
    return true;
}
static_assert(every_block_has_a_call(), "every block a description can use has an entry in the library's table");

// A counter's BOOL outputs are each read from their own entry (the library
// advances an instance once per cycle, however many of its outputs are read).
constexpr bool every_counter_output_has_an_entry() {
    for (const BlockKind& kind : kBlockKinds) {
        if (call_form(first_entry(kind.entry)) != CallForm::Counter) continue;
        for (std::size_t o = 0; o + 1 < kind.output_count; ++o) {
            if (output_entry(kind.entry, kind.output_pins[o].name) == nullptr) return false;
        }
    }
    return true;
}
static_assert(every_counter_output_has_an_entry(), "every counter output has an entry in the library's table");

// The C declarations of a TIME-form timer's instance variables, from the
// table's list, "(i16_var running, i32_var cycle_mark)": type and name.
std::vector<std::pair<std::string, std::string>> instance_variables(std::string_view list) {
    std::vector<std::pair<std::string, std::string>> variables;
    list = list.substr(1, list.size() - 2);
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view one = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        while (one.starts_with(' ')) one.remove_prefix(1);
        const std::size_t space = one.find(' ');
        const std::string_view type = one.substr(0, space);
        variables.emplace_back(type == "i16_var" ? "int16_t" : "int32_t", std::string(one.substr(space + 1)));
    }
    return variables;
}

std::string title(const Graph& graph, std::string_view what, std::string_view description) {
    return "/*\n * Controller " + graph.name + " (unit " + graph.unit + ", graph " + graph.name + "): " +
           std::string(what) + ".\n * Generated by vxgen from " + std::string(description) +
           "; do not edit.\n";
}

std::string fire(std::size_t transition) { return "fire_" + number(static_cast<std::int64_t>(transition) + 1); }

// ---- Receptivities in C ------------------------------------------------------

int precedence(Expression::Kind kind) {
    switch (kind) {
        case Expression::Kind::Or: return 1;
        case Expression::Kind::And: return 2;
        default: return 3;
    }
}

// A constant of a comparison as C writes it.
std::string c_constant(const std::string& written, bool floating) {
    return floating || written.find('.') != std::string::npos ? double_literal(written) : written;
}

std::string c_relation(const std::string& relation) {
    return relation == "=" ? "==" : relation == "<>" ? "!=" : relation;
}

class ReceptivityWriter {
public:
    ReceptivityWriter(const Graph& graph, const Names& names) : graph_(graph), names_(names) {}

    std::string operator()(const Expression& e) const {
        switch (e.kind) {
            case Expression::Kind::Variable: return "vx_bool_cur(" + resolve(graph_, e.name)->c_name + ")";
            case Expression::Kind::Compare: return comparison(e);
            case Expression::Kind::Step: return "vx_bool_cur(" + names_.step(e.step) + ")";
            case Expression::Kind::StepTime:
                return "step_time_reached(" + names_.timer(e.step) + ", " + double_literal(e.duration) + ")";
            case Expression::Kind::Not: return "!" + operand(e.operands.front());
            case Expression::Kind::And:
            case Expression::Kind::Or: {
                std::vector<std::string> parts;
                for (const Expression& o : e.operands) parts.push_back(operand(o));
                return join(parts, e.kind == Expression::Kind::And ? " && " : " || ");
            }
        }
        return {};
    }

    // An operand of an operator: a compound one goes in parentheses, also
    // where C's precedence would not need them (&& inside ||), to read plainly.
    std::string operand(const Expression& e) const {
        const std::string text = (*this)(e);
        return precedence(e.kind) < 3 ? "(" + text + ")" : text;
    }

private:
    static std::string value(const Reference& r) {
        switch (r.type) {
            case ValueType::Int: return "vx_int_cur(" + r.c_name + ")";
            case ValueType::Float: return "vx_float_cur(" + r.c_name + ")";
            case ValueType::Time: return "time_total(" + r.c_name + ")";
            case ValueType::Bool: break;
        }
        return "vx_bool_cur(" + r.c_name + ")";
    }

    std::string comparison(const Expression& e) const {
        const Reference r = *resolve(graph_, e.name);
        const std::string relation = " " + c_relation(e.relation) + " ";
        if (!e.other.empty()) return value(r) + relation + value(*resolve(graph_, e.other));
        switch (r.type) {
            case ValueType::Int: return "vx_int_cur(" + r.c_name + ")" + relation + c_constant(e.duration, false);
            case ValueType::Float: return "vx_float_cur(" + r.c_name + ")" + relation + c_constant(e.duration, true);
            case ValueType::Time:
                return "time_total(" + r.c_name + ")" + relation + "INT64_C(" +
                       number(std::llround(e.seconds * 10000.0)) + ")";
            case ValueType::Bool: break;
        }
        return {};
    }

    const Graph& graph_;
    const Names& names_;
};

// ---- Function blocks and objects ----------------------------------------------------

constexpr std::array<std::string_view, 4> kCellTypeName{"BoolCell", "IntCell", "FloatCell", "CharCell"};
constexpr std::array<std::string_view, 4> kAreaName{"bool", "int", "float", "char"};

CellType cell_type(PinType type) { return type == PinType::Bool ? CellType::Bool : CellType::Int; }

// Every cell pointer of the blocks and the objects, in allocation order
// within each area: (type, C name, cell index, what).
struct PlantPointer {
    CellType type;
    std::string name;
    std::int32_t index;
    std::string what;
};

std::vector<PlantPointer> plant_pointers(const Graph& graph, const GraphLayout& layout, const Names& names) {
    std::vector<PlantPointer> out;
    for (std::size_t k = 0; k < graph.blocks.size(); ++k) {
        const Block& b = graph.blocks[k];
        const auto outputs = b.type().outputs();
        for (std::size_t o = 0; o < outputs.size(); ++o)
            out.push_back({cell_type(outputs[o].type), names.member(b.name, outputs[o].name), layout.blocks[k].outputs[o],
                           std::string(b.type().type) + " " + b.name + "." + std::string(outputs[o].name) +
                               (outputs[o].type == PinType::Time ? " (TIME: days, ticks in cells +2, +3)" : "")});
    }
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        const Object& o = graph.objects[k];
        const Model& m = graph.models[o.model];
        out.push_back({CellType::Int, names.member(o.name, "status"), layout.objects[k].status, o.name + ".status"});
        out.push_back({CellType::Float, names.member(o.name, "matrix"), layout.objects[k].matrix, o.name + " matrix (16 cells)"});
        for (std::size_t v = 0; v < m.variables.size(); ++v)
            out.push_back({m.variables[v].type, names.member(o.name, m.variables[v].name), layout.objects[k].variables[v],
                           o.name + "." + m.variables[v].name});
    }
    std::stable_sort(out.begin(), out.end(), [](const PlantPointer& a, const PlantPointer& b) {
        return a.type != b.type ? a.type < b.type : a.index < b.index;
    });
    return out;
}

std::string plant_declarations(const Graph& graph, const GraphLayout& layout, const Names& names) {
    if (!graph.uses_library()) return {};
    std::string out = "\n/* Outputs of the function blocks and cells of the objects (bound by the graph\n"
                      " * functions). */\n";
    for (const PlantPointer& p : plant_pointers(graph, layout, names))
        out += pad("extern " + std::string(kCellTypeName[static_cast<std::size_t>(p.type)]) + " *" + p.name + ";", 40) +
               " /* " + std::string(kAreaName[static_cast<std::size_t>(p.type)]) + " " + number(p.index) + ", " + p.what +
               " */\n";
    if (graph.models.empty()) return out;
    out += "\n/* The models' behaviour functions: the products step runs a product's\n"
           " * model; an object's model is this function. */\n";
    std::set<std::string> declared;
    for (const Model& m : graph.models) {
        if (!declared.insert(names.model_function(m)).second) continue;
        out += pad("int32_t " + names.model_function(m) + "(void);", 40) + " /* model " + m.name +
               (m.behaviour.empty() ? ", does nothing" : "") + " */\n";
    }
    std::string offsets;
    for (const Model& m : graph.models) {
        std::array<std::int32_t, 4> next{0, 1, kMatrixCells, 0};  // after the status cell and the matrix
        for (const ModelVariable& v : m.variables)
            offsets += "    " + pad(names.offset(m, v) + " = " + number(next[static_cast<std::size_t>(v.type)]++) + ",", 44) +
                       "/* " + std::string(kAreaName[static_cast<std::size_t>(v.type)]) + " */\n";
    }
    if (!offsets.empty())
        out += "\n/* Where an object's own variables lie, counted from its first cell of their\n"
               " * type (self during its behaviour, otherPointers for the object offered to\n"
               " * it): ints after the status cell, floats after the matrix. */\nenum {\n" +
               offsets + "};\n";
    return out;
}

// ---- The header -----------------------------------------------------------------

std::string header_module(const Graph& graph, const GraphLayout& layout, std::string_view description) {
    const Names names(graph);
    std::string guard = "VX_CONTROLLER_" + graph.name + "_H";
    std::transform(guard.begin(), guard.end(), guard.begin(), [](unsigned char c) { return std::toupper(c); });

    std::string out = title(graph, "declarations of the graph module", description);
    out += " *\n * Every variable is a cell of the shared block, reached through a pointer\n"
           " * that is bound afresh from the allocation cursors before every pass.\n */\n";
    out += "#ifndef " + guard + "\n#define " + guard + "\n\n#include \"vx_runtime.h\"\n";
    if (graph.uses_library()) out += "#include \"iec_1131.h\"\n#include \"vx_products.h\"\n";
    out += "\n";
    out += "#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n";

    out += "/* Inputs and outputs, in declaration order (bound by inputOutputVariablesInit). */\n";
    for (std::size_t k = 0; k < graph.variables.size(); ++k) {
        const Variable& v = graph.variables[k];
        out += pad("extern BoolCell *" + names.variable(v.name) + ";", 40) + " /* bool " +
               number(layout.variables[k]) + ", " + (v.direction == Direction::Input ? "input" : "output") +
               " */\n";
    }
    out += "\n/* Step activities, previous activities and step timers (bound by the graph\n"
           " * functions). */\n";
    for (const StepCells& s : layout.steps)
        out += pad("extern BoolCell *" + names.step(s.number) + ";", 40) + " /* bool " + number(s.activity) + " */\n";
    for (const int n : layout.previous_order)
        out += pad("extern BoolCell *" + names.previous(n) + ";", 40) + " /* bool " +
               number(*layout.step(n)->previous) + " */\n";
    for (const int n : layout.timer_order)
        out += pad("extern IntCell *" + names.timer(n) + ";", 40) + " /* int " + number(*layout.step(n)->timer) +
               " */\n";
    out += plant_declarations(graph, layout, names);
    out += "\n/* Marks the initial steps; returns 0. */\nint32_t " + names.initialisation() + "(void);\n";
    out += "\n/* One evolution pass; returns 0. */\nint32_t " + names.evolution() + "(void);\n";
    out += "\n#ifdef __cplusplus\n}\n#endif\n\n#endif\n";
    return out;
}

// ---- The graph module -----------------------------------------------------------

class GraphModule {
public:
    GraphModule(const Graph& graph, const GraphLayout& layout) : graph_(graph), layout_(layout), names_(graph) {}

    std::string text(std::string_view description) {
        out_ = title(graph_, "the graph module", description);
        out_ += " *\n * Components, in pass order:\n";
        for (std::size_t c = 0; c < graph_.components.size(); ++c)
            out_ += " *   " + graph_.components[c].name + ": steps " + join(step_numbers(c), ", ") + "\n";
        out_ += " *\n"
                " * A pass evaluates every transition on the state found at its start. Then\n"
                " * each component in turn clears the upstream and sets the downstream steps\n"
                " * of its firing transitions, counts the time of its active timed steps,\n"
                " * resets the outputs of the steps it left and sets those of its active\n"
                " * steps. Last, every previous-activity cell takes its step's activity and\n"
                " * every output is posted, so that a forced output keeps its forced value.\n"
                " */\n";
        out_ += "#include \"" + names_.file(".h") + "\"\n\n";
        globals();
        binding();
        helpers();
        initialisation();
        evolution();
        return std::move(out_);
    }

private:
    std::vector<std::string> step_numbers(std::size_t component) const {
        std::vector<std::string> out;
        for (const Step& s : graph_.steps)
            if (s.component == component) out.push_back(number(s.number));
        return out;
    }
    std::size_t bool_cells() const { return layout_.steps.size() + layout_.previous_order.size(); }
    bool has_actions() const {
        return std::any_of(graph_.steps.begin(), graph_.steps.end(), [](const Step& s) { return !s.actions.empty(); });
    }

    void globals() {
        for (const StepCells& s : layout_.steps) out_ += "BoolCell *" + names_.step(s.number) + ";\n";
        for (const int n : layout_.previous_order) out_ += "BoolCell *" + names_.previous(n) + ";\n";
        for (const int n : layout_.timer_order) out_ += "IntCell *" + names_.timer(n) + ";\n";
        for (const PlantPointer& p : plant_pointers(graph_, layout_, names_))
            out_ += std::string(kCellTypeName[static_cast<std::size_t>(p.type)]) + " *" + p.name + ";\n";
        out_ += "\n";
    }

    // Where the graph's cells begin: the cursors after the inputs and outputs.
    std::array<std::int32_t, 4> first_cells() const {
        return {kFirstUserCell[0] + static_cast<std::int32_t>(graph_.variables.size()), kFirstUserCell[1],
                kFirstUserCell[2], kFirstUserCell[3]};
    }

    void binding() {
        out_ += "/* The graph's cells follow the inputs and outputs: the steps, then the\n"
                " * previous activities in the bool area, the timers in the int area. */\n";
        out_ += "static void bind_graph_cells(void) {\n";
        std::size_t k = 0;
        for (const StepCells& s : layout_.steps)
            out_ += "    " + names_.step(s.number) + " = self.boolCells + " + number(static_cast<std::int64_t>(k++)) + ";\n";
        for (const int n : layout_.previous_order)
            out_ += "    " + names_.previous(n) + " = self.boolCells + " + number(static_cast<std::int64_t>(k++)) + ";\n";
        k = 0;
        for (const int n : layout_.timer_order)
            out_ += "    " + names_.timer(n) + " = self.intCells + " + number(static_cast<std::int64_t>(k++)) + ";\n";
        const auto first = first_cells();
        for (const PlantPointer& p : plant_pointers(graph_, layout_, names_)) {
            const auto area = static_cast<std::size_t>(p.type);
            out_ += "    " + p.name + " = self." + std::string(kAreaMember[area]) + " + " + number(p.index - first[area]) +
                    ";\n";
        }
        out_ += "}\n\n";
        out_ += "/* Moves the cursors past the graph's cells. */\nstatic void skip_graph_cells(void) {\n";
        out_ += "    self.boolCells += " + number(layout_.counts[0] - first[0]) + ";\n";
        const std::int32_t ints = layout_.counts[1] - static_cast<std::int32_t>(kRuntimeIntCells.size()) - 1 - first[1];
        if (ints > 0) out_ += "    self.intCells += " + number(ints) + ";\n";
        if (layout_.counts[2] > first[2]) out_ += "    self.floatCells += " + number(layout_.counts[2] - first[2]) + ";\n";
        out_ += "}\n\n";
    }

    void helpers() {
        if (!layout_.timer_order.empty()) {
            out_ +=
                "/* A step's time has reached `seconds` when its timer, read as unsigned,\n"
                " * counts at least seconds x 1000000 / period passes. A period of 0 makes\n"
                " * that number infinite, so the time is never reached; a NaN period never\n"
                " * compares true, a negative one always does. */\n"
                "static int step_time_reached(const IntCell *timer, double seconds) {\n"
                "    const double period = (double)vx_float_cur(simuperiod);\n"
                "    if (period == 0.0) return 0;\n"
                "    return (double)(uint32_t)vx_int_cur(timer) >= seconds * 1000000.0 / period;\n"
                "}\n\n"
                "/* The timer of an active step: 0 in the pass that activated it, one more\n"
                " * in every later pass, up to 2147483647. An inactive step's timer keeps\n"
                " * its value. */\n"
                "static void count_step_time(const BoolCell *step, const BoolCell *previous, IntCell *timer) {\n"
                "    uint32_t passes;\n"
                "    if (!vx_bool_cur(step)) return;\n"
                "    if (!vx_bool_cur(previous)) {\n"
                "        vx_int_set_cur(timer, 0);\n"
                "        return;\n"
                "    }\n"
                "    passes = (uint32_t)vx_int_cur(timer);\n"
                "    if (passes <= 2147483646u) vx_int_set_cur(timer, (int32_t)(passes + 1u));\n"
                "}\n\n";
        }
        if (reads_time_output()) {
            out_ +=
                "/* The total of a TIME output, in ticks of 100 us. */\n"
                "static int64_t time_total(const IntCell *time) {\n"
                "    return (int64_t)vx_int_cur(time + 2) * " + number(kTicksPerDay) + " + vx_int_cur(time + 3);\n"
                "}\n\n";
        }
        if (has_actions()) {
            out_ +=
                "/* The step was active at the end of the previous pass and is no longer. */\n"
                "static int step_left(const BoolCell *step, const BoolCell *previous) {\n"
                "    return vx_bool_cur(previous) && !vx_bool_cur(step);\n"
                "}\n\n";
        }
    }

    void initialisation() {
        out_ += "int32_t " + names_.initialisation() + "(void) {\n    bind_graph_cells();\n";
        for (const Step& s : graph_.steps)
            if (s.initial) out_ += "    vx_bool_set_cur(" + names_.step(s.number) + ", 1);\n";
        out_ += "    skip_graph_cells();\n    return 0;\n}\n\n";
    }

    // The first transition of the choice that `t` is second of, if any.
    std::optional<std::size_t> preferred_over(std::size_t t) const {
        for (std::size_t k = 0; k < t; ++k)
            if (graph_.transitions[k].from == graph_.transitions[t].from) return k;
        return std::nullopt;
    }

    bool reads_time_output() const {
        bool found = false;
        const auto visit = [&](const auto& self_visit, const Expression& e) -> void {
            if (e.kind == Expression::Kind::Compare && resolve(graph_, e.name)->type == ValueType::Time) found = true;
            if (e.kind == Expression::Kind::Compare && !e.other.empty() &&
                resolve(graph_, e.other)->type == ValueType::Time)
                found = true;
            for (const Expression& o : e.operands) self_visit(self_visit, o);
        };
        for (const Transition& t : graph_.transitions) visit(visit, t.receptivity);
        for (const Block& b : graph_.blocks)
            for (const BlockInput& in : b.inputs)
                if (in.expression) visit(visit, *in.expression);
        return found;
    }

    // The C value of a BOOL input: its receptivity, or its constant.
    std::string bool_input(const BlockInput& in) const {
        return in.expression ? ReceptivityWriter(graph_, names_)(*in.expression) : number(in.value);
    }

    // One block's run, its outputs written and posted. Instance variables
    // that are not outputs are the block's own statics; a counter's CV and a
    // bistable's Q1 are kept in their output cells, so that forcing or a
    // parameters line sets the block's state.
    void run_block(const Block& b) {
        const BlockKind& kind = b.type();
        const std::string entry(kind.entry);
        const auto output = [&](std::size_t o) { return names_.member(b.name, kind.output_pins[o].name); };
        std::vector<std::string> in;
        for (std::size_t k = 0; k < b.inputs.size(); ++k)
            in.push_back(kind.input_pins[k].type == PinType::Bool ? bool_input(b.inputs[k]) : number(b.inputs[k].value));
        std::string text;
        for (std::size_t k = 0; k < b.inputs.size(); ++k)
            text += (k ? ", " : " ") + std::string(kind.input_pins[k].name) + " = " + b.inputs[k].text;
        out_ += "    {   /* " + b.name + ": " + std::string(kind.type) + text + " */\n";
        const std::string pad8 = "        ";
        const LibraryEntry* library = first_entry(kind.entry);
        const std::string call = std::string(library->name) + "(";
        switch (call_form(library)) {
            case CallForm::TimeTimer: {
                const std::int64_t ticks = b.inputs[1].value;
                out_ += pad8 + "static const IntCell pt[4] = {{0}, {0}, {.cur = " + number(ticks / kTicksPerDay) +
                        "}, {.cur = " + number(ticks % kTicksPerDay) + "}};\n";
                std::string kept;
                for (const auto& [type, name] : instance_variables(library->instance)) {
                    out_ += pad8 + "static " + type + " " + name + ";\n";
                    kept += ", &" + name;
                }
                out_ += pad8 + "vx_bool_set_cur(" + output(0) + ", " + call + in[0] + ", pt, " + output(1) + kept + "));\n";
                out_ += pad8 + "VX_post_bool(" + output(0) + ");\n" + pad8 + "VX_freeze_int_array(" + output(1) + ", 2);\n";
                break;
            }
            case CallForm::Counter: {
                std::vector<std::string> args(in.begin(), in.end());
                out_ += pad8 + "static int16_t cycle_mark;\n";
                out_ += pad8 + "int16_t cv = (int16_t)vx_int_cur(" + output(kind.output_count - 1) + ");\n";
                for (std::size_t o = 0; o + 1 < kind.output_count; ++o) {
                    const std::string_view pin = kind.output_pins[o].name;
                    out_ += pad8 + "vx_bool_set_cur(" + output(o) + ", " + std::string(output_entry(kind.entry, pin)->name) +
                            "(" + join(args, ", ") + ", &cv, &cycle_mark));\n";
                }
                out_ += pad8 + "vx_int_set_cur(" + output(kind.output_count - 1) + ", cv);\n";
                for (std::size_t o = 0; o + 1 < kind.output_count; ++o) out_ += pad8 + "VX_post_bool(" + output(o) + ");\n";
                out_ += pad8 + "VX_post_int(" + output(kind.output_count - 1) + ");\n";
                break;
            }
            case CallForm::Edge:
                out_ += pad8 + "static int16_t last_in;\n";
                out_ += pad8 + "vx_bool_set_cur(" + output(0) + ", " + call + in[0] + ", &last_in));\n";
                out_ += pad8 + "VX_post_bool(" + output(0) + ");\n";
                break;
            case CallForm::Bistable:
            case CallForm::Unknown:  // refused by the static_assert above
                out_ += pad8 + "int16_t q1 = (int16_t)vx_bool_cur(" + output(0) + ");\n";
                out_ += pad8 + "vx_bool_set_cur(" + output(0) + ", " + call + in[0] + ", " + in[1] + ", &q1));\n";
                out_ += pad8 + "VX_post_bool(" + output(0) + ");\n";
                break;
        }
        out_ += "    }\n";
    }

    void evolution() {
        const ReceptivityWriter receptivity(graph_, names_);
        out_ += "int32_t " + names_.evolution() + "(void) {\n    bind_graph_cells();\n\n";
        if (graph_.uses_library()) {
            out_ += "    /* The library's results of the previous pass are released. */\n    free_all_alloc();\n\n";
        }
        if (!graph_.blocks.empty()) {
            out_ += "    /* The function blocks, in declaration order, each once on the state that\n"
                    "     * it finds: the start of the pass, and the outputs of the blocks above it. */\n";
            for (const Block& b : graph_.blocks) run_block(b);
            out_ += "\n";
        }
        out_ += "    /* Which transitions fire, all on the state at the start of the pass. */\n";
        for (std::size_t k = 0; k < graph_.transitions.size(); ++k) {
            const Transition& t = graph_.transitions[k];
            out_ += "    /* " + graph_.components[t.component].name + ": " + number(t.from) + " -> " + number(t.to) +
                    " when " + t.text + " */\n";
            std::string condition = "vx_bool_cur(" + names_.step(t.from) + ")";
            if (const auto first = preferred_over(k)) condition += " && !" + fire(*first);
            condition += " && " + receptivity.operand(t.receptivity);
            out_ += "    const int " + fire(k) + " = " + condition + ";\n";
        }
        for (std::size_t c = 0; c < graph_.components.size(); ++c) component(c);
        previous_activity();
        posting();
        out_ += "\n    skip_graph_cells();\n    return 0;\n}\n";
    }

    void component(std::size_t c) {
        out_ += "\n    /* Component " + graph_.components[c].name + " */\n";
        std::vector<std::size_t> own;
        for (std::size_t k = 0; k < graph_.transitions.size(); ++k)
            if (graph_.transitions[k].component == c) own.push_back(k);
        if (!own.empty()) out_ += "    /* Steps left, then steps entered: a step left and entered stays active. */\n";
        for (const std::size_t k : own)
            out_ += "    if (" + fire(k) + ") vx_bool_set_cur(" + names_.step(graph_.transitions[k].from) + ", 0);\n";
        for (const std::size_t k : own)
            out_ += "    if (" + fire(k) + ") vx_bool_set_cur(" + names_.step(graph_.transitions[k].to) + ", 1);\n";
        bool timers = false;
        for (const Step& s : graph_.steps) {
            if (s.component != c || !layout_.step(s.number)->timer) continue;
            if (!std::exchange(timers, true)) out_ += "    /* Step timers. */\n";
            out_ += "    count_step_time(" + names_.step(s.number) + ", " + names_.previous(s.number) + ", " +
                    names_.timer(s.number) + ");\n";
        }
        if (std::any_of(graph_.steps.begin(), graph_.steps.end(),
                        [&](const Step& s) { return s.component == c && !s.actions.empty(); }))
            out_ += "    /* Outputs of the steps left are reset, then those of the active steps set. */\n";
        actions(c, false);
        actions(c, true);
    }

    // The resets of the outputs of the steps left in this pass, or the sets of
    // those of the active steps, for one component.
    void actions(std::size_t c, bool set) {
        const std::string value = set ? ", 1);\n" : ", 0);\n";
        for (const Step& s : graph_.steps) {
            if (s.component != c || s.actions.empty()) continue;
            const std::string condition =
                set ? "vx_bool_cur(" + names_.step(s.number) + ")"
                    : "step_left(" + names_.step(s.number) + ", " + names_.previous(s.number) + ")";
            if (s.actions.size() == 1) {
                out_ += "    if (" + condition + ") vx_bool_set_cur(" + names_.variable(s.actions.front()) + value;
                continue;
            }
            out_ += "    if (" + condition + ") {\n";
            for (const std::string& output : s.actions)
                out_ += "        vx_bool_set_cur(" + names_.variable(output) + value;
            out_ += "    }\n";
        }
    }

    void previous_activity() {
        if (layout_.previous_order.empty()) return;
        out_ += "\n    /* Every step's activity as the next pass finds it. */\n";
        for (const int n : layout_.previous_order)
            out_ += "    vx_bool_set_cur(" + names_.previous(n) + ", vx_bool_cur(" + names_.step(n) + "));\n";
    }

    void posting() {
        std::string lines;
        for (const Variable& v : graph_.variables)
            if (v.direction == Direction::Output) lines += "    VX_post_bool(" + names_.variable(v.name) + ");\n";
        if (lines.empty()) return;
        out_ += "\n    /* A forced output takes its forced value again. */\n" + lines;
    }

    const Graph& graph_;
    const GraphLayout& layout_;
    Names names_;
    std::string out_;
};

// ---- The _init module ------------------------------------------------------------

std::string float_literal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    std::string out = text;
    if (out.find_first_of(".e") == std::string::npos) out += ".0";
    return out + "f";
}

std::vector<std::string> float_literals(const std::array<double, 3>& values) {
    return {float_literal(values[0]), float_literal(values[1]), float_literal(values[2])};
}

// The plant's table as the products step reads it, the models without a
// behaviour of their own, and the placement of an object at start-up.
std::string plant_table(const Graph& graph, const GraphLayout& layout, const Names& names) {
    if (graph.objects.empty()) return {};
    std::string out;
    for (const Model& m : graph.models) {
        if (m.behaviour.empty())
            out += "/* Model " + m.name + " has no behaviour of its own. */\nint32_t " + names.model_function(m) +
                   "(void) { return 0; }\n\n";
    }
    std::int32_t actors = 0;
    out += "/* The plant: the actors, then the product slots. An object's cells begin at\n"
           " * its first bool cell, its status (int), its matrix (float) and its first char\n"
           " * cell; a slot whose status is 2 is free for prodNew. */\n"
           "ActeurProduit TableActeursProduits[] = {\n";
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        const Object& o = graph.objects[k];
        const ObjectLayout& c = layout.objects[k];
        actors += o.actor ? 1 : 0;
        out += "    {.startBool = " + number(c.first_bool) + ", .startInt = " + number(c.status) +
               ", .startFloat = " + number(c.matrix) + ", .startChar = " + number(c.first_char) +
               ",\n     .model = " + names.model_function(graph.models[o.model]) +
               ", .initialStatus = " + (o.alive ? "1" : "2") + ", .actorId = " + number(o.id) + "},  /* " + o.name +
               " */\n";
    }
    const auto all = static_cast<std::int32_t>(graph.objects.size());
    out += "};\nint32_t NbActeurs = " + number(actors) + ";\nint32_t NbProduits = " + number(all - actors) +
           ";\nint32_t NbActeursEtProduits = " + number(all) + ";\n\n";
    out += "/* An object's matrix at start-up: its translation and its sizes (the\n"
           " * cosine of its rotation about Y, 1, in element (3,3)). */\n"
           "static void place(int32_t matrix, float x, float y, float z, float sx, float sy, float sz) {\n"
           "    const float m[16] = {sx, 0.0f, 0.0f, x, 0.0f, sy, 0.0f, y, 0.0f, 0.0f, sz, z, 0.0f, 0.0f, 0.0f, 1.0f};\n"
           "    int32_t i;\n"
           "    for (i = 0; i < 16; ++i) VX_Float_Init(memHeader, matrix + i, m[i]);\n"
           "}\n\n";
    return out;
}

std::string init_module(const Graph& graph, const GraphLayout& layout, std::string_view description) {
    const Names names(graph);
    const auto& n = layout.counts;
    std::string out = title(graph, "sizes, places and start values of its variables", description);
    out += " */\n#include \"" + names.file(".h") + "\"\n\n";
    for (const Variable& v : graph.variables) out += "BoolCell *" + names.variable(v.name) + ";\n";
    if (!graph.variables.empty()) out += "\n";
    out += "static const char task_name[] = \"" + graph.name + ".exe\";\n\n";

    out += "/* No lower bounds of its own; the cell counts of bool, int, float and char. */\n"
           "void memorySizeInit(VX_Sizes *lowest, VX_Sizes *upper, VX_Sizes *counts) {\n"
           "    const VX_Sizes cells = {" +
           number(n[0]) + ", " + number(n[1]) + ", " + number(n[2]) + ", " + number(n[3]) +
           "};\n"
           "    const VX_Sizes zero = {0, 0, 0, 0};\n"
           "    *lowest = zero;\n"
           "    *upper = cells;\n"
           "    *counts = cells;\n"
           "}\n\n";
    out += "/* The controller's cells begin after the runtime's control cells. */\n"
           "void memoryStartInit(VX_Areas *cursors) {\n"
           "    cursors->boolCells += minBool + VX_FIXED_BOOL_CELLS;\n"
           "    cursors->intCells += minInt + VX_FIXED_INT_CELLS;\n"
           "    cursors->floatCells += minFloat + VX_FIXED_FLOAT_CELLS;\n"
           "    cursors->charCells += minChar + VX_FIXED_CHAR_CELLS;\n"
           "}\n\n";
    out += "void inputOutputVariablesInit(void) {\n";
    for (const Variable& v : graph.variables) out += "    " + names.variable(v.name) + " = self.boolCells++;\n";
    out += "}\n\n";
    out += "int32_t behaviorsInit(void) {\n    inputOutputVariablesInit();\n    (void)" + names.initialisation() +
           "();\n    return 0;\n}\n\n";
    out += "int32_t behaviorsStep(void) {\n    inputOutputVariablesInit();\n    return " + names.evolution() +
           "();\n}\n\n";
    out += "void globalesInit(void) {}\n\n";
    out += plant_table(graph, layout, names);
    out += graph.objects.empty() ? "/* The period, the task name and the two condition switches; each start value\n"
                                   " * goes into cur and prev. */\n"
                                 : "/* The period, the task name, the two condition switches and where each\n"
                                   " * object starts; each start value goes into cur and prev. */\n";
    // The task name is a string in cells: its capacity in the first two
    // cells, its characters after the header cells.
    const std::string text = number(cells::taskname + kArrayHeaderCells<CharCell>);
    out += "void variablesInitialization(void) {\n"
           "    int32_t i;\n"
           "    VX_Float_Init(memHeader, " + number(cells::simuperiod) + ", 50000.0f);\n"
           "    VX_Char_Init(memHeader, " + number(cells::taskname) + ", 0);\n"
           "    VX_Char_Init(memHeader, " + number(cells::taskname + 1) + ", VX_TASKNAME_CAPACITY);\n"
           "    for (i = 0; task_name[i] != '\\0'; ++i) VX_Char_Init(memHeader, " + text + " + i, (uint8_t)task_name[i]);\n"
           "    VX_Char_Init(memHeader, " + text + " + i, 0);\n"
           "    VX_Bool_Init(memHeader, " + number(cells::allowpreconditions) + ", 1);\n"
           "    VX_Bool_Init(memHeader, " + number(cells::allowpostconditions) + ", 1);\n";
    for (std::size_t k = 0; k < graph.objects.size(); ++k) {
        const Object& o = graph.objects[k];
        out += "    place(" + number(layout.objects[k].matrix) + ", " + join(float_literals(o.at), ", ") + ", " +
               join(float_literals(o.size), ", ") + ");  /* " + o.name + " */\n";
    }
    out += "}\n\n";
    out += "void controlVariablesAccessInitialization(void) {\n";
    for (const ControlVariable& c : kControlVariables)
        out += "    " + std::string(c.name) + " = mem." + std::string(kAreaMember[static_cast<std::size_t>(c.type)]) +
               " + " + number(c.index) + ";\n";
    out += "}\n\n";
    out += "void timeCycleInitialization(float *period) { *period = 50000.0f; }\n\n";
    out += "void initStartingMode(int32_t *status) { *status = STOP; }\n";
    return out;
}

std::string sign_module(const Graph& graph, std::string_view description) {
    std::string out = title(graph, "signature and generation time", description);
    out += " *\n * The signature ties a parameters file to this controller; the generation\n"
           " * time is in seconds since 1970-01-01 UTC.\n */\n";
    out += "#include \"vx_runtime.h\"\n\n";
    out += "int32_t getSignature(void) { return " + int32_literal(graph.signature) + "; }\n\n";
    out += "int32_t getGenerationTime(void) { return " + int32_literal(graph.generation_time) + "; }\n";
    return out;
}

}  // namespace

std::vector<GeneratedFile> generate_modules(const Graph& graph, const GraphLayout& layout,
                                            std::string_view description) {
    const Names names(graph);
    return {
        {names.file(".h"), header_module(graph, layout, description)},
        {names.file(".c"), GraphModule(graph, layout).text(description)},
        {names.file("_init.c"), init_module(graph, layout, description)},
        {names.file("_sign.c"), sign_module(graph, description)},
    };
}

GeneratedFile generate_symbols(const Graph& graph, const GraphLayout& layout) {
    const std::string heading = "Symbols of controller " + graph.name + " (unit " + graph.unit + ", graph " +
                                graph.name + "); generated, do not edit.";
    return {graph.name + ".vars", format_symbol_file({graph.name, layout.counts, symbols(graph, layout), object_records(graph, layout)}, heading)};
}

}  // namespace vx::grafcet
