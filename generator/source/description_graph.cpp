// The graph itself: its name and unit, the signature and generation time,
// the inputs and outputs, the components with their steps and transitions;
// and, once every line is read, the references between those lines.
#include <algorithm>
#include <array>
#include <cctype>
#include <map>

#include "description_reader.hpp"
#include "vx/grafcet/layout.hpp"

namespace vx::grafcet::reading {

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

// A step is written as its number or as X_<number>.
std::optional<int> step_reference(std::string_view s) {
    if (starts_with(s, "X_")) s.remove_prefix(2);
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s.front()))) return std::nullopt;
    return whole_number<int>(s);
}

std::string transition_text(const Transition& t) {
    return "transition " + std::to_string(t.from) + " -> " + std::to_string(t.to);
}

// Variable names share the symbol file with steps, timers and the
// control variables, and the receptivity notation with its keywords.
std::optional<std::string> refuse_variable_name(std::string_view name) {
    if (!is_name(name))
        return quoted(name) + " is not a valid name: a name starts with a letter and holds letters, digits and '_'";
    if (name == "not") return "'not' cannot name a variable: it is the negation of the receptivity notation";
    if (starts_with(name, "X_")) return quoted(name) + " cannot name a variable: X_ names the steps";
    if (starts_with(name, "TIMER_")) return quoted(name) + " cannot name a variable: TIMER_ names the step timers";
    if (is_control_name(name)) return quoted(name) + " cannot name a variable: it is a control variable of the runtime";
    return std::nullopt;
}

bool in_component(Reader& r, int line, std::string_view what) {
    if (r.current_component) return true;
    // After a failed component line its own error says enough.
    if (!r.component_failed)
        r.error(line, std::string(what) + " outside a component: declare 'component <name>' first");
    return false;
}

bool read_actions(Reader& r, const std::vector<std::string_view>& items, int line, Step& step) {
    if (items.empty()) {
        r.error(line, "'action' needs at least one output");
        return false;
    }
    bool ok = true;
    for (std::string_view item : items) {
        if (const auto colon = item.find(':'); colon != std::string_view::npos) {
            const std::string_view qualifier = item.substr(0, colon);
            const auto q = std::find_if(kQualifiers.begin(), kQualifiers.end(),
                                        [&](const Qualifier& x) { return x.name == qualifier; });
            if (q == kQualifiers.end()) {
                r.error(line, "unknown action qualifier " + quoted(qualifier) + " in " + quoted(item));
                ok = false;
                continue;
            }
            if (!q->refusal.empty()) {
                r.error(line, std::string(q->refusal) + " (" + quoted(item) +
                                  "): an action is continuous, its outputs are 1 while the step is active");
                ok = false;
                continue;
            }
            item.remove_prefix(colon + 1);
        }
        if (std::find(step.actions.begin(), step.actions.end(), item) != step.actions.end()) {
            r.error(line, step_text(step.number) + " names output " + quoted(item) + " twice");
            ok = false;
            continue;
        }
        step.actions.emplace_back(item);
    }
    return ok;
}

std::size_t find_word(std::string_view text, std::string_view word) {
    for (std::size_t pos = text.find(word); pos != std::string_view::npos; pos = text.find(word, pos + 1)) {
        const bool before = pos == 0 || std::isspace(static_cast<unsigned char>(text[pos - 1]));
        const std::size_t after = pos + word.size();
        if (before && (after == text.size() || std::isspace(static_cast<unsigned char>(text[after])))) return pos;
    }
    return std::string_view::npos;
}

std::optional<int> transition_side(Reader& r, std::string_view side, int line, std::string_view which) {
    std::vector<std::string_view> steps;
    for (std::string_view w : words(side)) {
        if (w != "&") steps.push_back(w);
    }
    if (steps.size() > 1 || side.find('&') != std::string_view::npos) {
        r.error(line, "parallel branches are not supported: a transition has exactly one upstream step and one "
                      "downstream step");
        return std::nullopt;
    }
    if (steps.empty()) {
        r.error(line, "the transition has no " + std::string(which) + " step");
        return std::nullopt;
    }
    const auto number = step_reference(steps.front());
    if (!number) r.error(line, quoted(steps.front()) + " is not a step number");
    return number;
}

