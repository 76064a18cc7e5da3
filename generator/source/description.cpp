// Reading a controller description: first every line on its own, then the
// references between lines (steps, variables, components), so that a
// transition may name a step declared further down.
#include "vx/grafcet/description.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>

#include "vx/grafcet/c_names.hpp"
#include "vx/grafcet/layout.hpp"

namespace vx::grafcet {

std::string Diagnostic::text() const { return file + ":" + std::to_string(line) + ": error: " + message; }

const Step* Graph::find_step(int number) const {
    const auto it = std::find_if(steps.begin(), steps.end(), [&](const Step& s) { return s.number == number; });
    return it == steps.end() ? nullptr : &*it;
}

const Variable* Graph::find_variable(std::string_view variable) const {
    const auto it = std::find_if(variables.begin(), variables.end(), [&](const Variable& v) { return v.name == variable; });
    return it == variables.end() ? nullptr : &*it;
}

template <class T> const T* find_named(const std::vector<T>& items, std::string_view name) {
    const auto it = std::find_if(items.begin(), items.end(), [&](const T& x) { return x.name == name; });
    return it == items.end() ? nullptr : &*it;
}

const Block* Graph::find_block(std::string_view wanted) const { return find_named(blocks, wanted); }
const Object* Graph::find_object(std::string_view wanted) const { return find_named(objects, wanted); }
const Model* Graph::find_model(std::string_view wanted) const { return find_named(models, wanted); }

namespace {

ValueType value_type(PinType type) {
    switch (type) {
        case PinType::Bool: return ValueType::Bool;
        case PinType::Int: return ValueType::Int;
        case PinType::Time: break;
    }
    return ValueType::Time;
}

ValueType value_type(CellType type) {
    switch (type) {
        case CellType::Bool: return ValueType::Bool;
        case CellType::Int: return ValueType::Int;
        case CellType::Float:
        case CellType::Char: break;
    }
    return ValueType::Float;
}

// The member of an object that a dotted name reads: its status, a
// coordinate of its position (kPositionCells of its matrix) or one of its
// model's variables.
std::optional<Reference> object_member(const Graph& graph, const Object& o, std::string_view member) {
    const CNames names(graph);
    if (member == "status") return Reference{ValueType::Int, names.member(o.name, "status")};
    constexpr std::array<std::string_view, 3> kAxes{"x", "y", "z"};
    for (std::size_t axis = 0; axis < kAxes.size(); ++axis) {
        if (member == kAxes[axis])
            return Reference{ValueType::Float,
                             "(" + names.member(o.name, "matrix") + " + " + std::to_string(kPositionCells[axis]) + ")"};
    }
    for (const ModelVariable& v : graph.models[o.model].variables) {
        if (v.name == member) return Reference{value_type(v.type), names.member(o.name, v.name)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<Reference> resolve(const Graph& graph, std::string_view name) {
    const auto dot = name.find('.');
    if (dot == std::string_view::npos) {
        if (graph.find_variable(name) == nullptr) return std::nullopt;
        return Reference{ValueType::Bool, CNames(graph).variable(name)};
    }
    const std::string_view owner = name.substr(0, dot), member = name.substr(dot + 1);
    if (const Block* b = graph.find_block(owner)) {
        for (const BlockPin& pin : b->type().outputs()) {
            if (pin.name == member)
                return Reference{value_type(pin.type), CNames(graph).member(b->name, pin.name)};
        }
        return std::nullopt;
    }
    if (const Object* o = graph.find_object(owner)) return object_member(graph, *o, member);
    return std::nullopt;
}

namespace {

// The task name "<graph>.exe" must fit the runtime's 50-character string.
constexpr std::size_t kMaxGraphName = 50 - 4;

// Action qualifiers a user may know from other Grafcet tools. Only the
// continuous action (N, the default) is part of the evolution rule.
struct Qualifier {
    std::string_view name;
    std::string_view refusal;  // empty: accepted
};
constexpr std::array kQualifiers{
    Qualifier{"N", ""},
    Qualifier{"S", "stored actions are not supported"},
    Qualifier{"R", "stored actions are not supported"},
    Qualifier{"SD", "stored actions are not supported"},
    Qualifier{"DS", "stored actions are not supported"},
    Qualifier{"SL", "stored actions are not supported"},
    Qualifier{"D", "delayed actions are not supported"},
    Qualifier{"L", "time-limited actions are not supported"},
    Qualifier{"P", "pulse actions are not supported"},
    Qualifier{"P0", "pulse actions are not supported"},
    Qualifier{"P1", "pulse actions are not supported"},
    Qualifier{"C", "conditional actions are not supported"},
};

bool is_name(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s.front()))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// Words of a line: separated by white space and commas.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    const auto separator = [](char c) { return std::isspace(static_cast<unsigned char>(c)) || c == ','; };
    while (pos < line.size()) {
        while (pos < line.size() && separator(line[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !separator(line[pos])) ++pos;
        if (pos > start) out.push_back(line.substr(start, pos - start));
    }
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

template <class Int> std::optional<Int> whole_number(std::string_view s) {
    Int value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

// A step is written as its number or as X_<number>.
std::optional<int> step_reference(std::string_view s) {
    if (starts_with(s, "X_")) s.remove_prefix(2);
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s.front()))) return std::nullopt;
    return whole_number<int>(s);
}

std::string step_text(int number) { return "step " + std::to_string(number); }
std::string transition_text(const Transition& t) {
    return "transition " + std::to_string(t.from) + " -> " + std::to_string(t.to);
}

class DescriptionReader {
public:
    explicit DescriptionReader(std::string_view file) : file_(file) {}

    ParsedDescription read(std::string_view text) {
        int line_number = 0;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            ++line_number;
            read_line(text.substr(pos, end - pos), line_number);
            pos = end + 1;
        }
        last_line_ = std::max(1, line_number - (text.empty() || text.back() == '\n' ? 1 : 0));
        check_whole();
        std::stable_sort(errors_.begin(), errors_.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
        ParsedDescription result;
        result.errors = std::move(errors_);
        if (result.errors.empty()) result.graph = std::move(graph_);
        return result;
    }

private:
    void error(int line, std::string message) { errors_.push_back({file_, line, std::move(message)}); }

    void read_line(std::string_view raw, int line) {
        const std::string_view text = trim(raw.substr(0, raw.find('#')));
        if (text.empty()) return;
        const auto w = words(text);
        if (w.empty()) return;  // separators only (",,"): nothing is declared, as on a blank line
        const std::string_view keyword = w.front();
        const std::vector<std::string_view> args(w.begin() + 1, w.end());
        if (keyword == "graph") return read_graph(args, line);
        if (keyword == "unit") return read_unit(args, line);
        if (keyword == "signature") return read_number(args, line, "signature", signature_line_, graph_.signature);
        if (keyword == "generation-time")
            return read_number(args, line, "generation-time", generation_line_, graph_.generation_time);
        if (keyword == "input") return read_variables(args, line, Direction::Input);
        if (keyword == "output") return read_variables(args, line, Direction::Output);
        if (keyword == "component") return read_component(args, line);
        if (keyword == "step") return read_step(args, line);
        if (keyword == "transition") return read_transition(text.substr(keyword.size()), line);
        if (keyword == "block") return read_block(text.substr(keyword.size()), line);
        if (keyword == "model") return read_model(args, line);
        if (keyword == "actor" || keyword == "product") return read_object(args, line, keyword == "actor");
        error(line, "unknown declaration " + quoted(keyword) +
                        ": expected graph, unit, signature, generation-time, input, output, component, step, "
                        "transition, block, model, actor or product");
    }

    // A keyword that may appear once: false (with an error) when it came before.
    bool first_time(int& seen_at, int line, std::string_view keyword) {
        if (seen_at != 0) {
            error(line, quoted(keyword) + " is declared twice (first on line " + std::to_string(seen_at) + ")");
            return false;
        }
        seen_at = line;
        return true;
    }

    std::optional<std::string> one_name(const std::vector<std::string_view>& args, int line, std::string_view keyword) {
        if (args.size() != 1) {
            error(line, quoted(keyword) + " takes one name");
            return std::nullopt;
        }
        if (!is_name(args.front())) {
            error(line, quoted(args.front()) + " is not a valid name: a name starts with a letter and holds letters, "
                                               "digits and '_'");
            return std::nullopt;
        }
        return std::string(args.front());
    }

    void read_graph(const std::vector<std::string_view>& args, int line) {
        if (!first_time(graph_line_, line, "graph")) return;
        const auto name = one_name(args, line, "graph");
        if (!name) return;
        if (name->size() > kMaxGraphName) {
            error(line, "graph name " + quoted(*name) + " is too long: the task name " + quoted(*name + ".exe") +
                            " must fit in 50 characters");
            return;
        }
        graph_.name = *name;
        graph_.name_line = line;
    }

    void read_unit(const std::vector<std::string_view>& args, int line) {
        if (!first_time(unit_line_, line, "unit")) return;
        if (const auto name = one_name(args, line, "unit")) graph_.unit = *name;
    }

    void read_number(const std::vector<std::string_view>& args, int line, std::string_view keyword, int& seen_at,
                     std::int32_t& value) {
        if (!first_time(seen_at, line, keyword)) return;
        const auto number = args.size() == 1 ? whole_number<std::int32_t>(args.front()) : std::nullopt;
        if (!number) {
            error(line, quoted(keyword) + " takes one whole number from -2147483648 to 2147483647");
            return;
        }
        value = *number;
    }

    void read_variables(const std::vector<std::string_view>& args, int line, Direction direction) {
        if (args.empty()) error(line, std::string(direction == Direction::Input ? "'input'" : "'output'") +
                                          " needs at least one variable name");
        for (const std::string_view name : args) {
            if (const auto refusal = refuse_variable_name(name)) {
                error(line, *refusal);
            } else if (const Variable* first = graph_.find_variable(name)) {
                error(line, "variable " + quoted(name) + " is declared twice (first on line " +
                                std::to_string(first->line) + ")");
            } else if (const auto other = top_names_.find(std::string(name)); other != top_names_.end()) {
                error(line, "the name " + quoted(name) + " is already declared (on line " +
                                std::to_string(other->second) + ")");
            } else {
                graph_.variables.push_back({std::string(name), direction, line});
            }
        }
    }

    // Variable names share the symbol file with steps, timers and the
    // control variables, and the receptivity notation with its keywords.
    static std::optional<std::string> refuse_variable_name(std::string_view name) {
        if (!is_name(name))
            return quoted(name) + " is not a valid name: a name starts with a letter and holds letters, digits and '_'";
        if (name == "not") return "'not' cannot name a variable: it is the negation of the receptivity notation";
        if (starts_with(name, "X_")) return quoted(name) + " cannot name a variable: X_ names the steps";
        if (starts_with(name, "TIMER_")) return quoted(name) + " cannot name a variable: TIMER_ names the step timers";
        if (is_control_name(name)) return quoted(name) + " cannot name a variable: it is a control variable of the runtime";
        return std::nullopt;
    }

    // ---- Function blocks and plant objects ------------------------------------

    // Names of blocks, models, objects and model variables: a name, without
    // the double underscore that joins them to their members in the
    // generated code.
    bool plant_name(std::string_view name, int line, std::string_view what) {
        if (!is_name(name)) {
            error(line, quoted(name) + " is not a valid " + std::string(what) +
                            " name: a name starts with a letter and holds letters, digits and '_'");
            return false;
        }
        if (name.find("__") != std::string_view::npos) {
            error(line, quoted(name) + " cannot name a " + std::string(what) +
                            ": '__' joins names to their members in the generated code");
            return false;
        }
        return true;
    }

    // Blocks, objects and variables share one name space: the receptivity
    // notation reads "name" and "name.member".
    bool new_top_name(const std::string& name, int line) {
        if (const Variable* v = graph_.find_variable(name)) {
            error(line, "the name " + quoted(name) + " is already declared (on line " + std::to_string(v->line) + ")");
            return false;
        }
        const auto [it, inserted] = top_names_.emplace(name, line);
        if (!inserted)
            error(line, "the name " + quoted(name) + " is already declared (on line " + std::to_string(it->second) + ")");
        return inserted;
    }

    // The first word of `text` and what follows it.
    static std::pair<std::string_view, std::string_view> first_word(std::string_view text) {
        text = trim(text);
        std::size_t end = 0;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != ',') ++end;
        return {text.substr(0, end), text.substr(end)};
    }

    // block <name> <TYPE> [<PIN> = <value>, ...]
    void read_block(std::string_view rest, int line) {
        const auto [name, after_name] = first_word(rest);
        const auto [type, inputs] = first_word(after_name);
        if (name.empty() || type.empty() || type.find('=') != std::string_view::npos) {
            error(line, "a block is written 'block <name> <TYPE> <input> = <value>, ...'");
            return;
        }
        if (!plant_name(name, line, "block")) return;
        const auto kind = std::find_if(kBlockKinds.begin(), kBlockKinds.end(),
                                       [&](const BlockKind& k) { return k.type == type; });
        if (kind == kBlockKinds.end()) {
            std::string known;
            for (const BlockKind& k : kBlockKinds) known += (known.empty() ? "" : ", ") + std::string(k.type);
            error(line, "unknown function block " + quoted(type) + ": expected one of " + known);
            return;
        }
        Block block;
        block.name = std::string(name);
        block.kind = static_cast<std::size_t>(kind - kBlockKinds.begin());
        block.line = line;
        block.inputs.resize(kind->input_count);
        std::vector<bool> given(kind->input_count, false);
        // The inputs, "PIN = value" separated by commas (a receptivity holds
        // no comma).
        bool ok = true;
        for (std::string_view items = inputs; ok && !trim(items).empty();) {
            const std::size_t comma = items.find(',');
            ok = read_block_input(block, given, trim(items.substr(0, comma)), line);
            items = comma == std::string_view::npos ? std::string_view{} : items.substr(comma + 1);
        }
        for (std::size_t k = 0; k < kind->input_count && ok; ++k) {
            if (given[k]) continue;
            if (kind->input_pins[k].type != PinType::Bool) {
                error(line, "block " + quoted(block.name) + " needs its input " + std::string(kind->input_pins[k].name));
                ok = false;
            }
            block.inputs[k].text = "FALSE";  // a BOOL input left out
        }
        if (ok && new_top_name(block.name, line)) graph_.blocks.push_back(std::move(block));
    }

    bool read_block_input(Block& block, std::vector<bool>& given, std::string_view item, int line) {
        const std::size_t eq = item.find('=');
        if (item.empty() || eq == std::string_view::npos) {
            error(line, "expected '<input> = <value>' in block " + quoted(block.name) + ", found " + quoted(item));
            return false;
        }
        const std::string_view pin_name = trim(item.substr(0, eq));
        const std::string_view value = trim(item.substr(eq + 1));
        const auto pins = block.type().inputs();
        const auto pin = std::find_if(pins.begin(), pins.end(), [&](const BlockPin& p) { return p.name == pin_name; });
        if (pin == pins.end()) {
            std::string known;
            for (const BlockPin& p : pins) known += (known.empty() ? "" : ", ") + std::string(p.name);
            error(line, std::string(block.type().type) + " has no input " + quoted(pin_name) + " (its inputs: " +
                            known + ")");
            return false;
        }
        const auto k = static_cast<std::size_t>(pin - pins.begin());
        if (given[k]) {
            error(line, "input " + std::string(pin_name) + " of block " + quoted(block.name) + " is given twice");
            return false;
        }
        given[k] = true;
        BlockInput& input = block.inputs[k];
        input.text = std::string(value);
        switch (pin->type) {
            case PinType::Bool: return read_bool_input(block, input, pin_name, line);
            case PinType::Time: return read_time_input(block, input, pin_name, line);
            case PinType::Int: break;
        }
        const auto number = whole_number<std::int16_t>(value);
        if (!number) {
            error(line, "input " + std::string(pin_name) + " of block " + quoted(block.name) +
                            " takes a whole number from -32768 to 32767, not " + quoted(value));
            return false;
        }
        input.value = *number;
        return true;
    }

    bool read_bool_input(const Block& block, BlockInput& input, std::string_view pin, int line) {
        if (input.text == "TRUE" || input.text == "FALSE") {
            input.value = input.text == "TRUE" ? 1 : 0;
            return true;
        }
        ParsedExpression parsed = parse_expression(input.text);
        if (!parsed.expression) {
            error(line, "malformed input " + std::string(pin) + " of block " + quoted(block.name) + " at column " +
                            std::to_string(parsed.error.column) + ": " + parsed.error.message);
            return false;
        }
        input.expression = std::move(*parsed.expression);
        return true;
    }

    // A duration: a number of seconds or milliseconds, held in ticks of
    // 100 us; what a TIME can hold with its days in a DINT.
    bool read_time_input(const Block& block, BlockInput& input, std::string_view pin, int line) {
        const auto w = words(input.text);
        const double scale = w.size() == 2 && w[1] == "s" ? 10000.0 : w.size() == 2 && w[1] == "ms" ? 10.0 : 0.0;
        double amount = -1.0;
        if (scale != 0.0) {
            const std::string number(w[0]);
            char* end = nullptr;
            amount = std::strtod(number.c_str(), &end);
            if (number.empty() || end != number.c_str() + number.size() || !std::isdigit(static_cast<unsigned char>(number.back())))
                amount = -1.0;
        }
        constexpr double kLongest = 1.8e18;  // ticks: 2^31 days and a little less
        if (!(amount >= 0.0 && amount * scale <= kLongest)) {
            error(line, "input " + std::string(pin) + " of block " + quoted(block.name) +
                            " takes a duration such as '3 s' or '250 ms', not " + quoted(input.text));
            return false;
        }
        input.value = std::llround(amount * scale);
        return true;
    }

    // model <name> [behaviour <function>] [bool <name>...] [int <name>...] [float <name>...]
    void read_model(const std::vector<std::string_view>& args, int line) {
        if (args.empty() || !plant_name(args[0], line, "model")) {
            if (args.empty()) error(line, "'model' needs a name");
            return;
        }
        if (const Model* first = graph_.find_model(args[0])) {
            error(line, "model " + quoted(args[0]) + " is declared twice (first on line " + std::to_string(first->line) + ")");
            return;
        }
        Model model{std::string(args[0]), {}, {}, line};
        bool in_section = false;  // after 'bool', 'int' or 'float'
        CellType section = CellType::Bool;
        bool ok = true;
        for (std::size_t k = 1; k < args.size() && ok; ++k) {
            const std::string_view w = args[k];
            if (w == "behaviour" || w == "behavior") {
                ok = k + 1 < args.size() && is_name(args[k + 1]);
                if (ok) model.behaviour = std::string(args[++k]);
                else error(line, "'behaviour' names the model's C function");
                in_section = false;
            } else if (w == "bool" || w == "int" || w == "float") {
                section = w == "bool" ? CellType::Bool : w == "int" ? CellType::Int : CellType::Float;
                in_section = true;
            } else if (!in_section) {
                error(line, "unexpected " + quoted(w) + " in model " + quoted(model.name) +
                                ": expected 'behaviour', 'bool', 'int' or 'float'");
                ok = false;
            } else {
                ok = add_model_variable(model, w, section, line);
            }
        }
        if (ok) graph_.models.push_back(std::move(model));
    }

    bool add_model_variable(Model& model, std::string_view name, CellType type, int line) {
        if (!plant_name(name, line, "variable")) return false;
        if (name == "status" || name == "x" || name == "y" || name == "z") {
            error(line, quoted(name) + " cannot name a variable of model " + quoted(model.name) +
                            ": every object has its status and its position x, y, z");
            return false;
        }
        if (std::any_of(model.variables.begin(), model.variables.end(), [&](const ModelVariable& v) { return v.name == name; })) {
            error(line, "model " + quoted(model.name) + " declares variable " + quoted(name) + " twice");
            return false;
        }
        model.variables.push_back({std::string(name), type});
        return true;
    }

    // actor <name> model <m> [id <n>] [at <x> <y> <z>] [size <x> <y> <z>]
    // product <name> model <m> [slots <n>] [alive] [at ...] [size ...]
    void read_object(const std::vector<std::string_view>& args, int line, bool actor) {
        const std::string_view what = actor ? "actor" : "product";
        if (args.size() < 3 || args[1] != "model") {
            error(line, "an " + std::string(what) + " is written '" + std::string(what) + " <name> model <model> ...'");
            return;
        }
        if (!plant_name(args[0], line, what)) return;
        Object o;
        o.name = std::string(args[0]);
        o.actor = actor;
        o.alive = actor;
        o.line = line;
        std::int32_t slots = 1;
        bool ok = true;
        for (std::size_t k = 3; k < args.size() && ok; ++k) {
            const std::string_view w = args[k];
            if (w == "at" || w == "size") {
                ok = read_triple(args, k, w == "at" ? o.at : o.size, line, w);
            } else if (actor && w == "id" && k + 1 < args.size() && whole_number<std::int32_t>(args[k + 1])) {
                o.id = *whole_number<std::int32_t>(args[++k]);
            } else if (!actor && w == "slots" && k + 1 < args.size() && whole_number<std::int32_t>(args[k + 1]) &&
                       *whole_number<std::int32_t>(args[k + 1]) >= 1 && *whole_number<std::int32_t>(args[k + 1]) <= 1000) {
                slots = *whole_number<std::int32_t>(args[++k]);
            } else if (!actor && w == "alive") {
                o.alive = true;
            } else {
                error(line, "unexpected " + quoted(w) + " in " + std::string(what) + " " + quoted(o.name) + ": expected " +
                                (actor ? "'id <number>', 'at <x> <y> <z>' or 'size <x> <y> <z>'"
                                       : "'slots <1 to 1000>', 'alive', 'at <x> <y> <z>' or 'size <x> <y> <z>'"));
                ok = false;
            }
        }
        if (!ok) return;
        for (std::int32_t k = 1; k <= slots; ++k) {
            Object slot = o;
            if (slots > 1) slot.name += "_" + std::to_string(k);
            if (!new_top_name(slot.name, line)) return;
            pending_objects_.push_back({std::move(slot), std::string(args[2])});
        }
    }

    bool read_triple(const std::vector<std::string_view>& args, std::size_t& k, std::array<double, 3>& out, int line,
                     std::string_view what) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const std::string number = k + 1 + axis < args.size() ? std::string(args[k + 1 + axis]) : std::string();
            char* end = nullptr;
            const double value = number.empty() ? NAN : std::strtod(number.c_str(), &end);
            if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(value) ||
                (what == "size" && !(value > 0.0))) {
                error(line, quoted(what) + " takes three " + (what == "size" ? "positive " : "") + "numbers");
                return false;
            }
            out[axis] = value;
        }
        k += 3;
        return true;
    }