void check_end(Reader& r, const Transition& t, int number, std::string_view which) {
    const Step* step = r.graph.find_step(number);
    if (step == nullptr) {
        // A step whose own line failed has been reported there.
        if (r.failed_steps.count(number) == 0)
            r.error(t.line, "unknown " + std::string(which) + " " + step_text(number) + " in " + transition_text(t));
        return;
    }
    if (step->component != t.component) {
        r.error(t.line, transition_text(t) + " is listed in component " +
                            quoted(r.graph.components[t.component].name) + " but its " + std::string(which) + " " +
                            step_text(number) + " belongs to component " +
                            quoted(r.graph.components[step->component].name));
    }
}

void check_atoms(Reader& r, const Transition& t, const Expression& e) {
    r.check_expression(t.line, "the receptivity of " + transition_text(t), e);
}

}  // namespace

void read_graph(Reader& r, const std::vector<std::string_view>& args, int line) {
    if (!r.first_time(r.graph_line, line, "graph")) return;
    const auto name = r.one_name(args, line, "graph");
    if (!name) return;
    if (name->size() > kMaxGraphName) {
        r.error(line, "graph name " + quoted(*name) + " is too long: the task name " + quoted(*name + ".exe") +
                          " must fit in 50 characters");
        return;
    }
    r.graph.name = *name;
    r.graph.name_line = line;
}

void read_unit(Reader& r, const std::vector<std::string_view>& args, int line) {
    if (!r.first_time(r.unit_line, line, "unit")) return;
    if (const auto name = r.one_name(args, line, "unit")) r.graph.unit = *name;
}

void read_number(Reader& r, const std::vector<std::string_view>& args, int line, std::string_view keyword, int& seen_at,
                 std::int32_t& value) {
    if (!r.first_time(seen_at, line, keyword)) return;
    const auto number = args.size() == 1 ? whole_number<std::int32_t>(args.front()) : std::nullopt;
    if (!number) {
        r.error(line, quoted(keyword) + " takes one whole number from -2147483648 to 2147483647");
        return;
    }
    value = *number;
}

void read_variables(Reader& r, const std::vector<std::string_view>& args, int line, Direction direction) {
    if (args.empty()) r.error(line, std::string(direction == Direction::Input ? "'input'" : "'output'") +
                                        " needs at least one variable name");
    for (const std::string_view name : args) {
        if (const auto refusal = refuse_variable_name(name)) {
            r.error(line, *refusal);
        } else if (const Variable* first = r.graph.find_variable(name)) {
            r.error(line, "variable " + quoted(name) + " is declared twice (first on line " +
                              std::to_string(first->line) + ")");
        } else if (const auto other = r.top_names.find(std::string(name)); other != r.top_names.end()) {
            r.error(line, "the name " + quoted(name) + " is already declared (on line " +
                              std::to_string(other->second) + ")");
        } else {
            r.graph.variables.push_back({std::string(name), direction, line});
        }
    }
}

void read_component(Reader& r, const std::vector<std::string_view>& args, int line) {
    const auto name = r.one_name(args, line, "component");
    if (!name) {
        r.current_component.reset();
        r.component_failed = true;
        return;
    }
    const auto& components = r.graph.components;
    const auto it = std::find_if(components.begin(), components.end(),
                                 [&](const Component& c) { return c.name == *name; });
    if (it != components.end()) {
        r.error(line, "component " + quoted(*name) + " is declared twice (first on line " +
                          std::to_string(it->line) + ")");
        r.current_component.reset();
        r.component_failed = true;
        return;
    }
    r.graph.components.push_back({*name, line});
    r.current_component = r.graph.components.size() - 1;
    r.component_failed = false;
}