    void read_component(const std::vector<std::string_view>& args, int line) {
        const auto name = one_name(args, line, "component");
        if (!name) {
            current_component_.reset();
            component_failed_ = true;
            return;
        }
        const auto& components = graph_.components;
        const auto it = std::find_if(components.begin(), components.end(),
                                     [&](const Component& c) { return c.name == *name; });
        if (it != components.end()) {
            error(line, "component " + quoted(*name) + " is declared twice (first on line " +
                            std::to_string(it->line) + ")");
            current_component_.reset();
            component_failed_ = true;
            return;
        }
        graph_.components.push_back({*name, line});
        current_component_ = graph_.components.size() - 1;
        component_failed_ = false;
    }

    bool in_component(int line, std::string_view what) {
        if (current_component_) return true;
        // After a failed component line its own error says enough.
        if (!component_failed_)
            error(line, std::string(what) + " outside a component: declare 'component <name>' first");
        return false;
    }

    void read_step(const std::vector<std::string_view>& args, int line) {
        if (!in_component(line, "step")) return;
        attempted_components_.insert(*current_component_);
        if (args.empty()) {
            error(line, "'step' needs a step number");
            return;
        }
        const auto number = step_reference(args.front());
        if (!number) {
            error(line, quoted(args.front()) + " is not a step number");
            return;
        }
        Step step;
        step.number = *number;
        step.component = *current_component_;
        step.line = line;
        bool ok = true;
        std::size_t k = 1;
        for (; k < args.size() && args[k] != "action"; ++k) {
            if (args[k] == "initial" && !step.initial) {
                step.initial = true;
            } else {
                error(line, "unexpected " + quoted(args[k]) + " after " + step_text(step.number) +
                                ": expected 'initial' or 'action'");
                ok = false;
            }
        }
        if (k < args.size()) ok = read_actions({args.begin() + static_cast<std::ptrdiff_t>(k) + 1, args.end()}, line, step) && ok;
        if (const Step* first = graph_.find_step(step.number)) {
            error(line, step_text(step.number) + " is declared twice (first on line " + std::to_string(first->line) +
                            ")");
            return;
        }
        if (ok) {
            graph_.steps.push_back(std::move(step));
        } else {
            failed_steps_.insert(step.number);
        }
    }

    bool read_actions(const std::vector<std::string_view>& items, int line, Step& step) {
        if (items.empty()) {
            error(line, "'action' needs at least one output");
            return false;
        }
        bool ok = true;
        for (std::string_view item : items) {
            if (const auto colon = item.find(':'); colon != std::string_view::npos) {
                const std::string_view qualifier = item.substr(0, colon);
                const auto q = std::find_if(kQualifiers.begin(), kQualifiers.end(),
                                            [&](const Qualifier& x) { return x.name == qualifier; });
                if (q == kQualifiers.end()) {
                    error(line, "unknown action qualifier " + quoted(qualifier) + " in " + quoted(item));
                    ok = false;
                    continue;
                }
                if (!q->refusal.empty()) {
                    error(line, std::string(q->refusal) + " (" + quoted(item) +
                                    "): an action is continuous, its outputs are 1 while the step is active");
                    ok = false;
                    continue;
                }
                item.remove_prefix(colon + 1);
            }
            if (std::find(step.actions.begin(), step.actions.end(), item) != step.actions.end()) {
                error(line, step_text(step.number) + " names output " + quoted(item) + " twice");
                ok = false;
                continue;
            }
            step.actions.emplace_back(item);
        }
        return ok;
    }

    void read_transition(std::string_view rest, int line) {
        if (!in_component(line, "transition")) return;
        const std::size_t when = find_word(rest, "when");
        const std::size_t arrow = rest.find("->");
        const bool one_arrow = arrow != std::string_view::npos && rest.find("->", arrow + 2) > when;
        if (when == std::string_view::npos || !one_arrow || arrow > when) {
            error(line, "a transition is written 'transition <step> -> <step> when <receptivity>'");
            return;
        }
        Transition t;
        t.component = *current_component_;
        t.line = line;
        const auto upstream = transition_side(rest.substr(0, arrow), line, "upstream");
        const auto downstream = transition_side(rest.substr(arrow + 2, when - arrow - 2), line, "downstream");
        if (!upstream || !downstream) return;
        t.from = *upstream;
        t.to = *downstream;
        t.text = std::string(trim(rest.substr(when + 4)));
        ParsedExpression parsed = parse_expression(t.text);
        if (!parsed.expression) {
            error(line, "malformed receptivity of " + transition_text(t) + " at column " +
                            std::to_string(parsed.error.column) + ": " + parsed.error.message);
            return;
        }
        t.receptivity = std::move(*parsed.expression);
        graph_.transitions.push_back(std::move(t));
    }