void read_step(Reader& r, const std::vector<std::string_view>& args, int line) {
    if (!in_component(r, line, "step")) return;
    r.attempted_components.insert(*r.current_component);
    if (args.empty()) {
        r.error(line, "'step' needs a step number");
        return;
    }
    const auto number = step_reference(args.front());
    if (!number) {
        r.error(line, quoted(args.front()) + " is not a step number");
        return;
    }
    Step step;
    step.number = *number;
    step.component = *r.current_component;
    step.line = line;
    bool ok = true;
    std::size_t k = 1;
    for (; k < args.size() && args[k] != "action"; ++k) {
        if (args[k] == "initial" && !step.initial) {
            step.initial = true;
        } else {
            r.error(line, "unexpected " + quoted(args[k]) + " after " + step_text(step.number) +
                              ": expected 'initial' or 'action'");
            ok = false;
        }
    }
    if (k < args.size()) ok = read_actions(r, {args.begin() + static_cast<std::ptrdiff_t>(k) + 1, args.end()}, line, step) && ok;
    if (const Step* first = r.graph.find_step(step.number)) {
        r.error(line, step_text(step.number) + " is declared twice (first on line " + std::to_string(first->line) +
                          ")");
        return;
    }
    if (ok) {
        r.graph.steps.push_back(std::move(step));
    } else {
        r.failed_steps.insert(step.number);
    }
}

void read_transition(Reader& r, std::string_view rest, int line) {
    if (!in_component(r, line, "transition")) return;
    const std::size_t when = find_word(rest, "when");
    const std::size_t arrow = rest.find("->");
    const bool one_arrow = arrow != std::string_view::npos && rest.find("->", arrow + 2) > when;
    if (when == std::string_view::npos || !one_arrow || arrow > when) {
        r.error(line, "a transition is written 'transition <step> -> <step> when <receptivity>'");
        return;
    }
    Transition t;
    t.component = *r.current_component;
    t.line = line;
    const auto upstream = transition_side(r, rest.substr(0, arrow), line, "upstream");
    const auto downstream = transition_side(r, rest.substr(arrow + 2, when - arrow - 2), line, "downstream");
    if (!upstream || !downstream) return;
    t.from = *upstream;
    t.to = *downstream;
    t.text = std::string(trim(rest.substr(when + 4)));
    ParsedExpression parsed = parse_expression(t.text);
    if (!parsed.expression) {
        r.error(line, "malformed receptivity of " + transition_text(t) + " at column " +
                          std::to_string(parsed.error.column) + ": " + parsed.error.message);
        return;
    }
    t.receptivity = std::move(*parsed.expression);
    r.graph.transitions.push_back(std::move(t));
}

// ---- Checks that need the whole description ----------------------------

void check_declared(Reader& r) {
    if (r.graph_line == 0) r.error(r.last_line, "the description names no graph: add 'graph <name>'");
    if (r.unit_line == 0) r.error(r.last_line, "the description names no unit: add 'unit <name>'");
    if (r.graph.steps.empty() && r.errors.empty()) r.error(r.last_line, "the graph has no steps");
}

void check_components(Reader& r) {
    for (std::size_t c = 0; c < r.graph.components.size(); ++c) {
        const bool has_step = std::any_of(r.graph.steps.begin(), r.graph.steps.end(),
                                          [&](const Step& s) { return s.component == c; });
        if (!has_step && r.attempted_components.count(c) == 0)
            r.error(r.graph.components[c].line, "component " + quoted(r.graph.components[c].name) + " has no steps");
    }
}

void check_actions(Reader& r) {
    for (const Step& step : r.graph.steps) {
        for (const std::string& output : step.actions) {
            const Variable* v = r.graph.find_variable(output);
            if (v == nullptr) {
                r.error(step.line, "the action of " + step_text(step.number) + " names unknown output " +
                                       quoted(output));
            } else if (v->direction != Direction::Output) {
                r.error(step.line, "the action of " + step_text(step.number) + " names " + quoted(output) +
                                       ", which is an input: actions drive outputs only");
            }
        }
    }
}

void check_transitions(Reader& r) {
    std::map<int, std::vector<const Transition*>> outgoing;
    for (const Transition& t : r.graph.transitions) {
        check_end(r, t, t.from, "upstream");
        check_end(r, t, t.to, "downstream");
        check_atoms(r, t, t.receptivity);
        auto& choice = outgoing[t.from];
        choice.push_back(&t);
        if (choice.size() == 3)
            r.error(t.line, step_text(t.from) + " has a third outgoing transition (the others are on lines " +
                                std::to_string(choice[0]->line) + " and " + std::to_string(choice[1]->line) +
                                "): a choice has two transitions at most");
    }
}

}  // namespace vx::grafcet::reading