    static std::size_t find_word(std::string_view text, std::string_view word) {
        for (std::size_t pos = text.find(word); pos != std::string_view::npos; pos = text.find(word, pos + 1)) {
            const bool before = pos == 0 || std::isspace(static_cast<unsigned char>(text[pos - 1]));
            const std::size_t after = pos + word.size();
            if (before && (after == text.size() || std::isspace(static_cast<unsigned char>(text[after])))) return pos;
        }
        return std::string_view::npos;
    }

    std::optional<int> transition_side(std::string_view side, int line, std::string_view which) {
        std::vector<std::string_view> steps;
        for (std::string_view w : words(side)) {
            if (w != "&") steps.push_back(w);
        }
        if (steps.size() > 1 || side.find('&') != std::string_view::npos) {
            error(line, "parallel branches are not supported: a transition has exactly one upstream step and one "
                        "downstream step");
            return std::nullopt;
        }
        if (steps.empty()) {
            error(line, "the transition has no " + std::string(which) + " step");
            return std::nullopt;
        }
        const auto number = step_reference(steps.front());
        if (!number) error(line, quoted(steps.front()) + " is not a step number");
        return number;
    }

    // ---- Checks that need the whole description ----------------------------

    void check_whole() {
        if (graph_line_ == 0) error(last_line_, "the description names no graph: add 'graph <name>'");
        if (unit_line_ == 0) error(last_line_, "the description names no unit: add 'unit <name>'");
        if (graph_.steps.empty() && errors_.empty()) error(last_line_, "the graph has no steps");
        place_objects();
        check_components();
        check_actions();
        check_transitions();
        check_blocks();
        check_c_names();
    }

    // The plant's table holds the actors first, then the product slots, each
    // in declaration order.
    void place_objects() {
        for (const bool actors : {true, false}) {
            for (auto& [object, model] : pending_objects_) {
                if (object.actor != actors) continue;
                const Model* m = graph_.find_model(model);
                if (m == nullptr) {
                    // A slot line reports its model once.
                    if (reported_models_.insert({object.line, model}).second)
                        error(object.line, "unknown model " + quoted(model) + " of " +
                                               (object.actor ? "actor " : "product ") + quoted(object.name));
                    continue;
                }
                object.model = static_cast<std::size_t>(m - graph_.models.data());
                graph_.objects.push_back(object);
            }
        }
    }

    void check_blocks() {
        for (const Block& b : graph_.blocks) {
            for (std::size_t k = 0; k < b.inputs.size(); ++k) {
                if (b.inputs[k].expression)
                    check_expression(b.line, "input " + std::string(b.type().input_pins[k].name) + " of block " +
                                                 quoted(b.name), *b.inputs[k].expression);
            }
        }
    }

    // Every generated C name is distinct: the pointers of the variables,
    // steps, block outputs and object cells, and the models' functions.
    void check_c_names() {
        if (!errors_.empty()) return;
        std::map<std::string, std::string> seen;
        const auto add = [&](const std::string& c_name, const std::string& what, int line) {
            const auto [it, inserted] = seen.emplace(c_name, what);
            if (!inserted)
                error(line, what + " and " + it->second + " would both be named " + quoted(c_name) +
                                " in the generated code: rename one of them");
        };
        const CNames names(graph_);
        for (const Variable& v : graph_.variables) add(names.variable(v.name), "variable " + quoted(v.name), v.line);
        for (const Step& st : graph_.steps) {
            add(names.step(st.number), step_text(st.number), st.line);
            add(names.previous(st.number), step_text(st.number), st.line);
            add(names.timer(st.number), step_text(st.number), st.line);
        }
        for (const Block& b : graph_.blocks)
            for (const BlockPin& pin : b.type().outputs()) add(names.member(b.name, pin.name), "block " + quoted(b.name), b.line);
        for (const Object& o : graph_.objects) {
            add(names.member(o.name, "status"), "object " + quoted(o.name), o.line);
            add(names.member(o.name, "matrix"), "object " + quoted(o.name), o.line);
            for (const ModelVariable& v : graph_.models[o.model].variables)
                add(names.member(o.name, v.name), "object " + quoted(o.name), o.line);
        }
        std::set<std::string> behaviours;
        for (const Model& m : graph_.models) {
            if (!m.behaviour.empty() && !behaviours.insert(m.behaviour).second) continue;  // models may share one
            add(names.model_function(m), "model " + quoted(m.name), m.line);
        }
    }

    void check_components() {
        for (std::size_t c = 0; c < graph_.components.size(); ++c) {
            const bool has_step = std::any_of(graph_.steps.begin(), graph_.steps.end(),
                                              [&](const Step& s) { return s.component == c; });
            if (!has_step && attempted_components_.count(c) == 0)
                error(graph_.components[c].line, "component " + quoted(graph_.components[c].name) + " has no steps");
        }
    }

    void check_actions() {
        for (const Step& step : graph_.steps) {
            for (const std::string& output : step.actions) {
                const Variable* v = graph_.find_variable(output);
                if (v == nullptr) {
                    error(step.line, "the action of " + step_text(step.number) + " names unknown output " +
                                         quoted(output));
                } else if (v->direction != Direction::Output) {
                    error(step.line, "the action of " + step_text(step.number) + " names " + quoted(output) +
                                         ", which is an input: actions drive outputs only");
                }
            }
        }
    }

    void check_transitions() {
        std::map<int, std::vector<const Transition*>> outgoing;
        for (const Transition& t : graph_.transitions) {
            check_end(t, t.from, "upstream");
            check_end(t, t.to, "downstream");
            check_atoms(t, t.receptivity);
            auto& choice = outgoing[t.from];
            choice.push_back(&t);
            if (choice.size() == 3)
                error(t.line, step_text(t.from) + " has a third outgoing transition (the others are on lines " +
                                  std::to_string(choice[0]->line) + " and " + std::to_string(choice[1]->line) +
                                  "): a choice has two transitions at most");
        }
    }

    void check_end(const Transition& t, int number, std::string_view which) {
        const Step* step = graph_.find_step(number);
        if (step == nullptr) {
            // A step whose own line failed has been reported there.
            if (failed_steps_.count(number) == 0)
                error(t.line, "unknown " + std::string(which) + " " + step_text(number) + " in " + transition_text(t));
            return;
        }
        if (step->component != t.component) {
            error(t.line, transition_text(t) + " is listed in component " +
                              quoted(graph_.components[t.component].name) + " but its " + std::string(which) + " " +
                              step_text(number) + " belongs to component " +
                              quoted(graph_.components[step->component].name));
        }
    }

    void check_atoms(const Transition& t, const Expression& e) {
        check_expression(t.line, "the receptivity of " + transition_text(t), e);
    }

    void check_expression(int line, const std::string& where, const Expression& e) {
        switch (e.kind) {
            case Expression::Kind::Variable: {
                const auto r = resolve(graph_, e.name);
                if (!r) {
                    error(line, "unknown variable " + quoted(e.name) + " in " + where);
                } else if (r->type != ValueType::Bool) {
                    error(line, quoted(e.name) + " in " + where + " is a number: compare it with a constant (" +
                                    e.name + (r->type == ValueType::Time ? " >= 1 s)" : " >= 1)"));
                }
                return;
            }
            case Expression::Kind::Compare: return check_comparison(line, where, e);
            case Expression::Kind::Step:
            case Expression::Kind::StepTime:
                if (graph_.find_step(e.step) == nullptr && failed_steps_.count(e.step) == 0)
                    error(line, "unknown step X_" + std::to_string(e.step) + " in " + where);
                if (e.kind == Expression::Kind::StepTime && !std::isfinite(e.seconds))
                    error(line, "the duration " + e.duration + " s in " + where + " is out of range");
                return;
            default:
                for (const Expression& operand : e.operands) check_expression(line, where, operand);
        }
    }

    void check_comparison(int line, const std::string& where, const Expression& e) {
        const auto r = resolve(graph_, e.name);
        if (!e.other.empty()) return check_two_variables(line, where, e, r);
        if (!r) {
            error(line, "unknown variable " + quoted(e.name) + " in " + where);
        } else if (r->type == ValueType::Bool) {
            error(line, quoted(e.name) + " in " + where + " is a bool: it is read alone, not compared with a number");
        } else if (r->type == ValueType::Time && e.unit.empty()) {
            error(line, quoted(e.name) + " in " + where + " is a duration: give the constant its unit (s or ms)");
        } else if (r->type != ValueType::Time && !e.unit.empty()) {
            error(line, quoted(e.name) + " in " + where + " is not a duration: write the constant without a unit");
        } else if (!std::isfinite(e.seconds) || std::fabs(e.seconds) > 1e15) {
            error(line, "the constant " + e.duration + " in " + where + " is out of range");
        }
    }

    // Two numbers compare, and two durations; a bool with nothing.
    void check_two_variables(int line, const std::string& where, const Expression& e, const std::optional<Reference>& left) {
        const auto right = resolve(graph_, e.other);
        for (const auto& [name, r] : {std::pair{e.name, left}, std::pair{e.other, right}}) {
            if (!r) {
                error(line, "unknown variable " + quoted(name) + " in " + where);
                return;
            }
            if (r->type == ValueType::Bool) {
                error(line, quoted(name) + " in " + where + " is a bool: it is read alone, not compared");
                return;
            }
        }
        if ((left->type == ValueType::Time) != (right->type == ValueType::Time))
            error(line, "a duration is compared with a duration only, not " + quoted(e.name) + " with " +
                            quoted(e.other) + " in " + where);
    }

    std::string file_;
    Graph graph_;
    std::vector<Diagnostic> errors_;
    std::optional<std::size_t> current_component_;
    bool component_failed_ = false;            // the last component line was refused
    std::set<std::size_t> attempted_components_;  // components with at least one step line
    std::set<int> failed_steps_;               // steps whose line was refused
    std::map<std::string, int> top_names_;     // blocks and objects, with their lines
    std::vector<std::pair<Object, std::string>> pending_objects_;  // objects and their models' names
    std::set<std::pair<int, std::string>> reported_models_;
    int graph_line_ = 0, unit_line_ = 0, signature_line_ = 0, generation_line_ = 0, last_line_ = 1;
};

}  // namespace

ParsedDescription parse_description(std::string_view text, std::string_view file) {
    // Some editors start a UTF-8 file with a byte order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (starts_with(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return DescriptionReader(file).read(text);
}

}  // namespace vx::grafcet
